#pragma once
// The detector base, the detect-once rule, the order of the full detection pass, and the
// lists of library devices that carry sensors.
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace korvane {

class CDeviceHelper {
 public:
  CDeviceHelper() = default;
  virtual ~CDeviceHelper() = default;
  CDeviceHelper(const CDeviceHelper&) = delete;
  CDeviceHelper& operator=(const CDeviceHelper&) = delete;

  virtual void vUpdate() {}
  virtual void vRefresh() {}
  virtual std::int32_t vGetMaxItems() { return 0; }

  std::int32_t detected = 0;
  std::uint32_t sensorFlags = 0;
  std::int32_t count = 0;

 protected:
  // The shared body of every detect-once vUpdate. The fallback runs only when the primary
  // source found no device; its result replaces the primary one. Nothing thrown by a source
  // leaves this call: a failed detection is tried again at the next vUpdate.
  void DetectOnce(const std::function<int()>& primary, const std::function<int()>& fallback = {});
};

// Device classes of the library that the sensor report keeps in lists.
inline constexpr std::int32_t kDeviceItemDisk = 4;
inline constexpr std::int32_t kDeviceItemDisplay = 8;
inline constexpr std::int32_t kDeviceItemMemory = 64;
inline constexpr std::size_t kDeviceItemNameUnits = 260;

// One library device with sensors; copied as a whole.
struct _DEVICE_ITEM {
  std::int32_t device = 0;
  std::int32_t deviceClass = 0;
  std::int32_t position = 0;
  std::int32_t reserved[3] = {0, 0, 0};
  char16_t name[kDeviceItemNameUnits] = {};  // zero-terminated

  // Stores a UTF-8 name, cut so that the terminator always fits.
  void SetName(std::string_view utf8);
};
static_assert(sizeof(_DEVICE_ITEM) == 544);

class CDeviceList {
 public:
  CDeviceList() = default;
  ~CDeviceList() { Clear(); }
  CDeviceList(const CDeviceList&) = delete;
  CDeviceList& operator=(const CDeviceList&) = delete;

  // Index of the stored copy, or -1 for a null source or when memory runs out.
  std::int32_t Add(const _DEVICE_ITEM* source);
  // Index of the last item of the class (null entries skipped), -1 when there is none.
  std::int32_t FindLastByClass(std::int32_t deviceClass) const;
  void Clear();

  std::int32_t Size() const { return static_cast<std::int32_t>(items_.size()); }
  // Callers only pass indexes from Add and FindLastByClass; others give nullptr.
  _DEVICE_ITEM* At(std::int32_t index);
  const _DEVICE_ITEM* At(std::int32_t index) const;

 private:
  std::vector<std::unique_ptr<_DEVICE_ITEM>> items_;
};

// The position a new item of the class takes in the list: 1 + the index of the last item of
// that class, or 0 when there is none.
std::int32_t NextDevicePosition(const CDeviceList& list, std::int32_t deviceClass);

// The summary sections in the order the full pass builds them.
enum class SummarySection { Processor, Mainboard, Memory, Display, Monitor, Disk, Network, Others };

// What the full pass drives. Detectors may be null (a category this build does not have);
// its section is still built so that the page shows its "not detected" text.
struct DetectionPass {
  CDeviceHelper* processor = nullptr;
  CDeviceHelper* memory = nullptr;
  CDeviceHelper* display = nullptr;
  CDeviceHelper* monitor = nullptr;
  CDeviceHelper* disk = nullptr;
  CDeviceHelper* network = nullptr;
  CDeviceHelper* others = nullptr;
  std::function<void(SummarySection)> buildSection;
  std::function<void()> layOut;
};

// Runs every detector once in the fixed order, each section built right after its detector,
// then lays the sections out. Runs on the calling thread.
void RunDetectionPass(const DetectionPass& pass);

}  // namespace korvane
