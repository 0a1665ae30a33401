#pragma once

#include <curl/curl.h>

// libcurl, opened on the first transfer rather than linked: it brings two dozen libraries
// (TLS, Kerberos, LDAP, ...) that a program would otherwise map before main() even when it never
// goes on the network. Members are named apart from libcurl's own functions so that no macro of
// curl.h can stand in for them.
struct SOCurlApi {
  CURL* (*easy_init)();
  void (*easy_cleanup)(CURL*);
  void (*easy_reset)(CURL*);
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
  CURLcode (*easy_perform)(CURL*);
  const char* (*easy_strerror)(CURLcode);
  curl_slist* (*slist_append)(curl_slist*, const char*);
  void (*slist_free_all)(curl_slist*);
};

// libcurl opened and globally initialised, once per process and from any thread; null (with
// the reason on stderr, once) when it cannot be opened. It stays mapped until the process ends.
const SOCurlApi* SOCurl();
