#include "detect/DetectDiagnose.h"

#include <algorithm>
#include <utility>

#include "detect/CpuHelper.h"
#include "detect/DisplayHelper.h"
#include "detect/HddHelper.h"
#include "detect/MemoryHelper.h"
#include "detect/MonitorHelper.h"
#include "detect/NetworkHelper.h"
#include "detect/OthersHelper.h"
#include "hwlib/HardwareLibrary.h"
#include "platform/Text.h"

namespace korvane {
namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kTextNames[kCpuTextKinds] = {
    "name",     "codeName",        "package",       "brandString", "processTechnology",
    "stepping", "instructionSets", "identification"};
constexpr const char* kCacheNames[kCacheKinds] = {"l1Data", "l1Instruction", "trace", "l2", "l3"};

Json Base(const CDeviceHelper& d) {
  return Json{{"detected", d.detected}, {"sensorFlags", d.sensorFlags}, {"count", d.count}};
}

// Library texts may carry bytes that are not UTF-8 in odd locales; never let one break the dump.
std::string Safe(const std::string& text) {
  return platform::Utf16ToUtf8(platform::Utf8ToUtf16(text));
}

}  // namespace

Json DescribeCpuHelper(const CCPUHelper& cpu) {
  Json out = Base(cpu);
  out["processorCount"] = cpu.processorCount;
  Json processors = Json::array();
  const int shown = std::clamp(cpu.count, 0, kMaxProcessors);
  for (int i = 0; i < shown; ++i) {
    const auto at = static_cast<std::size_t>(i);
    Json p;
    p["coreCount"] = cpu.coreCount[at];
    p["threadCount"] = cpu.threadCount[at];
    p["signature"] = cpu.signature[at];
    p["brandInfo"] = cpu.brandInfo[at];
    p["stockClock"] = cpu.stockClock[at];
    p["busClock"] = cpu.busClock[at];
    p["coreClock"] = cpu.coreClock[at];
    p["multiplier"] = cpu.multiplier[at];
    p["busFrequency"] = cpu.busFrequency[at];
    p["ratedBusFrequency"] = cpu.ratedBusFrequency[at];
    p["processTechnology"] = cpu.processTechnology[at];
    p["coreVoltage"] = cpu.coreVoltage[at];
    p["architectureCode"] = cpu.architectureCode[at];
    p["unlockedMultiplier"] = cpu.unlockedMultiplier[at];
    Json texts;
    for (int k = 0; k < kCpuTextKinds; ++k)
      texts[kTextNames[k]] = Safe(cpu.texts[at][static_cast<std::size_t>(k)]);
    p["texts"] = std::move(texts);
    Json caches;
    for (int k = 0; k < kCacheKinds; ++k) {
      const _CACHE_DESCRIPTOR& c = cpu.caches[at][static_cast<std::size_t>(k)];
      caches[kCacheNames[k]] = Json{
          {"sizeKB", c.sizeKB}, {"count", c.count}, {"ways", c.ways}, {"lineSize", c.lineSize}};
    }
    p["caches"] = std::move(caches);
    processors.push_back(std::move(p));
  }
  out["processors"] = std::move(processors);
  return out;
}

Json DescribeMemoryHelper(const CMemoryHelper& m) {
  Json out = Base(m);
  out["caption"] = Safe(m.caption);
  out["name"] = Safe(m.name);
  out["totalPhysText"] = Safe(m.totalPhysText);
  out["availPhysText"] = Safe(m.availPhysText);
  out["status"] = Json{{"dwLength", m.status.dwLength},
                       {"dwMemoryLoad", m.status.dwMemoryLoad},
                       {"ullTotalPhys", m.status.ullTotalPhys},
                       {"ullAvailPhys", m.status.ullAvailPhys},
                       {"ullTotalPageFile", m.status.ullTotalPageFile},
                       {"ullAvailPageFile", m.status.ullAvailPageFile},
                       {"ullTotalVirtual", m.status.ullTotalVirtual},
                       {"ullAvailVirtual", m.status.ullAvailVirtual},
                       {"ullAvailExtendedVirtual", m.status.ullAvailExtendedVirtual}};
  out["totalMiB"] = m.totalMiB;
  out["availableMiB"] = m.availableMiB;
  out["usedMiB"] = m.usedMiB;
  return out;
}

