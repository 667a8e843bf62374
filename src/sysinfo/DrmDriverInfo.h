#pragma once
// What a display adapter's kernel driver says about itself: the module it lives in and the
// date of that module's file, for the driver fields of the management interface.
#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

// The module the PCI function's driver belongs to (its driver/module link), else the driver name.
std::string BoundModuleName(std::string_view pciAddress, std::string_view driver);
// The module's file under /lib/modules/<release>, as modules.dep lists it ("" when built in or
// not listed).
std::string ModuleFilePath(std::string_view module, std::string_view release);
// The line of modules.dep text that names the module's file ("" when none): the module name
// compares with '-' and '_' alike, whatever the file's compression suffix.
std::string FindModuleInDep(std::string_view depText, std::string_view module);
// "YYYYMMDD" (UTC) of the module file's modification time, "" when there is no file.
std::string ModuleFileDate(std::string_view module, std::string_view release);
// "YYYYMMDD" of seconds since 1970 (UTC); "" for times before 1970.
std::string DateOfUnixTime(std::int64_t seconds);

}  // namespace korvane
