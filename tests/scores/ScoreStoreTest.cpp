// Stored scores in the registry, what the loader shows and announces, and the announcement
// reaching another process over the session bus.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/Messages.h"
#include "platform/Registry.h"
#include "scores/ScoreStore.h"
#include "scores/ScoresCli.h"
#include "scores/TextCipher.h"

extern char** environ;

namespace korvane {
namespace {

struct Shown {
  int kind;
  float score;
};

class RecordingDisplay final : public IScoreDisplay {
 public:
  void ShowScore(int kind, float score) override { shown.push_back({kind, score}); }
  std::vector<Shown> shown;
  float Last(int kind) const {
    float value = -1.0f;
    for (const Shown& s : shown) {
      if (s.kind == kind) value = s.score;
    }
    return value;
  }
};

struct Sent {
  std::string name;
  platform::WParam wParam;
  platform::LParam lParam;
  bool operator==(const Sent&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Sent& s) {
  return os << s.name << '(' << s.wParam << ", " << s.lParam << ')';
}

class RecordingBroadcaster final : public IScoreBroadcaster {
 public:
  void Broadcast(std::string_view name, platform::WParam wParam, platform::LParam lParam) override {
    sent.push_back({std::string(name), wParam, lParam});
  }
  std::vector<Sent> sent;
};

// Every test gets a registry of its own: the store lives under $XDG_CONFIG_HOME.
class ScoreStore : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    configHome_ = std::filesystem::temp_directory_path() /
                  ("korvane-scores-" + std::to_string(::getpid()) + "-" + info->name());
    std::filesystem::remove_all(configHome_);
    std::filesystem::create_directories(configHome_);
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) savedConfigHome_ = old;
    ::setenv("XDG_CONFIG_HOME", configHome_.c_str(), 1);
  }
  void TearDown() override {
    if (savedConfigHome_.empty()) {
      ::unsetenv("XDG_CONFIG_HOME");
    } else {
      ::setenv("XDG_CONFIG_HOME", savedConfigHome_.c_str(), 1);
    }
    std::filesystem::remove_all(configHome_);
  }

  static void CreateKey() {
    platform::RegistryKey key;
    ASSERT_EQ(key.Create(platform::RegRoot::CurrentUser, kScoreRegistryKey), platform::kRegOk);
  }
  static void PutValue(const char* name, const std::string& stored) {
    platform::RegistryKey key;
    ASSERT_EQ(
        key.Open(platform::RegRoot::CurrentUser, kScoreRegistryKey, platform::RegAccess::Write),
        platform::kRegOk);
    ASSERT_EQ(key.SetString(name, stored), platform::kRegOk);
  }
  static std::string GetValue(const char* name) {
    platform::RegistryKey key;
    std::string value;
    if (key.Open(platform::RegRoot::CurrentUser, kScoreRegistryKey, platform::RegAccess::Read) !=
        platform::kRegOk) {
      return "<no key>";
    }
    if (key.QueryString(name, value) != platform::kRegOk) return "<no value>";
    return value;
  }

  std::filesystem::path configHome_;
  std::string savedConfigHome_;
};

// ---- pure rules -------------------------------------------------------------------------------

TEST(StoredScoreRules, IntegerToShownScore) {
  EXPECT_FLOAT_EQ(ScoreFromStoredInteger(523), 5.23f);
  EXPECT_FLOAT_EQ(ScoreFromStoredInteger(1), 0.01f);
  EXPECT_FLOAT_EQ(ScoreFromStoredInteger(700), 7.0f);
  EXPECT_FLOAT_EQ(ScoreFromStoredInteger(701), 1.01f);
  EXPECT_FLOAT_EQ(ScoreFromStoredInteger(750), 1.01f);
  EXPECT_FLOAT_EQ(ScoreFromStoredInteger(2147483647), 1.01f);
}

TEST(StoredScoreRules, GroupScoreToInteger) {
  EXPECT_EQ(StoredIntegerFromScore((6.63f + 6.10f + 5.90f) / 3.0f), 622);  // ceil(621.0 + 0.5)
  EXPECT_EQ(StoredIntegerFromScore(5.23f), 524);
  EXPECT_EQ(StoredIntegerFromScore(0.0f), 1);
  EXPECT_EQ(StoredIntegerFromScore(-3.0f), 1);
  EXPECT_EQ(StoredIntegerFromScore(7.0f), 700);
  EXPECT_EQ(StoredIntegerFromScore(9.99f), 700);
  EXPECT_EQ(StoredIntegerFromScore(std::nanf("")), 1);
}

