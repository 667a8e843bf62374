#pragma once
// A dump of every hardware-library operation the program calls, with its arguments and result,
// taken through the library's own entry point (as the program binds it).
#include <nlohmann/json.hpp>

namespace korvane {

// Loads the library at `libraryPath`, creates and initialises an instance and lists each
// operation as "Name(args)": result (null = no value). On failure the object holds "error".
nlohmann::ordered_json DiagnoseHardwareLibrary(const char* libraryPath);

}  // namespace korvane
