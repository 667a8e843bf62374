// Version texts, the version file and the update question.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "online/VersionCheck.h"
#include "platform/MessageBox.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

TEST(VersionParse, EveryFormOfTheText) {
  struct Case {
    const char* text;
    std::uint64_t expected;
  } cases[] = {
      {"", PackVersion(1, 0, 0, 1)},
      {"7", PackVersion(7, 0, 0, 1)},
      {"abc", PackVersion(0, 0, 0, 1)},
      {".5", PackVersion(1, 5, 0, 1)},  // one dot, nothing before it
      {"3.1", PackVersion(3, 1, 0, 1)},
      {"3.0", PackVersion(3, 0, 0, 1)},
      {"3.", PackVersion(3, 0, 0, 1)},
      {"3.0.603", PackVersion(3, 0, 603, 1)},
      {"3.0.603.2", PackVersion(3, 0, 603, 2)},
      {"3.0.603.", PackVersion(3, 0, 603, 1)},     // empty fourth piece
      {"3.0.603.7.9", PackVersion(3, 0, 603, 7)},  // only up to the next dot
      {"3.0.603..9", PackVersion(3, 0, 603, 1)},
      {"3x.0b.603rc.2-beta", PackVersion(3, 0, 603, 2)},  // non-digits end each number
      {" 3.0.603.1\r", PackVersion(3, 0, 603, 1)},
      {"70000.1.2.3", PackVersion(70000 & 0xFFFF, 1, 2, 3)},  // 16 bits kept
      {"-1.0.0.0", PackVersion(0xFFFF, 0, 0, 0)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseVersion(c.text), c.expected) << '"' << c.text << '"';
  }
  EXPECT_EQ(FormatVersion(ParseVersion("3.0.700.1")), "3.0.700.1");
  EXPECT_EQ(FormatVersion(PackVersion(65535, 0, 1, 2)), "65535.0.1.2");
}

TEST(VersionCompare, AgainstTheRunningVersion) {
  const char* running = "3.0.603.1";
  EXPECT_EQ(CompareVersions("3.0.603.2", running), 1);  // only the fourth part is higher
  EXPECT_EQ(CompareVersions("3.0.700", running), 1);
  EXPECT_EQ(CompareVersions("3.0.603", running), 0);  // 3.0.603 reads as 3.0.603.1
  EXPECT_EQ(CompareVersions("3.0.603.1", running), 0);
  EXPECT_EQ(CompareVersions("3.0.603.0", running), -1);
  EXPECT_EQ(CompareVersions("3.1", running), 1);
  EXPECT_EQ(CompareVersions("3.0", running), -1);
  // High word first, each part unsigned.
  EXPECT_EQ(CompareVersions(PackVersion(4, 0, 0, 0), PackVersion(3, 0xFFFF, 0xFFFF, 0xFFFF)), 1);
  EXPECT_EQ(CompareVersions(PackVersion(0xFFFF, 0, 0, 0), PackVersion(1, 0, 0, 0)), 1);
  EXPECT_EQ(CompareVersions(PackVersion(3, 0, 0xFFFF, 0), PackVersion(3, 0, 1, 0xFFFF)), 1);
}

TEST(VersionFileText, IniOrNot) {
  EXPECT_TRUE(LooksLikeIni("[main]\nversion=3.0.700.1\nurl=http://x/\n"));
  EXPECT_TRUE(LooksLikeIni("\xEF\xBB\xBF[main]\r\n; note\r\nversion = 3.1\r\n"));
  EXPECT_FALSE(LooksLikeIni(""));
  EXPECT_FALSE(LooksLikeIni("<html><body>Sign in to the network</body></html>"));
  EXPECT_FALSE(LooksLikeIni("[main]\nversion=1\n<p>oops</p>\n"));
  EXPECT_FALSE(LooksLikeIni(std::string("[main]\nversion=1\0x", 18)));
  EXPECT_FALSE(LooksLikeIni("[main\nversion=1\n"));
}

class VersionFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(std::getenv("HOME")) / ("versionfile-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& text) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }
  fs::path dir_;
};

TEST_F(VersionFileTest, ReadsTrimsAndRefuses) {
  auto f = ReadVersionFile(
      Write("a.ini", "[Main]\nVersion=3.0.700.1\nurl=   https://k.example/new  \n"));
  ASSERT_TRUE(f);
  EXPECT_EQ(f->version, "3.0.700.1");
  EXPECT_EQ(f->url, "https://k.example/new");

  // Values are cut at 259 bytes.
  f = ReadVersionFile(
      Write("long.ini", "[main]\nversion=3.1\nurl=http://h/" + std::string(400, 'a') + "\n"));
  ASSERT_TRUE(f);
  EXPECT_EQ(f->url.size(), kVersionValueMax);

  EXPECT_FALSE(ReadVersionFile((dir_ / "missing.ini").string()));
  EXPECT_FALSE(ReadVersionFile(Write("page.ini", "<!doctype html><title>404</title>")));
  std::string big = "[main]\nversion=3.1\nurl=http://h/\n";
  while (big.size() <= kVersionFileMaxBytes) big += "; padding padding padding padding\n";
  EXPECT_FALSE(ReadVersionFile(Write("big.ini", big)));
}

