// The update strip as a real widget (offscreen): its link and picture through a scan, its
// painting, and the update question 570 shown for a newer version on the real korvane-server.
#include <sys/stat.h>

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TestServer.h"
#include "config/LanguageRes.h"
#include "online/VersionCheck.h"
#include "ui/HyperLink.h"
#include "ui/QMUpdateWnd.h"
#include "ui/QtMessageTarget.h"

namespace korvane {

class QMUpdateWndTest : public QObject {
  Q_OBJECT

 private:
  std::uint32_t now_ = 1000;
  std::vector<std::string> starts_;

  std::unique_ptr<CQMUpdateWnd> MakeStrip(QWidget* parent) {
    auto strip = std::make_unique<CQMUpdateWnd>(
        nullptr, [this] { return now_; },
        [this](std::string_view args) {
          starts_.emplace_back(args);
          return true;
        });
    strip->Create(parent, QRect(0, 0, 760, 44));
    strip->SetActive(true);
    return strip;
  }
  static bool HasColour(const QImage& img, const QRect& area, QRgb colour) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) {
        if ((img.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) return true;
      }
    }
    return false;
  }

 private slots:
  void init() {
    now_ = 1000;
    starts_.clear();
  }

  void scanShowsPictureThenCountAndRescan() {
    QWidget page;
    page.resize(800, 60);
    auto strip = MakeStrip(&page);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QCOMPARE(strip->ActionLabel()->text(), QString::fromStdString(LangText(kTextStartTool)));
    QVERIFY(strip->ActionLabel()->isVisible());
    QVERIFY(strip->Animation() == nullptr);

    QCOMPARE(strip->HandleMessage(strip->StartScanMessage(), 0, 0), platform::LParam(1));
    QVERIFY(strip->Animation() != nullptr);
    QVERIFY(strip->Animation()->isVisible());
    QCOMPARE(strip->Animation()->geometry(), QRect(4, 6, 32, 32));
    QCOMPARE(strip->ActionLabel()->text(), QString::fromStdString(LangText(kTextStopScan)));
    const int firstFrame = strip->Animation()->Frame();
    QTRY_VERIFY_WITH_TIMEOUT(strip->Animation()->Frame() != firstFrame, 2000);  // it spins

    now_ = 2000;
    strip->HandleMessage(strip->EndScanMessage(), 0, 0);
    QCOMPARE(strip->Logic().State(), int(CQMUpdateLogic::kScanEnded));
    QTest::qWait(700);  // a timer tick inside the four seconds changes nothing
    QCOMPARE(strip->Logic().State(), int(CQMUpdateLogic::kScanEnded));
    now_ = 1000 + kScanEndedShowMs + 1;
    QTRY_COMPARE_WITH_TIMEOUT(strip->Logic().State(), int(CQMUpdateLogic::kFinished), 2000);
    QVERIFY(strip->Animation() == nullptr);
    QCOMPARE(strip->Logic().Count(), 0);
    QCOMPARE(strip->ActionLabel()->text(), QString::fromStdString(LangText(kTextRescan)));
    QCOMPARE(strip->ActionLabel()->x(), strip->MainTextRight() + 12);

    // The link's app: command reaches the strip as its action: a new scan with "/scannow".
    QTest::mouseClick(strip->ActionLabel(), Qt::LeftButton);
    QTRY_COMPARE(starts_.size(), std::size_t(1));
    QCOMPARE(starts_[0], std::string("/scannow"));
  }

  void clickWhileScanningStopsAtOnce() {
    QWidget page;
    page.resize(800, 60);
    auto strip = MakeStrip(&page);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    strip->OnBroadcast("WM_QMUPDATE_STARTSCAN", 0);
    QPointer<CScanAnimation> picture = strip->Animation();
    QVERIFY(picture);
    // A second start replaces the picture.
    strip->OnBroadcast("WM_QMUPDATE_STARTSCAN", 0);
    QVERIFY(!picture);
    picture = strip->Animation();
    QVERIFY(picture);
    QTest::mouseClick(strip->ActionLabel(), Qt::LeftButton);
    QTRY_COMPARE(strip->Logic().State(), int(CQMUpdateLogic::kFinished));
    QVERIFY(!picture);
    QVERIFY(starts_.empty());
  }

  void paintsOnlyWhenActive() {
    CQMUpdateWnd strip(
        nullptr, [this] { return now_; }, [](std::string_view) { return true; });
    strip.Create(nullptr, QRect(0, 0, 700, 44));
    QImage img = strip.grab().toImage();
    QCOMPARE(img.pixel(300, 20) & 0xFFFFFF, QRgb(0x535353));  // the strip's own brush

    strip.SetActive(true);
    strip.OnBroadcast("WM_QMUPDATE_STARTSCAN", 0);
    strip.OnBroadcast("WM_QMUPDATE_ENDSCAN", 3);
    strip.HandleMessage(kMsgJumpToQMUpdate, 0, 0);  // the user stops: the count shows
    QCOMPARE(strip.Logic().State(), int(CQMUpdateLogic::kFinished));
    QCOMPARE(strip.ActionLabel()->text(), QString::fromStdString(LangText(kTextInstall)));
    img = strip.grab().toImage();
    if (const char* shot = std::getenv("KORVANE_STRIP_SHOT"); shot != nullptr && *shot != '\0') {
      img.save(QString::fromUtf8(shot));
    }
    QCOMPARE(img.pixel(10, 0) & 0xFFFFFF, QRgb(0xE0E0E0));   // top line
    QCOMPARE(img.pixel(0, 0) & 0xFFFFFF, QRgb(0xFFFFFF));    // ends one pixel in
    QCOMPARE(img.pixel(41, 40) & 0xFFFFFF, QRgb(0xFFFFFF));  // background
    QVERIFY(HasColour(img, QRect(4, 6, 32, 32), 0x669910));  // the icon, not scanning
    const QRect text(45, 1, strip.MainTextRight() - 45, 42);
    QVERIFY(HasColour(img, text, 0x669910));  // main text
    QVERIFY(HasColour(img, text, 0xFF0000));  // the count
    QVERIFY(!HasColour(QImage(img).copy(0, 0, 44, 44), QRect(0, 0, 44, 44), 0xFF0000));
  }

  // The strip subscribed on its own; qmupdate in another process scans an injected source.
  void stripFollowsTheToolOverTheSessionBus() {
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr) {
      QSKIP("no session bus (run under dbus-run-session)");
    }
    QWidget page;
    page.resize(800, 60);
    CQMUpdateWnd strip(nullptr, {}, [this](std::string_view args) {
      starts_.emplace_back(args);
      return true;
    });
    strip.Create(&page, QRect(0, 0, 760, 44));
    strip.SetActive(true);
    QVERIFY(strip.ListenToBroadcasts());
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));

    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QMUPDATE_SOURCE", "apt-sim:" + QString(KORVANE_UPDATE_DATA) + "/apt-sim-3.txt");
    tool.setProcessEnvironment(env);
    tool.start(QString(KORVANE_BIN_DIR) + "/qmupdate", {});
    // The tool ends quickly; the scanning picture stays for its four seconds all the same.
    QTRY_VERIFY_WITH_TIMEOUT(strip.Logic().State() == CQMUpdateLogic::kScanEnded, 10000);
    QVERIFY(strip.Animation() != nullptr);
    QCOMPARE(strip.ActionLabel()->text(), QString::fromStdString(LangText(kTextStopScan)));
    QTRY_COMPARE_WITH_TIMEOUT(tool.state(), QProcess::NotRunning, 10000);
    QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
    QTRY_COMPARE_WITH_TIMEOUT(strip.Logic().State(), int(CQMUpdateLogic::kFinished), 10000);
    QCOMPARE(strip.Logic().Count(), 3);
    QCOMPARE(strip.ActionLabel()->text(), QString::fromStdString(LangText(kTextInstall)));
    QVERIFY(strip.Animation() == nullptr);
  }

  // The version check on the real server leads to question 570 in a real message box.
  void newerVersionAsksTheQuestion() {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(std::getenv("HOME")) / ("question-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "data");
    std::ofstream(dir / "data" / "tovixnew.txt")
        << "[main]\nversion=3.0.700.1\nurl=http://127.0.0.1:9/korvane-3.0.700.1\n";
    Server server = StartServer(dir);
    QVERIFY(!server.base.empty());
    ::setenv("KORVANE_SERVER_BASE", server.base.c_str(), 1);

    InstallQtMessageBoxSink();
    std::vector<std::string> opened;
    QWidget panel;
    CQtMessageTarget target(&panel, [&](std::uint32_t msg, platform::WParam w, platform::LParam l) {
      if (msg == kMsgNewVersion) {
        HandleNewVersionMessage(w, l, LangText(kTextUpdateQuestion), {}, [&](std::string_view u) {
          opened.emplace_back(u);
          return true;
        });
      }
      return platform::LParam(0);
    });
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool answered = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || answered) return;
      text = box->text();
      title = box->windowTitle();
      icon = box->icon();
      const char* shot = std::getenv("KORVANE_UPDATE_SHOT");
      if (shot != nullptr && *shot != '\0') {
        QTest::qWait(300);
        QPixmap pm = box->screen() ? box->screen()->grabWindow(0) : QPixmap();
        if (pm.isNull() || QGuiApplication::platformName() == "offscreen") pm = box->grab();
        pm.save(QString::fromUtf8(shot));
      }
      answered = true;
      box->button(QMessageBox::No)->click();
    });
    poll.start(50);

    CVersionCheck check;
    CVersionCheck::Settings s;
    s.versionUrl = LangText(8132);
    s.workFolder = (dir / "Tovix2Tmp").string();
    check.Start(target, s);
    QTRY_VERIFY_WITH_TIMEOUT(answered, 20000);
    check.Wait();
    RemoveQtMessageBoxSink();
    StopServer(server);
    fs::remove_all(dir);

    QCOMPARE(text,
             QString::fromStdString(LangText(kTextUpdateQuestion)).replace("%s", "3.0.700.1"));
    QCOMPARE(title, QString("Korvane 3.0.603"));
    QCOMPARE(icon, QMessageBox::Information);
    QVERIFY(opened.empty());  // answered No
  }
};

}  // namespace korvane

int main(int argc, char** argv) {
  // Qt would otherwise make a runtime folder of its own under /tmp.
  if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
    const std::filesystem::path runtime = std::string(KORVANE_UPDATE_HOME) + "/runtime";
    std::filesystem::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  QApplication app(argc, argv);
  korvane::QMUpdateWndTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "QMUpdateWndTest.moc"
