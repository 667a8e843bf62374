#include "platform/Messages.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace platform {
namespace {

constexpr std::uint32_t kFirstRegistered = 0xC000;
constexpr std::uint32_t kRegisteredCount = 0x4000;  // 0xC000..0xFFFF
constexpr std::size_t kMaxNameLength = 255;         // the longest atom name Windows accepts

std::string FoldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return folded;
}

// FNV-1a: small, fixed forever, and the same in every process and build.
std::uint32_t HashName(std::string_view folded) {
  std::uint32_t hash = 2166136261u;
  for (char c : folded) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

struct MessageTable {
  std::mutex lock;
  std::map<std::string, std::uint32_t> byName;
  std::map<std::uint32_t, std::string> byNumber;
};

MessageTable& GetTable() {
  static MessageTable table;
  return table;
}

bool IsUsableMessageName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxNameLength &&
         name.find('\0') == std::string_view::npos;
}

}  // namespace

// There is no window system to hand out numbers, yet a number is only useful when the
// processes exchanging it agree on it. Deriving it from the name (hash into the range) makes
// every process of the session arrive at the same number without talking to each other.
// Probing past a collision keeps numbers unique inside one process; for two colliding names
// the probe order depends on registration order, which is why broadcasts carry the name and
// receivers match by name, never by number alone.
std::uint32_t RegisterWindowMessage(std::string_view name) {
  if (!IsUsableMessageName(name)) return 0;
  std::string folded = FoldName(name);
  MessageTable& table = GetTable();
  std::lock_guard guard(table.lock);
  if (auto it = table.byName.find(folded); it != table.byName.end()) return it->second;
  if (table.byNumber.size() >= kRegisteredCount) return 0;
  std::uint32_t slot = HashName(folded) % kRegisteredCount;
  while (table.byNumber.count(kFirstRegistered + slot) != 0) slot = (slot + 1) % kRegisteredCount;
  const std::uint32_t number = kFirstRegistered + slot;
  table.byNumber.emplace(number, folded);
  table.byName.emplace(std::move(folded), number);
  return number;
}

namespace {

// Every bus operation is bounded: a session bus that accepts the connection and then never
// answers (hung, stopped, or somebody's trap on the socket) must cost a run of broadcasts at
// most this long in all, never the library's own 90 s authentication wait per message.
constexpr std::uint64_t kBusBudgetUsec = 2'000'000;
// After the bus failed to answer, it counts as silent for this long: later broadcasts give up
// at once instead of each waiting the whole budget again.
constexpr std::uint64_t kSilentBusUsec = 60'000'000;

std::uint64_t NowUsec() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

// The bus that did not answer, by address, and until when it is skipped.
struct SilentBus {
  std::mutex lock;
  std::string address;
  std::uint64_t until = 0;
};

SilentBus& GetSilentBus() {
  static SilentBus silent;
  return silent;
}

std::string SessionBusAddress() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address != nullptr) return address;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr ? std::string("runtime:") + runtime : std::string();
}

bool KnownSilent(const std::string& address) {
  SilentBus& silent = GetSilentBus();
  std::lock_guard guard(silent.lock);
  return silent.address == address && NowUsec() < silent.until;
}

void MarkSilent(const std::string& address) {
  SilentBus& silent = GetSilentBus();
  std::lock_guard guard(silent.lock);
  silent.address = address;
  silent.until = NowUsec() + kSilentBusUsec;
}

// Drives the connection until done() holds, the connection fails, or the deadline passes;
// sd-bus's own waits (authentication, Hello, flush) are unbounded or far too long.
template <typename Done>
bool DriveUntil(sd_bus* bus, std::uint64_t deadline, Done&& done) {
  for (;;) {
    int r = sd_bus_process(bus, nullptr);
    if (r < 0) return false;
    if (done()) return true;
    if (r > 0) continue;
    const std::uint64_t now = NowUsec();
    if (now >= deadline) return false;
    r = sd_bus_wait(bus, deadline - now);
    if (r < 0 && r != -EINTR) return false;
  }
}

bool AllWritten(sd_bus* bus) {
  std::uint64_t queued = 1;
  return sd_bus_is_ready(bus) > 0 && sd_bus_get_n_queued_write(bus, &queued) >= 0 && queued == 0;
}

}  // namespace

bool BroadcastMessage(std::string_view name, WParam wParam, LParam lParam) {
  if (!IsUsableMessageName(name)) return false;
  const std::string address = SessionBusAddress();
  if (KnownSilent(address)) return false;
  const std::uint64_t deadline = NowUsec() + kBusBudgetUsec;
  const std::string text(name);
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) return false;
  int r = sd_bus_emit_signal(bus, kBroadcastPath, kBroadcastInterface, kBroadcastSignal, "stx",
                             text.c_str(), static_cast<std::uint64_t>(wParam),
                             static_cast<std::int64_t>(lParam));
  // The signal sits in our output buffer until written; a broadcast just before exit (the
  // scores at the end of a run) would otherwise never leave the process.
  const bool sent = r >= 0 && DriveUntil(bus, deadline, [bus] { return AllWritten(bus); });
  if (!sent && r >= 0 && NowUsec() >= deadline) MarkSilent(address);
  // Never the flushing close: on a silent bus it would wait all over again.
  sd_bus_close_unref(bus);
  return sent;
}

// ---------------------------------------------------------------------------------------------

