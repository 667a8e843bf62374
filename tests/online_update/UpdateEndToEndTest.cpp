// The probe and the version check against the real korvane-server on a loopback port: the
// on-line start page after a good probe, the built-in page with the server down, and the
// update question for a newer version named in the server's data folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "MessageRecorder.h"
#include "TestServer.h"
#include "config/LanguageRes.h"
#include "online/StartProbe.h"
#include "online/VersionCheck.h"
#include "platform/MessageBox.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

class UpdateEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ =
        new fs::path(fs::path(std::getenv("HOME")) / ("update-e2e-" + std::to_string(::getpid())));
    fs::remove_all(*dir_);
    fs::create_directories(*dir_ / "data");
    server_ = new Server(StartServer(*dir_));
    ::setenv("KORVANE_SERVER_BASE", server_->base.c_str(), 1);
  }
  static void TearDownTestSuite() {
    StopServer(*server_);
    fs::remove_all(*dir_);
    delete server_;
    delete dir_;
  }
  void SetUp() override {
    ASSERT_FALSE(server_->base.empty()) << "korvane-server did not start";
    ASSERT_EQ(server_->base.rfind("http://127.0.0.1:", 0), 0u);
    fs::remove(*dir_ / "data" / "tovixnew.txt");
    fs::remove(*dir_ / "data" / "tovixnew-en.txt");
  }
  // The version check as the program runs it: addresses from the language table.
  std::vector<MessageRecorder::Entry> CheckVersion(const CLanguageRes& lang) {
    MessageRecorder panel;
    CVersionCheck::Settings s;
    s.versionUrl = lang.Text(8132);
    s.workFolder = (*dir_ / "work" / "Tovix2Tmp").string();
    s.settleDelayMs = 0;
    CVersionCheck::Run(panel, s);
    return panel.Entries();
  }
  static void WriteVersionFile(const std::string& text) {
    std::ofstream(*dir_ / "data" / "tovixnew.txt", std::ios::binary) << text;
  }
  static CLanguageRes Language(const char* locale) {
    return CLanguageRes(LocaleSource::SystemWithLocale(locale));
  }
  static fs::path* dir_;
  static Server* server_;
};
fs::path* UpdateEndToEnd::dir_ = nullptr;
Server* UpdateEndToEnd::server_ = nullptr;

TEST_F(UpdateEndToEnd, ProbeLeadsToTheOnlineStartPage) {
  for (const char* locale : {"en_US.UTF-8", "zh_CN.UTF-8"}) {
    const CLanguageRes lang = Language(locale);
    MessageRecorder panel;
    CStartProbe::Settings s;
    s.probeUrl = lang.Text(8130);
    s.workFolder = (*dir_ / "work" / "Tovix2Tmp").string();
    s.settleDelayMs = 0;
    ASSERT_EQ(s.probeUrl.rfind(server_->base, 0), 0u);
    EXPECT_EQ(CStartProbe::Run(panel, s), kMsgProbeDownloaded) << locale;
    EXPECT_TRUE(fs::exists(*dir_ / "work" / "Tovix2Tmp" / "netstat.xml"));
    ASSERT_EQ(panel.Entries().size(), 1u);
    const auto address =
        StartPanelAddress(panel.Entries()[0].msg, 0, lang.Text(8131), "/opt/k/korvane");
    ASSERT_TRUE(address);
    EXPECT_EQ(*address, lang.Text(8131));
  }
}

