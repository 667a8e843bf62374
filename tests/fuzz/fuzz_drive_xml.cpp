// libFuzzer target: the driver database's XML answer reader on arbitrary bytes. Every input must
// end in a count of 0..10 items whose texts are terminated inside their fields, and an answer
// that was refused must not fill a record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "online/XmlDriveInfo.h"

namespace {

template <std::size_t N>
void CheckTerminated(const char (&field)[N]) {
  if (std::memchr(field, 0, N) == nullptr) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  korvane::CXmlDriveInfo info("fuzz.xml");
  const int loaded = info.LoadText(input);
  const int count = info.ReadItems();
  if (count < 0 || count > korvane::CXmlDriveInfo::kMaxItems) std::abort();
  if (loaded == 0 && count != 0) std::abort();
  for (int i = 0; i < count; ++i) {
    const korvane::DriveInfoItem& it = info.Item(i);
    if (!it.present) std::abort();
    CheckTerminated(it.hardwareId);
    CheckTerminated(it.chipName);
    CheckTerminated(it.version);
    CheckTerminated(it.driverName);
    CheckTerminated(it.officialUrl);
    CheckTerminated(it.downloadPath);
    CheckTerminated(it.manufacturerCn);
    CheckTerminated(it.manufacturerEn);
    CheckTerminated(it.releaseDate);
    CheckTerminated(it.driverInfUrlPath);
  }
  return 0;
}
