#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "online/UsageEventLog.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

// The record as the logging library sees it, built by hand from the documented layout.
UsageRecord Expected(std::int32_t format, std::int32_t product, std::u16string version,
                     std::u16string event, std::int32_t value) {
  UsageRecord r{};
  auto put32 = [&](std::size_t at, std::int32_t v) {
    std::uint32_t u = static_cast<std::uint32_t>(v);
    r[at] = u & 0xFF;
    r[at + 1] = (u >> 8) & 0xFF;
    r[at + 2] = (u >> 16) & 0xFF;
    r[at + 3] = (u >> 24) & 0xFF;
  };
  auto putText = [&](std::size_t at, const std::u16string& s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
      r[at + 2 * i] = s[i] & 0xFF;
      r[at + 2 * i + 1] = s[i] >> 8;
    }
  };
  put32(0, 240);
  put32(4, format);
  put32(8, product);
  putText(12, version);
  putText(44, event);
  put32(76, value);
  return r;
}

std::u16string FieldUnits(const UsageRecord& r, std::size_t offset) {
  std::u16string s;
  for (std::size_t i = 0; i < 16; ++i) s += static_cast<char16_t>(r[offset + 2 * i] | (r[offset + 2 * i + 1] << 8));
  return s;
}

class EventLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("korvane_eventlog_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "empty");
    UsageLogSetProgramFolderForTesting((dir_ / "empty").string());
    UsageLogInitialise();
  }
  void TearDown() override {
    UsageLogShutdown();
    UsageLogSetProgramFolderForTesting("");
    fs::remove_all(dir_);
  }
  fs::path dir_;
};

TEST_F(EventLogTest, RecordLayoutFollowsTheStartupAndActionPattern) {
  UsageRecord fresh = UsageLogRecordSnapshot();
  EXPECT_EQ(fresh, Expected(0, 0, u"", u"", 0));  // only the size before the identity is set

  UsageLogSetIdentity("3.0.603", "", 0);
  EXPECT_EQ(UsageLogRecordSnapshot(), Expected(1, 6, u"3.0.603", u"", 0));

  UsageLogAction("Tab.Summary", 0);
  EXPECT_EQ(UsageLogRecordSnapshot(), Expected(1, 6, u"3.0.603", u"6.Tab.Summary", 0));

  // A shorter event text leaves no tail of the longer one behind.
  UsageLogAction("CPU.Stop", -2);
  EXPECT_EQ(UsageLogRecordSnapshot(), Expected(1, 6, u"3.0.603", u"6.CPU.Stop", -2));

  UsageLogSetIdentity("3.0.603.1", "", 0);
  EXPECT_EQ(UsageLogRecordSnapshot(), Expected(1, 6, u"3.0.603.1", u"", 0));
}

TEST_F(EventLogTest, TextsFillTheirFieldsExactlyAndNeverOverflow) {
  UsageLogSetIdentity("3.0.603", "", 0);
  UsageLogAction("Btn.UpdaScore", 0);  // 13 characters: "6." + 13 + terminator = 16 units
  UsageRecord r = UsageLogRecordSnapshot();
  EXPECT_EQ(FieldUnits(r, 44), std::u16string(u"6.Btn.UpdaScore") + u'\0');
  EXPECT_EQ(r, Expected(1, 6, u"3.0.603", u"6.Btn.UpdaScore", 0));

  // Longer names and versions are cut, the terminator and the next field stay intact.
  UsageLogSetIdentity("3.0.603.1.2.3.4.5.6", "", 77);
  UsageLogAction("Btn.UpdaScoreAndMore", 5);
  r = UsageLogRecordSnapshot();
  EXPECT_EQ(FieldUnits(r, 12), std::u16string(u"3.0.603.1.2.3.4") + u'\0');
  EXPECT_EQ(FieldUnits(r, 44), std::u16string(u"6.Btn.UpdaScore") + u'\0');
  EXPECT_EQ(r, Expected(1, 6, u"3.0.603.1.2.3.4", u"6.Btn.UpdaScore", 5));

  // A character outside the basic plane is never split at the field's end.
  UsageLogAction("Tab.测试测试测试测试😀", 0);  // the pair would be units 13 and 14 of the name
  r = UsageLogRecordSnapshot();
  EXPECT_EQ(FieldUnits(r, 44), std::u16string(u"6.Tab.测试测试测试测试") + u'\0' + u'\0');

  // An event text given with the identity is taken as it stands.
  UsageLogSetIdentity("3.0.603", "custom", 9);
  EXPECT_EQ(UsageLogRecordSnapshot(), Expected(1, 6, u"3.0.603", u"custom", 9));
}

