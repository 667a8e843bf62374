// Renders the summary page of the machine it runs on (or of KORVANE_SYSROOT) with stored
// scores to a PNG: summary_screenshot OUT.png [CPU_SCORE MEM_SCORE]. The scores are written to
// the settings of the HOME it runs with, so run it with a HOME of its own. Prints how long the
// page took from its first show to every pane painted.
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScrollArea>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "hwlib/CpuidSdk.h"
#include "platform/DynamicLibrary.h"
#include "platform/Registry.h"
#include "scores/ScoreStore.h"
#include "ui/HdwSummaryDlg.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: summary_screenshot OUT.png [CPU_SCORE MEM_SCORE]\n");
    return 2;
  }
  // The picture is of the hardware panes; the start panel's browser stays out of it.
  qputenv("KORVANE_NO_BROWSER", "1");
  QApplication app(argc, argv);
  const float cpuScore = argc > 2 ? std::strtof(argv[2], nullptr) : 4.37f;
  const float memScore = argc > 3 ? std::strtof(argv[3], nullptr) : 3.82f;
  {
    // The key exists once the program has run; a fresh HOME has none yet.
    platform::RegistryKey key;
    if (key.Create(platform::RegRoot::CurrentUser, korvane::kScoreRegistryKey) !=
        platform::kRegOk) {
      std::fprintf(stderr, "summary_screenshot: cannot create the score key\n");
    }
  }
  korvane::StoreGroupScore(korvane::kCpuGroup, korvane::StoredIntegerFromScore(cpuScore));
  korvane::StoreGroupScore(korvane::kMemoryGroup, korvane::StoredIntegerFromScore(memScore));

  platform::DynamicLibrary module;
  korvane::CPUIDSDK sdk;
  bool ready = false;
  if (module.Load(QMHDWLIB_PATH)) {
    sdk.Bind(reinterpret_cast<qmhdw::QueryInterfaceFn>(module.Resolve("QueryInterface")));
    char textA[korvane::kLibTextSize] = {};
    ready = sdk.CreateInstance() && sdk.Init(textA, QMHDWLIB_PATH) != 0;
  }
  korvane::summary::SummarySources sources;
  sources.library = [&] { return ready ? &sdk : nullptr; };
  int code = 1;
  {
    korvane::CHdwSummaryDlg page(nullptr, std::move(sources));
    page.resize(980, 2400);
    // From the page's first show to every pane filled and painted: detection, the stored
    // scores, the build and one synchronous paint.
    QElapsedTimer clock;
    clock.start();
    page.show();
    page.Start();
    page.repaint();
    QCoreApplication::processEvents();
    std::printf("summary filled and painted %.1f ms after first show\n",
                static_cast<double>(clock.nsecsElapsed()) / 1e6);
    QTimer::singleShot(200, [&] {
      page.RefreshValues(true);
      // The page as tall as its panes, so every pane is in the picture.
      auto* stack = page.findChild<QScrollArea*>(QStringLiteral("summaryStack"));
      if (stack != nullptr && stack->widget() != nullptr) {
        page.resize(980, stack->widget()->sizeHint().height() + 24 + 160);
      }
      QTimer::singleShot(200, [&] {
        // Down to the last pane's bottom edge.
        QWidget* last = page.Pane(korvane::summary::kCategorySound);
        const int bottom = last->mapTo(&page, QPoint(0, last->height())).y() + 8;
        code = page.grab(QRect(0, 0, page.width(), std::min(bottom, page.height())))
                       .save(QString::fromLocal8Bit(argv[1]))
                   ? 0
                   : 1;
        app.quit();
      });
    });
    app.exec();
  }
  if (ready) {
    sdk.Close();
    sdk.DestroyInstance();
  }
  return code;
}
