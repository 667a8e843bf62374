// The summary page's widgets, offscreen: the panes before and after detection, collapsing, the
// device controls' links, columns, badges and pictures.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QSvgRenderer>
#include <QTest>
#include <QToolButton>
#include <atomic>
#include <thread>

#include "config/LanguageRes.h"
#include "summary/SummaryArt.h"
#include "ui/DeviceInfoCtrl.h"
#include "ui/HdwSummaryDlg.h"
#include "ui/HyperLink.h"
#include "ui/StartPanel.h"

using namespace korvane;
using namespace korvane::summary;

namespace {

SummarySources FakeSources() {
  SummarySources s;
  s.library = [] { return static_cast<CPUIDSDK*>(nullptr); };
  s.board = [] {
    BoardFacts b;
    b.vendor = "ASUSTeK COMPUTER INC.";
    b.model = "P8Z77-V LX";
    b.chipsetVendor = "Intel";
    b.chipsetModel = "Z77";
    return b;
  };
  s.memory = [] {
    MemoryFacts m;
    m.type = 10;
    m.sizeMB = 16384;
    m.clock = 1197.0f;
    m.modules = {{10, 8192, 1200, "Kingston", "KHX2400"}, {10, 8192, 1200, "Kingston", "KHX2400"}};
    return m;
  };
  s.network = [] {
    return std::vector<NetworkAdapterFacts>{{"eth0", "Intel", "Ethernet", true, "00-11-22-33-44-55",
                                             true, "192.168.0.2", "255.255.255.0", "192.168.0.1",
                                             "192.168.0.1"}};
  };
  s.sound = [] { return std::vector<SoundDeviceFacts>{{"HDA Codec", "", "Realtek"}}; };
  return s;
}

// A loopback web server that answers every request with a small page until it is destroyed.
class TinyServer {
 public:
  TinyServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(fd_, 8) != 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      return;
    }
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] {
      while (!stop_) {
        const int c = ::accept(fd_, nullptr, nullptr);
        if (c < 0) break;
        char buf[4096];
        (void)::recv(c, buf, sizeof buf, 0);
        static const char kAnswer[] =
            "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n\r\nok";
        (void)::send(c, kAnswer, sizeof kAnswer - 1, MSG_NOSIGNAL);
        ::close(c);
      }
    });
  }
  ~TinyServer() {
    stop_ = true;
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
  }
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

class SummaryWidgetsTest : public QObject {
  Q_OBJECT

 private slots:
  void panesExistWithTitlesBeforeDetection() {
    CHdwSummaryDlg page(nullptr, FakeSources());
    QVERIFY(!page.Started());
    QVERIFY(page.StartPanelSlot() != nullptr);
    QCOMPARE(page.StartPanelSlot()->objectName(), QStringLiteral("startPanelSlot"));
    QVERIFY(page.StartPanel() != nullptr);
    QCOMPARE(page.StartPanel()->parentWidget(), page.StartPanelSlot());
    for (int k = 0; k < kCategoryCount; ++k) {
      QVERIFY(page.Pane(k) != nullptr);
      QVERIFY(!page.Pane(k)->CaptionButton()->text().isEmpty());
      QVERIFY(page.Pane(k)->Controls().empty());
    }
    QCOMPARE(page.Pane(0)->CaptionButton()->text(), QStringLiteral("CPU"));
    QVERIFY(page.Pane(8) == nullptr);
    QVERIFY(!page.TimerRunning());
  }

  void startFillsEveryPaneAndRunsTheTimer() {
    CHdwSummaryDlg page(nullptr, FakeSources());
    page.resize(960, 700);
    page.show();
    page.Start();
    QVERIFY(page.TimerRunning());
    for (int k = 0; k < kCategoryCount; ++k) {
      QVERIFY2(!page.Pane(k)->Controls().empty(), qPrintable(QString::number(k)));
    }
    QVERIFY(page.Pane(kCategoryMainboard)
                ->CaptionButton()
                ->text()
                .contains(QStringLiteral("ASUSTeK P8Z77-V LX (Intel Z77)")));
    QVERIFY(page.Pane(kCategoryNetwork)->CaptionButton()->text().contains(QStringLiteral("eth0")));
    const auto& memory = page.Pane(kCategoryMemory)->Controls().front()->Model();
    QCOMPARE(QString::fromStdString(memory.rows[2].value), QStringLiteral("16 GB (8G + 8G)"));
    // Starting twice builds nothing twice.
    page.Start();
    QCOMPARE(page.Pane(kCategoryMemory)->Controls().size(), std::size_t{1});
  }

  void startPanelFollowsTheProbe() {
    // The built-in page until the probe answers; the on-line start page once it has.
    TinyServer server;
    QVERIFY(server.Port() > 0);
    qputenv("KORVANE_SERVER_BASE",
            QByteArray("http://127.0.0.1:") + QByteArray::number(server.Port()));
    {
      CHdwSummaryDlg page(nullptr, FakeSources());
      QVERIFY(page.StartPanel()->Url().toString().endsWith(QStringLiteral("/FIRST_PAGE.HTM")));
      page.Start();
      const QString online = QString::fromStdString(LangText(8131));
      QVERIFY(online.startsWith(QStringLiteral("http://127.0.0.1:")));
      QTRY_COMPARE_WITH_TIMEOUT(page.StartPanel()->Url().toString(), online, 15000);
    }
    qunsetenv("KORVANE_SERVER_BASE");
  }

