#pragma once
// The process-wide language choice and string lookup. Every user-visible text and every web
// address is looked up here by its numeric id.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

struct StringTable;

inline constexpr std::uint16_t kLangChineseTaiwan = 1028;
inline constexpr std::uint16_t kLangEnglishUS = 1033;
inline constexpr std::uint16_t kLangChinesePRC = 2052;
inline constexpr std::uint16_t kLangChineseHongKong = 3076;

inline constexpr int kTableSimplifiedChinese = 0;
inline constexpr int kTableEnglish = 3;

inline constexpr const char* kUndefinedText = "UnDefined";
inline constexpr const char* kDefaultServerBase = "http://127.0.0.1:8086";

// Where the language comes from. Tests inject their own; System() reads the process
// environment and glibc's locale data.
struct LocaleSource {
  // Value of an environment variable, nullopt when unset.
  std::function<std::optional<std::string>(const char* name)> getEnv;
  // The native country name of a locale (as UTF-8), nullopt when that locale's data is not
  // installed or names no country.
  std::function<std::optional<std::string>(const std::string& locale)> nativeCountryName;

  static LocaleSource System();
  // The same as System() but with a fixed locale name in place of the environment.
  static LocaleSource SystemWithLocale(std::string locale);
};

// The POSIX locale in force for messages: the first non-empty of LC_ALL, LC_MESSAGES, LANG.
std::string MessagesLocale(const LocaleSource& source);
// "zh_CN.UTF-8" -> 2052, "de_DE@euro" -> 1031, "de" -> 1031; "C", "POSIX", "" and anything
// unknown -> 1033.
std::uint16_t LanguageIdFromLocale(std::string_view locale);
// The Taiwan rule: 1028 stays only when the native country name is one of the accepted forms;
// any other name, or none at all, makes it 3076. Other ids pass unchanged.
std::uint16_t ApplyTaiwanRule(std::uint16_t languageId, const std::optional<std::string>& countryName);
// 1028, 2052 and 3076 read the Simplified Chinese table; everything else the English one.
int TableForLanguage(std::uint16_t languageId);

// The host part of every web address: $KORVANE_SERVER_BASE, else "ServerBase" of section
// "Tovix2" in the settings file, else the edition's built-in default. Values that are not an
// http(s) address are ignored; trailing slashes are dropped.
std::string ServerBase(int table);
// The rule itself, for callers that already have both settings.
std::string ChooseServerBase(const std::optional<std::string>& environment,
                             std::string_view settingsValue, int table);

class CLanguageRes {
 public:
  CLanguageRes();  // the running system's language
  explicit CLanguageRes(const LocaleSource& source);

  // UTF-8 text of id in the selected table; "UnDefined" when the table has no such id.
  // Web addresses (ids 8000 and above) come back with the server base in front.
  std::string Text(int id) const;
  std::uint16_t SystemLanguage() const { return language_; }
  int SelectedTable() const { return table_; }
  const std::string& LocaleName() const { return locale_; }
  const StringTable* Table() const;

 private:
  std::string locale_;
  std::uint16_t language_ = kLangEnglishUS;
  int table_ = kTableEnglish;
};

// The one instance the program uses, made on first use from the running system.
CLanguageRes& LanguageRes();
std::string LangText(int id);

}  // namespace korvane
