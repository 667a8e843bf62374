// Renders the summary page's header with stored scores to a PNG:
// summary_header_screenshot OUT.png [CPU_SCORE [MEM_SCORE [WIDTH]]]. The scores are written to
// the settings of the HOME it runs with, so run it with a HOME of its own. The system
// information is the running machine's (or KORVANE_SYSROOT's). QT_SCALE_FACTOR=2 gives the
// picture at twice the pixels. Prints how long reading the system information took.
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "platform/Registry.h"
#include "scores/ScoreStore.h"
#include "ui/HdwSummaryDlg.h"
#include "ui/SummaryHeader.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: summary_header_screenshot OUT.png [CPU_SCORE [MEM_SCORE [WIDTH]]]\n");
    return 2;
  }
  qputenv("KORVANE_NO_BROWSER", "1");
  QApplication app(argc, argv);
  const float cpuScore = argc > 2 ? std::strtof(argv[2], nullptr) : 4.5f;
  const float memScore = argc > 3 ? std::strtof(argv[3], nullptr) : 3.82f;
  const int width = argc > 4 ? std::atoi(argv[4]) : 980;
  {
    platform::RegistryKey key;
    if (key.Create(platform::RegRoot::CurrentUser, korvane::kScoreRegistryKey) !=
        platform::kRegOk) {
      std::fprintf(stderr, "summary_header_screenshot: cannot create the score key\n");
      return 1;
    }
  }
  if (cpuScore > 0) {
    korvane::StoreGroupScore(korvane::kCpuGroup, korvane::StoredIntegerFromScore(cpuScore));
  }
  if (memScore > 0) {
    korvane::StoreGroupScore(korvane::kMemoryGroup, korvane::StoredIntegerFromScore(memScore));
  }

  // What the header costs the window's thread when it is created: one read of the system.
  QElapsedTimer clock;
  clock.start();
  const korvane::summary::SystemInfoFacts facts = korvane::summary::ReadSystemInfoFacts();
  std::printf("system information read in %.2f ms\n",
              static_cast<double>(clock.nsecsElapsed()) / 1e6);
  (void)facts;

  korvane::summary::SummarySources sources;
  sources.library = [] { return static_cast<korvane::CPUIDSDK*>(nullptr); };
  int code = 1;
  {
    korvane::CHdwSummaryDlg page(nullptr, std::move(sources));
    page.resize(width, 600);
    page.show();
    page.Start();
    QTimer::singleShot(200, [&] {
      code = page.Header()->grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
      app.quit();
    });
    app.exec();
  }
  return code;
}
