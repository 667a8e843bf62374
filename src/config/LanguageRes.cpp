#include "config/LanguageRes.h"

#include <langinfo.h>
#include <locale.h>

#include <array>
#include <cstdlib>
#include <string>

#include "config/IniFile.h"
#include "config/StringTable.h"
#include "platform/Text.h"

namespace korvane {
namespace {

struct LocaleLanguage {
  const char* locale;  // "ll_CC", or "ll_CC@modifier" where the modifier changes the id
  std::uint16_t id;
};

// Windows language ids of the common locales. Within one language the first row is the one a
// bare language code ("de", "zh") falls back to.
constexpr LocaleLanguage kLocaleLanguages[] = {
    {"zh_CN", 2052}, {"zh_TW", 1028}, {"zh_HK", 3076}, {"zh_SG", 4100}, {"zh_MO", 5124},
    {"en_US", 1033}, {"en_GB", 2057}, {"en_AU", 3081}, {"en_CA", 4105}, {"en_NZ", 5129},
    {"en_IE", 6153}, {"en_ZA", 7177}, {"en_JM", 8201}, {"en_BZ", 10249}, {"en_TT", 11273},
    {"en_ZW", 12297}, {"en_PH", 13321}, {"en_IN", 16393}, {"en_MY", 17417}, {"en_SG", 18441},
    {"de_DE", 1031}, {"de_CH", 2055}, {"de_AT", 3079}, {"de_LU", 4103}, {"de_LI", 5127},
    {"fr_FR", 1036}, {"fr_BE", 2060}, {"fr_CA", 3084}, {"fr_CH", 4108}, {"fr_LU", 5132},
    {"fr_MC", 6156},
    {"es_ES", 3082}, {"es_MX", 2058}, {"es_GT", 4106}, {"es_CR", 5130}, {"es_PA", 6154},
    {"es_DO", 7178}, {"es_VE", 8202}, {"es_CO", 9226}, {"es_PE", 10250}, {"es_AR", 11274},
    {"es_EC", 12298}, {"es_CL", 13322}, {"es_UY", 14346}, {"es_PY", 15370}, {"es_BO", 16394},
    {"es_SV", 17418}, {"es_HN", 18442}, {"es_NI", 19466}, {"es_PR", 20490}, {"es_US", 21514},
    {"pt_BR", 1046}, {"pt_PT", 2070},
    {"it_IT", 1040}, {"it_CH", 2064},
    {"nl_NL", 1043}, {"nl_BE", 2067},
    {"sv_SE", 1053}, {"sv_FI", 2077},
    {"ja_JP", 1041}, {"ko_KR", 1042}, {"ru_RU", 1049}, {"ru_MD", 2073},
    {"ar_SA", 1025}, {"ar_IQ", 2049}, {"ar_EG", 3073}, {"ar_LY", 4097}, {"ar_DZ", 5121},
    {"ar_MA", 6145}, {"ar_TN", 7169}, {"ar_OM", 8193}, {"ar_YE", 9217}, {"ar_SY", 10241},
    {"ar_JO", 11265}, {"ar_LB", 12289}, {"ar_KW", 13313}, {"ar_AE", 14337}, {"ar_BH", 15361},
    {"ar_QA", 16385},
    {"bg_BG", 1026}, {"ca_ES", 1027}, {"cs_CZ", 1029}, {"da_DK", 1030}, {"el_GR", 1032},
    {"fi_FI", 1035}, {"he_IL", 1037}, {"hu_HU", 1038}, {"is_IS", 1039}, {"nb_NO", 1044},
    {"no_NO", 1044}, {"nn_NO", 2068}, {"pl_PL", 1045}, {"rm_CH", 1047}, {"ro_RO", 1048},
    {"hr_HR", 1050}, {"sk_SK", 1051}, {"sq_AL", 1052}, {"th_TH", 1054}, {"tr_TR", 1055},
    {"ur_PK", 1056}, {"id_ID", 1057}, {"uk_UA", 1058}, {"be_BY", 1059}, {"sl_SI", 1060},
    {"et_EE", 1061}, {"lv_LV", 1062}, {"lt_LT", 1063}, {"tg_TJ", 1064}, {"fa_IR", 1065},
    {"vi_VN", 1066}, {"hy_AM", 1067}, {"az_AZ", 1068}, {"eu_ES", 1069}, {"mk_MK", 1071},
    {"tn_ZA", 1074}, {"xh_ZA", 1076}, {"zu_ZA", 1077}, {"af_ZA", 1078}, {"ka_GE", 1079},
    {"fo_FO", 1080}, {"hi_IN", 1081}, {"mt_MT", 1082}, {"se_NO", 1083}, {"ga_IE", 2108},
    {"ms_MY", 1086}, {"ms_BN", 2110}, {"kk_KZ", 1087}, {"ky_KG", 1088}, {"sw_KE", 1089},
    {"tk_TM", 1090}, {"uz_UZ", 1091}, {"tt_RU", 1092}, {"bn_IN", 1093}, {"bn_BD", 2117},
    {"pa_IN", 1094}, {"gu_IN", 1095}, {"or_IN", 1096}, {"ta_IN", 1097}, {"te_IN", 1098},
    {"kn_IN", 1099}, {"ml_IN", 1100}, {"as_IN", 1101}, {"mr_IN", 1102}, {"sa_IN", 1103},
    {"mn_MN", 1104}, {"bo_CN", 1105}, {"cy_GB", 1106}, {"km_KH", 1107}, {"lo_LA", 1108},
    {"gl_ES", 1110}, {"kok_IN", 1111}, {"si_LK", 1115}, {"am_ET", 1118}, {"ne_NP", 1121},
    {"fy_NL", 1122}, {"ps_AF", 1123}, {"fil_PH", 1124}, {"dv_MV", 1125}, {"ha_NG", 1128},
    {"yo_NG", 1130}, {"ig_NG", 1136}, {"ug_CN", 1152}, {"br_FR", 1150}, {"oc_FR", 1154},
    {"lb_LU", 1134}, {"wo_SN", 1160}, {"rw_RW", 1159}, {"gd_GB", 1169},
    {"sr_RS", 10266}, {"sr_RS@latin", 9242}, {"sr_ME", 12314}, {"bs_BA", 5146},
};

std::string NormaliseLocaleKey(std::string_view locale, std::string* languageOnly) {
  // "ll_CC.codeset@modifier": keep language, country and modifier.
  std::string_view modifier;
  if (auto at = locale.find('@'); at != std::string_view::npos) {
    modifier = locale.substr(at + 1);
    locale = locale.substr(0, at);
  }
  if (auto dot = locale.find('.'); dot != std::string_view::npos) locale = locale.substr(0, dot);
  std::string language;
  std::string country;
  std::size_t sep = locale.find_first_of("_-");
  language = platform::ToLowerAscii(locale.substr(0, sep));
  if (sep != std::string_view::npos) country = platform::ToUpperAscii(locale.substr(sep + 1));
  *languageOnly = language;
  std::string key = language;
  if (!country.empty()) key += "_" + country;
  if (!modifier.empty()) key += "@" + platform::ToLowerAscii(modifier);
  return key;
}

std::optional<std::string> EnvValue(const char* name) {
  const char* v = std::getenv(name);
  if (v == nullptr) return std::nullopt;
  return std::string(v);
}

// Reads LC_ADDRESS data of the locale; the UTF-8 form of the locale is tried first so the
// name arrives as UTF-8 whatever character set the environment's locale uses.
std::optional<std::string> GlibcCountryName(const std::string& locale) {
  std::string base = locale;
  if (auto at = base.find('@'); at != std::string::npos) base.erase(at);
  if (auto dot = base.find('.'); dot != std::string::npos) base.erase(dot);
  if (base.empty() || base == "C" || base == "POSIX") return std::nullopt;
  for (const std::string& candidate : {base + ".UTF-8", base + ".utf8", locale}) {
    locale_t loc = newlocale(LC_ADDRESS_MASK | LC_CTYPE_MASK, candidate.c_str(), static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) continue;
    std::string codeset = nl_langinfo_l(CODESET, loc);
    const char* name = nl_langinfo_l(_NL_ADDRESS_COUNTRY_NAME, loc);
    std::string result = name != nullptr ? name : "";
    freelocale(loc);
    if (result.empty()) return std::nullopt;
    if (codeset != "UTF-8") continue;  // other character sets would need a conversion
    // The name is read into a 260-character buffer where this rule came from.
    return platform::TruncateUtf16Units(result, 260);
  }
  return std::nullopt;
}

}  // namespace

LocaleSource LocaleSource::System() {
  return LocaleSource{EnvValue, GlibcCountryName};
}

LocaleSource LocaleSource::SystemWithLocale(std::string locale) {
  return LocaleSource{
      [locale](const char* name) -> std::optional<std::string> {
        if (std::string_view(name) == "LC_ALL") return locale;
        return std::nullopt;
      },
      GlibcCountryName};
}

std::string MessagesLocale(const LocaleSource& source) {
  if (!source.getEnv) return {};
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    std::optional<std::string> v = source.getEnv(name);
    if (v && !v->empty()) return *v;
  }
  return {};
}

