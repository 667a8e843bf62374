#pragma once
#include <string>
#include <vector>

namespace korvane {

// korvane --driver-query "<instance id>" [--json]: the candidate hardware ids in the order they
// would be asked, what each asked one answered, and the record the first usable answer filled.
// Exit code 0 when a record was filled, 1 when not, 2 on a usage error.
int RunDriverQueryCli(const std::vector<std::string>& args);

}  // namespace korvane
