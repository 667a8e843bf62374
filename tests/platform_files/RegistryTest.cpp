#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "TestSupport.h"
#include "platform/Registry.h"
#include "platform/Sysroot.h"

namespace {

using korvane_test::ReadAll;
using korvane_test::ScopedEnv;
using korvane_test::ScratchDir;
using korvane_test::WriteAll;
using platform::RegAccess;
using platform::RegistryKey;
using platform::RegRoot;
using platform::RegType;
using platform::RegValue;
namespace fs = std::filesystem;

constexpr const char* kKey = "Software\\Quillmark\\Tovix2";

// Each test gets its own store file and its own machine root.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetSysrootPrefixForTesting(dir_ / "machine"); }
  void TearDown() override { platform::SetSysrootPrefixForTesting(""); }

  // Points the store at a copy of the current file, so the next read parses it from scratch.
  void ReloadFromCopy() {
    const std::string copy = dir_ / ("copy" + std::to_string(++copies_));
    fs::create_directories(copy + "/quillmark");
    fs::copy_file(platform::RegistryFilePath(), copy + "/quillmark/registry.reg");
    ::setenv("XDG_CONFIG_HOME", copy.c_str(), 1);
  }

  std::vector<std::string> CorruptFiles() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir_ / "config/quillmark")) {
      if (e.path().filename().string().find("registry.reg.corrupt-") == 0) {
        out.push_back(e.path().string());
      }
    }
    return out;
  }

  ScratchDir dir_{"/dev/shm"};
  ScopedEnv config_{"XDG_CONFIG_HOME", (dir_ / "config").c_str()};
  int copies_ = 0;
};

TEST_F(RegistryTest, StoresAnyBytesAndBothTypesAcrossARereadOfTheFile) {
  std::string every;
  for (int c = 0; c < 256; ++c) every.push_back(static_cast<char>(c));
  const std::string tricky = "say \"hi\"\\\n\r\tend \xE4\xB8\xAD\xE6\x96\x87 \xC3 \xED\xA0\x80";
  {
    RegistryKey key;
    ASSERT_EQ(key.Create(RegRoot::CurrentUser, "Software\\Odd]Name[%20\x01\\Leaf"),
              platform::kRegOk);
    ASSERT_EQ(key.SetString("every", every), platform::kRegOk);
    ASSERT_EQ(key.SetString("na\"me=\n", tricky), platform::kRegOk);
    ASSERT_EQ(key.SetString("", "default value"), platform::kRegOk);
    ASSERT_EQ(key.SetString("empty", ""), platform::kRegOk);
    ASSERT_EQ(key.SetDword("max", 0xFFFFFFFFu), platform::kRegOk);
    ASSERT_EQ(key.SetDword("zero", 0), platform::kRegOk);
  }
  // One line per entry: nothing in a value may break the line structure.
  const std::string text = ReadAll(platform::RegistryFilePath());
  EXPECT_EQ(text.rfind("KORVANE-REGISTRY 1\n", 0), 0u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 13) << text;

  ReloadFromCopy();
  RegistryKey key;
  ASSERT_EQ(key.Open(RegRoot::CurrentUser, "Software\\Odd]Name[%20\x01\\Leaf", RegAccess::Read),
            platform::kRegOk);
  std::string s;
  std::uint32_t d = 1;
  ASSERT_EQ(key.QueryString("every", s), platform::kRegOk);
  EXPECT_EQ(s, every);
  ASSERT_EQ(key.QueryString("na\"me=\n", s), platform::kRegOk);
  EXPECT_EQ(s, tricky);
  ASSERT_EQ(key.QueryString("", s), platform::kRegOk);
  EXPECT_EQ(s, "default value");
  ASSERT_EQ(key.QueryString("empty", s), platform::kRegOk);
  EXPECT_EQ(s, "");
  ASSERT_EQ(key.QueryDword("max", d), platform::kRegOk);
  EXPECT_EQ(d, 0xFFFFFFFFu);
  ASSERT_EQ(key.QueryDword("zero", d), platform::kRegOk);
  EXPECT_EQ(d, 0u);

  std::vector<RegValue> values;
  ASSERT_EQ(key.EnumValues(values), platform::kRegOk);
  ASSERT_EQ(values.size(), 6u);
  EXPECT_EQ(values[0].name, "every") << "values keep the order they were first set";
  EXPECT_EQ(values[4].type, RegType::Dword);
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndKeepTheirFirstSpelling) {
  RegistryKey key;
  ASSERT_EQ(key.Create(RegRoot::CurrentUser, kKey), platform::kRegOk);
  ASSERT_EQ(key.SetString("ExeName", "/old"), platform::kRegOk);
  ASSERT_EQ(key.SetString("EXENAME", "/new"), platform::kRegOk);

  RegistryKey other;
  ASSERT_EQ(other.Open(RegRoot::CurrentUser, "SOFTWARE\\quillmark\\TOVIX2\\", RegAccess::Write),
            platform::kRegOk);
  std::string s;
  ASSERT_EQ(other.QueryString("exename", s), platform::kRegOk);
  EXPECT_EQ(s, "/new");
  std::vector<RegValue> values;
  ASSERT_EQ(other.EnumValues(values), platform::kRegOk);
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, "ExeName");

  ASSERT_EQ(other.DeleteValue("EXEname"), platform::kRegOk);
  EXPECT_EQ(key.QueryString("ExeName", s), platform::kRegNotFound);
  EXPECT_EQ(other.DeleteValue("ExeName"), platform::kRegNotFound);

  RegistryKey parent;
  ASSERT_EQ(parent.Create(RegRoot::CurrentUser, "software\\QUILLMARK\\qmupdate"), platform::kRegOk);
  ASSERT_EQ(parent.Create(RegRoot::CurrentUser, "Software\\Quillmark\\Alpha"), platform::kRegOk);
  ASSERT_EQ(parent.Open(RegRoot::CurrentUser, "Software\\Quillmark", RegAccess::Read),
            platform::kRegOk);
  std::vector<std::string> names;
  ASSERT_EQ(parent.EnumSubkeys(names), platform::kRegOk);
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "qmupdate", "Tovix2"}));
}

