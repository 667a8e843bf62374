#pragma once
// The database keys to try for a hardware id the program asks with, most specific first. The
// program sends the device's id up to its instance part (or the whole instance id); the keys
// keep the identifying fields in their usual order and drop, in turn, the revision and the
// subsystem: PCI\VEN_10DE&DEV_0611&SUBSYS_C7723842&REV_A2 gives
//   PCI\VEN_10DE&DEV_0611&SUBSYS_C7723842&REV_A2, PCI\VEN_10DE&DEV_0611&SUBSYS_C7723842,
//   PCI\VEN_10DE&DEV_0611&REV_A2, PCI\VEN_10DE&DEV_0611.
// An id of another form is looked up as it stands (upper case, instance part dropped).
#include <string>
#include <string_view>
#include <vector>

namespace korvane::server {

std::vector<std::string> LookupKeys(std::string_view hardwareId);

}  // namespace korvane::server
