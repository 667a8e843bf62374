#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using AddLogFn = int (*)(int, const void*);

struct Record {
  unsigned char bytes[240] = {};
  void Int(std::size_t at, std::int32_t v) {
    auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) bytes[at + i] = (u >> (8 * i)) & 0xFF;
  }
  void Units(std::size_t at, const std::u16string& s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
      bytes[at + 2 * i] = s[i] & 0xFF;
      bytes[at + 2 * i + 1] = s[i] >> 8;
    }
  }
};

Record Make(std::u16string version, std::u16string event, std::int32_t value) {
  Record r;
  r.Int(0, 240);
  r.Int(4, 1);
  r.Int(8, 6);
  r.Units(12, version);
  r.Units(44, event);
  r.Int(76, value);
  return r;
}

class AddLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(QMLOG_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    addLog_ = reinterpret_cast<AddLogFn>(dlsym(handle_, "AddLog"));
    ASSERT_NE(addLog_, nullptr);
    dir_ = fs::temp_directory_path() / ("korvane_qmlog_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    setenv("XDG_STATE_HOME", (dir_ / "state").c_str(), 1);
  }
  void TearDown() override {
    if (handle_) dlclose(handle_);
    fs::remove_all(dir_);
  }
  fs::path LogPath() const { return dir_ / "state" / "korvane" / "usage.log"; }
  std::vector<nlohmann::json> Lines() const {
    std::vector<nlohmann::json> out;
    std::ifstream in(LogPath());
    for (std::string line; std::getline(in, line);) out.push_back(nlohmann::json::parse(line));
    return out;
  }

  void* handle_ = nullptr;
  AddLogFn addLog_ = nullptr;
  fs::path dir_;
};

TEST_F(AddLogTest, AppendsOneJsonLinePerRecordWithDecodedTexts) {
  EXPECT_EQ(addLog_(4, Make(u"3.0.603", u"", 0).bytes), 1);
  EXPECT_EQ(addLog_(6, Make(u"3.0.603", u"6.Tab.测试😀", -3).bytes), 1);
  auto lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["kind"], 4);
  EXPECT_EQ(lines[0]["product"], 6);
  EXPECT_EQ(lines[0]["version"], "3.0.603");
  EXPECT_EQ(lines[0]["event"], "");
  EXPECT_EQ(lines[1]["event"], "6.Tab.测试😀");
  EXPECT_EQ(lines[1]["value"], -3);
  const std::string time = lines[0]["time"];
  EXPECT_EQ(time.size(), 24u);  // 2026-12-08T01:02:03.456Z
  EXPECT_EQ(time.back(), 'Z');
  EXPECT_EQ((fs::status(LogPath()).permissions() & fs::perms::others_read), fs::perms::none);
}

TEST_F(AddLogTest, DamagedTextsDecodeSafely) {
  // Version field without a terminator: read to the field's end, not into the event text.
  Record r = Make(u"ABCDEFGHIJKLMNOP", u"XYZ", 0);
  // Event text with a lone surrogate and characters JSON must escape.
  r.Units(44, std::u16string(u"a") + char16_t(0xD800) + u"\"\\\n\x01" + u'\0');
  EXPECT_EQ(addLog_(6, r.bytes), 1);
  // Unpaired low surrogate at the very end of an unterminated field.
  Record end = Make(u"", u"", 0);
  std::u16string full(15, u'x');
  full += char16_t(0xDC00);
  end.Units(44, full);
  EXPECT_EQ(addLog_(6, end.bytes), 1);
  EXPECT_EQ(addLog_(6, nullptr), 0);

  auto lines = Lines();  // every line must still parse as JSON
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["version"], "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(lines[0]["event"], "a\xEF\xBF\xBD\"\\\n\x01");
  EXPECT_EQ(lines[1]["event"], std::string(15, 'x') + "\xEF\xBF\xBD");
}

TEST_F(AddLogTest, UnusableLogLocationsFailWithoutBlockingOrCrashing) {
  // The state folder is a regular file.
  { std::ofstream(dir_ / "file") << "x"; }
  setenv("XDG_STATE_HOME", (dir_ / "file").c_str(), 1);
  EXPECT_EQ(addLog_(4, Make(u"3.0.603", u"", 0).bytes), 0);

  // A FIFO nobody reads in place of the log must not hang the caller.
  setenv("XDG_STATE_HOME", (dir_ / "state").c_str(), 1);
  fs::create_directories(LogPath().parent_path());
  ASSERT_EQ(mkfifo(LogPath().c_str(), 0600), 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(addLog_(4, Make(u"3.0.603", u"", 0).bytes), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  fs::remove(LogPath());

  // A symbolic link planted at the log's name is not followed.
  fs::create_symlink(dir_ / "elsewhere", LogPath());
  EXPECT_EQ(addLog_(4, Make(u"3.0.603", u"", 0).bytes), 0);
  EXPECT_FALSE(fs::exists(dir_ / "elsewhere"));
  fs::remove(LogPath());

  // A relative XDG_STATE_HOME is invalid and falls back to the home folder.
  setenv("XDG_STATE_HOME", "relative/state", 1);
  setenv("HOME", (dir_ / "home").c_str(), 1);
  EXPECT_EQ(addLog_(5, Make(u"3.0.603.1", u"", 0).bytes), 1);
  EXPECT_TRUE(fs::exists(dir_ / "home" / ".local" / "state" / "korvane" / "usage.log"));
}

TEST_F(AddLogTest, ConcurrentCallersKeepLinesWhole) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      Record r = Make(u"3.0.603", u"6.CPU.Start", t);
      for (int i = 0; i < 100; ++i) addLog_(6, r.bytes);
    });
  }
  for (auto& th : threads) th.join();
  auto lines = Lines();
  ASSERT_EQ(lines.size(), 400u);
  int perThread[4] = {};
  for (const auto& j : lines) ++perThread[j["value"].get<int>()];
  for (int count : perThread) EXPECT_EQ(count, 100);
}

}  // namespace
