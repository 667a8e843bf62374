// The library copy in places other users share: a temporary folder where someone else got
// there first, a temporary folder that may not hold programs, and the run folders of runs that
// ended without cleaning up.
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "hwlib/HardwareLibrary.h"
#include "hwlib/LibraryCopy.h"
#include "platform/MessageBox.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::span<const std::uint8_t> AsBytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Outcome bits of one program start in a shared temporary folder, so a child running as
// another user can report them through its exit status.
enum : int {
  kExtracted = 1,
  kStartedOwnLibrary = 2,
  kPlantedRan = 4,
  kPlantedFolderGone = 8,
  kOwnFilesLeft = 16,
  kCopyInsideForeignFolder = 32,
};

class SharedTempFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("korvane-shared-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "tmp");
    fs::create_directories(root_ / "marks");
    // Like /tmp: everyone may create, nobody may remove what others made.
    ::chmod(root_.c_str(), 0755);
    ::chmod((root_ / "tmp").c_str(), 01777);
    ::chmod((root_ / "marks").c_str(), 0777);
    good_ = ReadFile(std::string(KORVANE_FAKES_DIR) + "/fake_qmhdw_good.so");
    ASSERT_FALSE(good_.empty());
    previousSink_ = platform::SetMessageBoxSink(
        [](std::string_view, std::string_view, unsigned) { return platform::kIdOk; });
    ::setenv("TMPDIR", (root_ / "tmp").c_str(), 1);
    ::unsetenv("XDG_RUNTIME_DIR");
    ::setenv("KORVANE_PLANT_MARKER", (root_ / "marks" / "planted-ran").c_str(), 1);
  }
  void TearDown() override {
    korvane::HardwareLibraryShutdown();
    korvane::ResetHardwareLibraryStateForTesting();
    platform::SetMessageBoxSink(previousSink_);
    ::unsetenv("TMPDIR");
    ::unsetenv("KORVANE_PLANT_MARKER");
    fs::remove_all(root_);
  }

  // Another user's "Tovix2Dir" in the shared folder, holding a library of theirs.
  void PlantFolder(uid_t owner, fs::perms mode) {
    const fs::path dir = root_ / "tmp" / "Tovix2Dir";
    fs::create_directories(dir);
    fs::copy_file(std::string(KORVANE_FAKES_DIR) + "/planted_qmhdw.so", dir / "qmhdwlib.so");
    ASSERT_EQ(::chown((dir / "qmhdwlib.so").c_str(), owner, owner), 0);
    ASSERT_EQ(::chown(dir.c_str(), owner, owner), 0);
    fs::permissions(dir, mode, fs::perm_options::replace);
  }

  // Extraction, start-up, shutdown and clean-up as the program runs them.
  int StartAndEnd() {
    int result = 0;
    if (korvane::ExtractHardwareLibraryBytes(AsBytes(good_)) == good_.size()) result |= kExtracted;
    const std::string copy = korvane::HardwareLibraryFilePath();
    if (copy.rfind((root_ / "tmp" / "Tovix2Dir").string() + "/", 0) == 0)
      result |= kCopyInsideForeignFolder;
    // Only the purpose-built library answers Init with success, so success means ours ran.
    if (korvane::HardwareLibraryStartup() == korvane::kStartupOk) result |= kStartedOwnLibrary;
    korvane::HardwareLibraryShutdown();
    korvane::RemoveHardwareLibraryDirectory();
    if (fs::exists(root_ / "marks" / "planted-ran")) result |= kPlantedRan;
    if (!fs::exists(root_ / "tmp" / "Tovix2Dir" / "qmhdwlib.so")) result |= kPlantedFolderGone;
    for (const auto& e : fs::directory_iterator(root_ / "tmp")) {
      const std::string name = e.path().filename().string();
      if (name == "Tovix2Dir") continue;
      // The user's own runtime folder outlives the run, as $XDG_RUNTIME_DIR does; the library
      // copy inside it must not.
      if (name.rfind("korvane-runtime-", 0) == 0 && fs::is_directory(e.path()) &&
          !fs::exists(e.path() / "Tovix2Dir")) {
        continue;
      }
      result |= kOwnFilesLeft;
    }
    return result;
  }

  // The same as another user, in a child process (its status carries the outcome).
  int StartAndEndAs(uid_t uid) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0) ::_exit(100);
      ::_exit(StartAndEnd());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }

  fs::path root_;
  std::string good_;
  platform::MessageBoxSink previousSink_;
};