std::uint16_t LanguageIdFromLocale(std::string_view locale) {
  std::string language;
  std::string key = NormaliseLocaleKey(platform::Trim(locale), &language);
  if (language.empty() || language == "c" || language == "posix") return kLangEnglishUS;
  for (const LocaleLanguage& row : kLocaleLanguages) {
    if (key == row.locale) return row.id;
  }
  // A modifier this table does not know (e.g. "@euro") does not change the language.
  if (auto at = key.find('@'); at != std::string::npos) {
    std::string plain = key.substr(0, at);
    for (const LocaleLanguage& row : kLocaleLanguages) {
      if (plain == row.locale) return row.id;
    }
  }
  // Unknown country: the language's first row.
  for (const LocaleLanguage& row : kLocaleLanguages) {
    std::string_view rowLocale = row.locale;
    if (rowLocale.substr(0, rowLocale.find('_')) == language) return row.id;
  }
  return kLangEnglishUS;
}

std::uint16_t ApplyTaiwanRule(std::uint16_t languageId, const std::optional<std::string>& countryName) {
  if (languageId != kLangChineseTaiwan) return languageId;
  static constexpr std::array<std::string_view, 3> kAccepted = {"い地チ瓣", "中華民國", "中华民国"};
  if (countryName) {
    for (std::string_view accepted : kAccepted) {
      if (*countryName == accepted) return kLangChineseTaiwan;
    }
  }
  return kLangChineseHongKong;
}

