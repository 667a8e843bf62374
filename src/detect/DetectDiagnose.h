#pragma once
// What the processor, memory and disk detectors found, as one JSON object for
// `korvane --diagnose`.
#include <memory>

#include <nlohmann/json.hpp>

#include "detect/DriverDatabase.h"

namespace korvane {

class CPUIDSDK;
class CCPUHelper;
class CMemoryHelper;
class CHddHelper;
class CDisplayHelper;
class CMonitorHelper;
class CNetworkHelper;
class CSoundHelper;
class COthersHelper;

// Runs a full pass of the three detectors (the hardware library, when started, is used as it
// is; without it the processor part stays empty) and returns every field:
// {"cpu": {...}, "memory": {...}, "display": {...}, "monitors": {...}, "disks": {...}}.
nlohmann::ordered_json DiagnoseDetectors();
// The same over a wrapper the caller started itself (nullptr: no library).
nlohmann::ordered_json DiagnoseDetectors(CPUIDSDK* library);
// The same, adding the network and other-devices detectors ("network", "others"). Hardware and
// public IP addresses are masked unless showPrivate is set.
nlohmann::ordered_json DiagnoseDetectors(CPUIDSDK* library, bool showPrivate);
// The same with the driver database the display and sound fallbacks ask (null: none).
nlohmann::ordered_json DiagnoseDetectors(CPUIDSDK* library, bool showPrivate,
                                         std::shared_ptr<detect::IDriverDatabase> database);

// The fields of detectors that have already run.
nlohmann::ordered_json DescribeCpuHelper(const CCPUHelper& cpu);
nlohmann::ordered_json DescribeMemoryHelper(const CMemoryHelper& memory);
nlohmann::ordered_json DescribeHddHelper(const CHddHelper& hdd);
nlohmann::ordered_json DescribeDisplayHelper(const CDisplayHelper& display);
nlohmann::ordered_json DescribeMonitorHelper(const CMonitorHelper& monitor);
nlohmann::ordered_json DescribeNetworkHelper(const CNetworkHelper& network, bool showPrivate);
nlohmann::ordered_json DescribeSoundHelper(const CSoundHelper& sound);
nlohmann::ordered_json DescribeOthersHelper(const COthersHelper& others);

}  // namespace korvane
