// The window benchmark reads one line: the first paint of the summary page once it is filled,
// counted from the window's first show. It must not come early (before the fill), twice, or
// at all when the trace is off.
#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/StartPanel.h"

namespace {

// Standard error into a file for the length of a test.
class CapturedStderr {
 public:
  CapturedStderr() {
    std::fflush(stderr);
    file_ = std::tmpfile();
    saved_ = ::dup(2);
    ::dup2(::fileno(file_), 2);
  }
  ~CapturedStderr() {
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    std::fclose(file_);
  }
  std::string Text() {
    std::fflush(stderr);
    std::string text;
    std::rewind(file_);
    char buffer[512];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text.append(buffer, n);
    return text;
  }

 private:
  std::FILE* file_ = nullptr;
  int saved_ = -1;
};

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

class StartupTraceTest : public QObject {
  Q_OBJECT

 private slots:
  void ReportsOnceTheFirstPaintOfTheFilledPage() {
    ::setenv("KORVANE_STARTUP_TRACE", "1", 1);
    CapturedStderr err;
    korvane::MarkWindowShown();
    QWidget page;
    page.resize(200, 100);
    bool filled = false;
    korvane::TraceFilledPaint(
        &page, [&filled] { return filled; }, "page-painted");
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    page.repaint();
    QCoreApplication::processEvents();
    QCOMPARE(Count(err.Text(), "page-painted"), 0);  // painted, but not filled yet

    filled = true;
    page.repaint();
    QCoreApplication::processEvents();
    const std::string text = err.Text();
    QCOMPARE(Count(text, "korvane-trace window-shown "), 1);
    QCOMPARE(Count(text, "korvane-trace page-painted "), 1);
    QCOMPARE(Count(text, "korvane-trace show-to-page-painted "), 1);
    const std::size_t at = text.find("show-to-page-painted ");
    const double ms = std::atof(text.c_str() + at + std::string("show-to-page-painted ").size());
    QVERIFY(ms > 0.0 && ms < 60000.0);

    page.repaint();
    QCoreApplication::processEvents();
    QCOMPARE(Count(err.Text(), "page-painted"), 2);  // the two lines above, nothing more
  }

  void SilentAndWatchingNothingWhenOff() {
    ::unsetenv("KORVANE_STARTUP_TRACE");
    CapturedStderr err;
    QWidget page;
    const auto children = page.children().size();
    korvane::TraceFilledPaint(
        &page, [] { return true; }, "page-painted");
    QCOMPARE(page.children().size(), children);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    page.repaint();
    QCoreApplication::processEvents();
    korvane::StartupTrace("anything");
    QCOMPARE(Count(err.Text(), "korvane-trace"), 0);
  }
};

QTEST_MAIN(StartupTraceTest)
#include "StartupTraceTest.moc"
