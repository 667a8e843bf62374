#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/Installation.h"
#include "config/IniFile.h"
#include "config/LanguageRes.h"
#include "platform/Paths.h"
#include "platform/Registry.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

// Every test of this program gets private config, cache and state folders, whatever the
// runner's environment says, so nothing here can reach a real home.
class PrivateFolders : public ::testing::Environment {
 public:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("korvane_config_tests_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    for (const char* leaf : {"home", "config", "cache", "state"}) fs::create_directories(root_ / leaf);
    setenv("HOME", (root_ / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root_ / "cache").c_str(), 1);
    setenv("XDG_STATE_HOME", (root_ / "state").c_str(), 1);
  }
  void TearDown() override { fs::remove_all(root_); }

 private:
  fs::path root_;
};
const auto* const kPrivateFolders = ::testing::AddGlobalTestEnvironment(new PrivateFolders);

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("korvane_ini_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string PathOf(const char* name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(IniFileTest, MissingOrEmptyValuesReadAsZeroAndWritesCreateTheFile) {
  CIniFile ini(PathOf("tovix2.ini"));
  EXPECT_FALSE(ini.Exists());
  std::string out = "stale";
  EXPECT_EQ(ini.Read("Tovix2", "RandomUserName", out), 0);
  EXPECT_EQ(out, "");

  ASSERT_TRUE(ini.Write("Tovix2", "RandomUserName", "guest_42"));
  EXPECT_TRUE(ini.Exists());
  ASSERT_TRUE(ini.Write("Tovix2", "Empty", ""));
  EXPECT_EQ(ini.Read("Tovix2", "RandomUserName", out), 1);
  EXPECT_EQ(out, "guest_42");
  EXPECT_EQ(ini.Read("tovix2", "randomusername", out), 1);  // names ignore case
  EXPECT_EQ(ini.Read("Tovix2", "Empty", out), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(ini.Read("Other", "RandomUserName", out), 0);

  // A second object pointed at the same file sees it as existing.
  CIniFile again;
  EXPECT_FALSE(again.Exists());
  again.SetPath(ini.Path());
  EXPECT_TRUE(again.Exists());
}

TEST_F(IniFileTest, LongValuesAreCutToWholeCharacters) {
  CIniFile ini(PathOf("long.ini"));
  std::string wide;
  for (int i = 0; i < 300; ++i) wide += "评";  // 3 bytes, 1 UTF-16 unit each
  ASSERT_TRUE(ini.Write("S", "K", wide));
  std::string out;
  ASSERT_EQ(ini.Read("S", "K", out), 1);
  EXPECT_EQ(out.size(), 259u * 3);
  EXPECT_EQ(out, wide.substr(0, 259 * 3));
}

TEST_F(IniFileTest, OverlongPathIsRefusedNotCut) {
  std::string longPath = dir_.string() + "/" + std::string(300, 'a') + ".ini";
  CIniFile ini(longPath);
  EXPECT_EQ(ini.Path(), "");
  EXPECT_FALSE(ini.Write("S", "K", "v"));
  std::string out;
  EXPECT_EQ(ini.Read("S", "K", out), 0);
  // Nothing was written under a shortened name either.
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(IniFileTest, DamagedFileReadsWhatIsReadableAndStaysWritable) {
  {
    std::ofstream f(PathOf("bad.ini"), std::ios::binary);
    f << "\xff\xfe\x00garbage without section\n[Tovix2\nRandomUserName\n";
    f.write("\0\0\0", 3);
    f << "\n[Tovix2]\n=novalue\nRandomUserName=kept\n\x80\x81=\xfe\n";
  }
  CIniFile ini(PathOf("bad.ini"));
  std::string out;
  EXPECT_EQ(ini.Read("Tovix2", "RandomUserName", out), 1);
  EXPECT_EQ(out, "kept");
  EXPECT_EQ(ini.Read("Nope", "Nothing", out), 0);
  ASSERT_TRUE(ini.Write("Tovix2", "ServerBase", "http://127.0.0.1:1"));
  EXPECT_EQ(ini.Read("Tovix2", "ServerBase", out), 1);
  EXPECT_EQ(out, "http://127.0.0.1:1");
  EXPECT_EQ(ini.Read("Tovix2", "RandomUserName", out), 1);
  EXPECT_EQ(out, "kept");
}

TEST_F(IniFileTest, UnwritableLocationFailsCleanly) {
  // A regular file where the folder should be: refused even for root.
  { std::ofstream(PathOf("notadir")) << "x"; }
  CIniFile ini(PathOf("notadir") + "/tovix2.ini");
  EXPECT_FALSE(ini.Exists());
  EXPECT_FALSE(ini.Write("Tovix2", "RandomUserName", "x"));
  std::string out;
  EXPECT_EQ(ini.Read("Tovix2", "RandomUserName", out), 0);
  // A directory in place of the file.
  fs::create_directories(PathOf("dir.ini"));
  CIniFile dirIni(PathOf("dir.ini"));
  EXPECT_FALSE(dirIni.Write("Tovix2", "K", "v"));
  EXPECT_EQ(dirIni.Read("Tovix2", "K", out), 0);
}

TEST(SettingsFile, LivesInTheSharedToolsFolderAndFeedsTheServerBase) {
  const std::string path = SettingsFilePath();
  EXPECT_EQ(path, platform::WindowsDirectory() + "tovix2.ini");
  EXPECT_EQ(path.rfind(std::getenv("XDG_CONFIG_HOME"), 0), 0u);

  unsetenv("KORVANE_SERVER_BASE");
  CIniFile ini(path);
  ASSERT_TRUE(ini.Write(kSettingsSection, "ServerBase", "http://127.0.0.1:7777/"));
  EXPECT_EQ(ServerBase(kTableEnglish), "http://127.0.0.1:7777");
  setenv("KORVANE_SERVER_BASE", "http://127.0.0.1:6666", 1);
  EXPECT_EQ(ServerBase(kTableSimplifiedChinese), "http://127.0.0.1:6666");
  unsetenv("KORVANE_SERVER_BASE");
  ASSERT_TRUE(ini.Write(kSettingsSection, "ServerBase", "not an address"));
  EXPECT_EQ(ServerBase(kTableEnglish), kDefaultServerBase);
  fs::remove(path);
}

TEST(Installation, RecordsExecutableAndVersionUnderTheProgramKey) {
  ASSERT_EQ(platform::RegistryFilePath().rfind(std::getenv("XDG_CONFIG_HOME"), 0), 0u);
  RecordInstallation();
  RecordInstallation();  // again over an existing key
  platform::RegistryKey key;
  ASSERT_EQ(key.Open(platform::RegRoot::CurrentUser, "Software\\Quillmark\\Tovix2", platform::RegAccess::Read),
            platform::kRegOk);
  std::string exe, version;
  ASSERT_EQ(key.QueryString("ExeName", exe), platform::kRegOk);
  ASSERT_EQ(key.QueryString("Version", version), platform::kRegOk);
  EXPECT_EQ(version, "3.0.603");
  EXPECT_EQ(exe, platform::ExecutablePath());
  EXPECT_TRUE(fs::exists(exe));
}

}  // namespace
}  // namespace korvane
