#include "sysinfo/HdaCodec.h"

#include <charconv>
#include <optional>

#include "platform/Text.h"
#include "sysinfo/TextLines.h"

namespace korvane {

namespace {

std::optional<std::uint32_t> ParseHex(std::string_view text) {
  std::string t = platform::Trim(text);
  std::string_view v = t;
  if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) v.remove_prefix(2);
  std::uint32_t value = 0;
  const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), value, 16);
  if (ec != std::errc() || ptr == v.data()) return std::nullopt;
  return value;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Feeds one line of a codec's listing into the codec being read.
void ApplyLine(std::string_view line, HdaCodecInfo& codec, bool& haveVendor) {
  if (StartsWith(line, "Codec:")) {
    codec.name = platform::Trim(line.substr(6));
  } else if (StartsWith(line, "Address:")) {
    std::string t = platform::Trim(line.substr(8));
    int value = 0;
    const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec == std::errc() && ptr != t.data()) codec.address = value;
  } else if (StartsWith(line, "AFG Function Id:")) {
    codec.audioFunction = true;
  } else if (StartsWith(line, "MFG Function Id:")) {
    codec.modemFunction = true;
  } else if (StartsWith(line, "Vendor Id:")) {
    if (auto v = ParseHex(line.substr(10))) {
      codec.vendorId = *v;
      haveVendor = true;
    }
  } else if (StartsWith(line, "Subsystem Id:")) {
    if (auto v = ParseHex(line.substr(13))) codec.subsystemId = *v;
  } else if (StartsWith(line, "Revision Id:")) {
    if (auto v = ParseHex(line.substr(12))) codec.revisionId = *v;
  }
}


}  // namespace

HdaCodecParse ParseHdaCodec(std::string_view text) {
  HdaCodecParse result;
  bool haveName = false;
  bool haveVendor = false;
  bool done = false;
  ForEachLine(text, [&](std::string_view line) {
    if (done) return;
    if (StartsWith(line, "Codec:")) {
      // A second codec in the same text ends the first.
      if (haveName) {
        done = true;
        return;
      }
      haveName = true;
    }
    // Whatever precedes the codec's first line belongs to no codec.
    if (haveName) ApplyLine(line, result.codec, haveVendor);
  });
  result.valid = haveName && haveVendor;
  return result;
}

std::vector<HdaCodecInfo> ParseHdaCodecs(std::string_view text) {
  std::vector<HdaCodecInfo> codecs;
  HdaCodecInfo current;
  bool open = false;
  bool haveVendor = false;
  auto close = [&] {
    if (open && haveVendor) codecs.push_back(current);
    current = HdaCodecInfo();
    open = false;
    haveVendor = false;
  };
  ForEachLine(text, [&](std::string_view line) {
    if (StartsWith(line, "Codec:")) {
      close();
      open = true;
    }
    if (open) ApplyLine(line, current, haveVendor);
  });
  close();
  return codecs;
}

}  // namespace korvane
