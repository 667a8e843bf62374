// A second process for the IPC tests: takes a mutex, holds an instance lock, broadcasts,
// registers messages or exits with a chosen code, as the test asks on its command line.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/Messages.h"
#include "platform/NamedMutex.h"

namespace {

void Say(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

// Blocks until the test closes our stdin (or dies).
void WaitForStdinClosed() {
  char c;
  while (read(0, &c, 1) > 0) {
  }
}

int HoldMutex(const std::string& name, const std::string& then) {
  platform::ProcessMutex mutex;
  if (!mutex.Create(name)) return 10;
  const auto result = mutex.Wait(10000);
  if (result != platform::ProcessMutex::WaitResult::Acquired &&
      result != platform::ProcessMutex::WaitResult::Abandoned) {
    return 11;
  }
  Say("locked");
  if (then == "exit") std::_Exit(0);  // dies owning it: no release, no destructors
  if (then == "kill") {
    raise(SIGKILL);
  }
  WaitForStdinClosed();
  mutex.Release();
  return 0;
}

// Increments a number kept in a file, with a gap between read and write so that two
// processes inside at once would lose an increment.
int CountUnderMutex(const std::string& name, const std::string& file, int rounds) {
  platform::ProcessMutex mutex;
  if (!mutex.Create(name)) return 10;
  for (int i = 0; i < rounds; ++i) {
    if (mutex.Wait(0xFFFFFFFFu) != platform::ProcessMutex::WaitResult::Acquired) return 11;
    long value = 0;
    {
      std::ifstream in(file);
      in >> value;
    }
    usleep(200);
    {
      std::ofstream out(file, std::ios::trunc);
      out << value + 1;
    }
    mutex.Release();
  }
  return 0;
}

int HoldInstance(const std::string& name) {
  platform::SingleInstanceLock lock(name);
  switch (lock.Create()) {
    case platform::SingleInstanceLock::Result::Acquired:
      break;
    case platform::SingleInstanceLock::Result::AlreadyHeld:
      Say("held");
      return 3;
    case platform::SingleInstanceLock::Result::Failed:
      Say("failed");
      return 4;
  }
  if (!lock.ListenForActivation([] { Say("activated"); })) return 5;
  Say("listening");
  WaitForStdinClosed();
  return 0;
}

int RegisterMany() {
  // Fills the whole range: every number must be distinct and inside it, and one more name
  // must be refused rather than given a number twice.
  std::set<std::uint32_t> seen;
  for (int i = 0; i < 0x4000; ++i) {
    const std::uint32_t n = platform::RegisterWindowMessage("WM_FILL_" + std::to_string(i));
    if (n < 0xC000 || n > 0xFFFF || !seen.insert(n).second) return 1;
  }
  if (platform::RegisterWindowMessage("WM_ONE_TOO_MANY") != 0) return 2;
  // Names already known keep their numbers even when the table is full.
  if (platform::RegisterWindowMessage("wm_fill_7") == 0) return 3;
  return 0;
}

int WriteArgs(const std::vector<std::string>& args) {
  if (args.empty()) return 1;
  std::ofstream out(args[0], std::ios::trunc);
  for (std::size_t i = 1; i < args.size(); ++i) out << '[' << args[i] << "]\n";
  return out ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return 64;
  const std::string& mode = args[0];
  if (mode == "mutex-hold" && args.size() == 3) return HoldMutex(args[1], args[2]);
  if (mode == "mutex-count" && args.size() == 4) {
    return CountUnderMutex(args[1], args[2], std::atoi(args[3].c_str()));
  }
  if (mode == "instance" && args.size() == 2) return HoldInstance(args[1]);
  if (mode == "activate" && args.size() == 2) {
    return platform::SingleInstanceLock::RequestActivation(args[1]) ? 0 : 1;
  }
  if (mode == "broadcast" && args.size() == 4) {
    return platform::BroadcastMessage(args[1], std::strtoull(args[2].c_str(), nullptr, 0),
                                      std::strtoll(args[3].c_str(), nullptr, 0))
               ? 0
               : 1;
  }
  if (mode == "register" && args.size() == 2) {
    std::printf("%u\n", platform::RegisterWindowMessage(args[1]));
    return 0;
  }
  if (mode == "register-many") return RegisterMany();
  if (mode == "exit" && args.size() == 2) return std::atoi(args[1].c_str());
  if (mode == "kill-self") raise(SIGKILL);
  if (mode == "write-args") return WriteArgs({args.begin() + 1, args.end()});
  return 64;
}
