// The PCI id list reader gives libpci's names: every entry of the system's list is asked of
// both, and hand-made lists cover the fall-backs and the lines libpci trips over.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

extern "C" {
#include <pci/pci.h>
}

#include "platform/PciIds.h"

namespace {

using platform::PciIdList;
using namespace std::string_literals;

void Quiet(char*, ...) {}

// libpci as the oracle, on the same file, the way the program used to ask it.
class LibPci {
 public:
  explicit LibPci(const std::string& path) : a_(pci_alloc()), path_(path) {
    a_->error = Quiet;
    a_->warning = Quiet;
    a_->debug = Quiet;
    pci_set_name_list_path(a_, path_.data(), 0);
  }
  ~LibPci() { pci_cleanup(a_); }
  std::string Vendor(unsigned v) { return Ask(PCI_LOOKUP_VENDOR, v); }
  std::string Device(unsigned v, unsigned d) { return Ask(PCI_LOOKUP_DEVICE, v, d); }
  std::string Subsystem(unsigned v, unsigned d, unsigned sv, unsigned sd) {
    return Ask(PCI_LOOKUP_SUBSYSTEM | PCI_LOOKUP_DEVICE, v, d, sv, sd);
  }
  std::string Class(unsigned c) { return Ask(PCI_LOOKUP_CLASS, c); }

 private:
  std::string Ask(int flags, unsigned a, unsigned b = 0, unsigned c = 0, unsigned d = 0) {
    char buffer[1024];
    const char* n = pci_lookup_name(a_, buffer, sizeof buffer,
                                    flags | PCI_LOOKUP_NO_NUMBERS | PCI_LOOKUP_NO_HWDB, a, b, c, d);
    return n != nullptr ? n : "";
  }
  pci_access* a_;
  std::string path_;
};

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/pciids-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string Write(const std::string& name, const std::string& text) const {
    const std::string file = path_ + "/" + name;
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Every id the list names, gathered the simplest way; which names they carry is the oracle's
// business.
struct ListedIds {
  std::vector<unsigned> vendors;
  std::vector<std::pair<unsigned, unsigned>> devices;
  std::vector<std::tuple<unsigned, unsigned, unsigned, unsigned>> subsystems;
};

bool HexAt(const std::string& s, std::size_t at, std::size_t n, unsigned& value) {
  if (s.size() < at + n) return false;
  for (std::size_t i = at; i < at + n; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
  value = static_cast<unsigned>(std::stoul(s.substr(at, n), nullptr, 16));
  return true;
}

ListedIds Gather(const std::string& path) {
  ListedIds ids;
  std::ifstream in(path);
  std::string line;
  unsigned v = 0, d = 0, a = 0, b = 0;
  bool inVendor = false;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] != '\t') {
      inVendor = HexAt(line, 0, 4, v);
      if (inVendor) ids.vendors.push_back(v);
    } else if (!inVendor) {
      continue;
    } else if (line.size() > 1 && line[1] != '\t') {
      if (HexAt(line, 1, 4, d)) ids.devices.emplace_back(v, d);
    } else if (HexAt(line, 2, 4, a) && HexAt(line, 7, 4, b)) {
      ids.subsystems.emplace_back(v, d, a, b);
    }
  }
  return ids;
}

TEST(PciIdList, SystemListAnswersAsLibpciDoesForEveryEntry) {
  const std::string path = PciIdList::SystemPath();
  if (path.empty()) GTEST_SKIP() << "no pci.ids on this machine";
  PciIdList list(path);
  LibPci oracle(path);
  const ListedIds ids = Gather(path);
  ASSERT_GT(ids.vendors.size(), 1000u);
  ASSERT_GT(ids.subsystems.size(), 1000u);
  int mismatches = 0;
  auto check = [&](const std::string& mine, const std::string& theirs, const std::string& what) {
    if (mine == theirs) return;
    if (++mismatches <= 10)
      ADD_FAILURE() << what << ": \"" << mine << "\" vs libpci \"" << theirs << "\"";
  };
  char what[64];
  for (unsigned v : ids.vendors) {
    std::snprintf(what, sizeof what, "vendor %04x", v);
    check(list.Vendor(v), oracle.Vendor(v), what);
  }
  for (auto [v, d] : ids.devices) {
    std::snprintf(what, sizeof what, "device %04x:%04x", v, d);
    check(list.Device(v, d), oracle.Device(v, d), what);
    // Unlisted subsystems: the device itself when the ids are its own, else nothing.
    check(list.Subsystem(v, d, v, d), oracle.Subsystem(v, d, v, d),
          std::string(what) + " as its own subsystem");
    check(list.Subsystem(v, d, 0x1af4, 0x7fff), oracle.Subsystem(v, d, 0x1af4, 0x7fff),
          std::string(what) + " unlisted subsystem");
  }
  for (auto [v, d, sv, sd] : ids.subsystems) {
    std::snprintf(what, sizeof what, "subsystem %04x:%04x %04x:%04x", v, d, sv, sd);
    check(list.Subsystem(v, d, sv, sd), oracle.Subsystem(v, d, sv, sd), what);
  }
  for (unsigned c = 0; c <= 0xFFFF; ++c) {
    std::snprintf(what, sizeof what, "class %04x", c);
    check(list.Class(static_cast<std::uint16_t>(c)), oracle.Class(c), what);
  }
  // Ids the list does not hold, including a device id of a vendor that is listed.
  for (unsigned v : {0x0000u, 0xffffu, 0x0001u})
    check(list.Vendor(v), oracle.Vendor(v), "unlisted vendor");
  check(list.Device(0x8086, 0xfffe), oracle.Device(0x8086, 0xfffe), "unlisted Intel device");
  EXPECT_EQ(mismatches, 0);
}

