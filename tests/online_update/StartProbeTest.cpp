// The working folder, the download rule and the probe's message to the start panel.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "MessageRecorder.h"
#include "online/StartProbe.h"
#include "online/VersionCheck.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

// A loopback address where nothing listens: a port bound, then released.
std::string DeadAddress() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(s);
  return "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
}

class WorkFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(std::getenv("HOME")) / ("probe-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST(WorkFolderBase, PrivateFoldersOnly) {
  EXPECT_EQ(ChooseWorkFolderBase(std::string("/run/user/1000"), "/home/u/.cache/korvane/"),
            "/run/user/1000/");
  // Unset, empty or relative runtime folder: the cache folder.
  EXPECT_EQ(ChooseWorkFolderBase(std::nullopt, "/home/u/.cache/korvane/"),
            "/home/u/.cache/korvane/");
  EXPECT_EQ(ChooseWorkFolderBase(std::string(""), "/c/korvane"), "/c/korvane/");
  EXPECT_EQ(ChooseWorkFolderBase(std::string("run/user"), "/c/korvane/"), "/c/korvane/");
  EXPECT_EQ(ChooseWorkFolderBase(std::nullopt, ""), "");
  EXPECT_EQ(ChooseWorkFolderBase(std::nullopt, "relative/cache"), "");
}

TEST_F(WorkFolderTest, ProcessFolderFollowsTheEnvironment) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string keep = saved ? saved : "";
  ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  EXPECT_EQ(WorkFolder(), dir_.string() + "/Tovix2Tmp/");
  ::unsetenv("XDG_RUNTIME_DIR");
  const std::string cache = std::string(std::getenv("XDG_CACHE_HOME")) + "/korvane/Tovix2Tmp/";
  EXPECT_EQ(WorkFolder(), cache);
  EXPECT_EQ(WorkFolder().rfind("/tmp/", 0), std::string::npos);
  if (saved) ::setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
}

TEST_F(WorkFolderTest, MadePrivateAndNeverThroughALink) {
  const fs::path work = dir_ / "a" / "b" / "Tovix2Tmp";
  ASSERT_TRUE(PrepareWorkFolder(work.string() + "/"));
  struct stat st {};
  ASSERT_EQ(::stat(work.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // An open folder left by an older run is closed again.
  fs::permissions(work, fs::perms::all);
  ASSERT_TRUE(PrepareWorkFolder(work.string()));
  ASSERT_EQ(::stat(work.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // A link planted where the folder goes is not followed.
  fs::create_directories(dir_ / "elsewhere");
  fs::create_directory_symlink(dir_ / "elsewhere", dir_ / "linked");
  EXPECT_FALSE(PrepareWorkFolder((dir_ / "linked").string()));
  // A file in its place.
  std::ofstream(dir_ / "file") << "x";
  EXPECT_FALSE(PrepareWorkFolder((dir_ / "file").string()));
  EXPECT_FALSE(PrepareWorkFolder(""));
}

TEST(StartPanel, AddressForEachProbeResult) {
  EXPECT_EQ(
      StartPanelAddress(kMsgProbeDownloaded, 0, "http://h/info/tovixsoft.html", "/usr/bin/korvane"),
      "http://h/info/tovixsoft.html");
  EXPECT_EQ(
      StartPanelAddress(kMsgProbeFailed, 0, "http://h/info/tovixsoft.html", "/usr/bin/korvane"),
      "res:///usr/bin/korvane/FIRST_PAGE.HTM");
  EXPECT_EQ(StartPanelAddress(kMsgProbeFailed, 0, "http://h/", ""), "about:blank");
  EXPECT_FALSE(StartPanelAddress(kMsgProbeDownloaded, 1, "http://h/", "/x"));
  EXPECT_FALSE(StartPanelAddress(kMsgNewVersion, 0, "http://h/", "/x"));
}

TEST_F(WorkFolderTest, DownloadFailuresAreNegative) {
  const std::string file = (dir_ / "f").string();
  EXPECT_LT(DownloadUrlToFile("", file), 0);
  EXPECT_LT(DownloadUrlToFile("http://127.0.0.1:1/x", ""), 0);
  EXPECT_LT(DownloadUrlToFile("not a url", file), 0);
  EXPECT_LT(DownloadUrlToFile(DeadAddress() + "/info/netstat.xml", file), 0);
  EXPECT_FALSE(fs::exists(file));
}

TEST_F(WorkFolderTest, ProbeReportsFailureAndClearsTheOldFile) {
  const fs::path work = dir_ / "Tovix2Tmp";
  fs::create_directories(work);
  std::ofstream(work / "netstat.xml") << "stale";
  MessageRecorder panel;
  CStartProbe::Settings s;
  s.probeUrl = DeadAddress() + "/info/netstat.xml";
  s.workFolder = work.string();
  s.settleDelayMs = 0;
  EXPECT_EQ(CStartProbe::Run(panel, s), kMsgProbeFailed);
  ASSERT_EQ(panel.Entries().size(), 1u);
  EXPECT_EQ(panel.Entries()[0].msg, kMsgProbeFailed);
  EXPECT_FALSE(fs::exists(work / "netstat.xml"));

  // A panel that is gone hears nothing.
  MessageRecorder gone;
  gone.live = false;
  EXPECT_EQ(CStartProbe::Run(gone, s), 0u);
  EXPECT_TRUE(gone.Entries().empty());
}

TEST_F(WorkFolderTest, ProbeThreadRunsOnce) {
  MessageRecorder panel;
  CStartProbe probe;
  CStartProbe::Settings s;
  s.probeUrl = "";  // fails at once
  s.workFolder = (dir_ / "Tovix2Tmp").string();
  s.settleDelayMs = 0;
  EXPECT_TRUE(probe.Start(panel, s));
  EXPECT_FALSE(probe.Start(panel, s));
  probe.Wait();
  EXPECT_FALSE(probe.Start(panel, s));
  probe.Wait();
  ASSERT_EQ(panel.Entries().size(), 1u);
  EXPECT_EQ(panel.Entries()[0].msg, kMsgProbeFailed);

  MessageRecorder versionPanel;
  CVersionCheck check;
  CVersionCheck::Settings v;
  v.versionUrl = "";
  v.workFolder = s.workFolder;
  v.settleDelayMs = 0;
  EXPECT_TRUE(check.Start(versionPanel, v));
  EXPECT_FALSE(check.Start(versionPanel, v));
  check.Wait();
  ASSERT_EQ(versionPanel.Entries().size(), 1u);
  EXPECT_EQ(versionPanel.Entries()[0].msg, kMsgVersionFailed);
}

}  // namespace
}  // namespace korvane
