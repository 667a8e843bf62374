// The header above the summary panes, offscreen: where it sits, its stars as painted, its link,
// and the scores the main window hands over, from the stored ones at start-up to a new one.
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "config/LanguageRes.h"
#include "hwlib/HardwareLibrary.h"
#include "platform/Registry.h"
#include "scores/ScoreStore.h"
#include "summary/SummaryHeader.h"
#include "ui/DeviceInfoCtrl.h"
#include "ui/HdwSummaryDlg.h"
#include "ui/HyperLink.h"
#include "ui/KorvaneDlg.h"
#include "ui/Pages.h"
#include "ui/QtMessageTarget.h"
#include "ui/SummaryHeader.h"

namespace fs = std::filesystem;
using namespace korvane;
using namespace korvane::summary;

namespace {

SummarySources FakeSources() {
  SummarySources s;
  s.library = [] { return static_cast<CPUIDSDK*>(nullptr); };
  s.board = [] { return BoardFacts{}; };
  s.memory = [] { return MemoryFacts{}; };
  s.network = [] { return std::vector<NetworkAdapterFacts>{}; };
  s.sound = [] { return std::vector<SoundDeviceFacts>{}; };
  return s;
}

SystemInfoFacts KnownFacts() {
  SystemInfoFacts f;
  f.osName = "Debian GNU/Linux 12 (bookworm)";
  f.osBuild = "Kernel 6.1.0-18-amd64";
  f.computerName = "workbench";
  f.userName = "alice";
  f.computerType = "ACPI x64-based PC";
  return f;
}

bool Gold(QRgb c) { return qRed(c) - qBlue(c) > 90 && qGreen(c) > 120; }

// Gold pixels in columns [from, to) of star i of the row painted in the header image.
int GoldPixels(const QImage& image, const HeaderLayout& l, int star, int from, int to) {
  int count = 0;
  for (int x = from; x < to; ++x) {
    for (int y = 0; y < kStarSize; ++y) {
      if (Gold(image.pixel(l.stars.left + star * kStarSize + x, l.stars.top + y))) ++count;
    }
  }
  return count;
}

void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center()); }

}  // namespace

class HeaderWidgetTest : public QObject {
  Q_OBJECT

 private:
  fs::path root_;

 private slots:
  void initTestCase() {
    root_ =
        fs::path(QDir::tempPath().toStdString()) / ("korvane-header-" + std::to_string(::getpid()));
    fs::create_directories(root_ / "run");
    fs::permissions(root_ / "run", fs::perms::owner_all, fs::perm_options::replace);
    ::setenv("TMPDIR", (root_ / "tmp").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (root_ / "run").c_str(), 1);
    InstallQtMessageBoxSink();
  }

  void cleanupTestCase() {
    RemoveQtMessageBoxSink();
    fs::remove_all(root_);
  }

