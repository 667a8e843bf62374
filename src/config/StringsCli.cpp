#include "config/StringsCli.h"

#include <iostream>
#include <optional>

#include "config/LanguageRes.h"
#include "config/StringTable.h"

namespace korvane {

int RunStringsCli(const std::vector<std::string>& args) { return RunStringsCli(args, std::cout, std::cerr); }

int RunStringsCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::optional<std::string> locale;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--strings" && i == 0) continue;
    if (a == "--lang" && i + 1 < args.size()) {
      locale = args[++i];
    } else if (a.rfind("--lang=", 0) == 0) {
      locale = a.substr(7);
    } else {
      err << "usage: korvane --strings [--lang LOCALE]\n";
      return 2;
    }
  }
  CLanguageRes res = locale ? CLanguageRes(LocaleSource::SystemWithLocale(*locale)) : CLanguageRes();
  const StringTable* table = res.Table();
  if (table == nullptr) return 0;
  for (const auto& [id, text] : table->entries) {
    out << id << '\t' << EscapeTableText(res.Text(id)) << '\n';
  }
  out.flush();
  return 0;
}

}  // namespace korvane
