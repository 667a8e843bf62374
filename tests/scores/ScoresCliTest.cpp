// `korvane --scores` as a user meets it: the scores reach the terminal before any announcement
// (a slow session bus must not hold them back), and a damaged store still shows its intact
// scores.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "scores/ScoreStore.h"
#include "scores/ScoresCli.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Standard output into a file for the length of one test.
class StdoutToFile {
 public:
  explicit StdoutToFile(const fs::path& path) {
    std::fflush(stdout);
    saved_ = ::dup(1);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ::dup2(fd, 1);
    ::close(fd);
  }
  ~StdoutToFile() {
    std::fflush(stdout);
    ::dup2(saved_, 1);
    ::close(saved_);
  }
  StdoutToFile(const StdoutToFile&) = delete;
  StdoutToFile& operator=(const StdoutToFile&) = delete;

 private:
  int saved_ = -1;
};

// Notes what the terminal already showed at each announcement.
class CheckingBroadcaster final : public IScoreBroadcaster {
 public:
  explicit CheckingBroadcaster(fs::path output) : output_(std::move(output)) {}
  void Broadcast(std::string_view, platform::WParam, platform::LParam) override {
    shownAtEachAnnouncement.push_back(ReadFile(output_));
  }
  std::vector<std::string> shownAtEachAnnouncement;

 private:
  fs::path output_;
};

class ScoresCli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("korvane-scores-cli-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "config");
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) saved_ = old;
    ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    platform::RegistryKey key;
    ASSERT_EQ(key.Create(platform::RegRoot::CurrentUser, kScoreRegistryKey), platform::kRegOk);
  }
  void TearDown() override {
    if (saved_.empty()) {
      ::unsetenv("XDG_CONFIG_HOME");
    } else {
      ::setenv("XDG_CONFIG_HOME", saved_.c_str(), 1);
    }
    fs::remove_all(dir_);
  }
  fs::path dir_;
  std::string saved_;
};

TEST_F(ScoresCli, ScoresAreOnTheTerminalBeforeTheyAreAnnounced) {
  ASSERT_TRUE(StoreGroupScore(kCpuGroup, 523));
  ASSERT_TRUE(StoreGroupScore(kMemoryGroup, 417));
  CheckingBroadcaster broadcaster(dir_ / "out");
  {
    StdoutToFile redirect(dir_ / "out");
    ASSERT_EQ(RunScoresCli({}, broadcaster), 0);
  }
  const std::string expected = "Overall score: 5.23\nCPU score: 5.23\nMemory score: 4.17\n";
  EXPECT_EQ(ReadFile(dir_ / "out"), expected);
  ASSERT_EQ(broadcaster.shownAtEachAnnouncement.size(), 4u);
  for (const std::string& shown : broadcaster.shownAtEachAnnouncement) EXPECT_EQ(shown, expected);
}

TEST_F(ScoresCli, ADamagedStoreStillShowsItsIntactScoresAndSaysWhatWasLost) {
  ASSERT_TRUE(StoreGroupScore(kCpuGroup, 523));
  ASSERT_TRUE(StoreGroupScore(kMemoryGroup, 417));
  // A crash cut the file in the middle of a line that was being added.
  { std::ofstream(platform::RegistryFilePath(), std::ios::app) << "\"Half\"=\"written"; }
  CheckingBroadcaster broadcaster(dir_ / "out");
  ::testing::internal::CaptureStderr();
  {
    StdoutToFile redirect(dir_ / "out");
    ASSERT_EQ(RunScoresCli({}, broadcaster), 0);
  }
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(ReadFile(dir_ / "out"), "Overall score: 5.23\nCPU score: 5.23\nMemory score: 4.17\n");
  EXPECT_NE(said.find("damaged"), std::string::npos) << said;
  EXPECT_EQ(broadcaster.shownAtEachAnnouncement.size(), 4u);
}

}  // namespace
}  // namespace korvane
