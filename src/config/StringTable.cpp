#include "config/StringTable.h"

#include <charconv>

namespace korvane {
namespace {

constexpr std::string_view kChineseTableText =
#include "config/StringsChinese.inc"
    ;
constexpr std::string_view kEnglishTableText =
#include "config/StringsEnglish.inc"
    ;

std::string Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      switch (text[i + 1]) {
        case 'r': out += '\r'; ++i; continue;
        case 'n': out += '\n'; ++i; continue;
        case 't': out += '\t'; ++i; continue;
        case '\\': out += '\\'; ++i; continue;
        default: break;
      }
    }
    out += c;
  }
  return out;
}

}  // namespace

StringTable ParseStringTable(std::string_view text) {
  StringTable table;
  std::size_t lineNo = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') {
      if (end == text.size()) break;
      continue;
    }
    auto reject = [&](const char* why) {
      table.errors.push_back("line " + std::to_string(lineNo) + ": " + why);
    };
    std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) {
      reject("no tab between id and text");
    } else {
      std::string_view idText = line.substr(0, tab);
      int id = 0;
      auto [ptr, ec] = std::from_chars(idText.data(), idText.data() + idText.size(), id);
      if (idText.empty() || ec != std::errc() || ptr != idText.data() + idText.size() || id < 0) {
        reject("the id is not a non-negative decimal number");
      } else if (!table.entries.emplace(id, Unescape(line.substr(tab + 1))).second) {
        reject("repeated id");
      }
    }
    if (end == text.size()) break;
  }
  return table;
}

const StringTable* BuiltInStringTable(int table) {
  static const StringTable chinese = ParseStringTable(kChineseTableText);
  static const StringTable english = ParseStringTable(kEnglishTableText);
  switch (table) {
    case 0: return &chinese;
    case 3: return &english;
    default: return nullptr;
  }
}

std::string EscapeTableText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace korvane
