#include "platform/Http.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "CurlLibrary.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace platform {
namespace {

constexpr long kMaxRedirects = 10;
// Response headers kept per answer; a hostile server cannot grow the list without end.
constexpr std::size_t kMaxHeaders = 256;

struct EasyDeleter {
  void operator()(CURL* h) const { Curl()->easy_cleanup(h); }
};
struct UrlDeleter {
  void operator()(CURLU* h) const { Curl()->url_cleanup(h); }
};
struct ListDeleter {
  void operator()(curl_slist* l) const { Curl()->slist_free_all(l); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;
using UrlPtr = std::unique_ptr<CURLU, UrlDeleter>;
using ListPtr = std::unique_ptr<curl_slist, ListDeleter>;

// Parses a URL that must name a scheme and a host. `httpOnly` limits the schemes to the two
// this program talks; anything else (file:, ftp:, ...) would let a downloaded address reach
// local files or other services.
UrlPtr ParseUrl(std::string_view url, bool httpOnly) {
  if (Curl() == nullptr) return nullptr;
  if (url.empty() || url.find('\0') != std::string_view::npos) return nullptr;
  // curl reads "http:///path" as host "path"; an address with an empty authority has no host.
  const std::size_t authority = url.find("://");
  if (authority == std::string_view::npos || authority + 3 >= url.size() ||
      url[authority + 3] == '/' || url[authority + 3] == '\\')
    return nullptr;
  for (char c : url)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return nullptr;
  // Spaces in the path or query are sent escaped, as the system's URL functions did; a space
  // in the host stays an error.
  std::string text;
  const std::size_t pathStart = url.find_first_of("/?#", authority + 3);
  for (std::size_t i = 0; i < url.size(); ++i) {
    if (url[i] == ' ' && pathStart != std::string_view::npos && i >= pathStart) text += "%20";
    else text.push_back(url[i]);
  }
  UrlPtr h(Curl()->url());
  if (!h) return nullptr;
  const unsigned flags = httpOnly ? 0u : static_cast<unsigned>(CURLU_NON_SUPPORT_SCHEME);
  if (Curl()->url_set(h.get(), CURLUPART_URL, text.c_str(), flags) != CURLUE_OK) return nullptr;
  char* scheme = nullptr;
  if (Curl()->url_get(h.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK || scheme == nullptr)
    return nullptr;
  const bool schemeOk = !httpOnly || EqualsIgnoreCase(scheme, "http") || EqualsIgnoreCase(scheme, "https");
  Curl()->free(scheme);
  if (!schemeOk) return nullptr;
  char* host = nullptr;
  if (Curl()->url_get(h.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK || host == nullptr) return nullptr;
  const bool hostOk = host[0] != '\0';
  Curl()->free(host);
  if (!hostOk) return nullptr;
  return h;
}

bool HasHeader(const std::vector<std::string>& headers, std::string_view name) {
  for (const std::string& line : headers) {
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos && EqualsIgnoreCase(Trim(std::string_view(line).substr(0, colon)), name))
      return true;
  }
  return false;
}

// Where the body goes: memory (capped) or a file (capped as well, so a runaway answer cannot
// fill the disk).
struct Transfer {
  HttpResponse* response = nullptr;
  std::size_t maxBody = kHttpMaxBody;
  int fd = -1;
  std::size_t written = 0;
  bool writeFailed = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const std::size_t n = size * count;
  const std::size_t room = t->maxBody > t->written ? t->maxBody - t->written : 0;
  const std::size_t take = n < room ? n : room;
  if (t->fd >= 0) {
    std::size_t done = 0;
    while (done < take) {
      const ssize_t w = ::write(t->fd, data + done, take - done);
      if (w < 0) {
        if (errno == EINTR) continue;
        t->writeFailed = true;
        return 0;
      }
      done += static_cast<std::size_t>(w);
    }
  } else {
    t->response->body.append(data, take);
  }
  t->written += take;
  if (take < n) {
    t->response->truncated = true;
    return 0;  // stops the transfer: nothing more is read from the network
  }
  return n;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const std::size_t n = size * count;
  std::string_view line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  auto& headers = t->response->headers;
  if (line.size() >= 5 && line.substr(0, 5) == "HTTP/") {
    headers.clear();  // a new answer (after a redirect or a 100 Continue): keep only the last
    return n;
  }
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos || headers.size() >= kMaxHeaders) return n;
  headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
  return n;
}

struct Request {
  std::string_view url;
  const HttpOptions* options = nullptr;
  bool post = false;
  std::string_view form;
  int fd = -1;  // >= 0: body goes to this file
};

HttpResponse Perform(const Request& req) {
  HttpResponse response;
  if (Curl() == nullptr) {
    response.status = kHttpNotSent;
    response.error = "libcurl is not installed";
    return response;
  }
  UrlPtr url = ParseUrl(req.url, true);
  if (!url) {
    response.status = kHttpBadUrl;
    response.error = "URL cannot be parsed";
    return response;
  }
  EasyPtr easy(Curl()->easy_init());
  if (!easy) {
    response.status = kHttpNotSent;
    response.error = "no HTTP session";
    return response;
  }
  const HttpOptions& o = *req.options;
  CURL* h = easy.get();

  Transfer transfer;
  transfer.response = &response;
  transfer.maxBody = o.maxBody;
  transfer.fd = req.fd;

  std::vector<std::string> lines = o.headers;
  if (o.noCache) {
    if (!HasHeader(lines, "Pragma")) lines.emplace_back("Pragma: no-cache");
    if (!HasHeader(lines, "Cache-Control")) lines.emplace_back("Cache-Control: no-cache");
  }
  if (req.post) {
    if (!HasHeader(lines, "Content-Type")) lines.emplace_back("Content-Type: application/x-www-form-urlencoded");
    if (!HasHeader(lines, "Expect")) lines.emplace_back("Expect:");  // no 100-continue round trip
  }
  ListPtr list;
  for (const std::string& line : lines) {
    if (line.find_first_of("\r\n") != std::string::npos) continue;  // no header injection
    curl_slist* next = Curl()->slist_append(list.get(), line.c_str());
    if (next == nullptr) break;
    (void)list.release();
    list.reset(next);
  }

  char errorText[CURL_ERROR_SIZE] = {};
  Curl()->easy_setopt(h, CURLOPT_CURLU, url.get());
  Curl()->easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  Curl()->easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  Curl()->easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  Curl()->easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
  Curl()->easy_setopt(h, CURLOPT_NOSIGNAL, 1L);  // worker threads: no SIGALRM for DNS time-outs
  Curl()->easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
  if (!o.agent.empty()) Curl()->easy_setopt(h, CURLOPT_USERAGENT, o.agent.c_str());
  if (list) Curl()->easy_setopt(h, CURLOPT_HTTPHEADER, list.get());
  if (o.connectTimeoutMs > 0) Curl()->easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, o.connectTimeoutMs);
  if (o.receiveTimeoutMs > 0) {
    // The whole exchange may take the connect time plus the receive time, and no longer.
    const long connect = o.connectTimeoutMs > 0 ? o.connectTimeoutMs : 0;
    Curl()->easy_setopt(h, CURLOPT_TIMEOUT_MS, connect + o.receiveTimeoutMs);
  }
  Curl()->easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
  Curl()->easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
  Curl()->easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
  Curl()->easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
  if (req.post) {
    Curl()->easy_setopt(h, CURLOPT_POST, 1L);
    Curl()->easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(req.form.size()));
    // Never a null pointer: curl would then read the body from standard input.
    Curl()->easy_setopt(h, CURLOPT_POSTFIELDS, req.form.data() != nullptr ? req.form.data() : "");
  } else {
    Curl()->easy_setopt(h, CURLOPT_HTTPGET, 1L);
  }
  // Proxies come from the environment (http_proxy, https_proxy, no_proxy) as curl reads them.

