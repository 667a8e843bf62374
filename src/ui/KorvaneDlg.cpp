#include "ui/KorvaneDlg.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QTabBar>
#include <algorithm>

#include "app/logic/AppLifecycle.h"
#include "config/Installation.h"
#include "config/LanguageRes.h"
#include "config/Product.h"
#include "online/UsageEventLog.h"
#include "ui/KorvaneArt.h"
#include "ui/Pages.h"
#include "ui/QtMessageTarget.h"
#include "ui/SplashDlg.h"
#include "ui/StartPanel.h"

namespace korvane {
namespace {
QPointer<CKorvaneDlg> g_mainWindow;

// Pages sit on a light panel so their content reads well against the green frame.
void StylePage(QWidget* page, const QFont& font) {
  page->setFont(font);
  page->setAutoFillBackground(true);
  QPalette pal = page->palette();
  pal.setColor(QPalette::Window, QColor(246, 248, 240));
  page->setPalette(pal);
}

bool g_quitBeforeWindow = false;

// What the refresh thread reads about the window. It outlives every window, so the thread can
// never reach a window being destroyed; the window copies its state here on every change.
class WindowStateMirror : public IRefreshGate {
 public:
  bool MainWindowLive() const override { return live.load(); }
  int CurrentPage() const override { return page.load(); }
  int WarmUpRunning() const override { return warmUp.load(); }
  std::atomic<bool> live{false};
  std::atomic<int> page{0};
  std::atomic<int> warmUp{0};
};

WindowStateMirror& Mirror() {
  static auto* mirror = new WindowStateMirror;  // never freed: read by a background thread
  return *mirror;
}
}  // namespace

CKorvaneDlg::CKorvaneDlg(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("mainWindow"));
  setMinimumSize(kMinWindowWidth, kMinWindowHeight);
  resize(kMinWindowWidth, kMinWindowHeight);
  target_ = std::make_unique<CQtMessageTarget>(
      this, [this](std::uint32_t msg, platform::WParam w, platform::LParam l) {
        return HandleMessage(msg, w, l);
      });
}

CKorvaneDlg::~CKorvaneDlg() {
  live_.store(false);
  PublishState();
  updateToolListener_.reset();
  setProperty(kInstanceWindowProperty, QVariant());
  if (g_mainWindow == this) g_mainWindow = nullptr;
  // The pages are child widgets and go with the window.
}

void CKorvaneDlg::PublishState() {
  if (g_mainWindow != this) return;
  Mirror().page.store(currentPage_.load());
  Mirror().warmUp.store(warmUpRunning_.load());
  Mirror().live.store(live_.load());
}

void CKorvaneDlg::SetWarmUpRunning(int running) {
  warmUpRunning_.store(running);
  PublishState();
}

CKorvaneDlg* CKorvaneDlg::MainWindow() { return g_mainWindow.data(); }
CSplashDlg* CKorvaneDlg::Splash() const { return splash_.data(); }

int CKorvaneDlg::Initialise(int runMode) {
  CTaskbarLibrary& taskbar = TaskbarLibrary();
  if (taskbar.setAppId != nullptr) taskbar.setAppId(this, 0);

  g_mainWindow = this;
  setWindowIcon(KorvaneIcon());
  live_.store(true);
  PublishState();
  SetRefreshGate(&Mirror());

  UsageLogSetIdentity(kProductVersion, "", 0);
  UsageLogEmit(kUsageWindowOpened);

  scoreIds_ = RegisterScoreMessages();
  setWindowTitle(
      QStringLiteral("%1 %2").arg(QLatin1String(kProductName), QLatin1String(kProductVersion)));
  setProperty(kInstanceWindowProperty, 1);

  headerLeft_ = HeaderLeftPicture();
  headerRight_ = HeaderRightPicture();

  tabs_ = new QTabBar(this);
  tabs_->setObjectName(QStringLiteral("mainTabs"));
  tabs_->setExpanding(false);
  tabs_->setDrawBase(false);
  tabs_->setStyleSheet(QStringLiteral(
      "QTabBar::tab { background: rgb(96,134,34); color: white; padding: 6px 18px; margin-right: "
      "2px;"
      " border-top-left-radius: 4px; border-top-right-radius: 4px; }"
      "QTabBar::tab:selected { background: rgb(246,248,240); color: rgb(62,88,20); }"));
  for (int id : {101, 102, 104}) tabs_->addTab(QString::fromStdString(LangText(id)));
  tabs_->setCurrentIndex(0);
  connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
    if (!selectingTab_ && index >= 0) ShowPage(index, false, -1);
  });

  summary_ = new CHdwSummaryDlg(this);
  StylePage(summary_, font());
  pages_[kPageSummary] = summary_;

  int current = currentPage_.load();
  ShowPageRule(*this, current, kPageSummary, false, -1);
  currentPage_.store(current);

  if (runMode == 1 || runMode == 2) {
    current = currentPage_.load();
    ShowPageRule(*this, current, kPageTest, true, runMode);
    currentPage_.store(current);
  }
  PublishState();

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    openMaximised_ = ShouldOpenMaximised(area.width(), area.height(), width(), height());
    // On a screen below the smallest size the window would be cut at the screen's edge, with
    // no way to drag it smaller: there the smallest size is the screen's free area.
    const QRect free = screen->availableGeometry();
    if (free.width() < minimumWidth() || free.height() < minimumHeight()) {
      setMinimumSize(std::min(minimumWidth(), free.width()),
                     std::min(minimumHeight(), free.height()));
      resize(std::min(width(), free.width()), std::min(height(), free.height()));
    }
    move(free.center() - QPoint(width() / 2, height() / 2));
  }

  if (g_quitBeforeWindow) quitRequested_ = true;
  if (quitRequested_) return 2;
  CSplashDlg splash;
  splash_ = &splash;
  const int result = splash.exec();
  splash_ = nullptr;
  // Asked to quit while starting: the window is never shown, the exit sequence runs.
  if (quitRequested_) return 2;
  return result == 1 ? 1 : 2;
}

