#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "platform/ProfileFile.h"

namespace {

using korvane_test::ReadAll;
using korvane_test::ScopedEnv;
using korvane_test::ScratchDir;
using korvane_test::WriteAll;
namespace fs = std::filesystem;

std::string Get(std::string_view section, std::string_view key, const std::string& path,
                std::string_view def = "DEF", std::size_t size = 260) {
  std::string out;
  const std::size_t n = platform::GetProfileString(section, key, def, out, size, path);
  EXPECT_EQ(n, out.size());
  return out;
}

class ProfileFileTest : public ::testing::Test {
 protected:
  ScratchDir dir_{"/dev/shm"};
  std::string ini_ = dir_ / "tovix2.ini";
};

TEST_F(ProfileFileTest, ReadsWithTheWindowsRules) {
  WriteAll(ini_,
           "orphan=before any section\n"
           "[Tovix2]\n"
           "  RandomUserName  =   Abc_-123   \n"
           "quoted=\"  spaced  \"\n"
           "single='x'\n"
           "mismatched=\"x'\n"
           "lonequote=\"\n"
           "empty=\n"
           "bare key\n"
           "dup=first\n"
           "dup=second\n"
           "; commented=yes\n"
           "[other]\n"
           "only=here\n"
           "[TOVIX2]\n"
           "late=second section of the same name\n");
  EXPECT_EQ(Get("tovix2", "randomusername", ini_), "Abc_-123");
  EXPECT_EQ(Get(" Tovix2 ", "RandomUserName", ini_), "Abc_-123");
  EXPECT_EQ(Get("Tovix2", "quoted", ini_), "  spaced  ") << "quotes keep inner blanks";
  EXPECT_EQ(Get("Tovix2", "single", ini_), "x");
  EXPECT_EQ(Get("Tovix2", "mismatched", ini_), "\"x'");
  EXPECT_EQ(Get("Tovix2", "lonequote", ini_), "\"");
  EXPECT_EQ(Get("Tovix2", "empty", ini_), "") << "present but empty is not the default";
  EXPECT_EQ(Get("Tovix2", "bare key", ini_), "DEF");
  EXPECT_EQ(Get("Tovix2", "dup", ini_), "first");
  EXPECT_EQ(Get("Tovix2", "; commented", ini_), "DEF");
  EXPECT_EQ(Get("Tovix2", "commented", ini_), "DEF");
  EXPECT_EQ(Get("Tovix2", "only", ini_), "DEF") << "keys of another section";
  EXPECT_EQ(Get("Tovix2", "orphan", ini_), "DEF");
  EXPECT_EQ(Get("Tovix2", "late", ini_), "DEF") << "the first section of a name wins";
  EXPECT_EQ(Get("missing", "only", ini_), "DEF");
  EXPECT_EQ(Get("Tovix2", "x", dir_ / "absent.ini", "fallback  "), "fallback")
      << "trailing blanks of the default go";
}

TEST_F(ProfileFileTest, CutsToTheBufferWithoutSplittingCharacters) {
  WriteAll(ini_, "[s]\nascii=abcdef\ncjk=\xE4\xB8\xAD\xE6\x96\x87\n");
  std::string out = "junk";
  EXPECT_EQ(platform::GetProfileString("s", "ascii", "", out, 0, ini_), 0u);
  EXPECT_EQ(out, "");
  EXPECT_EQ(Get("s", "ascii", ini_, "", 1), "");
  EXPECT_EQ(Get("s", "ascii", ini_, "", 4), "abc");
  EXPECT_EQ(Get("s", "ascii", ini_, "", 7), "abcdef");
  EXPECT_EQ(Get("s", "cjk", ini_, "", 4), "\xE4\xB8\xAD");
  EXPECT_EQ(Get("s", "cjk", ini_, "", 6), "\xE4\xB8\xAD");
  EXPECT_EQ(Get("s", "cjk", ini_, "", 3), "");
  EXPECT_EQ(Get("s", "missing", ini_, "defaults are cut too", 9), "defaults");
}

TEST_F(ProfileFileTest, IntegersTakeTheLeadingNumber) {
  WriteAll(ini_,
           "[n]\na=42abc\nb= -7\nc=abc\nd=\ne=4294967297\nf=+15\ng=0x1A\n"
           "h=\"12\"\n");
  EXPECT_EQ(platform::GetProfileInt("n", "a", 5, ini_), 42);
  EXPECT_EQ(platform::GetProfileInt("n", "b", 5, ini_), -7);
  EXPECT_EQ(platform::GetProfileInt("n", "c", 5, ini_), 0) << "present but not a number";
  EXPECT_EQ(platform::GetProfileInt("n", "d", 5, ini_), 5) << "empty gives the default";
  EXPECT_EQ(platform::GetProfileInt("n", "e", 5, ini_), 1) << "wraps like a 32-bit number";
  EXPECT_EQ(platform::GetProfileInt("n", "f", 5, ini_), 15);
  EXPECT_EQ(platform::GetProfileInt("n", "g", 5, ini_), 0);
  EXPECT_EQ(platform::GetProfileInt("n", "h", 5, ini_), 12);
  EXPECT_EQ(platform::GetProfileInt("n", "zz", -3, ini_), -3);
  EXPECT_EQ(platform::GetProfileInt("n", "a", -3, dir_ / "absent.ini"), -3);
}

TEST_F(ProfileFileTest, WritesCreateWhatIsMissingAndKeepEverythingElse) {
  ASSERT_TRUE(platform::WriteProfileString("Tovix2", "RandomUserName", "Qx1", ini_));
  EXPECT_EQ(ReadAll(ini_), "[Tovix2]\nRandomUserName=Qx1\n");

  const std::string original =
      "; settings\n"
      "[Tovix2]\n"
      "  RandomUserName = old   ; trailing\n"
      "Keep=1\n"
      "\n"
      "; about the next section\n"
      "[main]\n"
      "version=3.0.603.1\n";
  WriteAll(ini_, original);
  ASSERT_TRUE(platform::WriteProfileString("TOVIX2", "randomusername", "New", ini_));
  ASSERT_TRUE(platform::WriteProfileString("tovix2", "Added", "yes", ini_));
  ASSERT_TRUE(platform::WriteProfileString("Extra", "k", "v", ini_));
  EXPECT_EQ(ReadAll(ini_),
            "; settings\n"
            "[Tovix2]\n"
            "RandomUserName=New\n"
            "Keep=1\n"
            "Added=yes\n"
            "\n"
            "; about the next section\n"
            "[main]\n"
            "version=3.0.603.1\n"
            "\n"
            "[Extra]\n"
            "k=v\n");
  EXPECT_EQ(Get("tovix2", "RANDOMUSERNAME", ini_), "New");
}

TEST_F(ProfileFileTest, WritesKeepLineEndingsAndByteOrderMark) {
  WriteAll(ini_, "\xEF\xBB\xBF[a]\r\nx=1\r\n");
  ASSERT_TRUE(platform::WriteProfileString("a", "y", "2", ini_));
  EXPECT_EQ(ReadAll(ini_), "\xEF\xBB\xBF[a]\r\nx=1\r\ny=2\r\n");
  EXPECT_EQ(Get("A", "X", ini_), "1");
}

TEST_F(ProfileFileTest, RefusesWritesThatWouldChangeTheFilesStructure) {
  WriteAll(ini_, "[a]\nx=1\n");
  EXPECT_FALSE(platform::WriteProfileString("a", "x", "1\n[b]\ny=2", ini_));
  EXPECT_FALSE(platform::WriteProfileString("a", "k=v", "1", ini_));
  EXPECT_FALSE(platform::WriteProfileString("a]", "k", "1", ini_));
  EXPECT_FALSE(platform::WriteProfileString("a", "", "1", ini_));
  EXPECT_FALSE(platform::WriteProfileString("", "k", "1", ini_));
  EXPECT_FALSE(platform::WriteProfileString("a", ";k", "1", ini_));
  EXPECT_FALSE(platform::WriteProfileString("a", "k", std::string("1\0[b]", 5), ini_));
  EXPECT_FALSE(platform::WriteProfileString("a", "k", "1", dir_ / "no/such/folder/x.ini"));
  EXPECT_EQ(ReadAll(ini_), "[a]\nx=1\n");
}

TEST_F(ProfileFileTest, ABareFileNameLivesInTheSharedSettingsFolder) {
  ScopedEnv config("XDG_CONFIG_HOME", (dir_ / "cfg").c_str());
  ASSERT_TRUE(platform::WriteProfileString("Tovix2", "RandomUserName", "Zed", "tovix2.ini"));
  EXPECT_EQ(ReadAll(dir_ / "cfg/quillmark/tovix2.ini"), "[Tovix2]\nRandomUserName=Zed\n");
  EXPECT_EQ(Get("Tovix2", "RandomUserName", "tovix2.ini"), "Zed");
}

TEST_F(ProfileFileTest, ConcurrentWritersShareTheLock) {
  constexpr int kEach = 150;
  auto writer = [this](int who) {
    return [this, who] {
      for (int i = 0; i < kEach; ++i) {
        const std::string key = "k" + std::to_string(who) + "_" + std::to_string(i);
        if (!platform::WriteProfileString("s", key, std::to_string(i), ini_)) return 1;
      }
      return 0;
    };
  };
  const pid_t a = korvane_test::Spawn(writer(1));
  const pid_t b = korvane_test::Spawn(writer(2));
  EXPECT_EQ(korvane_test::WaitExit(a), 0);
  EXPECT_EQ(korvane_test::WaitExit(b), 0);
  for (int who = 1; who <= 2; ++who) {
    for (int i = 0; i < kEach; ++i) {
      EXPECT_EQ(Get("s", "k" + std::to_string(who) + "_" + std::to_string(i), ini_),
                std::to_string(i));
    }
  }
}

}  // namespace

