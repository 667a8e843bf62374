#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/Http.h"
#include "platform/Paths.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;

std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// A real HTTP server on 127.0.0.1 for the whole suite.
class HttpTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A proxy configured for the machine must not stand between the test and its server.
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    server_ = new httplib::Server;
    server_->Get("/hello", [](const httplib::Request& req, httplib::Response& res) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        lastHeaders_ = req.headers;
      }
      res.set_header("X-Answer", "forty-two");
      res.set_content("hello", "text/plain");
    });
    server_->Post("/form", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(req.get_header_value("Content-Type") + "\n" + req.body, "text/plain");
    });
    server_->Get("/big", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(200000, 'b'), "application/octet-stream");
    });
    server_->Get("/missing", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("nope", "text/plain");
    });
    server_->Get("/moved", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("/hello");
    });
    server_->Get("/to-file", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("file:///etc/passwd");
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    thread_ = new std::thread([] { server_->listen_after_bind(); });
    while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  static void TearDownTestSuite() {
    server_->stop();
    thread_->join();
    delete thread_;
    delete server_;
  }
  static std::string Url(const std::string& path) { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  static std::string Header(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = lastHeaders_.find(name);
    return it == lastHeaders_.end() ? "<none>" : it->second;
  }

  static HttpOptions Quick() {
    HttpOptions o;
    o.connectTimeoutMs = 3000;
    o.receiveTimeoutMs = 5000;
    return o;
  }

  static inline httplib::Server* server_ = nullptr;
  static inline std::thread* thread_ = nullptr;
  static inline int port_ = 0;
  static inline std::mutex mutex_;
  static inline httplib::Headers lastHeaders_;
};

TEST_F(HttpTest, GetReturnsStatusBodyAndHeadersAndSendsOurs) {
  HttpOptions o = Quick();
  o.headers = {"Accept: */*", "X-Custom: 1", "X-Bad: a\r\nX-Injected: yes"};
  const HttpResponse r = HttpGet(Url("/hello"), o);
  EXPECT_EQ(r.status, 200u);
  EXPECT_EQ(r.body, "hello");
  EXPECT_FALSE(r.truncated);
  EXPECT_TRUE(r.error.empty()) << r.error;
  bool found = false;
  for (const auto& [name, value] : r.headers) found |= name == "X-Answer" && value == "forty-two";
  EXPECT_TRUE(found);
  EXPECT_EQ(Header("User-Agent"), "Tovix2 Session");
  EXPECT_EQ(Header("X-Custom"), "1");
  EXPECT_EQ(Header("Pragma"), "no-cache");
  EXPECT_EQ(Header("Cache-Control"), "no-cache");
  EXPECT_EQ(Header("X-Injected"), "<none>");

  // A caller's own agent line wins over the session agent, as the program's requests rely on.
  o.headers = {"User-Agent: Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0)"};
  EXPECT_EQ(HttpGet(Url("/hello?a b"), o).status, 200u);
  EXPECT_EQ(Header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0)");
}

TEST_F(HttpTest, ErrorStatusesRedirectsAndForbiddenSchemes) {
  const HttpResponse missing = HttpGet(Url("/missing"), Quick());
  EXPECT_EQ(missing.status, 404u);
  EXPECT_EQ(missing.body, "nope");

  const HttpResponse moved = HttpGet(Url("/moved"), Quick());
  EXPECT_EQ(moved.status, 200u);
  EXPECT_EQ(moved.body, "hello");

  // A redirect to a local file is never followed.
  const HttpResponse file = HttpGet(Url("/to-file"), Quick());
  EXPECT_NE(file.status, 200u);
  EXPECT_EQ(file.body.find("root:"), std::string::npos);
  EXPECT_FALSE(file.error.empty());
}

TEST_F(HttpTest, PostSendsTheFormBody) {
  const HttpResponse r = HttpPostForm(Url("/form"), "data=00ff&x=%20", Quick());
  EXPECT_EQ(r.status, 200u);
  EXPECT_EQ(r.body, "application/x-www-form-urlencoded\ndata=00ff&x=%20");
  const HttpResponse empty = HttpPostForm(Url("/form"), "", Quick());
  EXPECT_EQ(empty.status, 200u);
  EXPECT_EQ(empty.body, "application/x-www-form-urlencoded\n");
}

TEST_F(HttpTest, BodyIsCutAtTheCap) {
  HttpOptions o = Quick();
  o.maxBody = 1000;
  const HttpResponse r = HttpGet(Url("/big"), o);
  EXPECT_EQ(r.status, 200u);
  EXPECT_EQ(r.body, std::string(1000, 'b'));
  EXPECT_TRUE(r.truncated);
  EXPECT_EQ(HttpGet(Url("/big"), Quick()).body.size(), 200000u);
}

TEST_F(HttpTest, UnparsableUrlsAndUnreachableServers) {
  for (const char* bad : {"", "not a url", "http://", "127.0.0.1/hello", "file:///etc/passwd", "ftp://127.0.0.1/"}) {
    EXPECT_EQ(HttpGet(bad, Quick()).status, kHttpBadUrl) << bad;
    EXPECT_EQ(HttpPostForm(bad, "a=b", Quick()).status, kHttpBadUrl) << bad;
  }
  EXPECT_EQ(HttpGet(std::string_view("http://127.0.0.1\0/x", 19), Quick()).status, kHttpBadUrl);

  // A port nobody listens on: the connection is refused.
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  socklen_t len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  close(s);
  const HttpResponse refused = HttpGet("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/", Quick());
  EXPECT_EQ(refused.status, kHttpNotSent);
  EXPECT_FALSE(refused.error.empty());
}

TEST_F(HttpTest, ServerThatNeverAnswersIsGivenUp) {
  // The kernel completes the connection from the listen backlog; nobody ever reads or writes.
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(s, 4), 0);
  socklen_t len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  HttpOptions o;
  o.connectTimeoutMs = 1000;
  o.receiveTimeoutMs = 500;
  const auto t0 = std::chrono::steady_clock::now();
  const HttpResponse r = HttpGet("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/", o);
  const auto waited = std::chrono::steady_clock::now() - t0;
  close(s);
  EXPECT_EQ(r.status, kHttpNotSent);
  // Bounded by the time-outs given, far below the 30 s default.
  EXPECT_LT(waited, std::chrono::seconds(10));
}

