#pragma once
// The USB id database (usb.ids): vendor and product names by id.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace korvane {

class UsbIds {
 public:
  // Parses the vendor/product part of a usb.ids text; the class and other tables after it are
  // ignored, and so is any line that does not fit the format.
  static UsbIds Parse(std::string_view text);
  // The same list read from a file where the names are: only where each vendor's block starts
  // is kept (a few tens of kilobytes instead of a few megabytes for the whole list), and a
  // name is read back when it is asked for. Same answers as Parse of the file's text.
  static UsbIds FromFile(const std::string& path);
  // The system's database (hwdata or misc copy), indexed once; empty when neither is installed.
  static const UsbIds& System();

  std::string VendorName(std::uint16_t vendor) const;  // "" when unknown
  std::string ProductName(std::uint16_t vendor, std::uint16_t product) const;
  std::size_t VendorCount() const;

 private:
  struct Vendor {
    std::string name;
    std::map<std::uint16_t, std::string> products;
  };
  struct FileIndex;
  std::map<std::uint16_t, Vendor> vendors_;
  std::shared_ptr<const FileIndex> file_;  // set by FromFile; then vendors_ stays empty
};

}  // namespace korvane
