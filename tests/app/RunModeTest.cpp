#include <gtest/gtest.h>

#include "app/logic/RunMode.h"

namespace korvane {
namespace {

TEST(RunMode, SwitchesAfterAQuotedProgramPath) {
  EXPECT_EQ(ParseRunMode("\"C:\\Korvane\\korvane.exe\" /CPUSCORE"), kRunCpuScore);
  EXPECT_EQ(ParseRunMode("\"/usr/bin/korvane\" /memscore"), kRunMemScore);
  EXPECT_EQ(ParseRunMode("\"/usr/bin/korvane\" /MemScore"), kRunMemScore);
  // The last switch wins; empty pieces from doubled spaces are skipped.
  EXPECT_EQ(ParseRunMode("\"/usr/bin/korvane\" /cpuscore /memscore"), kRunMemScore);
  EXPECT_EQ(ParseRunMode("\"/usr/bin/korvane\"  /memscore  /cpuscore"), kRunCpuScore);
  // Tabs around a piece are trimmed away.
  EXPECT_EQ(ParseRunMode("\"/usr/bin/korvane\" \t/cpuscore\t"), kRunCpuScore);
}

TEST(RunMode, NormalModeWithoutQuotedPathOrKnownSwitch) {
  EXPECT_EQ(ParseRunMode("/usr/bin/korvane /CPUSCORE"), kRunNormal);
  EXPECT_EQ(ParseRunMode("\"/usr/bin/korvane /cpuscore"), kRunNormal);  // second quote missing
  EXPECT_EQ(ParseRunMode(""), kRunNormal);
  EXPECT_EQ(ParseRunMode("\"/usr/bin/korvane\""), kRunNormal);
  EXPECT_EQ(ParseRunMode("\"/usr/bin/korvane\" /cpuscorex -cpuscore cpuscore"), kRunNormal);
  // An unknown switch after a known one does not reset it.
  EXPECT_EQ(ParseRunMode("\"/usr/bin/korvane\" /cpuscore /other"), kRunCpuScore);
}

TEST(RunMode, ArgumentVectorBecomesTheWindowsForm) {
  EXPECT_EQ(WindowsCommandLine({}), "");
  EXPECT_EQ(WindowsCommandLine({"/opt/my apps/korvane"}), "\"/opt/my apps/korvane\"");
  EXPECT_EQ(WindowsCommandLine({"./korvane", "/CPUSCORE", "x"}), "\"./korvane\" /CPUSCORE x");
  // A program path with spaces stays one piece, so the switch after it is still found.
  EXPECT_EQ(ParseRunMode(WindowsCommandLine({"/opt/my apps/korvane", "/memscore"})), kRunMemScore);
  EXPECT_EQ(ParseRunMode(WindowsCommandLine({"korvane"})), kRunNormal);
}

}  // namespace
}  // namespace korvane
