#include "config/Installation.h"

#include <string>

#include "config/Product.h"
#include "platform/Paths.h"
#include "platform/Registry.h"

namespace korvane {

void RecordInstallation() {
  platform::RegistryKey key;
  if (key.Open(platform::RegRoot::CurrentUser, kProgramRegistryKey, platform::RegAccess::Write) !=
          platform::kRegOk &&
      key.Create(platform::RegRoot::CurrentUser, kProgramRegistryKey) != platform::kRegOk) {
    return;
  }
  std::string exe = platform::ExecutablePath();
  if (!exe.empty()) (void)key.SetString("ExeName", exe);
  (void)key.SetString("Version", kProductVersion);
}

}  // namespace korvane
