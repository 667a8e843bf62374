#include "DriverSearch.h"

#include <cctype>

#include "HardwareIdKeys.h"
#include "scores/TextCipher.h"

namespace korvane::server {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string UrlDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '+') {
      out.push_back(' ');
    } else if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 &&
               HexValue(s[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2])));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

void AppendEscaped(std::string& out, std::string_view text) {
  for (unsigned char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        // XML 1.0 has no place for other control characters.
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') break;
        out.push_back(static_cast<char>(c));
    }
  }
}

void Element(std::string& out, const char* name, std::string_view text) {
  out += "<";
  out += name;
  out += ">";
  AppendEscaped(out, text);
  out += "</";
  out += name;
  out += ">";
}

HttpAnswer BadRequest(std::string line) {
  HttpAnswer a;
  a.status = 400;
  a.body = std::move(line) + "\n";
  return a;
}

}  // namespace

std::string DecryptQuery(std::string_view rawQuery, std::string* reason) {
  auto fail = [&](const char* why) {
    if (reason != nullptr) *reason = why;
    return std::string();
  };
  if (rawQuery.size() > kMaxQueryBytes) return fail("query too long");
  // Salt (16 hex digits) and at least one 8-byte block, all as hex pairs.
  if (rawQuery.size() < 32 || (rawQuery.size() - 16) % 16 != 0)
    return fail("query is not an enciphered search");
  for (char c : rawQuery) {
    if (HexValue(c) < 0) return fail("query is not an enciphered search");
  }
  for (std::size_t i = 0; i < 16; i += 2) {
    if (rawQuery[i] != '3' || HexValue(rawQuery[i + 1]) > 9) return fail("query does not decrypt");
  }
  std::string plain = DecryptText(rawQuery);
  if (plain.empty()) return fail("query does not decrypt");
  return plain;
}

std::map<std::string, std::string> ParseQueryFields(std::string_view plain) {
  std::map<std::string, std::string> fields;
  std::size_t pos = 0;
  while (pos <= plain.size()) {
    std::size_t amp = plain.find('&', pos);
    if (amp == std::string_view::npos) amp = plain.size();
    const std::string_view pair = plain.substr(pos, amp - pos);
    if (!pair.empty()) {
      const std::size_t eq = pair.find('=');
      const std::string name = UrlDecode(pair.substr(0, eq));
      const std::string value =
          eq == std::string_view::npos ? std::string() : UrlDecode(pair.substr(eq + 1));
      fields.emplace(name, value);
    }
    pos = amp + 1;
  }
  return fields;
}

std::string RenderDriverXml(const std::vector<DriverItem>& items) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<driverdb><channel>";
  Element(out, "listCount", std::to_string(items.size()));
  for (const DriverItem& it : items) {
    out += "\n<item>";
    Element(out, "typeid", std::to_string(it.typeId));
    Element(out, "hardwareid", it.hardwareId);
    Element(out, "chipname", it.chipName);
    Element(out, "version", it.version);
    Element(out, "drivername", it.driverName);
    Element(out, "officialurl", it.officialUrl);
    Element(out, "downloadpath", it.downloadPath);
    Element(out, "manufacturer_cn", it.manufacturerCn);
    Element(out, "manufacturer_en", it.manufacturerEn);
    Element(out, "releasedate", it.releaseDate);
    Element(out, "driverinfurlpath", it.driverInfUrlPath);
    out += "</item>";
  }
  out += "\n</channel></driverdb>\n";
  return out;
}

HttpAnswer HandleDriverSearch(std::string_view rawQuery, DriverStore& store) {
  std::string reason;
  const std::string plain = DecryptQuery(rawQuery, &reason);
  if (plain.empty()) return BadRequest(reason);
  const auto fields = ParseQueryFields(plain);
  const auto action = fields.find("action");
  if (action == fields.end() || action->second != "seSearch") return BadRequest("unknown action");
  const auto hid = fields.find("hid");
  if (hid == fields.end() || hid->second.empty()) return BadRequest("no hid in the query");
  if (hid->second.size() > kMaxHardwareIdBytes) return BadRequest("hid too long");

  const std::vector<DriverItem> items = store.Find(LookupKeys(hid->second), kMaxAnswerItems);
  HttpAnswer a;
  if (items.empty()) {
    a.body = "not found\n";
    return a;
  }
  a.contentType = "text/xml; charset=utf-8";
  a.body = RenderDriverXml(items);
  return a;
}

}  // namespace korvane::server
