#pragma once
// Where the server keeps its state. Every piece of state lives in the store so that several
// server processes can share one database; the processes themselves keep nothing between
// requests. SQLite (WAL) is the embedded default; other back ends implement the same interface.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "DriverCatalog.h"

namespace korvane::server {

// One answer item: a device's names with the driver that binds it (driver fields may be empty).
struct DriverItem {
  std::string hardwareId;
  std::int32_t typeId = 1;
  std::string chipName;
  std::string version;
  std::string driverName;
  std::string officialUrl;
  std::string downloadPath;
  std::string manufacturerCn;
  std::string manufacturerEn;
  std::string releaseDate;
  std::string driverInfUrlPath;
};

class DriverStore {
 public:
  virtual ~DriverStore() = default;
  // Items for the keys, the first key's matches first; at most limit items.
  virtual std::vector<DriverItem> Find(const std::vector<std::string>& keys, std::size_t limit) = 0;
  // Replaces the whole driver table with the catalog in one transaction (readers see the old
  // or the new table, never a mix). With onlyIfEmpty, a store that was already seeded (by this
  // or another process) is left alone and false is returned.
  virtual bool Replace(const DriverCatalog& catalog, bool onlyIfEmpty, std::string* error) = 0;
  virtual bool Seeded() = 0;
  virtual std::string Describe() = 0;  // for the start page: counts and import date
};

// Opens (creating when needed) the SQLite database at path; nullptr and error on failure.
std::unique_ptr<DriverStore> OpenSqliteDriverStore(const std::string& path, std::string* error);

}  // namespace korvane::server
