#include "ServerApp.h"

#include <httplib.h>
#include <signal.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <random>
#include <thread>

#include "DriverCatalog.h"
#include "DriverSearch.h"
#include "DriverStore.h"
#include "RankService.h"
#include "RankStore.h"
#include "scores/Md5.h"

#ifndef KORVANE_SERVER_VERSION
#define KORVANE_SERVER_VERSION "0"
#endif

namespace korvane::server {
namespace {

constexpr const char* kName = "korvane-server";

std::string HtmlEscape(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

bool ParsePort(const std::string& text, int& port) {
  if (text.empty() || text.size() > 5) return false;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > 65535) return false;
  port = v;
  return true;
}

bool ParseCount(const std::string& text, long long& out) {
  if (text.empty() || text.size() > 9) return false;
  long long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  out = v;
  return true;
}

std::string ReadSmallFile(const std::filesystem::path& path, bool& found) {
  found = false;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return {};
  if (std::filesystem::file_size(path, ec) > (1u << 20)) return {};
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  found = true;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Addresses of other machines are shown as a per-run pseudonym: enough to tell clients apart
// in the log, nothing that identifies them afterwards.
class ClientNames {
 public:
  ClientNames() {
    std::random_device rd;
    for (auto& b : key_) b = static_cast<char>(rd() & 0xff);
  }
  std::string Name(const std::string& address) const {
    if (address == "127.0.0.1" || address == "::1" || address.rfind("127.", 0) == 0 ||
        address == "::ffff:127.0.0.1")
      return address;
    return "client-" + korvane::Md5HexLower(std::string(key_, sizeof key_) + address).substr(0, 8);
  }

 private:
  char key_[16] = {};
};

std::string NowText() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

std::string StartPage(DriverStore& store) {
  std::string html =
      "<!DOCTYPE html>\n<html><head><meta "
      "charset=\"utf-8\"><title>korvane-server</title></head><body>\n"
      "<h1>korvane-server " KORVANE_SERVER_VERSION
      "</h1>\n"
      "<p>The Korvane service: driver database search, start page and version files.</p>\n<ul>\n"
      "<li><a href=\"/info/netstat.xml\">/info/netstat.xml</a> and "
      "<a href=\"/info/netstat-en.xml\">/info/netstat-en.xml</a> &mdash; reachability probe</li>\n"
      "<li><a href=\"/info/tovixsoft.html\">/info/tovixsoft.html</a> and "
      "<a href=\"/info/tovixsoft-en.html\">/info/tovixsoft-en.html</a> &mdash; this page</li>\n"
      "<li><a href=\"/tovix/version/tovixnew.txt\">/tovix/version/tovixnew.txt</a> and "
      "<a href=\"/tovix/version/tovixnew-en.txt\">/tovix/version/tovixnew-en.txt</a> &mdash; "
      "newest version</li>\n"
      "<li>/?&lt;enciphered query&gt; &mdash; driver database search</li>\n"
      "<li><a href=\"/html/korvane/rank.htm\">/html/korvane/rank.htm</a> and "
      "<a href=\"/api/ranking?group=cpu\">/api/ranking?group=cpu|mem</a> &mdash; benchmark "
      "ranking</li>\n</ul>\n<p>Driver "
      "database: ";
  html += HtmlEscape(store.Describe());
  html += "</p>\n</body></html>\n";
  return html;
}

}  // namespace

std::string DefaultDataDir() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/korvane-server";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share/korvane-server";
  return {};
}

std::string ServerHelpText() {
  return "Usage: korvane-server [options]\n"
         "The Korvane service: driver database search, score ranking, start page, probe and\n"
         "version files.\n\n"
         "  --listen HOST:PORT  address to listen on (default 127.0.0.1:8086; port 0 picks a free "
         "one)\n"
         "  --data DIR          data folder (default "
         "${XDG_DATA_HOME:-~/.local/share}/korvane-server)\n"
         "  --import            refresh the driver database from the system's id files and exit\n"
         "  --pci-ids FILE      pci.ids to import instead of the system's\n"
         "  --usb-ids FILE      usb.ids to import instead of the system's\n"
         "  --modules DIR       folder of kernel releases with modules.alias (default "
         "/lib/modules)\n"
         "  --db DB             ranking database: an SQLite file or a postgresql:// URI\n"
         "                      (default DIR/rank.sqlite)\n"
         "  --submit-interval S least seconds between two score submissions of one user name\n"
         "                      or one address (default 60; 0 turns the limit off)\n"
         "  --purge-older-than DAYS  remove score submissions older than DAYS and exit\n"
         "  --trust-proxy ADDR[,ADDR...]\n"
         "                      load balancers or reverse proxies in front of the server\n"
         "                      (addresses or CIDR blocks, e.g. 10.0.0.0/8,fd00::/8; may be\n"
         "                      repeated). Only for a connection from one of them is the client\n"
         "                      taken from the forwarding header: the right-most address in it\n"
         "                      that is not itself a trusted proxy. A header that cannot be read\n"
         "                      leaves the proxy's own address. Without this option the header\n"
         "                      is ignored.\n"
         "  --proxy-header NAME the header those proxies write: X-Forwarded-For (default) or\n"
         "                      Forwarded; the other one is ignored\n"
         "  --version           print the version and exit\n"
         "  --help              print this text and exit\n\n"
         "The data folder holds drivers.sqlite (seeded at first start) and, when put there,\n"
         "tovixnew.txt / tovixnew-en.txt served as /tovix/version/tovixnew[-en].txt.\n";
}

bool ParseServerOptions(const std::vector<std::string>& args, ServerOptions& o,
                        std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--import") {
      o.importOnly = true;
    } else if (a == "--listen") {
      std::string v;
      if (!value(v)) return false;
      const std::size_t colon = v.rfind(':');
      if (colon == std::string::npos || colon == 0 || !ParsePort(v.substr(colon + 1), o.port)) {
        error = "--listen wants HOST:PORT, got " + v;
        return false;
      }
      o.host = v.substr(0, colon);
      if (o.host.size() > 2 && o.host.front() == '[' && o.host.back() == ']')
        o.host = o.host.substr(1, o.host.size() - 2);
    } else if (a == "--data") {
      if (!value(o.dataDir)) return false;
    } else if (a == "--pci-ids") {
      if (!value(o.pciIds)) return false;
    } else if (a == "--usb-ids") {
      if (!value(o.usbIds)) return false;
    } else if (a == "--modules") {
      if (!value(o.modulesRoot)) return false;
    } else if (a == "--db") {
      if (!value(o.rankDb)) return false;
      if (o.rankDb.empty()) {
        error = "--db needs a file or a postgresql:// URI";
        return false;
      }
    } else if (a == "--trust-proxy") {
      std::string v;
      if (!value(v)) return false;
      if (!o.trustedProxies.Add(v, &error)) return false;
    } else if (a == "--proxy-header") {
      std::string v;
      if (!value(v)) return false;
      std::string lower = v;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (lower == "x-forwarded-for") {
        o.proxyHeader = ForwardedHeader::XForwardedFor;
      } else if (lower == "forwarded") {
        o.proxyHeader = ForwardedHeader::Forwarded;
      } else {
        error = "--proxy-header wants X-Forwarded-For or Forwarded, got " + v;
        return false;
      }
    } else if (a == "--submit-interval" || a == "--purge-older-than") {
      std::string v;
      if (!value(v)) return false;
      long long n = 0;
      if (!ParseCount(v, n)) {
        error = a + " wants a whole number, got " + v;
        return false;
      }
      (a == "--submit-interval" ? o.submitIntervalSeconds : o.purgeOlderThanDays) = n;
    } else {
      error = "unknown option " + a;
      return false;
    }
  }
  return true;
}