TEST(UpdateOffer, OnlyANewerVersionWithAnAddress) {
  const char* running = "3.0.603.1";
  auto offer = DecideUpdateOffer({"3.0.700.1", "http://h/new"}, running);
  ASSERT_TRUE(offer);
  EXPECT_EQ(offer->packed, PackVersion(3, 0, 700, 1));
  EXPECT_EQ(offer->url, "http://h/new");
  EXPECT_TRUE(DecideUpdateOffer({"3.0.603.2", "http://h/"}, running));
  EXPECT_TRUE(DecideUpdateOffer({"3.1", "http://h/"}, running));
  EXPECT_FALSE(DecideUpdateOffer({"3.0", "http://h/"}, running));
  EXPECT_FALSE(DecideUpdateOffer({"3.0.603.1", "http://h/"}, running));
  EXPECT_FALSE(DecideUpdateOffer({"3.0.700.1", ""}, running));
  EXPECT_FALSE(DecideUpdateOffer({"", "http://h/"}, running));
}

TEST(UpdateQuestionText, FillsOnlyTheVersion) {
  auto q = MakeUpdateQuestion(PackVersion(3, 0, 700, 1), "http://h/new",
                              "Found New Version: Ver %s, UPDATE now?");
  ASSERT_TRUE(q);
  EXPECT_EQ(q->text, "Found New Version: Ver 3.0.700.1, UPDATE now?");
  EXPECT_EQ(q->caption, "Korvane 3.0.603");
  // A translation with a stray conversion is shown as it is, never formatted.
  q = MakeUpdateQuestion(PackVersion(3, 1, 0, 1), "http://h/", "%d %n Ver %s");
  ASSERT_TRUE(q);
  EXPECT_EQ(q->text, "%d %n Ver 3.1.0.1");
  EXPECT_FALSE(MakeUpdateQuestion(0, "http://h/", "%s"));
  EXPECT_FALSE(MakeUpdateQuestion(PackVersion(3, 1, 0, 1), "", "%s"));
}

TEST(UpdateAddress, OnlyWebAddressesAreOpened) {
  std::vector<std::string> opened;
  auto opener = [&](std::string_view u) {
    opened.emplace_back(u);
    return true;
  };
  EXPECT_TRUE(OpenUpdateAddress("http://h/new", opener));
  EXPECT_TRUE(OpenUpdateAddress("HTTPS://h/new?x=1", opener));
  for (const char* bad : {"file:///etc/passwd", "javascript:alert(1)", "ftp://h/x", "/usr/bin/x",
                          "http://h/a b", "http://", "", "smb://h/share"}) {
    EXPECT_FALSE(OpenUpdateAddress(bad, opener)) << bad;
  }
  EXPECT_EQ(opened, (std::vector<std::string>{"http://h/new", "HTTPS://h/new?x=1"}));
}

TEST(UpdateAddress, TheWholeAnswerToTheOffer) {
  const std::uint64_t packed = PackVersion(3, 0, 700, 1);
  const std::string url = "http://h/new";
  std::vector<std::string> opened;
  auto opener = [&](std::string_view u) {
    opened.emplace_back(u);
    return true;
  };
  std::string asked;
  auto yes = [&](const UpdateQuestion& q) {
    asked = q.text;
    return static_cast<int>(platform::kIdYes);
  };
  auto no = [](const UpdateQuestion&) { return static_cast<int>(platform::kIdNo); };
  const auto w = reinterpret_cast<platform::WParam>(&packed);
  const auto l = reinterpret_cast<platform::LParam>(url.c_str());
  EXPECT_FALSE(HandleNewVersionMessage(w, l, "Ver %s?", no, opener));
  EXPECT_TRUE(opened.empty());
  EXPECT_TRUE(HandleNewVersionMessage(w, l, "Ver %s?", yes, opener));
  EXPECT_EQ(asked, "Ver 3.0.700.1?");
  EXPECT_EQ(opened, std::vector<std::string>{url});
  // No pointers, or a zero version: nothing is asked.
  asked.clear();
  const std::uint64_t zero = 0;
  EXPECT_FALSE(
      HandleNewVersionMessage(reinterpret_cast<platform::WParam>(&zero), l, "%s", yes, opener));
  EXPECT_FALSE(HandleNewVersionMessage(0, 0, "%s", yes, opener));
  EXPECT_TRUE(asked.empty());
  // Without a sink the program's message box answers on standard error with "no".
  EXPECT_FALSE(HandleNewVersionMessage(w, l, "Ver %s?", {}, opener));
  EXPECT_EQ(opened.size(), 1u);
}

}  // namespace
}  // namespace korvane
