#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "TestSupport.h"
#include "platform/Paths.h"

namespace {

using korvane_test::ScopedEnv;
using korvane_test::ScratchDir;
using korvane_test::WriteAll;
namespace fs = std::filesystem;

TEST(MapFileName, MapsWindowsSuffixesOfTheLastComponentOnly) {
  EXPECT_EQ(platform::MapFileName("qmlog.dll"), "qmlog.so");
  EXPECT_EQ(platform::MapFileName("QMLog.DLL"), "QMLog.so");
  EXPECT_EQ(platform::MapFileName("/opt/q/qmupdate.exe"), "/opt/q/qmupdate");
  EXPECT_EQ(platform::MapFileName("/opt/q/QMUPDATE.Exe"), "/opt/q/QMUPDATE");
  // Only the file name counts, not folders that happen to end like one.
  EXPECT_EQ(platform::MapFileName("/x.dll/readme.txt"), "/x.dll/readme.txt");
  EXPECT_EQ(platform::MapFileName("/x.exe/tool"), "/x.exe/tool");
  EXPECT_EQ(platform::MapFileName("tool.exe.bak"), "tool.exe.bak");
  EXPECT_EQ(platform::MapFileName("libqm.so"), "libqm.so");
  // No stem: nothing sensible to map to.
  EXPECT_EQ(platform::MapFileName(".dll"), ".dll");
  EXPECT_EQ(platform::MapFileName("/a/.exe"), "/a/.exe");
  EXPECT_EQ(platform::MapFileName(""), "");
}

TEST(FileQueries, LookUpAndDeleteTheMappedFile) {
  ScratchDir dir;
  WriteAll(dir / "qmupdate", "#!/bin/sh\n");
  WriteAll(dir / "qmlog.so", "x");
  fs::create_directory(dir / "folder.exe");

  EXPECT_TRUE(platform::FileExists(dir / "qmupdate.exe"));
  EXPECT_TRUE(platform::FileExists(dir / "qmlog.dll"));
  EXPECT_FALSE(platform::FileExists(dir / "qmdriver.exe"));
  EXPECT_FALSE(platform::FileExists(dir.path())) << "a folder is not a file";
  EXPECT_FALSE(platform::FileExists(""));
  EXPECT_TRUE(platform::DirectoryExists(dir.path()));
  EXPECT_FALSE(platform::DirectoryExists(dir / "qmupdate"));

  EXPECT_TRUE(platform::DeleteFile(dir / "qmlog.dll"));
  EXPECT_FALSE(fs::exists(dir / "qmlog.so"));
  EXPECT_FALSE(platform::DeleteFile(dir / "qmlog.dll")) << "already gone";
  EXPECT_FALSE(platform::DeleteFile(dir / "folder")) << "never removes a folder";
  EXPECT_TRUE(fs::exists(dir / "folder.exe"));
}

TEST(CreateDirectories, MakesMissingParentsAndFailsOverAFile) {
  ScratchDir dir;
  EXPECT_TRUE(platform::CreateDirectories(dir / "a/b/c/"));
  EXPECT_TRUE(fs::is_directory(dir / "a/b/c"));
  EXPECT_TRUE(platform::CreateDirectories(dir / "a/b")) << "existing folder is success";
  WriteAll(dir / "file", "x");
  EXPECT_FALSE(platform::CreateDirectories(dir / "file/sub"));
  EXPECT_FALSE(platform::CreateDirectories(""));
}

TEST(DeleteDirectoryTree, RemovesATreeWithoutFollowingLinksOut) {
  ScratchDir dir;
  ScratchDir outside;
  WriteAll(outside / "keep.txt", "precious");
  fs::create_directories(dir / "lib/Tovix2Dir/sub");
  WriteAll(dir / "lib/Tovix2Dir/sub/qmhdwlib.so", "bytes");
  fs::create_directory_symlink(outside.path(), dir / "lib/Tovix2Dir/link");

  EXPECT_TRUE(platform::DeleteDirectoryTree(dir / "lib/Tovix2Dir"));
  EXPECT_FALSE(fs::exists(dir / "lib/Tovix2Dir"));
  EXPECT_EQ(korvane_test::ReadAll(outside / "keep.txt"), "precious");
  EXPECT_TRUE(platform::DeleteDirectoryTree(dir / "lib/Tovix2Dir")) << "nothing left is done";
}

TEST(DeleteDirectoryTree, RefusesRootShortPathsHomeAndLinks) {
  ScratchDir dir;
  EXPECT_FALSE(platform::DeleteDirectoryTree("/"));
  EXPECT_FALSE(platform::DeleteDirectoryTree("", 0));
  EXPECT_FALSE(platform::DeleteDirectoryTree("/tmp"));
  // Long enough as written, but it leads to "/".
  EXPECT_FALSE(platform::DeleteDirectoryTree("/tmp/../../../../../", 8));
  EXPECT_FALSE(platform::DeleteDirectoryTree("/", 0));
  EXPECT_TRUE(fs::exists("/tmp"));

  fs::create_directories(dir / "home/user");
  WriteAll(dir / "home/user/.profile", "x");
  ScopedEnv home("HOME", (dir / "home/user").c_str());
  EXPECT_FALSE(platform::DeleteDirectoryTree(dir / "home/user/"));
  EXPECT_TRUE(fs::exists(dir / "home/user/.profile"));

  fs::create_directory_symlink(dir / "home", dir / "alias");
  EXPECT_FALSE(platform::DeleteDirectoryTree(dir / "alias"));
  EXPECT_FALSE(platform::DeleteDirectoryTree(dir / "alias//"));
  EXPECT_TRUE(fs::exists(dir / "home/user/.profile"));

  // A custom minimum applies to the real path too.
  fs::create_directories(dir / "x");
  EXPECT_FALSE(platform::DeleteDirectoryTree(dir / "x", (dir / "x").size() + 1));
  EXPECT_TRUE(fs::exists(dir / "x"));
}

TEST(Folders, FollowTheUsersXdgSettings) {
  ScratchDir dir;
  {
    ScopedEnv config("XDG_CONFIG_HOME", (dir / "cfg").c_str());
    ScopedEnv cache("XDG_CACHE_HOME", (dir / "cache").c_str());
    ScopedEnv state("XDG_STATE_HOME", (dir / "state").c_str());
    EXPECT_EQ(platform::WindowsDirectory(), dir / "cfg/quillmark/");
    EXPECT_TRUE(fs::is_directory(dir / "cfg/quillmark")) << "created on demand";
    EXPECT_EQ(platform::CacheDirectory(), dir / "cache/korvane/");
    EXPECT_EQ(platform::StateDirectory(), dir / "state/korvane/");
  }
  {
    // Relative XDG values are invalid and fall back to the home folder.
    ScopedEnv config("XDG_CONFIG_HOME", "relative/cfg");
    ScopedEnv home("HOME", (dir / "home").c_str());
    EXPECT_EQ(platform::WindowsDirectory(), dir / "home/.config/quillmark/");
  }
  {
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    WriteAll(dir / "plainfile", "x");
    ScopedEnv home("HOME", (dir / "plainfile").c_str());
    EXPECT_EQ(platform::WindowsDirectory(), "") << "cannot be obtained -> empty";
  }
}

TEST(Folders, TempIsTheLongFormOfTmpdir) {
  ScratchDir dir;
  fs::create_directories(dir / "real/tmp");
  fs::create_directory_symlink(dir / "real/tmp", dir / "short");
  char* real = ::realpath((dir / "real/tmp").c_str(), nullptr);
  ASSERT_NE(real, nullptr);
  const std::string expected = std::string(real) + "/";
  std::free(real);
  {
    ScopedEnv tmp("TMPDIR", (dir / "short/").c_str());
    EXPECT_EQ(platform::TempDirectory(), expected);
  }
  {
    ScopedEnv tmp("TMPDIR", (dir / "missing").c_str());
    const std::string t = platform::TempDirectory();
    EXPECT_EQ(t.back(), '/');
    EXPECT_TRUE(fs::is_directory(t));
    EXPECT_EQ(t.find(dir.path()), std::string::npos);
  }
}

// The runtime folder holds the single-instance lock and the hardware library: it must never be
// a folder another user could own or write to.
TEST(Folders, RuntimeFolderIsAlwaysPrivateToThisUser) {
  ScratchDir dir;
  ScopedEnv tmp("TMPDIR", dir.path().c_str());
  ScopedEnv cache("XDG_CACHE_HOME", (dir / "cache").c_str());
  auto expectPrivate = [](const std::string& folder) {
    struct stat st {};
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0) << folder;
    EXPECT_TRUE(S_ISDIR(st.st_mode)) << folder;
    EXPECT_EQ(st.st_uid, ::geteuid()) << folder;
    EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
  };
  fs::create_directories(dir / "good");
  ::chmod((dir / "good").c_str(), 0700);
  fs::create_directories(dir / "open");
  ::chmod((dir / "open").c_str(), 0755);
  const std::string own = dir / ("korvane-runtime-" + std::to_string(::geteuid())) + "/";
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", (dir / "good").c_str());
    EXPECT_EQ(platform::RuntimeDirectory(), dir / "good/");
  }
  for (const char* unusable : {"missing", "open", "relative", static_cast<const char*>(nullptr)}) {
    const std::string value = unusable == nullptr                   ? ""
                              : std::string(unusable) == "relative" ? "good"
                                                                    : dir / unusable;
    ScopedEnv runtime("XDG_RUNTIME_DIR", unusable == nullptr ? nullptr : value.c_str());
    EXPECT_EQ(platform::RuntimeDirectory(), own) << (unusable ? unusable : "unset");
    expectPrivate(own);
  }
  // Somebody else's folder under our fallback name (a link stands in for it here: it is not a
  // folder of ours either): never used, whatever it points at.
  fs::remove_all(own);
  fs::create_directory_symlink(dir / "open",
                               dir / ("korvane-runtime-" + std::to_string(::geteuid())));
  ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
  const std::string fallback = platform::RuntimeDirectory();
  EXPECT_EQ(fallback, dir / "cache/korvane/runtime/");
  expectPrivate(fallback);
  // Ours but opened up to others: not private any more, so not used.
  fs::remove(dir / ("korvane-runtime-" + std::to_string(::geteuid())));
  fs::create_directories(own);
  ::chmod(own.c_str(), 0777);
  EXPECT_EQ(platform::RuntimeDirectory(), fallback);
}

// As root, a fallback folder that another user made first is refused.
TEST(Folders, RuntimeFolderMadeByAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a folder of another user";
  ScratchDir dir;
  ScopedEnv tmp("TMPDIR", dir.path().c_str());
  ScopedEnv cache("XDG_CACHE_HOME", (dir / "cache").c_str());
  ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
  const std::string planted = dir / ("korvane-runtime-" + std::to_string(::geteuid()));
  ASSERT_EQ(::mkdir(planted.c_str(), 0700), 0);
  ASSERT_EQ(::chown(planted.c_str(), 65534, 65534), 0);
  EXPECT_EQ(platform::RuntimeDirectory(), dir / "cache/korvane/runtime/");
  EXPECT_FALSE(platform::IsPrivateFolder(planted, false));
  EXPECT_FALSE(platform::MakePrivateFolder(planted));
}

TEST(Folders, ExecutableIsThisTestBinary) {
  const std::string exe = platform::ExecutablePath();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe.front(), '/');
  struct stat st {};
  ASSERT_EQ(::stat(exe.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  EXPECT_EQ(platform::ExecutableDirectory() + fs::path(exe).filename().string(), exe);
  EXPECT_EQ(platform::ProgramFilesDirectory(), "/opt/");
}

}  // namespace
