#pragma once
// Window messages without windows: background threads reach a window through a message
// target; registered messages get stable numbers per session; broadcasts to other processes
// travel as D-Bus session-bus signals. Message numbers, wParam and lParam keep their Windows
// meaning and packing.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

using WParam = std::uintptr_t;
using LParam = std::intptr_t;

// Implemented by the GUI on its thread (and by recorders in tests).
class IMessageTarget {
 public:
  virtual ~IMessageTarget() = default;
  virtual bool IsLive() const = 0;
  // Queue the message; false when the target is gone.
  virtual bool Post(std::uint32_t msg, WParam wParam, LParam lParam) = 0;
  // Deliver and wait for the answer (0 when the target is gone).
  virtual LParam Send(std::uint32_t msg, WParam wParam, LParam lParam) = 0;
};

// RegisterWindowMessage: a number in 0xC000..0xFFFF, the same for the same name (ignoring
// case) for the life of the process; 0 on failure. Callers keep their own fallback rule.
std::uint32_t RegisterWindowMessage(std::string_view name);

// Broadcast of a registered message to every interested process (HWND_BROADCAST). A missing
// session bus makes this a silent no-op that returns false, as a failed broadcast is.
bool BroadcastMessage(std::string_view name, WParam wParam, LParam lParam);

struct BroadcastEvent {
  std::string name;
  WParam wParam = 0;
  LParam lParam = 0;
};

// Receives broadcasts from any process on the session bus; the callback runs on the
// subscription's own thread. Destroying the subscription stops it.
class BroadcastSubscription {
 public:
  BroadcastSubscription();
  ~BroadcastSubscription();
  BroadcastSubscription(const BroadcastSubscription&) = delete;
  BroadcastSubscription& operator=(const BroadcastSubscription&) = delete;
  // False when there is no session bus.
  bool Start(std::function<void(const BroadcastEvent&)> onEvent);
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The D-Bus names the broadcasts use, for other programs that want to listen.
inline constexpr const char* kBroadcastPath = "/org/quillmark/Tovix2";
inline constexpr const char* kBroadcastInterface = "org.quillmark.Tovix2.Message";
inline constexpr const char* kBroadcastSignal = "Broadcast";  // signature "stx": name, wParam, lParam

}  // namespace platform
