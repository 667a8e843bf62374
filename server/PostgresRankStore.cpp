// The PostgreSQL ranking store, for several korvane-server processes behind a load balancer.
// Each request borrows one of a few connections; every statement has bound parameters. Two
// concurrent submissions of one user name or one address are serialised by transaction-scoped
// advisory locks, so the interval check cannot be raced.
#include <mutex>
#include <pqxx/pqxx>

#include "RankStore.h"

namespace korvane::server {
namespace {

constexpr const char* kSchema = R"SQL(
CREATE TABLE IF NOT EXISTS rank_seed(
  address_hash TEXT NOT NULL,
  seed TEXT NOT NULL,
  created_ms BIGINT NOT NULL,
  expires_ms BIGINT NOT NULL,
  PRIMARY KEY(address_hash, seed));
CREATE INDEX IF NOT EXISTS rank_seed_expiry ON rank_seed(expires_ms);
CREATE TABLE IF NOT EXISTS rank_submission(
  id BIGSERIAL PRIMARY KEY,
  time_ms BIGINT NOT NULL,
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
  score DOUBLE PRECISION NOT NULL,
  cpu_score DOUBLE PRECISION NOT NULL,
  mem_score DOUBLE PRECISION NOT NULL,
  address_hash TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS rank_submission_user ON rank_submission(user_name, time_ms);
CREATE INDEX IF NOT EXISTS rank_submission_address ON rank_submission(address_hash, time_ms);
CREATE INDEX IF NOT EXISTS rank_submission_time ON rank_submission(time_ms);
)SQL";

constexpr const char* kColumns =
    "id, time_ms, user_name, feature_id, os, os_name, cpu, board, memory, video, monitor, disk, "
    "network, sound, score, cpu_score, mem_score, address_hash";

class PostgresRankStore final : public RankStore {
 public:
  explicit PostgresRankStore(std::string uri) : uri_(std::move(uri)) {}

  bool Init(std::string* error) {
    try {
      auto c = std::make_unique<pqxx::connection>(uri_);
      pqxx::work tx(*c);
      // Concurrent first starts may race on CREATE TABLE; one lock orders them.
      tx.exec("SELECT pg_advisory_xact_lock(72519601)");
      tx.exec(kSchema);
      tx.commit();
      pool_.push_back(std::move(c));
      return true;
    } catch (const std::exception& e) {
      if (error != nullptr) *error = e.what();
      return false;
    }
  }

  bool AddSeed(const std::string& addressHash, const std::string& seed, std::int64_t nowMs,
               std::int64_t expiresMs, int maxPerAddress) override {
    return Run([&](pqxx::work& tx) {
      tx.exec_params("DELETE FROM rank_seed WHERE expires_ms <= $1", nowMs);
      tx.exec_params(
          "INSERT INTO rank_seed(address_hash, seed, created_ms, expires_ms) "
          "VALUES($1, $2, $3, $4)",
          addressHash, seed, nowMs, expiresMs);
      tx.exec_params(
          "DELETE FROM rank_seed WHERE address_hash = $1 AND seed NOT IN (SELECT seed FROM "
          "rank_seed WHERE address_hash = $1 ORDER BY created_ms DESC, seed LIMIT $2)",
          addressHash, maxPerAddress);
      return true;
    });
  }

  std::vector<std::string> LiveSeeds(const std::string& addressHash, std::int64_t nowMs) override {
    std::vector<std::string> seeds;
    Run([&](pqxx::work& tx) {
      for (const auto& row :
           tx.exec_params("SELECT seed FROM rank_seed WHERE address_hash = $1 AND expires_ms > $2 "
                          "ORDER BY created_ms DESC",
                          addressHash, nowMs))
        seeds.push_back(row[0].as<std::string>());
      return true;
    });
    return seeds;
  }

