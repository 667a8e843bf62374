#pragma once
// Everything the system-information sources see, as one JSON object for `korvane --diagnose`.
#include <nlohmann/json.hpp>

namespace korvane {

// {"os": {...}, "directx": {...}, "wmi": {"<class>": [ {property: value} ]},
//  "devices": [ {"class", "instanceId", "name"} ]}
nlohmann::ordered_json DiagnoseSysinfo();

}  // namespace korvane
