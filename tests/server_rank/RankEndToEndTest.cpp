// The ranking service end to end: the real korvane-server on a loopback port, spoken to by the
// program's own submission code over HTTP.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "RankTestSupport.h"
#include "online/ScoreSubmit.h"
#include "platform/Http.h"

namespace korvane {
namespace {

using ranktest::ServerProcess;
using ranktest::TempDir;

ProfileTexts Texts(const std::string& cpu) {
  ProfileTexts t;
  t.cpuCaption = cpu + " @ 2.10GHz";
  t.cpuProfile = t.cpuCaption;
  t.boardCaption = "Board";
  t.memoryProfile = "Vendor Part DDR5 4800MHz ( 32GB ) @ 2400.0MHz";
  t.memoryCaptionString = "Vendor Part DDR5 4800MHz ( 32GB )";
  return t;
}

class RankEndToEnd : public ::testing::Test {
 protected:
  void Start(std::vector<std::string> extra = {}) {
    ranktest::StartServer(server_, dir_.path() / "data", std::move(extra));
    ASSERT_FALSE(server_.base.empty()) << "korvane-server did not start";
  }
  std::string Get(const std::string& path, std::uint32_t* status = nullptr) {
    std::string body;
    const std::uint32_t s = HttpGetText(server_.base + path, body);
    if (status != nullptr) *status = s;
    return body;
  }
  std::uint32_t Post(const std::string& body, std::string* answer = nullptr) {
    std::string response;
    const std::uint32_t s =
        HttpPostForm(server_.base + "/?action=seScore&version=2.32", body, response);
    if (answer != nullptr) *answer = response;
    return s;
  }
  std::string Seed() {
    std::uint32_t status = 0;
    const std::string body = Get("/?action=seInfo&version=2.32", &status);
    EXPECT_EQ(status, 200u);
    return SeedFromKeyAnswer(body);
  }
  TempDir dir_;
  ServerProcess server_;
  const std::string ini_ = (dir_.path() / "tovix2.ini").string();
};

TEST_F(RankEndToEnd, ASubmissionShowsOnThePageAndInTheApiAndCannotBeReplayedOrTampered) {
  Start();
  const std::string cpu = "Test <CPU> & \"Co\"";
  const auto source = [&] { return Texts(cpu); };
  const SubmitOutcome out = SubmitScores(source, 0, 6.21f, 0, server_.base, ini_);
  EXPECT_EQ(out.keyStatus, 200u);
  ASSERT_EQ(out.submitStatus, 200u) << out.response;
  EXPECT_NE(out.response.find("StatusCode = 200.<br />\r\n\r\nOK"), std::string::npos);

  std::uint32_t status = 0;
  const std::string page = Get("/html/korvane/rank.htm", &status);
  EXPECT_EQ(status, 200u);
  EXPECT_NE(page.find("Test &lt;CPU&gt; &amp; &quot;Co&quot;</td><td align=\"right\">1</td>"
                      "<td align=\"right\">6.21</td>"),
            std::string::npos)
      << page;
  EXPECT_EQ(page.find("<CPU>"), std::string::npos);

  const auto api = nlohmann::json::parse(Get("/api/ranking?group=cpu", &status));
  EXPECT_EQ(status, 200u);
  ASSERT_EQ(api["groups"].size(), 1u);
  EXPECT_EQ(api["groups"][0]["processor"], cpu);
  EXPECT_EQ(api["groups"][0]["count"], 1);
  EXPECT_DOUBLE_EQ(api["groups"][0]["median"].get<double>(), 6.21);
  EXPECT_EQ(api["newest"][0]["cpu"], cpu + " @ 2.10GHz");
  const auto filtered = nlohmann::json::parse(Get("/api/ranking?group=cpu&cpu=Other", &status));
  EXPECT_TRUE(filtered["groups"].empty());
  EXPECT_TRUE(nlohmann::json::parse(Get("/api/ranking?group=mem"))["groups"].empty());
  Get("/api/ranking?group=gpu", &status);
  EXPECT_EQ(status, 400u);

  // A body posted twice: the second finds its key spent.
  const SubmissionIdentity id = CurrentIdentity(ini_);
  const std::string seed = Seed();
  const std::string body = BuildSubmissionBody(Texts("Other"), id, 0, 0, 3.3f, seed);
  std::string answer;
  EXPECT_EQ(Post(body, &answer), 429u) << answer;  // the same user name within the minute
  const std::uint32_t replay = Post(body, &answer);
  EXPECT_GE(replay, 400u);
  EXPECT_LT(replay, 500u);
  EXPECT_EQ(std::count(answer.begin(), answer.end(), '\n'), 3) << answer;  // one-line reason

  // A tampered body under a fresh key.
  std::string tampered = BuildSubmissionBody(Texts("Other"), id, 0, 0, 3.3f, Seed());
  tampered[40] = tampered[40] == '0' ? '1' : '0';
  EXPECT_EQ(Post(tampered, &answer), 400u) << answer;
  EXPECT_EQ(Post("data=xyz", &answer), 400u);
  EXPECT_EQ(Post("junk", &answer), 400u);
  // Longer than any query: refused before any key is tried.
  EXPECT_EQ(Post("data=" + std::string(40000, '0'), &answer), 413u);
  EXPECT_EQ(nlohmann::json::parse(Get("/api/ranking?group=cpu"))["groups"][0]["count"], 1);
  // Key requests in another version are not answered with a seed.
  Get("/?action=seInfo&version=2.31", &status);
  EXPECT_EQ(status, 400u);
}

TEST_F(RankEndToEnd, WithoutALimitEverySubmissionCountsAndPurgeRemovesThem) {
  Start({"--submit-interval", "0"});
  std::uint32_t status = 0;
  // No key asked for yet: refused.
  const std::string early =
      BuildSubmissionBody(Texts("X"), CurrentIdentity(ini_), 0, 2, 0, "AAAAAAAA");
  EXPECT_EQ(Post(early), 403u);
  for (float s : {4.0f, 5.0f, 6.0f}) {
    const SubmitOutcome out =
        SubmitScores([] { return Texts("Model"); }, 0, s, s - 1, server_.base, ini_);
    ASSERT_EQ(out.submitStatus, 200u) << out.response;
  }
  // The masked case: nothing to rank, refused without storing.
  EXPECT_EQ(SubmitScores([] { return Texts("Model"); }, 0, 0, 0, server_.base, ini_).submitStatus,
            422u);
  const auto cpu = nlohmann::json::parse(Get("/api/ranking?group=cpu&cpu=Model", &status));
  ASSERT_EQ(cpu["groups"].size(), 1u);
  EXPECT_EQ(cpu["groups"][0]["count"], 3);
  EXPECT_DOUBLE_EQ(cpu["groups"][0]["median"].get<double>(), 5.0);
  EXPECT_DOUBLE_EQ(cpu["groups"][0]["best"].get<double>(), 6.0);
  EXPECT_DOUBLE_EQ(cpu["groups"][0]["p10"].get<double>(), 4.2);
  EXPECT_DOUBLE_EQ(cpu["groups"][0]["p90"].get<double>(), 5.8);
  const auto mem = nlohmann::json::parse(Get("/api/ranking?group=mem", &status));
  EXPECT_EQ(mem["groups"][0]["memory"], "DDR5 4800MHz");

  server_.Kill(SIGTERM);
  const std::string exe = std::string(KORVANE_BIN_DIR) + "/korvane-server";
  const std::string data = (dir_.path() / "data").string();
  EXPECT_EQ(ranktest::RunAndWait({exe, "--data", data, "--purge-older-than", "1"}), 0);
  Start();
  EXPECT_EQ(nlohmann::json::parse(Get("/api/ranking?group=cpu"))["groups"][0]["count"], 3);
  server_.Kill(SIGTERM);
  EXPECT_EQ(ranktest::RunAndWait({exe, "--data", data, "--purge-older-than", "0"}), 0);
  Start();
  EXPECT_TRUE(nlohmann::json::parse(Get("/api/ranking?group=cpu"))["groups"].empty());
}

}  // namespace
}  // namespace korvane

