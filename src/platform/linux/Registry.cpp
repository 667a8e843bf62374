#include "platform/Registry.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>

#include "AtomicFile.h"
#include "platform/Paths.h"
#include "platform/Sysroot.h"

namespace platform {
namespace {

using detail::FileContents;
using detail::FileIdentity;
using detail::ReadStatus;

constexpr std::string_view kHeader = "KORVANE-REGISTRY 1";
constexpr std::string_view kCurrentUser = "HKEY_CURRENT_USER";
constexpr std::string_view kLocalMachine = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kClassesRoot = "HKEY_CLASSES_ROOT";

thread_local std::string tLastError;
thread_local std::string tDamageNote;

RegResult Fail(RegResult code, std::string text) {
  tLastError = std::move(text);
  return code;
}

std::string Fold(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Length of the valid UTF-8 sequence starting at s[i], or 0 when the bytes there are not one
// (overlong forms, surrogates and values past U+10FFFF included).
std::size_t Utf8Length(std::string_view s, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char c = b(0);
  if (c < 0x80) return 1;
  std::size_t len = 0;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  if (b(1) < lo || b(1) > hi) return 0;
  for (std::size_t k = 2; k < len; ++k) {
    if (b(k) < 0x80 || b(k) > 0xBF) return 0;
  }
  return len;
}

constexpr char kHex[] = "0123456789abcdef";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// ---- the tree -----------------------------------------------------------------------------

struct Value {
  RegValue data;
  std::uint64_t order = 0;
};

struct Node {
  std::string name;                                       // as first written
  std::map<std::string, std::unique_ptr<Node>> children;  // by folded name
  std::map<std::string, Value> values;                    // by folded name
};

struct Tree {
  std::map<std::string, Node> roots;  // by folded root name
  std::uint64_t nextOrder = 0;

  Node& Root(std::string_view name) {
    Node& n = roots[Fold(name)];
    if (n.name.empty()) n.name = std::string(name);
    return n;
  }
  const Node* FindRoot(std::string_view name) const {
    const auto it = roots.find(Fold(name));
    return it == roots.end() ? nullptr : &it->second;
  }
};

const Node* FindNode(const Node* from, const std::vector<std::string>& path) {
  for (const std::string& part : path) {
    if (from == nullptr) return nullptr;
    const auto it = from->children.find(Fold(part));
    from = it == from->children.end() ? nullptr : it->second.get();
  }
  return from;
}

Node& MakeNode(Node& from, const std::vector<std::string>& path) {
  Node* at = &from;
  for (const std::string& part : path) {
    auto& slot = at->children[Fold(part)];
    if (!slot) {
      slot = std::make_unique<Node>();
      slot->name = part;
    }
    at = slot.get();
  }
  return *at;
}

void SetValue(Tree& tree, Node& node, RegValue value) {
  auto [it, inserted] = node.values.try_emplace(Fold(value.name));
  if (inserted) {
    it->second.order = tree.nextOrder++;
    it->second.data = std::move(value);
  } else {
    // Re-setting keeps the first spelling of the name and its place in the enumeration.
    value.name = it->second.data.name;
    it->second.data = std::move(value);
  }
}

// ---- text form ----------------------------------------------------------------------------

void AppendQuoted(std::string& out, std::string_view text) {
  out.push_back('"');
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\\':
        out += "\\\\";
        ++i;
        continue;
      case '"':
        out += "\\\"";
        ++i;
        continue;
      case '\n':
        out += "\\n";
        ++i;
        continue;
      case '\r':
        out += "\\r";
        ++i;
        continue;
      case '\t':
        out += "\\t";
        ++i;
        continue;
      default:
        break;
    }
    const std::size_t len = (c < 0x20 || c == 0x7F) ? 0 : Utf8Length(text, i);
    if (len == 0) {
      out += "\\x";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
      ++i;
    } else {
      out.append(text.substr(i, len));
      i += len;
    }
  }
  out.push_back('"');
}

void AppendKeyName(std::string& out, std::string_view name) {
  for (std::size_t i = 0; i < name.size();) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    const bool special = c == '%' || c == '[' || c == ']' || c < 0x20 || c == 0x7F;
    const std::size_t len = special ? 0 : Utf8Length(name, i);
    if (len == 0) {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
      ++i;
    } else {
      out.append(name.substr(i, len));
      i += len;
    }
  }
}

