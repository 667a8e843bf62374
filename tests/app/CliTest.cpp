#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "platform/Clock.h"

namespace {

struct Run {
  int status = -1;
  std::string out;
};

// Runs the built program the way a user does, so the test covers main() and the mode table.
Run RunKorvane(const std::string& args, const std::string& env = "") {
  Run r;
  const std::string cmd = env + " " KORVANE_BIN_DIR "/korvane " + args + " 2>/dev/null";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

long long MemTotalMiB() {
  std::ifstream in("/proc/meminfo");
  std::string key;
  long long kb = 0;
  std::string unit;
  while (in >> key >> kb >> unit) {
    if (key == "MemTotal:") return kb / 1024;
  }
  return -1;
}

TEST(Cli, VersionHelpAndUnknownOptions) {
  auto v = RunKorvane("--version");
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out, "Korvane 3.0.603\n");

  auto h = RunKorvane("--help");
  EXPECT_EQ(h.status, 0);
  EXPECT_NE(h.out.find("--diagnose"), std::string::npos);

  auto bad = RunKorvane("--no-such-mode");
  EXPECT_EQ(bad.status, 2);
  EXPECT_TRUE(bad.out.empty()) << "usage errors go to standard error";
}

TEST(Cli, DiagnosisDescribesThisMachine) {
  auto r = RunKorvane("--diagnose --json");
  ASSERT_EQ(r.status, 0);
  const auto doc = nlohmann::json::parse(r.out, nullptr, false);
  ASSERT_FALSE(doc.is_discarded()) << r.out;
  ASSERT_TRUE(doc["sysinfo"]["os"]["longName"].is_string());

  // The embedded hardware library answers for the same machine.
  const auto& lib = doc["hardwareLibrary"];
  ASSERT_FALSE(lib.contains("error")) << lib.dump();
  EXPECT_EQ(lib["Init"].get<int>(), 1);
  // With readable SMBIOS tables the library counts the installed modules, which the kernel's
  // total (less what firmware and kernel keep) never exceeds; without them it is that total.
  const bool smbios = ::access("/sys/firmware/dmi/tables/DMI", R_OK) == 0;
  if (smbios) {
    EXPECT_GE(lib["GetMemorySize()"].get<long long>(), MemTotalMiB());
  } else {
    EXPECT_EQ(lib["GetMemorySize()"].get<long long>(), MemTotalMiB());
  }
  int threads = 0;
  for (int p = 0; p < lib["GetProcessorCount()"].get<int>(); ++p) {
    threads += lib["GetProcessorThreadCount(" + std::to_string(p) + ")"].get<int>();
  }
  EXPECT_EQ(threads, platform::ProcessorCount());

  auto text = RunKorvane("--diagnose");
  ASSERT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("GetMemorySize() = " + (smbios ? lib["GetMemorySize()"].dump() : std::to_string(MemTotalMiB()))),
            std::string::npos)
      << text.out;
}

TEST(Cli, DiagnosisOfAnEmptyRecordedMachineMarksEverythingUnavailable) {
  auto r = RunKorvane("--diagnose", "KORVANE_SYSROOT=/nonexistent-machine");
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("GetMemorySize() = -1"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("GetProcessorCount() = -1"), std::string::npos) << r.out;
}

}  // namespace