  const CURLcode rc = Curl()->easy_perform(h);
  long code = 0;
  Curl()->easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
  response.status = code > 0 ? static_cast<std::uint32_t>(code) : 0;

  const bool cutByUs = rc == CURLE_WRITE_ERROR && response.truncated && !transfer.writeFailed;
  if (rc != CURLE_OK && !cutByUs) {
    response.error = errorText[0] != '\0' ? errorText : Curl()->easy_strerror(rc);
    if (transfer.writeFailed) response.error = "cannot write the downloaded file";
    // No answer at all: the request never got through (DNS, refused, time-out, dropped).
    if (code <= 0) response.status = kHttpNotSent;
  }
  return response;
}

// 64-bit FNV-1a: a stable short name for a URL's cached copy.
std::uint64_t HashUrl(std::string_view url) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : url) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  return h;
}

std::string CacheFolder() { return CacheDirectory() + "urlcache/"; }

std::string CacheFileFor(std::string_view url) {
  // The last path segment keeps the name recognisable; the hash keeps it unique.
  std::string_view path = url;
  if (const std::size_t q = path.find_first_of("?#"); q != std::string_view::npos) path = path.substr(0, q);
  if (const std::size_t scheme = path.find("://"); scheme != std::string_view::npos)
    path = path.substr(scheme + 3);
  std::string_view last;
  if (const std::size_t slash = path.rfind('/'); slash != std::string_view::npos) last = path.substr(slash + 1);
  std::string name;
  for (char c : last) {
    if (name.size() >= 64) break;
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '-' || c == '_';
    name.push_back(keep ? c : '_');
  }
  while (!name.empty() && name.front() == '.') name.erase(name.begin());
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(HashUrl(url)));
  return CacheFolder() + hash + (name.empty() ? "" : "-" + name);
}

}  // namespace

