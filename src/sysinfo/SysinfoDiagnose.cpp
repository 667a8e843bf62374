#include "sysinfo/SysinfoDiagnose.h"

#include "platform/Text.h"
#include "sysinfo/DeviceEnum.h"
#include "sysinfo/DirectX.h"
#include "sysinfo/LinuxWmiProvider.h"
#include "sysinfo/OsName.h"
#include "sysinfo/Wmi.h"

namespace korvane {

namespace {

nlohmann::ordered_json VariantJson(const Variant& v) {
  switch (v.vt) {
    // Machine texts are cleaned where they are read; cleaning again here costs little and
    // keeps any text that came another way from breaking the JSON.
    case VT_BSTR: return platform::CleanMachineText(v.bstrVal, true);
    case VT_I4: return v.lVal;
    case VT_BOOL: return v.lVal != 0;
    default: return nullptr;
  }
}

}  // namespace

nlohmann::ordered_json DiagnoseSysinfo() {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();

  std::string longName;
  std::string buildText;
  const int named = GetOsName(&longName, &buildText);
  out["os"] = {{"result", named},
               {"longName", longName},
               {"buildText", buildText},
               {"shortCode", OsShortCode()},
               {"isNt5OrLater", IsNt5OrLater()},
               {"isVista", IsVista()},
               {"isWindows7", IsWindows7()},
               {"isServer2008", IsServer2008()}};

  DirectXVersion dx;
  const int dxResult = GetDirectXVersion(&dx);
  std::string registryVersion;
  const bool haveRegistry = GetDirectXRegistryVersion(&registryVersion) == 1;
  out["directx"] = {{"result", dxResult},
                    {"major", dx.major},
                    {"minor", dx.minor},
                    {"letter", std::string(1, dx.letter)},
                    {"registryVersion", haveRegistry ? nlohmann::ordered_json(registryVersion) : nullptr}};

  nlohmann::ordered_json wmi = nlohmann::ordered_json::object();
  for (const std::string_view className : SupportedWmiClasses()) {
    nlohmann::ordered_json objects = nlohmann::ordered_json::array();
    WmiQuery query("Select * From " + std::string(className));
    while (auto object = query.Next()) {
      nlohmann::ordered_json properties = nlohmann::ordered_json::object();
      for (const auto& [name, value] : object->Properties()) properties[name] = VariantJson(value);
      objects.push_back(std::move(properties));
    }
    wmi[std::string(className)] = std::move(objects);
  }
  out["wmi"] = std::move(wmi);

  nlohmann::ordered_json devices = nlohmann::ordered_json::array();
  for (const DeviceRecord& record : EnumerateDeviceRecords(nullptr, nullptr)) {
    devices.push_back({{"class", platform::CleanMachineText(RecordText(record.className), false)},
                       {"instanceId", platform::CleanMachineText(RecordText(record.instanceId), false)},
                       {"name", platform::CleanMachineText(RecordText(record.name), false)}});
  }
  out["devices"] = std::move(devices);
  return out;
}

}  // namespace korvane