namespace korvane {
namespace {

// The headless group run submits to the server the test started; the memory group keeps the
// run short without changing any of the work that is scored.
TEST(RankCommandLine, BenchMemSubmitsAndTheScoreIsRanked) {
  ranktest::TempDir dir;
  ranktest::ServerProcess server;
  ranktest::StartServer(server, dir.path() / "data", {});
  ASSERT_FALSE(server.base.empty());
  const std::string out = (dir.path() / "bench.out").string();
  const std::string exe = std::string(KORVANE_BIN_DIR) + "/korvane";
  const std::string cmd = "HOME='" + dir.path().string() + "' KORVANE_SERVER_BASE='" + server.base +
                          "' '" + exe + "' --bench mem --json > '" + out + "' 2>/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream in(out);
  const auto result = nlohmann::json::parse(in);
  ASSERT_TRUE(result["completed"].get<bool>()) << result.dump();
  EXPECT_EQ(result["submitted"], 200);
  ASSERT_EQ(result["tests"].size(), 2u);
  const double score = result["score"].get<double>();
  // The stored integer is ceil(score x 100 + 0.5) of the unrounded average.
  const int stored = result["stored"].get<int>();
  EXPECT_GE(stored, static_cast<int>(std::lround(score * 100)));
  EXPECT_LE(stored, static_cast<int>(std::lround(score * 100)) + 1);

  std::string body;
  ASSERT_EQ(HttpGetText(server.base + "/api/ranking?group=mem", body), 200u);
  const auto api = nlohmann::json::parse(body);
  ASSERT_EQ(api["newest"].size(), 1u);
  EXPECT_DOUBLE_EQ(api["newest"][0]["score"].get<double>(), score) << body;
  body.clear();
  ASSERT_EQ(HttpGetText(server.base + "/html/korvane/rank.htm", body), 200u);
  char shown[16];
  std::snprintf(shown, sizeof shown, "%.2f", api["newest"][0]["score"].get<double>());
  EXPECT_NE(body.find(shown), std::string::npos);
}

}  // namespace
}  // namespace korvane