void AppendNode(std::string& out, const Node& node, const std::string& path, bool isRoot) {
  if (!isRoot || !node.values.empty()) {
    out += "\n[";
    out += path;
    out += "]\n";
    std::vector<const Value*> ordered;
    ordered.reserve(node.values.size());
    for (const auto& [folded, value] : node.values) ordered.push_back(&value);
    std::sort(ordered.begin(), ordered.end(),
              [](const Value* a, const Value* b) { return a->order < b->order; });
    for (const Value* v : ordered) {
      if (v->data.name.empty()) {
        out.push_back('@');
      } else {
        AppendQuoted(out, v->data.name);
      }
      out.push_back('=');
      if (v->data.type == RegType::Dword) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(v->data.dword));
        out += buf;
      } else {
        AppendQuoted(out, v->data.text);
      }
      out.push_back('\n');
    }
  }
  for (const auto& [folded, child] : node.children) {
    std::string childPath = path + "\\";
    AppendKeyName(childPath, child->name);
    AppendNode(out, *child, childPath, false);
  }
}

std::string Serialize(const Tree& tree) {
  std::string out(kHeader);
  out.push_back('\n');
  for (const auto& [folded, root] : tree.roots) {
    std::string path;
    AppendKeyName(path, root.name);
    AppendNode(out, root, path, true);
  }
  return out;
}

// Parses a quoted string starting at line[pos] == '"'; pos ends just past the closing quote.
bool ParseQuoted(std::string_view line, std::size_t& pos, std::string& out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  ++pos;
  while (pos < line.size()) {
    const char c = line[pos++];
    if (c == '"') return true;
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (pos >= line.size()) return false;
    const char e = line[pos++];
    switch (e) {
      case '\\':
        out.push_back('\\');
        break;
      case '"':
        out.push_back('"');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'x': {
        if (pos + 2 > line.size()) return false;
        const int h = HexDigit(line[pos]), l = HexDigit(line[pos + 1]);
        if (h < 0 || l < 0) return false;
        out.push_back(static_cast<char>(h * 16 + l));
        pos += 2;
        break;
      }
      default:
        return false;
    }
  }
  return false;  // no closing quote
}

bool ParseKeyName(std::string_view text, std::string& out) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int h = HexDigit(text[i + 1]), l = HexDigit(text[i + 2]);
    if (h < 0 || l < 0) return false;
    out.push_back(static_cast<char>(h * 16 + l));
    i += 2;
  }
  return !out.empty() && out.size() <= kRegMaxKeyNameBytes;
}

