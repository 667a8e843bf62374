#include "platform/Sysroot.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class SysrootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("korvane-sysroot-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "sys/class/dmi/id");
    fs::create_directories(root_ / "proc");
    Write("sys/class/dmi/id/board_name", "PRIME Z390-A\n");
    Write("sys/class/dmi/id/empty", "");
    Write("proc/number", "  4096 \n");
    Write("proc/hex", "0x1f\n");
    Write("proc/junk", "12abc\n");
    platform::SetSysrootPrefixForTesting(root_.string() + "/");
  }
  void TearDown() override {
    platform::SetSysrootPrefixForTesting("");
    fs::remove_all(root_);
  }
  void Write(const std::string& rel, const std::string& text) {
    std::ofstream(root_ / rel, std::ios::binary) << text;
  }
  fs::path root_;
};

TEST_F(SysrootTest, ReadsGoThroughThePrefix) {
  EXPECT_EQ(platform::SysPath("/proc/cpuinfo"), root_.string() + "/proc/cpuinfo");
  EXPECT_EQ(platform::ReadSysLine("/sys/class/dmi/id/board_name").value_or("?"), "PRIME Z390-A");
  EXPECT_EQ(platform::ReadSysFile("/sys/class/dmi/id/board_name").value_or("?"), "PRIME Z390-A\n");
  EXPECT_FALSE(platform::ReadSysFile("/sys/class/dmi/id/missing").has_value());
  EXPECT_TRUE(platform::SysPathExists("/proc/number"));
  EXPECT_FALSE(platform::SysPathExists("/proc/nothing"));
}

TEST_F(SysrootTest, EmptyFileIsPresentButEmpty) {
  auto v = platform::ReadSysFile("/sys/class/dmi/id/empty");
  ASSERT_TRUE(v.has_value());
  EXPECT_TRUE(v->empty());
  EXPECT_FALSE(platform::ReadSysInteger("/sys/class/dmi/id/empty").has_value());
}

TEST_F(SysrootTest, IntegersAcceptDecimalAndHexButNotTrailingGarbage) {
  EXPECT_EQ(platform::ReadSysInteger("/proc/number").value_or(-1), 4096);
  EXPECT_EQ(platform::ReadSysInteger("/proc/hex").value_or(-1), 31);
  EXPECT_FALSE(platform::ReadSysInteger("/proc/junk").has_value());
}

TEST_F(SysrootTest, ReadsStopAtTheLimit) {
  Write("proc/big", std::string(10000, 'x'));
  auto v = platform::ReadSysFile("/proc/big", 100);
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(v->size(), 100u);
  auto b = platform::ReadSysBinary("/proc/big");
  ASSERT_TRUE(b.has_value());
  EXPECT_EQ(b->size(), 10000u);
}

TEST_F(SysrootTest, DirectoriesAreListedSortedWithoutDots) {
  const auto names = platform::ListSysDir("/sys/class/dmi/id");
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], "board_name");
  EXPECT_EQ(names[1], "empty");
  EXPECT_TRUE(platform::ListSysDir("/nope").empty());
}

TEST_F(SysrootTest, LinksAreReturnedAsStored) {
  fs::create_symlink("../../devices/pci0000:00", root_ / "sys/class/dmi/id/device");
  EXPECT_EQ(platform::ReadSysLink("/sys/class/dmi/id/device").value_or("?"), "../../devices/pci0000:00");
  EXPECT_FALSE(platform::ReadSysLink("/sys/class/dmi/id/board_name").has_value());
}

TEST_F(SysrootTest, UnreadableFileIsReportedNotThrown) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads everything";
  Write("proc/secret", "x");
  ::chmod((root_ / "proc/secret").c_str(), 0);
  EXPECT_FALSE(platform::ReadSysFile("/proc/secret").has_value());
}

TEST(SysrootPrefix, RootSlashMeansTheRealMachine) {
  platform::SetSysrootPrefixForTesting("/");
  EXPECT_EQ(platform::SysPath("/proc/cpuinfo"), "/proc/cpuinfo");
  platform::SetSysrootPrefixForTesting("");
}

}  // namespace
