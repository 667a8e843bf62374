#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

namespace platform {
namespace {

std::mutex& SinkMutex() {
  static std::mutex m;
  return m;
}

MessageBoxSink& SinkStorage() {
  static MessageBoxSink sink;
  return sink;
}

// Without anybody to ask, a question is answered the way that changes nothing: "No" or
// "Cancel". Only a plain notice is acknowledged with OK.
int HeadlessAnswer(unsigned flags) {
  switch (flags & 0xFu) {
    case kMbOkCancel: return kIdCancel;
    case kMbYesNo: return kIdNo;
    default: return kIdOk;
  }
}

int PrintToStandardError(std::string_view text, std::string_view caption, unsigned flags) {
  std::string line;
  line.reserve(caption.size() + text.size() + 3);
  line.append(caption).append(": ").append(text).push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);  // one write: lines of threads never mix
  std::fflush(stderr);
  return HeadlessAnswer(flags);
}

}  // namespace

MessageBoxSink SetMessageBoxSink(MessageBoxSink sink) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  return std::exchange(SinkStorage(), std::move(sink));
}

int ShowMessageBox(std::string_view text, std::string_view caption, unsigned flags) {
  MessageBoxSink sink;
  {
    // The sink runs outside the lock: a modal box may take long and may itself show
    // another message or replace the sink.
    std::lock_guard<std::mutex> lock(SinkMutex());
    sink = SinkStorage();
  }
  if (!sink) return PrintToStandardError(text, caption, flags);
  try {
    return sink(text, caption, flags);
  } catch (...) {
    return HeadlessAnswer(flags);  // a failing sink must not take the caller down
  }
}

}  // namespace platform