  AcceptOutcome Accept(const std::string& seed, const RankSubmission& r,
                       std::int64_t intervalMs) override {
    AcceptOutcome outcome = AcceptOutcome::kFailed;
    const bool ok = Run([&](pqxx::work& tx) {
      const auto spent = tx.exec_params(
          "DELETE FROM rank_seed WHERE address_hash = $1 AND seed = $2 AND expires_ms > $3",
          r.addressHash, seed, r.timeMs);
      if (spent.affected_rows() != 1) {
        outcome = AcceptOutcome::kSeedGone;
        return true;
      }
      if (intervalMs > 0) {
        tx.exec_params(
            "SELECT pg_advisory_xact_lock(hashtext($1)), pg_advisory_xact_lock("
            "hashtext($2))",
            "u:" + r.userName, "a:" + r.addressHash);
        const std::int64_t since = r.timeMs - intervalMs;
        const auto recent = tx.exec_params(
            "SELECT 1 FROM rank_submission WHERE (user_name = $1 AND time_ms > $2) OR "
            "(address_hash = $3 AND time_ms > $2) LIMIT 1",
            r.userName, since, r.addressHash);
        if (!recent.empty()) {
          outcome = AcceptOutcome::kTooSoon;
          return true;
        }
      }
      tx.exec_params(
          "INSERT INTO rank_submission(time_ms, user_name, feature_id, os, os_name, cpu, board, "
          "memory, video, monitor, disk, network, sound, score, cpu_score, mem_score, "
          "address_hash) VALUES($1,$2,$3,$4,$5,$6,$7,$8,$9,$10,$11,$12,$13,$14,$15,$16,$17)",
          r.timeMs, r.userName, r.featureId, r.os, r.osName, r.cpu, r.board, r.memory, r.video,
          r.monitor, r.disk, r.network, r.sound, r.score, r.cpuScore, r.memScore, r.addressHash);
      outcome = AcceptOutcome::kStored;
      return true;
    });
    return ok ? outcome : AcceptOutcome::kFailed;
  }

  std::vector<RankSubmission> Scored(bool cpuGroup, std::size_t limit) override {
    std::vector<RankSubmission> rows;
    Run([&](pqxx::work& tx) {
      const std::string sql = std::string("SELECT ") + kColumns + " FROM rank_submission WHERE " +
                              (cpuGroup ? "cpu_score" : "mem_score") +
                              " > 0 ORDER BY time_ms DESC, id DESC LIMIT $1";
      const auto result = tx.exec_params(
          sql, limit == 0 ? std::int64_t{9223372036854775807} : static_cast<std::int64_t>(limit));
      for (const auto& row : result) {
        RankSubmission s;
        s.id = row[0].as<std::int64_t>();
        s.timeMs = row[1].as<std::int64_t>();
        std::string* texts[] = {&s.userName, &s.featureId, &s.os,      &s.osName,
                                &s.cpu,      &s.board,     &s.memory,  &s.video,
                                &s.monitor,  &s.disk,      &s.network, &s.sound};
        for (int i = 0; i < 12; ++i) *texts[i] = row[2 + i].as<std::string>();
        s.score = row[14].as<double>();
        s.cpuScore = row[15].as<double>();
        s.memScore = row[16].as<double>();
        s.addressHash = row[17].as<std::string>();
        rows.push_back(std::move(s));
      }
      return true;
    });
    return rows;
  }

  std::int64_t PurgeBefore(std::int64_t timeMs) override {
    std::int64_t removed = -1;
    Run([&](pqxx::work& tx) {
      removed =
          tx.exec_params("DELETE FROM rank_submission WHERE time_ms < $1", timeMs).affected_rows();
      return true;
    });
    return removed;
  }

  std::int64_t SubmissionCount() override {
    std::int64_t n = -1;
    Run([&](pqxx::work& tx) {
      n = tx.exec("SELECT COUNT(*) FROM rank_submission")[0][0].as<std::int64_t>();
      return true;
    });
    return n;
  }

 private:
  // One transaction on a pooled connection; false when it could not be committed. A broken
  // connection is dropped, so the next request opens a fresh one.
  template <typename F>
  bool Run(F&& f) {
    std::unique_ptr<pqxx::connection> c;
    {
      std::lock_guard lock(mutex_);
      if (!pool_.empty()) {
        c = std::move(pool_.back());
        pool_.pop_back();
      }
    }
    bool ok = false;
    try {
      if (!c) c = std::make_unique<pqxx::connection>(uri_);
      pqxx::work tx(*c);
      ok = f(tx);
      if (ok) tx.commit();
    } catch (const std::exception&) {
      ok = false;
    }
    if (c && c->is_open()) {
      std::lock_guard lock(mutex_);
      if (pool_.size() < 16) pool_.push_back(std::move(c));
    }
    return ok;
  }

  std::string uri_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<pqxx::connection>> pool_;
};

}  // namespace

std::unique_ptr<RankStore> OpenPostgresRankStore(const std::string& connection,
                                                 std::string* error) {
  auto store = std::make_unique<PostgresRankStore>(connection);
  if (!store->Init(error)) return nullptr;
  return store;
}

}  // namespace korvane::server
