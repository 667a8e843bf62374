#pragma once
// The driver search behind "GET /?<query>": the query is the text cipher's output of
// "action=seSearch&version=2.0&os=...&type=1&typename=...&hid=<hardware id>"; the answer is
// an XML list of matching items, or a body starting with "not found".
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "DriverStore.h"

namespace korvane::server {

inline constexpr std::size_t kMaxQueryBytes = 8192;
inline constexpr std::size_t kMaxHardwareIdBytes = 512;
inline constexpr std::size_t kMaxAnswerItems = 10;

struct HttpAnswer {
  int status = 200;
  std::string contentType = "text/plain; charset=utf-8";
  std::string body;
};

// The plain query text, or "" with a reason when the text is not an enciphered query.
std::string DecryptQuery(std::string_view rawQuery, std::string* reason);
// "a=1&b=x+y%26z" -> {a: "1", b: "x y&z"}; repeated names keep the first value.
std::map<std::string, std::string> ParseQueryFields(std::string_view plain);

std::string RenderDriverXml(const std::vector<DriverItem>& items);

// The whole request: 400 with a one-line reason for anything that is not a search.
HttpAnswer HandleDriverSearch(std::string_view rawQuery, DriverStore& store);

}  // namespace korvane::server
