// What a click on a link does, and the rules the link widgets share.
#include <gtest/gtest.h>

#include <vector>

#include "ui/logic/LinkCommands.h"

using namespace korvane;

namespace {

struct Delivered {
  bool posted;
  std::uint32_t msg;
  platform::WParam wParam;
  platform::LParam lParam;
};

class RecordingTarget : public platform::IMessageTarget {
 public:
  bool IsLive() const override { return live; }
  bool Post(std::uint32_t msg, platform::WParam w, platform::LParam l) override {
    got.push_back({true, msg, w, l});
    return true;
  }
  platform::LParam Send(std::uint32_t msg, platform::WParam w, platform::LParam l) override {
    got.push_back({false, msg, w, l});
    return 0;
  }
  bool live = true;
  std::vector<Delivered> got;
};

// The message a click on `target` delivers to a live parent, with command parameter 7.
std::vector<Delivered> Click(std::string_view target) {
  RecordingTarget parent;
  const LinkClick click = ClassifyLinkClick(target, "window text");
  if (click.kind == LinkClick::kCommand) DispatchAppCommand(click.command, &parent, 7);
  return parent.got;
}

}  // namespace

TEST(AppCommands, EachCommandHasItsMessageDeliveryAndParameter) {
  struct Case {
    const char* target;
    bool posted;
    std::uint32_t msg;
    platform::WParam wParam;
  };
  const Case cases[] = {
      {"app:UpdateScore", false, 2324, 0},    {"app:SubmitScore", false, 2325, 0},
      {"app:GotoComment_12", false, 2326, 7}, {"app:TestNow_1", true, 2327, 7},
      {"app:InstallDriver", true, 2328, 7},   {"app:JumpToQMUpdate", true, 2329, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    const auto got = Click(c.target);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].posted, c.posted);
    EXPECT_EQ(got[0].msg, c.msg);
    EXPECT_EQ(got[0].wParam, c.wParam);
    EXPECT_EQ(got[0].lParam, 0);
  }
}

TEST(AppCommands, CaseIsIgnoredButWholeWordsMustMatchInLength) {
  ASSERT_EQ(Click("APP:submitscore").size(), 1u);
  EXPECT_EQ(Click("APP:submitscore")[0].msg, kMsgSubmitScore);
  EXPECT_EQ(Click("aPp:TESTNOW").at(0).msg, kMsgTestNow);
  EXPECT_TRUE(Click("app:SubmitScore1").empty());
  EXPECT_TRUE(Click("app:UpdateScore ").empty());
  EXPECT_TRUE(Click("app:JumpToQMUpdateNow").empty());
  EXPECT_TRUE(Click("app: TestNow").empty());
  EXPECT_TRUE(Click("app:TestNo").empty());
  EXPECT_TRUE(Click("app:unknown").empty());
}

TEST(AppCommands, ShortTargetsAndBarePrefixDoNothing) {
  EXPECT_EQ(ClassifyLinkClick("app:", "").kind, LinkClick::kNothing);
  EXPECT_EQ(ClassifyLinkClick("abc", "").kind, LinkClick::kNothing);
  EXPECT_EQ(ClassifyLinkClick("", "").kind, LinkClick::kNothing);
  // Length is counted in characters: three CJK characters are still too short.
  EXPECT_EQ(ClassifyLinkClick("\xE5\xA4\x84\xE7\x90\x86\xE5\x99\xA8", "").kind,
            LinkClick::kNothing);
  const LinkClick open = ClassifyLinkClick("abcd", "");
  EXPECT_EQ(open.kind, LinkClick::kOpen);
  EXPECT_EQ(open.target, "abcd");
  // Without a target the window's own text is what the link means.
  const LinkClick fromText = ClassifyLinkClick("", "http://127.0.0.1:8086/rank");
  EXPECT_EQ(fromText.kind, LinkClick::kOpen);
  EXPECT_EQ(fromText.target, "http://127.0.0.1:8086/rank");
  EXPECT_EQ(ClassifyLinkClick("", "app:TestNow").kind, LinkClick::kCommand);
  EXPECT_EQ(ClassifyLinkClick("apps:TestNow", "").kind, LinkClick::kOpen);
}