// The lines a hand-edited or damaged list holds, asked of both readers where libpci copes.
TEST(PciIdList, LineFormsAsLibpciReadsThem) {
  TempFolder dir;
  const std::string path =
      dir.Write("pci.ids",
                "# comment\n"
                "\n"
                "10de  NVIDIA Corporation\r\n"          // CRLF
                "\t2484  GA104 [GeForce RTX 3070]\t\n"  // one trailing blank goes
                "\t\t# nested comment\n"
                "\t\t1043 87b8  Dual RTX 3070  \n"  // of two, one stays
                "\t2486  GA104 [GeForce RTX 3060 Ti]\n"
                "   \n"
                "1AF4  Upper Case Vendor\n"
                "\t10A0  Upper Case Device\n"
                "1234\tTab Separated\n"
                "C 06  Bridge\n"
                "\t00  Host bridge\n"
                "\t\t00  Prog if\n"
                "\t04  PCI bridge\n"
                "C 0c  Serial bus controller\n"
                "\t03  USB controller");  // no final line end
  PciIdList list(path);
  LibPci oracle(path);
  EXPECT_EQ(list.Vendor(0x10de), "NVIDIA Corporation");
  EXPECT_EQ(list.Device(0x10de, 0x2484), "GA104 [GeForce RTX 3070]");
  EXPECT_EQ(list.Subsystem(0x10de, 0x2484, 0x1043, 0x87b8), "Dual RTX 3070 ");
  EXPECT_EQ(list.Vendor(0x1af4), "Upper Case Vendor");
  EXPECT_EQ(list.Device(0x1af4, 0x10a0), "Upper Case Device");
  EXPECT_EQ(list.Class(0x0604), "PCI bridge");
  EXPECT_EQ(list.Class(0x06ff), "Bridge [06ff]");
  EXPECT_EQ(list.Class(0x0c03), "USB controller");
  EXPECT_EQ(list.Class(0x0700), "");
  for (unsigned v : {0x10deu, 0x1af4u, 0x1234u, 0x5555u})
    EXPECT_EQ(list.Vendor(v), oracle.Vendor(v)) << v;
  for (auto [v, d] :
       {std::pair{0x10deu, 0x2484u}, {0x10deu, 0x2486u}, {0x1af4u, 0x10a0u}, {0x10deu, 0x1u}})
    EXPECT_EQ(list.Device(v, d), oracle.Device(v, d)) << v << ":" << d;
  EXPECT_EQ(list.Subsystem(0x10de, 0x2484, 0x1043, 0x87b8),
            oracle.Subsystem(0x10de, 0x2484, 0x1043, 0x87b8));
  EXPECT_EQ(list.Subsystem(0x10de, 0x2486, 0x10de, 0x2486),
            oracle.Subsystem(0x10de, 0x2486, 0x10de, 0x2486));
  EXPECT_EQ(list.Subsystem(0x10de, 0x2486, 0x10de, 0x2486), "GA104 [GeForce RTX 3060 Ti]");
  for (unsigned c : {0x0600u, 0x0604u, 0x06ffu, 0x0c03u, 0x0c00u, 0x0700u})
    EXPECT_EQ(list.Class(c), oracle.Class(c)) << c;
}

