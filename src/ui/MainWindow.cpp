#include "ui/MainWindow.h"

namespace korvane {

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("mainWindow"));
  setWindowTitle(QStringLiteral("Korvane 3.0.603"));
  setMinimumSize(800, 636);
}

}  // namespace korvane
