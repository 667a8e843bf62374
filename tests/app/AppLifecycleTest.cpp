#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app/logic/AppLifecycle.h"
#include "app/logic/RunMode.h"
#include "hwlib/HardwareLibrary.h"
#include "online/UsageEventLog.h"
#include "platform/MessageBox.h"
#include "platform/NamedMutex.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

struct RecordingShell : IAppShell {
  std::string settingsKey;
  int windows = 0;
  int modeSeen = -1;
  bool sensorMutexOpen = false;
  bool libraryFolderMade = false;
  void SetSettingsKeyName(const std::string& name) override { settingsKey = name; }
  void RunMainWindow() override {
    ++windows;
    modeSeen = RunMode();
    sensorMutexOpen = SensorMutex().IsValid();
    libraryFolderMade =
        !HardwareLibraryDirectory().empty() && fs::is_regular_file(HardwareLibraryFilePath());
  }
};

std::string VersionText() {
  const UsageRecord r = UsageLogRecordSnapshot();
  std::string text;
  for (std::size_t i = kUsageOffsetVersion; i < kUsageOffsetVersion + 32; i += 2) {
    if (r[i] == 0) break;
    text += static_cast<char>(r[i]);
  }
  return text;
}

class AppLifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::path(::testing::TempDir()) / ("lifecycle-" + std::to_string(::getpid()));
    fs::create_directories(root / "tmp");
    fs::create_directories(root / "run");
    fs::permissions(root / "run", fs::perms::owner_all, fs::perm_options::replace);
    ::setenv("TMPDIR", (root / "tmp").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
  }
  void TearDown() override {
    // The next test's folder must not be made inside this one's.
    ::unsetenv("TMPDIR");
    ::unsetenv("XDG_RUNTIME_DIR");
    fs::remove_all(root);
  }
  fs::path root;
};

TEST_F(AppLifecycleTest, FirstInstanceRunsTheWindowAndTheExitSequenceCleansUp) {
  CKorvaneApp app;
  RecordingShell shell;
  EXPECT_FALSE(app.InitInstance({"/opt/korvane/korvane", "/CPUSCORE"}, shell));
  EXPECT_EQ(shell.windows, 1);
  EXPECT_EQ(shell.modeSeen, kRunCpuScore);
  EXPECT_EQ(shell.settingsKey, "Korvane 2.0");
  EXPECT_TRUE(shell.sensorMutexOpen);
  EXPECT_TRUE(shell.libraryFolderMade);

  // While the first one runs, nobody else gets the instance.
  platform::SingleInstanceLock other(kSingleInstanceName);
  EXPECT_EQ(other.Create(), platform::SingleInstanceLock::Result::AlreadyHeld);

  EXPECT_EQ(HardwareLibraryDirectory(), (root / "run" / "Tovix2Dir").string() + "/");
  app.ExitInstance();
  EXPECT_FALSE(fs::exists(root / "run" / "Tovix2Dir"));
  EXPECT_EQ(app.ExitCode(), 0);
  EXPECT_FALSE(SensorMutex().IsValid());
  EXPECT_EQ(VersionText(), "3.0.603.1");
  EXPECT_EQ(other.Create(), platform::SingleInstanceLock::Result::Acquired);
  other.Release();
  ResetHardwareLibraryStateForTesting();
}

TEST_F(AppLifecycleTest, SecondInstanceActivatesTheFirstAndLeavesItsFilesAlone) {
  platform::SingleInstanceLock first(kSingleInstanceName);
  ASSERT_EQ(first.Create(), platform::SingleInstanceLock::Result::Acquired);
  std::atomic<int> activations{0};
  ASSERT_TRUE(first.ListenForActivation([&] { ++activations; }));
  // The first instance's copy of the library.
  fs::create_directories(root / "run" / "Tovix2Dir");
  std::ofstream(root / "run" / "Tovix2Dir" / "qmhdwlib.so") << "in use";

  CKorvaneApp second;
  RecordingShell shell;
  EXPECT_FALSE(second.InitInstance({"korvane"}, shell));
  second.ExitInstance();
  EXPECT_EQ(shell.windows, 0);
  EXPECT_EQ(second.ExitCode(), 0) << "handing over is no failure";
  for (int i = 0; i < 200 && activations.load() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(activations.load(), 1);
  // The first instance's library folder survives the second one's exit.
  EXPECT_TRUE(fs::is_regular_file(root / "run" / "Tovix2Dir" / "qmhdwlib.so"));
  first.Release();
}

// The toolkit ends the process itself when the display goes away; the library copy must not
// outlive it.
TEST_F(AppLifecycleTest, ProcessEndedFromInsideTheWindowStillRemovesTheLibraryCopy) {
  struct ExitingShell : IAppShell {
    void SetSettingsKeyName(const std::string&) override {}
    void RunMainWindow() override {
      if (!fs::is_regular_file(HardwareLibraryFilePath())) std::_Exit(3);
      std::exit(1);
    }
  };
  const pid_t pid = ::fork();
  if (pid == 0) {
    CKorvaneApp app;
    ExitingShell shell;
    app.InitInstance({"korvane"}, shell);
    std::_Exit(2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 1) << "the window never ran with its library copy";
  EXPECT_FALSE(fs::exists(root / "run" / "Tovix2Dir"));
}

TEST_F(AppLifecycleTest, LibraryThatCannotStartMakesTheExitStatusNonZero) {
  struct StartingShell : IAppShell {
    void SetSettingsKeyName(const std::string&) override {}
    void RunMainWindow() override {
      // What the splash does; the embedded bytes here are no library at all.
      StartHardwareLibraryStartupThread();
      WaitForStartupThread(5000);
    }
  };
  auto previous = platform::SetMessageBoxSink(
      [](std::string_view, std::string_view, unsigned) { return platform::kIdOk; });
  CKorvaneApp app;
  StartingShell shell;
  app.InitInstance({"korvane"}, shell);
  app.ExitInstance();
  EXPECT_EQ(StartupStatusValue(), kStartupFailed);
  EXPECT_EQ(app.ExitCode(), 1);
  EXPECT_FALSE(fs::exists(root / "run" / "Tovix2Dir"));
  platform::SetMessageBoxSink(previous);
  ResetHardwareLibraryStateForTesting();
}

TEST(TaskbarLibrary, MissingLibraryLeavesEveryCallUnset) {
  CTaskbarLibrary lib;
  EXPECT_FALSE(lib.LoadFrom("/nonexistent/qmwin7.dll"));
  EXPECT_EQ(lib.setProgress, nullptr);
  EXPECT_EQ(lib.setAppId, nullptr);
}

TEST(TaskbarLibrary, BuiltLibraryOffersAllSevenExports) {
  CTaskbarLibrary lib;
  ASSERT_TRUE(lib.LoadFrom(KORVANE_BIN_DIR "/qmwin7.so"));
  EXPECT_NE(lib.setAppId, nullptr);
  EXPECT_NE(lib.initTaskBar, nullptr);
  EXPECT_NE(lib.freeTaskBar, nullptr);
  EXPECT_NE(lib.resetProgress, nullptr);
  EXPECT_NE(lib.setProgress, nullptr);
  EXPECT_NE(lib.deleteJumpList, nullptr);
  EXPECT_NE(lib.addTasksToList, nullptr);
  EXPECT_EQ(lib.setAppId(nullptr, 0), 1);
  // An empty range is refused rather than divided by.
  EXPECT_EQ(lib.setProgress(nullptr, 1, 0), 0);
}

}  // namespace
}  // namespace korvane
