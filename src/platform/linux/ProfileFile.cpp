#include "platform/ProfileFile.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "AtomicFile.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace platform {
namespace {

using detail::ReadStatus;

// Settings files are a few lines; anything this large is not one of ours.
constexpr std::size_t kMaxProfileBytes = 16u << 20;

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// A relative name means a file in the shared settings folder, as a bare "x.ini" does there.
std::string ResolvePath(std::string_view filePath) {
  if (filePath.find('/') != std::string_view::npos) return std::string(filePath);
  const std::string dir = WindowsDirectory();
  if (dir.empty()) return {};
  return dir + std::string(filePath);
}

enum class LineKind { Blank, Comment, Section, Entry, Bare };

struct Line {
  LineKind kind = LineKind::Blank;
  std::string_view name;   // section name or key, trimmed
  std::string_view value;  // entry value, trimmed
};

Line Classify(std::string_view raw) {
  Line line;
  const std::string_view t = TrimBlanks(raw);
  if (t.empty()) return line;
  if (t.front() == ';') {
    line.kind = LineKind::Comment;
  } else if (t.front() == '[') {
    line.kind = LineKind::Section;
    const std::string_view inner = t.substr(1);
    line.name = TrimBlanks(inner.substr(0, inner.find(']')));
  } else if (const auto eq = t.find('='); eq != std::string_view::npos) {
    line.kind = LineKind::Entry;
    line.name = TrimBlanks(t.substr(0, eq));
    line.value = TrimBlanks(t.substr(eq + 1));
  } else {
    line.kind = LineKind::Bare;  // a key without '=': present, but without a value
    line.name = t;
  }
  return line;
}

struct Document {
  bool bom = false;
  std::string eol = "\n";
  std::vector<std::string_view> lines;  // without line ends; views into the file's bytes
};

Document Split(std::string_view bytes) {
  Document doc;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    doc.bom = true;
    bytes.remove_prefix(3);
  }
  std::size_t crlf = 0, lf = 0;
  while (!bytes.empty()) {
    const auto nl = bytes.find('\n');
    std::string_view line = bytes.substr(0, nl);
    bytes.remove_prefix(nl == std::string_view::npos ? bytes.size() : nl + 1);
    if (nl != std::string_view::npos) {
      if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
        ++crlf;
      } else {
        ++lf;
      }
    }
    doc.lines.push_back(line);
  }
  // Written lines use the ending the file already mostly uses.
  if (crlf > lf) doc.eol = "\r\n";
  return doc;
}

// Index of the first section with this name, or -1.
std::ptrdiff_t FindSection(const Document& doc, std::string_view section) {
  for (std::size_t i = 0; i < doc.lines.size(); ++i) {
    const Line line = Classify(doc.lines[i]);
    if (line.kind == LineKind::Section && EqualsIgnoreCase(line.name, section)) {
      return static_cast<std::ptrdiff_t>(i);
    }
  }
  return -1;
}

// Index one past the last line of the section starting at start.
std::size_t SectionEnd(const Document& doc, std::size_t start) {
  std::size_t i = start + 1;
  while (i < doc.lines.size() && Classify(doc.lines[i]).kind != LineKind::Section) ++i;
  return i;
}

std::ptrdiff_t FindKey(const Document& doc, std::size_t begin, std::size_t end,
                       std::string_view key) {
  for (std::size_t i = begin; i < end; ++i) {
    const Line line = Classify(doc.lines[i]);
    if ((line.kind == LineKind::Entry || line.kind == LineKind::Bare) &&
        EqualsIgnoreCase(line.name, key)) {
      return static_cast<std::ptrdiff_t>(i);
    }
  }
  return -1;
}

