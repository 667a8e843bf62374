// The header above the summary panes: its information rows, the score badge's stars, number and
// link, where the main window's scores go, and what the terminal report shows of it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "config/LanguageRes.h"
#include "platform/Sysroot.h"
#include "summary/HdwSummary.h"
#include "summary/SummaryHeader.h"
#include "summary/SummaryReport.h"
#include "sysinfo/OsName.h"

using namespace korvane;
using namespace korvane::summary;

namespace {

const CLanguageRes& English() {
  static const CLanguageRes lang{LocaleSource::SystemWithLocale("C")};
  return lang;
}

SystemInfoFacts KnownFacts() {
  SystemInfoFacts f;
  f.osName = "Debian GNU/Linux 12 (bookworm)";
  f.osBuild = "Kernel 6.1.0-18-amd64";
  f.computerName = "workbench";
  f.userName = "alice";
  f.computerType = "ACPI x64-based PC";
  return f;
}

std::string Value(const std::vector<SummaryRow>& rows, std::string_view key) {
  for (const auto& r : rows) {
    if (r.key == key) return r.value;
  }
  return "<missing>";
}

}  // namespace

TEST(SummaryHeaderStars, FollowTheScoreInHalvesOfWholeStars) {
  // 4.5: four whole stars, the fifth 12 of its 25 pixels full, the last two empty.
  EXPECT_EQ(StarsFor(4.5f), (StarRow{4, 12}));
  EXPECT_EQ(StarsFor(0.99f), (StarRow{0, 24}));
  EXPECT_EQ(StarsFor(1.0f), (StarRow{1, 0}));
  EXPECT_EQ(StarsFor(6.99f), (StarRow{6, 24}));
  // Seven or more: seven whole stars and no partial one past the row.
  EXPECT_EQ(StarsFor(7.0f), (StarRow{7, 0}));
  EXPECT_EQ(StarsFor(7.9f), (StarRow{7, 0}));
  EXPECT_EQ(StarsFor(1e30f), (StarRow{7, 0}));
  EXPECT_EQ(StarsFor(std::numeric_limits<float>::infinity()), (StarRow{7, 0}));
}

TEST(SummaryHeaderStars, NoScoreDrawsSevenEmptyStars) {
  for (float s : {0.0f, -1.0f, -1e30f, std::numeric_limits<float>::quiet_NaN()}) {
    EXPECT_EQ(StarsFor(s), (StarRow{0, 0})) << s;
  }
}

TEST(SummaryHeaderBadge, NumberAndLinkTextFollowWhetherThereIsAScore) {
  for (float s : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) {
    const ScoreFace face = ScoreFaceFor(s);
    EXPECT_EQ(face.text, "0");
    EXPECT_TRUE(face.noScore);
    EXPECT_EQ(UpdateLinkTextId(s), kTextUpdateScore);
  }
  EXPECT_EQ(ScoreFaceFor(4.5f).text, "4.50");
  EXPECT_FALSE(ScoreFaceFor(4.5f).noScore);
  EXPECT_EQ(ScoreFaceFor(0.01f).text, "0.01");
  EXPECT_EQ(ScoreFaceFor(6.999f).text, "7.00");
  EXPECT_EQ(UpdateLinkTextId(0.01f), kTextReupdateScore);
  EXPECT_EQ(English().Text(UpdateLinkTextId(0)), "Update Score");
  EXPECT_EQ(English().Text(UpdateLinkTextId(3)), "Reupdate Score");
}