TEST_F(UpdateEndToEnd, NewerVersionAsksQuestion570) {
  WriteVersionFile("[main]\r\nversion=3.0.700.1\r\nurl= http://127.0.0.1:9/korvane-3.0.700.1 \r\n");
  for (const char* locale : {"en_US.UTF-8", "zh_CN.UTF-8"}) {
    const CLanguageRes lang = Language(locale);
    const auto sent = CheckVersion(lang);
    ASSERT_EQ(sent.size(), 1u) << locale;
    ASSERT_EQ(sent[0].msg, kMsgNewVersion);
    EXPECT_EQ(sent[0].packed, PackVersion(3, 0, 700, 1));
    EXPECT_EQ(sent[0].url, "http://127.0.0.1:9/korvane-3.0.700.1");

    // The start panel's answer to it: the question, then the browser on Yes.
    const std::uint64_t packed = sent[0].packed;
    std::string text, caption;
    std::vector<std::string> opened;
    const bool opened1 = HandleNewVersionMessage(
        reinterpret_cast<platform::WParam>(&packed),
        reinterpret_cast<platform::LParam>(sent[0].url.c_str()), lang.Text(kTextUpdateQuestion),
        [&](const UpdateQuestion& q) {
          text = q.text;
          caption = q.caption;
          return static_cast<int>(platform::kIdYes);
        },
        [&](std::string_view u) {
          opened.emplace_back(u);
          return true;
        });
    EXPECT_TRUE(opened1);
    EXPECT_EQ(caption, "Korvane 3.0.603");
    if (std::string(locale).rfind("en", 0) == 0) {
      EXPECT_EQ(text, "Found New Version: Ver 3.0.700.1, UPDATE now?");
    } else {
      EXPECT_EQ(text, "系统已检测到存在新版本: Ver 3.0.700.1, 是否现在更新？");
    }
    EXPECT_EQ(opened, std::vector<std::string>{"http://127.0.0.1:9/korvane-3.0.700.1"});
  }
}

TEST_F(UpdateEndToEnd, NothingOfferedForTheSameOrOlderVersion) {
  const CLanguageRes lang = Language("en_US.UTF-8");
  for (const char* v : {"3.0.603.1", "3.0.603", "3.0", "2.9.999.9"}) {
    WriteVersionFile(std::string("[main]\nversion=") + v + "\nurl=http://127.0.0.1:9/x\n");
    EXPECT_TRUE(CheckVersion(lang).empty()) << v;
  }
  WriteVersionFile("[main]\nversion=3.0.700.1\nurl=\n");
  EXPECT_TRUE(CheckVersion(lang).empty());
}

TEST_F(UpdateEndToEnd, MissingOversizedOrForeignVersionFileIsAFailedDownload) {
  const CLanguageRes lang = Language("en_US.UTF-8");
  auto sent = CheckVersion(lang);  // no file on the server: 404
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].msg, kMsgVersionFailed);

  WriteVersionFile("<html><body>[main] version=9.9.9.9</body></html>\n");
  sent = CheckVersion(lang);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].msg, kMsgVersionFailed);

  std::string big = "[main]\nversion=3.0.700.1\nurl=http://127.0.0.1:9/x\n";
  big += std::string(kVersionFileMaxBytes, ';') + "\n";
  WriteVersionFile(big);
  sent = CheckVersion(lang);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].msg, kMsgVersionFailed);
}

// Last: stops the server.
TEST_F(UpdateEndToEnd, ZServerDownShowsTheBuiltInPage) {
  const CLanguageRes lang = Language("en_US.UTF-8");
  StopServer(*server_);
  MessageRecorder panel;
  CStartProbe::Settings s;
  s.probeUrl = lang.Text(8130);
  s.workFolder = (*dir_ / "work" / "Tovix2Tmp").string();
  s.settleDelayMs = 0;
  EXPECT_EQ(CStartProbe::Run(panel, s), kMsgProbeFailed);
  ASSERT_EQ(panel.Entries().size(), 1u);
  EXPECT_EQ(StartPanelAddress(panel.Entries()[0].msg, 0, lang.Text(8131), "/opt/k/korvane"),
            "res:///opt/k/korvane/FIRST_PAGE.HTM");
  const auto sent = CheckVersion(lang);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].msg, kMsgVersionFailed);
}

}  // namespace
}  // namespace korvane
