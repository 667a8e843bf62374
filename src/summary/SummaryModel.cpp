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

}  // namespace korvane::summary