TEST_F(RegistryTest, RefusesWhatTheCallerMayNotDo) {
  RegistryKey key;
  EXPECT_EQ(key.Open(RegRoot::CurrentUser, kKey, RegAccess::Read), platform::kRegNotFound);
  EXPECT_FALSE(key.IsOpen());
  std::string s;
  EXPECT_EQ(key.QueryString("x", s), platform::kRegInvalidHandle);
  EXPECT_EQ(key.SetString("x", "y"), platform::kRegInvalidHandle);

  ASSERT_EQ(key.Create(RegRoot::CurrentUser, kKey), platform::kRegOk);
  ASSERT_EQ(key.SetDword("n", 7), platform::kRegOk);
  ASSERT_EQ(key.SetString("t", "7"), platform::kRegOk);
  std::uint32_t d = 0;
  EXPECT_EQ(key.QueryString("n", s), platform::kRegUnsupportedType);
  EXPECT_EQ(key.QueryDword("t", d), platform::kRegUnsupportedType);
  EXPECT_EQ(key.QueryString("missing", s), platform::kRegNotFound);

  EXPECT_EQ(key.SetString("big", std::string(platform::kRegMaxValueBytes + 1, 'x')),
            platform::kRegInvalidParameter);
  EXPECT_EQ(key.SetString(std::string(platform::kRegMaxValueNameBytes + 1, 'n'), "v"),
            platform::kRegInvalidParameter);
  RegistryKey deep;
  EXPECT_EQ(deep.Create(RegRoot::CurrentUser, "Software\\" + std::string(256, 'k')),
            platform::kRegInvalidParameter);

  RegistryKey reader;
  ASSERT_EQ(reader.Open(RegRoot::CurrentUser, kKey, RegAccess::Read), platform::kRegOk);
  EXPECT_EQ(reader.SetString("t", "8"), platform::kRegAccessDenied);
  EXPECT_EQ(reader.DeleteValue("t"), platform::kRegAccessDenied);
  ASSERT_EQ(reader.QueryString("t", s), platform::kRegOk);
  EXPECT_EQ(s, "7");
}

