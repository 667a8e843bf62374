#include <gtest/gtest.h>

#include "config/LanguageRes.h"
#include "summary/HdwSummary.h"
#include "summary/PrivateText.h"
#include "summary/SummaryReport.h"

using namespace korvane;
using namespace korvane::summary;

TEST(PrivateText, NetworkRowsAreMaskedByTheirKind) {
  EXPECT_EQ(MaskRowValue(kCategoryNetwork, "MACAddress", "00-1A-2B-3C-4D-5E"), "XX-XX-XX-XX-4D-5E");
  EXPECT_EQ(MaskRowValue(kCategoryNetwork, "DnsServer", "8.8.8.8, 192.168.1.1"),
            "XXX.XXX.XXX.8, 192.168.1.1");
  EXPECT_EQ(MaskRowValue(kCategoryNetwork, "GatewayAddr", "Auto"), "Auto");
}

TEST(PrivateText, RowsOfOtherPanesPassUnchanged) {
  EXPECT_EQ(MaskRowValue(kCategoryNetwork, "SubNetMasks", "1.2.3.4"), "1.2.3.4");
  EXPECT_EQ(MaskRowValue(kCategoryDisk, "IPAddress", "1.2.3.4"), "1.2.3.4");
}

namespace {

struct NetPage {
  CLanguageRes lang{LocaleSource::SystemWithLocale("C")};
  CHdwSummary page{lang, SummarySources{[] { return static_cast<CPUIDSDK*>(nullptr); },
                                        [] { return BoardFacts{}; },
                                        [] { return MemoryFacts{}; },
                                        {},
                                        {}}};
  NetPage() {
    page.BuildPage(false);
    page.SetReady(true);
    page.network = {{"eth", "Intel", "Ethernet", true, "00-1A-2B-3C-4D-5E\n", false, "81.2.3.4",
                     "255.255.255.0", "81.2.3.1", "9.9.9.9"}};
    page.BuildCategory(kCategoryNetwork);
    page.BuildCategory(kCategorySound);
    page.RefreshValues(true);
  }
};

}  // namespace

TEST(SummaryReport, DocumentMasksUnlessAsked) {
  NetPage p;
  const auto masked = BuildReportDocument(p.page, p.lang, false);
  EXPECT_EQ(masked["schema"], kReportSchema);
  EXPECT_EQ(masked["language"], "en");
  ASSERT_EQ(masked["panes"].size(), 8u);
  const auto& net = masked["panes"][6];
  EXPECT_EQ(net["id"], "network");
  EXPECT_EQ(net["caption"], "eth");
  EXPECT_EQ(net["devices"][0]["rows"][3]["value"], "XX-XX-XX-XX-4D-5E");
  EXPECT_EQ(net["devices"][0]["rows"][5]["value"], "XXX.XXX.XXX.4");
  EXPECT_EQ(net["devices"][0]["rows"][6]["value"], "255.255.255.0");
  const auto text = RenderReportText(masked);
  EXPECT_EQ(text.find("81.2.3.4"), std::string::npos);
  EXPECT_EQ(text.find("9.9.9.9"), std::string::npos);
  EXPECT_EQ(text.find("1A-2B"), std::string::npos);

  const auto shown = BuildReportDocument(p.page, p.lang, true);
  EXPECT_EQ(shown["panes"][6]["devices"][0]["rows"][5]["value"], "81.2.3.4");
  EXPECT_NE(RenderReportText(shown).find("00-1A-2B-3C-4D-5E"), std::string::npos);
}

TEST(SummaryReport, TextShowsTitlesCaptionsAndAlignedRows) {
  NetPage p;
  const auto text = RenderReportText(BuildReportDocument(p.page, p.lang, false));
  EXPECT_NE(text.find("== Network == eth\n"), std::string::npos);
  EXPECT_NE(text.find("  DHCP          No\n"), std::string::npos);
  EXPECT_NE(text.find("== Sound == (AC'97 Digital Audio Device)\n"), std::string::npos);
  // An unbuilt pane still has its title.
  EXPECT_NE(text.find("== CPU\n"), std::string::npos);
  // No line ends in spaces.
  EXPECT_EQ(text.find(" \n"), std::string::npos);
}

TEST(SummaryReport, ChineseLabelsAlignByColumns) {
  const CLanguageRes zh(LocaleSource::SystemWithLocale("zh_CN.UTF-8"));
  CHdwSummary page(zh, SummarySources{[] { return static_cast<CPUIDSDK*>(nullptr); },
                                      [] { return BoardFacts{}; },
                                      [] { return MemoryFacts{}; },
                                      {},
                                      {}});
  page.BuildPage(false);
  page.SetReady(true);
  page.BuildCategory(kCategorySound);
  page.RefreshValues(true);
  const auto doc = BuildReportDocument(page, zh, false);
  EXPECT_EQ(doc["language"], "zh-CN");
  const auto text = RenderReportText(doc);
  // "声卡" (4 columns) and "厂商" (4 columns) align their values at the same column.
  EXPECT_NE(text.find("  声卡  (AC'97 Digital Audio Device)\n"), std::string::npos);
  EXPECT_NE(text.find("  厂商  未知\n"), std::string::npos);
}
