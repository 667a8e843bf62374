#pragma once
// Sound cards on USB as the management interface lists them: the audio function of the USB
// device, with its USB identity, under the generic USB audio driver's manufacturer.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sysinfo/LinuxHardware.h"
#include "sysinfo/Wmi.h"

namespace korvane {

struct UsbAudioFunction {
  std::uint16_t vendor = 0, product = 0;
  int interfaceNumber = 0;
  std::string interfacePath;  // where the interface's directory really is (for stable ids)
  std::string productName;    // the device's own product string, else the id database's
};

// The USB audio function behind an ALSA card, nullopt when the card is not on USB.
std::optional<UsbAudioFunction> UsbAudioOfCard(int cardIndex);

// USB\VID_046D&PID_0825&MI_02\<suffix>
std::string UsbAudioInstanceId(const UsbAudioFunction& usb);
WmiObject BuildUsbSoundDevice(const SoundCardInfo& card, const UsbAudioFunction& usb);

// The sound devices of all cards in card order: USB cards through BuildUsbSoundDevice, the
// others as BuildSoundDevices describes them.
std::vector<WmiObject> BuildSoundDevicesWithUsb(const std::vector<SoundCardInfo>& cards,
                                                const std::vector<PciDeviceInfo>& pci);

}  // namespace korvane
