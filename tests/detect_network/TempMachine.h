#pragma once
// A machine directory a test writes itself (shaped like "/"), used as the sysroot for the
// length of one test and removed afterwards.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/Sysroot.h"

class TempMachine {
 public:
  TempMachine() {
    // ctest runs the tests of one binary as parallel processes sharing its test home.
    root_ = std::filesystem::path(KORVANE_TEST_HOME) /
            ("machine-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
    platform::SetSysrootPrefixForTesting(root_.string());
  }
  ~TempMachine() {
    platform::SetSysrootPrefixForTesting("");
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  TempMachine(const TempMachine&) = delete;
  TempMachine& operator=(const TempMachine&) = delete;

  void Write(const std::string& absolutePath, const std::string& content) const {
    const std::filesystem::path p = root_ / absolutePath.substr(1);
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
  }
  void Link(const std::string& absolutePath, const std::string& target) const {
    const std::filesystem::path p = root_ / absolutePath.substr(1);
    std::filesystem::create_directories(p.parent_path());
    std::filesystem::create_directory_symlink(target, p);
  }
  void Mkdir(const std::string& absolutePath) const {
    std::filesystem::create_directories(root_ / absolutePath.substr(1));
  }
  // The machine-wide registry (read-only for the program).
  void Registry(const std::string& body) const {
    Write("/etc/quillmark/registry.reg", "KORVANE-REGISTRY 1\n" + body);
  }
  const std::filesystem::path& Root() const { return root_; }

 private:
  static inline int counter_ = 0;
  std::filesystem::path root_;
};