TEST_F(HttpTest, WorkerThreadsRequestAtTheSameTime) {
  // The probe, version and submission threads may all be talking at once.
  std::atomic<int> good{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 5; ++i) {
        const HttpResponse r = HttpGet(Url("/hello"), Quick());
        if (r.status == 200 && r.body == "hello") ++good;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(good.load(), 20);
}

TEST_F(HttpTest, DownloadReplacesTheFileOnlyOnSuccess) {
  const fs::path dir = fs::path(::testing::TempDir()) / ("dl-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path target = dir / "netstat.xml";
  { std::ofstream(target) << "previous"; }

  HttpResponse r;
  EXPECT_FALSE(HttpDownloadToFile(Url("/missing"), target.string(), Quick(), &r));
  EXPECT_EQ(r.status, 404u);
  EXPECT_EQ(ReadAll(target), "previous");

  HttpOptions capped = Quick();
  capped.maxBody = 10;
  EXPECT_FALSE(HttpDownloadToFile(Url("/big"), target.string(), capped));
  EXPECT_EQ(ReadAll(target), "previous");

  EXPECT_FALSE(HttpDownloadToFile("bad url", target.string(), Quick(), &r));
  EXPECT_EQ(r.status, kHttpBadUrl);
  EXPECT_FALSE(HttpDownloadToFile(Url("/hello"), (dir / "no-such-dir" / "x").string(), Quick()));
  EXPECT_FALSE(HttpDownloadToFile(Url("/hello"), "", Quick()));

  EXPECT_TRUE(HttpDownloadToFile(Url("/hello"), target.string(), Quick(), &r));
  EXPECT_EQ(r.status, 200u);
  EXPECT_EQ(ReadAll(target), "hello");
  // Nothing but the target is left behind by any of the attempts.
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++entries;
  EXPECT_EQ(entries, 1u);
  fs::remove_all(dir);
}

TEST_F(HttpTest, CacheDownloadsLandInTheCacheFolderAndCanBeDropped) {
  const std::string url = Url("/hello?q=1");
  const std::string path = HttpDownloadToCache(url, Quick());
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.rfind(CacheDirectory(), 0), 0u) << path;
  EXPECT_EQ(ReadAll(path), "hello");
  EXPECT_NE(HttpDownloadToCache(Url("/moved"), Quick()), path);  // one file per URL
  EXPECT_EQ(HttpDownloadToCache(Url("/missing"), Quick()), "");
  EXPECT_TRUE(HttpDeleteCacheEntry(url));
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(HttpDeleteCacheEntry(url));
}

TEST(UrlSyntax, SchemeAndHostAreRequired) {
  EXPECT_TRUE(IsValidUrl("http://www.example.com/a/b.xml?x=1"));
  EXPECT_TRUE(IsValidUrl("https://127.0.0.1:8086/"));
  EXPECT_TRUE(IsValidUrl("ftp://host/file"));
  EXPECT_FALSE(IsValidUrl(""));
  EXPECT_FALSE(IsValidUrl("www.example.com/a"));
  EXPECT_FALSE(IsValidUrl("http://"));
  EXPECT_FALSE(IsValidUrl("http:///path"));
  EXPECT_FALSE(IsValidUrl("file:///etc/passwd"));
  EXPECT_FALSE(IsValidUrl("http://exa mple.com/"));
  EXPECT_FALSE(IsValidUrl("http://example.com/\r\nX: y"));
  EXPECT_TRUE(IsValidUrl("http://example.com/a b?c d"));
}

}  // namespace
