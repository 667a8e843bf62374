// The browser tests get a home of their own before the engine starts: its runtime folder, its
// profile and any registry they write stay in the build tree.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ui/WebBrowser2.h"

int RunBrowserTests(int argc, char** argv);

int main(int argc, char** argv) {
  const std::filesystem::path home = KORVANE_BROWSER_HOME;
  std::filesystem::create_directories(home / "runtime");
  ::chmod((home / "runtime").c_str(), 0700);
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
  ::setenv("XDG_STATE_HOME", (home / "state").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
  // Nothing here may depend on a server that happens to run on the machine, or on its language;
  // a screenshot run keeps the addresses and the language it was given.
  if (std::getenv("KORVANE_HELP_SCREENSHOT") == nullptr) {
    ::setenv("KORVANE_SERVER_BASE", "http://127.0.0.1:1", 1);
    ::setenv("LC_ALL", "C.UTF-8", 1);
  }
  if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  if (::geteuid() == 0 && std::getenv("QTWEBENGINE_CHROMIUM_FLAGS") == nullptr) {
    ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox", 1);
  }
  korvane::PrepareBrowserEngine();
  QApplication app(argc, argv);
  return RunBrowserTests(argc, argv);
}
