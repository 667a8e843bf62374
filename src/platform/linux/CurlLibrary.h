#pragma once
// libcurl, loaded the first time an address is parsed or a request is made.
//
// Most runs of the program never go on line (`korvane --report`, `--diagnose`, the benchmarks),
// and linking libcurl maps it with some thirty libraries behind it (TLS, Kerberos, LDAP, SSH,
// ...): several megabytes of resident memory and milliseconds of relocation before main().
#include <curl/curl.h>

namespace platform {

struct CurlLibrary {
  decltype(&::curl_global_init) global_init;
  decltype(&::curl_easy_init) easy_init;
  decltype(&::curl_easy_cleanup) easy_cleanup;
  decltype(&::curl_easy_setopt) easy_setopt;
  decltype(&::curl_easy_perform) easy_perform;
  decltype(&::curl_easy_getinfo) easy_getinfo;
  decltype(&::curl_easy_strerror) easy_strerror;
  decltype(&::curl_slist_append) slist_append;
  decltype(&::curl_slist_free_all) slist_free_all;
  decltype(&::curl_url) url;
  decltype(&::curl_url_cleanup) url_cleanup;
  decltype(&::curl_url_set) url_set;
  decltype(&::curl_url_get) url_get;
  decltype(&::curl_free) free;
};

// The library, loaded and initialised once (thread-safe); nullptr when it is not installed or
// lacks an entry point, and then no request can be made.
const CurlLibrary* Curl();

}  // namespace platform
