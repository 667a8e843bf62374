#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Sysroot.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

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
  EXPECT_EQ(platform::ReadSysLink("/sys/class/dmi/id/device").value_or("?"),
            "../../devices/pci0000:00");
  EXPECT_FALSE(platform::ReadSysLink("/sys/class/dmi/id/board_name").has_value());
}

TEST_F(SysrootTest, UnreadableFileIsReportedNotThrown) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads everything";
  Write("proc/secret", "x");
  ::chmod((root_ / "proc/secret").c_str(), 0);
  EXPECT_FALSE(platform::ReadSysFile("/proc/secret").has_value());
}

// Runs reads in a child with an alarm: a read that waits on a FIFO must fail the test, not hang
// the suite.
template <typename Body>
int InChildWithin(unsigned seconds, Body&& body) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(seconds);
    ::_exit(body() ? 0 : 1);
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(SysrootTest, FifosAndDevicesUnderMachinePathsAreRefusedAtOnce) {
  fs::create_directories(root_ / "sys/class/hwmon/hwmon0");
  ASSERT_EQ(::mkfifo((root_ / "sys/class/hwmon/hwmon0/temp1_input").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", root_ / "sys/class/hwmon/hwmon0/temp2_input");
  const int rc = InChildWithin(5, [] {
    const char* fifo = "/sys/class/hwmon/hwmon0/temp1_input";
    const char* device = "/sys/class/hwmon/hwmon0/temp2_input";
    return !platform::ReadSysFile(fifo) && !platform::ReadSysLine(fifo) &&
           !platform::ReadSysInteger(fifo) && !platform::ReadSysBinary(fifo) &&
           !platform::ReadSysFile(device, 64) && !platform::ReadSysBinary(device, 64);
  });
  EXPECT_EQ(rc, 0) << "128+14 means a read waited on the FIFO until the alarm";
}

TEST_F(SysrootTest, TextsAreValidUtf8WithoutControlsWhileBinaryReadsStayRaw) {
  // Latin-1 bytes, a stray continuation byte, an escape sequence, a bell, DEL, a C1 control
  // (as UTF-8) and NUL padding, as a badly made device or a hostile file may hold them.
  const std::string raw = "Caf\xE9 \x80X\x1B[31mred\x07\x7F\xC2\x85 \xE4\xB8\xAD\tend\0\0"s;
  Write("proc/model", raw + "\nsecond \xFF line\n");
  const std::string clean = "Caf\uFFFD \uFFFDX\uFFFD[31mred\uFFFD\uFFFD\uFFFD \u4E2D\tend";
  EXPECT_EQ(platform::ReadSysLine("/proc/model").value_or("?"), clean);
  EXPECT_EQ(platform::ReadSysFile("/proc/model").value_or("?"), clean + "\nsecond \uFFFD line\n");
  const auto bytes = platform::ReadSysBinary("/proc/model");
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(std::string(bytes->begin(), bytes->end()), raw + "\nsecond \xFF line\n");
  // A CR inside the line (not a line end) is a control character like any other.
  Write("proc/cr", "one\rtwo\r\n");
  EXPECT_EQ(platform::ReadSysLine("/proc/cr").value_or("?"), "one\uFFFDtwo");
}

TEST_F(SysrootTest, NumbersOutsideTheRangeAreUnavailable) {
  Write("proc/max", "9223372036854775807\n");
  Write("proc/min", "-9223372036854775808\n");
  Write("proc/over", "9223372036854775808\n");
  Write("proc/huge", "99999999999999999999999\n");
  Write("proc/hugehex", "0x1ffffffffffffffff\n");
  Write("proc/signs", "--5\n");
  Write("proc/octal", "010\n");
  EXPECT_EQ(platform::ReadSysInteger("/proc/max").value_or(0), 9223372036854775807LL);
  EXPECT_EQ(platform::ReadSysInteger("/proc/min").value_or(0), -9223372036854775807LL - 1);
  EXPECT_FALSE(platform::ReadSysInteger("/proc/over").has_value());
  EXPECT_FALSE(platform::ReadSysInteger("/proc/huge").has_value());
  EXPECT_FALSE(platform::ReadSysInteger("/proc/hugehex").has_value());
  EXPECT_FALSE(platform::ReadSysInteger("/proc/signs").has_value());
  EXPECT_EQ(platform::ReadSysInteger("/proc/octal").value_or(0), 10) << "sysfs numbers are decimal";
  EXPECT_EQ(platform::ParseSysInteger(" -42 ").value_or(0), -42);
}

TEST(SysrootPrefix, RootSlashMeansTheRealMachine) {
  platform::SetSysrootPrefixForTesting("/");
  EXPECT_EQ(platform::SysPath("/proc/cpuinfo"), "/proc/cpuinfo");
  platform::SetSysrootPrefixForTesting("");
}

}  // namespace
