// korvane-server behind a load balancer: the real server on a loopback port, spoken to with
// the forwarding headers a proxy (or a client pretending to be one) writes.
#include <gtest/gtest.h>
#include <httplib.h>

#include "RankTestSupport.h"
#include "online/ScoreSubmit.h"

namespace korvane {
namespace {

using ranktest::ServerProcess;
using ranktest::TempDir;

ProfileTexts Texts() {
  ProfileTexts t;
  t.cpuCaption = "Forwarded CPU @ 3.00GHz";
  t.cpuProfile = t.cpuCaption;
  t.memoryProfile = "Vendor Part DDR4 3200MHz ( 16GB ) @ 1600.0MHz";
  t.memoryCaptionString = "Vendor Part DDR4 3200MHz ( 16GB )";
  return t;
}

class ForwardedEndToEnd : public ::testing::Test {
 protected:
  void Start(std::vector<std::string> extra) {
    ranktest::StartServer(server_, dir_.path() / "data", std::move(extra));
    ASSERT_FALSE(server_.base.empty()) << "korvane-server did not start";
    client_ = std::make_unique<httplib::Client>(server_.base);
  }
  // A key requested with these headers (empty when refused).
  std::string Seed(const httplib::Headers& headers) {
    const auto res = client_->Get("/?action=seInfo&version=2.32", headers);
    if (!res || res->status != 200) return {};
    return SeedFromKeyAnswer(res->body);
  }
  // Requests a key and submits a score under a user name of its own, both with the headers
  // of `keyHeaders` and `postHeaders`; the submission's status.
  int Submit(const httplib::Headers& keyHeaders, const httplib::Headers& postHeaders) {
    const std::string seed = Seed(keyHeaders);
    EXPECT_EQ(seed.size(), 8u);
    const std::string ini = (dir_.path() / ("user" + std::to_string(users_++) + ".ini")).string();
    const std::string body = BuildSubmissionBody(Texts(), CurrentIdentity(ini), 0, 5.5f, 0, seed);
    const auto res = client_->Post("/?action=seScore&version=2.32", postHeaders, body,
                                   "application/x-www-form-urlencoded");
    return res ? res->status : -1;
  }
  int Submit(const httplib::Headers& headers) { return Submit(headers, headers); }
  static httplib::Headers Xff(const std::string& v) { return {{"X-Forwarded-For", v}}; }

  TempDir dir_;
  ServerProcess server_;
  std::unique_ptr<httplib::Client> client_;
  int users_ = 0;
};

TEST_F(ForwardedEndToEnd, AClientThatIsNoTrustedProxyCannotSpoofItsWayPastTheLimit) {
  // Proxies are configured, but the loopback peer is none of them.
  Start({"--trust-proxy", "10.0.0.0/8,fd00::/8"});
  EXPECT_EQ(Submit(Xff("203.0.113.5")), 200);
  // Another claimed address, another user name: still the one loopback client.
  EXPECT_EQ(Submit(Xff("203.0.113.6")), 429);
  EXPECT_EQ(Submit({{"Forwarded", "for=203.0.113.7"}}), 429);
}

TEST_F(ForwardedEndToEnd, BehindATrustedProxyKeysAndLimitsBelongToTheForwardedClient) {
  Start({"--trust-proxy", "127.0.0.0/8"});
  // The key is bound to the client it was given to, not to the proxy in front of both.
  EXPECT_EQ(Submit(Xff("198.51.100.7"), Xff("198.51.100.8")), 403);
  EXPECT_EQ(Submit(Xff("198.51.100.7")), 200);
  // One submission per client per minute: the same client again is refused, another one not.
  EXPECT_EQ(Submit(Xff("198.51.100.7")), 429);
  EXPECT_EQ(Submit(Xff("198.51.100.9")), 200);
  // Another spelling of the same client is the same client.
  EXPECT_EQ(Submit(Xff("::ffff:198.51.100.9")), 429);
  // A chain through a second proxy of ours: the hop before it is the client; what the client
  // wrote further left does not count.
  EXPECT_EQ(Submit(Xff("198.51.100.9, 198.51.100.10, 127.0.0.5"), Xff("198.51.100.10")), 200);
  // A header the server cannot read leaves the proxy's own address, and the server answers.
  EXPECT_EQ(Submit(Xff("not-an-address"), {}), 200);
  EXPECT_EQ(Submit(Xff("198.51.100.11, ]["), {}), 429);
  // Only the chosen header is read.
  EXPECT_EQ(Submit({{"Forwarded", "for=198.51.100.12"}}, {}), 429);
}

TEST_F(ForwardedEndToEnd, TheForwardedHeaderWhenTheProxiesWriteThat) {
  Start({"--trust-proxy", "127.0.0.1", "--proxy-header", "Forwarded"});
  const httplib::Headers a = {{"Forwarded", "for=\"[2001:db8::5]:4711\";proto=http"}};
  EXPECT_EQ(Submit(a, {{"Forwarded", "for=2001:db8::6"}}), 403);
  EXPECT_EQ(Submit(a, {{"Forwarded", "For=\"[2001:DB8:0::5]\""}}), 200);
  // X-Forwarded-For is now what a client could have written: ignored.
  EXPECT_EQ(Submit(Xff("198.51.100.20"), {}), 200);
  EXPECT_EQ(Submit(Xff("198.51.100.21"), {}), 429);
}

TEST(ForwardedCommandLine, BadProxyListsAreRefusedAtStart) {
  const std::string exe = std::string(KORVANE_BIN_DIR) + "/korvane-server";
  EXPECT_EQ(ranktest::RunAndWait({exe, "--trust-proxy", "10.0.0.0/40"}), 2);
  EXPECT_EQ(ranktest::RunAndWait({exe, "--trust-proxy", "balancer.lan"}), 2);
  EXPECT_EQ(ranktest::RunAndWait({exe, "--trust-proxy"}), 2);
  EXPECT_EQ(ranktest::RunAndWait({exe, "--proxy-header", "X-Real-IP"}), 2);
}

}  // namespace
}  // namespace korvane