TEST_F(EventLogTest, WithoutTheLibraryOrItsExportEveryEmitIsZero) {
  for (int kind : {4, 5, 6}) EXPECT_EQ(UsageLogEmit(kind), 0);
  EXPECT_FALSE(UsageLogLibraryLoaded());

  UsageLogSetProgramFolderForTesting(NOEXPORT_DIR);
  EXPECT_EQ(UsageLogEmit(4), 0);
  EXPECT_TRUE(UsageLogLibraryLoaded());
}

TEST_F(EventLogTest, EmitHandsTheRecordToAddLogAndPassesItsResultBack) {
  UsageLogSetProgramFolderForTesting(PROBE_DIR);
  UsageLogSetIdentity("3.0.603", "", 0);
  ASSERT_EQ(UsageLogEmit(4), 104);
  void* probe = dlopen(PROBE_DIR "/qmlog.so", RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(probe, nullptr);
  auto lastRecord = reinterpret_cast<const unsigned char* (*)()>(dlsym(probe, "ProbeLastRecord"));
  auto lastKind = reinterpret_cast<int (*)()>(dlsym(probe, "ProbeLastKind"));
  auto calls = reinterpret_cast<int (*)()>(dlsym(probe, "ProbeCalls"));
  ASSERT_TRUE(lastRecord && lastKind && calls);
  auto received = [&] {
    UsageRecord r;
    std::memcpy(r.data(), lastRecord(), r.size());
    return r;
  };
  EXPECT_EQ(lastKind(), 4);
  EXPECT_EQ(received(), Expected(1, 6, u"3.0.603", u"", 0));

  // Emitting twice without a new action sends the same event text twice.
  UsageLogAction("MEM.Start", 0);
  EXPECT_EQ(UsageLogEmit(6), 106);
  UsageRecord first = received();
  EXPECT_EQ(UsageLogEmit(6), 106);
  EXPECT_EQ(received(), first);
  EXPECT_EQ(FieldUnits(first, 44).substr(0, 12), std::u16string(u"6.MEM.Start") + u'\0');
  EXPECT_EQ(calls(), 3);
  dlclose(probe);
}

TEST_F(EventLogTest, ALibraryThatAppearsLaterIsPickedUpByTheNextEmit) {
  const fs::path folder = dir_ / "empty";
  EXPECT_EQ(UsageLogEmit(6), 0);
  fs::copy_file(fs::path(PROBE_DIR) / "qmlog.so", folder / "qmlog.so");
  EXPECT_EQ(UsageLogEmit(6), 106);

  // After shut-down the next emit loads it again.
  UsageLogShutdown();
  EXPECT_FALSE(UsageLogLibraryLoaded());
  EXPECT_EQ(UsageLogEmit(5), 105);
}

TEST(EventLogTabs, TabIndicesMapToEventNames) {
  EXPECT_STREQ(UsageTabEventName(0), "Tab.Summary");
  EXPECT_STREQ(UsageTabEventName(1), "Tab.Test");
  EXPECT_STREQ(UsageTabEventName(2), "Tab.Help");
  EXPECT_STREQ(UsageTabEventName(3), "Tab.Rank");
  EXPECT_EQ(UsageTabEventName(4), nullptr);
  EXPECT_EQ(UsageTabEventName(-1), nullptr);
}

// The real stand-in library beside the program: the start, one action and the exit land in
// the usage log as JSON lines.
TEST_F(EventLogTest, EventsReachTheUsageLogThroughTheLoggingLibrary) {
  const fs::path state = dir_ / "state";
  setenv("XDG_STATE_HOME", state.c_str(), 1);
  UsageLogSetProgramFolderForTesting(KORVANE_BIN_DIR);
  ASSERT_TRUE(fs::exists(fs::path(KORVANE_BIN_DIR) / "qmlog.so"));

  UsageLogSetIdentity("3.0.603.1", "", 0);
  UsageLogSetIdentity("3.0.603", "", 0);
  EXPECT_EQ(UsageLogEmit(4), 1);
  UsageLogAction("Btn.UpdaScore", 0);
  EXPECT_EQ(UsageLogEmit(6), 1);
  UsageLogSetIdentity("3.0.603.1", "", 0);
  EXPECT_EQ(UsageLogEmit(5), 1);

  std::ifstream in(state / "korvane" / "usage.log");
  std::vector<nlohmann::json> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0]["kind"], 4);
  EXPECT_EQ(lines[0]["version"], "3.0.603");
  EXPECT_EQ(lines[0]["event"], "");
  EXPECT_EQ(lines[1]["kind"], 6);
  EXPECT_EQ(lines[1]["event"], "6.Btn.UpdaScore");
  EXPECT_EQ(lines[2]["kind"], 5);
  EXPECT_EQ(lines[2]["version"], "3.0.603.1");
  for (const auto& j : lines) {
    EXPECT_EQ(j["product"], 6);
    EXPECT_EQ(j["value"], 0);
    EXPECT_TRUE(j["time"].is_string());
  }
}

}  // namespace
}  // namespace korvane
