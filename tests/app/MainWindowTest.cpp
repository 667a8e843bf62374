#include <QApplication>
#include <QTest>

#include "ui/MainWindow.h"

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void opensWithTitleAndMinimumSizeAndCloses() {
    korvane::MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.windowTitle(), QStringLiteral("Korvane 3.0.603"));
    QCOMPARE(w.minimumSize(), QSize(800, 636));
    QVERIFY(w.close());
  }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
