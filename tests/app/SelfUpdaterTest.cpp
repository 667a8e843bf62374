#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/logic/SelfUpdater.h"
#include "config/IniFile.h"
#include "platform/ProfileFile.h"
#include "scores/Md5.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool IsExecutable(const fs::path& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && (st.st_mode & S_IXUSR) != 0;
}

// A pretend update server: URL -> body; every download and start is recorded.
struct FakeServer {
  std::map<std::string, std::string> files;
  std::vector<std::string> downloads;
  std::vector<std::pair<std::string, std::string>> starts;
  std::vector<bool> executableAtStart;

  CSelfUpdater::Operations Ops() {
    return {[this](const std::string& url, const std::string& path) {
              downloads.push_back(url);
              auto it = files.find(url);
              if (it == files.end()) return false;
              WriteFile(path, it->second);
              // What a real download leaves: an ordinary file.
              ::chmod(path.c_str(), 0644);
              return true;
            },
            [this](const std::string& program, const std::string& params) {
              starts.emplace_back(program, params);
              executableAtStart.push_back(IsExecutable(program));
              return 42;
            }};
  }
};

class SelfUpdaterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::path(::testing::TempDir()) /
          ("updater-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Dir() const { return dir.string() + "/"; }
  fs::path dir;
  const std::string base = "https://updates.example/korvane/";
};

TEST_F(SelfUpdaterTest, MatchingUpdaterStartsAtOnceWithItsParameters) {
  const std::string program = "#!/bin/sh\nexit 0\n";
  WriteFile(dir / "update", program);
  ::chmod((dir / "update").c_str(), 0755);
  WriteFile(dir / "update.crc", "stale");
  FakeServer server;
  // Upper-case digits match too.
  std::string digest = Md5HexLower(program);
  for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  server.files[base + "update.txt"] = "[update]\ncrc=" + digest + "\n";

  CSelfUpdater updater(Dir(), base, server.Ops());
  EXPECT_EQ(updater.Run(), CSelfUpdater::Outcome::StartedAtOnce);
  ASSERT_EQ(server.starts.size(), 1u);
  EXPECT_EQ(server.starts[0].first, (dir / "update").string());
  EXPECT_EQ(server.starts[0].second, "6 3.0.603.1 1");
  EXPECT_EQ(server.downloads, std::vector<std::string>{base + "update.txt"});
  // The check file is the fresh download, not the stale one.
  EXPECT_NE(ReadFile(dir / "update.crc").find(digest), std::string::npos);
}

TEST_F(SelfUpdaterTest, MissingUpdaterIsDownloadedCheckedAndOnlyThenMadeExecutable) {
  const std::string program = "#!/bin/sh\necho new\n";
  FakeServer server;
  server.files[base + "update.exe"] = program;
  server.files[base + "update.txt"] = "[update]\ncrc=" + Md5HexLower(program) + "\n";

  CSelfUpdater updater(Dir(), base, server.Ops());
  EXPECT_EQ(updater.Run(), CSelfUpdater::Outcome::DownloadStarted);
  EXPECT_EQ(updater.Join(), CSelfUpdater::kWorkerStarted);
  EXPECT_EQ(ReadFile(dir / "update"), program);
  EXPECT_TRUE(IsExecutable(dir / "update"));
  ASSERT_EQ(server.starts.size(), 1u);
  EXPECT_TRUE(server.executableAtStart[0]);
  EXPECT_FALSE(fs::exists(dir / "update.download"));
}

TEST_F(SelfUpdaterTest, TamperedDownloadIsNeverMadeExecutableNorStarted) {
  const std::string good = "#!/bin/sh\nexit 0\n";
  WriteFile(dir / "update", good);  // an old updater whose published digest moved on
  ::chmod((dir / "update").c_str(), 0755);
  FakeServer server;
  server.files[base + "update.exe"] = "#!/bin/sh\necho tampered\n";
  server.files[base + "update.txt"] = "[update]\ncrc=" + Md5HexLower("something else") + "\n";

  CSelfUpdater updater(Dir(), base, server.Ops());
  EXPECT_EQ(updater.Run(), CSelfUpdater::Outcome::DownloadStarted);
  EXPECT_EQ(updater.Join(), CSelfUpdater::kWorkerCheckFailed);
  EXPECT_TRUE(server.starts.empty());
  // The installed updater is left as it was; the rejected bytes are gone.
  EXPECT_EQ(ReadFile(dir / "update"), good);
  EXPECT_FALSE(fs::exists(dir / "update.download"));
}

