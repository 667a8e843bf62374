#include "hwlib/HardwareLibrary.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/Paths.h"

namespace fs = std::filesystem;

namespace {

struct ShownMessage {
  std::string text;
  std::string caption;
  unsigned flags;
};

class HardwareLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_ = fs::temp_directory_path() / ("korvane-hwlib-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(temp_);
    fs::create_directories(temp_);
    ::setenv("TMPDIR", temp_.c_str(), 1);
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    previousSink_ = platform::SetMessageBoxSink([this](std::string_view text, std::string_view caption, unsigned flags) {
      shown_.push_back({std::string(text), std::string(caption), flags});
      return platform::kIdOk;
    });
  }
  void TearDown() override {
    korvane::HardwareLibraryShutdown();
    korvane::ResetHardwareLibraryStateForTesting();
    platform::SetMessageBoxSink(previousSink_);
    ::unsetenv("TMPDIR");
    fs::remove_all(temp_);
  }
  // Puts one of the purpose-built libraries where the start-up routine looks for it.
  void Install(const std::string& fake) {
    const std::string dir = korvane::HardwareLibraryDirectory();
    fs::create_directories(dir);
    // A new file, not rewritten in place: the loader knows files by inode, and rewriting a
    // mapped library would pull it from under the previous test's module.
    fs::remove(korvane::HardwareLibraryFilePath());
    fs::copy_file(std::string(KORVANE_FAKES_DIR) + "/fake_qmhdw_" + fake + ".so",
                  korvane::HardwareLibraryFilePath());
  }
  std::string CallLog() {
    void* h = ::dlopen(korvane::HardwareLibraryFilePath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h == nullptr) return "<not loaded>";
    auto fn = reinterpret_cast<const char* (*)()>(::dlsym(h, "FakeCallLog"));
    std::string log = fn != nullptr ? fn() : "";
    ::dlclose(h);
    return log;
  }

  fs::path temp_;
  std::vector<ShownMessage> shown_;
  platform::MessageBoxSink previousSink_;
};

TEST_F(HardwareLibraryTest, MissingLibraryShowsOneMessageAndReturnsFour) {
  EXPECT_EQ(korvane::HardwareLibraryStartup(), korvane::kStartupLoadFailed);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text, "Library File Not Found");
  EXPECT_EQ(shown_[0].caption, "Korvane 3.0.603");
  EXPECT_EQ(shown_[0].flags, static_cast<unsigned>(platform::kMbIconError));
  EXPECT_EQ(korvane::StartupStatusValue(), korvane::kStartupFailedShowingMessage);
  EXPECT_EQ(korvane::HardwareLibrary(), nullptr);
}

TEST_F(HardwareLibraryTest, FailedStartsGiveTheirOwnMessages) {
  struct Case {
    const char* fake;
    const char* message;
    bool wrapperKept;
  } cases[] = {
      {"no_entry", "Hardware initialization failure!", true},
      {"init_zero", "Hardware initialization failure!", true},
      {"throws", "Hardware initialization error message!", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fake);
    shown_.clear();
    Install(c.fake);
    EXPECT_EQ(korvane::HardwareLibraryStartup(), korvane::kStartupInitFailed);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, c.message);
    EXPECT_EQ(korvane::HardwareLibrary() != nullptr, c.wrapperKept);
    korvane::HardwareLibraryShutdown();
    korvane::ResetHardwareLibraryStateForTesting();
  }
}

TEST_F(HardwareLibraryTest, StartupThreadPublishesTheOutcome) {
  ASSERT_TRUE(korvane::StartHardwareLibraryStartupThread());
  EXPECT_EQ(korvane::WaitForStartupThread(5000), korvane::ThreadWait::Ended);
  EXPECT_EQ(korvane::StartupStatusValue(), korvane::kStartupFailed);
  EXPECT_EQ(korvane::WaitForStartupThread(0), korvane::ThreadWait::Ended) << "an ended thread stays ended";
}

