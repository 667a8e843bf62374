#pragma once
// Read-only bytes linked into the executable, found by type and numeric id like Windows
// resources ("DATA"/205 is the hardware library). The build links them with
// korvane_embed_resource(); each registers itself before main().
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace platform {

bool RegisterResource(const char* type, int id, const unsigned char* data, std::size_t size);
// Empty span when there is no such resource.
std::span<const std::uint8_t> FindResource(std::string_view type, int id);

}  // namespace platform