TEST_F(RegistryTest, MachineRootsAreReadOnlyViewsOfTheSystemFile) {
  RegistryKey key;
  EXPECT_EQ(key.Open(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\DirectX", RegAccess::Read),
            platform::kRegNotFound)
      << "no system file: an empty machine registry";
  EXPECT_EQ(key.Create(RegRoot::LocalMachine, "SOFTWARE\\Test"), platform::kRegAccessDenied);

  fs::create_directories(dir_ / "machine/etc/quillmark");
  WriteAll(dir_ / "machine/etc/quillmark/registry.reg",
           "KORVANE-REGISTRY 1\r\n; shipped by the package\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n"
           "\"ProgramFilesDir\"=\"/opt\"\r\n"
           "  [HKEY_CLASSES_ROOT\\.htm]\r\n\t@=\"htmlfile\"\r\n");
  ASSERT_EQ(key.Open(RegRoot::LocalMachine, "software\\microsoft\\windows\\currentversion",
                     RegAccess::Read),
            platform::kRegOk);
  std::string s;
  ASSERT_EQ(key.QueryString("ProgramFilesDir", s), platform::kRegOk);
  EXPECT_EQ(s, "/opt");
  EXPECT_EQ(key.SetString("ProgramFilesDir", "/usr"), platform::kRegAccessDenied);
  EXPECT_EQ(key.Open(RegRoot::LocalMachine, "SOFTWARE", RegAccess::Write),
            platform::kRegAccessDenied);
  ASSERT_EQ(key.Open(RegRoot::ClassesRoot, ".HTM", RegAccess::Read), platform::kRegOk);
  ASSERT_EQ(key.QueryString("", s), platform::kRegOk);
  EXPECT_EQ(s, "htmlfile");
  EXPECT_EQ(key.Open(RegRoot::CurrentUser, ".htm", RegAccess::Read), platform::kRegNotFound)
      << "the roots do not leak into each other";

  // A damaged system file reads as what is intact in it, and is never moved or rewritten by a
  // user's write.
  const std::string damaged =
      "KORVANE-REGISTRY 1\n[HKEY_LOCAL_MACHINE\\X]\nnonsense\n\"v\"=\"kept\"\n";
  WriteAll(dir_ / "machine/etc/quillmark/registry.reg", damaged);
  ASSERT_EQ(key.Open(RegRoot::LocalMachine, "X", RegAccess::Read), platform::kRegOk);
  ASSERT_EQ(key.QueryString("v", s), platform::kRegOk);
  EXPECT_EQ(s, "kept");
  ASSERT_EQ(key.Create(RegRoot::CurrentUser, kKey), platform::kRegOk);
  ASSERT_EQ(key.SetString("v", "w"), platform::kRegOk);
  EXPECT_EQ(ReadAll(dir_ / "machine/etc/quillmark/registry.reg"), damaged);
}

TEST_F(RegistryTest, ReadsSeeWritesMadeByOtherProcesses) {
  RegistryKey key;
  ASSERT_EQ(key.Create(RegRoot::CurrentUser, kKey), platform::kRegOk);
  ASSERT_EQ(key.SetString("CpuScoreEnc", "first"), platform::kRegOk);
  std::string s;
  ASSERT_EQ(key.QueryString("CpuScoreEnc", s), platform::kRegOk);

  const pid_t child = korvane_test::Spawn([] {
    RegistryKey k;
    if (k.Open(RegRoot::CurrentUser, kKey, RegAccess::Write) != platform::kRegOk) return 1;
    return k.SetString("CpuScoreEnc", "second") == platform::kRegOk ? 0 : 2;
  });
  ASSERT_EQ(korvane_test::WaitExit(child), 0);
  ASSERT_EQ(key.QueryString("CpuScoreEnc", s), platform::kRegOk);
  EXPECT_EQ(s, "second");

  // A hand edit of the same length still shows (the file was replaced, not patched).
  std::string text = ReadAll(platform::RegistryFilePath());
  text.replace(text.find("second"), 6, "third!");
  WriteAll(platform::RegistryFilePath() + ".new", text);
  fs::rename(platform::RegistryFilePath() + ".new", platform::RegistryFilePath());
  ASSERT_EQ(key.QueryString("CpuScoreEnc", s), platform::kRegOk);
  EXPECT_EQ(s, "third!");

  // Rewritten in place, same length, within the same file-time tick: same inode, size and
  // (coarse) times, and still it must show.
  text.replace(text.find("third!"), 6, "fourth");
  WriteAll(platform::RegistryFilePath(), text);
  ASSERT_EQ(key.QueryString("CpuScoreEnc", s), platform::kRegOk);
  EXPECT_EQ(s, "fourth");
  text.replace(text.find("fourth"), 6, "fifth!");
  WriteAll(platform::RegistryFilePath(), text);
  ASSERT_EQ(key.QueryString("CpuScoreEnc", s), platform::kRegOk);
  EXPECT_EQ(s, "fifth!");
}

TEST_F(RegistryTest, AFileThatIsNotAStoreReadsAsEmptyAndIsKeptAsideOnTheNextWrite) {
  std::mt19937 random(20261208);
  std::string garbage(4096, '\0');
  for (char& c : garbage) c = static_cast<char>(random() & 0xFF);
  fs::create_directories(dir_ / "config/quillmark");
  WriteAll(platform::RegistryFilePath(), garbage);

  RegistryKey key;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(key.Open(RegRoot::CurrentUser, kKey, RegAccess::Read), platform::kRegNotFound);
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find(platform::RegistryFilePath()), std::string::npos) << said;
  EXPECT_NE(platform::RegistryDamageNote().find("missing header"), std::string::npos)
      << platform::RegistryDamageNote();
  EXPECT_EQ(ReadAll(platform::RegistryFilePath()), garbage) << "reading never changes the file";
  EXPECT_TRUE(CorruptFiles().empty());

  ASSERT_EQ(key.Create(RegRoot::CurrentUser, kKey), platform::kRegOk);
  EXPECT_NE(platform::RegistryLastError().find(".corrupt-"), std::string::npos);
  ASSERT_EQ(key.SetString("ExeName", "/opt/korvane/korvane"), platform::kRegOk);
  const auto aside = CorruptFiles();
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(ReadAll(aside[0]), garbage) << "the damaged bytes are kept for inspection";

  RegistryKey again;
  ASSERT_EQ(again.Open(RegRoot::CurrentUser, kKey, RegAccess::Read), platform::kRegOk);
  std::string s;
  ASSERT_EQ(again.QueryString("ExeName", s), platform::kRegOk);
  EXPECT_EQ(s, "/opt/korvane/korvane");
  EXPECT_TRUE(platform::RegistryDamageNote().empty());
}

