#include "ui/StartPanel.h"

#include <QEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/WebBrowser2.h"

namespace korvane {

namespace {

bool TraceOn() {
  const char* on = std::getenv("KORVANE_STARTUP_TRACE");
  return on != nullptr && std::strcmp(on, "1") == 0;
}

// Wall-clock milliseconds, for the start-up benchmark to compare with the moment it launched us.
void Trace(const char* what) {
  if (!TraceOn()) return;
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  std::fprintf(stderr, "korvane-trace %s %lld\n", what, static_cast<long long>(now));
  std::fflush(stderr);
}

std::chrono::steady_clock::time_point g_windowShown{};

// Watches one widget's paint events until the first that shows it filled. The report waits
// for the end of that paint pass, so the children drawn after the page count too.
class FilledPaintWatch : public QObject {
 public:
  FilledPaintWatch(QWidget* page, std::function<bool()> filled, const char* what)
      : QObject(page), filled_(std::move(filled)), what_(what) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint || done_ || !filled_()) return false;
    done_ = true;
    QPointer<FilledPaintWatch> self(this);
    QTimer::singleShot(0, watched, [self] {
      if (self.isNull()) return;
      self->Report();
      self->deleteLater();
    });
    return false;
  }

 private:
  void Report() const {
    Trace(what_);
    if (g_windowShown == std::chrono::steady_clock::time_point{}) return;
    const std::chrono::duration<double, std::milli> since =
        std::chrono::steady_clock::now() - g_windowShown;
    std::fprintf(stderr, "korvane-trace show-to-%s %.1f\n", what_, since.count());
    std::fflush(stderr);
  }

  std::function<bool()> filled_;
  const char* what_;
  bool done_ = false;
};

}  // namespace

void StartupTrace(const char* what) { Trace(what); }

void MarkWindowShown() {
  if (!TraceOn() || g_windowShown != std::chrono::steady_clock::time_point{}) return;
  g_windowShown = std::chrono::steady_clock::now();
  Trace("window-shown");
}

void TraceFilledPaint(QWidget* page, std::function<bool()> filled, const char* what) {
  if (page == nullptr || !TraceOn()) return;
  page->installEventFilter(new FilledPaintWatch(page, std::move(filled), what));
}

CStartPanel::CStartPanel(QWidget* parent)
    : QWidget(parent), url_(BuiltInPageUrl(QStringLiteral("FIRST_PAGE.HTM"))) {
  setObjectName(QStringLiteral("startPanel"));
}

bool CStartPanel::BrowserWanted() {
  const char* off = std::getenv("KORVANE_NO_BROWSER");
  return off == nullptr || std::strcmp(off, "1") != 0;
}

void CStartPanel::Navigate(const QUrl& url) {
  url_ = url;
  if (browser_ != nullptr) browser_->Navigate(url_);
}

void CStartPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(247, 250, 240));
  if (scheduled_) return;
  scheduled_ = true;
  Trace("first-paint");
  // After this paint has reached the screen, not inside it.
  if (BrowserWanted()) QTimer::singleShot(0, this, &CStartPanel::CreateBrowser);
}

void CStartPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (browser_ != nullptr) browser_->setGeometry(rect());
}

void CStartPanel::CreateBrowser() {
  if (browser_ != nullptr) return;
  browser_ = new CWebBrowser2(this);
  browser_->setGeometry(rect());
  connect(browser_, &CWebBrowser2::PageReady, this, [] { Trace("start-page-ready"); });
  browser_->Navigate(url_);
  browser_->show();
  Trace("browser-created");
  emit BrowserCreated();
}

}  // namespace korvane