TEST(StoredScoreRules, OnlyIntactValuesCarryingTheirOwnNameAndAPositiveNumberCount) {
  EXPECT_EQ(ParseStoredScore("CpuScoreEnc", EncryptText("CpuScoreEnc:523")), 523);
  EXPECT_EQ(ParseStoredScore("MemScoreEnc", EncryptText("MemScoreEnc:750")), 750);
  EXPECT_EQ(ParseStoredScore("CpuScoreEnc", EncryptText("CpuScoreEnc:99999999999999")), 2147483647);
  EXPECT_EQ(ParseStoredScore("CpuScoreEnc", EncryptText("CpuScoreEnc:42xyz")), 42);

  EXPECT_EQ(ParseStoredScore("CpuScoreEnc", ""), std::nullopt);
  EXPECT_EQ(ParseStoredScore("CpuScoreEnc", EncryptText("AllScoreEnc:523")), std::nullopt)
      << "another value's text";
  EXPECT_EQ(ParseStoredScore("CpuScoreEnc", EncryptText("cpuscoreenc:523")), std::nullopt);
  EXPECT_EQ(ParseStoredScore("CpuScoreEnc", EncryptText(" CpuScoreEnc:523")), std::nullopt);
  EXPECT_EQ(ParseStoredScore("CpuScoreEnc", EncryptText("CpuScoreEnc:0")), std::nullopt);
  EXPECT_EQ(ParseStoredScore("CpuScoreEnc", EncryptText("CpuScoreEnc:-5")), std::nullopt);
  EXPECT_EQ(ParseStoredScore("CpuScoreEnc", EncryptText("CpuScoreEnc:")), std::nullopt);
  EXPECT_EQ(ParseStoredScore("CpuScoreEnc", EncryptText("CpuScoreEnc")), std::nullopt);
  EXPECT_EQ(ParseStoredScore("CpuScoreEnc", "CpuScoreEnc:523"), std::nullopt)
      << "plain text, not enciphered";

  const std::string good = EncryptText("CpuScoreEnc:523");
  EXPECT_EQ(ParseStoredScore("CpuScoreEnc", good.substr(0, good.size() - 1)), std::nullopt)
      << "odd length";
  EXPECT_EQ(ParseStoredScore("CpuScoreEnc", "not hex at all, not hex at all!!"), std::nullopt);
  std::string garbled = good;
  garbled[20] = garbled[20] == 'A' ? 'B' : 'A';
  EXPECT_EQ(ParseStoredScore("CpuScoreEnc", garbled), std::nullopt) << "decrypts to garbage";
}

TEST(StoredScoreRules, GroupBroadcastIsStartThenEnd) {
  RecordingBroadcaster bus;
  BroadcastGroupScore(kCpuGroup, 622, bus);
  BroadcastGroupScore(kMemoryGroup, 611, bus);
  BroadcastGroupScore(3, 611, bus);
  EXPECT_THAT(bus.sent, ::testing::ElementsAre(Sent{"WM_TOVIX_CPUSCORE_START", 0, 0},
                                               Sent{"WM_TOVIX_CPUSCORE_END", 1, 622},
                                               Sent{"WM_TOVIX_MEMSCORE_START", 0, 0},
                                               Sent{"WM_TOVIX_MEMSCORE_END", 1, 611}));
}

TEST(StoredScoreRules, MessageNumbersAreRegisteredOrFallBack) {
  const ScoreMessageIds ids = RegisterScoreMessages();
  const std::uint32_t all[] = {ids.cpuStart, ids.cpuEnd, ids.memStart, ids.memEnd};
  const std::uint32_t fallback[] = {1344, 1345, 1346, 1347};
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE((all[i] >= 0xC000 && all[i] <= 0xFFFF) || all[i] == fallback[i]) << all[i];
  }
  EXPECT_EQ(RegisterScoreMessages().cpuEnd, ids.cpuEnd) << "numbers are stable within a process";
}

// ---- registry -----------------------------------------------------------------------------

