// The link controls driven by real mouse events on real labels.
#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <memory>
#include <string>
#include <vector>

#include "platform/MessageBox.h"
#include "ui/HyperLink.h"
#include "ui/QtMessageTarget.h"
#include "ui/logic/OpenTarget.h"

using namespace korvane;

namespace {

struct Received {
  std::uint32_t msg;
  platform::WParam wParam;
  platform::LParam lParam;
};

// A parent window that records the messages its links send or post.
class ParentWindow : public QWidget {
 public:
  ParentWindow()
      : target(this, [this](std::uint32_t msg, platform::WParam w, platform::LParam l) {
          received.push_back({msg, w, l});
          return platform::LParam{0};
        }) {
    resize(300, 120);
  }
  CQtMessageTarget target;
  std::vector<Received> received;
};

class FailingOpener : public ILinkOpener {
 public:
  int ShellOpen(std::string_view target) override {
    shellTargets.emplace_back(target);
    return shellResult;
  }
  std::string HtmlOpenCommand() override { return association; }
  int StartCommandLine(std::string_view commandLine) override {
    started.emplace_back(commandLine);
    return startResult;
  }
  int shellResult = 31;
  std::string association;
  int startResult = 2;
  std::vector<std::string> shellTargets;
  std::vector<std::string> started;
};

struct BoxRecord {
  std::string text;
  std::string caption;
  unsigned flags;
};

// Count of pixels whose colour is closer to `colour` than to the background.
int InkOf(const QImage& image, const QColor& colour) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (std::abs(c.red() - colour.red()) < 80 && std::abs(c.green() - colour.green()) < 80 &&
          std::abs(c.blue() - colour.blue()) < 80) {
        ++count;
      }
    }
  }
  return count;
}

}  // namespace

class HyperLinkTest : public QObject {
  Q_OBJECT

