#pragma once
// HTTP in place of WinInet and the URL moniker, over libcurl.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The two failure values the program's HTTP GET returns instead of a status.
inline constexpr std::uint32_t kHttpBadUrl = 0x80000001;   // URL cannot be parsed
inline constexpr std::uint32_t kHttpNotSent = 0x80000003;  // request could not be sent
// Bodies are cut at this size; the response says so, memory is never exhausted.
inline constexpr std::size_t kHttpMaxBody = 8u << 20;

struct HttpOptions {
  std::string agent = "Tovix2 Session";
  std::vector<std::string> headers;       // "Name: value" lines
  long connectTimeoutMs = 15000;
  long receiveTimeoutMs = 30000;          // whole-transfer limit once connected (<= 0: none)
  bool noCache = true;
  std::size_t maxBody = kHttpMaxBody;
};

struct HttpResponse {
  // HTTP status; kHttpBadUrl; kHttpNotSent when no answer arrived (DNS, refused, time-out or
  // connection dropped before a status line). A failure after the status line keeps the
  // status read so far and sets `error`: a body is complete only when `error` is empty.
  std::uint32_t status = 0;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  bool truncated = false;     // body cut at maxBody
  std::string error;          // libcurl's text when something failed
};

// Only http and https are fetched, also across redirects (at most 10). Proxies come from the
// environment (http_proxy, https_proxy, no_proxy). Safe to call from any thread.
// GET to memory.
HttpResponse HttpGet(std::string_view url, const HttpOptions& options = {});
// POST of an application/x-www-form-urlencoded body.
HttpResponse HttpPostForm(std::string_view url, std::string_view formBody,
                          const HttpOptions& options = {});
// Download to a file (replaced atomically only on success). True on a 2xx answer.
bool HttpDownloadToFile(std::string_view url, std::string_view filePath,
                        const HttpOptions& options = {}, HttpResponse* response = nullptr);
// Download into the program's cache folder (CacheDirectory() + "urlcache/", one file per URL);
// returns the cached file's path or "" on failure.
std::string HttpDownloadToCache(std::string_view url, const HttpOptions& options = {});
// Drop a URL's cached copy (DeleteUrlCacheEntry).
bool HttpDeleteCacheEntry(std::string_view url);
// IsValidURL: a scheme and a host that parse.
bool IsValidUrl(std::string_view url);

}  // namespace platform
