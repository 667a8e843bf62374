#pragma once
// Where the ranking service keeps its state: the single-use seeds handed out by the key request
// and the accepted submissions. Like the driver store, nothing lives in the process, so several
// server processes can share one database. Addresses never reach the store in the clear: the
// caller passes a keyed hash.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane::server {

struct RankSubmission {
  std::int64_t id = 0;
  std::int64_t timeMs = 0;  // milliseconds since the epoch, when it was accepted
  std::string userName;
  std::string featureId;
  std::string os;
  std::string osName;
  std::string cpu;
  std::string board;
  std::string memory;
  std::string video;
  std::string monitor;
  std::string disk;
  std::string network;
  std::string sound;
  // 0 when the submission did not carry that score.
  double score = 0;
  double cpuScore = 0;
  double memScore = 0;
  std::string addressHash;
};

enum class AcceptOutcome {
  kStored,
  kSeedGone,  // the seed was spent or expired in the meantime (a replay)
  kTooSoon,   // the user name or the address submitted within the interval
  kFailed,    // the database refused; nothing was stored
};

class RankStore {
 public:
  virtual ~RankStore() = default;
  // Keeps a fresh seed for the address until expiresMs. Expired seeds are dropped on the way,
  // and an address never holds more than maxPerAddress live seeds (the oldest go first).
  virtual bool AddSeed(const std::string& addressHash, const std::string& seed, std::int64_t nowMs,
                       std::int64_t expiresMs, int maxPerAddress) = 0;
  // The address's unexpired seeds, newest first.
  virtual std::vector<std::string> LiveSeeds(const std::string& addressHash,
                                             std::int64_t nowMs) = 0;
  // In one transaction: spends the seed (it must still be live), checks the interval for the
  // user name and the address (0 = no limit) and stores the submission.
  virtual AcceptOutcome Accept(const std::string& seed, const RankSubmission& submission,
                               std::int64_t intervalMs) = 0;
  // Submissions carrying a CPU score (cpuGroup) or a memory score, newest first, at most limit
  // (0 = all).
  virtual std::vector<RankSubmission> Scored(bool cpuGroup, std::size_t limit) = 0;
  // Removes submissions accepted before the time; returns how many.
  virtual std::int64_t PurgeBefore(std::int64_t timeMs) = 0;
  virtual std::int64_t SubmissionCount() = 0;
};

// SQLite (WAL, synchronous=FULL: an acknowledged submission survives a crash of the process or
// the machine). nullptr and error on failure.
std::unique_ptr<RankStore> OpenSqliteRankStore(const std::string& path, std::string* error);
// PostgreSQL through libpqxx; connection is a libpq URI ("postgresql://…"). nullptr and error
// when it cannot connect or the back end was not built in.
std::unique_ptr<RankStore> OpenPostgresRankStore(const std::string& connection, std::string* error);
// By the --db value: a postgresql:// or postgres:// URI, else an SQLite file path.
std::unique_ptr<RankStore> OpenRankStore(const std::string& spec, std::string* error);

}  // namespace korvane::server
