#include "SOCurl.h"

#include <cstdio>

#include "SOLibrary.h"

namespace {

const SOCurlApi* Open() {
  void* library = SOLibrary::Open("libcurl.so.4", "libcurl");
  if (!library) return nullptr;
  const auto Resolve = [library](const char* name, auto& function) {
    return SOLibrary::Resolve(library, "libcurl", name, function);
  };
  static SOCurlApi api;
  CURLcode (*globalInit)(long) = nullptr;
  const bool complete = Resolve("curl_global_init", globalInit) &&
                        Resolve("curl_easy_init", api.easy_init) &&
                        Resolve("curl_easy_cleanup", api.easy_cleanup) &&
                        Resolve("curl_easy_reset", api.easy_reset) &&
                        Resolve("curl_easy_setopt", api.easy_setopt) &&
                        Resolve("curl_easy_getinfo", api.easy_getinfo) &&
                        Resolve("curl_easy_perform", api.easy_perform) &&
                        Resolve("curl_easy_strerror", api.easy_strerror) &&
                        Resolve("curl_slist_append", api.slist_append) &&
                        Resolve("curl_slist_free_all", api.slist_free_all);
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
