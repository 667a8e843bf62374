#pragma once
// The driver database's XML answer: a root element holding a "channel" element with one "item"
// per match. Up to ten items are read into fixed records; a text longer than its element's
// limit is refused (the field stays empty) rather than cut, because a cut hardware id or
// chip name would name a different device.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tinyxml2 {
class XMLDocument;
class XMLElement;
}  // namespace tinyxml2

namespace korvane {

// Narrow texts in the locale's character set, zero-terminated.
struct DriveInfoItem {
  bool present = false;
  std::int32_t typeId = 0;
  char hardwareId[160] = {};
  char chipName[256] = {};
  char version[32] = {};
  char driverName[512] = {};
  char officialUrl[512] = {};
  char downloadPath[512] = {};
  char manufacturerCn[256] = {};
  char manufacturerEn[256] = {};
  char releaseDate[80] = {};
  char driverInfUrlPath[536] = {};
};

// Largest accepted UTF-8 length of each element's text, in bytes.
struct DriveInfoLimits {
  static constexpr std::size_t kHardwareId = 335;
  static constexpr std::size_t kChipName = 527;
  static constexpr std::size_t kVersion = 79;
  static constexpr std::size_t kDriverName = 1039;
  static constexpr std::size_t kOfficialUrl = 1039;
  static constexpr std::size_t kDownloadPath = 1039;
  static constexpr std::size_t kManufacturerCn = 527;
  static constexpr std::size_t kManufacturerEn = 527;
  static constexpr std::size_t kReleaseDate = 175;
  static constexpr std::size_t kDriverInfUrlPath = 1039;
  static constexpr std::size_t kTypeIdAnsi = 47;
};

class CXmlDriveInfo {
 public:
  static constexpr int kMaxItems = 10;

  explicit CXmlDriveInfo(std::string_view answerPath);
  ~CXmlDriveInfo();
  CXmlDriveInfo(const CXmlDriveInfo&) = delete;
  CXmlDriveInfo& operator=(const CXmlDriveInfo&) = delete;

  // 1 when the file was read, parsed and has a root element; 0 otherwise (no such file too).
  int Load();
  // The same over text already in memory (the answer file's bytes).
  int LoadText(std::string_view xml);
  // Fills the item records from the loaded document; returns how many were read (0..10).
  int ReadItems();

  int ItemCount() const { return count_; }
  const DriveInfoItem& Item(int index) const { return items_[index]; }
  const char* Path() const { return path_; }

 private:
  char path_[260] = {};
  std::unique_ptr<tinyxml2::XMLDocument> doc_;
  tinyxml2::XMLElement* root_ = nullptr;
  DriveInfoItem items_[kMaxItems];
  int count_ = 0;
};

}  // namespace korvane