TEST_F(SharedTempFolder, RootNeverLoadsNorRemovesAnotherUsersLibraryFolder) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  for (fs::perms mode : {fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec,
                         fs::perms::all}) {
    SCOPED_TRACE(static_cast<int>(mode));
    fs::remove_all(root_ / "tmp" / "Tovix2Dir");
    fs::remove(root_ / "marks" / "planted-ran");
    PlantFolder(kNobody, mode);
    const int r = StartAndEnd();
    EXPECT_TRUE(r & kExtracted);
    EXPECT_FALSE(r & kCopyInsideForeignFolder);
    EXPECT_TRUE(r & kStartedOwnLibrary) << "the program starts with its own copy";
    EXPECT_FALSE(r & kPlantedRan) << "the planted library was loaded";
    EXPECT_FALSE(r & kPlantedFolderGone) << "the other user's folder was removed";
    EXPECT_FALSE(r & kOwnFilesLeft) << "the program's own run folder stayed behind";
    korvane::ResetHardwareLibraryStateForTesting();
  }
}

TEST_F(SharedTempFolder, AnOrdinaryUserNeverLoadsNorRemovesRootsLibraryFolder) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
  PlantFolder(0, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                     fs::perms::others_read | fs::perms::others_exec);
  const int r = StartAndEndAs(kNobody);
  ASSERT_GE(r, 0);
  ASSERT_NE(r, 100) << "could not become nobody";
  EXPECT_TRUE(r & kExtracted);
  EXPECT_TRUE(r & kStartedOwnLibrary);
  EXPECT_FALSE(r & kPlantedRan);
  EXPECT_FALSE(r & kPlantedFolderGone);
  EXPECT_FALSE(r & kOwnFilesLeft);
}

TEST_F(SharedTempFolder, ARuntimeFolderOfAnotherUserIsNotUsed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to own files as another user";
  // XDG_RUNTIME_DIR left pointing at someone else's folder (su without a new session).
  const fs::path foreign = root_ / "foreign-run";
  fs::create_directories(foreign);
  ASSERT_EQ(::chown(foreign.c_str(), kNobody, kNobody), 0);
  ::setenv("XDG_RUNTIME_DIR", foreign.c_str(), 1);
  // The user's own private runtime folder stands in for it.
  EXPECT_EQ(korvane::PreferredHardwareLibraryDirectory().rfind(foreign.string(), 0),
            std::string::npos);
  ASSERT_EQ(korvane::ExtractHardwareLibraryBytes(AsBytes(good_)), good_.size());
  EXPECT_EQ(korvane::HardwareLibraryFilePath().rfind(foreign.string(), 0), std::string::npos);
  EXPECT_TRUE(fs::is_empty(foreign));
}

