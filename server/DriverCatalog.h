#pragma once
// The driver database's content and the readers that build it from the system's own id
// databases: pci.ids and usb.ids (hwdata), the HD Audio codec table shipped with the server,
// and the kernels' modules.alias files (which module binds which device).
//
// Hardware ids are kept in the Windows form the program asks with, upper case:
//   PCI\VEN_10DE&DEV_2484            PCI\VEN_10DE&DEV_2484&SUBSYS_404C1458
//   USB\VID_046D&PID_C52B            HDAUDIO\FUNC_01&VEN_10EC&DEV_0887
// (SUBSYS is the subsystem device id followed by the subsystem vendor id.)
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::server {

// What a device is.
struct DeviceName {
  std::string hardwareId;
  std::int32_t typeId = 1;
  std::string chipName;
  std::string manufacturerEn;
  std::string manufacturerCn;
  std::string source;  // "pci.ids", "usb.ids", "hda-codecs", "modules.alias"
};

// Which Linux driver binds it, per kernel.
struct DriverBinding {
  std::string hardwareId;
  std::string driverName;   // the module
  std::string version;      // the kernel release
  std::string releaseDate;  // the alias file's date, YYYY-MM-DD
};

struct DriverCatalog {
  std::vector<DeviceName> names;
  std::vector<DriverBinding> bindings;
};

// pci.ids: vendors, devices and subsystems (a subsystem gets its own entry whose chip name is
// the subsystem's name). Lines that do not fit the format are skipped; the class table at the
// end is ignored.
void ReadPciIds(std::string_view text, std::vector<DeviceName>& out);
// usb.ids: vendors and products (interfaces and the class tables are ignored).
void ReadUsbIds(std::string_view text, std::vector<DeviceName>& out);
// The codec table (see data/hda-codecs.tsv); malformed lines are skipped.
void ReadHdaCodecTable(std::string_view text, std::vector<DeviceName>& out);
// One kernel's modules.alias: PCI aliases with exact vendor and device (and subsystem when
// given), USB aliases with exact vendor and product, HD Audio aliases with an exact codec id.
// Vendor-wide codec aliases (hdaudio:v10EC*) are returned in vendorWideCodecs as
// (vendor 4 hex digits, module) for the caller to apply to the known codecs of that vendor.
struct VendorWideCodecDriver {
  std::string vendor;
  std::string module;
};
void ReadModulesAlias(std::string_view text, std::string_view kernelRelease,
                      std::string_view fileDate, std::vector<DriverBinding>& out,
                      std::vector<VendorWideCodecDriver>* vendorWideCodecs);

struct ImportSources {
  std::string pciIds;  // file paths; empty or missing files are skipped
  std::string usbIds;
  std::string modulesRoot;  // a folder holding one folder per kernel release (/lib/modules)
  std::string codecTable;   // the codec table's text
};
// The system's files: /usr/share/misc/pci.ids (or hwdata's), hwdata's usb.ids (or usbutils'),
// /lib/modules.
ImportSources SystemImportSources(std::string codecTable);

struct ImportReport {
  std::size_t pciNames = 0, usbNames = 0, codecNames = 0, bindings = 0, kernels = 0;
  std::vector<std::string> notes;  // what was missing or skipped
};
DriverCatalog BuildCatalog(const ImportSources& sources, ImportReport& report);

}  // namespace korvane::server
