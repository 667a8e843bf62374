// One suite for every ranking store back end: SQLite in a private folder and PostgreSQL in a
// throwaway cluster. A back end behaves the same or the service breaks behind a load balancer.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <pqxx/pqxx>
#include <thread>

#include "RankStore.h"
#include "RankTestSupport.h"

namespace korvane::server {
namespace {

using ranktest::PgCluster;
using ranktest::TempDir;

// One cluster for the whole binary; each test gets a database of its own.
struct PgEnvironment {
  TempDir dir;
  PgCluster cluster;
  std::string error;
  bool missing = false;
  int next = 0;
  PgEnvironment() { error = cluster.Start(dir.path(), &missing); }
};
PgEnvironment* g_pg = nullptr;
PgEnvironment& Pg() {
  if (g_pg == nullptr) {
    g_pg = new PgEnvironment();
    std::atexit([] { delete g_pg; });  // stops the cluster and removes its folder
  }
  return *g_pg;
}

RankSubmission Row(const std::string& user, const std::string& address, std::int64_t timeMs,
                   double cpu, double mem) {
  RankSubmission r;
  r.timeMs = timeMs;
  r.userName = user;
  r.featureId = "0123456789abcdef0123456789abcdef";
  r.os = "linux_64";
  r.osName = "Debian GNU/Linux 12 (bookworm), 6.1.0";
  r.cpu = "Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz";
  r.memory = "Samsung M471A1K43CB1 DDR4 2400MHz ( 8GB ) @ 1197.0MHz";
  r.cpuScore = cpu;
  r.memScore = mem;
  r.addressHash = address;
  return r;
}

class RankStoreTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    std::string error;
    if (GetParam() == "sqlite") {
      store_ = OpenRankStore((dir_.path() / "rank.sqlite").string(), &error);
    } else {
      PgEnvironment& pg = Pg();
      if (pg.missing) GTEST_SKIP() << "PostgreSQL back end not tested: " << pg.error;
      ASSERT_TRUE(pg.error.empty()) << pg.error;
      const std::string name = "rank_test_" + std::to_string(++pg.next);
      {
        pqxx::connection c(pg.cluster.Uri());
        pqxx::nontransaction tx(c);
        tx.exec("DROP DATABASE IF EXISTS " + name);
        tx.exec("CREATE DATABASE " + name);
      }
      store_ = OpenRankStore(pg.cluster.Uri(name), &error);
    }
    ASSERT_NE(store_, nullptr) << error;
  }
  TempDir dir_;
  std::unique_ptr<RankStore> store_;
};