 private slots:
  void appCommandIsPostedToTheParentWithTheParameter() {
    ParentWindow parent;
    auto* label = new QLabel(QStringLiteral("Test now"), &parent);
    label->setGeometry(10, 10, 120, 24);
    CHyperLink2 link;
    QCOMPARE(link.Attach(label), 1);
    QCOMPARE(link.SetTarget("app:TestNow_1"), 1);
    link.SetCommandParameter(1);
    link.SetParentTarget(&parent.target);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));

    QTest::mouseClick(label, Qt::LeftButton);
    // Posted: it arrives through the event loop, not during the click.
    QVERIFY(parent.received.empty());
    QTRY_COMPARE(parent.received.size(), std::size_t{1});
    QCOMPARE(parent.received[0].msg, kMsgTestNow);
    QCOMPARE(parent.received[0].wParam, platform::WParam{1});
    QCOMPARE(parent.received[0].lParam, platform::LParam{0});

    // A sent command is answered before the click returns.
    QCOMPARE(link.SetTarget("APP:submitscore"), 1);
    QTest::mouseClick(label, Qt::LeftButton);
    QCOMPARE(parent.received.size(), std::size_t{2});
    QCOMPARE(parent.received[1].msg, kMsgSubmitScore);
    QCOMPARE(parent.received[1].wParam, platform::WParam{0});

    // Only the left button clicks, and "app:" alone means nothing.
    QTest::mouseClick(label, Qt::RightButton);
    QCOMPARE(link.SetTarget("app:"), 1);
    QTest::mouseClick(label, Qt::LeftButton);
    QTest::qWait(20);
    QCOMPARE(parent.received.size(), std::size_t{2});
  }

  void theLabelsTextIsTheTargetWhenThereIsNone() {
    ParentWindow parent;
    auto* label = new QLabel(QStringLiteral("app:InstallDriver_3"), &parent);
    CHyperLink2 link;
    link.Attach(label);
    link.SetCommandParameter(3);
    link.SetParentTarget(&parent.target);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QTest::mouseClick(label, Qt::LeftButton);
    QTRY_COMPARE(parent.received.size(), std::size_t{1});
    QCOMPARE(parent.received[0].msg, kMsgInstallDriver);
    QCOMPARE(parent.received[0].wParam, platform::WParam{3});
  }

  void webAddressesGoToTheOpener() {
    ParentWindow parent;
    auto* label = new QLabel(QStringLiteral("Ranking"), &parent);
    label->setGeometry(10, 10, 120, 24);
    CHyperLink2 link;
    link.Attach(label);
    link.SetParentTarget(&parent.target);
    std::vector<std::string> opened;
    link.SetOpener([&](std::string_view target) {
      opened.emplace_back(target);
      return 42;
    });
    QCOMPARE(link.SetTarget("http://127.0.0.1:8086/rank?id=1"), 1);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QTest::mouseClick(label, Qt::LeftButton);
    QCOMPARE(opened, std::vector<std::string>{"http://127.0.0.1:8086/rank?id=1"});
    QTest::qWait(20);
    QVERIFY(parent.received.empty());
    // Three characters are not a target at all.
    link.SetTarget("abc");
    QTest::mouseClick(label, Qt::LeftButton);
    QCOMPARE(opened.size(), std::size_t{1});
  }

  void aLabelWithoutParentTellsNobody() {
    ParentWindow parent;
    QLabel orphan(QStringLiteral("app:TestNow_2"));
    CHyperLink2 link;
    link.Attach(&orphan);
    link.SetParentTarget(&parent.target);
    orphan.show();
    QVERIFY(QTest::qWaitForWindowExposed(&orphan));
    QTest::mouseClick(&orphan, Qt::LeftButton);
    QTest::qWait(20);
    QVERIFY(parent.received.empty());
  }

  void limitsAttachAndDetach() {
    QLabel label(QStringLiteral("text"));
    CHyperLink2 link;
    QCOMPARE(link.Show(true), 0);  // forwards do nothing while detached
    QCOMPARE(link.Attach(nullptr), 0);
    QCOMPARE(link.Attach(&label), 1);
    QCOMPARE(link.Attach(&label), 0);
    QCOMPARE(label.cursor().shape(), Qt::PointingHandCursor);

    QCOMPARE(link.SetText(std::string(63, 'a')), 1);
    QCOMPARE(link.SetText(std::string(64, 'b')), 0);
    QCOMPARE(link.Text(), std::string(63, 'a'));  // the old text stays
    QCOMPARE(link.SetTarget(std::string(255, 't')), 1);
    QCOMPARE(link.SetTarget(std::string(256, 'u')), 0);
    QCOMPARE(link.Target().size(), std::size_t{255});

    QCOMPARE(link.Detach(), &label);
    QCOMPARE(link.Detach(), static_cast<QLabel*>(nullptr));
    QVERIFY(link.Text().empty());
    QVERIFY(link.Target().empty());
    QCOMPARE(label.cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(link.Move(QRect(0, 0, 5, 5)), 0);
  }

  void aDestroyedLabelLeavesTheLinkDetached() {
    CHyperLink2 link;
    auto label = std::make_unique<QLabel>(QStringLiteral("x"));
    link.Attach(label.get());
    label.reset();
    QCOMPARE(link.Window(), static_cast<QLabel*>(nullptr));
    QCOMPARE(link.Invalidate(), 0);
    QLabel other;
    QCOMPARE(link.Attach(&other), 1);
  }

  void hoverSwitchesToTheHoverColour() {
    ParentWindow parent;
    auto* label = new QLabel(QStringLiteral("WWWWWWWW"), &parent);
    label->setGeometry(10, 10, 160, 30);
    CHyperLink2 link;
    link.Attach(label);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QImage normal = label->grab().toImage();
    QVERIFY(InkOf(normal, link.NormalColour()) > 20);
    QCOMPARE(InkOf(normal, link.HoverColour()), 0);

    QTest::mouseMove(label, QPoint(20, 15));
    QTRY_VERIFY(link.Hovering());
    QImage hovered = label->grab().toImage();
    QVERIFY(InkOf(hovered, link.HoverColour()) > 20);
    QCOMPARE(InkOf(hovered, link.NormalColour()), 0);
    QCOMPARE(link.HoverColour(), QColor(255, 0, 0));
    QCOMPARE(link.NormalColour(), QColor(0, 0, 255));
  }

  void autoSizeFitsTheTextAndKeepsTheAnchor() {
    ParentWindow parent;
    auto* label = new QLabel(&parent);
    label->setGeometry(20, 10, 200, 40);
    label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    CHyperLink2 link;
    link.Attach(label);
    link.SetOptions(kLinkAutoSize);
    link.SetText("short");
    QFont underlined = label->font();
    underlined.setUnderline(true);
    const QFontMetrics metrics(underlined);
    QCOMPARE(label->width(), metrics.horizontalAdvance(QStringLiteral("short")));
    QCOMPARE(label->height(), metrics.height());
    QCOMPARE(label->geometry().right(), 219);  // right edge kept
    QCOMPARE(label->y(), 10);
  }

  void aFailedOpenFallsBackAndExplains() {
    std::vector<BoxRecord> boxes;
    const platform::MessageBoxSink old = platform::SetMessageBoxSink(
        [&](std::string_view text, std::string_view caption, unsigned flags) {
          boxes.push_back({std::string(text), std::string(caption), flags});
          return int{platform::kIdOk};
        });
    ParentWindow parent;
    auto* link = new CHyperLink(QStringLiteral("Driver page"), &parent);
    link->setGeometry(10, 10, 150, 24);
    FailingOpener opener;
    opener.association = "browser \"%1\"";
    link->SetOpener(&opener);
    link->SetTarget("http://127.0.0.1:8086/driver");
    QCOMPARE(link->toolTip(), QStringLiteral("http://127.0.0.1:8086/driver"));
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QVERIFY(link->isVisible());
    link->SetTarget("http://127.0.0.1:8086/driver?again");
    link->SetTarget("http://127.0.0.1:8086/driver");
    QVERIFY(link->isVisible());

    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(opener.shellTargets, std::vector<std::string>{"http://127.0.0.1:8086/driver"});
    QCOMPARE(opener.started, std::vector<std::string>{"browser  http://127.0.0.1:8086/driver"});
    QCOMPARE(boxes.size(), std::size_t{1});
    QCOMPARE(boxes[0].text, std::string("Can't open link:\n\nThe specified file was not found."));
    QCOMPARE(boxes[0].flags, 48u);
    QVERIFY(link->Clicked());
    QVERIFY(!link->Visited());

    // Once the browser starts, the link is visited; no further box.
    opener.startResult = 33;
    QTest::keyClick(link, Qt::Key_Space);
    QCOMPARE(opener.started.size(), std::size_t{2});
    QVERIFY(link->Visited());
    QCOMPARE(boxes.size(), std::size_t{1});
    platform::SetMessageBoxSink(old);
  }

  void linkColoursFollowStateAndOptions() {
    CHyperLink::SetColours(LinkColours{0x000080, 0x008000, 0x800000, 0x00FFFF});
    CHyperLink link(QStringLiteral("x"));
    FailingOpener opener;
    opener.shellResult = 42;
    link.SetOpener(&opener);
    link.SetOptions(kLinkUnderline);
    QVERIFY(link.font().underline());
    QCOMPARE(link.CurrentColour(), QColor(0x80, 0, 0));
    link.show();
    QVERIFY(QTest::qWaitForWindowExposed(&link));
    // Without "open on click" the target opens on release; the clicked link shows the
    // focus colour, and "never focus colour" brings back the visited one.
    QTest::mouseClick(&link, Qt::LeftButton);
    QCOMPARE(opener.shellTargets.size(), std::size_t{1});
    QCOMPARE(link.CurrentColour(), QColor(0, 0x80, 0));
    QCOMPARE(link.palette().color(QPalette::WindowText), QColor(0, 0x80, 0));
    link.SetOptions(kLinkNeverFocusColour);
    QVERIFY(!link.font().underline());
    QCOMPARE(link.CurrentColour(), QColor(0, 0, 0x80));
    CHyperLink::SetColours(LinkColours{});
  }

  void wheelScrollsByStepsOfThirtyPixels() {
    QScrollBar bar(Qt::Vertical);
    bar.setRange(0, 1000);
    bar.setPageStep(300);
    bar.setValue(500);
    const int lines = QApplication::wheelScrollLines();
    auto wheel = [&](int delta) {
      QWheelEvent event(QPointF(1, 1), QPointF(1, 1), QPoint(), QPoint(0, delta), Qt::NoButton,
                        Qt::NoModifier, Qt::NoScrollPhase, false);
      return WheelScroll(&bar, &event);
    };
    QVERIFY(wheel(-120));
    QCOMPARE(bar.value(), 500 + std::max(1, lines / 6) * 30);
    bar.setValue(500);
    QVERIFY(wheel(120 * 4));
    QCOMPARE(bar.value(), 500 - std::max(1, 4 * lines / 6) * 30);
    QVERIFY(!wheel(0));
  }
};

int RunHyperLinkTests(int argc, char** argv) {
  HyperLinkTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "HyperLinkTest.moc"