  void headerSitsAboveThePanesAndScrollsWithThem() {
    CHdwSummaryDlg page(nullptr, FakeSources());
    page.resize(950, 400);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    CSummaryHeaderCtrl* header = page.Header();
    QVERIFY(header != nullptr);
    QCOMPARE(header->height(), kSummaryHeaderHeight);
    auto* scroll = page.findChild<QScrollArea*>(QStringLiteral("summaryStack"));
    QVERIFY(scroll != nullptr);
    QVERIFY(scroll->widget()->isAncestorOf(header));
    QVERIFY(header->y() < page.Pane(kCategoryCpu)->y());

    page.Start();
    QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0);
    const int before = header->mapTo(&page, QPoint(0, 0)).y();
    scroll->verticalScrollBar()->setValue(60);
    QCOMPARE(header->mapTo(&page, QPoint(0, 0)).y(), before - 60);
  }

  void informationBlockShowsTheSixRows() {
    CHdwSummaryDlg page(nullptr, FakeSources());
    page.SetSystemInfo(KnownFacts());
    CSummaryHeaderCtrl* header = page.Header();
    const CTextAreaRender& info = header->Information();
    QCOMPARE(info.Count(), std::size_t(6));
    QCOMPARE(QString::fromStdString(info.Item(0).key), QStringLiteral("Os"));
    QCOMPARE(QString::fromStdString(info.Item(3).value), QStringLiteral("User Name : alice"));
    // Five lines of text (the DirectX row is empty here), 800 pixels wide.
    QCOMPARE(header->InformationSize().width(), 800);
    QVERIFY(header->InformationSize().height() > 5 * 14);
  }

  void starsAndNumberFollowTheOverallScore() {
    CHdwSummaryDlg page(nullptr, FakeSources());
    page.resize(950, 400);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    CSummaryHeaderCtrl* header = page.Header();
    auto* link = header->findChild<QLabel*>(QStringLiteral("updateScoreLink"));
    QVERIFY(link != nullptr && link->isVisible());
    QCOMPARE(QString::fromStdString(header->UpdateScoreLink()->Text()),
             QString::fromStdString(LangText(510)));
    auto* submit = header->findChild<QLabel*>(QStringLiteral("submitScoreLink"));
    QVERIFY(submit != nullptr && !submit->isVisible());
    QCOMPARE(QString::fromStdString(header->SubmitScoreLink()->Target()),
             QStringLiteral("app:SubmitScore"));

    const HeaderLayout l = LayOutHeader(header->width());
    QImage none = header->grab().toImage();
    for (int star = 0; star < kStarCount; ++star)
      QCOMPARE(GoldPixels(none, l, star, 0, kStarSize), 0);

    page.ShowScore(kOverallScore, 4.5f);
    QCOMPARE(page.ShownScore(kOverallScore), 4.5f);
    QCOMPARE(QString::fromStdString(header->UpdateScoreLink()->Text()),
             QString::fromStdString(LangText(511)));
    // The link stays centred under the badge, its bottom at 129.
    QVERIFY(std::abs(link->geometry().center().x() - l.linkCentreX) <= 1);
    QCOMPARE(link->geometry().bottom() + 1, l.linkBottom);

    const QImage image = header->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int star = 0; star < 4; ++star) QVERIFY(GoldPixels(image, l, star, 13, kStarSize) > 20);
    // The fifth star is gold on its left 12 pixels only; the last two are empty.
    QVERIFY(GoldPixels(image, l, 4, 0, 12) > 10);
    QCOMPARE(GoldPixels(image, l, 4, 13, kStarSize), 0);
    QCOMPARE(GoldPixels(image, l, 5, 0, kStarSize), 0);
    QCOMPARE(GoldPixels(image, l, 6, 0, kStarSize), 0);

    // The number in the badge: score colour appears where there was only the badge before.
    auto scoreInk = [&](const QImage& img, int top = -1, int bottom = -1) {
      int n = 0;
      const QColor ink = ColourFromColorRef(kHeaderScoreColour);
      for (int y = top < 0 ? l.caption.bottom : top; y < (bottom < 0 ? l.score.bottom : bottom);
           ++y) {
        for (int x = l.score.left; x < l.score.right; ++x) {
          const QColor c = img.pixelColor(x, y);
          if (std::abs(c.red() - ink.red()) < 20 && std::abs(c.green() - ink.green()) < 20 &&
              std::abs(c.blue() - ink.blue()) < 20) {
            ++n;
          }
        }
      }
      return n;
    };
    QVERIFY(scoreInk(image) > 100);
    QVERIFY(scoreInk(none.convertToFormat(QImage::Format_RGB32)) > 100);  // the big "0"
    // Neither number reaches into the caption above it.
    QCOMPARE(scoreInk(image, l.caption.top, l.caption.bottom), 0);
    QCOMPARE(scoreInk(none.convertToFormat(QImage::Format_RGB32), l.caption.top, l.caption.bottom),
             0);
    page.ShowScore(kOverallScore, 9.0f);
    const QImage seven = header->grab().toImage();
    for (int star = 0; star < kStarCount; ++star)
      QVERIFY(GoldPixels(seven, l, star, 0, kStarSize) > 20);

    // Kinds above nine change nothing.
    page.ShowScore(10, 1.0f);
    QCOMPARE(page.ShownScore(kOverallScore), 9.0f);
  }

  void starsStaySharpAtTwiceThePixels() {
    // The star row at pixel ratio 2 against the same row at 1: the picture doubles in detail
    // instead of being scaled up, so it has more distinct edge pixels.
    QImage one(kStarCount * kStarSize, kStarSize, QImage::Format_ARGB32_Premultiplied);
    QImage two(kStarCount * kStarSize * 2, kStarSize * 2, QImage::Format_ARGB32_Premultiplied);
    two.setDevicePixelRatio(2.0);
    for (QImage* img : {&one, &two}) {
      img->fill(Qt::white);
      QPainter p(img);
      PaintStarRow(p, QPointF(0, 0), StarsFor(4.5f));
    }
    // Every pixel at ratio 1 has a 2x2 block at ratio 2; they are not all copies of it.
    int differentBlocks = 0;
    for (int y = 0; y < one.height(); ++y) {
      for (int x = 0; x < one.width(); ++x) {
        const QRgb a = two.pixel(2 * x, 2 * y), b = two.pixel(2 * x + 1, 2 * y + 1);
        if (a != b) ++differentBlocks;
      }
    }
    QVERIFY(differentBlocks > 50);
    // Both show the same partial star: gold on the left of the fifth star only.
    QVERIFY(Gold(two.pixel(2 * (4 * kStarSize + 5), 2 * 10)) ||
            Gold(two.pixel(2 * (4 * kStarSize + 6), 2 * 9)));
    QVERIFY(!Gold(two.pixel(2 * (4 * kStarSize + 19), 2 * 10)));
  }

  void mainWindowScoresReachTheBadgeAndTheCaptions() {
    // Stored scores from an earlier run: the CPU group stores its score as the overall one too.
    {
      platform::RegistryKey key;
      QCOMPARE(key.Create(platform::RegRoot::CurrentUser, kScoreRegistryKey), platform::kRegOk);
    }
    QVERIFY(StoreGroupScore(kCpuGroup, 437));
    QVERIFY(StoreGroupScore(kMemoryGroup, 382));

    std::string bytes;
    {
      std::ifstream in(KORVANE_BIN_DIR "/qmhdwlib.so", std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    QVERIFY(!bytes.empty());
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    QCOMPARE(ExtractHardwareLibraryBytes({data, bytes.size()}), bytes.size());
    {
      CKorvaneDlg w;
      QCOMPARE(w.Initialise(0), 1);
      w.ShowMainWindow();
      w.AfterSplash();
      QVERIFY(QTest::qWaitForWindowExposed(&w));
      CHdwSummaryDlg* page = w.SummaryPage();
      CSummaryHeaderCtrl* header = page->Header();

      // The stored scores: the overall one in the badge, the group ones on their panes.
      QCOMPARE(page->ShownScore(kOverallScore), 4.37f);
      QCOMPARE(page->ShownScore(kCpuScore), 4.37f);
      QCOMPARE(page->ShownScore(kMemoryScore), 3.82f);
      QCOMPARE(QString::fromStdString(header->UpdateScoreLink()->Text()),
               QString::fromStdString(LangText(511)));
      QToolButton* cpuCaption = page->Pane(kCategoryCpu)->CaptionButton();
      QToolButton* memCaption = page->Pane(kCategoryMemory)->CaptionButton();
      QVERIFY2(cpuCaption->text().contains(QStringLiteral("4.37")), qPrintable(cpuCaption->text()));
      QVERIFY2(memCaption->text().contains(QStringLiteral("3.82")), qPrintable(memCaption->text()));

      // A new CPU result, as the benchmark page hands it over.
      w.ShowScore(kOverallScore, 5.5f);
      w.ShowScore(kCpuScore, 5.5f);
      QCOMPARE(page->ShownScore(kOverallScore), 5.5f);
      QVERIFY2(cpuCaption->text().contains(QStringLiteral("5.50")), qPrintable(cpuCaption->text()));
      QVERIFY(memCaption->text().contains(QStringLiteral("3.82")));
      CDeviceInfoCtrl* cpuControl = page->Pane(kCategoryCpu)->Controls().front();
      QVERIFY(cpuControl->Model().hasScore);
      QCOMPARE(cpuControl->Model().score, 5.5);
      const HeaderLayout l = LayOutHeader(header->width());
      const QImage image = header->grab().toImage();
      QVERIFY(GoldPixels(image, l, 4, 13, kStarSize) > 20);  // five whole stars
      QVERIFY(GoldPixels(image, l, 5, 0, 12) > 10);          // and half of the sixth
      QCOMPARE(GoldPixels(image, l, 5, 13, kStarSize), 0);

      // The link under the badge opens the processor test.
      auto* link = header->findChild<QLabel*>(QStringLiteral("updateScoreLink"));
      Click(link);
      QTRY_COMPARE(w.CurrentPage(), int(kPageTest));
      QCOMPARE(w.TestPage()->SelectedGroup(), 0);
    }
    HardwareLibraryShutdown();
    RemoveHardwareLibraryDirectory();
    ResetHardwareLibraryStateForTesting();
  }
};

QTEST_MAIN(HeaderWidgetTest)
#include "HeaderWidgetTest.moc"