// A store cut short (a crash, a full disk) or with one bad line loses only the bad lines: the
// scores and everything else intact stay readable, and stay after the next write.
TEST_F(RegistryTest, DamagedLinesAreSkippedSaidAndEveryIntactValueSurvivesAWrite) {
  fs::create_directories(dir_ / "config/quillmark");
  const std::string damaged =
      "KORVANE-REGISTRY 1\n"
      "[HKEY_CURRENT_USER\\Software\\Quillmark\\Tovix2]\n"
      "\"AllScoreEnc\"=\"0011AABB\"\n"
      "\"CpuScoreEnc\"=\"open\n"  // line 4: unterminated
      "\"MemScoreEnc\"=\"CCDD\"\n"
      "\"Junk\"=hex:01,02\n"              // line 6: unknown type
      "[HKEY_CURRENT_USER\\Bad%4]\n"      // line 7: cut escape
      "\"Lost\"=\"under the bad key\"\n"  // line 8
      "[HKEY_CURRENT_USER\\Software\\Other]\n"
      "\"Count\"=dword:0000002a\n"
      "\"Cut\"=\"half a val";  // line 11: cut mid-line at the end
  WriteAll(platform::RegistryFilePath(), damaged);

  auto expectIntact = [&](const char* when) {
    RegistryKey key;
    ASSERT_EQ(key.Open(RegRoot::CurrentUser, kKey, RegAccess::Read), platform::kRegOk) << when;
    std::string s;
    ASSERT_EQ(key.QueryString("AllScoreEnc", s), platform::kRegOk) << when;
    EXPECT_EQ(s, "0011AABB");
    ASSERT_EQ(key.QueryString("MemScoreEnc", s), platform::kRegOk) << when;
    EXPECT_EQ(s, "CCDD");
    EXPECT_EQ(key.QueryString("CpuScoreEnc", s), platform::kRegNotFound) << when;
    EXPECT_EQ(key.QueryString("Junk", s), platform::kRegNotFound) << when;
    RegistryKey other;
    ASSERT_EQ(other.Open(RegRoot::CurrentUser, "Software\\Other", RegAccess::Read),
              platform::kRegOk);
    std::uint32_t n = 0;
    ASSERT_EQ(other.QueryDword("Count", n), platform::kRegOk) << when;
    EXPECT_EQ(n, 42u);
    EXPECT_EQ(other.QueryString("Cut", s), platform::kRegNotFound) << when;
    std::vector<std::string> roots;
    RegistryKey top;
    ASSERT_EQ(top.Open(RegRoot::CurrentUser, "", RegAccess::Read), platform::kRegOk);
    ASSERT_EQ(top.EnumSubkeys(roots), platform::kRegOk);
    EXPECT_EQ(roots, std::vector<std::string>{"Software"})
        << "the value under the bad key goes too";
  };

  ::testing::internal::CaptureStderr();
  expectIntact("as read");
  const std::string said = ::testing::internal::GetCapturedStderr();
  for (const char* line : {"line 4", "line 6", "line 7", "line 8", "line 11"}) {
    EXPECT_NE(said.find(line), std::string::npos) << line << " in: " << said;
  }
  EXPECT_EQ(said.find("line 5"), std::string::npos) << said;
  // Said once per damaged file, not on every read.
  ::testing::internal::CaptureStderr();
  expectIntact("read again");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(ReadAll(platform::RegistryFilePath()), damaged) << "reading never changes the file";

  {
    RegistryKey key;
    ASSERT_EQ(key.Open(RegRoot::CurrentUser, kKey, RegAccess::Write), platform::kRegOk);
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(key.SetString("ExeName", "/opt/korvane/korvane"), platform::kRegOk);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find(".corrupt-"), std::string::npos);
  }
  const auto aside = CorruptFiles();
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(ReadAll(aside[0]), damaged);
  ReloadFromCopy();  // parse the written file from scratch
  expectIntact("after a write");
  EXPECT_TRUE(platform::RegistryDamageNote().empty()) << platform::RegistryDamageNote();
  RegistryKey key;
  ASSERT_EQ(key.Open(RegRoot::CurrentUser, kKey, RegAccess::Read), platform::kRegOk);
  std::string s;
  ASSERT_EQ(key.QueryString("ExeName", s), platform::kRegOk);
}

