#include "sysinfo/UsbAudio.h"

#include <charconv>

#include "platform/Sysroot.h"
#include "platform/Text.h"
#include "sysinfo/LinuxWmiProvider.h"
#include "sysinfo/UsbIds.h"
#include "sysinfo/WindowsIds.h"

namespace korvane {

namespace {

std::optional<std::uint32_t> ReadHexLine(const std::string& path) {
  const auto line = platform::ReadSysLine(path);
  if (!line) return std::nullopt;
  std::uint32_t value = 0;
  const auto [ptr, ec] = std::from_chars(line->data(), line->data() + line->size(), value, 16);
  if (ec != std::errc() || ptr == line->data()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<UsbAudioFunction> UsbAudioOfCard(int cardIndex) {
  if (cardIndex < 0) return std::nullopt;
  const std::string device = platform::Format("/sys/class/sound/card%d/device", cardIndex);
  // The card's device is the USB interface; its parent directory is the USB device.
  const auto vendor = ReadHexLine(device + "/../idVendor");
  const auto product = ReadHexLine(device + "/../idProduct");
  if (!vendor || !product) return std::nullopt;
  UsbAudioFunction usb;
  usb.vendor = static_cast<std::uint16_t>(*vendor);
  usb.product = static_cast<std::uint16_t>(*product);
  usb.interfaceNumber = static_cast<int>(ReadHexLine(device + "/bInterfaceNumber").value_or(0));
  usb.interfacePath = platform::ReadSysLink(device).value_or(device);
  usb.productName = platform::ReadSysLine(device + "/../product").value_or("");
  if (usb.productName.empty())
    usb.productName = UsbIds::System().ProductName(usb.vendor, usb.product);
  return usb;
}

std::string UsbAudioInstanceId(const UsbAudioFunction& usb) {
  return platform::Format("USB\\VID_%04X&PID_%04X&MI_%02X\\", usb.vendor, usb.product,
                          usb.interfaceNumber & 0xFF) +
         InstanceSuffix(6, usb.interfacePath,
                        platform::Format("%04X", usb.interfaceNumber & 0xFFFF));
}

WmiObject BuildUsbSoundDevice(const SoundCardInfo& card, const UsbAudioFunction& usb) {
  std::string name = usb.productName;
  if (name.empty()) name = card.shortName.empty() ? card.id : card.shortName;
  if (name.empty()) name = "USB Audio Device";
  const std::string id = UsbAudioInstanceId(usb);
  WmiObject o("Win32_SoundDevice");
  o.Put("Caption", Variant::String(name));
  o.Put("Name", Variant::String(name));
  o.Put("ProductName", Variant::String(name));
  o.Put("Description", Variant::String(name));
  o.Put("Manufacturer", Variant::String("(Generic USB Audio)"));
  o.Put("DeviceID", Variant::String(id));
  o.Put("PNPDeviceID", Variant::String(id));
  o.Put("Status", Variant::String("OK"));
  o.Put("StatusInfo", Variant::Int32(3));
  o.Put("ConfigManagerErrorCode", Variant::Int32(0));
  return o;
}

std::vector<WmiObject> BuildSoundDevicesWithUsb(const std::vector<SoundCardInfo>& cards,
                                                const std::vector<PciDeviceInfo>& pci) {
  std::vector<WmiObject> objects;
  for (const SoundCardInfo& card : cards) {
    // A USB card also has a PCI address: the one of its USB controller.
    if (card.codecs.empty()) {
      if (const auto usb = UsbAudioOfCard(card.index)) {
        objects.push_back(BuildUsbSoundDevice(card, *usb));
        continue;
      }
    }
    for (WmiObject& o : BuildSoundDevices({card}, pci)) objects.push_back(std::move(o));
  }
  return objects;
}

}  // namespace korvane