TEST_P(RankStoreTest, SeedsAreSingleUseAndBoundToTheirAddress) {
  const std::int64_t t = 1'000'000;
  ASSERT_TRUE(store_->AddSeed("addrA", "seedAAAA", t, t + 600'000, 64));
  ASSERT_TRUE(store_->AddSeed("addrB", "seedBBBB", t, t + 600'000, 64));
  EXPECT_EQ(store_->LiveSeeds("addrA", t + 1), std::vector<std::string>{"seedAAAA"});

  // Another address cannot spend A's seed.
  EXPECT_EQ(store_->Accept("seedAAAA", Row("Uuuuuuuuuuuuuu1", "addrB", t + 1, 5.5, 0), 60'000),
            AcceptOutcome::kSeedGone);
  EXPECT_EQ(store_->Accept("seedAAAA", Row("Uuuuuuuuuuuuuu1", "addrA", t + 1, 5.5, 0), 60'000),
            AcceptOutcome::kStored);
  // A replay finds the seed spent.
  EXPECT_EQ(store_->Accept("seedAAAA", Row("Uuuuuuuuuuuuuu2", "addrA", t + 2, 5.5, 0), 0),
            AcceptOutcome::kSeedGone);
  EXPECT_TRUE(store_->LiveSeeds("addrA", t + 3).empty());
  EXPECT_EQ(store_->SubmissionCount(), 1);
}

TEST_P(RankStoreTest, ExpiredSeedsAreNeitherListedNorSpendable) {
  const std::int64_t t = 2'000'000;
  ASSERT_TRUE(store_->AddSeed("addr", "oldseed1", t, t + 600'000, 64));
  ASSERT_TRUE(store_->AddSeed("addr", "newseed1", t + 500'000, t + 1'100'000, 64));
  EXPECT_EQ(store_->LiveSeeds("addr", t + 599'999),
            (std::vector<std::string>{"newseed1", "oldseed1"}));
  EXPECT_EQ(store_->LiveSeeds("addr", t + 600'000), std::vector<std::string>{"newseed1"});
  EXPECT_EQ(store_->Accept("oldseed1", Row("Uuuuuuuuuuuuuu1", "addr", t + 600'001, 3, 0), 0),
            AcceptOutcome::kSeedGone);
  EXPECT_EQ(store_->SubmissionCount(), 0);
}

TEST_P(RankStoreTest, AnAddressKeepsOnlyItsNewestSeeds) {
  const std::int64_t t = 3'000'000;
  for (int i = 0; i < 5; ++i)
    ASSERT_TRUE(store_->AddSeed("addr", "seed000" + std::to_string(i), t + i, t + 600'000, 3));
  EXPECT_EQ(store_->LiveSeeds("addr", t + 10),
            (std::vector<std::string>{"seed0004", "seed0003", "seed0002"}));
}

TEST_P(RankStoreTest, TheIntervalHoldsPerUserNameAndPerAddress) {
  const std::int64_t t = 4'000'000;
  for (int i = 0; i < 6; ++i)
    ASSERT_TRUE(store_->AddSeed(i < 3 ? "addrA" : "addrB", "s" + std::to_string(i) + "xxxxxx", t,
                                t + 600'000, 64));
  EXPECT_EQ(store_->Accept("s0xxxxxx", Row("UserOne11111111", "addrA", t, 5, 0), 60'000),
            AcceptOutcome::kStored);
  // Same address, another name; same name, another address: both too soon.
  EXPECT_EQ(store_->Accept("s1xxxxxx", Row("UserTwo22222222", "addrA", t + 59'000, 5, 0), 60'000),
            AcceptOutcome::kTooSoon);
  EXPECT_EQ(store_->Accept("s3xxxxxx", Row("UserOne11111111", "addrB", t + 59'000, 5, 0), 60'000),
            AcceptOutcome::kTooSoon);
  // The refused attempts spent their seeds.
  EXPECT_TRUE(store_->LiveSeeds("addrA", t + 59'001) == std::vector<std::string>{"s2xxxxxx"});
  // After the interval, and with the limit off, submissions go through.
  EXPECT_EQ(store_->Accept("s2xxxxxx", Row("UserTwo22222222", "addrA", t + 60'001, 5, 0), 60'000),
            AcceptOutcome::kStored);
  EXPECT_EQ(store_->Accept("s4xxxxxx", Row("UserOne11111111", "addrB", t + 60'002, 5, 0), 0),
            AcceptOutcome::kStored);
  EXPECT_EQ(store_->SubmissionCount(), 3);
}

TEST_P(RankStoreTest, TextsComeBackByteForByteAndGroupsAreSeparate) {
  const std::int64_t t = 5'000'000;
  RankSubmission odd = Row("Uuuuuuuuuuuuuu1", "addr", t, 6.21, 0);
  odd.cpu = "Robert'); DROP TABLE rank_submission;-- <b>\"x\" & \xe5\x86\x85\xe5\xad\x98";
  odd.sound = std::string(512, 'x');
  ASSERT_TRUE(store_->AddSeed("addr", "seedseed", t, t + 600'000, 64));
  ASSERT_TRUE(store_->AddSeed("addr", "seedsee2", t, t + 600'000, 64));
  ASSERT_EQ(store_->Accept("seedseed", odd, 0), AcceptOutcome::kStored);
  ASSERT_EQ(store_->Accept("seedsee2", Row("Uuuuuuuuuuuuuu2", "addr", t + 5, 0, 4.4), 0),
            AcceptOutcome::kStored);

  const auto cpu = store_->Scored(true, 0);
  ASSERT_EQ(cpu.size(), 1u);
  EXPECT_EQ(cpu[0].cpu, odd.cpu);
  EXPECT_EQ(cpu[0].sound, odd.sound);
  EXPECT_DOUBLE_EQ(cpu[0].cpuScore, 6.21);
  EXPECT_EQ(cpu[0].addressHash, "addr");
  const auto mem = store_->Scored(false, 0);
  ASSERT_EQ(mem.size(), 1u);
  EXPECT_DOUBLE_EQ(mem[0].memScore, 4.4);
}

TEST_P(RankStoreTest, ScoredIsNewestFirstWithinTheLimitAndPurgeDropsOnlyOldRows) {
  const std::int64_t t = 6'000'000;
  for (int i = 0; i < 5; ++i) {
    const std::string seed = "seedno" + std::to_string(i) + "x";
    ASSERT_TRUE(store_->AddSeed("addr", seed, t, t + 600'000, 64));
    ASSERT_EQ(
        store_->Accept(
            seed, Row("Uuuuuuuuuuuuuu" + std::to_string(i), "addr", t + i * 1000, 1 + i, 0), 0),
        AcceptOutcome::kStored);
  }
  const auto two = store_->Scored(true, 2);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].timeMs, t + 4000);
  EXPECT_EQ(two[1].timeMs, t + 3000);
  EXPECT_EQ(store_->PurgeBefore(t + 2000), 2);
  EXPECT_EQ(store_->SubmissionCount(), 3);
  EXPECT_EQ(store_->Scored(true, 0).back().timeMs, t + 2000);
}

TEST_P(RankStoreTest, ConcurrentSpendsOfOneSeedStoreExactlyOnce) {
  const std::int64_t t = 7'000'000;
  ASSERT_TRUE(store_->AddSeed("addr", "raceseed", t, t + 600'000, 64));
  std::atomic<int> stored{0}, gone{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&, i] {
      const auto o = store_->Accept(
          "raceseed", Row("Racer" + std::string(9, 'a') + std::to_string(i), "addr", t + i, 5, 0),
          0);
      if (o == AcceptOutcome::kStored) ++stored;
      if (o == AcceptOutcome::kSeedGone) ++gone;
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(stored.load(), 1);
  EXPECT_EQ(gone.load(), 7);
  EXPECT_EQ(store_->SubmissionCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, RankStoreTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace korvane::server
