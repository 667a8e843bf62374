#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "config/Edition.h"
#include "config/LanguageRes.h"
#include "config/StringTable.h"
#include "config/StringsCli.h"
#include "platform/MessageBox.h"

namespace korvane {
namespace {

LocaleSource FakeLocale(std::map<std::string, std::string> env,
                        std::optional<std::string> country = std::nullopt) {
  LocaleSource s;
  s.getEnv = [env](const char* name) -> std::optional<std::string> {
    auto it = env.find(name);
    if (it == env.end()) return std::nullopt;
    return it->second;
  };
  s.nativeCountryName = [country](const std::string&) { return country; };
  return s;
}

TEST(SystemLanguage, LocaleNamesMapToWindowsLanguageIds) {
  struct Case {
    const char* locale;
    std::uint16_t id;
  } cases[] = {
      {"zh_CN.UTF-8", 2052}, {"zh_SG.GB2312", 4100}, {"zh_TW.Big5", 1028}, {"zh_HK.UTF-8", 3076},
      {"zh_MO", 5124},       {"en_US.UTF-8", 1033},  {"en_GB.UTF-8", 2057}, {"de_DE@euro", 1031},
      {"de_AT.UTF-8", 3079}, {"fr_FR.UTF-8", 1036},  {"ja_JP.eucJP", 1041}, {"ko_KR.UTF-8", 1042},
      {"ru_RU.KOI8-R", 1049}, {"pt_BR.UTF-8", 1046}, {"es_ES.UTF-8", 3082}, {"sr_RS@latin", 9242},
      {"sr_RS.UTF-8", 10266},
      // Other spellings seen in the wild.
      {"zh-cn", 2052}, {"ZH_tw.utf8", 1028}, {" de_DE.UTF-8 ", 1031},
      // A known language with an unknown country falls back to that language.
      {"de_XX.UTF-8", 1031}, {"zh", 2052}, {"fr", 1036},
      // Nothing usable: English (US).
      {"C", 1033}, {"C.UTF-8", 1033}, {"POSIX", 1033}, {"", 1033}, {"xx_YY.UTF-8", 1033},
      {"@", 1033}, {"_", 1033}, {"..", 1033},
  };
  for (const Case& c : cases) EXPECT_EQ(LanguageIdFromLocale(c.locale), c.id) << c.locale;
}

TEST(SystemLanguage, EnvironmentOrderIsLcAllThenLcMessagesThenLang) {
  EXPECT_EQ(MessagesLocale(FakeLocale({{"LC_ALL", "de_DE"}, {"LC_MESSAGES", "fr_FR"}, {"LANG", "ja_JP"}})), "de_DE");
  EXPECT_EQ(MessagesLocale(FakeLocale({{"LC_ALL", ""}, {"LC_MESSAGES", "fr_FR"}, {"LANG", "ja_JP"}})), "fr_FR");
  EXPECT_EQ(MessagesLocale(FakeLocale({{"LANG", "ja_JP"}})), "ja_JP");
  EXPECT_EQ(MessagesLocale(FakeLocale({})), "");
  EXPECT_EQ(CLanguageRes(FakeLocale({})).SystemLanguage(), 1033);
}

TEST(SystemLanguage, TableChoiceFollowsTheLanguage) {
  CLanguageRes german(FakeLocale({{"LANG", "de_DE.UTF-8"}}));
  EXPECT_EQ(german.SystemLanguage(), 1031);
  EXPECT_EQ(german.SelectedTable(), kTableEnglish);
  EXPECT_EQ(german.Text(101), "HdwSummary");

  CLanguageRes chinese(FakeLocale({{"LC_ALL", "zh_CN.UTF-8"}, {"LANG", "de_DE.UTF-8"}}));
  EXPECT_EQ(chinese.SystemLanguage(), 2052);
  EXPECT_EQ(chinese.SelectedTable(), kTableSimplifiedChinese);
  EXPECT_EQ(chinese.Text(6021), "正在读取硬件信息，请稍候");

  // Singapore Chinese is not one of the three Chinese ids that read the Chinese table.
  EXPECT_EQ(CLanguageRes(FakeLocale({{"LANG", "zh_SG.UTF-8"}})).SelectedTable(), kTableEnglish);

  for (const CLanguageRes* res : {&german, &chinese}) {
    EXPECT_EQ(res->Text(99), "UnDefined");
    EXPECT_EQ(res->Text(-1), "UnDefined");
    EXPECT_EQ(res->Text(5221), "UnDefined");  // problem code 21 has no text
    EXPECT_EQ(res->Text(5105), "UnDefined");
  }
}

TEST(SystemLanguage, TaiwanKeepsItsIdOnlyWithTheAcceptedCountryName) {
  for (const char* accepted : {"中華民國", "中华民国", "い地チ瓣"}) {
    CLanguageRes res(FakeLocale({{"LANG", "zh_TW.UTF-8"}}, std::string(accepted)));
    EXPECT_EQ(res.SystemLanguage(), 1028) << accepted;
    EXPECT_EQ(res.SelectedTable(), kTableSimplifiedChinese);
    EXPECT_FALSE(EditionCheckPasses(res));
  }
  for (std::optional<std::string> other : {std::optional<std::string>("臺灣"), std::optional<std::string>("Taiwan"),
                                           std::optional<std::string>(""), std::optional<std::string>()}) {
    CLanguageRes res(FakeLocale({{"LANG", "zh_TW.UTF-8"}}, other));
    EXPECT_EQ(res.SystemLanguage(), 3076) << other.value_or("<none>");
    EXPECT_FALSE(EditionCheckPasses(res));
  }
  // The country name only matters for Taiwan.
  CLanguageRes prc(FakeLocale({{"LANG", "zh_CN.UTF-8"}}, std::string("Taiwan")));
  EXPECT_EQ(prc.SystemLanguage(), 2052);
  EXPECT_TRUE(EditionCheckPasses(prc));
  EXPECT_FALSE(EditionCheckPasses(CLanguageRes(FakeLocale({{"LANG", "zh_HK.UTF-8"}}))));
  EXPECT_TRUE(EditionCheckPasses(CLanguageRes(FakeLocale({{"LANG", "zh_MO.UTF-8"}}))));
}

TEST(SystemLanguage, RealLocaleDataRefusesTraditionalChineseWhetherOrNotItIsInstalled) {
  // With glibc's zh_TW data the name is accepted (1028), without it the id becomes 3076:
  // refused either way.
  CLanguageRes tw(LocaleSource::SystemWithLocale("zh_TW.UTF-8"));
  EXPECT_TRUE(tw.SystemLanguage() == 1028 || tw.SystemLanguage() == 3076) << tw.SystemLanguage();
  EXPECT_FALSE(EditionCheckPasses(tw));
  EXPECT_EQ(EditionRefusalText(tw), "抱歉，简体版本不能在繁体操作系统下运行，请使用繁体版，相关信息请访问官方网站！");
  EXPECT_EQ(EditionRefusalCaption(), "Korvane 3.0.603");
  EXPECT_TRUE(EditionCheckPasses(CLanguageRes(LocaleSource::SystemWithLocale("de_DE.UTF-8"))));
}

TEST(EditionCheck, HongKongSystemIsRefusedWithTheNoticeAndAnErrorIcon) {
  setenv("LC_ALL", "zh_HK.UTF-8", 1);
  // The process-wide choice is made once; ctest runs this test in a process of its own.
  if (LanguageRes().LocaleName() != "zh_HK.UTF-8") GTEST_SKIP() << "language already chosen in this process";
  std::string text, caption;
  unsigned flags = 0;
  auto previous = platform::SetMessageBoxSink([&](std::string_view t, std::string_view c, unsigned f) {
    text = t;
    caption = c;
    flags = f;
    return static_cast<int>(platform::kIdOk);
  });
  EXPECT_FALSE(EditionCheckPasses());
  EXPECT_FALSE(EnforceEdition());
  platform::SetMessageBoxSink(previous);
  EXPECT_EQ(text, LangText(6100));
  EXPECT_EQ(text, "抱歉，简体版本不能在繁体操作系统下运行，请使用繁体版，相关信息请访问官方网站！");
  EXPECT_EQ(caption, "Korvane 3.0.603");
  EXPECT_EQ(flags & 0xF0u, static_cast<unsigned>(platform::kMbIconError));
}

TEST(ServerBaseSetting, EnvironmentBeatsSettingsBeatsDefault) {
  EXPECT_EQ(ChooseServerBase(std::nullopt, "", 0), "http://127.0.0.1:8086");
  EXPECT_EQ(ChooseServerBase(std::nullopt, "https://rank.example/", 3), "https://rank.example");
  EXPECT_EQ(ChooseServerBase(std::string("http://a:1//"), "https://b", 0), "http://a:1");
  // Unusable values are passed over, never half-used.
  EXPECT_EQ(ChooseServerBase(std::string(""), "http://b", 0), "http://b");
  EXPECT_EQ(ChooseServerBase(std::string("ftp://a"), "http://b", 0), "http://b");
  EXPECT_EQ(ChooseServerBase(std::string("http://"), "", 0), "http://127.0.0.1:8086");
  EXPECT_EQ(ChooseServerBase(std::string("http://a b"), "", 0), "http://127.0.0.1:8086");
  EXPECT_EQ(ChooseServerBase(std::string("http://a\r\nX: y"), "", 0), "http://127.0.0.1:8086");
  EXPECT_EQ(ChooseServerBase(std::nullopt, "  HTTP://Host:9/  ", 0), "HTTP://Host:9");
}

class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvGuard() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(ServerBaseSetting, AddressesCarryTheBaseInFrontOfTheirPath) {
  EnvGuard guard("KORVANE_SERVER_BASE", "http://127.0.0.1:9999/");
  CLanguageRes zh(FakeLocale({{"LANG", "zh_CN.UTF-8"}}));
  CLanguageRes en(FakeLocale({{"LANG", "en_US.UTF-8"}}));
  EXPECT_EQ(zh.Text(8130), "http://127.0.0.1:9999/info/netstat.xml");
  EXPECT_EQ(en.Text(8130), "http://127.0.0.1:9999/info/netstat-en.xml");
  EXPECT_EQ(zh.Text(8200), "http://127.0.0.1:9999/?action=seSearch&version=2.0&os=winxp_32&type=1&typename=");
  EXPECT_EQ(en.Text(8110), "http://127.0.0.1:9999/viewforum.php?f=21");
  EXPECT_EQ(zh.Text(8100), "http://127.0.0.1:9999/forumdisplay.php?fid=7");
  EXPECT_EQ(zh.Text(101), "硬件概览");  // ordinary texts are left alone
}

std::map<int, std::string> RunCli(std::vector<std::string> args, int* status) {
  std::ostringstream out, err;
  *status = RunStringsCli(args, out, err);
  std::map<int, std::string> lines;
  std::istringstream in(out.str());
  std::string line;
  while (std::getline(in, line)) {
    auto tab = line.find('\t');
    EXPECT_NE(tab, std::string::npos) << line;
    if (tab != std::string::npos) lines[std::stoi(line.substr(0, tab))] = line.substr(tab + 1);
  }
  return lines;
}

TEST(StringsCli, PrintsTheTableOfTheChosenLocaleOneTextPerLine) {
  EnvGuard guard("KORVANE_SERVER_BASE", nullptr);
  int status = -1;
  auto zh = RunCli({"--strings", "--lang", "zh_CN.UTF-8"}, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(zh.size(), BuiltInStringTable(0)->entries.size());
  EXPECT_EQ(zh[6021], "正在读取硬件信息，请稍候");
  EXPECT_EQ(zh[791].find('\n'), std::string::npos);
  EXPECT_NE(zh[791].find("\\r\\n"), std::string::npos);

  auto de = RunCli({"--lang=de_DE.UTF-8"}, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(de[6021], "Hardware information is being read, please wait");
  EXPECT_EQ(de[8131].rfind("http", 0), 0u);

  RunCli({"--strings", "--bogus"}, &status);
  EXPECT_EQ(status, 2);
  RunCli({"--lang"}, &status);  // value missing
  EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace korvane
