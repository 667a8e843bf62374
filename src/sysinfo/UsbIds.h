#pragma once
// The USB id database (usb.ids): vendor and product names by id.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace korvane {

class UsbIds {
 public:
  // Parses the vendor/product part of a usb.ids text; the class and other tables after it are
  // ignored, and so is any line that does not fit the format.
  static UsbIds Parse(std::string_view text);
  // The system's database (hwdata or misc copy), parsed once; empty when neither is installed.
  static const UsbIds& System();

  std::string VendorName(std::uint16_t vendor) const;                 // "" when unknown
  std::string ProductName(std::uint16_t vendor, std::uint16_t product) const;
  std::size_t VendorCount() const { return vendors_.size(); }

 private:
  struct Vendor {
    std::string name;
    std::map<std::uint16_t, std::string> products;
  };
  std::map<std::uint16_t, Vendor> vendors_;
};

}  // namespace korvane