struct BroadcastSubscription::Impl {
  std::thread worker;
  int stopFd = -1;
  std::function<void(const BroadcastEvent&)> onEvent;

  static int OnSignal(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto* self = static_cast<Impl*>(userdata);
    const char* name = nullptr;
    std::uint64_t wParam = 0;
    std::int64_t lParam = 0;
    // A sender with another signature is somebody else's signal under our name: ignored.
    if (sd_bus_message_read(message, "stx", &name, &wParam, &lParam) < 0 || name == nullptr) {
      return 0;
    }
    BroadcastEvent event;
    event.name = name;
    event.wParam = static_cast<WParam>(wParam);
    event.lParam = static_cast<LParam>(lParam);
    // The callback is the program's; an exception escaping into sd-bus's C frames would be
    // undefined, and the subscription must keep serving the next broadcast.
    try {
      self->onEvent(event);
    } catch (...) {
    }
    return 0;
  }

  int installed = 0;  // the bus's answer to the match request: 1 in place, -1 refused

  static int OnInstalled(sd_bus_message* message, void* userdata, sd_bus_error*) {
    static_cast<Impl*>(userdata)->installed =
        sd_bus_message_is_method_error(message, nullptr) ? -1 : 1;
    return 0;
  }

  void Run(sd_bus* bus) {
    for (;;) {
      int r = sd_bus_process(bus, nullptr);
      if (r < 0) break;  // connection lost: nothing more will arrive
      if (r > 0) continue;
      const int busFd = sd_bus_get_fd(bus);
      const int events = sd_bus_get_events(bus);
      if (busFd < 0 || events < 0) break;
      std::uint64_t usec = UINT64_MAX;
      sd_bus_get_timeout(bus, &usec);
      int timeoutMs = -1;
      if (usec != UINT64_MAX) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const std::uint64_t nowUsec = static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
                                      static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
        const std::uint64_t waitMs = usec <= nowUsec ? 0 : (usec - nowUsec + 999) / 1000;
        timeoutMs = static_cast<int>(std::min<std::uint64_t>(waitMs, 60000));
      }
      pollfd fds[2] = {{busFd, static_cast<short>(events), 0}, {stopFd, POLLIN, 0}};
      r = poll(fds, 2, timeoutMs);
      if (r < 0 && errno != EINTR) break;
      if (r > 0 && fds[1].revents != 0) break;
    }
  }
};

BroadcastSubscription::BroadcastSubscription() : impl_(std::make_unique<Impl>()) {}

BroadcastSubscription::~BroadcastSubscription() {
  Stop();
  if (impl_->worker.joinable()) {
    // Destroyed from inside its own callback: the worker is still on this stack and uses its
    // state after the callback returns, so that state is leaked on purpose rather than freed
    // under it.
    impl_->worker.detach();
    impl_.release();
  }
}

bool BroadcastSubscription::Start(std::function<void(const BroadcastEvent&)> onEvent) {
  Impl& impl = *impl_;
  if (impl.worker.joinable() || !onEvent) return false;
  impl.stopFd = eventfd(0, EFD_CLOEXEC);
  if (impl.stopFd < 0) return false;
  impl.onEvent = std::move(onEvent);
  impl.installed = 0;
  std::promise<bool> ready;
  std::future<bool> started = ready.get_future();
  // The connection is made on the thread that uses it (sd-bus objects are single-threaded),
  // and Start waits for the match to be in place: a broadcast sent after Start returns true
  // is then never missed.
  try {
    impl.worker = std::thread([&impl, &ready] {
      sd_bus* bus = nullptr;
      sd_bus_slot* slot = nullptr;
      // The match is installed asynchronously and its answer awaited within the budget: the
      // blocking form waits up to 90 s on a bus that never answers.
      const std::string address = SessionBusAddress();
      const std::uint64_t deadline = NowUsec() + kBusBudgetUsec;
      bool ok = !KnownSilent(address) && sd_bus_open_user(&bus) >= 0 &&
                sd_bus_match_signal_async(bus, &slot, nullptr, nullptr, kBroadcastInterface,
                                          kBroadcastSignal, &Impl::OnSignal, &Impl::OnInstalled,
                                          &impl) >= 0;
      if (ok) {
        ok = DriveUntil(bus, deadline, [&impl] { return impl.installed != 0; }) &&
             impl.installed > 0;
        if (!ok && impl.installed == 0 && NowUsec() >= deadline) MarkSilent(address);
      }
      ready.set_value(ok);
      if (ok) impl.Run(bus);
      sd_bus_slot_unref(slot);
      sd_bus_close_unref(bus);
    });
  } catch (const std::system_error&) {
    close(impl.stopFd);
    impl.stopFd = -1;
    return false;
  }
  if (!started.get()) {
    impl.worker.join();
    close(impl.stopFd);
    impl.stopFd = -1;
    return false;
  }
  return true;
}

void BroadcastSubscription::Stop() {
  Impl& impl = *impl_;
  if (impl.worker.joinable()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(impl.stopFd, &one, sizeof one);
    // Stopped from its own callback: the worker ends once the callback returns and is joined
    // by the next Stop or the destructor.
    if (impl.worker.get_id() == std::this_thread::get_id()) return;
    impl.worker.join();
  }
  if (impl.stopFd >= 0) {
    close(impl.stopFd);
    impl.stopFd = -1;
  }
}

}  // namespace platform