bool IsBlank(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t'; });
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// What a read of a store file found: every intact entry, and the lines that had to be skipped.
struct Parsed {
  Tree tree;
  std::vector<std::string> skipped;  // "line N: why"
};

// Parses what is intact and skips only damaged lines: a file cut short by a crash or a full
// disk, or one hand-edited line, must not cost every other value. Values under a damaged key
// line are skipped too, since their key is unknown; they would otherwise land in the key
// above it.
Parsed Parse(std::string_view bytes) {
  Parsed parsed;
  Tree& tree = parsed.tree;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  bool sawHeader = false;
  bool underBadKey = false;
  Node* current = nullptr;
  std::size_t lineNo = 0;
  auto skip = [&](const char* why) {
    // A long run of damage is summed up; the count says how much was lost.
    if (parsed.skipped.size() < 20)
      parsed.skipped.push_back("line " + std::to_string(lineNo) + ": " + why);
    else if (parsed.skipped.size() == 20)
      parsed.skipped.push_back("more damaged lines");
  };
  while (!bytes.empty()) {
    ++lineNo;
    const auto nl = bytes.find('\n');
    std::string_view line = bytes.substr(0, nl);
    bytes.remove_prefix(nl == std::string_view::npos ? bytes.size() : nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find('\0') != std::string_view::npos) {
      if (!sawHeader) {
        skip("not a registry file (missing header)");
        return parsed;
      }
      skip("NUL byte");
      continue;
    }
    if (IsBlank(line)) continue;
    // Hand edits may indent; indentation carries no meaning.
    while (line.front() == ' ' || line.front() == '\t') line.remove_prefix(1);
    if (line.front() == ';') continue;
    if (!sawHeader) {
      if (TrimRight(line) != kHeader) {
        // Not a store this program wrote: nothing in it is trusted.
        skip("not a registry file (missing header)");
        parsed.tree = Tree{};
        return parsed;
      }
      sawHeader = true;
      continue;
    }
    if (line.front() == '[') {
      current = nullptr;
      underBadKey = true;
      line = TrimRight(line);
      if (line.size() < 2 || line.back() != ']') {
        skip("unterminated key name");
        continue;
      }
      std::string_view inner = line.substr(1, line.size() - 2);
      std::vector<std::string> parts;
      bool good = true;
      while (true) {
        const auto sep = inner.find('\\');
        std::string part;
        if (!ParseKeyName(inner.substr(0, sep), part)) {
          good = false;
          break;
        }
        parts.push_back(std::move(part));
        if (sep == std::string_view::npos) break;
        inner.remove_prefix(sep + 1);
      }
      if (!good) {
        skip("bad key name");
        continue;
      }
      if (parts.size() > kRegMaxKeyDepth + 1) {
        skip("key nested too deeply");
        continue;
      }
      Node& root = tree.Root(parts.front());
      current = &MakeNode(root, std::vector<std::string>(parts.begin() + 1, parts.end()));
      underBadKey = false;
      continue;
    }
    if (line.front() == '"' || line.front() == '@') {
      if (current == nullptr) {
        skip(underBadKey ? "value under a damaged key" : "value outside a key");
        continue;
      }
      RegValue value;
      std::size_t pos = 0;
      if (line.front() == '@') {
        pos = 1;
      } else if (!ParseQuoted(line, pos, value.name)) {
        skip("bad value name");
        continue;
      }
      if (value.name.size() > kRegMaxValueNameBytes) {
        skip("value name too long");
        continue;
      }
      if (pos >= line.size() || line[pos] != '=') {
        skip("missing '='");
        continue;
      }
      ++pos;
      std::string_view rest = TrimRight(line.substr(pos));
      if (!rest.empty() && rest.front() == '"') {
        std::size_t p = 0;
        if (!ParseQuoted(rest, p, value.text) || p != rest.size()) {
          skip("bad string value");
          continue;
        }
        if (value.text.size() > kRegMaxValueBytes) {
          skip("value too long");
          continue;
        }
        value.type = RegType::String;
      } else if (rest.substr(0, 6) == "dword:") {
        rest.remove_prefix(6);
        bool good = !rest.empty() && rest.size() <= 8;
        std::uint32_t v = 0;
        for (char c : rest) {
          const int d = HexDigit(c);
          if (d < 0) good = false;
          v = v * 16 + static_cast<std::uint32_t>(d < 0 ? 0 : d);
        }
        if (!good) {
          skip("bad dword value");
          continue;
        }
        value.type = RegType::Dword;
        value.dword = v;
      } else {
        skip("unknown value type");
        continue;
      }
      SetValue(tree, *current, std::move(value));
      continue;
    }
    skip("unrecognised line");
  }
  return parsed;
}

// ---- the stores ---------------------------------------------------------------------------

// Damaged: some lines (or the whole file) could not be read; the tree holds what was intact.
enum class LoadState { Ok, Damaged, Unreadable };

struct Store {
  std::string path;
  bool loaded = false;
  FileIdentity identity;
  bool racy = false;  // read too soon after a change to trust the identity check
  LoadState state = LoadState::Ok;
  std::string problem;
  Tree tree;
  FileIdentity reported;  // the damaged file last explained on standard error
};

std::mutex gMutex;  // guards both stores; cross-process exclusion is the file lock
Store gUser;
Store gSystem;

// File times tick coarsely (a few ms), so a file rewritten in place within one tick keeps its
// identity. A cache taken while the file was that fresh is not trusted; it is read again.
bool FreshlyModified(const FileIdentity& id) {
  if (!id.exists) return false;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const std::int64_t nowNs = static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
  constexpr std::int64_t kTickSlackNs = 100'000'000;
  return nowNs - std::max(id.mtimeNs, id.ctimeNs) < kTickSlackNs;
}

void LoadInto(Store& store, const std::string& path) {
  if (store.loaded && !store.racy && store.path == path &&
      detail::StatIdentity(path) == store.identity) {
    return;
  }
  store.path = path;
  store.loaded = true;
  store.tree = Tree{};
  store.problem.clear();
  FileContents file = detail::ReadWholeFile(path, kRegMaxFileBytes);
  store.identity = file.identity;
  store.racy = FreshlyModified(file.identity);
  switch (file.status) {
    case ReadStatus::Missing:
      store.state = LoadState::Ok;
      return;
    case ReadStatus::Error:
      store.state = LoadState::Unreadable;
      store.problem = file.error;
      return;
    case ReadStatus::TooLarge:
      store.state = LoadState::Damaged;
      store.problem = "registry file " + path + " is damaged; " + file.error;
      return;
    case ReadStatus::Ok:
      break;
  }
  Parsed parsed = Parse(file.bytes);
  store.tree = std::move(parsed.tree);
  if (parsed.skipped.empty()) {
    store.state = LoadState::Ok;
    return;
  }
  store.state = LoadState::Damaged;
  std::string lines;
  for (const std::string& note : parsed.skipped) lines += (lines.empty() ? "" : "; ") + note;
  store.problem = "registry file " + path + " is damaged; skipped " + lines;
}

// Says once per damaged version of a file what was lost, so that lost values never pass
// unnoticed, yet a store read a thousand times is explained once.
void ExplainDamage(Store& store) {
  if (store.state != LoadState::Damaged || store.reported == store.identity) return;
  store.reported = store.identity;
  std::fprintf(stderr, "korvane: %s\n", store.problem.c_str());
}

// Loads the store behind root; on success returns kRegOk and the tree to read.
RegResult Load(RegRoot root, const Tree*& tree) {
  Store& store = root == RegRoot::CurrentUser ? gUser : gSystem;
  const std::string path =
      root == RegRoot::CurrentUser ? RegistryFilePath() : SystemRegistryFilePath();
  if (path.empty()) {
    return Fail(kRegAccessDenied, "no configuration folder for the registry file");
  }
  LoadInto(store, path);
  if (store.state == LoadState::Unreadable) {
    detail::ReportOnce(store.problem);
    return Fail(kRegAccessDenied, store.problem);
  }
  // A damaged store reads as what was intact in it.
  ExplainDamage(store);
  if (root == RegRoot::CurrentUser)
    tDamageNote = store.state == LoadState::Damaged ? store.problem : std::string();
  tree = &store.tree;
  return kRegOk;
}

std::string_view RootName(RegRoot root) {
  switch (root) {
    case RegRoot::CurrentUser:
      return kCurrentUser;
    case RegRoot::LocalMachine:
      return kLocalMachine;
    case RegRoot::ClassesRoot:
      return kClassesRoot;
  }
  return kCurrentUser;
}

template <typename Change>
RegResult Mutate(Change&& change) {
  const std::string path = RegistryFilePath();
  if (path.empty()) return Fail(kRegAccessDenied, "no configuration folder for the registry file");
  std::string error;
  auto lock = detail::FileLock::Acquire(path, &error);
  if (!lock) return Fail(kRegAccessDenied, error);
  // Under the lock nobody else writes, so what is on disk now is what we change.
  detail::RemoveStaleTemporaries(path);
  LoadInto(gUser, path);
  if (gUser.state == LoadState::Unreadable) {
    detail::ReportOnce(gUser.problem);
    return Fail(kRegAccessDenied, gUser.problem);
  }
  std::string setAsideNote;
  if (gUser.state == LoadState::Damaged) {
    // The damaged file is kept as it was for inspection; the new file holds every intact
    // value plus this change.
    ExplainDamage(gUser);
    const std::string aside = detail::CopyAside(path, &error);
    if (aside.empty()) return Fail(kRegInvalidData, gUser.problem + "; " + error);
    setAsideNote = gUser.problem + "; the damaged file is kept as " + aside +
                   " and the intact values were written back";
    std::fprintf(stderr, "korvane: %s\n", setAsideNote.c_str());
    gUser.state = LoadState::Ok;
  }
  const RegResult result = change(gUser.tree);
  if (result != kRegOk) {
    gUser.loaded = false;  // the change may have touched the cached tree
    return result;
  }
  if (!detail::WriteFileAtomically(path, Serialize(gUser.tree), &error)) {
    gUser.loaded = false;
    return Fail(kRegWriteFault, error);
  }
  gUser.identity = detail::StatIdentity(path);
  gUser.racy = FreshlyModified(gUser.identity);
  if (!setAsideNote.empty()) tLastError = setAsideNote;
  return kRegOk;
}

// Splits "Software\\Quillmark\\Tovix2" into names, ignoring empty parts.
RegResult SplitPath(std::string_view path, std::vector<std::string>& parts) {
  parts.clear();
  while (!path.empty()) {
    const auto sep = path.find('\\');
    const std::string_view part = path.substr(0, sep);
    if (!part.empty()) {
      if (part.size() > kRegMaxKeyNameBytes) {
        return Fail(kRegInvalidParameter, "key name longer than 255 bytes");
      }
      parts.emplace_back(part);
    }
    if (sep == std::string_view::npos) break;
    path.remove_prefix(sep + 1);
  }
  if (parts.size() > kRegMaxKeyDepth) return Fail(kRegInvalidParameter, "key nested too deeply");
  return kRegOk;
}

}  // namespace