int TableForLanguage(std::uint16_t languageId) {
  switch (languageId) {
    case kLangChineseTaiwan:
    case kLangChinesePRC:
    case kLangChineseHongKong:
      return kTableSimplifiedChinese;
    default:
      return kTableEnglish;
  }
}

std::string ChooseServerBase(const std::optional<std::string>& environment,
                             std::string_view settingsValue, int table) {
  auto usable = [](std::string_view raw) -> std::optional<std::string> {
    std::string v = platform::Trim(raw);
    while (!v.empty() && v.back() == '/') v.pop_back();
    std::string lower = platform::ToLowerAscii(v);
    std::size_t schemeLength = lower.rfind("https://", 0) == 0 ? 8 : lower.rfind("http://", 0) == 0 ? 7 : 0;
    if (schemeLength == 0 || v.size() <= schemeLength) return std::nullopt;
    for (unsigned char c : v) {
      if (c <= 0x20 || c == 0x7f) return std::nullopt;  // would break the request line
    }
    return v;
  };
  if (environment) {
    if (auto v = usable(*environment)) return *v;
  }
  if (auto v = usable(settingsValue)) return *v;
  // Both editions talk to the project's own service by default.
  (void)table;
  return kDefaultServerBase;
}

std::string ServerBase(int table) {
  CIniFile settings(SettingsFilePath());
  std::string fromFile;
  (void)settings.Read("Tovix2", "ServerBase", fromFile);
  return ChooseServerBase(EnvValue("KORVANE_SERVER_BASE"), fromFile, table);
}

CLanguageRes::CLanguageRes() : CLanguageRes(LocaleSource::System()) {}

CLanguageRes::CLanguageRes(const LocaleSource& source) {
  locale_ = MessagesLocale(source);
  std::uint16_t id = LanguageIdFromLocale(locale_);
  if (id == kLangChineseTaiwan) {
    std::optional<std::string> country;
    if (source.nativeCountryName) country = source.nativeCountryName(locale_);
    id = ApplyTaiwanRule(id, country);
  }
  language_ = id;
  table_ = TableForLanguage(language_);
}

const StringTable* CLanguageRes::Table() const { return BuiltInStringTable(table_); }

std::string CLanguageRes::Text(int id) const {
  const StringTable* table = Table();
  if (table == nullptr) return kUndefinedText;
  auto it = table->entries.find(id);
  if (it == table->entries.end()) return kUndefinedText;
  if (id >= 8000) return ServerBase(table_) + it->second;
  return it->second;
}

CLanguageRes& LanguageRes() {
  static CLanguageRes instance;
  return instance;
}

std::string LangText(int id) { return LanguageRes().Text(id); }

}  // namespace korvane