  void scoresReachTheBadgesAndTheTestLink() {
    CHdwSummaryDlg page(nullptr, FakeSources());
    page.Start();
    page.ShowScore(kCpuScore, 3.45f);
    QCOMPARE(page.ShownScore(kCpuScore), 3.45f);
    QCOMPARE(page.ShownScore(7), -1.0f);
    CDeviceInfoCtrl* cpuA = page.Pane(kCategoryCpu)->Controls().front();
    QVERIFY(cpuA->Model().hasScore);
    QVERIFY(qAbs(cpuA->Model().score - 3.45) < 1e-5);
    QCOMPARE(cpuA->TestNowLink()->Window()->text(), QStringLiteral("Re-Scan"));
    QCOMPARE(QString::fromStdString(cpuA->TestNowLink()->Target()),
             QStringLiteral("app:TestNow_0"));
    QVERIFY(page.Pane(kCategoryCpu)
                ->CaptionButton()
                ->text()
                .endsWith(QStringLiteral("[CPU Score 3.45]")));
    // The second CPU control (full name, clocks, caches) has no score badge and no test link.
    QVERIFY(page.Pane(kCategoryCpu)->Controls().at(1)->TestNowLink()->Window()->isHidden());
    CDeviceInfoCtrl* memory = page.Pane(kCategoryMemory)->Controls().front();
    QCOMPARE(memory->TestNowLink()->Window()->text(), QStringLiteral("Scan Now"));
  }

  void collapsingAPaneHidesItsPanel() {
    CHdwSummaryDlg page(nullptr, FakeSources());
    page.resize(960, 700);
    page.show();
    page.Start();
    CSummaryPane* disk = page.Pane(kCategoryDisk);
    QVERIFY(disk->Panel()->isVisible());
    QTest::mouseClick(disk->CaptionButton(), Qt::LeftButton);
    QVERIFY(!disk->Expanded());
    QVERIFY(!disk->Panel()->isVisible());
    QVERIFY(!page.Summary().Expanded(kCategoryDisk));
    QTest::mouseClick(disk->CaptionButton(), Qt::LeftButton);
    QVERIFY(disk->Panel()->isVisible());
  }

  void otherCategoriesSplitTheirForumDriverLabel() {
    const CLanguageRes zh(LocaleSource::SystemWithLocale("zh_CN.UTF-8"));
    DeviceInfoModel m;
    m.category = kCategoryDisplay;
    m.AddBadge(kBadgeScore, zh.Text(196));  // "论坛/驱动"
    CDeviceInfoCtrl c;
    c.SetModel(m);
    QCOMPARE(c.CommentLink()->Window()->text(), QStringLiteral("论坛"));
    QCOMPARE(c.DriverLink()->Window()->text(), QStringLiteral("驱动"));
    QVERIFY(c.TestNowLink()->Window()->text().isEmpty());
    QCOMPARE(QString::fromStdString(c.DriverLink()->Target()),
             QStringLiteral("app:InstallDrive_3"));
  }

  void rowColumnsFollowTheWidth() {
    auto c = CDeviceInfoCtrl::ColumnsFor(963, 3);
    QCOMPARE(c.labelLeft, 106);
    QCOMPARE(c.labelRight, 106 + 116);  // ((600 * 5 - 80) * 4) / 100
    QCOMPARE(c.valueLeft, 116 + 110);
    QCOMPARE(c.valueRight, 963 - 267 - 6);
    c = CDeviceInfoCtrl::ColumnsFor(600, 3);  // narrow: fixed label width and value end
    QCOMPARE(c.labelRight, 106 + 92);
    QCOMPARE(c.valueRight, 530);
    c = CDeviceInfoCtrl::ColumnsFor(2000, 0);
    QCOMPARE(c.labelRight, 106 + 180);  // held to 180
  }

  void heightGrowsWithTheRows() {
    DeviceInfoModel m;
    m.category = kCategorySound;
    CDeviceInfoCtrl c;
    c.SetModel(m);
    QCOMPARE(c.PreferredHeight(800), 116);
    for (int i = 0; i < 30; ++i) m.AddRow("K", "Label");
    for (auto& r : m.rows) r.value = "value";
    c.SetModel(m);
    QVERIFY(c.PreferredHeight(800) > 116);
    QCOMPARE(c.Rows().Count(), std::size_t{30});
  }

  void everyPictureIsSharpAtTwiceThePixels() {
    for (int icon = 0; icon < 12; ++icon) {
      QSvgRenderer svg(SummaryIconResource(icon));
      QVERIFY2(svg.isValid(), qPrintable(SummaryIconResource(icon)));
    }
    for (int logo : {249, 271, 284, 225, 295, 248, 278, 283}) {
      QVERIFY2(!SummaryLogoResource(logo).isEmpty(), qPrintable(QString::number(logo)));
      QVERIFY(QSvgRenderer(SummaryLogoResource(logo)).isValid());
    }
    QVERIFY(SummaryLogoResource(0).isEmpty());
    // A control painted at a device pixel ratio of 2 fills its icon at full resolution.
    DeviceInfoModel m;
    m.category = kCategoryMonitor;
    m.icon = kIconMonitor;
    CDeviceInfoCtrl c;
    c.resize(700, 116);
    c.SetModel(m);
    QPixmap pixmap(c.size() * 2);
    pixmap.setDevicePixelRatio(2.0);
    pixmap.fill(Qt::transparent);
    c.render(&pixmap);
    const QImage image = pixmap.toImage();
    // Inside the monitor's screen (x 32..86, y 22..50 at ratio 1): its blue, pixel by pixel.
    QCOMPARE(image.pixelColor(2 * 50, 2 * 30), QColor(0x5b, 0x8f, 0xc7));
    QCOMPARE(image.pixelColor(2 * 50 + 1, 2 * 30 + 1), QColor(0x5b, 0x8f, 0xc7));
  }
};

QTEST_MAIN(SummaryWidgetsTest)
#include "SummaryWidgetsTest.moc"