TEST_F(SharedTempFolder, NoexecTemporaryFolderLoadsFromMemory) {
  // A mount namespace of its own, so the mount goes with the child whatever happens.
  const fs::path noexec = root_ / "noexec";
  fs::create_directories(noexec);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", noexec.c_str(), "tmpfs", MS_NOEXEC | MS_NOSUID | MS_NODEV,
                "size=32m,mode=1777") != 0) {
      ::_exit(77);
    }
    ::mkdir((noexec / "run").c_str(), 0700);
    ::setenv("TMPDIR", noexec.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (noexec / "run").c_str(), 1);
    int r = 0;
    if (korvane::ExtractHardwareLibraryBytes(AsBytes(good_)) == good_.size()) r |= 1;
    if (korvane::HardwareLibraryFilePath().empty()) r |= 2;  // nothing useless kept on disk
    if (korvane::HardwareLibraryStartup() == korvane::kStartupOk) r |= 4;
    korvane::HardwareLibraryShutdown();
    korvane::RemoveHardwareLibraryDirectory();
    if (fs::is_empty(noexec / "run")) r |= 8;
    ::_exit(r);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "mounting is not permitted here";
  const int r = WEXITSTATUS(status);
  EXPECT_TRUE(r & 1) << "extraction";
  EXPECT_TRUE(r & 2) << "a copy that cannot run stayed in the folder";
  EXPECT_TRUE(r & 4) << "the library did not start from memory";
  EXPECT_TRUE(r & 8) << "files left in the runtime folder";
}

pid_t DeadPid() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  ::waitpid(pid, nullptr, 0);
  return pid;
}

TEST_F(SharedTempFolder, StaleRunFoldersOfEndedRunsGoOthersStay) {
  const fs::path tmp = root_ / "tmp";
  const std::string dead = std::to_string(DeadPid());
  const std::string alive = std::to_string(::getpid());
  for (const std::string& name : std::vector<std::string>{
           "korvane-diagnose-" + dead + "-aaaaaa", "korvane-diagnose-" + alive + "-bbbbbb",
           "korvane-diagnose-cccccc", "korvane-diagnose-" + dead, "other-" + dead + "-dddddd"}) {
    fs::create_directories(tmp / name);
    std::ofstream(tmp / name / "qmhdwlib.so") << "bytes";
  }
  // A link named like a run folder is never followed.
  fs::create_directories(root_ / "elsewhere");
  std::ofstream(root_ / "elsewhere" / "keep") << "x";
  fs::create_directory_symlink(root_ / "elsewhere", tmp / ("korvane-diagnose-" + dead + "-link"));
  bool foreignMade = false;
  if (::geteuid() == 0) {
    fs::create_directories(tmp / ("korvane-diagnose-" + dead + "-nobody"));
    foreignMade =
        ::chown((tmp / ("korvane-diagnose-" + dead + "-nobody")).c_str(), kNobody, kNobody) == 0;
  }

  EXPECT_EQ(korvane::RemoveStaleRunFolders(tmp.string() + "/", "korvane-diagnose"), 1);
  EXPECT_FALSE(fs::exists(tmp / ("korvane-diagnose-" + dead + "-aaaaaa")));
  EXPECT_TRUE(fs::exists(tmp / ("korvane-diagnose-" + alive + "-bbbbbb")))
      << "a running dump keeps its folder";
  EXPECT_TRUE(fs::exists(tmp / "korvane-diagnose-cccccc"));
  EXPECT_TRUE(fs::exists(tmp / ("korvane-diagnose-" + dead)));
  EXPECT_TRUE(fs::exists(tmp / ("other-" + dead + "-dddddd")));
  EXPECT_TRUE(fs::exists(root_ / "elsewhere" / "keep"));
  if (foreignMade) {
    EXPECT_TRUE(fs::exists(tmp / ("korvane-diagnose-" + dead + "-nobody")));
  }
}

TEST_F(SharedTempFolder, SignalHandlerRemovalEmptiesAndRemovesTheFolder) {
  const std::string folder = korvane::MakeRunFolder((root_ / "tmp").string(), "korvane-diagnose");
  ASSERT_FALSE(folder.empty());
  struct stat st {};
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // A half-written copy under its temporary name as well as finished ones.
  for (int i = 0; i < 300; ++i) std::ofstream(folder + ".qmhdwlib.so." + std::to_string(i)) << i;
  korvane::RemoveFolderFromSignalHandler(folder.c_str());
  EXPECT_FALSE(fs::exists(folder));
}

}  // namespace
