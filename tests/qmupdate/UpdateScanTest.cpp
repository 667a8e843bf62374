// qmupdate's counting and its choice of the desktop's updater.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "qmupdate/UpdateScan.h"

namespace qmupdate {
namespace {

const std::string kData = QMUPDATE_TEST_DATA;

TEST(AptOutput, CountsUpgradesNotConfigurationsOrHeaders) {
  EXPECT_EQ(
      CountAptSimulation("Inst a [1] (2 D:12/stable [amd64])\nConf a (2 D:12/stable [amd64])\n"
                         "Inst b:i386 [1] (2 D:12/stable [i386])\r\nRemv c [1]\n"
                         "  Inst indented\nInst\n"),
      2);
  EXPECT_EQ(CountAptSimulation(""), 0);
  EXPECT_EQ(CountAptListUpgradable("Listing... Done\n"
                                   "a/stable 2 amd64 [upgradable from: 1]\n"
                                   "a/stable 2 i386 [upgradable from: 1]\n"
                                   "a/stable,stable-security 2 amd64 [upgradable from: 1]\n"
                                   "b/stable 2 amd64 [installed]\n"
                                   "/stable 2 amd64 [upgradable from: 1]\n"
                                   "garbage [upgradable from: 1]\n"),
            2);
}

TEST(AptOutput, SavedOutputsAsSources) {
  ScanResult r = Scan("apt-sim:" + kData + "/apt-sim-3.txt");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.count, 3);
  r = Scan("apt-sim:" + kData + "/apt-sim-none.txt");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.count, 0);
  r = Scan("apt-list:" + kData + "/apt-list-4.txt");  // CRLF lines, a duplicate, two arches
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.count, 4);

  r = Scan("apt-sim:" + kData + "/missing.txt");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("missing.txt"), std::string::npos);
  r = Scan(std::string("yum"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("yum"), std::string::npos);
}

TEST(AptOutput, CaptureRunsProgramsAndReportsFailures) {
  auto out = CaptureOutput({"sh", "-c", "echo $LC_ALL; echo Inst x"}, 10000);
  ASSERT_TRUE(out);
  EXPECT_EQ(*out, "C\nInst x\n");
  EXPECT_FALSE(CaptureOutput({"sh", "-c", "exit 3"}, 10000));
  EXPECT_FALSE(CaptureOutput({"no-such-program-qmupdate"}, 10000));
  EXPECT_FALSE(CaptureOutput({"sleep", "5"}, 200));  // too slow: killed
  EXPECT_FALSE(CaptureOutput({}, 1000));
}

TEST(Updater, DesktopUpdaterFirstThenATerminalThenPrinted) {
  auto with = [](std::set<std::string> present) {
    return [present](std::string_view name) { return present.count(std::string(name)) > 0; };
  };
  auto c = ChooseUpdater(true, with({"gnome-software", "plasma-discover", "pkcon", "xterm"}));
  EXPECT_EQ(c.argv, (std::vector<std::string>{"gnome-software", "--mode=updates"}));
  c = ChooseUpdater(true, with({"plasma-discover", "pkcon"}));
  EXPECT_EQ(c.argv, (std::vector<std::string>{"plasma-discover", "--mode", "update"}));
  c = ChooseUpdater(true, with({"pkcon", "gnome-terminal"}));
  EXPECT_EQ(c.argv, (std::vector<std::string>{"gnome-terminal", "--", "pkcon", "update"}));
  EXPECT_EQ(c.printCommand, "pkcon update");
  // pkcon without a terminal cannot ask its questions: printed instead.
  c = ChooseUpdater(true, with({"pkcon"}));
  EXPECT_TRUE(c.argv.empty());
  EXPECT_EQ(c.printCommand, "pkcon update");
  // No display: nothing graphical is started.
  c = ChooseUpdater(false, with({"gnome-software", "pkcon", "xterm"}));
  EXPECT_TRUE(c.argv.empty());
  c = ChooseUpdater(true, with({}));
  EXPECT_TRUE(c.argv.empty());
  EXPECT_EQ(c.printCommand, "sudo apt-get upgrade");
}

}  // namespace
}  // namespace qmupdate
