#pragma once
// Text results that cross the hardware library's boundary (the BSTR of the original
// interface). The library allocates with LibStringAlloc, the program copies and frees with
// LibStringFree. Both sides use the C heap of the one process, so either side may free.
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace platform {

// A zero-terminated narrow copy on the C heap; nullptr when out of memory.
inline char* LibStringAlloc(std::string_view text) {
  char* p = static_cast<char*>(std::malloc(text.size() + 1));
  if (p == nullptr) return nullptr;
  if (!text.empty()) std::memcpy(p, text.data(), text.size());
  p[text.size()] = '\0';
  return p;
}

inline void LibStringFree(char* text) { std::free(text); }

}  // namespace platform
