#include "summary/SummaryModel.h"

#include "platform/Text.h"

namespace korvane::summary {

int DeviceInfoModel::AddRow(std::string key, std::string label) {
  rows.push_back(SummaryRow{std::move(key), std::move(label), {}});
  return static_cast<int>(rows.size()) - 1;
}

int DeviceInfoModel::SetRowValue(int index, std::string value) {
  if (index < 0 || index >= static_cast<int>(rows.size())) return -1;
  rows[static_cast<std::size_t>(index)].value = std::move(value);
  return index;
}

bool DeviceInfoModel::SetRowValueByKey(std::string_view key, std::string value) {
  for (auto& row : rows) {
    if (row.key == key) {
      row.value = std::move(value);
      return true;
    }
  }
  return false;
}

int DeviceInfoModel::AddBadge(int kind, std::string label) {
  if (badges.size() >= static_cast<std::size_t>(kMaxBadges)) return -1;
  badges.push_back(SummaryBadge{kind, std::move(label)});
  return static_cast<int>(badges.size()) - 1;
}

const SummaryBadge* DeviceInfoModel::FindBadge(int kind) const {
  for (const auto& b : badges) {
    if (b.kind == kind) return &b;
  }
  return nullptr;
}

void HardwareSummaryTable::Replace(std::string& entry, std::string_view text) {
  std::string t = platform::Trim(text);
  if (!t.empty() && t != entry) entry = std::move(t);
}

HardwareSummaryTable& CaptionAndProfileSummary() {
  static HardwareSummaryTable table;
  return table;
}

std::string GetSummary(int kind, int which) {
  const auto& t = CaptionAndProfileSummary();
  switch (kind) {
    case 0:
      return which == 0 ? t.caption[0] : which == 1 ? t.profile[0] : std::string();
    case 2:
      return which == 0 ? t.caption[1] : std::string();
    case 3:
      if (which == 0) return t.caption[2];
      if (which == 1) return t.profile[2];
      if (which == 2) return t.memoryCaption;
      return {};
    case 4:
    case 5:
    case 6:
    case 7:
    case 8:
      return t.profile[static_cast<std::size_t>(kind - 1)];
    default:
      return {};
  }
}

}  // namespace korvane::summary
