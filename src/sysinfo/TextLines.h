#pragma once
// Line-by-line walks over kernel and data-file texts, which may end with or without a newline
// and may carry Windows line ends.
#include <string_view>

namespace korvane {

template <typename Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    fn(line);
    start = end + 1;
  }
}

}  // namespace korvane
