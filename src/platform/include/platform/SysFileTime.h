#pragma once
// Modification times of machine files, through the same root prefix as every other read.
#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

// Seconds since 1970 (UTC) of the file's last modification; nullopt when it cannot be stat'ed.
std::optional<std::int64_t> SysFileModifiedTime(std::string_view absolutePath);

}  // namespace platform
