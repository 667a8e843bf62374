#include "online/XmlDriveInfo.h"

#include <tinyxml2.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <new>

#include "platform/Text.h"

namespace korvane {
namespace {

// An answer larger than this is not a driver list; the download layer caps bodies lower still.
constexpr std::size_t kMaxAnswerBytes = 16u << 20;

// Copies an element's text into a fixed field when its UTF-8 form is within limit; a missing
// element or a refused text leaves the field empty.
template <std::size_t N>
void TakeText(const tinyxml2::XMLElement* item, const char* name, std::size_t limit,
              char (&field)[N]) {
  std::memset(field, 0, N);
  const tinyxml2::XMLElement* e = item->FirstChildElement(name);
  if (e == nullptr) return;
  const char* text = e->GetText();
  if (text == nullptr) return;
  const std::size_t length = std::strlen(text);
  if (length > limit) return;
  // The limits allow for a narrow character set in which a text grows; what still does not fit
  // the field is cut at a character boundary.
  platform::CopyInto(field, N, platform::Utf8ToAnsi(std::string_view(text, length)));
}

std::int32_t TakeTypeId(const tinyxml2::XMLElement* item) {
  const tinyxml2::XMLElement* e = item->FirstChildElement("typeid");
  if (e == nullptr || e->GetText() == nullptr) return 0;
  const std::string ansi = platform::Utf8ToAnsi(e->GetText());
  if (ansi.size() > DriveInfoLimits::kTypeIdAnsi) return 0;
  // Read like atoi (leading blanks, sign, digits, rest ignored) but without its overflow.
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(ansi.c_str(), &end, 10);
  if (end == ansi.c_str()) return 0;
  if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

}  // namespace

CXmlDriveInfo::CXmlDriveInfo(std::string_view answerPath) {
  platform::CopyInto(path_, sizeof path_, answerPath);
}

CXmlDriveInfo::~CXmlDriveInfo() = default;

int CXmlDriveInfo::Load() {
  if (path_[0] == 0) return 0;
  std::ifstream in(path_, std::ios::binary);
  if (!in) return 0;
  std::string bytes;
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kMaxAnswerBytes) return 0;
  }
  if (in.bad()) return 0;
  return LoadText(bytes);
}

int CXmlDriveInfo::LoadText(std::string_view xml) {
  root_ = nullptr;
  count_ = 0;
  try {
    doc_ = std::make_unique<tinyxml2::XMLDocument>();
    if (doc_->Parse(xml.data(), xml.size()) != tinyxml2::XML_SUCCESS) return 0;
    root_ = doc_->RootElement();
  } catch (const std::bad_alloc&) {
    // An answer too large for memory is one more unusable answer, never a failed detection.
    root_ = nullptr;
  }
  return root_ != nullptr ? 1 : 0;
}

int CXmlDriveInfo::ReadItems() {
  count_ = 0;
  for (auto& item : items_) item = DriveInfoItem{};
  if (root_ == nullptr) return 0;
  const tinyxml2::XMLElement* channel = nullptr;
  for (const auto* e = root_->FirstChildElement(); e != nullptr; e = e->NextSiblingElement()) {
    if (platform::EqualsIgnoreCase(e->Name(), "channel")) {
      channel = e;
      break;
    }
  }
  if (channel == nullptr) return 0;
  for (const auto* e = channel->FirstChildElement("item"); e != nullptr && count_ < kMaxItems;
       e = e->NextSiblingElement("item")) {
    DriveInfoItem& item = items_[count_];
    item.present = true;
    item.typeId = TakeTypeId(e);
    TakeText(e, "hardwareid", DriveInfoLimits::kHardwareId, item.hardwareId);
    TakeText(e, "chipname", DriveInfoLimits::kChipName, item.chipName);
    TakeText(e, "version", DriveInfoLimits::kVersion, item.version);
    TakeText(e, "drivername", DriveInfoLimits::kDriverName, item.driverName);
    TakeText(e, "officialurl", DriveInfoLimits::kOfficialUrl, item.officialUrl);
    TakeText(e, "downloadpath", DriveInfoLimits::kDownloadPath, item.downloadPath);
    TakeText(e, "manufacturer_cn", DriveInfoLimits::kManufacturerCn, item.manufacturerCn);
    TakeText(e, "manufacturer_en", DriveInfoLimits::kManufacturerEn, item.manufacturerEn);
    TakeText(e, "releasedate", DriveInfoLimits::kReleaseDate, item.releaseDate);
    TakeText(e, "driverinfurlpath", DriveInfoLimits::kDriverInfUrlPath, item.driverInfUrlPath);
    ++count_;
  }
  return count_;
}

}  // namespace korvane
