// libFuzzer target: korvane-server's driver search on an arbitrary query text, both as it
// arrives and enciphered the way the program sends it. Every input must end in 200 (an XML
// list or "not found") or 400 with a one-line reason, never a crash; the hardware id reaches
// the store only as lookup keys.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "DriverSearch.h"
#include "HardwareIdKeys.h"
#include "scores/TextCipher.h"

namespace {

// A store with a few real ids; the search logic is what is under test, not SQLite.
class MapStore final : public korvane::server::DriverStore {
 public:
  std::vector<korvane::server::DriverItem> Find(const std::vector<std::string>& keys,
                                                std::size_t limit) override {
    static const std::map<std::string, std::string> names = {
        {"PCI\\VEN_10DE&DEV_2484", "GA104 [GeForce RTX 3070]"},
        {"HDAUDIO\\FUNC_01&VEN_10EC&DEV_0887", "Realtek ALC887"},
        {"USB\\VID_046D&PID_C52B", "Unifying Receiver"}};
    std::vector<korvane::server::DriverItem> out;
    for (const auto& k : keys) {
      if (k.size() > 2 * korvane::server::kMaxHardwareIdBytes) std::abort();
      auto it = names.find(k);
      if (it != names.end() && out.size() < limit) {
        korvane::server::DriverItem item;
        item.hardwareId = k;
        item.chipName = it->second + "<&>";
        out.push_back(item);
      }
    }
    return out;
  }
  bool Replace(const korvane::server::DriverCatalog&, bool, std::string*) override { return false; }
  bool Seeded() override { return true; }
  std::string Describe() override { return {}; }
};

void Check(const korvane::server::HttpAnswer& a) {
  if (a.status == 400) {
    if (a.body.empty() || a.body.find('\n') != a.body.size() - 1) std::abort();
  } else if (a.status == 200) {
    if (a.body.rfind("not found", 0) != 0 && a.body.rfind("<?xml", 0) != 0) std::abort();
  } else {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  static MapStore store;
  Check(korvane::server::HandleDriverSearch(input, store));
  if (size < 2048) {
    // The same bytes as the plain query the program would encipher.
    const std::string enciphered = korvane::EncryptText(input);
    if (!enciphered.empty()) Check(korvane::server::HandleDriverSearch(enciphered, store));
  }
  (void)korvane::server::LookupKeys(input);
  return 0;
}