struct RegistryKey::Impl {
  RegRoot root = RegRoot::CurrentUser;
  RegAccess access = RegAccess::Read;
  std::vector<std::string> path;
};

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;

std::string RegistryFilePath() {
  const std::string dir = WindowsDirectory();
  return dir.empty() ? std::string() : dir + "registry.reg";
}

std::string SystemRegistryFilePath() { return SysPath("/etc/quillmark/registry.reg"); }

std::string RegistryLastError() { return tLastError; }

std::string RegistryDamageNote() { return tDamageNote; }

RegResult RegistryKey::Open(RegRoot root, std::string_view path, RegAccess access) {
  Close();
  std::vector<std::string> parts;
  if (const RegResult r = SplitPath(path, parts); r != kRegOk) return r;
  std::lock_guard guard(gMutex);
  const Tree* tree = nullptr;
  if (const RegResult r = Load(root, tree); r != kRegOk) return r;
  if (FindNode(tree->FindRoot(RootName(root)), parts) == nullptr) {
    // A missing HKCU root is just an empty store: it exists as soon as anything is asked of it.
    if (!(parts.empty() && root == RegRoot::CurrentUser)) {
      return Fail(kRegNotFound, "no such key");
    }
  }
  if (access == RegAccess::Write && root != RegRoot::CurrentUser) {
    return Fail(kRegAccessDenied, "the machine-wide registry is read-only");
  }
  impl_ = std::make_unique<Impl>(Impl{root, access, std::move(parts)});
  return kRegOk;
}