// The trimmed value of section/key, without one pair of surrounding matching quotes; nullopt
// when the file, section or key is missing or the key has no '='.
std::optional<std::string> Lookup(std::string_view section, std::string_view key,
                                  const std::string& path) {
  if (path.empty()) return std::nullopt;
  detail::FileContents file = detail::ReadWholeFile(path, kMaxProfileBytes);
  if (file.status == ReadStatus::Error || file.status == ReadStatus::TooLarge) {
    detail::ReportOnce(file.error + "; its settings are not read");
  }
  if (file.status != ReadStatus::Ok) return std::nullopt;
  const Document doc = Split(file.bytes);
  const std::ptrdiff_t s = FindSection(doc, TrimBlanks(section));
  if (s < 0) return std::nullopt;
  const auto begin = static_cast<std::size_t>(s) + 1;
  const std::ptrdiff_t k = FindKey(doc, begin, SectionEnd(doc, begin - 1), TrimBlanks(key));
  if (k < 0) return std::nullopt;
  const Line line = Classify(doc.lines[static_cast<std::size_t>(k)]);
  if (line.kind != LineKind::Entry) return std::nullopt;
  std::string_view v = line.value;
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  // Callers hand the text on as a C string, which ends at the first NUL anyway.
  v = v.substr(0, v.find('\0'));
  return std::string(v);
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

std::size_t GetProfileString(std::string_view section, std::string_view key,
                             std::string_view defaultValue, std::string& out,
                             std::size_t bufferSize, std::string_view filePath) {
  out.clear();
  if (bufferSize == 0) return 0;
  std::string value;
  if (auto found = Lookup(section, key, ResolvePath(filePath))) {
    value = std::move(*found);
  } else {
    // Trailing blanks of the default are dropped, as the Windows call does.
    while (!defaultValue.empty() && IsSpace(defaultValue.back())) defaultValue.remove_suffix(1);
    value = std::string(defaultValue);
  }
  std::size_t n = value.size();
  if (n > bufferSize - 1) {
    n = bufferSize - 1;
    // Back up over a UTF-8 sequence that the cut would split.
    while (n > 0 && (static_cast<unsigned char>(value[n]) & 0xC0) == 0x80) --n;
  }
  out.assign(value, 0, n);
  return n;
}

int GetProfileInt(std::string_view section, std::string_view key, int defaultValue,
                  std::string_view filePath) {
  std::string text;
  // Windows reads the number through a 30-character buffer; an empty value gives the default.
  if (GetProfileString(section, key, "", text, 30, filePath) == 0) return defaultValue;
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  // Accumulated modulo 2^32 like the Windows conversion, without signed overflow.
  std::uint32_t v = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    v = v * 10u + static_cast<std::uint32_t>(text[i++] - '0');
  }
  if (negative) v = 0u - v;
  return static_cast<int>(v);
}

bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        std::string_view filePath) {
  section = TrimBlanks(section);
  key = TrimBlanks(key);
  // Anything that would read back as a different line structure is refused rather than
  // written: a line break would split the entry, '=' in a key or ']' in a section would move
  // the boundary, and a key starting like a section or a comment would vanish on reading.
  if (section.empty() || key.empty() || HasLineBreak(section) || HasLineBreak(key) ||
      HasLineBreak(value) || value.find('\0') != std::string_view::npos ||
      section.find('\0') != std::string_view::npos || key.find('\0') != std::string_view::npos ||
      section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos ||
      key.front() == '[' || key.front() == ';') {
    return false;
  }
  const std::string path = ResolvePath(filePath);
  if (path.empty()) return false;
  std::string error;
  auto lock = detail::FileLock::Acquire(path, &error);
  if (!lock) {
    detail::ReportOnce(error);
    return false;
  }
  detail::RemoveStaleTemporaries(path);
  detail::FileContents file = detail::ReadWholeFile(path, kMaxProfileBytes);
  if (file.status != ReadStatus::Ok && file.status != ReadStatus::Missing) {
    detail::ReportOnce(file.error + "; the setting is not written");
    return false;
  }
  Document doc = Split(file.bytes);

  const std::string entry = std::string(key) + "=" + std::string(value);
  std::vector<std::string> inserted;  // owns new lines; doc.lines views into it
  inserted.reserve(3);
  const std::ptrdiff_t s = FindSection(doc, section);
  if (s < 0) {
    if (!doc.lines.empty() && !TrimBlanks(doc.lines.back()).empty()) {
      doc.lines.emplace_back();
    }
    inserted.push_back("[" + std::string(section) + "]");
    inserted.push_back(entry);
    doc.lines.emplace_back(inserted[0]);
    doc.lines.emplace_back(inserted[1]);
  } else {
    const auto start = static_cast<std::size_t>(s);
    const std::size_t end = SectionEnd(doc, start);
    const std::ptrdiff_t k = FindKey(doc, start + 1, end, key);
    if (k >= 0) {
      // Keep the spelling the file already uses for the key.
      const Line old = Classify(doc.lines[static_cast<std::size_t>(k)]);
      inserted.push_back(std::string(old.name) + "=" + std::string(value));
      doc.lines[static_cast<std::size_t>(k)] = inserted[0];
    } else {
      // After the section's last entry, so comments and blank lines that lead into the next
      // section stay where they are.
      std::size_t at = start + 1;
      for (std::size_t i = start + 1; i < end; ++i) {
        const LineKind kind = Classify(doc.lines[i]).kind;
        if (kind == LineKind::Entry || kind == LineKind::Bare) at = i + 1;
      }
      inserted.push_back(entry);
      doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(at), inserted[0]);
    }
  }

  std::string bytes;
  bytes.reserve(file.bytes.size() + entry.size() + section.size() + 8);
  if (doc.bom) bytes += "\xEF\xBB\xBF";
  for (const std::string_view line : doc.lines) {
    bytes.append(line);
    bytes += doc.eol;
  }
  return detail::WriteFileAtomically(path, bytes, &error);
}

}  // namespace platform
