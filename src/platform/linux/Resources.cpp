#include "platform/Resources.h"

#include <cctype>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace platform {
namespace {

// Resource types are compared without regard to case, as Windows does for string types.
std::string FoldType(std::string_view type) {
  std::string folded(type);
  for (char& c : folded) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return folded;
}

struct Registry {
  std::mutex lock;
  std::map<std::pair<std::string, int>, std::span<const std::uint8_t>> entries;
};

// Function-local so that registrations made by other translation units' static initialisers
// find the table constructed whatever order the linker chose.
Registry& GetRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

bool RegisterResource(const char* type, int id, const unsigned char* data, std::size_t size) {
  if (type == nullptr || *type == '\0') return false;
  if (data == nullptr && size != 0) return false;
  Registry& registry = GetRegistry();
  std::lock_guard guard(registry.lock);
  // The first registration wins: a second object claiming the same type and id is a build
  // mistake, and silently swapping the bytes would be worse than ignoring the newcomer.
  auto [it, inserted] = registry.entries.try_emplace(
      std::make_pair(FoldType(type), id), std::span<const std::uint8_t>(data, size));
  (void)it;
  return inserted;
}

std::span<const std::uint8_t> FindResource(std::string_view type, int id) {
  Registry& registry = GetRegistry();
  std::lock_guard guard(registry.lock);
  auto it = registry.entries.find(std::make_pair(FoldType(type), id));
  if (it == registry.entries.end()) return {};
  return it->second;
}

}  // namespace platform
