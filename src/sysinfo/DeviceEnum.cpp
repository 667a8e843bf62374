#include "sysinfo/DeviceEnum.h"

#include <cstring>
#include <exception>
#include <mutex>

#include "platform/Text.h"
#include "sysinfo/LinuxHardware.h"
#include "sysinfo/WindowsIds.h"

namespace korvane {

namespace {

std::mutex gSourceMutex;
std::function<std::vector<PresentDevice>()> gTestSource;

bool PrefixMatches(std::string_view id, std::string_view prefix) {
  return id.size() >= prefix.size() &&
         platform::EqualsIgnoreCase(id.substr(0, prefix.size()), prefix);
}

std::string ProcessorInstanceId(const ProcessorInfo& cpu) {
  // ACPI\GenuineIntel_-_Intel64_Family_6_Model_158_-_<model name>\_<n>
  const char* arch =
      cpu.vendorId == "AuthenticAMD" || cpu.vendorId == "HygonGenuine" ? "AMD64" : "Intel64";
  std::string id = platform::Format("ACPI\\%s_-_%s_Family_%d_Model_%d", cpu.vendorId.c_str(), arch,
                                    cpu.family, cpu.model);
  std::string model = cpu.modelName;
  for (char& c : model) {
    if (c == ' ' || c == '\\') c = '_';
  }
  if (!model.empty()) id += "_-_" + model;
  return platform::ToUpperAscii(id) + platform::Format("\\_%d", cpu.index);
}

}  // namespace

void SetRecordTextImpl(char16_t* field, std::size_t capacity, std::string_view utf8) {
  std::memset(field, 0, capacity * sizeof(char16_t));
  if (capacity == 0) return;
  const std::u16string text =
      platform::Utf8ToUtf16(platform::TruncateUtf16Units(utf8, capacity - 1));
  const std::size_t n = std::min(text.size(), capacity - 1);
  std::memcpy(field, text.data(), n * sizeof(char16_t));
}

std::string RecordText(const char16_t* field, std::size_t capacity) {
  std::size_t n = 0;
  while (n < capacity && field[n] != 0) ++n;
  return platform::Utf16ToUtf8(std::u16string_view(field, n));
}

namespace {

PresentDevice ComputerDevice() {
  return {"Computer", "ROOT\\ACPI_HAL\\0000", ComputerDeviceName(MachineArchitecture())};
}

bool HasTestSource() {
  std::lock_guard lock(gSourceMutex);
  return static_cast<bool>(gTestSource);
}

}  // namespace

std::vector<PresentDevice> ListPresentDevices() {
  {
    std::lock_guard lock(gSourceMutex);
    if (gTestSource) return gTestSource();
  }
  std::vector<PresentDevice> devices;
  devices.push_back(ComputerDevice());
  for (const ProcessorInfo& cpu : ScanProcessors()) {
    devices.push_back({"Processor", ProcessorInstanceId(cpu),
                       cpu.modelName.empty() ? "Processor" : cpu.modelName});
  }
  const std::vector<PciDeviceInfo> pci = ScanPciDevices();
  for (const PciDeviceInfo& p : pci) {
    devices.push_back({PciSetupClass(p.classCode), PciInstanceId(p), PciFriendlyName(p)});
  }
  for (const SoundCardInfo& card : ScanSoundCards()) {
    std::string controllerPath = card.pciAddress.empty() ? card.id : card.pciAddress;
    for (const PciDeviceInfo& p : pci) {
      if (p.address == card.pciAddress) controllerPath = p.sysPath;
    }
    for (const HdaCodecInfo& codec : card.codecs) {
      const bool modem = !codec.audioFunction && codec.modemFunction;
      devices.push_back({modem ? "Modem" : "MEDIA", HdaInstanceId(codec, controllerPath),
                         codec.name.empty() ? "High Definition Audio Device" : codec.name});
    }
  }
  for (const UsbDeviceInfo& usb : ScanUsbDevices()) {
    devices.push_back({UsbSetupClass(usb), UsbInstanceId(usb), UsbFriendlyName(usb)});
  }
  for (const DrmConnectorInfo& c : ScanDrmConnectors()) {
    if (c.connected) devices.push_back({"Monitor", MonitorInstanceId(c), MonitorFriendlyName(c)});
  }
  for (const DiskInfo& d : ScanDisks()) {
    devices.push_back({"DiskDrive", DiskInstanceId(d), DiskModel(d)});
  }
  return devices;
}

std::optional<PresentDevice> FirstPresentDevice(std::string_view className) {
  if (!HasTestSource() && platform::EqualsIgnoreCase(className, "Computer"))
    return ComputerDevice();
  for (PresentDevice& device : ListPresentDevices()) {
    if (platform::EqualsIgnoreCase(device.className, className)) return std::move(device);
  }
  return std::nullopt;
}

void SetDeviceSourceForTesting(std::function<std::vector<PresentDevice>()> source) {
  std::lock_guard lock(gSourceMutex);
  gTestSource = std::move(source);
}

std::uint32_t EnumerateDevices(DeviceRecord* buffer, const char* enumeratorPrefix,
                               const char* className, std::uint32_t* count) {
  if (count == nullptr) return kEnumNoCount;
  const std::uint32_t capacity = *count;
  std::uint32_t found = 0;
  try {
    const std::vector<PresentDevice> devices = ListPresentDevices();
    for (const PresentDevice& device : devices) {
      if (device.className.empty()) continue;
      if (className != nullptr && !platform::EqualsIgnoreCase(device.className, className))
        continue;
      if (device.instanceId.empty()) continue;
      // Ids longer than the record holds are cut as the configuration manager cuts them.
      const std::string id = platform::TruncateUtf16Units(device.instanceId, 199);
      if (enumeratorPrefix != nullptr && !PrefixMatches(id, enumeratorPrefix)) continue;
      if (buffer != nullptr && found < capacity) {
        DeviceRecord record;
        SetRecordText(record.className, device.className);
        SetRecordText(record.instanceId, id);
        SetRecordText(record.name, device.name);
        SetRecordText(record.name2, device.name);
        buffer[found] = record;
      }
      ++found;
    }
  } catch (const std::exception&) {
    // A failure while reading the machine must not cross into the detectors.
    return kEnumFailed;
  }
  *count = found;
  if (buffer == nullptr || found > capacity) return kEnumMoreData;
  if (found == 0) return kEnumNoDevice;
  return kEnumOk;
}

std::vector<DeviceRecord> EnumerateDeviceRecords(const char* enumeratorPrefix,
                                                 const char* className) {
  std::uint32_t count = 0;
  if (EnumerateDevices(nullptr, enumeratorPrefix, className, &count) != kEnumMoreData ||
      count == 0 || count > kMaxDeviceRecords) {
    return {};
  }
  std::vector<DeviceRecord> records(count);
  std::uint32_t capacity = count;
  if (EnumerateDevices(records.data(), enumeratorPrefix, className, &capacity) != kEnumOk)
    return {};
  records.resize(capacity);
  return records;
}

}  // namespace korvane