HttpResponse HttpGet(std::string_view url, const HttpOptions& options) {
  Request req;
  req.url = url;
  req.options = &options;
  return Perform(req);
}

HttpResponse HttpPostForm(std::string_view url, std::string_view formBody, const HttpOptions& options) {
  Request req;
  req.url = url;
  req.options = &options;
  req.post = true;
  req.form = formBody;
  return Perform(req);
}

bool HttpDownloadToFile(std::string_view url, std::string_view filePath, const HttpOptions& options,
                        HttpResponse* response) {
  HttpResponse local;
  HttpResponse& out = response != nullptr ? *response : local;
  out = HttpResponse{};
  if (filePath.empty() || filePath.find('\0') != std::string_view::npos) {
    out.error = "no file name";
    return false;
  }
  if (!ParseUrl(url, true)) {
    out.status = kHttpBadUrl;
    out.error = "URL cannot be parsed";
    return false;
  }
  // The answer lands in a temporary file beside the target and replaces it only when it is
  // complete, so a failed download never destroys the previous copy.
  std::string temp = std::string(filePath) + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    out.status = 0;
    out.error = std::string("cannot create ") + temp + ": " + std::strerror(errno);
    return false;
  }
  Request req;
  req.url = url;
  req.options = &options;
  req.fd = fd;
  out = Perform(req);
  bool ok = out.error.empty() && !out.truncated && out.status >= 200 && out.status < 300;
  if (ok && ::fsync(fd) != 0) ok = false;
  if (ok) ::fchmod(fd, 0644);  // mkstemp makes 0600; downloads are ordinary files
  if (::close(fd) != 0) ok = false;
  if (ok) {
    const std::string target(filePath);
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
      out.error = std::string("cannot replace ") + target + ": " + std::strerror(errno);
      ok = false;
    }
  }
  if (!ok) {
    ::unlink(temp.c_str());
    if (out.error.empty()) out.error = out.truncated ? "answer too large" : "download failed";
  }
  return ok;
}

std::string HttpDownloadToCache(std::string_view url, const HttpOptions& options) {
  if (!IsValidUrl(url)) return {};
  const std::string folder = CacheFolder();
  if (!CreateDirectories(folder)) return {};
  const std::string path = CacheFileFor(url);
  if (!HttpDownloadToFile(url, path, options)) return {};
  return path;
}

bool HttpDeleteCacheEntry(std::string_view url) {
  if (url.empty()) return false;
  const std::string path = CacheFileFor(url);
  return ::unlink(path.c_str()) == 0;
}

bool IsValidUrl(std::string_view url) {
  return ParseUrl(url, false) != nullptr;
}

}  // namespace platform
