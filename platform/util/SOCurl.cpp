#include "SOCurl.h"

#include <dlfcn.h>

#include <cstdio>

namespace {

template <typename F>
bool Resolve(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(dlsym(library, name));
  if (!function) std::fprintf(stderr, "libcurl: %s is missing\n", name);
  return function != nullptr;
}

const SOCurlApi* Open() {
  void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    std::fprintf(stderr, "libcurl: %s\n", dlerror());
    return nullptr;
  }
  static SOCurlApi api;
  CURLcode (*globalInit)(long) = nullptr;
  const bool complete = Resolve(library, "curl_global_init", globalInit) &&
                        Resolve(library, "curl_easy_init", api.easy_init) &&
                        Resolve(library, "curl_easy_cleanup", api.easy_cleanup) &&
                        Resolve(library, "curl_easy_reset", api.easy_reset) &&
                        Resolve(library, "curl_easy_setopt", api.easy_setopt) &&
                        Resolve(library, "curl_easy_getinfo", api.easy_getinfo) &&
                        Resolve(library, "curl_easy_perform", api.easy_perform) &&
                        Resolve(library, "curl_easy_strerror", api.easy_strerror) &&
                        Resolve(library, "curl_slist_append", api.slist_append) &&
                        Resolve(library, "curl_slist_free_all", api.slist_free_all);
  if (!complete) {
    dlclose(library);
    return nullptr;
  }
  if (globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    std::fprintf(stderr, "libcurl: global initialisation failed\n");
    return nullptr;
  }
  return &api;
}

}  // namespace

const SOCurlApi* SOCurl() {
  static const SOCurlApi* const api = Open();  // a static's initialisation runs once, thread-safe
  return api;
}