void CKorvaneDlg::ShowMainWindow() {
  MarkWindowShown();
  if (openMaximised_) {
    showMaximized();
  } else {
    show();
  }
}

void CKorvaneDlg::AfterSplash() {
  updateIds_ = RegisterUpdateToolMessages();
  updateIdsRegistered_ = true;
  // The update tool reaches us by name on the session bus; its numbers are ours to map.
  updateToolListener_ = std::make_unique<platform::BroadcastSubscription>();
  platform::IMessageTarget* target = target_.get();
  const UpdateToolMessageIds ids = updateIds_;
  updateToolListener_->Start([target, ids](const platform::BroadcastEvent& e) {
    std::uint32_t msg = 0;
    if (e.name == kUpdateStartScanMessage) msg = ids.startScan;
    if (e.name == kUpdateScanningMessage) msg = ids.scanning;
    if (e.name == kUpdateEndScanMessage) msg = ids.endScan;
    if (msg != 0) target->Post(msg, e.wParam, e.lParam);
  });
  summary_->Start();
  TraceFilledPaint(
      summary_, [page = summary_] { return page->Started() && page->Summary().Ready(); },
      "summary-painted");
  RecordInstallation();
}

platform::IMessageTarget& CKorvaneDlg::MessageTarget() { return *target_; }

platform::LParam CKorvaneDlg::HandleMessage(std::uint32_t msg, platform::WParam /*wParam*/,
                                            platform::LParam /*lParam*/) {
  switch (ClassifyUpdateToolMessage(msg, updateIds_)) {
    case UpdateToolMessage::StartScan:
    case UpdateToolMessage::EndScan:
      ++updateStartScans_;
      // The panel's scan display arrives with the update-tool panel; until the summary page
      // has one there is nothing to show, and the tool still gets its answer.
      return 1;
    case UpdateToolMessage::Scanning:
      return 1;
    case UpdateToolMessage::None:
      return 0;
  }
  return 0;
}

int CKorvaneDlg::ShowPage(int page, bool updateTab, int testKey) {
  int current = currentPage_.load();
  const int previous = ShowPageRule(*this, current, page, updateTab, testKey);
  currentPage_.store(current);
  PublishState();
  return previous;
}

int CKorvaneDlg::SelectTestGroup(int index) {
  CHdwScanDlg* test = TestPage();
  return test != nullptr ? test->SelectTestGroup(index) : -1;
}

int CKorvaneDlg::FindTestGroup(int key) {
  CHdwScanDlg* test = TestPage();
  return test != nullptr ? test->FindTestGroup(key) : -1;
}

void CKorvaneDlg::ShowScore(int kind, float score) {
  if (summary_ != nullptr) summary_->ShowScore(kind, score);
}

bool CKorvaneDlg::ShowTestPageFor(int testType) {
  CKorvaneDlg* main = MainWindow();
  if (main == nullptr || !main->MainWindowLive()) return false;
  main->ShowPage(kPageTest, true, TestKeyForTestType(testType));
  return true;
}

