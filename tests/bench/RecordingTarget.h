#pragma once
#include <mutex>
#include <vector>

#include "bench/BenchJob.h"

namespace korvane {

struct RecordedMessage {
  std::uint32_t msg;
  platform::WParam wParam;
  platform::LParam lParam;
};

// Records every posted message; can be switched off to play a closed window.
class RecordingTarget : public platform::IMessageTarget {
 public:
  bool IsLive() const override { return live; }
  bool Post(std::uint32_t msg, platform::WParam w, platform::LParam l) override {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back({msg, w, l});
    return true;
  }
  platform::LParam Send(std::uint32_t msg, platform::WParam w, platform::LParam l) override {
    Post(msg, w, l);
    return 0;
  }
  std::vector<RecordedMessage> Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  bool live = true;

 private:
  mutable std::mutex mutex_;
  std::vector<RecordedMessage> messages_;
};

// Sets the process-wide cancel flag for one test and clears it afterwards.
class CancelFlagScope {
 public:
  explicit CancelFlagScope(int value) { BenchCancelFlag().store(value); }
  ~CancelFlagScope() { BenchCancelFlag().store(0); }
};

}  // namespace korvane
