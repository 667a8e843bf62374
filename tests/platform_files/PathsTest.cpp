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
  {
    ScopedEnv runtime("XDG_RUNTIME_DIR", (dir / "missing").c_str());
    EXPECT_EQ(platform::RuntimeDirectory(), "/tmp/");
  }
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