CHdwScanDlg* CKorvaneDlg::TestPage() const {
  return qobject_cast<CHdwScanDlg*>(pages_[kPageTest].data());
}
CHdwHelpDlg* CKorvaneDlg::HelpPage() const {
  return qobject_cast<CHdwHelpDlg*>(pages_[kPageHelp].data());
}
CHdwRankDlg* CKorvaneDlg::RankPage() const {
  return qobject_cast<CHdwRankDlg*>(pages_[kPageRank].data());
}

QWidget* CKorvaneDlg::PageWidget(int page) const {
  return page >= 0 && page < kPageCount ? pages_[page].data() : nullptr;
}

bool CKorvaneDlg::PageExists(int page) const { return PageWidget(page) != nullptr; }

void CKorvaneDlg::CreatePage(int page) {
  QWidget* created = nullptr;
  switch (page) {
    case kPageTest:
      created = new CHdwScanDlg(this);
      break;
    case kPageHelp:
      created = new CHdwHelpDlg(this);
      break;
    case kPageRank:
      created = new CHdwRankDlg(this);
      break;
    default:
      return;  // the summary page exists from the start
  }
  StylePage(created, font());
  pages_[page] = created;
}

void CKorvaneDlg::ShowOnlyPage(int page) {
  for (int i = 0; i < kPageCount; ++i) {
    QWidget* w = pages_[i].data();
    if (w == nullptr) continue;
    const bool current = i == page;
    w->setEnabled(current);
    w->setVisible(current);
  }
}

void CKorvaneDlg::LayOut() {
  if (tabs_ == nullptr) return;
  const QSize natural = tabs_->sizeHint();
  const MainLayout l = ComputeMainLayout(width(), height(), natural.width(), natural.height());
  tabs_->setGeometry(l.tabStrip.x, l.tabStrip.y, l.tabStrip.width, l.tabStrip.height);
  for (int i = 0; i < kPageCount; ++i) {
    if (QWidget* w = pages_[i].data())
      w->setGeometry(l.page.x, l.page.y, l.page.width, l.page.height);
  }
}

void CKorvaneDlg::Repaint() { update(); }

void CKorvaneDlg::SelectTab(int page) {
  if (tabs_ == nullptr || page >= tabs_->count()) return;  // the Rank page has no tab
  selectingTab_ = true;
  tabs_->setCurrentIndex(page);
  selectingTab_ = false;
}

void CKorvaneDlg::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), KorvaneBackground());
  p.drawPixmap(0, 0, headerLeft_);
  p.drawPixmap(width() - headerRight_.width(), 0, headerRight_);
}

void CKorvaneDlg::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

void CKorvaneDlg::contextMenuEvent(QContextMenuEvent* event) {
  // The header stands in for the window menu that once held the About command.
  if (event->pos().y() >= kHeaderHeight) return;
  QMenu menu(this);
  menu.addAction(QStringLiteral("About %1...").arg(QLatin1String(kProductName)), this,
                 [this] { ShowAbout(); });
  menu.exec(event->globalPos());
}

void CKorvaneDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    ShowAbout();
    return;
  }
  QWidget::keyPressEvent(event);
}

void CKorvaneDlg::ShowAbout() {
  CAboutDlg about(this);
  about.exec();
}

void CKorvaneDlg::Activate() {
  if (!isVisible()) {
    // Still starting: the splash (or its message) is what the user should see.
    if (QWidget* modal = QApplication::activeModalWidget()) {
      modal->raise();
      modal->activateWindow();
    }
    return;
  }
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
  if (QWidget* modal = QApplication::activeModalWidget()) {
    modal->raise();
    modal->activateWindow();
  }
}

void CKorvaneDlg::RequestQuitOfMainWindow() {
  if (CKorvaneDlg* w = MainWindow()) {
    w->RequestQuit();
    return;
  }
  g_quitBeforeWindow = true;
  // Before the window exists only a message box can hold the program (the edition refusal):
  // answering it lets start-up go on to its end.
  for (QWidget* top : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(top);
    if (dialog != nullptr && dialog->isVisible()) dialog->reject();
  }
}

void CKorvaneDlg::RequestQuit() {
  quitRequested_ = true;
  // Dismiss whatever dialog is open (message boxes, About) so the loops they run return.
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(w);
    if (dialog == nullptr || !dialog->isVisible()) continue;
    if (dialog == splash_.data()) continue;
    dialog->reject();
  }
  if (CSplashDlg* splash = splash_.data()) splash->Abort();
  close();
}

}  // namespace korvane