TEST(SummaryHeaderScores, KindsGoToTheBadgeThePanesOrNowhere) {
  EXPECT_EQ(RouteScore(0), ScoreRoute::kOverall);
  EXPECT_EQ(RouteScore(1), ScoreRoute::kCpuPane);
  EXPECT_EQ(RouteScore(2), ScoreRoute::kMemoryPane);
  EXPECT_EQ(RouteScore(3), ScoreRoute::kRepaintOnly);
  EXPECT_EQ(RouteScore(9), ScoreRoute::kRepaintOnly);
  EXPECT_EQ(RouteScore(10), ScoreRoute::kIgnored);
  EXPECT_EQ(RouteScore(-1), ScoreRoute::kIgnored);

  CSummaryHeader header;
  EXPECT_EQ(header.OverallScore(), -1.0f);
  header.ShowScore(0, 5.25f);
  header.ShowScore(1, 4.5f);
  header.ShowScore(2, 3.0f);
  EXPECT_EQ(header.OverallScore(), 5.25f);
  EXPECT_EQ(header.CpuScore(), 4.5f);
  EXPECT_EQ(header.MemoryScore(), 3.0f);
  // Only the header's own score and the other small kinds repaint it; nothing is stored.
  EXPECT_EQ(header.Repaints(), 1);
  header.ShowScore(7, 1.0f);
  header.ShowScore(10, 1.0f);
  EXPECT_EQ(header.Repaints(), 2);
  EXPECT_EQ(header.OverallScore(), 5.25f);
}

TEST(SummaryHeaderInfo, KnownValuesFollowTheirLabels) {
  const auto rows = SystemInfoRows(KnownFacts(), English());
  ASSERT_EQ(rows.size(), 6u);
  const char* keys[] = {"Os",           "BuildInfo",     "ComputerName", "LogonUserName",
                        "ComputerType", "DirectXVersion"};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].key, keys[i]);
    EXPECT_EQ(rows[i].label, "");
  }
  EXPECT_EQ(rows[0].value, "OS : Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(rows[1].value, "Build : Kernel 6.1.0-18-amd64");
  EXPECT_EQ(rows[2].value, "Computer Name : workbench");
  EXPECT_EQ(rows[3].value, "User Name : alice");
  EXPECT_EQ(rows[4].value, "Computer Type : ACPI x64-based PC");
  // No DirectX on this system: the row stays empty rather than claiming version 0.0.
  EXPECT_EQ(rows[5].value, "");

  const CLanguageRes zh(LocaleSource::SystemWithLocale("zh_CN.UTF-8"));
  EXPECT_EQ(Value(SystemInfoRows(KnownFacts(), zh), "Os"),
            "操作系统 : Debian GNU/Linux 12 (bookworm)");
}

TEST(SummaryHeaderInfo, UnknownValuesShowTheirMarkers) {
  SystemInfoFacts f;
  f.computerName = "";  // asked, but empty
  const auto rows = SystemInfoRows(f, English());
  EXPECT_EQ(Value(rows, "Os"), "OS : Unknown");
  EXPECT_EQ(Value(rows, "BuildInfo"), "Build : Unknown");
  EXPECT_EQ(Value(rows, "ComputerName"), "Computer Name : Unknown");
  EXPECT_EQ(Value(rows, "LogonUserName"), "User Name : Unknown");
  EXPECT_EQ(Value(rows, "ComputerType"), "Computer Type : ACPI UniProcessor PC");

  // A build text without a name is not shown: both come from the one naming.
  SystemInfoFacts buildOnly;
  buildOnly.osBuild = "Kernel 6.1";
  EXPECT_EQ(Value(SystemInfoRows(buildOnly, English()), "BuildInfo"), "Build : Unknown");
}

TEST(SummaryHeaderInfo, TerminalMaskHidesBothNames) {
  const auto rows = SystemInfoRows(KnownFacts(), English(), true);
  EXPECT_EQ(Value(rows, "ComputerName"), "Computer Name : XXXXXXXX");
  EXPECT_EQ(Value(rows, "LogonUserName"), "User Name : XXXXXXXX");
  EXPECT_EQ(Value(rows, "Os"), "OS : Debian GNU/Linux 12 (bookworm)");
  // The unknown marker is nobody's name.
  EXPECT_EQ(Value(SystemInfoRows(SystemInfoFacts{}, English(), true), "LogonUserName"),
            "User Name : Unknown");
}