Json DescribeHddHelper(const CHddHelper& h) {
  Json out = Base(h);
  out["maxItems"] = kMaxDisks;
  Json disks = Json::array();
  const int shown = std::clamp(h.count, 0, kMaxDisks);
  for (int i = 0; i < shown; ++i) {
    const CHddHelper::Disk& d = h.disks[static_cast<std::size_t>(i)];
    Json j;
    j["caption"] = Safe(d.caption);
    j["name"] = Safe(d.name);
    j["pnpDeviceId"] = Safe(d.pnpDeviceId);
    j["manufacturer"] = Safe(d.manufacturer);
    j["size"] = Safe(d.size);
    j["interfaceType"] = Safe(d.interfaceType);
    j["model"] = Safe(d.model);
    j["status"] = Safe(d.status);
    j["index"] = d.index;
    j["partitions"] = d.partitions;
    j["bytesPerSector"] = d.bytesPerSector;
    j["sectorsPerTrack"] = d.sectorsPerTrack;
    j["totalCylinders"] = Safe(d.totalCylinders);
    j["totalHeads"] = d.totalHeads;
    j["totalSectors"] = Safe(d.totalSectors);
    j["totalTracks"] = Safe(d.totalTracks);
    j["tracksPerCylinder"] = d.tracksPerCylinder;
    j["sourceIndex"] = Json::array({d.detail.sourceIndex[0], d.detail.sourceIndex[1],
                                    d.detail.sourceIndex[2], d.detail.sourceIndex[3]});
    disks.push_back(std::move(j));
  }
  out["disks"] = std::move(disks);
  return out;
}

Json DescribeDisplayHelper(const CDisplayHelper& h) {
  Json out = Base(h);
  out["maxItems"] = kMaxDisplayAdapters;
  Json adapters = Json::array();
  const int shown = std::clamp(h.count, 0, kMaxDisplayAdapters);
  for (int i = 0; i < shown; ++i) {
    const CDisplayHelper::Adapter& a = h.adapters[static_cast<std::size_t>(i)];
    const CDeviceDetail& d = h.details[static_cast<std::size_t>(i)];
    adapters.push_back(Json{{"caption", Safe(a.caption)},
                            {"name", Safe(a.name)},
                            {"pnpDeviceId", Safe(a.pnpDeviceId)},
                            {"adapterCompatibility", Safe(a.adapterCompatibility)},
                            {"dacType", Safe(a.dacType)},
                            {"adapterRam", Safe(a.adapterRam)},
                            {"driverDate", Safe(a.driverDate)},
                            {"driverVersion", Safe(a.driverVersion)},
                            {"memoryType", Safe(a.memoryType)},
                            {"videoArchitecture", Safe(a.videoArchitecture)},
                            {"scanMode", Safe(a.scanMode)},
                            {"installedDisplayDrivers", Safe(a.installedDisplayDrivers)},
                            {"sourceIndex", Json::array({d.sourceIndex[0], d.sourceIndex[1],
                                                         d.sourceIndex[2], d.sourceIndex[3]})}});
  }
  out["adapters"] = std::move(adapters);
  return out;
}

Json DescribeMonitorHelper(const CMonitorHelper& h) {
  Json out = Base(h);
  out["maxItems"] = kMaxMonitors;
  out["namedMonitors"] = h.CountNamedMonitors();
  Json pnp = Json::array();
  for (int i = 0; i < std::clamp(h.pnpMonitorCount, 0, kMaxPnpMonitors); ++i) {
    const CMonitorHelper::PnpMonitor& p = h.pnpMonitors[static_cast<std::size_t>(i)];
    pnp.push_back(Json{{"driverKey", Safe(p.driverKey)}, {"hardwareId", Safe(p.hardwareId)}});
  }
  out["pnpMonitors"] = std::move(pnp);
  Json monitors = Json::array();
  const int shown = std::clamp(h.count, 0, kMaxMonitors);
  for (int i = 0; i < shown; ++i) {
    const CMonitorHelper::Monitor& m = h.monitors[static_cast<std::size_t>(i)];
    monitors.push_back(Json{{"displayName", Safe(m.displayName)},
                            {"modelId", Safe(m.modelId)},
                            {"caption", Safe(m.caption)},
                            {"name", Safe(m.name)},
                            {"pnpDeviceId", Safe(m.pnpDeviceId)},
                            {"manufacturer", Safe(m.manufacturer)},
                            {"monitorType", Safe(m.monitorType)},
                            {"screenWidth", m.screenWidth},
                            {"screenHeight", m.screenHeight},
                            {"screenWidthText", Safe(m.screenWidthText)},
                            {"screenHeightText", Safe(m.screenHeightText)},
                            {"bitsPerPixel", m.bitsPerPixel},
                            {"refreshRate", m.refreshRate},
                            {"status", Safe(m.status)},
                            {"problemCode", m.problemCode},
                            {"problemText", Safe(m.problemText)},
                            {"pixelsPerX", m.pixelsPerX},
                            {"pixelsPerY", m.pixelsPerY},
                            {"pixelsPerXText", Safe(m.pixelsPerXText)},
                            {"pixelsPerYText", Safe(m.pixelsPerYText)},
                            {"confirmed", m.confirmed}});
  }
  out["monitors"] = std::move(monitors);
  return out;
}

