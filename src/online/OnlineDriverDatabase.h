#pragma once
// The detectors' driver-database seam answered by the on-line search service.
#include <string_view>

#include "detect/DriverDatabase.h"
#include "online/DriveDBQuery.h"

namespace korvane {

class COnlineDriverDatabase final : public detect::IDriverDatabase {
 public:
  bool Query(std::string_view instanceId, DeviceRecord& record) override {
    return QueryDriverDatabase(instanceId, &record) == 1;
  }
};

}  // namespace korvane
