#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace korvane {

// "--strings [--lang LOCALE]": prints the selected table as "id<TAB>text" lines (control
// characters escaped so each text stays on its line; addresses with their server base).
// LOCALE replaces the environment's locale. Returns 0, or 2 on a bad argument (usage on err).
// args may start with "--strings" itself.
int RunStringsCli(const std::vector<std::string>& args);
int RunStringsCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace korvane
