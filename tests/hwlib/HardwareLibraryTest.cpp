#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "hwlib/HardwareLibrary.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::span<const std::uint8_t> AsBytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

struct ShownMessage {
  std::string text;
  std::string caption;
  unsigned flags;
};

class HardwareLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_ = fs::temp_directory_path() /
            ("korvane-hwlib-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(temp_);
    fs::create_directories(temp_ / "run");
    fs::permissions(temp_ / "run", fs::perms::owner_all, fs::perm_options::replace);
    ::setenv("TMPDIR", temp_.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (temp_ / "run").c_str(), 1);
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    previousSink_ = platform::SetMessageBoxSink(
        [this](std::string_view text, std::string_view caption, unsigned flags) {
          shown_.push_back({std::string(text), std::string(caption), flags});
          return platform::kIdOk;
        });
  }
  void TearDown() override {
    korvane::HardwareLibraryShutdown();
    korvane::ResetHardwareLibraryStateForTesting();
    platform::SetMessageBoxSink(previousSink_);
    ::unsetenv("TMPDIR");
    ::unsetenv("XDG_RUNTIME_DIR");
    fs::remove_all(temp_);
  }
  // Extracts one of the purpose-built libraries as the program extracts its own.
  void Install(const std::string& fake) {
    const std::string bytes =
        ReadFile(std::string(KORVANE_FAKES_DIR) + "/fake_qmhdw_" + fake + ".so");
    ASSERT_FALSE(bytes.empty());
    ASSERT_EQ(korvane::ExtractHardwareLibraryBytes(AsBytes(bytes)), bytes.size());
  }
  std::string CallLog() {
    void* h = ::dlopen(korvane::HardwareLibraryLoadPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
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
  EXPECT_EQ(korvane::WaitForStartupThread(0), korvane::ThreadWait::Ended)
      << "an ended thread stays ended";
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
  for (const char* e : {"entry0.0;", "entry0.1;", "entry0.2;", "entry1.2;"})
    EXPECT_NE(log.find(e), std::string::npos) << e;
  EXPECT_NE(log.find("board;"), std::string::npos);
  EXPECT_NE(log.find("refresh;"), std::string::npos);

  const auto start = std::chrono::steady_clock::now();
  korvane::HardwareLibraryShutdown();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2))
      << "the refresh loop ends promptly";
  EXPECT_EQ(korvane::HardwareLibrary(), nullptr);
  void* stillLoaded = ::dlopen(korvane::HardwareLibraryLoadPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
  EXPECT_EQ(stillLoaded, nullptr) << "the module is unloaded at shutdown";
  if (stillLoaded != nullptr) ::dlclose(stillLoaded);
}

TEST_F(HardwareLibraryTest, ExtractionWritesTheResourceIntoThePrivateRuntimeFolder) {
  // An old copy of ours from a run that ended without cleaning up is replaced as a whole.
  fs::create_directories(temp_ / "run" / "Tovix2Dir");
  std::ofstream(temp_ / "run" / "Tovix2Dir" / "qmhdwlib.so") << "stale";
  ASSERT_EQ(korvane::ExtractHardwareLibrary(), 3000u);
  EXPECT_EQ(korvane::HardwareLibraryFilePath(),
            (temp_ / "run" / "Tovix2Dir" / "qmhdwlib.so").string());
  EXPECT_EQ(ReadFile(korvane::HardwareLibraryFilePath()),
            ReadFile(std::string(KORVANE_FIXTURES_DIR) + "/../hwlib/resource-sample.bin"));
  struct stat st {};
  ASSERT_EQ(::stat(korvane::HardwareLibraryDirectory().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // The loader is given the bytes written, not a name someone could change afterwards.
  EXPECT_EQ(korvane::HardwareLibraryLoadPath().rfind("/proc/self/fd/", 0), 0u);

  korvane::RemoveHardwareLibraryDirectory();
  EXPECT_FALSE(fs::exists(temp_ / "run" / "Tovix2Dir"));
  EXPECT_TRUE(fs::exists(temp_ / "run")) << "only the library folder goes";
}

TEST_F(HardwareLibraryTest, CleanUpLeavesWhatItDidNotWrite) {
  ASSERT_GT(korvane::ExtractHardwareLibrary(), 0u);
  const std::string folder = korvane::HardwareLibraryDirectory();
  std::ofstream(folder + "notes.txt") << "not the library's";
  korvane::RemoveHardwareLibraryDirectory();
  EXPECT_FALSE(fs::exists(folder + "qmhdwlib.so"));
  EXPECT_TRUE(fs::exists(folder + "notes.txt"));
  korvane::RemoveHardwareLibraryDirectory();  // a second call changes nothing
  EXPECT_TRUE(fs::exists(folder + "notes.txt"));
}

TEST_F(HardwareLibraryTest, FailedExtractionIsNeverFollowedByALoad) {
  // A library left in the usual place (by an earlier run, or planted) must not stand in for a
  // copy that could not be written.
  const fs::path marker = temp_ / "planted-ran";
  ::setenv("KORVANE_PLANT_MARKER", marker.c_str(), 1);
  fs::create_directories(korvane::PreferredHardwareLibraryDirectory());
  fs::copy_file(std::string(KORVANE_FAKES_DIR) + "/planted_qmhdw.so",
                korvane::PreferredHardwareLibraryDirectory() + "qmhdwlib.so");
  EXPECT_EQ(korvane::ExtractHardwareLibraryBytes({}), 0u);
  EXPECT_EQ(korvane::HardwareLibraryStartup(), korvane::kStartupLoadFailed);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text, "Library File Not Found");
  EXPECT_FALSE(fs::exists(marker));
  ::unsetenv("KORVANE_PLANT_MARKER");
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