TEST(AppCommands, NothingReachesAMissingOrClosedParent) {
  const AppCommand command = *MatchAppCommand(u"TestNow_3");
  EXPECT_FALSE(DispatchAppCommand(command, nullptr, 1));
  RecordingTarget closed;
  closed.live = false;
  EXPECT_FALSE(DispatchAppCommand(command, &closed, 1));
  EXPECT_TRUE(closed.got.empty());
  RecordingTarget parent;
  EXPECT_TRUE(DispatchAppCommand(command, &parent, -1));
  EXPECT_EQ(parent.got.at(0).wParam, static_cast<platform::WParam>(-1));
}

TEST(LinkLimits, TextHolds63AndTarget255Utf16Units) {
  EXPECT_TRUE(LinkTextFits(std::string(63, 'x')));
  EXPECT_FALSE(LinkTextFits(std::string(64, 'x')));
  std::string cjk;
  for (int i = 0; i < 63; ++i) cjk += "\xE5\xA4\x84";  // 189 bytes, 63 units
  EXPECT_TRUE(LinkTextFits(cjk));
  std::string pairs;
  for (int i = 0; i < 32; ++i) pairs += "\xF0\x9F\x98\x80";  // 64 units
  EXPECT_FALSE(LinkTextFits(pairs));
  EXPECT_TRUE(LinkTargetFits(std::string(255, 'x')));
  EXPECT_FALSE(LinkTargetFits(std::string(256, 'x')));
}

TEST(LinkColours, HoverThenVisitedOrLinkThenFocus) {
  const unsigned all = kLinkDefaultOptions;  // hover colour on, focus colour never
  EXPECT_EQ(ChooseLinkColour(all, true, true, true), LinkColour::kHover);
  EXPECT_EQ(ChooseLinkColour(all, false, true, true), LinkColour::kVisited);
  EXPECT_EQ(ChooseLinkColour(all, false, true, false), LinkColour::kLink);
  const unsigned plain = kLinkUnderline;
  EXPECT_EQ(ChooseLinkColour(plain, true, false, false), LinkColour::kLink);
  EXPECT_EQ(ChooseLinkColour(plain, false, false, true), LinkColour::kVisited);
  EXPECT_EQ(ChooseLinkColour(plain, false, true, true), LinkColour::kFocus);
}

TEST(LinkAutoSize, AnchorFollowsTheAlignment) {
  const LinkRect old{10, 20, 110, 60};  // 100 x 40
  EXPECT_EQ(AutoSizeLinkRect(old, 50, 10, 4, 2, 0), (LinkRect{10, 20, 64, 32}));
  EXPECT_EQ(AutoSizeLinkRect(old, 50, 10, 4, 2, kLinkAlignRight), (LinkRect{56, 20, 110, 32}));
  EXPECT_EQ(AutoSizeLinkRect(old, 50, 10, 4, 2, kLinkAlignCentre | kLinkAlignRight),
            (LinkRect{33, 20, 87, 32}));
  EXPECT_EQ(AutoSizeLinkRect(old, 50, 10, 4, 2, kLinkAlignVCentre), (LinkRect{10, 34, 64, 46}));
}

TEST(WheelScroll, NotchesLinesAndPages) {
  // One notch at the usual three lines is less than a step: still one step of 30 pixels.
  EXPECT_EQ(WheelScrollPosition(100, 120, 3, 400, 0, 1000), 70);
  EXPECT_EQ(WheelScrollPosition(100, -120, 3, 400, 0, 1000), 130);
  EXPECT_EQ(WheelScrollPosition(100, -480, 6, 400, 0, 1000), 100 + 4 * 30);
  EXPECT_EQ(WheelScrollPosition(100, -240, 3, 400, 0, 1000), 130);  // (2*3)/6 = 1
  EXPECT_EQ(WheelScrollPosition(100, 60, 3, 400, 0, 1000), 70);     // part of a notch
  EXPECT_EQ(WheelScrollPosition(500, 120, -1, 400, 0, 1000), 100);  // a page per notch
  EXPECT_EQ(WheelScrollPosition(10, 120, 3, 400, 0, 1000), 0);
  EXPECT_EQ(WheelScrollPosition(990, -120, 3, 400, 0, 1000), 1000);
  EXPECT_EQ(WheelScrollPosition(0, -120, 3, 400, 0, 0), 0);
}
