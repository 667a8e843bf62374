// A stand-in PackageKit for the tests: owns org.freedesktop.PackageKit on the bus named by
// DBUS_SYSTEM_BUS_ADDRESS (a private bus the test started), answers CreateTransaction, and on
// GetUpdates sends the Package signals given on the command line, then Finished.
//   fake_packagekit <info>:<package-id>... [--error]
// Ends by itself after a minute, in case the test that started it did not end it.
#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kTx = "/org/freedesktop/PackageKit/tx1";
constexpr const char* kTxInterface = "org.freedesktop.PackageKit.Transaction";
std::vector<std::pair<unsigned, std::string>> packages;
bool failWithError = false;

int CreateTransaction(sd_bus_message* m, void*, sd_bus_error*) {
  return sd_bus_reply_method_return(m, "o", kTx);
}

int GetUpdates(sd_bus_message* m, void*, sd_bus_error*) {
  std::uint64_t filter = 0;
  if (sd_bus_message_read(m, "t", &filter) < 0) return -EINVAL;
  sd_bus* bus = sd_bus_message_get_bus(m);
  const int r = sd_bus_reply_method_return(m, "");
  for (const auto& [info, id] : packages) {
    sd_bus_emit_signal(bus, kTx, kTxInterface, "Package", "uss", info, id.c_str(), "summary");
  }
  if (failWithError) {
    sd_bus_emit_signal(bus, kTx, kTxInterface, "ErrorCode", "us", 3u, "cache is broken");
  }
  sd_bus_emit_signal(bus, kTx, kTxInterface, "Finished", "uu", failWithError ? 2u : 1u, 5u);
  return r;
}

const sd_bus_vtable kRoot[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("CreateTransaction", "", "o", CreateTransaction, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};
const sd_bus_vtable kTransaction[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("GetUpdates", "t", "", GetUpdates, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--error") == 0) {
      failWithError = true;
      continue;
    }
    const char* colon = std::strchr(argv[i], ':');
    if (colon == nullptr) return 2;
    packages.emplace_back(static_cast<unsigned>(std::atoi(argv[i])), colon + 1);
  }
  sd_bus* bus = nullptr;
  if (sd_bus_open_system(&bus) < 0) return 1;
  sd_bus_slot* s1 = nullptr;
  sd_bus_slot* s2 = nullptr;
  if (sd_bus_add_object_vtable(bus, &s1, "/org/freedesktop/PackageKit",
                               "org.freedesktop.PackageKit", kRoot, nullptr) < 0 ||
      sd_bus_add_object_vtable(bus, &s2, kTx, kTxInterface, kTransaction, nullptr) < 0 ||
      sd_bus_request_name(bus, "org.freedesktop.PackageKit", 0) < 0) {
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (std::chrono::steady_clock::now() < end) {
    const int r = sd_bus_process(bus, nullptr);
    if (r < 0) break;
    if (r > 0) continue;
    if (sd_bus_wait(bus, 500000) < 0) break;
  }
  sd_bus_slot_unref(s1);
  sd_bus_slot_unref(s2);
  sd_bus_flush_close_unref(bus);
  return 0;
}
