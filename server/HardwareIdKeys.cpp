#include "HardwareIdKeys.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace korvane::server {
namespace {

struct Shape {
  const char* enumerator;
  std::vector<const char*> base;  // fields that identify the device, in key order
};

const std::vector<Shape>& Shapes() {
  static const std::vector<Shape> shapes = {
      {"PCI", {"VEN", "DEV"}},
      {"USB", {"VID", "PID"}},
      {"HDAUDIO", {"FUNC", "VEN", "DEV"}},
  };
  return shapes;
}

}  // namespace

std::vector<std::string> LookupKeys(std::string_view hardwareId) {
  std::string id;
  id.reserve(hardwareId.size());
  for (char c : hardwareId)
    id.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  while (!id.empty() && std::isspace(static_cast<unsigned char>(id.back()))) id.pop_back();
  while (!id.empty() && std::isspace(static_cast<unsigned char>(id.front()))) id.erase(id.begin());
  std::vector<std::string> keys;
  if (id.empty()) return keys;

  const std::size_t first = id.find('\\');
  if (first == std::string::npos) {
    keys.push_back(id);
    return keys;
  }
  const std::size_t second = id.find('\\', first + 1);
  const std::string enumerator = id.substr(0, first);
  const std::string device =
      id.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);

  std::map<std::string, std::string> fields;
  std::size_t pos = 0;
  while (pos <= device.size()) {
    std::size_t amp = device.find('&', pos);
    if (amp == std::string::npos) amp = device.size();
    const std::string token = device.substr(pos, amp - pos);
    const std::size_t us = token.find('_');
    if (us != std::string::npos && us > 0 && us + 1 < token.size())
      fields.emplace(token.substr(0, us), token.substr(us + 1));
    pos = amp + 1;
  }

  for (const Shape& shape : Shapes()) {
    if (enumerator != shape.enumerator) continue;
    std::string base = enumerator + "\\";
    bool complete = true;
    for (std::size_t i = 0; i < shape.base.size(); ++i) {
      auto it = fields.find(shape.base[i]);
      if (it == fields.end()) {
        complete = false;
        break;
      }
      base += (i ? "&" : "") + std::string(shape.base[i]) + "_" + it->second;
    }
    if (!complete) break;
    const auto subsys = fields.find("SUBSYS");
    const auto rev = fields.find("REV");
    const std::string s = subsys != fields.end() ? "&SUBSYS_" + subsys->second : "";
    const std::string r = rev != fields.end() ? "&REV_" + rev->second : "";
    for (const std::string& k : {base + s + r, base + s, base + r, base}) {
      if (std::find(keys.begin(), keys.end(), k) == keys.end()) keys.push_back(k);
    }
    return keys;
  }
  keys.push_back(enumerator + "\\" + device);
  return keys;
}

}  // namespace korvane::server
