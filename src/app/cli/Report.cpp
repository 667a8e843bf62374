#include "app/cli/Report.h"

#include <iostream>

#include "app/cli/RunLibrary.h"
#include "config/LanguageRes.h"
#include "hwlib/CpuidSdk.h"
#include "hwlib/HardwareLibrary.h"
#include "scores/ScoreStore.h"
#include "summary/HdwSummary.h"
#include "summary/SummaryReport.h"

namespace korvane {
namespace {

// The score display of a terminal: the stored values go to the page as the window's display
// would pass them; nothing is announced.
class PageScoreDisplay : public IScoreDisplay {
 public:
  explicit PageScoreDisplay(summary::CHdwSummary& page) : page_(page) {}
  void ShowScore(int kind, float score) override { page_.ShowScore(kind, score); }

 private:
  summary::CHdwSummary& page_;
};
class SilentBroadcaster : public IScoreBroadcaster {
 public:
  void Broadcast(std::string_view, platform::WParam, platform::LParam) override {}
};

}  // namespace

int RunReportCli(const std::vector<std::string>& args) {
  bool json = false;
  bool showPrivate = false;
  for (const auto& a : args) {
    if (a == "--json") {
      json = true;
    } else if (a == "--show-private") {
      showPrivate = true;
    } else {
      std::cerr << "korvane --report: unknown option " << a
                << "\nUsage: korvane --report [--json] [--show-private]\n";
      return 2;
    }
  }
  CRunLibrary library;
  CPUIDSDK* sdk = library.Get();
  const CLanguageRes& lang = LanguageRes();
  summary::SummarySources sources;
  sources.library = [sdk] { return sdk; };
  summary::CHdwSummary page(lang, std::move(sources));
  PageScoreDisplay display(page);
  SilentBroadcaster broadcaster;
  const StoredScores scores = LoadStoredScores(display, broadcaster);
  page.OnFirstShow(scores.cpu, scores.memory);
  const auto doc = summary::BuildReportDocument(page, lang, showPrivate);
  if (json) {
    std::cout << doc.dump(2) << '\n';
  } else {
    std::cout << summary::RenderReportText(doc);
  }
  return 0;
}

}  // namespace korvane
