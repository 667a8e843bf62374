// The service's decisions without HTTP: what parses as a score query, what decrypts, how the
// tables are grouped. Queries come from the program's own builder, so both sides agree.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

#include "RankService.h"
#include "RankTestSupport.h"
#include "online/ScoreSubmit.h"
#include "scores/TextCipher.h"

namespace korvane::server {
namespace {

ProfileTexts Texts() {
  ProfileTexts t;
  t.cpuCaption = "AMD Ryzen 7 5800X 8-Core Processor @ 3.80GHz";
  t.cpuProfile = t.cpuCaption;
  t.boardCaption = "ASUS TUF GAMING B550-PLUS";
  t.memoryProfile = "Kingston KHX3200C16D4/8GX DDR4 3200MHz ( 16GB ) @ 1600.0MHz";
  t.memoryCaptionString = "Kingston KHX3200C16D4/8GX DDR4 3200MHz ( 16GB )";
  t.video = "NVIDIA GeForce RTX 3060 ( 12GB )";
  t.monitor = "DELL U2415";
  t.disk = "Samsung SSD 970 EVO 1TB ( 1000GB )";
  t.network = "Intel I225-V";
  t.sound = "Realtek ALC1200";
  return t;
}

SubmissionIdentity Id() { return {"Abc_-12345xyzQW", "linux_64", "Debian GNU/Linux 12, 6.1.0"}; }

std::string Query(float score, float cpu, float mem) {
  return BuildScoreQuery(Texts(), Id(), score, cpu, mem, "Abcdefghijkl");
}

TEST(ScoreQueryParse, TheProgramsOwnQueryParsesWithEveryField) {
  std::string why;
  const auto q = ParseScoreQuery(Query(0, 6.21f, 0), &why);
  ASSERT_TRUE(q) << why;
  EXPECT_EQ(q->userName, "Abc_-12345xyzQW");
  EXPECT_EQ(q->cpu, Texts().cpuCaption);
  EXPECT_EQ(q->memory, Texts().memoryProfile);
  EXPECT_EQ(q->osName, "Debian GNU/Linux 12, 6.1.0");
  EXPECT_DOUBLE_EQ(q->cpuScore, 6.21);
  EXPECT_EQ(q->score, 0);
  EXPECT_EQ(q->memScore, 0);
  EXPECT_EQ(q->rndnum, HexEncodeText("Abcdefghijkl"));
  EXPECT_EQ(q->featureId, BuildProfileText(Texts(), Id()));
  // All three scores.
  const auto all = ParseScoreQuery(Query(1.5f, 6.99f, 0.01f), &why);
  ASSERT_TRUE(all) << why;
  EXPECT_DOUBLE_EQ(all->memScore, 0.01);
}

// Each variant changes one thing an honest client never changes.
TEST(ScoreQueryParse, AnythingOutsideTheFixedShapeIsRefusedWithAReason) {
  const std::string good = Query(0, 6.21f, 0);
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string q = good;
    const auto at = q.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) q.replace(at, from.size(), to);
    return q;
  };
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"version 1.2", replaced("&version=1.1", "&version=1.2")},
      {"file version", replaced("&fileversion=3.0.603.1", "&fileversion=3.0.603.2")},
      {"score version", replaced("&scoreversion=1.2", "&scoreversion=1.1")},
      {"parts swapped", replaced("&cpuid=&board=", "&board=&cpuid=")},
      {"part missing", replaced("&cdrom=", "")},
      {"score of 7", replaced("&cpuscore=6.21", "&cpuscore=7.00")},
      {"score of 0", replaced("&cpuscore=6.21", "&cpuscore=0.00")},
      {"score with one decimal", replaced("&cpuscore=6.21", "&cpuscore=6.2")},
      {"score after rndnum", good + "&memscore=1.00"},
      {"scores out of order", replaced("&cpuscore=6.21", "&memscore=1.00&cpuscore=6.21")},
      {"short user name", replaced("&username=Abc_-12345xyzQW", "&username=Abc_-12345xyzQ")},
      {"user name starting with a digit",
       replaced("&username=Abc_-12345xyzQW", "&username=1bc_-12345xyzQW")},
      {"feature id of 33 digits", replaced("&featureid=", "&featureid=a")},
      {"lower-case rndnum", replaced("&rndnum=41", "&rndnum=a1")},
      {"foreign byte", replaced("&os=linux_64", "&os=linux 64")},
      {"control character", replaced("&os=linux_64", "&os=linux%0A64")},
      {"broken escape", replaced("&os=linux_64", "&os=linux%4")},
      {"invalid UTF-8", replaced("&os=linux_64", "&os=%C3%28")},
      {"empty", ""},
  };
  for (const auto& [name, query] : bad) {
    std::string why;
    EXPECT_FALSE(ParseScoreQuery(query, &why)) << name;
    EXPECT_FALSE(why.empty()) << name;
    EXPECT_EQ(why.find('\n'), std::string::npos) << name;
  }
}

