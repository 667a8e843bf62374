// The SQLite driver store. One connection per concurrent request (taken from a small pool), WAL
// so readers never wait for an import, every statement prepared with bound parameters.
#include <sqlite3.h>

#include <algorithm>
#include <ctime>
#include <mutex>
#include <set>

#include "DriverStore.h"

namespace korvane::server {
namespace {

constexpr const char* kSchema = R"SQL(
CREATE TABLE IF NOT EXISTS device_name(
  hardware_id TEXT PRIMARY KEY,
  typeid INTEGER NOT NULL,
  chipname TEXT NOT NULL,
  manufacturer_en TEXT NOT NULL,
  manufacturer_cn TEXT NOT NULL,
  source TEXT NOT NULL
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS driver_binding(
  hardware_id TEXT NOT NULL,
  drivername TEXT NOT NULL,
  version TEXT NOT NULL,
  releasedate TEXT NOT NULL,
  PRIMARY KEY(hardware_id, version, drivername)
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS meta(
  key TEXT PRIMARY KEY,
  value TEXT NOT NULL
) WITHOUT ROWID;
)SQL";

struct Connection {
  sqlite3* db = nullptr;
  sqlite3_stmt* name = nullptr;
  sqlite3_stmt* bindings = nullptr;
  ~Connection() {
    sqlite3_finalize(name);
    sqlite3_finalize(bindings);
    sqlite3_close(db);
  }
};

std::string Column(sqlite3_stmt* s, int i) {
  const unsigned char* t = sqlite3_column_text(s, i);
  return t != nullptr ? reinterpret_cast<const char*>(t) : std::string();
}

bool Exec(sqlite3* db, const char* sql, std::string* error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  if (error != nullptr) *error = message != nullptr ? message : sqlite3_errmsg(db);
  sqlite3_free(message);
  return false;
}

void Bind(sqlite3_stmt* s, int i, const std::string& v) {
  sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

class SqliteDriverStore final : public DriverStore {
 public:
  explicit SqliteDriverStore(std::string path) : path_(std::move(path)) {}
  ~SqliteDriverStore() override = default;

  bool Init(std::string* error) {
    auto c = Open(error);
    if (!c) return false;
    if (!Exec(c->db, "PRAGMA journal_mode=WAL;", error) || !Exec(c->db, kSchema, error))
      return false;
    Release(std::move(c));
    return true;
  }

  std::vector<DriverItem> Find(const std::vector<std::string>& keys, std::size_t limit) override {
    std::vector<DriverItem> items;
    std::string error;
    auto c = Acquire(&error);
    if (!c) return items;
    struct Name {
      std::string key;
      DriverItem item;
    };
    std::vector<Name> names;
    std::vector<DriverItem> drivers;  // driver fields only, most specific key first
    for (const std::string& key : keys) {
      sqlite3_reset(c->name);
      Bind(c->name, 1, key);
      if (sqlite3_step(c->name) == SQLITE_ROW) {
        DriverItem it;
        it.hardwareId = key;
        it.typeId = sqlite3_column_int(c->name, 0);
        it.chipName = Column(c->name, 1);
        it.manufacturerEn = Column(c->name, 2);
        it.manufacturerCn = Column(c->name, 3);
        names.push_back(Name{key, std::move(it)});
      }
      sqlite3_reset(c->bindings);
      Bind(c->bindings, 1, key);
      while (sqlite3_step(c->bindings) == SQLITE_ROW) {
        DriverItem d;
        d.hardwareId = key;
        d.driverName = Column(c->bindings, 0);
        d.version = Column(c->bindings, 1);
        d.releaseDate = Column(c->bindings, 2);
        drivers.push_back(std::move(d));
      }
    }
    sqlite3_reset(c->name);
    sqlite3_reset(c->bindings);
    Release(std::move(c));

    // A device's names with each driver that binds it; a driver without names still tells
    // the caller what the device is bound to.
    if (names.empty()) {
      for (auto& d : drivers) {
        if (items.size() >= limit) break;
        items.push_back(std::move(d));
      }
      return items;
    }
    for (const Name& n : names) {
      if (drivers.empty()) {
        if (items.size() >= limit) break;
        items.push_back(n.item);
        continue;
      }
      for (const DriverItem& d : drivers) {
        if (items.size() >= limit) break;
        DriverItem it = n.item;
        it.driverName = d.driverName;
        it.version = d.version;
        it.releaseDate = d.releaseDate;
        items.push_back(std::move(it));
      }
    }
    return items;
  }

  bool Replace(const DriverCatalog& catalog, bool onlyIfEmpty, std::string* error) override {
    auto c = Acquire(error);
    if (!c) return false;
    sqlite3* db = c->db;
    // IMMEDIATE takes the write lock first, so two processes seeding at once do it one after
    // the other and the second sees the first one's work.
    if (!Exec(db, "BEGIN IMMEDIATE;", error)) {
      Release(std::move(c));
      return false;
    }
    bool ok = true;
    if (onlyIfEmpty && SeededOn(db)) {
      Exec(db, "ROLLBACK;", nullptr);
      Release(std::move(c));
      return false;
    }
    ok = Exec(db, "DELETE FROM device_name; DELETE FROM driver_binding;", error);
    sqlite3_stmt* insName = nullptr;
    sqlite3_stmt* insBinding = nullptr;
    ok = ok &&
         sqlite3_prepare_v2(
             db,
             "INSERT OR REPLACE INTO device_name(hardware_id, typeid, chipname, manufacturer_en, "
             "manufacturer_cn, source) VALUES(?1, ?2, ?3, ?4, ?5, ?6)",
             -1, &insName, nullptr) == SQLITE_OK &&
         sqlite3_prepare_v2(
             db,
             "INSERT OR REPLACE INTO driver_binding(hardware_id, drivername, version, releasedate) "
             "VALUES(?1, ?2, ?3, ?4)",
             -1, &insBinding, nullptr) == SQLITE_OK;
    for (std::size_t i = 0; ok && i < catalog.names.size(); ++i) {
      const DeviceName& n = catalog.names[i];
      sqlite3_reset(insName);
      Bind(insName, 1, n.hardwareId);
      sqlite3_bind_int(insName, 2, n.typeId);
      Bind(insName, 3, n.chipName);
      Bind(insName, 4, n.manufacturerEn);
      Bind(insName, 5, n.manufacturerCn);
      Bind(insName, 6, n.source);
      ok = sqlite3_step(insName) == SQLITE_DONE;
    }
    for (std::size_t i = 0; ok && i < catalog.bindings.size(); ++i) {
      const DriverBinding& b = catalog.bindings[i];
      sqlite3_reset(insBinding);
      Bind(insBinding, 1, b.hardwareId);
      Bind(insBinding, 2, b.driverName);
      Bind(insBinding, 3, b.version);
      Bind(insBinding, 4, b.releaseDate);
      ok = sqlite3_step(insBinding) == SQLITE_DONE;
    }
    if (!ok && error != nullptr && error->empty()) *error = sqlite3_errmsg(db);
    sqlite3_finalize(insName);
    sqlite3_finalize(insBinding);
    if (ok) {
      char stamp[32];
      const std::time_t now = std::time(nullptr);
      std::tm tm{};
      gmtime_r(&now, &tm);
      std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &tm);
      sqlite3_stmt* meta = nullptr;
      ok = sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO meta(key, value) VALUES('imported', ?1)",
                              -1, &meta, nullptr) == SQLITE_OK;
      if (ok) {
        Bind(meta, 1, stamp);
        ok = sqlite3_step(meta) == SQLITE_DONE;
      }
      sqlite3_finalize(meta);
    }
    ok = ok && Exec(db, "COMMIT;", error);
    if (!ok) Exec(db, "ROLLBACK;", nullptr);
    Release(std::move(c));
    return ok;
  }

  bool Seeded() override {
    auto c = Acquire(nullptr);
    if (!c) return false;
    const bool seeded = SeededOn(c->db);
    Release(std::move(c));
    return seeded;
  }

  std::string Describe() override {
    auto c = Acquire(nullptr);
    if (!c) return "store unavailable";
    std::string out;
    auto scalar = [&](const char* sql) {
      sqlite3_stmt* s = nullptr;
      std::string v;
      if (sqlite3_prepare_v2(c->db, sql, -1, &s, nullptr) == SQLITE_OK &&
          sqlite3_step(s) == SQLITE_ROW)
        v = Column(s, 0);
      sqlite3_finalize(s);
      return v;
    };
    out = scalar("SELECT count(*) FROM device_name") + " device names, " +
          scalar("SELECT count(*) FROM driver_binding") + " driver bindings, imported " +
          scalar("SELECT value FROM meta WHERE key = 'imported'");
    Release(std::move(c));
    return out;
  }

 private:
  static bool SeededOn(sqlite3* db) {
    sqlite3_stmt* s = nullptr;
    bool seeded = false;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM meta WHERE key = 'imported'", -1, &s, nullptr) ==
        SQLITE_OK)
      seeded = sqlite3_step(s) == SQLITE_ROW;
    sqlite3_finalize(s);
    return seeded;
  }

