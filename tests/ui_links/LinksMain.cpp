// Runs the link and text-render test classes in one application.
#include <sys/stat.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>

int RunHyperLinkTests(int argc, char** argv);
int RunTextRenderTests(int argc, char** argv);

int main(int argc, char** argv) {
  // Qt would otherwise make a runtime folder of its own under /tmp.
  if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
    const std::filesystem::path runtime = KORVANE_LINKS_RUNTIME;
    std::filesystem::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  QApplication app(argc, argv);
  int failed = RunHyperLinkTests(argc, argv);
  failed += RunTextRenderTests(argc, argv);
  return failed == 0 ? 0 : 1;
}
