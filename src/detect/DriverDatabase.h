#pragma once
// The driver database as the detectors' fallbacks see it: given a device record whose instance
// id is set, fill in what the database knows (chip name, hardware id, manufacturer, driver
// version and date). The on-line query sits behind this seam so detectors and their tests do
// not depend on the network. The record the query fills is a fresh one: the id asked about is
// passed beside it.
#include <memory>
#include <string_view>

#include "sysinfo/DeviceEnum.h"

namespace korvane::detect {

class IDriverDatabase {
 public:
  virtual ~IDriverDatabase() = default;
  // True when an answer filled the record.
  virtual bool Query(std::string_view instanceId, DeviceRecord& record) = 0;
};

// No database: every query fails, so a fallback finds nothing.
class NoDriverDatabase final : public IDriverDatabase {
 public:
  bool Query(std::string_view, DeviceRecord&) override { return false; }
};

}  // namespace korvane::detect
