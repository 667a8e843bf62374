// A recorded machine with its texts and numbers turned hostile: bytes that are not UTF-8 and
// control characters in every text source, numbers far past any range, FIFOs in place of
// files. The diagnosis must come out whole, clean and in bounded time.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "platform/Sysroot.h"
#include "platform/Text.h"
#include "sysinfo/OsName.h"
#include "sysinfo/SysinfoDiagnose.h"
#include "sysinfo/Wmi.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

// Latin-1, a lone continuation byte, an overlong form, a terminal escape that would clear the
// screen, a bell and a C1 control.
const std::string kHostile = "\xE9t\xE9 \x80\xC0\xAF \x1B[2J\x07\xC2\x9B!";
const std::string kFffd = "\xEF\xBF\xBD";

class HostileMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("korvane-hostile-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::copy(fs::path(KORVANE_FIXTURES_DIR) / "machines/intel-desktop", root_,
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    platform::SetSysrootPrefixForTesting(root_.string());
  }
  void TearDown() override {
    platform::SetSysrootPrefixForTesting("");
    fs::remove_all(root_);
  }
  // Writes through the recorded links, as the kernel's own files are reached.
  void Put(const std::string& rel, const std::string& bytes) {
    std::ofstream(root_ / rel, std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string Get(const std::string& rel) {
    std::ifstream in(root_ / rel, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void MakeFifo(const std::string& rel) {
    fs::remove(fs::canonical(root_ / rel));
    ASSERT_EQ(::mkfifo(fs::weakly_canonical(root_ / rel).c_str(), 0600), 0) << rel;
  }
  fs::path root_;
};

Variant Property(const WmiObject& object, const std::string& name) {
  for (const auto& [key, value] : object.Properties()) {
    if (key == name) return value;
  }
  return Variant::Null();
}

void CollectTexts(const nlohmann::ordered_json& node, const std::string& where,
                  std::map<std::string, std::string>& out) {
  if (node.is_string()) {
    out[where] = node.get<std::string>();
  } else if (node.is_object()) {
    for (auto it = node.begin(); it != node.end(); ++it)
      CollectTexts(it.value(), where + "/" + it.key(), out);
  } else if (node.is_array()) {
    for (std::size_t i = 0; i < node.size(); ++i)
      CollectTexts(node[i], where + "/" + std::to_string(i), out);
  }
}

TEST_F(HostileMachine, EveryTextSourceEntersCleanAndTheDiagnosisDumps) {
  Put("etc/os-release", "NAME=x\nPRETTY_NAME=\"Debian " + kHostile + "\"\n");
  Put("proc/sys/kernel/osrelease", "6.1.0-" + kHostile + "\n");
  Put("sys/block/nvme0n1/device/model", "Samsung " + kHostile + " SSD\n");
  Put("sys/block/sdb/device/model", "Stick " + kHostile + "\n");
  Put("sys/block/sdb/device/vendor", "Ven" + kHostile + "\n");
  std::string codec = Get("proc/asound/card0/codec#0");
  codec.replace(codec.find("Realtek ALC898"), 14, "Realtek " + kHostile);
  Put("proc/asound/card0/codec#0", codec);

  const nlohmann::ordered_json doc = DiagnoseSysinfo();
  std::string dumped;
  ASSERT_NO_THROW(dumped = doc.dump()) << "a byte that is not UTF-8 reached the JSON";
  std::map<std::string, std::string> texts;
  CollectTexts(doc, "", texts);
  int hostile = 0;
  for (const auto& [where, text] : texts) {
    EXPECT_TRUE(platform::IsCleanMachineText(text)) << where;
    EXPECT_EQ(text.find('\x1B'), std::string::npos) << where;
    if (text.find(kFffd + "t" + kFffd) != std::string::npos) ++hostile;
  }
  EXPECT_NE(doc["os"]["longName"].get<std::string>().find("Debian " + kFffd + "t" + kFffd),
            std::string::npos);
  EXPECT_EQ(doc["os"]["buildText"].get<std::string>().rfind("Kernel 6.1.0-" + kFffd, 0), 0u);
  // The OS names, two disk models, the vendor and the codec at least: each reached a property.
  EXPECT_GE(hostile, 6) << dumped;
}

TEST_F(HostileMachine, NumbersPastEveryRangeAreUnavailable) {
  const std::string cache = "sys/devices/system/cpu/cpu0/cache/";
  Put(cache + "index0/level", "9223372036854775807\n");
  Put(cache + "index1/size", "99999999999999999G\n");
  Put(cache + "index2/size", "4194304M\n");  // 4 TiB in KiB does not fit a 32-bit property
  Put("sys/block/nvme0n1/size", "99999999999999999999\n");
  Put("sys/block/sda/size", "36893488147419103\n");  // bytes would pass 2^64
  int caches = 0;
  WmiQuery query("Select * From Win32_CacheMemory");
  while (auto object = query.Next()) {
    ++caches;
    EXPECT_EQ(Property(*object, "Purpose").bstrVal, "L3 Cache");
    EXPECT_EQ(Property(*object, "InstalledSize").lVal, 8192);
  }
  EXPECT_EQ(caches, 1) << "the three out-of-range caches are left out";
  WmiQuery disks("Select * From Win32_DiskDrive");
  while (auto object = disks.Next()) {
    const std::string model = Property(*object, "Model").bstrVal;
    if (model.find("Samsung") == std::string::npos && model.find("ST2000") == std::string::npos)
      continue;
    EXPECT_EQ(Property(*object, "Size").vt, VT_NULL)
        << model << ": " << Property(*object, "Size").bstrVal;
  }
}

TEST_F(HostileMachine, FifosInPlaceOfMachineFilesAreSkippedAtOnce) {
  MakeFifo("etc/os-release");
  MakeFifo("sys/block/nvme0n1/device/model");
  MakeFifo("proc/asound/card0/codec#0");
  MakeFifo("proc/cpuinfo");
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(20);
    const nlohmann::ordered_json doc = DiagnoseSysinfo();
    ::_exit(doc["os"]["longName"] == "Linux" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "status " << status << " (SIGALRM: a read waited on a FIFO)";
}

}  // namespace
}  // namespace korvane
