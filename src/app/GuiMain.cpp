#include "app/GuiMain.h"

#include <QApplication>

#include "app/cli/Cli.h"
#include "ui/MainWindow.h"

namespace korvane {

int RunGui(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kProductName));
  QApplication::setApplicationVersion(QString::fromLatin1(kProductVersion));
  MainWindow window;
  window.show();
  return QApplication::exec();
}

}  // namespace korvane
