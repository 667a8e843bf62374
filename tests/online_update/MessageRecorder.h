#pragma once
// A message target that keeps what it was sent, copying the new-version message's pointed-to
// values while they are valid (during the call), as the start panel must.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "online/VersionCheck.h"
#include "platform/Messages.h"

namespace korvane {

class MessageRecorder : public platform::IMessageTarget {
 public:
  struct Entry {
    std::uint32_t msg = 0;
    std::uint64_t packed = 0;
    std::string url;
  };
  std::atomic<bool> live{true};

  bool IsLive() const override { return live; }
  bool Post(std::uint32_t msg, platform::WParam w, platform::LParam l) override {
    Send(msg, w, l);
    return live;
  }
  platform::LParam Send(std::uint32_t msg, platform::WParam w, platform::LParam l) override {
    Entry e;
    e.msg = msg;
    if (msg == kMsgNewVersion && w != 0 && l != 0) {
      e.packed = *reinterpret_cast<const std::uint64_t*>(w);
      e.url = reinterpret_cast<const char*>(l);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(e);
    return 0;
  }
  std::vector<Entry> Entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

}  // namespace korvane