namespace {

// A FIFO named like the settings file (or its lock) would make an ordinary open wait for a
// writer for ever; it is refused at once, said on standard error, and never replaced.
TEST(ProfileFileFifo, AFifoSettingsFileOrLockIsRefusedAtOnce) {
  korvane_test::ScratchDir dir;
  const std::string ini = dir / "tovix2.ini";
  ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0);
  const pid_t child = korvane_test::Spawn([&ini] {
    ::alarm(5);
    std::string out;
    platform::GetProfileString("Tovix2", "RandomUserName", "none", out, 64, ini);
    if (out != "none") return 1;
    if (platform::GetProfileInt("Tovix2", "n", 7, ini) != 7) return 2;
    return platform::WriteProfileString("Tovix2", "k", "v", ini) ? 3 : 0;
  });
  EXPECT_EQ(korvane_test::WaitExit(child), 0) << "128+14: a read or write waited on the FIFO";
  struct stat st {};
  ASSERT_EQ(::lstat(ini.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  ::testing::internal::CaptureStderr();
  std::string out;
  platform::GetProfileString("Tovix2", "x", "", out, 64, ini);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("not a regular file"), std::string::npos);

  const std::string other = dir / "other.ini";
  ASSERT_EQ(::mkfifo((other + ".lock").c_str(), 0600), 0);
  const pid_t writer = korvane_test::Spawn([&other] {
    ::alarm(5);
    return platform::WriteProfileString("Tovix2", "k", "v", other) ? 1 : 0;
  });
  EXPECT_EQ(korvane_test::WaitExit(writer), 0);
}

}  // namespace
