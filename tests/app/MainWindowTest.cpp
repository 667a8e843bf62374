#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QScreen>
#include <QTabBar>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "app/logic/MainWindowRules.h"
#include "config/LanguageRes.h"
#include "hwlib/HardwareLibrary.h"
#include "platform/Registry.h"
#include "ui/HdwBenchBoard.h"
#include "ui/KorvaneDlg.h"
#include "ui/Pages.h"
#include "ui/QtMessageTarget.h"
#include "ui/SplashDlg.h"

namespace fs = std::filesystem;
using korvane::CKorvaneDlg;

// Answers every message box the program opens and remembers what it said.
class MessageBoxWatcher : public QObject {
 public:
  MessageBoxWatcher() {
    timer_.setInterval(50);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box == nullptr || !box->isVisible() || box->property("seen").toBool()) continue;
        box->setProperty("seen", true);
        if (const char* shots = std::getenv("KORVANE_SCREENSHOT_DIR")) {
          for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() == QStringLiteral("splash") && top->isVisible()) {
              top->grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/splash.png"));
            }
          }
        }
        texts.push_back(box->text());
        box->accept();
      }
    });
    timer_.start();
  }
  QStringList texts;

 private:
  QTimer timer_;
};

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  fs::path root_;

  // The hardware library extracted as the program extracts its own: a loadable one, or bytes
  // that are no library at all.
  void PrepareLibrary(bool loadable) {
    std::string bytes = "not a library";
    if (loadable) {
      std::ifstream in(KORVANE_BIN_DIR "/qmhdwlib.so", std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    QCOMPARE(korvane::ExtractHardwareLibraryBytes({data, bytes.size()}), bytes.size());
  }

 private slots:
  void initTestCase() {
    root_ =
        fs::path(QDir::tempPath().toStdString()) / ("korvane-window-" + std::to_string(::getpid()));
    fs::create_directories(root_ / "run");
    fs::permissions(root_ / "run", fs::perms::owner_all, fs::perm_options::replace);
    ::setenv("TMPDIR", (root_ / "tmp").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (root_ / "run").c_str(), 1);
    korvane::InstallQtMessageBoxSink();
  }

  void cleanup() {
    korvane::HardwareLibraryShutdown();
    korvane::RemoveHardwareLibraryDirectory();
    korvane::ResetHardwareLibraryStateForTesting();
  }

  void cleanupTestCase() {
    korvane::RemoveQtMessageBoxSink();
    fs::remove_all(root_);
  }

  void unloadableLibraryShowsOneMessageAndNoPages() {
    PrepareLibrary(false);
    MessageBoxWatcher watcher;
    CKorvaneDlg w;
    QCOMPARE(w.Initialise(0), 2);
    QCOMPARE(watcher.texts.size(), 1);
    QCOMPARE(watcher.texts.front(), QString::fromStdString(korvane::LangText(6000)));
    QCOMPARE(korvane::StartupStatusValue(), int(korvane::kStartupFailed));
    QVERIFY(!w.isVisible());
    QVERIFY(!w.SummaryPage()->Started());
    for (int page = korvane::kPageTest; page < korvane::kPageCount; ++page)
      QVERIFY(w.PageWidget(page) == nullptr);
  }

  void opensOnTheSummaryPage() {
    PrepareLibrary(true);
    MessageBoxWatcher watcher;
    CKorvaneDlg w;
    QCOMPARE(w.Initialise(0), 1);
    QVERIFY(watcher.texts.isEmpty());
    QCOMPARE(korvane::StartupStatusValue(), int(korvane::kStartupReady));
    QVERIFY(korvane::HardwareLibrary() != nullptr);
    w.ShowMainWindow();
    w.AfterSplash();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    QCOMPARE(w.windowTitle(), QStringLiteral("Korvane 3.0.603"));
    QCOMPARE(w.minimumSize(), QSize(800, 636));
    QCOMPARE(w.property(korvane::kInstanceWindowProperty).toInt(), 1);
    QCOMPARE(w.TabStrip()->count(), 3);
    QCOMPARE(w.TabStrip()->tabText(0), QString::fromStdString(korvane::LangText(101)));
    QCOMPARE(w.TabStrip()->tabText(1), QString::fromStdString(korvane::LangText(102)));
    QCOMPARE(w.TabStrip()->tabText(2), QString::fromStdString(korvane::LangText(104)));
    QCOMPARE(w.CurrentPage(), 0);
    QVERIFY(w.SummaryPage()->isVisible());
    QVERIFY(w.SummaryPage()->Started());
    QVERIFY(w.TestPage() == nullptr);

    // The installation record is written once the window is up.
    platform::RegistryKey key;
    QCOMPARE(key.Open(platform::RegRoot::CurrentUser, "Software\\Quillmark\\Tovix2",
                      platform::RegAccess::Read),
             platform::kRegOk);
    std::string version;
    QCOMPARE(key.QueryString("Version", version), platform::kRegOk);
    QCOMPARE(QString::fromStdString(version), QStringLiteral("3.0.603"));

    QVERIFY(!w.Splash());  // the splash is gone once the window shows
    if (const char* shots = std::getenv("KORVANE_SCREENSHOT_DIR")) {
      w.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/main-window.png"));
    }

    // Page geometry follows the window.
    w.resize(1000, 700);
    QCOMPARE(w.SummaryPage()->geometry(), QRect(6, 69, 988, 625));
    QCOMPARE(w.TabStrip()->geometry().bottom() + 1, 69);

    // Tabs switch pages; pages made on first use are kept and hidden.
    w.TabStrip()->setCurrentIndex(2);
    QCOMPARE(w.CurrentPage(), 2);
    QVERIFY(w.HelpPage() != nullptr && w.HelpPage()->isVisible());
    QVERIFY(!w.SummaryPage()->isVisible());
    QCOMPARE(w.ShowPage(3, true, -1), 2);
    QVERIFY(w.RankPage()->isVisible());
    QVERIFY(!w.HelpPage()->isVisible() && !w.HelpPage()->isEnabled());
    QCOMPARE(w.ShowPage(7, true, -1), -1);
    QCOMPARE(w.CurrentPage(), 3);

    // A device panel asks for the memory test.
    QVERIFY(CKorvaneDlg::ShowTestPageFor(2));
    QCOMPARE(w.CurrentPage(), 1);
    QCOMPARE(w.TabStrip()->currentIndex(), 1);
    QCOMPARE(w.TestPage()->SelectedGroup(), 1);
    QCOMPARE(w.TestPage()->BenchBoard()->Model().Mask(), 2);  // the board runs the memory group
    QVERIFY(CKorvaneDlg::ShowTestPageFor(5));  // no such group: the selection stays
    QCOMPARE(w.TestPage()->SelectedGroup(), 1);
    QCOMPARE(w.TestPage()->BenchBoard()->Model().Mask(), 2);

    // While a run is going on the group cannot change by its tab.
    QVERIFY(w.TestPage()->HandleBoardMessage(korvane::CHdwScanDlg::kBoardRunStateMessage, 1, 0));
    w.TestPage()->GroupTabs()->setCurrentIndex(0);
    QCOMPARE(w.TestPage()->SelectedGroup(), 1);
    QCOMPARE(w.TestPage()->GroupTabs()->currentIndex(), 1);
    QVERIFY(!w.TestPage()->HandleBoardMessage(1325, 0, 0));
    QVERIFY(w.TestPage()->GroupsLocked());
    QVERIFY(w.TestPage()->HandleBoardMessage(korvane::CHdwScanDlg::kBoardRunStateMessage, 0, 0));
    w.TestPage()->GroupTabs()->setCurrentIndex(0);
    QCOMPARE(w.TestPage()->SelectedGroup(), 0);

    // Scores reach the summary page's display.
    w.ShowScore(korvane::kCpuScore, 4.25f);
    QCOMPARE(w.SummaryPage()->ShownScore(korvane::kCpuScore), 4.25f);

    // The refresh thread sees the summary page as not current now.
    QVERIFY(!korvane::ShouldRefreshSensors(&w));
    w.SetWarmUpRunning(1);
    QVERIFY(korvane::ShouldRefreshSensors(&w));

    // The update tool's messages are answered from another thread, registered or fixed.
    platform::LParam answers[2] = {0, 0};
    std::thread sender([&] {
      answers[0] = w.MessageTarget().Send(w.UpdateToolMessages().startScan, 0, 0);
      answers[1] = w.MessageTarget().Send(1282, 0, 7);
    });
    QTRY_VERIFY_WITH_TIMEOUT(answers[1] != 0, 5000);
    sender.join();
    QCOMPARE(answers[0], platform::LParam(1));
    QCOMPARE(w.UpdateToolStartScans(), 2);

    // A second start raises a minimised window.
    w.showMinimized();
    QTRY_VERIFY(w.isMinimized());
    w.Activate();
    QTRY_VERIFY(!w.isMinimized());
    QVERIFY(w.isVisible());

    QVERIFY(w.close());
  }

  void cpuScoreOpensOnTheTestPage() {
    PrepareLibrary(true);
    CKorvaneDlg w;
    QCOMPARE(w.Initialise(1), 1);
    w.ShowMainWindow();
    QCOMPARE(w.CurrentPage(), 1);
    QVERIFY(w.SummaryPage() != nullptr);
    QVERIFY(w.TestPage() != nullptr && w.TestPage()->isVisible());
    QVERIFY(!w.SummaryPage()->isVisible());
    QCOMPARE(w.TabStrip()->currentIndex(), 1);
    QCOMPARE(w.TestPage()->SelectedGroup(), 0);
    QVERIFY(w.HelpPage() == nullptr && w.RankPage() == nullptr);
    QVERIFY(w.close());
  }

  // Run on its own with a screen below the window's smallest size (see CMakeLists.txt).
  void smallScreenFitsTheWindow() {
    QScreen* screen = QGuiApplication::primaryScreen();
    QVERIFY(screen != nullptr);
    const QRect free = screen->availableGeometry();
    if (free.width() >= korvane::kMinWindowWidth && free.height() >= korvane::kMinWindowHeight) {
      QSKIP("the screen holds the whole window");
    }
    PrepareLibrary(true);
    CKorvaneDlg w;
    QCOMPARE(w.Initialise(0), 1);
    w.ShowMainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_VERIFY2(free.contains(w.frameGeometry()),
                 qPrintable(QStringLiteral("window %1x%2+%3+%4 on %5x%6")
                                .arg(w.frameGeometry().width())
                                .arg(w.frameGeometry().height())
                                .arg(w.frameGeometry().x())
                                .arg(w.frameGeometry().y())
                                .arg(free.width())
                                .arg(free.height())));
    QVERIFY(w.minimumWidth() <= free.width() && w.minimumHeight() <= free.height());
    // The pages still fill what there is.
    QCOMPARE(w.SummaryPage()->geometry().bottom(), w.height() - 7);
    QVERIFY(w.close());
  }

  void memScoreSelectsTheMemoryGroup() {
    PrepareLibrary(true);
    CKorvaneDlg w;
    QCOMPARE(w.Initialise(2), 1);
    QCOMPARE(w.CurrentPage(), 1);
    QCOMPARE(w.TestPage()->SelectedGroup(), 1);
    QCOMPARE(w.TestPage()->BoardGroup(), 1);
  }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
