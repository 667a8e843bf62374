// Runs the program's window exactly as korvane-window does and, once it is up, photographs
// it twice: the summary page when the start panel shows the on-line start page, and the Rank
// page (which has no tab) when the ranking page has loaded. Then it closes the window the way
// the user does.
//
//   window_pages START.png RANK.png [program arguments]
//
// Exit status 0 when both pictures show the service's pages, 3 when one of them did not come
// from the service (the picture is written anyway), 1 when there was no window at all.
#include <QCoreApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "app/GuiMain.h"
#include "app/logic/MainWindowRules.h"
#include "ui/HdwRankDlg.h"
#include "ui/HdwSummaryDlg.h"
#include "ui/KorvaneDlg.h"
#include "ui/StartPanel.h"
#include "ui/WebBrowser2.h"

namespace {

QString g_startPicture;
QString g_rankPicture;
int g_result = 1;

// A browser shows a page of the service when its address is on-line and the page has loaded
// without the error page: the engine said so, or (when the load ended before we listened) the
// document's own title has replaced the address.
bool ShowsOnlinePage(const korvane::CWebBrowser2* browser, bool ready) {
  if (browser == nullptr || browser->ShowingErrorPage()) return false;
  const QString scheme = browser->url().scheme();
  if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) return false;
  const QString title = browser->title();
  return ready || (!title.isEmpty() && title != browser->url().toString() &&
                   !browser->url().toString().endsWith(title));
}

void Photograph(QWidget* window, const QString& file, const char* what, bool online) {
  if (!window->grab().save(file)) {
    std::fprintf(stderr, "window_pages: cannot write %s\n", qPrintable(file));
    g_result = 1;
    return;
  }
  std::printf("window_pages: %s -> %s%s\n", what, qPrintable(file),
              online ? "" : " (NOT the service's page)");
  std::fflush(stdout);
  if (!online && g_result == 0) g_result = 3;
}

// Waits until `browser()` shows an on-line page (or the time is up), lets it paint, then calls
// done(online).
void WhenOnline(std::function<korvane::CWebBrowser2*()> browser, std::function<void(bool)> done) {
  struct State {
    bool ready = false;
    korvane::CWebBrowser2* watched = nullptr;
    int ticks = 0;
  };
  auto state = std::make_shared<State>();
  auto* timer = new QTimer(qApp);
  timer->setInterval(250);
  QObject::connect(timer, &QTimer::timeout, timer, [=] {
    korvane::CWebBrowser2* b = browser();
    if (b != nullptr && b != state->watched) {
      state->watched = b;
      // Tied to the timer, so a later load of this browser reaches nothing once we are done.
      QObject::connect(b, &korvane::CWebBrowser2::PageReady, timer,
                       [state](bool ok) { state->ready = ok; });
    }
    const bool online = ShowsOnlinePage(b, state->ready);
    if (online || ++state->ticks > 240) {
      timer->stop();
      timer->deleteLater();
      // A moment for the page's first paint after the load.
      QTimer::singleShot(1500, qApp, [done, online] { done(online); });
    }
  });
  timer->start();
}

void Arm() {
  WhenOnline(
      [] {
        korvane::CKorvaneDlg* w = korvane::CKorvaneDlg::MainWindow();
        if (w == nullptr || !w->isVisible() || w->SummaryPage() == nullptr ||
            w->SummaryPage()->StartPanel() == nullptr)
          return static_cast<korvane::CWebBrowser2*>(nullptr);
        return w->SummaryPage()->StartPanel()->Browser();
      },
      [](bool online) {
        korvane::CKorvaneDlg* w = korvane::CKorvaneDlg::MainWindow();
        if (w == nullptr) return;
        g_result = 0;
        Photograph(w, g_startPicture, "start panel", online);
        w->ShowPage(korvane::kPageRank, true, -1);
        WhenOnline(
            [] {
              korvane::CKorvaneDlg* main = korvane::CKorvaneDlg::MainWindow();
              return main != nullptr && main->RankPage() != nullptr ? main->RankPage()->Browser()
                                                                    : nullptr;
            },
            [](bool rankOnline) {
              korvane::CKorvaneDlg* main = korvane::CKorvaneDlg::MainWindow();
              if (main == nullptr) return;
              Photograph(main, g_rankPicture, "Rank page", rankOnline);
              main->RequestQuit();
            });
      });
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Arm)

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: window_pages START.png RANK.png [program arguments]\n");
    return 2;
  }
  g_startPicture = QString::fromLocal8Bit(argv[1]);
  g_rankPicture = QString::fromLocal8Bit(argv[2]);
  std::vector<char*> programArgs{argv[0]};
  for (int i = 3; i < argc; ++i) programArgs.push_back(argv[i]);
  programArgs.push_back(nullptr);
  const int status = korvane::RunGui(static_cast<int>(programArgs.size()) - 1, programArgs.data());
  return status != 0 ? status : g_result;
}