  std::unique_ptr<Connection> Open(std::string* error) {
    auto c = std::make_unique<Connection>();
    const int rc =
        sqlite3_open_v2(path_.c_str(), &c->db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      if (error != nullptr) *error = c->db != nullptr ? sqlite3_errmsg(c->db) : sqlite3_errstr(rc);
      return nullptr;
    }
    sqlite3_busy_timeout(c->db, 10000);
    Exec(c->db, "PRAGMA synchronous=NORMAL;", nullptr);
    return c;
  }

  bool PrepareLookups(Connection& c, std::string* error) {
    if (c.name != nullptr) return true;
    if (sqlite3_prepare_v3(
            c.db,
            "SELECT typeid, chipname, manufacturer_en, manufacturer_cn FROM device_name "
            "WHERE hardware_id = ?1",
            -1, SQLITE_PREPARE_PERSISTENT, &c.name, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v3(
            c.db,
            "SELECT drivername, version, releasedate FROM driver_binding WHERE hardware_id = ?1 "
            "ORDER BY releasedate DESC, version DESC, drivername",
            -1, SQLITE_PREPARE_PERSISTENT, &c.bindings, nullptr) != SQLITE_OK) {
      if (error != nullptr) *error = sqlite3_errmsg(c.db);
      return false;
    }
    return true;
  }

  std::unique_ptr<Connection> Acquire(std::string* error) {
    std::unique_ptr<Connection> c;
    {
      std::lock_guard lock(mutex_);
      if (!pool_.empty()) {
        c = std::move(pool_.back());
        pool_.pop_back();
      }
    }
    if (!c) c = Open(error);
    if (c && !PrepareLookups(*c, error)) c.reset();
    return c;
  }

  void Release(std::unique_ptr<Connection> c) {
    std::lock_guard lock(mutex_);
    if (pool_.size() < 16) pool_.push_back(std::move(c));
  }

  std::string path_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Connection>> pool_;
};

}  // namespace

std::unique_ptr<DriverStore> OpenSqliteDriverStore(const std::string& path, std::string* error) {
  auto store = std::make_unique<SqliteDriverStore>(path);
  if (!store->Init(error)) return nullptr;
  return store;
}

}  // namespace korvane::server