TEST_F(ScoreStore, StoredScoresLoadShowAndAnnounceInOrder) {
  CreateKey();
  ASSERT_TRUE(StoreGroupScore(kCpuGroup, 523));
  ASSERT_TRUE(StoreGroupScore(kMemoryGroup, 611));
  EXPECT_NE(GetValue("CpuScoreEnc"), GetValue("AllScoreEnc")) << "each value has its own salt";
  EXPECT_EQ(DecryptText(GetValue("AllScoreEnc")), "AllScoreEnc:523");

  RecordingDisplay display;
  RecordingBroadcaster bus;
  const StoredScores loaded = LoadStoredScores(display, bus);
  EXPECT_EQ(loaded.overall, 523);
  EXPECT_EQ(loaded.cpu, 523);
  EXPECT_EQ(loaded.memory, 611);

  ASSERT_EQ(display.shown.size(), 6u);
  for (int kind = 0; kind < 3; ++kind) {
    EXPECT_EQ(display.shown[kind].kind, kind);
    EXPECT_EQ(display.shown[kind].score, 0.0f) << "zeros are shown before anything is read";
  }
  EXPECT_FLOAT_EQ(display.Last(kOverallScore), 5.23f);
  EXPECT_FLOAT_EQ(display.Last(kCpuScore), 5.23f);
  EXPECT_FLOAT_EQ(display.Last(kMemoryScore), 6.11f);
  EXPECT_THAT(bus.sent, ::testing::ElementsAre(Sent{"WM_TOVIX_CPUSCORE_START", 0, 0},
                                               Sent{"WM_TOVIX_CPUSCORE_END", 1, 523},
                                               Sent{"WM_TOVIX_MEMSCORE_START", 0, 0},
                                               Sent{"WM_TOVIX_MEMSCORE_END", 1, 611}));
}

TEST_F(ScoreStore, StoringOneGroupLeavesTheOtherAlone) {
  CreateKey();
  ASSERT_TRUE(StoreGroupScore(kMemoryGroup, 611));
  ASSERT_TRUE(StoreGroupScore(kCpuGroup, 400));
  ASSERT_TRUE(StoreGroupScore(kCpuGroup, 622));
  EXPECT_EQ(DecryptText(GetValue("MemScoreEnc")), "MemScoreEnc:611");
  EXPECT_EQ(DecryptText(GetValue("CpuScoreEnc")), "CpuScoreEnc:622");
  EXPECT_FALSE(StoreGroupScore(0, 622));
  EXPECT_FALSE(StoreGroupScore(3, 622));
  EXPECT_EQ(DecryptText(GetValue("CpuScoreEnc")), "CpuScoreEnc:622");
}

TEST_F(ScoreStore, MissingKeyShowsZerosAndIsNeverCreated) {
  EXPECT_FALSE(StoreGroupScore(kCpuGroup, 523));
  EXPECT_EQ(GetValue("CpuScoreEnc"), "<no key>");

  RecordingDisplay display;
  RecordingBroadcaster bus;
  const StoredScores loaded = LoadStoredScores(display, bus);
  EXPECT_EQ(loaded.overall + loaded.cpu + loaded.memory, 0);
  ASSERT_EQ(display.shown.size(), 3u);
  for (const Shown& s : display.shown) EXPECT_EQ(s.score, 0.0f);
  EXPECT_TRUE(bus.sent.empty());
}

TEST_F(ScoreStore, DamagedOrForeignValuesAreSkippedOneByOne) {
  CreateKey();
  PutValue("AllScoreEnc", EncryptText("CpuScoreEnc:523"));  // moved from another value
  PutValue("CpuScoreEnc", "3132333435363738ZZ");
  PutValue("MemScoreEnc", EncryptText("MemScoreEnc:611"));

  RecordingDisplay display;
  RecordingBroadcaster bus;
  const StoredScores loaded = LoadStoredScores(display, bus);
  EXPECT_EQ(loaded.overall, 0);
  EXPECT_EQ(loaded.cpu, 0);
  EXPECT_EQ(loaded.memory, 611);
  EXPECT_EQ(display.Last(kOverallScore), 0.0f);
  EXPECT_EQ(display.Last(kCpuScore), 0.0f);
  EXPECT_THAT(bus.sent, ::testing::ElementsAre(Sent{"WM_TOVIX_MEMSCORE_START", 0, 0},
                                               Sent{"WM_TOVIX_MEMSCORE_END", 1, 611}));
}

