#pragma once
// Asking the driver database what a Plug and Play device is.
//
// Usage (the display and sound detectors' fallback): zero a DeviceRecord (a value-initialised
// one is, and its size field is already 2168), then call
// `QueryDriverDatabase(instanceId, &record)` with the device's instance id. On 1 the record
// holds the hardware id (in `instanceId`), the chip name (`name` and `name2`), the English
// manufacturer, the driver version and the release date of the database's first answer; on 0
// nothing usable came back (no network, unknown device, refused answer) and the caller skips
// the device. Only those fields are written. The call blocks while it downloads, at most the
// HTTP layer's time-outs per candidate, and shows nothing. `CDriveDBQuery` bundles a record
// for callers that want the query object of old; the free function is the whole interface.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sysinfo/DeviceEnum.h"

namespace korvane {

inline constexpr std::size_t kMaxDriverCandidates = 20;

class CDriveDBQuery {
 public:
  CDriveDBQuery() = default;
  virtual ~CDriveDBQuery() = default;

  DeviceRecord record{};
};

// 1 when an answer filled the record, else 0. The instance id is trimmed first; an empty id or
// a null record gives 0.
int QueryDriverDatabase(std::string_view instanceId, DeviceRecord* record);
int QueryDriverDatabase(std::u16string_view instanceId, DeviceRecord* record);

// The hardware ids to ask for, most useful first (at most 20; a full list means the id was not
// understood and nothing is asked).
std::vector<std::string> DriverQueryCandidates(std::string_view instanceId);

// The plain search address for one candidate (before its query part is enciphered), and the
// enciphered one actually requested.
std::string DriverSearchPlainUrl(std::string_view searchBase, std::string_view candidate);
std::string DriverSearchUrl(std::string_view searchBase, std::string_view candidate);

enum class DriverAnswer {
  kUsable,
  kNoDownload,  // no address, no answer, HTTP error, no file
  kEmpty,       // empty or unreadable file
  kNotFound,    // "not found" near the start
  kNoItem,      // not XML, or no channel/item in it
};
const char* DriverAnswerName(DriverAnswer answer);

// What happened to each candidate that was asked, in order.
struct DriverQueryStep {
  std::string candidate;
  std::string url;
  DriverAnswer answer = DriverAnswer::kNoDownload;
};
struct DriverQueryTrace {
  std::vector<std::string> candidates;
  std::vector<DriverQueryStep> steps;
  bool filled = false;
};
// QueryDriverDatabase with the details, for the terminal mode. searchBase empty means the
// language table's address (text 8200).
DriverQueryTrace QueryDriverDatabaseTraced(std::string_view instanceId, DeviceRecord* record,
                                           std::string_view searchBase = {});

// Reads one downloaded answer file into the record; what the query does after the download.
DriverAnswer ReadDriverAnswer(const std::string& answerPath, DeviceRecord* record);

// Tests: replace the download (URL -> local answer file path, "" on failure); nullptr restores
// the HTTP cache download.
void SetDriverAnswerFetcherForTesting(std::function<std::string(const std::string& url)> fetcher);

}  // namespace korvane
