#include "summary/PrivateText.h"

#include "detect/NetworkHelper.h"
#include "summary/SummaryModel.h"

namespace korvane::summary {

bool IsPrivateRow(int category, std::string_view key) {
  if (category != kCategoryNetwork) return false;
  return key == "MACAddress" || key == "IPAddress" || key == "GatewayAddr" || key == "DnsServer";
}

std::string MaskRowValue(int category, std::string_view key, std::string_view value) {
  if (!IsPrivateRow(category, key)) return std::string(value);
  if (key == "MACAddress") return korvane::MaskHardwareAddress(value);
  return korvane::MaskPublicAddresses(value);
}

}  // namespace korvane::summary
