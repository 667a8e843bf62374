#pragma once
// Names from the PCI id list (pci.ids), read where they are needed instead of held in memory.
//
// libpci parses the whole list into a hash of every name (about 2.3 MB for 1.3 MB of text) the
// first time one name is asked for, and both the program and the hardware library need a few
// dozen names at most. This reader keeps only where each vendor and class starts in the file
// (one pass, a few tens of kilobytes), and where each device starts inside a vendor once that
// vendor has been asked about; a name is read back from the file when it is wanted.
//
// The answers are libpci's with PCI_LOOKUP_NO_NUMBERS and without the udev hardware database:
// the same text, the same fall-backs for subsystems and classes, "" where libpci gives none.
// A line libpci would refuse is skipped here instead of ending the list there.
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

class PciIdList {
 public:
  // The distribution's list: the first of the usual places that holds one, "" when none does.
  // It describes ids, not the machine, so it is read from the real root even for a recorded
  // machine, which keeps the names of recorded machines the same on every test machine that
  // has the same list.
  static std::string SystemPath();

  explicit PciIdList(std::string path);
  ~PciIdList();
  PciIdList(const PciIdList&) = delete;
  PciIdList& operator=(const PciIdList&) = delete;

  // Safe to call from several threads. "" when the id is not listed or the list is missing.
  std::string Vendor(std::uint16_t vendor);
  std::string Device(std::uint16_t vendor, std::uint16_t device);
  // The subsystem's own name; else a generic subsystem entry; else, when the subsystem ids are
  // the device's own, the device's name.
  std::string Subsystem(std::uint16_t vendor, std::uint16_t device, std::uint16_t subVendor,
                        std::uint16_t subDevice);
  // classAndSubclass = class << 8 | subclass. The subclass's name, else the class's name with
  // the full number ("Bridge [06ff]").
  std::string Class(std::uint16_t classAndSubclass);

  struct Entry {
    std::uint16_t id;
    std::uint32_t offset;  // of the entry's line in the file
  };

 private:
  bool Open();  // opens and indexes once; false without a list
  const std::vector<Entry>& Devices(std::uint16_t vendor);  // indexes one vendor's block once
  std::string SubsystemUnlocked(std::uint16_t vendor, std::uint16_t device, std::uint16_t subVendor,
                                std::uint16_t subDevice);
  std::string DeviceUnlocked(std::uint16_t vendor, std::uint16_t device);

  std::mutex mutex_;
  std::string path_;
  int fd_ = -1;
  bool opened_ = false;
  std::vector<Entry> vendors_;  // sorted by id
  std::vector<Entry> classes_;  // sorted by id
  std::vector<Entry> generic_;  // generic subsystem blocks ("S 1234"), sorted by id
  std::map<std::uint16_t, std::vector<Entry>> devices_;  // per vendor asked about, sorted by id
};

}  // namespace platform
