#pragma once
// The driver database as the detectors' fallbacks see it: given a device record whose instance
// id is set, fill in what the database knows (chip name, hardware id, manufacturer, driver
// version and date). The on-line query sits behind this seam so detectors and their tests do
// not depend on the network.
#include <memory>

#include "sysinfo/DeviceEnum.h"

namespace korvane::detect {

class IDriverDatabase {
 public:
  virtual ~IDriverDatabase() = default;
  // True when an answer filled the record; the record's instance id is the one asked about.
  virtual bool Query(DeviceRecord& rec) = 0;
};

// No database: every query fails, so a fallback finds nothing.
class NoDriverDatabase final : public IDriverDatabase {
 public:
  bool Query(DeviceRecord&) override { return false; }
};

}  // namespace korvane::detect
