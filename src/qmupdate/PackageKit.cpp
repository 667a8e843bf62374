// PackageKit's GetUpdates on the system bus: one transaction, its Package signals counted until
// Finished. Reading the update list needs no privileges.
#include <systemd/sd-bus.h>

#include <chrono>
#include <set>
#include <string>

#include "qmupdate/UpdateScan.h"

namespace qmupdate {
namespace {

constexpr const char* kService = "org.freedesktop.PackageKit";
constexpr const char* kTransactionInterface = "org.freedesktop.PackageKit.Transaction";
constexpr std::uint64_t kFilterNone = 1u << 1;  // PK_FILTER_ENUM_NONE as a bitfield
constexpr std::uint32_t kInfoBlocked = 11;      // held back: not installable now

struct Collector {
  std::set<std::string> packages;
  bool finished = false;
  std::string error;
};

int OnPackage(sd_bus_message* m, void* userdata, sd_bus_error*) {
  auto* c = static_cast<Collector*>(userdata);
  std::uint32_t info = 0;
  const char* id = nullptr;
  const char* summary = nullptr;
  if (sd_bus_message_read(m, "uss", &info, &id, &summary) >= 0 && id != nullptr &&
      info != kInfoBlocked) {
    c->packages.emplace(id);
  }
  return 0;
}

int OnFinished(sd_bus_message*, void* userdata, sd_bus_error*) {
  static_cast<Collector*>(userdata)->finished = true;
  return 0;
}

int OnError(sd_bus_message* m, void* userdata, sd_bus_error*) {
  auto* c = static_cast<Collector*>(userdata);
  std::uint32_t code = 0;
  const char* details = nullptr;
  if (sd_bus_message_read(m, "us", &code, &details) >= 0) {
    c->error = "PackageKit error " + std::to_string(code) + ": " + (details ? details : "");
  }
  return 0;
}

std::string BusError(const char* what, const sd_bus_error& e, int r) {
  std::string text = std::string(what) + ": ";
  text += e.message != nullptr ? e.message : std::string("error ") + std::to_string(-r);
  return text;
}

}  // namespace

std::optional<int> CountPackageKitUpdates(std::string& error) {
  sd_bus* bus = nullptr;
  int r = sd_bus_open_system(&bus);
  if (r < 0) {
    error = "no system bus for PackageKit";
    return std::nullopt;
  }
  std::optional<int> result;
  sd_bus_error e = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  const char* path = nullptr;
  Collector c;
  sd_bus_slot* slots[3] = {nullptr, nullptr, nullptr};
  do {
    // Activatable or running: otherwise PackageKit is not installed.
    int present = 0;
    r = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "NameHasOwner", &e, &reply, "s", kService);
    if (r >= 0 && sd_bus_message_read(reply, "b", &present) >= 0 && !present) {
      reply = sd_bus_message_unref(reply);
      r = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                             "org.freedesktop.DBus", "ListActivatableNames", &e, &reply, "");
      if (r >= 0 && sd_bus_message_enter_container(reply, 'a', "s") >= 0) {
        const char* name = nullptr;
        while (sd_bus_message_read(reply, "s", &name) > 0) {
          if (name != nullptr && std::string(name) == kService) present = 1;
        }
      }
    }
    reply = sd_bus_message_unref(reply);
    if (!present) {
      error = "PackageKit is not on the system bus";
      break;
    }
    r = sd_bus_call_method(bus, kService, "/org/freedesktop/PackageKit", kService,
                           "CreateTransaction", &e, &reply, "");
    if (r < 0 || sd_bus_message_read(reply, "o", &path) < 0 || path == nullptr) {
      error = BusError("PackageKit CreateTransaction", e, r);
      break;
    }
    const std::string tx = path;
    reply = sd_bus_message_unref(reply);
    sd_bus_match_signal(bus, &slots[0], kService, tx.c_str(), kTransactionInterface, "Package",
                        OnPackage, &c);
    sd_bus_match_signal(bus, &slots[1], kService, tx.c_str(), kTransactionInterface, "Finished",
                        OnFinished, &c);
    sd_bus_match_signal(bus, &slots[2], kService, tx.c_str(), kTransactionInterface, "ErrorCode",
                        OnError, &c);
    r = sd_bus_call_method(bus, kService, tx.c_str(), kTransactionInterface, "GetUpdates", &e,
                           &reply, "t", kFilterNone);
    reply = sd_bus_message_unref(reply);
    if (r < 0) {
      error = BusError("PackageKit GetUpdates", e, r);
      break;
    }
    // A refresh of the cache is not asked for: the list PackageKit has is the answer.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(4);
    while (!c.finished && std::chrono::steady_clock::now() < deadline) {
      r = sd_bus_process(bus, nullptr);
      if (r < 0) break;
      if (r > 0) continue;
      if (sd_bus_wait(bus, 1000000) < 0) break;
    }
    if (!c.finished) {
      error = "PackageKit did not finish its answer";
    } else if (!c.error.empty()) {
      error = c.error;
    } else {
      result = static_cast<int>(c.packages.size());
    }
  } while (false);
  for (auto* s : slots) sd_bus_slot_unref(s);
  sd_bus_message_unref(reply);
  sd_bus_error_free(&e);
  sd_bus_flush_close_unref(bus);
  return result;
}

}  // namespace qmupdate
