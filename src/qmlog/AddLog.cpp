// Stand-in for the maker's logging library: appends each usage record as one JSON line to
// ${XDG_STATE_HOME:-~/.local/state}/korvane/usage.log. Self-contained on purpose (it is loaded
// into the program at run time and must not drag the program's own code in twice).
//
// The caller frees the record right after the call, so everything is decoded before
// returning. Nothing here may block or crash the caller: every failure just returns 0.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

constexpr std::size_t kTextUnits = 16;

std::int32_t ReadInt(const unsigned char* record, std::size_t offset) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | record[offset + i];
  return static_cast<std::int32_t>(v);
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// A UTF-16 field of at most kTextUnits units, up to its terminator; a field without one ends
// at its size. Unpaired surrogates become U+FFFD.
std::string DecodeText(const unsigned char* record, std::size_t offset) {
  char16_t units[kTextUnits];
  std::size_t n = 0;
  for (; n < kTextUnits; ++n) {
    units[n] = static_cast<char16_t>(record[offset + 2 * n] | (record[offset + 2 * n + 1] << 8));
    if (units[n] == 0) break;
  }
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

void AppendJsonString(std::string& out, const std::string& text) {
  out += '"';
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

std::string NowUtc() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm parts{};
  gmtime_r(&ts.tv_sec, &parts);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                static_cast<int>(ts.tv_nsec / 1000000) % 1000);
  return buf;
}

// The state folder, created with its parents; empty when it cannot be had.
std::string LogDirectory() {
  std::string base;
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') return {};
    base = std::string(home) + "/.local/state";
  }
  std::string dir = base + "/korvane";
  for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos == dir.size() || dir[pos] == '/') {
      std::string part = dir.substr(0, pos);
      if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return {};
    }
  }
  struct stat st {};
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  return dir;
}

}  // namespace

// record: the 240-byte usage record (size, format, product, version, event text, value).
extern "C" __attribute__((visibility("default"))) int AddLog(int kind, const void* record) {
  if (record == nullptr) return 0;
  const auto* bytes = static_cast<const unsigned char*>(record);

  std::string line;
  try {
    line = "{\"time\":\"" + NowUtc() + "\",\"kind\":" + std::to_string(kind) +
           ",\"product\":" + std::to_string(ReadInt(bytes, 8)) + ",\"version\":";
    AppendJsonString(line, DecodeText(bytes, 12));
    line += ",\"event\":";
    AppendJsonString(line, DecodeText(bytes, 44));
    line += ",\"value\":" + std::to_string(ReadInt(bytes, 76)) + "}\n";

    std::string dir = LogDirectory();
    if (dir.empty()) return 0;
    std::string path = dir + "/usage.log";
    // O_NONBLOCK: a FIFO planted at that name must not hang the program.
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0600);
    if (fd < 0) return 0;
    // One write per record: O_APPEND keeps concurrent writers' lines whole.
    ssize_t written = write(fd, line.data(), line.size());
    close(fd);
    return written == static_cast<ssize_t>(line.size()) ? 1 : 0;
  } catch (...) {
    // Out of memory while formatting: the event is dropped, the caller must not see it.
    return 0;
  }
}
