#pragma once
// Terminal output hides the user's addresses unless asked: the summary rows that carry a
// hardware address or IP addresses, and how their values are masked.
#include <string>
#include <string_view>

namespace korvane::summary {

// True for the rows whose values may identify the machine or its owner.
bool IsPrivateRow(int category, std::string_view key);
// All but the last two bytes of a hardware address: "XX-XX-XX-XX-4D-5E".
std::string MaskHardwareAddress(std::string_view text);
// The first three parts of every public IPv4 address: "XXX.XXX.XXX.17"; private, loopback,
// link-local and other non-public ranges stay. Everything else in the text is kept.
std::string MaskPublicAddresses(std::string_view text);
// The masked form of a row's value (unchanged for rows that are not private).
std::string MaskRowValue(int category, std::string_view key, std::string_view value);

}  // namespace korvane::summary
