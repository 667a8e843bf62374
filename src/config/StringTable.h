#pragma once
// The language tables are kept as UTF-8 text ("id<TAB>text" lines) compiled into the program,
// so translators edit data rather than code. This is the parser for that text and the access
// to the two built-in tables.
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

struct StringTable {
  std::map<int, std::string> entries;  // id -> UTF-8 text, escapes resolved
  std::vector<std::string> errors;     // one message per rejected line ("line N: ...")
};

// Lines: "id<TAB>text"; '#' comments and blank lines are skipped; a trailing CR is dropped.
// Texts may carry the escapes \r \n \t \\ (any other backslash is kept as it stands).
// A line with a bad id, without a tab, or repeating an id is rejected and reported; the first
// entry for an id wins.
StringTable ParseStringTable(std::string_view text);

// The built-in tables, parsed once. Table numbers as the program uses them: 0 = Simplified
// Chinese, 3 = English; any other number has no table (nullptr).
const StringTable* BuiltInStringTable(int table);

// "\r\n" -> "\\r\\n" etc., so one text always prints as one line.
std::string EscapeTableText(std::string_view text);

}  // namespace korvane