int RunServer(const ServerOptions& options, const std::string& codecTable) {
  // Signals go to one waiting thread, so stopping the server happens outside a handler. They
  // are blocked before any thread starts (the ranking store has a writer thread), since every
  // thread inherits the mask of the one that made it.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  std::string dataDir = options.dataDir.empty() ? DefaultDataDir() : options.dataDir;
  if (dataDir.empty()) {
    std::cerr << kName << ": no data folder (set --data or HOME)\n";
    return 1;
  }
  std::error_code ec;
  std::filesystem::create_directories(dataDir, ec);
  if (!std::filesystem::is_directory(dataDir, ec)) {
    std::cerr << kName << ": cannot create the data folder " << dataDir << "\n";
    return 1;
  }
  std::string error;
  const std::string rankSpec = options.rankDb.empty()
                                   ? (std::filesystem::path(dataDir) / "rank.sqlite").string()
                                   : options.rankDb;
  auto rankStore = OpenRankStore(rankSpec, &error);
  if (!rankStore) {
    std::cerr << kName << ": cannot open the ranking database: " << error << "\n";
    return 1;
  }
  if (options.purgeOlderThanDays >= 0) {
    const std::int64_t cutoff = NowMs() - options.purgeOlderThanDays * 86400LL * 1000;
    const std::int64_t removed = rankStore->PurgeBefore(cutoff);
    if (removed < 0) {
      std::cerr << kName << ": the purge failed\n";
      return 1;
    }
    std::printf("%s: removed %lld score submissions older than %lld days\n", kName,
                static_cast<long long>(removed), options.purgeOlderThanDays);
    return 0;
  }
  const std::string secret =
      LoadOrCreateSecret((std::filesystem::path(dataDir) / "rank-secret").string(), &error);
  if (secret.empty()) {
    std::cerr << kName << ": " << error << "\n";
    return 1;
  }
  RankOptions rankOptions;
  rankOptions.intervalMs = options.submitIntervalSeconds * 1000;
  RankService rank(*rankStore, secret, rankOptions);

  auto store =
      OpenSqliteDriverStore((std::filesystem::path(dataDir) / "drivers.sqlite").string(), &error);
  if (!store) {
    std::cerr << kName << ": cannot open the driver database: " << error << "\n";
    return 1;
  }

  if (options.importOnly || !store->Seeded()) {
    ImportSources sources = SystemImportSources(codecTable);
    if (!options.pciIds.empty()) sources.pciIds = options.pciIds;
    if (!options.usbIds.empty()) sources.usbIds = options.usbIds;
    if (!options.modulesRoot.empty()) sources.modulesRoot = options.modulesRoot;
    const auto started = std::chrono::steady_clock::now();
    ImportReport report;
    const DriverCatalog catalog = BuildCatalog(sources, report);
    error.clear();
    const bool replaced = store->Replace(catalog, !options.importOnly, &error);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!replaced && !error.empty()) {
      std::cerr << kName << ": import failed: " << error << "\n";
      return 1;
    }
    if (replaced) {
      std::fprintf(stderr,
                   "%s: imported %zu PCI, %zu USB, %zu codec names and %zu driver bindings from "
                   "%zu kernels in %.2f s\n",
                   kName, report.pciNames, report.usbNames, report.codecNames, report.bindings,
                   report.kernels, seconds);
      for (const auto& n : report.notes) std::cerr << kName << ": " << n << "\n";
    }
    if (options.importOnly) return 0;
  }

  httplib::Server server;
  const ClientNames clients;
  const TrustedProxies trusted = options.trustedProxies;
  const std::string proxyHeader =
      options.proxyHeader == ForwardedHeader::Forwarded ? "Forwarded" : "X-Forwarded-For";
  // The address the key binding, the limits and the log see (see ClientAddress.h).
  auto clientOf = [&trusted, &proxyHeader,
                   kind = options.proxyHeader](const httplib::Request& req) {
    std::vector<std::string> values;
    if (!trusted.Empty()) {
      const auto range = req.headers.equal_range(proxyHeader);
      for (auto it = range.first; it != range.second; ++it) values.push_back(it->second);
    }
    return ResolveClientAddress(req.remote_addr, values, kind, trusted);
  };
  const std::filesystem::path data(dataDir);
  DriverStore& db = *store;

  server.set_payload_max_length(64 * 1024);
  // Keep-alive connections hold a worker each; enough workers that a few dozen clients never
  // wait for one another's idle connections.
  server.new_task_queue = [] { return new httplib::ThreadPool(64); };
  // Answers go out in more than one write; without this, Nagle's algorithm meets the client's
  // delayed acknowledgement and every exchange on a kept-alive connection waits ~40 ms.
  server.set_tcp_nodelay(true);
  auto reply = [](httplib::Response& res, const RankAnswer& a) {
    res.status = a.status;
    res.set_content(a.body, a.contentType.c_str());
  };
  server.Get("/", [&db, &rank, &reply, &clientOf](const httplib::Request& req,
                                                  httplib::Response& res) {
    const std::size_t q = req.target.find('?');
    const std::string_view query =
        q == std::string::npos ? std::string_view() : std::string_view(req.target).substr(q + 1);
    if (query.empty()) {
      res.set_content(StartPage(db), "text/html; charset=utf-8");
      return;
    }
    if (query.rfind("action=", 0) == 0) {
      if (query != "action=seInfo&version=2.32") {
        reply(res, RankAnswer{400, "unknown action or version\n", "text/plain; charset=utf-8"});
        return;
      }
      reply(res, rank.KeyRequest(clientOf(req)));
      return;
    }
    const HttpAnswer a = HandleDriverSearch(query, db);
    res.status = a.status;
    res.set_content(a.body, a.contentType.c_str());
  });
  server.Post("/", [&rank, &reply, &clientOf](const httplib::Request& req, httplib::Response& res) {
    const std::size_t q = req.target.find('?');
    const std::string_view query =
        q == std::string::npos ? std::string_view() : std::string_view(req.target).substr(q + 1);
    if (query != "action=seScore&version=2.32") {
      reply(res, RankAnswer{400, "unknown action or version\n", "text/plain; charset=utf-8"});
      return;
    }
    reply(res, rank.Submit(clientOf(req), req.body));
  });
  server.Get("/html/korvane/rank.htm",
             [&rank, &reply](const httplib::Request& req, httplib::Response& res) {
               reply(res, rank.Page(req.get_param_value("cpu")));
             });
  server.Get("/api/ranking", [&rank, &reply](const httplib::Request& req, httplib::Response& res) {
    reply(res, rank.Api(req.get_param_value("group"), req.get_param_value("cpu")));
  });
  for (const char* path : {"/info/tovixsoft.html", "/info/tovixsoft-en.html"}) {
    server.Get(path, [&db](const httplib::Request&, httplib::Response& res) {
      res.set_content(StartPage(db), "text/html; charset=utf-8");
    });
  }
  for (const char* path : {"/info/netstat.xml", "/info/netstat-en.xml"}) {
    server.Get(path, [](const httplib::Request&, httplib::Response& res) {
      res.set_content(
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<netstat><server>korvane-server</server>"
          "<version>" KORVANE_SERVER_VERSION "</version><status>ok</status></netstat>\n",
          "text/xml; charset=utf-8");
    });
  }
  // The version file is the operator's: served as it is while it exists, 404 before that. The
  // English edition's name falls back to the common file.
  for (const auto& [path, files] : std::vector<std::pair<std::string, std::vector<std::string>>>{
           {"/tovix/version/tovixnew.txt", {"tovixnew.txt"}},
           {"/tovix/version/tovixnew-en.txt", {"tovixnew-en.txt", "tovixnew.txt"}}}) {
    server.Get(path, [data, files](const httplib::Request&, httplib::Response& res) {
      for (const auto& f : files) {
        bool found = false;
        std::string body = ReadSmallFile(data / f, found);
        if (found) {
          res.set_content(body, "text/plain; charset=utf-8");
          return;
        }
      }
      res.status = 404;
      res.set_content("no version file\n", "text/plain; charset=utf-8");
    });
  }
  server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.status == 414) {
      // An address longer than the server takes is an oversized query like any other.
      res.status = 400;
      res.set_content("query too long\n", "text/plain; charset=utf-8");
    } else if (res.body.empty()) {
      res.set_content(res.status == 404 ? std::string("no such page\n")
                                        : "error " + std::to_string(res.status) + "\n",
                      "text/plain; charset=utf-8");
    }
  });
  std::mutex logMutex;
  server.set_logger(
      [&clients, &logMutex, &clientOf](const httplib::Request& req, const httplib::Response& res) {
        // The query of a search is ciphertext; its length is all the log needs.
        const std::size_t q = req.target.find('?');
        std::string shown = q == std::string::npos
                                ? req.target
                                : req.target.substr(0, q) + "?<" +
                                      std::to_string(req.target.size() - q - 1) + " bytes>";
        if (shown.size() > 200) shown = shown.substr(0, 200) + "...";
        for (char& c : shown) {
          if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
        }
        std::lock_guard lock(logMutex);
        std::fprintf(stderr, "%s %s \"%s %s\" %d %zu\n", NowText().c_str(),
                     clients.Name(clientOf(req)).c_str(), req.method.c_str(), shown.c_str(),
                     res.status, res.body.size());
      });

  int port = options.port;
  if (port == 0) {
    port = server.bind_to_any_port(options.host);
    if (port <= 0) {
      std::cerr << kName << ": cannot listen on " << options.host << "\n";
      return 1;
    }
  } else if (!server.bind_to_port(options.host, port)) {
    std::cerr << kName << ": cannot listen on " << options.host << ":" << port << "\n";
    return 1;
  }
  const bool v6 = options.host.find(':') != std::string::npos;
  std::printf("%s listening on http://%s%s%s:%d/\n", kName, v6 ? "[" : "", options.host.c_str(),
              v6 ? "]" : "", port);
  std::fflush(stdout);

  std::atomic<bool> listenDone{false};
  std::thread waiter([&signals, &server, &listenDone]() {
    int sig = 0;
    sigwait(&signals, &sig);
    // A signal that comes before the accept loop runs must not be lost: keep asking until the
    // loop has ended.
    while (!listenDone.load()) {
      server.stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  const bool ok = server.listen_after_bind();
  listenDone = true;
  // Wake the waiting thread when the server ended for another reason.
  pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  std::fprintf(stderr, "%s: stopped\n", kName);
  return ok ? 0 : 1;
}

}  // namespace korvane::server