TEST_F(RegistryTest, EachKindOfBadLineIsSkippedAlone) {
  fs::create_directories(dir_ / "config/quillmark");
  const std::vector<std::string> bad = {
      "\"v\"=\"outside\"\n",                // value before any key
      "\"v\"=hex:01,02\n",                  // unknown type
      "\"v\"=\"open\n",                     // unterminated
      "\"v\"=\"\\q\"\n",                    // bad escape
      "\"v\"=dword:123456789\n",            // 9 digits
      "\"v\"=dword:12g4\n",                 // not hex
      "[HKEY_CURRENT_USER\\\\A]\n",         // empty name
      "[HKEY_CURRENT_USER\\%4]\n",          // cut escape
      "[HKEY_CURRENT_USER\\B\n",            // unterminated key
      "what is this\n",                     // unrecognised
      std::string("\"v\"=\"n\0l\"\n", 10),  // NUL byte
  };
  for (const std::string& line : bad) {
    const std::string before =
        line.rfind("\"v\"=\"outside", 0) == 0 ? "; no key yet\n" : "[HKEY_CURRENT_USER\\A]\n";
    WriteAll(platform::RegistryFilePath(),
             "KORVANE-REGISTRY 1\n" + before + line + "[HKEY_CURRENT_USER\\A]\n\"ok\"=\"yes\"\n");
    testing::internal::CaptureStderr();
    RegistryKey key;
    ASSERT_EQ(key.Open(RegRoot::CurrentUser, "A", RegAccess::Read), platform::kRegOk) << line;
    testing::internal::GetCapturedStderr();
    std::string s;
    EXPECT_EQ(key.QueryString("ok", s), platform::kRegOk) << line;
    EXPECT_EQ(key.QueryString("v", s), platform::kRegNotFound) << line;
    EXPECT_NE(platform::RegistryDamageNote().find("line 3"), std::string::npos)
        << line << ": " << platform::RegistryDamageNote();
  }
  WriteAll(platform::RegistryFilePath(), "");
  RegistryKey key;
  EXPECT_EQ(key.Open(RegRoot::CurrentUser, "A", RegAccess::Read), platform::kRegNotFound)
      << "an empty file is an empty store";
  EXPECT_TRUE(platform::RegistryDamageNote().empty());
}

