#pragma once
// The product's name and version texts, in the forms the program and its peers use them.

namespace korvane {

inline constexpr const char* kProductName = "Korvane";
inline constexpr const char* kProductVersion = "3.0.603";        // titles, captions, registry
inline constexpr const char* kProductVersionLong = "3.0.603.1";  // event log, updater

}  // namespace korvane