RegResult RegistryKey::Create(RegRoot root, std::string_view path) {
  Close();
  std::vector<std::string> parts;
  if (const RegResult r = SplitPath(path, parts); r != kRegOk) return r;
  if (root != RegRoot::CurrentUser) {
    return Fail(kRegAccessDenied, "the machine-wide registry is read-only");
  }
  std::lock_guard guard(gMutex);
  const RegResult r = Mutate([&](Tree& tree) {
    MakeNode(tree.Root(kCurrentUser), parts);
    return kRegOk;
  });
  if (r != kRegOk) return r;
  impl_ = std::make_unique<Impl>(Impl{root, RegAccess::Write, std::move(parts)});
  return kRegOk;
}

void RegistryKey::Close() { impl_.reset(); }

bool RegistryKey::IsOpen() const { return impl_ != nullptr; }

namespace {

// Finds the value under the lock; the caller copies what it needs before the lock goes.
template <typename Use>
RegResult WithValue(RegRoot root, const std::vector<std::string>& path, std::string_view name,
                    Use&& use) {
  std::lock_guard guard(gMutex);
  const Tree* tree = nullptr;
  if (const RegResult r = Load(root, tree); r != kRegOk) return r;
  const Node* node = FindNode(tree->FindRoot(RootName(root)), path);
  if (node == nullptr) return Fail(kRegNotFound, "the key no longer exists");
  const auto it = node->values.find(Fold(name));
  if (it == node->values.end()) return Fail(kRegNotFound, "no such value");
  return use(it->second.data);
}

}  // namespace

namespace {

RegResult SetCommon(RegRoot root, RegAccess access, const std::vector<std::string>& path,
                    RegValue value) {
  if (access != RegAccess::Write || root != RegRoot::CurrentUser) {
    return Fail(kRegAccessDenied, "the key is open for reading only");
  }
  if (value.name.size() > kRegMaxValueNameBytes) {
    return Fail(kRegInvalidParameter, "value name longer than 16383 bytes");
  }
  std::lock_guard guard(gMutex);
  return Mutate([&](Tree& tree) {
    // A key removed behind our back (or a damaged file set aside) is made again: the caller
    // holds it open for writing and expects the value to land.
    SetValue(tree, MakeNode(tree.Root(kCurrentUser), path), std::move(value));
    return kRegOk;
  });
}

}  // namespace

