#pragma once
// korvane-server: options, routes and the run loop (Qt-free, over cpp-httplib).
#include <functional>
#include <string>
#include <vector>

#include "ClientAddress.h"

namespace korvane::server {

struct ServerOptions {
  std::string host = "127.0.0.1";
  int port = 8086;
  std::string dataDir;      // holds drivers.sqlite and the version files
  bool importOnly = false;  // --import: refresh the driver table and exit
  bool help = false;
  bool version = false;
  std::string pciIds, usbIds, modulesRoot;  // override the system's files (empty: system's)
  std::string rankDb;  // --db: SQLite file or postgresql:// URI (empty: data folder)
  long long submitIntervalSeconds = 60;  // per user name and address; 0 = no limit
  long long purgeOlderThanDays = -1;     // --purge-older-than: remove and exit (-1: not asked)
  TrustedProxies trustedProxies;         // --trust-proxy: peers whose forwarding header counts
  ForwardedHeader proxyHeader = ForwardedHeader::XForwardedFor;  // --proxy-header
};

// Parses argv[1..]; false with a message for a bad command line.
bool ParseServerOptions(const std::vector<std::string>& args, ServerOptions& options,
                        std::string& error);
std::string ServerHelpText();
// ${XDG_DATA_HOME:-~/.local/share}/korvane-server
std::string DefaultDataDir();

// The codec table (data/hda-codecs.tsv) travels inside the executable as this resource.
inline constexpr int kCodecTableResource = 301;

// The whole program; returns the exit code. codecTable is the built-in codec table text.
int RunServer(const ServerOptions& options, const std::string& codecTable);

}  // namespace korvane::server
