// `korvane --bench cpu` end to end: the whole CPU group runs, and its submission goes through a
// recording relay to the real korvane-server on loopback. The relay keeps the body as it went
// over the wire, so the test can send it again and send a damaged copy.
#include <gtest/gtest.h>
#include <httplib.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "../server_rank/RankTestSupport.h"
#include "online/ScoreSubmit.h"

namespace korvane {
namespace {

// Passes every request on to the server and remembers the submission bodies.
class RecordingRelay {
 public:
  explicit RecordingRelay(const std::string& serverBase) {
    const std::size_t colon = serverBase.rfind(':');
    host_ = "127.0.0.1";
    port_ = std::stoi(serverBase.substr(colon + 1));
    auto pass = [this](const httplib::Request& req, httplib::Response& res) {
      httplib::Client to(host_, port_);
      httplib::Result r = req.method == "POST"
                              ? to.Post(req.target, req.body, "application/x-www-form-urlencoded")
                              : to.Get(req.target);
      if (req.method == "POST") {
        std::lock_guard lock(mutex_);
        bodies_.push_back(req.body);
      }
      if (!r) {
        res.status = 502;
        return;
      }
      res.status = r->status;
      res.set_content(r->body, r->get_header_value("Content-Type"));
    };
    server_.Get(".*", pass);
    server_.Post(".*", pass);
    listenPort_ = server_.bind_to_any_port("127.0.0.1");
    // The socket listens from the bind on: early connections wait in its queue.
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~RecordingRelay() {
    server_.stop();
    thread_.join();
  }
  std::string Base() const { return "http://127.0.0.1:" + std::to_string(listenPort_); }
  std::vector<std::string> Bodies() {
    std::lock_guard lock(mutex_);
    return bodies_;
  }

 private:
  httplib::Server server_;
  std::string host_;
  int port_ = 0;
  int listenPort_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> bodies_;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(BenchCpuCommandLine, SubmitsTheGroupScoreWhichIsRankedAndCannotBeReplayedOrTampered) {
  ranktest::TempDir dir;
  ranktest::ServerProcess server;
  // No per-minute limit: a refusal below must come from the body itself.
  ranktest::StartServer(server, dir.path() / "data", {"--submit-interval", "0"});
  ASSERT_FALSE(server.base.empty()) << "korvane-server did not start";
  RecordingRelay relay(server.base);

  const std::string out = (dir.path() / "bench.out").string();
  const std::string exe = std::string(KORVANE_BIN_DIR) + "/korvane";
  const std::string env = "HOME='" + dir.path().string() + "' XDG_CONFIG_HOME='" +
                          dir.path().string() + "/config' KORVANE_SERVER_BASE='" + relay.Base() +
                          "' ";
  const std::string cmd = env + "'" + exe + "' --bench cpu --json > '" + out + "' 2>/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << ReadAll(out);
  const auto result = nlohmann::json::parse(ReadAll(out));
  ASSERT_TRUE(result["completed"].get<bool>()) << result.dump();
  EXPECT_EQ(result["submitted"], 200);
  ASSERT_EQ(result["tests"].size(), 3u);
  for (const auto& t : result["tests"]) {
    EXPECT_EQ(t["result"], 1) << t.dump();
    EXPECT_GT(t["score"].get<double>(), 0.0);
    EXPECT_GT(t["value"].get<double>(), 0.0);  // seconds
  }
  const double score = result["score"].get<double>();
  ASSERT_GT(score, 0.0);
  // Stored even though no window ever ran in this home: ceil(average x 100 + 0.5).
  const int stored = result["stored"].get<int>();
  EXPECT_GE(stored, static_cast<int>(std::lround(score * 100)));
  EXPECT_LE(stored, static_cast<int>(std::lround(score * 100)) + 1);

  std::string body;
  ASSERT_EQ(HttpGetText(server.base + "/api/ranking?group=cpu", body), 200u);
  const auto api = nlohmann::json::parse(body);
  ASSERT_EQ(api["newest"].size(), 1u) << body;
  EXPECT_DOUBLE_EQ(api["newest"][0]["score"].get<double>(), score) << body;
  ASSERT_EQ(api["groups"].size(), 1u);
  EXPECT_EQ(api["groups"][0]["count"], 1);
  const std::string cpu = api["newest"][0]["cpu"].get<std::string>();

  // The processor is named as the summary page names it.
  const std::string report = (dir.path() / "report.json").string();
  ASSERT_EQ(
      std::system((env + "'" + exe + "' --report --json > '" + report + "' 2>/dev/null").c_str()),
      0);
  EXPECT_FALSE(cpu.empty());
  EXPECT_NE(ReadAll(report).find("\"caption\": \"" + cpu + "\""), std::string::npos) << cpu;

  body.clear();
  ASSERT_EQ(HttpGetText(server.base + "/html/korvane/rank.htm", body), 200u);
  char shown[16];
  std::snprintf(shown, sizeof shown, "%.2f", score);
  EXPECT_NE(body.find(shown), std::string::npos);

  const auto bodies = relay.Bodies();
  ASSERT_EQ(bodies.size(), 1u);
  ASSERT_EQ(bodies[0].rfind("data=", 0), 0u);
  const std::string url = server.base + "/?action=seScore&version=2.32";
  std::string answer;
  const std::uint32_t replay = HttpPostForm(url, bodies[0], answer);
  EXPECT_GE(replay, 400u) << answer;
  EXPECT_LT(replay, 500u) << answer;

  // A fresh key exists, but the damaged body does not decrypt to a valid query under it.
  std::string key;
  ASSERT_EQ(HttpGetText(server.base + "/?action=seInfo&version=2.32", key), 200u);
  std::string tampered = bodies[0];
  char& digit = tampered[tampered.size() / 2];
  digit = digit == '0' ? '1' : '0';
  answer.clear();
  const std::uint32_t damaged = HttpPostForm(url, tampered, answer);
  EXPECT_GE(damaged, 400u) << answer;
  EXPECT_LT(damaged, 500u) << answer;

  body.clear();
  ASSERT_EQ(HttpGetText(server.base + "/api/ranking?group=cpu", body), 200u);
  EXPECT_EQ(nlohmann::json::parse(body)["newest"].size(), 1u) << body;
}

}  // namespace
}  // namespace korvane