TEST(SummaryHeaderInfo, DirectXRowBySystemRegistryAndFiles) {
  DirectXFacts f;
  f.registryVersion = "4.09.00.0904";
  f.fileVersion = {9, 0, 'c'};
  EXPECT_EQ(DirectXRowText(f, English()), "DirectX Version : 4.09.00.0904 (DirectX 9.0c)");
  // Windows 7 shows its fixed text whatever the registry holds; Vista and 2008 theirs.
  f.windows7 = true;
  EXPECT_EQ(DirectXRowText(f, English()), "DirectX Version : (DirectX 11.0)");
  f.windows7 = false;
  f.vistaOrServer2008 = true;
  EXPECT_EQ(DirectXRowText(f, English()), "DirectX Version : (DirectX 10.0)");
  f.vistaOrServer2008 = false;
  // A registry text without a release name takes the files' version.
  f.registryVersion = "4.08.01.0881";
  f.fileVersion = {8, 1, ' '};
  EXPECT_EQ(DirectXRowText(f, English()), "DirectX Version : 4.08.01.0881 (DirectX 8.1)");
  f.fileVersion = {};
  EXPECT_EQ(DirectXRowText(f, English()), "");
  // No registry text: the files alone.
  f.registryVersion.reset();
  f.fileVersion = {9, 0, 'c'};
  EXPECT_EQ(DirectXRowText(f, English()), "DirectX Version : DirectX 9.0c");
}

namespace {

struct ScorePage {
  CHdwSummary page{English(),
                   SummarySources{[] { return static_cast<CPUIDSDK*>(nullptr); },
                                  [] { return BoardFacts{}; }, [] { return MemoryFacts{}; },
                                  [] { return std::vector<NetworkAdapterFacts>{}; },
                                  [] { return std::vector<SoundDeviceFacts>{}; }}};
  ScorePage() {
    page.SetSystemInfoSource(KnownFacts);
    page.BuildPage(false);
    page.SetReady(true);
    page.BuildCategory(kCategoryCpu);
    page.BuildCategory(kCategoryMemory);
  }
  const DeviceInfoModel& First(int category) const {
    return page.panes[static_cast<std::size_t>(category)].controls.front();
  }
};

}  // namespace

TEST(SummaryHeaderScores, CpuAndMemoryScoresReachTheirPanes) {
  ScorePage p;
  ASSERT_FALSE(p.page.panes[kCategoryCpu].controls.empty());
  ASSERT_FALSE(p.page.panes[kCategoryMemory].controls.empty());
  p.page.ShowScore(1, 4.5f);
  EXPECT_TRUE(p.First(kCategoryCpu).hasScore);
  EXPECT_DOUBLE_EQ(p.First(kCategoryCpu).score, 4.5);
  EXPECT_FALSE(p.First(kCategoryMemory).hasScore);

  p.page.ShowScore(2, 3.25f);
  EXPECT_DOUBLE_EQ(p.First(kCategoryMemory).score, 3.25);
  EXPECT_DOUBLE_EQ(p.First(kCategoryCpu).score, 4.5);  // the CPU keeps its own

  // The overall score and the other kinds leave the panes alone.
  p.page.ShowScore(0, 6.0f);
  p.page.ShowScore(5, 1.0f);
  p.page.ShowScore(11, 1.0f);
  EXPECT_DOUBLE_EQ(p.First(kCategoryCpu).score, 4.5);
  EXPECT_EQ(p.page.header.OverallScore(), 6.0f);

  // A score of zero (the loader's first call) clears the badge again.
  p.page.ShowScore(1, 0.0f);
  EXPECT_FALSE(p.First(kCategoryCpu).hasScore);
  // A refresh keeps what was shown.
  p.page.ShowScore(2, 3.25f);
  p.page.RefreshValues(true);
  EXPECT_DOUBLE_EQ(p.First(kCategoryMemory).score, 3.25);
}

