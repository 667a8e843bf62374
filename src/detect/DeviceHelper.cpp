#include "detect/DeviceHelper.h"

#include <algorithm>
#include <new>
#include <string>

#include "platform/Text.h"

namespace korvane {

void CDeviceHelper::DetectOnce(const std::function<int()>& primary,
                               const std::function<int()>& fallback) {
  if (detected != 0) return;
  count = 0;
  // Detectors never report errors: whatever a source throws (library, allocation, parsing)
  // only means "not detected this time", and what it stored so far stays for the summary.
  try {
    detected = primary ? primary() : 0;
    if (fallback && count <= 0) detected = fallback();
  } catch (...) {
    detected = 0;
  }
}

void _DEVICE_ITEM::SetName(std::string_view utf8) {
  const std::u16string wide = platform::Utf8ToUtf16(utf8);
  std::size_t n = std::min(wide.size(), kDeviceItemNameUnits - 1);
  // Never leave half of a surrogate pair at the cut.
  if (n > 0 && n < wide.size() && wide[n - 1] >= 0xD800 && wide[n - 1] <= 0xDBFF) --n;
  std::copy_n(wide.begin(), n, name);
  std::fill(name + n, name + kDeviceItemNameUnits, u'\0');
}

std::int32_t CDeviceList::Add(const _DEVICE_ITEM* source) {
  if (source == nullptr) return -1;
  std::unique_ptr<_DEVICE_ITEM> copy(new (std::nothrow) _DEVICE_ITEM(*source));
  if (!copy) return -1;
  try {
    items_.push_back(std::move(copy));
  } catch (const std::bad_alloc&) {
    return -1;  // the list is unchanged; the copy is freed with its owner
  }
  return static_cast<std::int32_t>(items_.size() - 1);
}

std::int32_t CDeviceList::FindLastByClass(std::int32_t deviceClass) const {
  for (std::size_t i = items_.size(); i-- > 0;) {
    if (items_[i] && items_[i]->deviceClass == deviceClass) return static_cast<std::int32_t>(i);
  }
  return -1;
}

void CDeviceList::Clear() {
  items_.clear();
  items_.shrink_to_fit();
}

_DEVICE_ITEM* CDeviceList::At(std::int32_t index) {
  if (index < 0 || index >= Size()) return nullptr;
  return items_[static_cast<std::size_t>(index)].get();
}

const _DEVICE_ITEM* CDeviceList::At(std::int32_t index) const {
  if (index < 0 || index >= Size()) return nullptr;
  return items_[static_cast<std::size_t>(index)].get();
}

std::int32_t NextDevicePosition(const CDeviceList& list, std::int32_t deviceClass) {
  const std::int32_t last = list.FindLastByClass(deviceClass);
  return last < 0 ? 0 : last + 1;
}

void RunDetectionPass(const DetectionPass& pass) {
  auto build = [&](SummarySection s) {
    if (pass.buildSection) pass.buildSection(s);
  };
  if (pass.processor) pass.processor->vUpdate();
  build(SummarySection::Processor);
  build(SummarySection::Mainboard);  // reads the library directly, no detector
  if (pass.memory) pass.memory->vRefresh();
  build(SummarySection::Memory);
  if (pass.display) pass.display->vUpdate();
  build(SummarySection::Display);
  if (pass.monitor) pass.monitor->vUpdate();
  build(SummarySection::Monitor);
  if (pass.disk) pass.disk->vUpdate();
  build(SummarySection::Disk);
  if (pass.network) pass.network->vUpdate();
  build(SummarySection::Network);
  if (pass.others) pass.others->vUpdate();
  build(SummarySection::Others);
  if (pass.layOut) pass.layOut();
}

}  // namespace korvane