TEST(PayloadDecryption, OnlyTheSeedsKeyRecoversTheQuery) {
  const std::string query = Query(0, 5.5f, 0);
  const std::string body = BuildSubmissionBody(Texts(), Id(), 0, 5.5f, 0, "Q7x_k2Lm");
  ASSERT_EQ(body.rfind("data=", 0), 0u);
  const auto plain = DecryptPayload(body.substr(5), "Q7x_k2Lm");
  ASSERT_TRUE(plain);
  EXPECT_TRUE(ParseScoreQuery(*plain, nullptr));
  const auto wrong = DecryptPayload(body.substr(5), "Q7x_k2Ln");
  ASSERT_TRUE(wrong);
  EXPECT_FALSE(ParseScoreQuery(*wrong, nullptr));
  EXPECT_FALSE(DecryptPayload(body.substr(5, 31), "Q7x_k2Lm"));  // not whole blocks
  EXPECT_FALSE(DecryptPayload("", "Q7x_k2Lm"));
}

TEST(RankGrouping, ProcessorModelAndMemoryClass) {
  EXPECT_EQ(ProcessorModel("Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz"),
            "Intel(R) Core(TM) i5-8250U CPU");
  EXPECT_EQ(ProcessorModel("Intel Xeon @ 2.40GHz/3.00GHz"), "Intel Xeon");
  EXPECT_EQ(ProcessorModel("QEMU Virtual CPU"), "QEMU Virtual CPU");
  EXPECT_EQ(MemoryClass("Kingston KHX3200C16D4/8GX DDR4 3200MHz ( 16GB ) @ 1600.0MHz"),
            "DDR4 3200MHz");
  EXPECT_EQ(MemoryClass("  LPDDR5 6400MHz ( 16GB )"), "LPDDR5 6400MHz");
  EXPECT_EQ(MemoryClass("Unknown @ 1600MHz"), "");  // the measured clock is not the rating
  EXPECT_EQ(MemoryClass("QEMU"), "");
}

TEST(Seeds, EightCharactersOfTheAlphabetAndNeverTheSame) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string s = NewSeed();
    ASSERT_EQ(s.size(), 8u);
    for (char c : s) EXPECT_NE(std::string(kUserNameAlphabet).find(c), std::string::npos);
    seen.insert(s);
  }
  EXPECT_EQ(seen.size(), 200u);
}

TEST(AddressSecret, CreatedPrivateAndReusedButNeverTrustedWhenOthersCanReadIt) {
  ranktest::TempDir dir;
  const std::string path = (dir.path() / "rank-secret").string();
  std::string error;
  const std::string first = LoadOrCreateSecret(path, &error);
  ASSERT_EQ(first.size(), 32u) << error;
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(LoadOrCreateSecret(path, &error), first);
  ::chmod(path.c_str(), 0644);
  EXPECT_EQ(LoadOrCreateSecret(path, &error), "");
  EXPECT_NE(error.find("0600"), std::string::npos);

  // The address hash depends on the secret and the address, and hides both.
  ::chmod(path.c_str(), 0600);
  std::unique_ptr<RankStore> none;
  auto store = OpenSqliteRankStore((dir.path() / "r.sqlite").string(), &error);
  RankService a(*store, first), b(*store, "another secret of enough length");
  EXPECT_NE(a.AddressHash("192.0.2.7"), b.AddressHash("192.0.2.7"));
  EXPECT_NE(a.AddressHash("192.0.2.7"), a.AddressHash("192.0.2.8"));
  EXPECT_EQ(a.AddressHash("192.0.2.7").find("192"), std::string::npos);
}

}  // namespace
}  // namespace korvane::server

#include "ServerApp.h"

namespace korvane::server {
namespace {

TEST(RankOptions, IntervalPurgeAndDatabaseFromTheCommandLine) {
  ServerOptions o;
  std::string error;
  EXPECT_EQ(o.submitIntervalSeconds, 60);
  EXPECT_EQ(o.purgeOlderThanDays, -1);
  ASSERT_TRUE(ParseServerOptions({"--submit-interval", "0", "--purge-older-than", "30", "--db",
                                  "postgresql://u@/db?host=/run/pg"},
                                 o, error))
      << error;
  EXPECT_EQ(o.submitIntervalSeconds, 0);
  EXPECT_EQ(o.purgeOlderThanDays, 30);
  EXPECT_EQ(o.rankDb, "postgresql://u@/db?host=/run/pg");
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--submit-interval", "-1"},
                                              {"--submit-interval", "1.5"},
                                              {"--purge-older-than"},
                                              {"--purge-older-than", "ten"},
                                              {"--db", ""}}) {
    ServerOptions fresh;
    error.clear();
    EXPECT_FALSE(ParseServerOptions(bad, fresh, error)) << bad[0];
    EXPECT_NE(error.find(bad[0]), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace korvane::server
