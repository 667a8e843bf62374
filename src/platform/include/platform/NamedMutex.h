#pragma once
// Named mutexes in place of the Windows kernel objects the program relies on.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Single instance ("TovixRunOnlyOneInstance"): a lock file in the runtime folder. The holder
// also listens on a local socket so that a second process can ask it to come to the front.
class SingleInstanceLock {
 public:
  explicit SingleInstanceLock(std::string name);
  ~SingleInstanceLock();  // releases the lock and stops listening
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  enum class Result { Acquired, AlreadyHeld, Failed };
  // Take the lock; AlreadyHeld when another live process holds it.
  [[nodiscard]] Result Create();
  // Holder side: onActivate runs on a background thread each time another process asks to
  // be activated. Returns false when the channel cannot be opened.
  bool ListenForActivation(std::function<void()> onActivate);
  // Second-process side: ask the holder to restore and raise its main window. False when no
  // holder answers.
  static bool RequestActivation(std::string_view name);
  void Release();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A cross-process mutex with timed wait ("HWMonitor2"): a robust process-shared mutex in
// /dev/shm, so an owner that died while holding it is reported as abandoned, as Windows does.
class ProcessMutex {
 public:
  enum class WaitResult { Acquired, Abandoned, Timeout, Failed };

  ProcessMutex();
  ~ProcessMutex();
  ProcessMutex(const ProcessMutex&) = delete;
  ProcessMutex& operator=(const ProcessMutex&) = delete;

  // Open or create (not owned). False on failure.
  bool Create(std::string_view name);
  bool IsValid() const;
  // Abandoned means the caller now owns the mutex (as with WAIT_ABANDONED).
  [[nodiscard]] WaitResult Wait(std::uint32_t timeoutMs);
  void Release();
  void Close();
  // Removes the named object (the next Create makes a fresh one). Processes that have it open
  // keep theirs; meant for tidying up after tests and tools.
  static bool Remove(std::string_view name);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