Json DescribeNetworkHelper(const CNetworkHelper& n, bool showPrivate) {
  auto address = [showPrivate](const std::string& text) {
    return Safe(showPrivate ? text : MaskPublicAddresses(text));
  };
  Json out = Base(n);
  out["maxItems"] = kMaxNetworkAdapters;
  out["hostName"] = Safe(n.hostName);
  out["domainName"] = Safe(n.domainName);
  out["currentNameServer"] = address(n.currentNameServer);
  out["nodeType"] = n.nodeType;
  out["enableRouting"] = n.enableRouting;
  out["enableArpProxy"] = n.enableArpProxy;
  out["enableDns"] = n.enableDns;
  Json adapters = Json::array();
  const int shown = std::clamp(n.count, 0, kMaxNetworkAdapters);
  for (int i = 0; i < shown; ++i) {
    const CNetworkHelper::Adapter& a = n.adapters[static_cast<std::size_t>(i)];
    Json j;
    j["description"] = Safe(a.description);
    j["provider"] = Safe(a.provider);
    j["connectionStatus"] = a.connectionStatus;
    j["comboIndex"] = a.comboIndex;
    j["adapterName"] = Safe(a.adapterName);
    j["hardwareAddress"] =
        Safe(showPrivate ? a.hardwareAddress : MaskHardwareAddress(a.hardwareAddress));
    j["interfaceIndex"] = a.interfaceIndex;
    j["interfaceType"] = a.interfaceType;
    j["typeText"] = Safe(a.typeText);
    j["dhcpEnabled"] = a.dhcpEnabled;
    j["currentAddress"] = address(a.currentAddress);
    j["addresses"] = address(a.addresses);
    j["masks"] = Safe(a.masks);
    j["gateways"] = address(a.gateways);
    j["nameServers"] = address(a.nameServers);
    j["dhcpServer"] = address(a.dhcpServer);
    j["winsEnabled"] = a.winsEnabled;
    j["primaryWins"] = address(a.primaryWins);
    j["secondaryWins"] = address(a.secondaryWins);
    adapters.push_back(std::move(j));
  }
  out["adapters"] = std::move(adapters);
  return out;
}

Json DescribeSoundHelper(const CSoundHelper& s) {
  Json out = Base(s);
  out["maxItems"] = kMaxSoundDevices;
  Json devices = Json::array();
  const int shown = std::clamp(s.count, 0, kMaxSoundDevices);
  for (int i = 0; i < shown; ++i) {
    const CSoundHelper::Device& d = s.devices[static_cast<std::size_t>(i)];
    devices.push_back(Json{{"deviceName", Safe(d.deviceName)},
                           {"caption", Safe(d.caption)},
                           {"name", Safe(d.name)},
                           {"deviceId", Safe(d.deviceId)},
                           {"pnpDeviceId", Safe(d.pnpDeviceId)},
                           {"manufacturer", Safe(d.manufacturer)}});
  }
  out["devices"] = std::move(devices);
  Json inputs = Json::array();
  for (int i = 0; i < std::clamp(s.waveInCount, 0, kMaxWaveDevices); ++i)
    inputs.push_back(Safe(s.waveInNames[static_cast<std::size_t>(i)]));
  Json outputs = Json::array();
  for (int i = 0; i < std::clamp(s.waveOutCount, 0, kMaxWaveDevices); ++i)
    outputs.push_back(Safe(s.waveOutNames[static_cast<std::size_t>(i)]));
  out["waveInputs"] = std::move(inputs);
  out["waveOutputs"] = std::move(outputs);
  return out;
}

Json DescribeOthersHelper(const COthersHelper& o) {
  Json out = Base(o);
  out["sound"] = DescribeSoundHelper(o.sound);
  return out;
}

Json DiagnoseDetectors() { return DiagnoseDetectors(HardwareLibrary()); }

Json DiagnoseDetectors(CPUIDSDK* library) { return DiagnoseDetectors(library, false); }

Json DiagnoseDetectors(CPUIDSDK* library, bool showPrivate) {
  return DiagnoseDetectors(library, showPrivate, nullptr);
}

Json DiagnoseDetectors(CPUIDSDK* library, bool showPrivate,
                       std::shared_ptr<detect::IDriverDatabase> database) {
  CpuSources sources;
  sources.library = [library] { return library; };
  CCPUHelper cpu(std::move(sources));
  CMemoryHelper memory;
  CHddHelper hdd;
  CDisplayHelper display(database);
  CMonitorHelper monitor;
  CNetworkHelper network;
  SoundSources sound = SoundSources::Machine();
  if (database) sound.database = database;
  COthersHelper others(std::move(sound));
  DetectionPass pass;
  pass.processor = &cpu;
  pass.memory = &memory;
  pass.display = &display;
  pass.monitor = &monitor;
  pass.disk = &hdd;
  pass.network = &network;
  pass.others = &others;
  RunDetectionPass(pass);
  return Json{{"cpu", DescribeCpuHelper(cpu)},
              {"memory", DescribeMemoryHelper(memory)},
              {"display", DescribeDisplayHelper(display)},
              {"monitors", DescribeMonitorHelper(monitor)},
              {"disks", DescribeHddHelper(hdd)},
              {"network", DescribeNetworkHelper(network, showPrivate)},
              {"others", DescribeOthersHelper(others)}};
}

}  // namespace korvane