TEST_F(ScoreStore, OversizedValuesAreSkipped) {
  CreateKey();
  // A valid ciphertext padded past the reader's 512 units.
  PutValue("CpuScoreEnc", EncryptText("CpuScoreEnc:523" + std::string(600, ' ')));
  RecordingDisplay display;
  RecordingBroadcaster bus;
  EXPECT_EQ(LoadStoredScores(display, bus).cpu, 0);
  EXPECT_TRUE(bus.sent.empty());
}

TEST_F(ScoreStore, AnOutOfRangeScoreShowsAsOnePointZeroOneAndIsNotAnnounced) {
  CreateKey();
  PutValue("CpuScoreEnc", EncryptText("CpuScoreEnc:750"));
  PutValue("MemScoreEnc", EncryptText("MemScoreEnc:700"));
  RecordingDisplay display;
  RecordingBroadcaster bus;
  LoadStoredScores(display, bus);
  EXPECT_FLOAT_EQ(display.Last(kCpuScore), 1.01f);
  EXPECT_FLOAT_EQ(display.Last(kMemoryScore), 7.0f);
  EXPECT_THAT(bus.sent, ::testing::ElementsAre(Sent{"WM_TOVIX_MEMSCORE_START", 0, 0},
                                               Sent{"WM_TOVIX_MEMSCORE_END", 1, 700}));
}

TEST_F(ScoreStore, CliPrintsWhatTheLoaderSees) {
  CreateKey();
  ASSERT_TRUE(StoreGroupScore(kCpuGroup, 622));
  PutValue("MemScoreEnc", EncryptText("MemScoreEnc:750"));
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(RunScoresCli({}), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Overall score: 6.22\nCPU score: 6.22\nMemory score: 1.01\n");

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunScoresCli({"--bogus"}), 2);
  EXPECT_THAT(::testing::internal::GetCapturedStderr(), ::testing::HasSubstr("--bogus"));
}

// ---- another process on the session bus ----------------------------------------------------

TEST_F(ScoreStore, SubscriberReceivesTheStoredScoresWhenTheCliRuns) {
  if (std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr) GTEST_SKIP() << "no session bus";
  CreateKey();
  ASSERT_TRUE(StoreGroupScore(kCpuGroup, 622));
  ASSERT_TRUE(StoreGroupScore(kMemoryGroup, 611));

  std::mutex lock;
  std::condition_variable arrived;
  std::vector<Sent> received;
  platform::BroadcastSubscription subscription;
  const bool started = subscription.Start([&](const platform::BroadcastEvent& event) {
    // Other tests broadcast on the same bus at the same time; only the score messages count.
    static const std::set<std::string> kScoreMessages = {"WM_TOVIX_CPUSCORE_START", "WM_TOVIX_CPUSCORE_END",
                                                         "WM_TOVIX_MEMSCORE_START", "WM_TOVIX_MEMSCORE_END"};
    if (kScoreMessages.count(event.name) == 0) return;
    std::lock_guard guard(lock);
    received.push_back({event.name, event.wParam, event.lParam});
    arrived.notify_all();
  });
  if (!started) GTEST_SKIP() << "session bus not reachable";

  // The child runs `korvane --scores` against this test's registry (it inherits XDG_CONFIG_HOME).
  const std::string program = KORVANE_BIN_DIR "/scores_cli_child";
  const char* argv[] = {program.c_str(), nullptr};
  pid_t child = 0;
  ASSERT_EQ(
      posix_spawn(&child, program.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ), 0)
      << program;
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  std::unique_lock guard(lock);
  arrived.wait_for(guard, std::chrono::seconds(5), [&] { return received.size() >= 4; });
  EXPECT_THAT(received, ::testing::ElementsAre(Sent{"WM_TOVIX_CPUSCORE_START", 0, 0},
                                               Sent{"WM_TOVIX_CPUSCORE_END", 1, 622},
                                               Sent{"WM_TOVIX_MEMSCORE_START", 0, 0},
                                               Sent{"WM_TOVIX_MEMSCORE_END", 1, 611}));
}

}  // namespace
}  // namespace korvane