TEST_F(RegistryTest, AFifoInPlaceOfTheStoreOrItsLockIsRefusedAtOnce) {
  fs::create_directories(dir_ / "config/quillmark");
  ASSERT_EQ(::mkfifo(platform::RegistryFilePath().c_str(), 0600), 0);
  const pid_t child = korvane_test::Spawn([] {
    ::alarm(5);
    ::close(2);  // the explanation goes to standard error; the exit status is what counts
    RegistryKey key;
    if (key.Open(RegRoot::CurrentUser, kKey, RegAccess::Read) != platform::kRegAccessDenied)
      return 1;
    if (key.Create(RegRoot::CurrentUser, kKey) != platform::kRegAccessDenied) return 2;
    return 0;
  });
  EXPECT_EQ(korvane_test::WaitExit(child), 0) << "128+14: a read or write waited on the FIFO";
  struct stat st {};
  ASSERT_EQ(::lstat(platform::RegistryFilePath().c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO is left alone, never replaced";

  fs::remove(platform::RegistryFilePath());
  fs::remove(platform::RegistryFilePath() + ".lock");
  ASSERT_EQ(::mkfifo((platform::RegistryFilePath() + ".lock").c_str(), 0600), 0);
  const pid_t writer = korvane_test::Spawn([] {
    ::alarm(5);
    ::close(2);
    RegistryKey key;
    return key.Create(RegRoot::CurrentUser, kKey) == platform::kRegAccessDenied ? 0 : 1;
  });
  EXPECT_EQ(korvane_test::WaitExit(writer), 0);
}

TEST_F(RegistryTest, MangledFilesGiveAnAnswerNeverACrash) {
  {
    RegistryKey key;
    ASSERT_EQ(key.Create(RegRoot::CurrentUser, "A\\B\\C"), platform::kRegOk);
    ASSERT_EQ(key.SetString("s", "x\"y\\z\n\xff\xE4\xB8\xAD"), platform::kRegOk);
    ASSERT_EQ(key.SetDword("d", 42), platform::kRegOk);
    ASSERT_EQ(key.Create(RegRoot::CurrentUser, "A\\%odd]"), platform::kRegOk);
    ASSERT_EQ(key.SetString("", "default"), platform::kRegOk);
  }
  const std::string good = ReadAll(platform::RegistryFilePath());
  std::mt19937 random(99);
  int ok = 0, damaged = 0;
  for (int round = 0; round < 400; ++round) {
    std::string text = good;
    switch (round % 3) {
      case 0:
        text.resize(random() % text.size());
        break;  // cut short
      case 1:
        text[random() % text.size()] = static_cast<char>(random() & 0xFF);
        break;
      default:
        text.insert(random() % text.size(), 1, "\\\"[]%=@\n\r\0"[random() % 10]);
    }
    WriteAll(platform::RegistryFilePath(), text);
    RegistryKey key;
    const auto r = key.Open(RegRoot::CurrentUser, "A\\B\\C", RegAccess::Read);
    ASSERT_TRUE(r == platform::kRegOk || r == platform::kRegNotFound) << r;
    if (!platform::RegistryDamageNote().empty()) ++damaged;
    if (r == platform::kRegOk) {
      ++ok;
      std::vector<RegValue> values;
      EXPECT_EQ(key.EnumValues(values), platform::kRegOk);
    }
  }
  // Both outcomes must occur, or the mangling is not reaching the parser.
  EXPECT_GT(ok, 0);
  EXPECT_GT(damaged, 0);
}

// A holder that keeps the lock far longer than a write costs a bounded wait and a failed write,
// not a hang; once it lets go, the given-up wait must not keep the lock for itself.
TEST_F(RegistryTest, ALockHeldTooLongFailsTheWriteAndIsFreeAfterwards) {
  RegistryKey key;
  ASSERT_EQ(key.Create(RegRoot::CurrentUser, kKey), platform::kRegOk);
  const std::string lockPath = platform::RegistryFilePath() + ".lock";
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = korvane_test::Spawn([&] {
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0) return 1;
    (void)!::write(ready[1], "x", 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(10800));
    return 0;  // exiting lets the lock go
  });
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ::close(ready[0]);
  ::close(ready[1]);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_NE(key.SetDword("held", 1), platform::kRegOk);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::seconds(9));
  EXPECT_LT(waited, std::chrono::seconds(20));
  EXPECT_EQ(korvane_test::WaitExit(holder), 0);

  const auto again = std::chrono::steady_clock::now();
  EXPECT_EQ(key.SetDword("free", 2), platform::kRegOk);
  EXPECT_LT(std::chrono::steady_clock::now() - again, std::chrono::seconds(5));
  std::uint32_t d = 0;
  EXPECT_EQ(key.QueryDword("free", d), platform::kRegOk);
  EXPECT_EQ(d, 2u);
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kPerProcess = 1000;
  auto writer = [](int who) {
    return [who] {
      RegistryKey key;
      if (key.Create(RegRoot::CurrentUser, kKey) != platform::kRegOk) return 1;
      for (int i = 0; i < kPerProcess; ++i) {
        const std::string name = "p" + std::to_string(who) + "_" + std::to_string(i);
        if (key.SetDword(name, static_cast<std::uint32_t>(who * 100000 + i)) != platform::kRegOk) {
          return 2;
        }
      }
      return 0;
    };
  };
  const pid_t a = korvane_test::Spawn(writer(1));
  const pid_t b = korvane_test::Spawn(writer(2));
  EXPECT_EQ(korvane_test::WaitExit(a), 0);
  EXPECT_EQ(korvane_test::WaitExit(b), 0);

  RegistryKey key;
  ASSERT_EQ(key.Open(RegRoot::CurrentUser, kKey, RegAccess::Read), platform::kRegOk);
  std::vector<RegValue> values;
  ASSERT_EQ(key.EnumValues(values), platform::kRegOk);
  EXPECT_EQ(values.size(), 2u * kPerProcess);
  for (int who = 1; who <= 2; ++who) {
    for (int i = 0; i < kPerProcess; ++i) {
      std::uint32_t d = 0;
      ASSERT_EQ(key.QueryDword("p" + std::to_string(who) + "_" + std::to_string(i), d),
                platform::kRegOk);
      EXPECT_EQ(d, static_cast<std::uint32_t>(who * 100000 + i));
    }
  }
}

