#pragma once
// The start panel of the summary page: a browser host that shows the built-in start page (or
// the on-line one). Bringing up the browser engine costs noticeable time and memory, so the
// host is made only after the panel has first been painted: the summary appears at once and
// the page follows.
#include <QUrl>
#include <QWidget>
#include <functional>

namespace korvane {

// KORVANE_STARTUP_TRACE=1: moments of the start-up on standard error ("korvane-trace <what>
// <wall-clock ms>") for the start-up benchmarks; without it these do nothing.
void StartupTrace(const char* what);
// The main window's first show, which the window's speed is measured from.
void MarkWindowShown();
// Once: the first time `page` has been painted while `filled()` holds, reports `what` and the
// milliseconds since MarkWindowShown ("korvane-trace show-to-<what> <ms>").
void TraceFilledPaint(QWidget* page, std::function<bool()> filled, const char* what);

class CWebBrowser2;

class CStartPanel : public QWidget {
  Q_OBJECT

 public:
  explicit CStartPanel(QWidget* parent = nullptr);
  // Where the host goes once it exists; a later call navigates at once.
  void Navigate(const QUrl& url);
  // Where the host is, or goes once it exists.
  QUrl Url() const { return url_; }
  CWebBrowser2* Browser() const { return browser_; }
  // KORVANE_NO_BROWSER=1 keeps the panel empty (for cost comparisons and bare machines).
  static bool BrowserWanted();

 signals:
  void BrowserCreated();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateBrowser();

  CWebBrowser2* browser_ = nullptr;
  QUrl url_;
  bool scheduled_ = false;
};

}  // namespace korvane
