#pragma once
// Terminal output hides the user's addresses unless asked: the summary rows that carry a
// hardware address or IP addresses, and how their values are masked.
#include <string>
#include <string_view>

namespace korvane::summary {

// True for the rows whose values may identify the machine or its owner.
bool IsPrivateRow(int category, std::string_view key);
// The masked form of a row's value (unchanged for rows that are not private), by the same
// rules as every other terminal output of the program.
std::string MaskRowValue(int category, std::string_view key, std::string_view value);

}  // namespace korvane::summary