TEST_F(RegistryTest, AWriterKilledMidWriteLeavesTheLastCompleteStore) {
  // Each write adds the next number, so any complete store holds exactly 0..n-1.
  auto count = [](int& n) {
    RegistryKey key;
    const auto r = key.Open(RegRoot::CurrentUser, kKey, RegAccess::Read);
    if (r != platform::kRegOk) return r;
    std::vector<RegValue> values;
    if (const auto e = key.EnumValues(values); e != platform::kRegOk) return e;
    n = static_cast<int>(values.size());
    for (int i = 0; i < n; ++i) {
      if (values[i].name != "v" + std::to_string(i) ||
          values[i].dword != static_cast<std::uint32_t>(i)) {
        return platform::kRegInvalidData;
      }
    }
    return platform::kRegOk;
  };
  {
    RegistryKey key;
    ASSERT_EQ(key.Create(RegRoot::CurrentUser, kKey), platform::kRegOk);
  }
  std::mt19937 random(7);
  int previous = 0;
  for (int round = 0; round < 12; ++round) {
    const int start = previous;
    const pid_t child = korvane_test::Spawn([start] {
      RegistryKey key;
      if (key.Open(RegRoot::CurrentUser, kKey, RegAccess::Write) != platform::kRegOk) return 1;
      for (int i = start;; ++i) {
        if (key.SetDword("v" + std::to_string(i), static_cast<std::uint32_t>(i)) !=
            platform::kRegOk) {
          return 2;
        }
      }
    });
    std::this_thread::sleep_for(std::chrono::microseconds(2000 + random() % 30000));
    ::kill(child, SIGKILL);
    ASSERT_EQ(korvane_test::WaitExit(child), 128 + SIGKILL);
    int n = -1;
    ASSERT_EQ(count(n), platform::kRegOk) << "round " << round;
    EXPECT_EQ(platform::RegistryDamageNote(), "") << "a killed writer never leaves damage";
    EXPECT_GE(n, previous) << "a completed write was lost";
    previous = n;
  }
  EXPECT_GT(previous, 0) << "the writers never got a write done";

  // The next writer clears the temporary files the killed ones left behind.
  RegistryKey key;
  ASSERT_EQ(key.Open(RegRoot::CurrentUser, kKey, RegAccess::Write), platform::kRegOk);
  ASSERT_EQ(key.SetDword("after", 1), platform::kRegOk);
  for (const auto& e : fs::directory_iterator(dir_ / "config/quillmark")) {
    EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << e.path();
  }
}