TEST_F(SelfUpdaterTest, DownloadFailureAndMalformedDigests) {
  FakeServer server;
  {
    CSelfUpdater updater(Dir(), base, server.Ops());
    EXPECT_EQ(updater.Run(), CSelfUpdater::Outcome::DownloadStarted);
    EXPECT_EQ(updater.Join(), CSelfUpdater::kWorkerDownloadFailed);
  }
  const std::string program = "binary";
  server.files[base + "update.exe"] = program;
  const std::string digest = Md5HexLower(program);
  for (const std::string& crc :
       {digest.substr(0, 31), digest + "0", std::string(), digest + digest}) {
    server.files[base + "update.txt"] = "[update]\ncrc=" + crc + "\n";
    CSelfUpdater updater(Dir(), base, server.Ops());
    updater.Run();
    EXPECT_EQ(updater.Join(), CSelfUpdater::kWorkerCheckFailed) << crc;
  }
  // Digest under another key or section does not count.
  server.files[base + "update.txt"] = "[other]\ncrc=" + digest + "\n[update]\nmd5=" + digest + "\n";
  CSelfUpdater updater(Dir(), base, server.Ops());
  updater.Run();
  EXPECT_EQ(updater.Join(), CSelfUpdater::kWorkerCheckFailed);
  EXPECT_TRUE(server.starts.empty());
}

TEST_F(SelfUpdaterTest, OnlyHttpsBasesAreUsed) {
  FakeServer server;
  for (const std::string& b : {std::string("http://updates.example/"), std::string(""),
                               std::string("ftp://x/"), std::string("https://")}) {
    CSelfUpdater updater(Dir(), b, server.Ops());
    EXPECT_EQ(updater.Run(), CSelfUpdater::Outcome::NotConfigured) << b;
  }
  EXPECT_TRUE(server.downloads.empty());
  EXPECT_TRUE(IsUsableUpdateBase("HTTPS://updates.example/"));
}

TEST_F(SelfUpdaterTest, BaseComesFromEnvironmentThenSettings) {
  ::setenv("KORVANE_UPDATE_BASE", "https://env.example/u", 1);
  EXPECT_EQ(ConfiguredUpdateBase(), "https://env.example/u/");
  ::unsetenv("KORVANE_UPDATE_BASE");
  // The test's own config folder holds no settings: no update check by default.
  EXPECT_EQ(ConfiguredUpdateBase(), "");
  const std::string ini = SettingsFilePath();
  ASSERT_TRUE(
      platform::WriteProfileString("Tovix2", "UpdateBase", " https://ini.example/base ", ini));
  EXPECT_EQ(ConfiguredUpdateBase(), "https://ini.example/base/");
  ::setenv("KORVANE_UPDATE_BASE", "https://env.example/", 1);
  EXPECT_EQ(ConfiguredUpdateBase(), "https://env.example/");
  ::unsetenv("KORVANE_UPDATE_BASE");
  fs::remove(ini);
}

TEST(FileDigest, MatchesTheDigestOfTheBytes) {
  const fs::path p = fs::path(::testing::TempDir()) / ("digest-" + std::to_string(::getpid()));
  std::string bytes(100000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  WriteFile(p, bytes);
  EXPECT_EQ(FileMd5Hex(p.string()), Md5HexLower(bytes));
  WriteFile(p, "");
  EXPECT_EQ(FileMd5Hex(p.string()), "d41d8cd98f00b204e9800998ecf8427e");
  fs::remove(p);
  EXPECT_EQ(FileMd5Hex(p.string()), "");
  EXPECT_EQ(FileMd5Hex(::testing::TempDir()), "");  // a folder is not a file
  EXPECT_FALSE(DigestMatches("", ""));
}

}  // namespace
}  // namespace korvane
