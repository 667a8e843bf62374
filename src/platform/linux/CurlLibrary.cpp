#include "CurlLibrary.h"

#include <dlfcn.h>

namespace platform {

namespace {

template <typename Fn>
bool Resolve(void* module, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(::dlsym(module, name));
  return fn != nullptr;
}

const CurlLibrary* Load() {
  // The run-time name of every libcurl with this interface (soname 4 since 2006).
  void* module = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) return nullptr;
  static CurlLibrary api;
  const bool ok = Resolve(module, "curl_global_init", api.global_init) &&
                  Resolve(module, "curl_easy_init", api.easy_init) &&
                  Resolve(module, "curl_easy_cleanup", api.easy_cleanup) &&
                  Resolve(module, "curl_easy_setopt", api.easy_setopt) &&
                  Resolve(module, "curl_easy_perform", api.easy_perform) &&
                  Resolve(module, "curl_easy_getinfo", api.easy_getinfo) &&
                  Resolve(module, "curl_easy_strerror", api.easy_strerror) &&
                  Resolve(module, "curl_slist_append", api.slist_append) &&
                  Resolve(module, "curl_slist_free_all", api.slist_free_all) &&
                  Resolve(module, "curl_url", api.url) &&
                  Resolve(module, "curl_url_cleanup", api.url_cleanup) &&
                  Resolve(module, "curl_url_set", api.url_set) &&
                  Resolve(module, "curl_url_get", api.url_get) &&
                  Resolve(module, "curl_free", api.free);
  if (!ok) {
    ::dlclose(module);
    return nullptr;
  }
  // Once per process, before any other call; the library stays loaded to the end, as its
  // global state must.
  api.global_init(CURL_GLOBAL_DEFAULT);
  return &api;
}

}  // namespace

const CurlLibrary* Curl() {
  static const CurlLibrary* const api = Load();
  return api;
}

}  // namespace platform