RegResult RegistryKey::QueryString(std::string_view name, std::string& out) const {
  if (!impl_) return Fail(kRegInvalidHandle, "the key is not open");
  return WithValue(impl_->root, impl_->path, name, [&](const RegValue& v) {
    if (v.type != RegType::String) return Fail(kRegUnsupportedType, "the value is not a string");
    out = v.text;
    return kRegOk;
  });
}

RegResult RegistryKey::QueryDword(std::string_view name, std::uint32_t& out) const {
  if (!impl_) return Fail(kRegInvalidHandle, "the key is not open");
  return WithValue(impl_->root, impl_->path, name, [&](const RegValue& v) {
    if (v.type != RegType::Dword) return Fail(kRegUnsupportedType, "the value is not a DWORD");
    out = v.dword;
    return kRegOk;
  });
}

RegResult RegistryKey::SetString(std::string_view name, std::string_view value) {
  if (!impl_) return Fail(kRegInvalidHandle, "the key is not open");
  if (value.size() > kRegMaxValueBytes)
    return Fail(kRegInvalidParameter, "value larger than 1 MiB");
  RegValue v;
  v.name = std::string(name);
  v.type = RegType::String;
  v.text = std::string(value);
  return SetCommon(impl_->root, impl_->access, impl_->path, std::move(v));
}

RegResult RegistryKey::SetDword(std::string_view name, std::uint32_t value) {
  if (!impl_) return Fail(kRegInvalidHandle, "the key is not open");
  RegValue v;
  v.name = std::string(name);
  v.type = RegType::Dword;
  v.dword = value;
  return SetCommon(impl_->root, impl_->access, impl_->path, std::move(v));
}

RegResult RegistryKey::DeleteValue(std::string_view name) {
  if (!impl_) return Fail(kRegInvalidHandle, "the key is not open");
  if (impl_->access != RegAccess::Write || impl_->root != RegRoot::CurrentUser) {
    return Fail(kRegAccessDenied, "the key is open for reading only");
  }
  std::lock_guard guard(gMutex);
  return Mutate([&](Tree& tree) {
    Node* node = const_cast<Node*>(FindNode(&tree.Root(kCurrentUser), impl_->path));
    if (node == nullptr || node->values.erase(Fold(name)) == 0) {
      return Fail(kRegNotFound, "no such value");
    }
    return kRegOk;
  });
}

RegResult RegistryKey::EnumSubkeys(std::vector<std::string>& names) const {
  if (!impl_) return Fail(kRegInvalidHandle, "the key is not open");
  std::lock_guard guard(gMutex);
  const Tree* tree = nullptr;
  if (const RegResult r = Load(impl_->root, tree); r != kRegOk) return r;
  const Node* node = FindNode(tree->FindRoot(RootName(impl_->root)), impl_->path);
  names.clear();
  if (node == nullptr) {
    if (impl_->path.empty()) return kRegOk;
    return Fail(kRegNotFound, "the key no longer exists");
  }
  for (const auto& [folded, child] : node->children) names.push_back(child->name);
  return kRegOk;
}

RegResult RegistryKey::EnumValues(std::vector<RegValue>& values) const {
  if (!impl_) return Fail(kRegInvalidHandle, "the key is not open");
  std::lock_guard guard(gMutex);
  const Tree* tree = nullptr;
  if (const RegResult r = Load(impl_->root, tree); r != kRegOk) return r;
  const Node* node = FindNode(tree->FindRoot(RootName(impl_->root)), impl_->path);
  values.clear();
  if (node == nullptr) {
    if (impl_->path.empty()) return kRegOk;
    return Fail(kRegNotFound, "the key no longer exists");
  }
  std::vector<const Value*> ordered;
  for (const auto& [folded, value] : node->values) ordered.push_back(&value);
  std::sort(ordered.begin(), ordered.end(),
            [](const Value* a, const Value* b) { return a->order < b->order; });
  for (const Value* v : ordered) values.push_back(v->data);
  return kRegOk;
}

}  // namespace platform