TEST_F(RegistryTest, ThreadsOfOneProcessWritingAtOnceLoseNothing) {
  constexpr int kPerThread = 200;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      RegistryKey key;
      if (key.Create(RegRoot::CurrentUser, kKey) != platform::kRegOk) ++failures;
      for (int i = 0; i < kPerThread; ++i) {
        if (key.SetString("t" + std::to_string(t) + "_" + std::to_string(i), "x") !=
            platform::kRegOk) {
          ++failures;
        }
        std::string s;
        if (key.QueryString("t" + std::to_string(t) + "_" + std::to_string(i), s) !=
            platform::kRegOk) {
          ++failures;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  RegistryKey key;
  ASSERT_EQ(key.Open(RegRoot::CurrentUser, kKey, RegAccess::Read), platform::kRegOk);
  std::vector<RegValue> values;
  ASSERT_EQ(key.EnumValues(values), platform::kRegOk);
  EXPECT_EQ(values.size(), 4u * kPerThread);
}

TEST_F(RegistryTest, AStoreThatIsASymbolicLinkStaysOne) {
  fs::create_directories(dir_ / "dotfiles");
  fs::create_directories(dir_ / "config/quillmark");
  WriteAll(dir_ / "dotfiles/registry.reg", "KORVANE-REGISTRY 1\n");
  fs::create_symlink(dir_ / "dotfiles/registry.reg", platform::RegistryFilePath());
  RegistryKey key;
  ASSERT_EQ(key.Create(RegRoot::CurrentUser, kKey), platform::kRegOk);
  ASSERT_EQ(key.SetString("ExeName", "/x"), platform::kRegOk);
  EXPECT_TRUE(fs::is_symlink(platform::RegistryFilePath()));
  EXPECT_NE(ReadAll(dir_ / "dotfiles/registry.reg").find("\"ExeName\"=\"/x\""), std::string::npos);
}

}  // namespace
