#include "ui/StartPanel.h"

#include <QPainter>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/WebBrowser2.h"

namespace korvane {

namespace {

// KORVANE_STARTUP_TRACE=1: moments of the start-up on standard error, in wall-clock
// milliseconds, for the start-up benchmark to compare with the moment it launched us.
void Trace(const char* what) {
  const char* on = std::getenv("KORVANE_STARTUP_TRACE");
  if (on == nullptr || std::strcmp(on, "1") != 0) return;
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  std::fprintf(stderr, "korvane-trace %s %lld\n", what, static_cast<long long>(now));
  std::fflush(stderr);
}

}  // namespace

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
