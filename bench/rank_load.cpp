// Load on the ranking service: N clients, each repeating key request + score submission over
// its own keep-alive connection for a fixed time. Prints one JSON line: accepted submissions,
// refusals, transport errors, accepted per second and the p50/p99 latency of one key request
// plus submission. Transport errors (a killed server) are counted and retried after a pause, so
// the run always ends on time.
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "online/ScoreSubmit.h"

namespace {

struct Totals {
  std::atomic<long> accepted{0}, refused{0}, errors{0};
  std::mutex mutex;
  std::vector<double> latenciesMs;
};

korvane::ProfileTexts Texts() {
  korvane::ProfileTexts t;
  t.cpuCaption = "Load Test CPU @ 3.00GHz";
  t.cpuProfile = t.cpuCaption;
  t.boardCaption = "Load Board";
  t.memoryProfile = "Load DDR4 3200MHz ( 16GB )";
  t.memoryCaptionString = t.memoryProfile;
  return t;
}

void Client(const std::string& host, int port, int index, std::chrono::steady_clock::time_point end,
            Totals& totals) {
  httplib::Client cli(host, port);
  cli.set_keep_alive(true);
  cli.set_tcp_nodelay(true);
  cli.set_connection_timeout(2, 0);
  cli.set_read_timeout(5, 0);
  korvane::SubmissionIdentity id;
  char name[16];
  std::snprintf(name, sizeof name, "Load%011d", index);
  id.userName = name;
  id.osShortCode = "linux_64";
  id.osName = "Load test";
  const korvane::ProfileTexts texts = Texts();
  std::vector<double> mine;
  int n = 0;
  while (std::chrono::steady_clock::now() < end) {
    const auto start = std::chrono::steady_clock::now();
    auto key = cli.Get("/?action=seInfo&version=2.32");
    if (!key) {
      ++totals.errors;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    if (key->status != 200) {
      ++totals.refused;
      continue;
    }
    const float score = 1.0f + static_cast<float>((index * 37 + n++) % 500) / 100.0f;
    const std::string body =
        korvane::BuildSubmissionBody(texts, id, 0, score, 0, key->body.substr(0, 8));
    auto res = cli.Post("/?action=seScore&version=2.32", body, "application/x-www-form-urlencoded");
    if (!res) {
      ++totals.errors;  // unknown outcome: the server may or may not have stored it
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    if (res->status == 200) {
      ++totals.accepted;
      mine.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count());
    } else {
      ++totals.refused;
    }
  }
  std::lock_guard lock(totals.mutex);
  totals.latenciesMs.insert(totals.latenciesMs.end(), mine.begin(), mine.end());
}

}  // namespace

int main(int argc, char** argv) {
  std::string host = "127.0.0.1";
  int port = 0, clients = 16;
  double seconds = 20;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--port")
      port = std::atoi(argv[i + 1]);
    else if (a == "--clients")
      clients = std::max(1, std::atoi(argv[i + 1]));
    else if (a == "--seconds")
      seconds = std::max(0.1, std::atof(argv[i + 1]));
  }
  if (port <= 0) {
    std::fprintf(stderr, "usage: korvane-rank-load --port PORT [--clients N] [--seconds S]\n");
    return 2;
  }
  Totals totals;
  const auto begin = std::chrono::steady_clock::now();
  const auto end = begin + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                               std::chrono::duration<double>(seconds));
  std::vector<std::thread> threads;
  for (int i = 0; i < clients; ++i)
    threads.emplace_back(Client, host, port, i, end, std::ref(totals));
  for (auto& t : threads) t.join();
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  auto& l = totals.latenciesMs;
  std::sort(l.begin(), l.end());
  auto pct = [&](double p) {
    return l.empty() ? 0.0
                     : l[std::min(l.size() - 1,
                                  static_cast<std::size_t>(p * static_cast<double>(l.size())))];
  };
  std::printf(
      "{\"clients\":%d,\"seconds\":%.2f,\"accepted\":%ld,\"refused\":%ld,\"errors\":%ld,"
      "\"accepted_per_s\":%.1f,\"p50_ms\":%.2f,\"p99_ms\":%.2f}\n",
      clients, elapsed, totals.accepted.load(), totals.refused.load(), totals.errors.load(),
      static_cast<double>(totals.accepted.load()) / elapsed, pct(0.50), pct(0.99));
  return 0;
}
