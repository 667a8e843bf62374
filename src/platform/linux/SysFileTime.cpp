#include "platform/SysFileTime.h"

#include <sys/stat.h>

#include "platform/Sysroot.h"

namespace platform {

std::optional<std::int64_t> SysFileModifiedTime(std::string_view absolutePath) {
  struct stat st {};
  if (::stat(SysPath(absolutePath).c_str(), &st) != 0) return std::nullopt;
  return static_cast<std::int64_t>(st.st_mtim.tv_sec);
}

}  // namespace platform