TEST(SummaryHeaderReport, ShowsTheInformationAndTheBadge) {
  ScorePage p;
  p.page.BuildHeader();
  p.page.ShowScore(0, 4.5f);
  p.page.ShowScore(1, 4.5f);
  const auto doc = BuildReportDocument(p.page, English(), false);
  const auto& h = doc.at("header");
  ASSERT_EQ(h.at("systemInfo").size(), 6u);
  EXPECT_EQ(h["systemInfo"][0]["key"], "Os");
  EXPECT_EQ(h["systemInfo"][3]["value"], "User Name : XXXXXXXX");
  EXPECT_EQ(h["systemInfo"][2]["value"], "Computer Name : XXXXXXXX");
  EXPECT_EQ(h["badge"]["caption"], "CPU Score");
  EXPECT_DOUBLE_EQ(h["badge"]["score"].get<double>(), 4.5);
  EXPECT_EQ(h["badge"]["text"], "4.50");
  EXPECT_EQ(h["badge"]["fullStars"], 4);
  EXPECT_EQ(h["badge"]["partialStarPixels"], 12);
  EXPECT_EQ(h["badge"]["link"], "Reupdate Score");
  EXPECT_DOUBLE_EQ(h["cpuScore"].get<double>(), 4.5);
  EXPECT_TRUE(h["memoryScore"].is_null());

  const std::string text = RenderReportText(doc);
  EXPECT_EQ(text.find("alice"), std::string::npos);
  EXPECT_EQ(text.find("workbench"), std::string::npos);
  EXPECT_NE(text.find("  OS : Debian GNU/Linux 12 (bookworm)\n"), std::string::npos);
  EXPECT_NE(
      text.find(
          "  CPU Score  4.50  \u2605\u2605\u2605\u2605\u2606\u2606\u2606  [Reupdate Score]\n"),
      std::string::npos);
  // The header comes before the first pane.
  EXPECT_LT(text.find("CPU Score  4.50"), text.find("== CPU"));

  const auto shown = BuildReportDocument(p.page, English(), true);
  EXPECT_EQ(shown["header"]["systemInfo"][3]["value"], "User Name : alice");
}

TEST(SummaryHeaderReport, NoScoreShowsZeroAndTheUpdateLink) {
  ScorePage p;
  p.page.BuildHeader();
  p.page.ShowScore(0, 0.0f);
  const auto doc = BuildReportDocument(p.page, English(), false);
  EXPECT_TRUE(doc["header"]["badge"]["score"].is_null());
  EXPECT_EQ(doc["header"]["badge"]["text"], "0");
  EXPECT_EQ(doc["header"]["badge"]["fullStars"], 0);
  EXPECT_EQ(doc["header"]["badge"]["link"], "Update Score");
}

TEST(SummaryHeaderMachine, RecordedMachinesAnswerForThemselves) {
  platform::SetSysrootPrefixForTesting(KORVANE_FIXTURES_DIR "/machines/vm");
  const SystemInfoFacts vm = ReadSystemInfoFacts();
  platform::SetSysrootPrefixForTesting(KORVANE_FIXTURES_DIR "/machines/hdmi-first");
  const SystemInfoFacts named = ReadSystemInfoFacts();
  platform::SetSysrootPrefixForTesting("");

  EXPECT_EQ(vm.osName.value_or(""), "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(vm.osBuild.value_or(""), "Kernel 6.18.44-fc-v1300");
  // The recording holds no host name, and the live machine's is not asked for.
  EXPECT_FALSE(vm.computerName.has_value());
  EXPECT_EQ(named.computerName.value_or(""), "hdmi-first");
  // The computer type is the machine's "Computer" device; its name depends on the build's
  // architecture, but it is always an ACPI PC.
  ASSERT_TRUE(vm.computerType.has_value());
  EXPECT_EQ(vm.computerType->rfind("ACPI ", 0), 0u) << *vm.computerType;
  // Linux has no DirectX: its row stays empty.
  EXPECT_EQ(DirectXRowText(vm.directX, English()), "");
}