// Generic subsystem blocks ("S vendor") name subsystems that no device lists; the device's own
// list comes first, and device id 0 never looks there.
TEST(PciIdList, GenericSubsystemsAndTheirOrder) {
  TempFolder dir;
  const std::string path = dir.Write("pci.ids",
                                     "1043  ASUSTeK Computer Inc.\n"
                                     "10de  NVIDIA Corporation\n"
                                     "\t0000  Device zero\n"
                                     "\t\t1043 0001  Zero's own\n"
                                     "\t2484  GA104\n"
                                     "\t\t1043 0001  Own name\n"
                                     "S 1043\n"
                                     "\t0001  Generic one\n"
                                     "\t0002  Generic two\n"
                                     "C 03  Display controller\n");
  PciIdList list(path);
  LibPci oracle(path);
  EXPECT_EQ(list.Subsystem(0x10de, 0x2484, 0x1043, 0x0001), "Own name");
  EXPECT_EQ(list.Subsystem(0x10de, 0x2484, 0x1043, 0x0002), "Generic two");
  EXPECT_EQ(list.Subsystem(0x10de, 0x0000, 0x1043, 0x0001), "Generic one");
  EXPECT_EQ(list.Subsystem(0x10de, 0x2484, 0x1043, 0x0003), "");
  for (auto [d, sd] : {std::pair{0x2484u, 1u}, {0x2484u, 2u}, {0u, 1u}, {0x2484u, 3u}})
    EXPECT_EQ(list.Subsystem(0x10de, d, 0x1043, sd), oracle.Subsystem(0x10de, d, 0x1043, sd))
        << d << " " << sd;
}

// libpci stops at the first line it cannot parse and loses every name after it; here such a
// line is passed over. An over-long line, a broken id and a NUL byte all stay local.
TEST(PciIdList, DamagedLinesCostOnlyThemselves) {
  TempFolder dir;
  const std::string path = dir.Write("pci.ids",
                                     "1000  First\n"
                                     "\tzz99  broken device\n"
                                     "\t0001  Kept device\n"
                                     "12  short vendor\n"
                                     "1001  " +
                                         std::string(5000, 'x') +
                                         "\n"
                                         "1002  Nul\0byte\n"s
                                         "1003  After the damage\n"
                                         "\t0002  Still found\n");
  PciIdList list(path);
  EXPECT_EQ(list.Vendor(0x1000), "First");
  EXPECT_EQ(list.Device(0x1000, 0x0001), "Kept device");
  EXPECT_EQ(list.Vendor(0x1001), "");
  EXPECT_EQ(list.Vendor(0x1002), "");
  EXPECT_EQ(list.Vendor(0x1003), "After the damage");
  EXPECT_EQ(list.Device(0x1003, 0x0002), "Still found");
}

// Without a list every name is empty, and something that is not a file is never read (a FIFO
// would hold the first lookup until someone writes to it).
TEST(PciIdList, MissingOrOddListsGiveNoNames) {
  TempFolder dir;
  PciIdList missing(dir.Path() + "/none.ids");
  EXPECT_EQ(missing.Vendor(0x8086), "");
  EXPECT_EQ(missing.Class(0x0300), "");
  PciIdList none("");
  EXPECT_EQ(none.Device(0x8086, 0x1234), "");
  const std::string fifo = dir.Path() + "/fifo.ids";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  PciIdList pipe(fifo);
  EXPECT_EQ(pipe.Vendor(0x8086), "");
  PciIdList folder(dir.Path());
  EXPECT_EQ(folder.Vendor(0x8086), "");
  EXPECT_EQ(PciIdList(dir.Write("empty.ids", "")).Vendor(0x8086), "");
}

// The program and the hardware library's naming thread ask at the same time.
TEST(PciIdList, ConcurrentLookupsAgree) {
  const std::string path = PciIdList::SystemPath();
  if (path.empty()) GTEST_SKIP() << "no pci.ids on this machine";
  PciIdList list(path);
  std::vector<std::string> results(8);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < results.size(); ++t)
    threads.emplace_back([&, t] {
      std::string all;
      for (unsigned d = 0x1000; d < 0x1100; ++d)
        all += list.Device(t % 2 ? 0x8086 : 0x10de, d) + "|";
      results[t] = all + list.Vendor(0x8086);
    });
  for (auto& t : threads) t.join();
  for (std::size_t t = 2; t < results.size(); ++t) EXPECT_EQ(results[t], results[t % 2]);
  PciIdList fresh(path);
  EXPECT_EQ(results[0].substr(results[0].rfind('|') + 1), fresh.Vendor(0x8086));
}

}  // namespace
