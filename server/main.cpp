// korvane-server: the service behind every web address of the program.
#include <iostream>
#include <string>
#include <vector>

#include "ServerApp.h"
#include "platform/Resources.h"

#ifndef KORVANE_SERVER_VERSION
#define KORVANE_SERVER_VERSION "0"
#endif

int main(int argc, char** argv) {
  using namespace korvane::server;
  std::vector<std::string> args(argv + 1, argv + argc);
  ServerOptions options;
  std::string error;
  if (!ParseServerOptions(args, options, error)) {
    std::cerr << "korvane-server: " << error << "\n\n" << ServerHelpText();
    return 2;
  }
  if (options.help) {
    std::cout << ServerHelpText();
    return 0;
  }
  if (options.version) {
    std::cout << "korvane-server " KORVANE_SERVER_VERSION "\n";
    return 0;
  }
  const auto table = platform::FindResource("DATA", kCodecTableResource);
  return RunServer(options, std::string(reinterpret_cast<const char*>(table.data()), table.size()));
}