TEST_F(HardwareLibraryTest, GoodLibraryStartsWarmsUpRefreshesAndShutsDownInOrder) {
  Install("good");
  ASSERT_TRUE(korvane::StartHardwareLibraryStartupThread());
  ASSERT_EQ(korvane::WaitForStartupThread(5000), korvane::ThreadWait::Ended);
  EXPECT_EQ(korvane::StartupStatusValue(), korvane::kStartupReady);
  EXPECT_TRUE(shown_.empty());
  ASSERT_NE(korvane::HardwareLibrary(), nullptr);

  // Give the refresh thread its first pass.
  for (int i = 0; i < 100 && CallLog().find("refresh;") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::string log = CallLog();
  EXPECT_EQ(log.rfind("create;init;startup;memtype;", 0), 0u) << log;
  // Both modules, three timing entries each; the frequency -1 entry is skipped by the caller
  // but still asked for.
  for (const char* e : {"entry0.0;", "entry0.1;", "entry0.2;", "entry1.2;"}) EXPECT_NE(log.find(e), std::string::npos) << e;
  EXPECT_NE(log.find("board;"), std::string::npos);
  EXPECT_NE(log.find("refresh;"), std::string::npos);

  const auto start = std::chrono::steady_clock::now();
  korvane::HardwareLibraryShutdown();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "the refresh loop ends promptly";
  EXPECT_EQ(korvane::HardwareLibrary(), nullptr);
  void* stillLoaded = ::dlopen(korvane::HardwareLibraryFilePath().c_str(), RTLD_NOW | RTLD_NOLOAD);
  EXPECT_EQ(stillLoaded, nullptr) << "the module is unloaded at shutdown";
  if (stillLoaded != nullptr) ::dlclose(stillLoaded);
}

TEST_F(HardwareLibraryTest, ExtractionWritesTheResourceAndReplacesAnOldCopy) {
  const std::size_t n = korvane::ExtractHardwareLibrary();
  ASSERT_EQ(n, 3000u);
  std::ifstream in(korvane::HardwareLibraryFilePath(), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ifstream ref(std::string(KORVANE_FIXTURES_DIR) + "/../hwlib/resource-sample.bin", std::ios::binary);
  std::string expected((std::istreambuf_iterator<char>(ref)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, expected);

  std::ofstream(korvane::HardwareLibraryFilePath(), std::ios::binary | std::ios::trunc) << "stale";
  EXPECT_EQ(korvane::ExtractHardwareLibrary(), 3000u);
  EXPECT_EQ(fs::file_size(korvane::HardwareLibraryFilePath()), 3000u);
  EXPECT_EQ(korvane::HardwareLibraryFilePath(), temp_.string() + "/Tovix2Dir/qmhdwlib.so");
}

TEST_F(HardwareLibraryTest, ExtractionRefusesAFolderOthersCanWrite) {
  const std::string dir = korvane::HardwareLibraryDirectory();
  fs::create_directories(dir);
  ::chmod(dir.c_str(), 0777);
  EXPECT_EQ(korvane::ExtractHardwareLibrary(), 0u);
  EXPECT_FALSE(fs::exists(korvane::HardwareLibraryFilePath()));
}

TEST_F(HardwareLibraryTest, DirectoryFallsBackToTheExecutableFolder) {
  const std::string exeDir = platform::ExecutableDirectory();
  EXPECT_EQ(korvane::HardwareLibraryDirectory(""), exeDir + "Tovix2Dir/");
  EXPECT_EQ(korvane::HardwareLibraryDirectory("/" + std::string(300, 'a') + "/"), exeDir + "Tovix2Dir/");
  EXPECT_EQ(korvane::HardwareLibraryDirectory("/var/tmp"), "/var/tmp/Tovix2Dir/");
}

TEST_F(HardwareLibraryTest, CleanUpRemovesTheFolderButRefusesShortOrMissingPaths) {
  EXPECT_FALSE(korvane::RemoveHardwareLibraryDirectory("/tmp/a/"));
  EXPECT_FALSE(korvane::RemoveHardwareLibraryDirectory(temp_.string() + "/absent/"));
  ASSERT_GT(korvane::ExtractHardwareLibrary(), 0u);
  EXPECT_TRUE(korvane::RemoveHardwareLibraryDirectory());
  EXPECT_FALSE(fs::exists(korvane::HardwareLibraryDirectory()));
  EXPECT_TRUE(fs::exists(temp_)) << "only the library folder goes";
}

struct Gate : korvane::IRefreshGate {
  bool live = true;
  int page = 0;
  int warmUp = 0;
  bool MainWindowLive() const override { return live; }
  int CurrentPage() const override { return page; }
  int WarmUpRunning() const override { return warmUp; }
};

TEST(RefreshRule, RefreshesOnTheSummaryPageOrDuringWarmUpOrWithoutAWindow) {
  EXPECT_TRUE(korvane::ShouldRefreshSensors(nullptr));
  Gate g;
  EXPECT_TRUE(korvane::ShouldRefreshSensors(&g));
  g.page = 1;
  EXPECT_FALSE(korvane::ShouldRefreshSensors(&g));
  g.warmUp = 1;
  EXPECT_TRUE(korvane::ShouldRefreshSensors(&g));
  g.warmUp = 0;
  g.live = false;
  EXPECT_TRUE(korvane::ShouldRefreshSensors(&g));
}

TEST(SensorGuard, ReadsOnlyWhenTheMutexIsTaken) {
  const std::string name = "KorvaneGuardTest" + std::to_string(::getpid());
  platform::ProcessMutex mine;
  ASSERT_TRUE(mine.Create(name));
  {
    korvane::SensorAccessGuard guard(mine);
    EXPECT_TRUE(guard.MayRead());
    // Held by this guard: another reader on another thread must skip its pass.
    bool otherRead = true;
    std::thread([&] {
      platform::ProcessMutex other;
      ASSERT_TRUE(other.Create(name));
      korvane::SensorAccessGuard second(other);
      otherRead = second.MayRead();
    }).join();
    EXPECT_FALSE(otherRead);
  }
  {
    korvane::SensorAccessGuard again(mine);
    EXPECT_TRUE(again.MayRead()) << "the guard released the mutex";
  }
  mine.Close();
  platform::ProcessMutex::Remove(name);
}

}  // namespace
