#pragma once
// The few user-facing messages of the logic layers. The GUI installs a sink that shows a
// Qt message box; without one (headless modes, tests) the text goes to standard error.
#include <functional>
#include <string>
#include <string_view>

namespace platform {

enum MessageBoxFlags : unsigned {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbYesNo = 0x4,
  kMbIconError = 0x10,
  kMbIconQuestion = 0x20,
  kMbIconWarning = 0x30,
  kMbIconInformation = 0x40,
};
enum MessageBoxResult : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

using MessageBoxSink = std::function<int(std::string_view text, std::string_view caption, unsigned flags)>;
// Replace the sink (empty function = standard error). Returns the previous one.
MessageBoxSink SetMessageBoxSink(MessageBoxSink sink);
int ShowMessageBox(std::string_view text, std::string_view caption, unsigned flags = kMbOk);

}  // namespace platform
