#pragma once
// Plug and Play device enumeration: every present device with its setup class, its instance id
// in Windows form and its friendly name, packed into fixed 2168-byte records.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// One device. Texts are UTF-16, zero-terminated and zero-padded; the layout is fixed because
// the driver-database query fills the same records.
struct DeviceRecord {
  std::uint32_t size = sizeof(DeviceRecord);
  std::uint8_t reserved1[20] = {};
  char16_t className[32] = {};
  char16_t instanceId[200] = {};  // or, in a driver-database answer, the hardware id
  std::uint8_t reserved2[78] = {};
  char16_t name[256] = {};  // friendly name, else description; or the chip name
  char16_t name2[256] = {};
  char16_t manufacturer[128] = {};  // driver-database answer
  char16_t driverVersion[32] = {};  // driver-database answer
  char16_t releaseDate[129] = {};   // driver-database answer
};
static_assert(sizeof(DeviceRecord) == 2168);
static_assert(offsetof(DeviceRecord, className) == 24);
static_assert(offsetof(DeviceRecord, instanceId) == 88);
static_assert(offsetof(DeviceRecord, name) == 566);
static_assert(offsetof(DeviceRecord, name2) == 1078);
static_assert(offsetof(DeviceRecord, manufacturer) == 1590);
static_assert(offsetof(DeviceRecord, driverVersion) == 1846);
static_assert(offsetof(DeviceRecord, releaseDate) == 1910);

// Copies UTF-8 text into a record field, cut to the field (a surrogate pair is never split)
// and zero-padded; and back.
template <std::size_t N>
void SetRecordText(char16_t (&field)[N], std::string_view utf8);
std::string RecordText(const char16_t* field, std::size_t capacity);
template <std::size_t N>
std::string RecordText(const char16_t (&field)[N]) {
  return RecordText(field, N);
}
void SetRecordTextImpl(char16_t* field, std::size_t capacity, std::string_view utf8);
template <std::size_t N>
void SetRecordText(char16_t (&field)[N], std::string_view utf8) {
  SetRecordTextImpl(field, N, utf8);
}

inline constexpr std::uint32_t kEnumOk = 0;
inline constexpr std::uint32_t kEnumFailed = 13;     // ERROR_INVALID_DATA
inline constexpr std::uint32_t kEnumNoCount = 87;    // ERROR_INVALID_PARAMETER
inline constexpr std::uint32_t kEnumMoreData = 111;  // ERROR_BUFFER_OVERFLOW
inline constexpr std::uint32_t kEnumNoDevice = 232;  // ERROR_NO_DATA
// The most records a caller allocates for the second call.
inline constexpr std::uint32_t kMaxDeviceRecords = 1981073;

// A device as the enumeration sees it.
struct PresentDevice {
  std::string className;
  std::string instanceId;
  std::string name;
};

// All present devices of the machine, in enumeration order: the computer, processors, PCI
// functions, audio codecs, USB devices, monitors, disks.
std::vector<PresentDevice> ListPresentDevices();

// The first present device of a setup class (compared without regard to case), as a walk of
// ListPresentDevices() would find it. The computer's own entry comes first and needs no scan of
// the buses, so asking for "Computer" is cheap.
std::optional<PresentDevice> FirstPresentDevice(std::string_view className);

// Tests: replace the device source (nullptr restores the machine's).
void SetDeviceSourceForTesting(std::function<std::vector<PresentDevice>()> source);

// buffer may be null (count only); prefix and className may be null (no filter). *count holds
// the capacity on entry and the number of matching devices on return. Prefix and class compare
// without regard to case.
std::uint32_t EnumerateDevices(DeviceRecord* buffer, const char* enumeratorPrefix,
                               const char* className, std::uint32_t* count);

// Both calls of the usual protocol; the records found (empty on any error).
std::vector<DeviceRecord> EnumerateDeviceRecords(const char* enumeratorPrefix,
                                                 const char* className);

}  // namespace korvane
