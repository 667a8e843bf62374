// The SQLite ranking store. Writes are committed in groups: every request that changes the
// database hands its statements to one writer thread, which runs everything that is waiting in
// one transaction (each request in its own savepoint) and answers the requests only after the
// commit. With synchronous=FULL that commit is durable, and one fsync then covers many
// requests, which is what keeps a busy server fast without weakening that promise. Reads use
// their own connections and never wait for the writer (WAL).
#include <sqlite3.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "RankStore.h"

namespace korvane::server {
namespace {

constexpr const char* kSchema = R"SQL(
CREATE TABLE IF NOT EXISTS rank_seed(
  address_hash TEXT NOT NULL,
  seed TEXT NOT NULL,
  created_ms INTEGER NOT NULL,
  expires_ms INTEGER NOT NULL,
  PRIMARY KEY(address_hash, seed)
) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS rank_seed_expiry ON rank_seed(expires_ms);
CREATE TABLE IF NOT EXISTS rank_submission(
  id INTEGER PRIMARY KEY,
  time_ms INTEGER NOT NULL,
  user_name TEXT NOT NULL,
  feature_id TEXT NOT NULL,
  os TEXT NOT NULL,
  os_name TEXT NOT NULL,
  cpu TEXT NOT NULL,
  board TEXT NOT NULL,
  memory TEXT NOT NULL,
  video TEXT NOT NULL,
  monitor TEXT NOT NULL,
  disk TEXT NOT NULL,
  network TEXT NOT NULL,
  sound TEXT NOT NULL,
  score REAL NOT NULL,
  cpu_score REAL NOT NULL,
  mem_score REAL NOT NULL,
  address_hash TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS rank_submission_user ON rank_submission(user_name, time_ms);
CREATE INDEX IF NOT EXISTS rank_submission_address ON rank_submission(address_hash, time_ms);
CREATE INDEX IF NOT EXISTS rank_submission_time ON rank_submission(time_ms);
)SQL";

bool Exec(sqlite3* db, const char* sql, std::string* error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  if (error != nullptr) *error = message != nullptr ? message : sqlite3_errmsg(db);
  sqlite3_free(message);
  return false;
}

// A prepared statement that finalises itself; every value is bound, never spliced in.
class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
  ~Stmt() { sqlite3_finalize(s_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  bool ok() const { return s_ != nullptr; }
  Stmt& Bind(int i, const std::string& v) {
    sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Stmt& Bind(int i, std::int64_t v) {
    sqlite3_bind_int64(s_, i, v);
    return *this;
  }
  Stmt& Bind(int i, double v) {
    sqlite3_bind_double(s_, i, v);
    return *this;
  }
  int Step() { return s_ != nullptr ? sqlite3_step(s_) : SQLITE_ERROR; }
  std::string Text(int i) const {
    const unsigned char* t = sqlite3_column_text(s_, i);
    return t != nullptr ? reinterpret_cast<const char*>(t) : std::string();
  }
  std::int64_t Int(int i) const { return sqlite3_column_int64(s_, i); }
  double Real(int i) const { return sqlite3_column_double(s_, i); }

 private:
  sqlite3_stmt* s_ = nullptr;
};

sqlite3* OpenConnection(const std::string& path, std::string* error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    if (error != nullptr) *error = db != nullptr ? sqlite3_errmsg(db) : "cannot open";
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, 10000);
  if (!Exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", error)) {
    sqlite3_close(db);
    return nullptr;
  }
  return db;
}

class SqliteRankStore final : public RankStore {
 public:
  explicit SqliteRankStore(std::string path) : path_(std::move(path)) {}
  ~SqliteRankStore() override {
    {
      std::lock_guard lock(queueMutex_);
      stopping_ = true;
    }
    queueCv_.notify_all();
    if (writer_.joinable()) writer_.join();
    for (sqlite3* db : readers_) sqlite3_close(db);
    sqlite3_close(writeDb_);
  }

  bool Init(std::string* error) {
    writeDb_ = OpenConnection(path_, error);
    if (writeDb_ == nullptr || !Exec(writeDb_, kSchema, error)) return false;
    writer_ = std::thread([this] { WriterLoop(); });
    return true;
  }

  bool AddSeed(const std::string& addressHash, const std::string& seed, std::int64_t nowMs,
               std::int64_t expiresMs, int maxPerAddress) override {
    return Write([&](sqlite3* db) {
      Stmt(db, "DELETE FROM rank_seed WHERE expires_ms <= ?").Bind(1, nowMs).Step();
      Stmt add(db,
               "INSERT INTO rank_seed(address_hash, seed, created_ms, expires_ms) "
               "VALUES(?, ?, ?, ?)");
      if (add.Bind(1, addressHash).Bind(2, seed).Bind(3, nowMs).Bind(4, expiresMs).Step() !=
          SQLITE_DONE)
        return false;
      Stmt trim(db,
                "DELETE FROM rank_seed WHERE address_hash = ? AND seed NOT IN (SELECT seed FROM "
                "rank_seed WHERE address_hash = ? ORDER BY created_ms DESC, seed LIMIT ?)");
      return trim.Bind(1, addressHash)
                 .Bind(2, addressHash)
                 .Bind(3, static_cast<std::int64_t>(maxPerAddress))
                 .Step() == SQLITE_DONE;
    });
  }

  std::vector<std::string> LiveSeeds(const std::string& addressHash, std::int64_t nowMs) override {
    std::vector<std::string> seeds;
    Read([&](sqlite3* db) {
      Stmt s(db,
             "SELECT seed FROM rank_seed WHERE address_hash = ? AND expires_ms > ? "
             "ORDER BY created_ms DESC");
      s.Bind(1, addressHash).Bind(2, nowMs);
      while (s.Step() == SQLITE_ROW) seeds.push_back(s.Text(0));
    });
    return seeds;
  }

  AcceptOutcome Accept(const std::string& seed, const RankSubmission& r,
                       std::int64_t intervalMs) override {
    AcceptOutcome outcome = AcceptOutcome::kFailed;
    const bool committed = Write([&](sqlite3* db) {
      Stmt spend(db,
                 "DELETE FROM rank_seed WHERE address_hash = ? AND seed = ? AND expires_ms > ?");
      if (spend.Bind(1, r.addressHash).Bind(2, seed).Bind(3, r.timeMs).Step() != SQLITE_DONE)
        return false;
      if (sqlite3_changes(db) != 1) {
        outcome = AcceptOutcome::kSeedGone;
        return true;  // the seed stays spent either way; nothing else changed
      }
      if (intervalMs > 0) {
        Stmt recent(db,
                    "SELECT 1 FROM rank_submission WHERE (user_name = ? AND time_ms > ?) "
                    "OR (address_hash = ? AND time_ms > ?) LIMIT 1");
        const std::int64_t since = r.timeMs - intervalMs;
        const int rc =
            recent.Bind(1, r.userName).Bind(2, since).Bind(3, r.addressHash).Bind(4, since).Step();
        if (rc == SQLITE_ROW) {
          outcome = AcceptOutcome::kTooSoon;
          return true;  // the seed is spent: a refused body cannot be replayed later
        }
        if (rc != SQLITE_DONE) return false;
      }
      Stmt add(db,
               "INSERT INTO rank_submission(time_ms, user_name, feature_id, os, os_name, cpu, "
               "board, memory, video, monitor, disk, network, sound, score, cpu_score, "
               "mem_score, address_hash) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
      add.Bind(1, r.timeMs)
          .Bind(2, r.userName)
          .Bind(3, r.featureId)
          .Bind(4, r.os)
          .Bind(5, r.osName)
          .Bind(6, r.cpu)
          .Bind(7, r.board)
          .Bind(8, r.memory)
          .Bind(9, r.video)
          .Bind(10, r.monitor)
          .Bind(11, r.disk)
          .Bind(12, r.network)
          .Bind(13, r.sound)
          .Bind(14, r.score)
          .Bind(15, r.cpuScore)
          .Bind(16, r.memScore)
          .Bind(17, r.addressHash);
      if (add.Step() != SQLITE_DONE) return false;
      outcome = AcceptOutcome::kStored;
      return true;
    });
    return committed ? outcome : AcceptOutcome::kFailed;
  }

  std::vector<RankSubmission> Scored(bool cpuGroup, std::size_t limit) override {
    std::vector<RankSubmission> rows;
    Read([&](sqlite3* db) {
      Stmt s(db, cpuGroup ? "SELECT id, time_ms, user_name, feature_id, os, os_name, cpu, board, "
                            "memory, video, monitor, disk, network, sound, score, cpu_score, "
                            "mem_score, address_hash FROM rank_submission WHERE cpu_score > 0 "
                            "ORDER BY time_ms DESC, id DESC LIMIT ?"
                          : "SELECT id, time_ms, user_name, feature_id, os, os_name, cpu, board, "
                            "memory, video, monitor, disk, network, sound, score, cpu_score, "
                            "mem_score, address_hash FROM rank_submission WHERE mem_score > 0 "
                            "ORDER BY time_ms DESC, id DESC LIMIT ?");
      s.Bind(1, limit == 0 ? std::int64_t{-1} : static_cast<std::int64_t>(limit));
      while (s.Step() == SQLITE_ROW) {
        RankSubmission r;
        r.id = s.Int(0);
        r.timeMs = s.Int(1);
        std::string* texts[] = {&r.userName, &r.featureId, &r.os,      &r.osName,
                                &r.cpu,      &r.board,     &r.memory,  &r.video,
                                &r.monitor,  &r.disk,      &r.network, &r.sound};
        for (int i = 0; i < 12; ++i) *texts[i] = s.Text(2 + i);
        r.score = s.Real(14);
        r.cpuScore = s.Real(15);
        r.memScore = s.Real(16);
        r.addressHash = s.Text(17);
        rows.push_back(std::move(r));
      }
    });
    return rows;
  }

  std::int64_t PurgeBefore(std::int64_t timeMs) override {
    std::int64_t removed = -1;
    Write([&](sqlite3* db) {
      Stmt s(db, "DELETE FROM rank_submission WHERE time_ms < ?");
      if (s.Bind(1, timeMs).Step() != SQLITE_DONE) return false;
      removed = sqlite3_changes64(db);
      return true;
    });
    return removed;
  }

  std::int64_t SubmissionCount() override {
    std::int64_t n = -1;
    Read([&](sqlite3* db) {
      Stmt s(db, "SELECT COUNT(*) FROM rank_submission");
      if (s.Step() == SQLITE_ROW) n = s.Int(0);
    });
    return n;
  }

 private:
  struct Job {
    std::function<bool(sqlite3*)> work;
    std::promise<bool> done;
  };

  // Runs work inside the next group transaction and waits for its commit. work returns false
  // to have its own changes rolled back (the rest of the group is unaffected).
  bool Write(std::function<bool(sqlite3*)> work) {
    Job job{std::move(work), {}};
    std::future<bool> result = job.done.get_future();
    {
      std::lock_guard lock(queueMutex_);
      queue_.push_back(&job);
    }
    queueCv_.notify_one();
    return result.get();
  }

  void WriterLoop() {
    for (;;) {
      std::deque<Job*> batch;
      {
        std::unique_lock lock(queueMutex_);
        queueCv_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        batch.swap(queue_);
      }
      std::vector<bool> results(batch.size(), false);
      bool began = Exec(writeDb_, "BEGIN IMMEDIATE", nullptr);
      for (std::size_t i = 0; began && i < batch.size(); ++i) {
        Exec(writeDb_, "SAVEPOINT one", nullptr);
        bool ok = false;
        try {
          ok = batch[i]->work(writeDb_);
        } catch (...) {
          ok = false;
        }
        if (!ok) Exec(writeDb_, "ROLLBACK TO one", nullptr);
        Exec(writeDb_, "RELEASE one", nullptr);
        results[i] = ok;
      }
      const bool committed = began && Exec(writeDb_, "COMMIT", nullptr);
      if (began && !committed) Exec(writeDb_, "ROLLBACK", nullptr);
      for (std::size_t i = 0; i < batch.size(); ++i)
        batch[i]->done.set_value(committed && results[i]);
    }
  }

  template <typename F>
  void Read(F&& f) {
    sqlite3* db = nullptr;
    {
      std::lock_guard lock(readMutex_);
      if (!readers_.empty()) {
        db = readers_.back();
        readers_.pop_back();
      }
    }
    if (db == nullptr) db = OpenConnection(path_, nullptr);
    if (db == nullptr) return;
    f(db);
    std::lock_guard lock(readMutex_);
    if (readers_.size() < 16) {
      readers_.push_back(db);
    } else {
      sqlite3_close(db);
    }
  }

  std::string path_;
  sqlite3* writeDb_ = nullptr;
  std::thread writer_;
  std::mutex queueMutex_;
  std::condition_variable queueCv_;
  std::deque<Job*> queue_;
  bool stopping_ = false;
  std::mutex readMutex_;
  std::vector<sqlite3*> readers_;
};

}  // namespace

std::unique_ptr<RankStore> OpenSqliteRankStore(const std::string& path, std::string* error) {
  auto store = std::make_unique<SqliteRankStore>(path);
  if (!store->Init(error)) return nullptr;
  return store;
}

std::unique_ptr<RankStore> OpenRankStore(const std::string& spec, std::string* error) {
  if (spec.rfind("postgresql://", 0) == 0 || spec.rfind("postgres://", 0) == 0)
    return OpenPostgresRankStore(spec, error);
  return OpenSqliteRankStore(spec, error);
}

}  // namespace korvane::server
