#pragma once
// Developer diagnostics (render and upload timings). They are written to stderr only when the
// environment variable ORVANTA_LOG is "debug", so a user's terminal and a tool's standard output
// stay clean; otherwise each call costs one cached test.

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace SOLog {

inline bool DebugEnabled() {
  static const bool enabled = [] {
    const char* level = std::getenv("ORVANTA_LOG");
    return level && std::strcmp(level, "debug") == 0;
  }();
  return enabled;
}

__attribute__((format(printf, 1, 2))) inline void Debug(const char* format, ...) {
  if (!DebugEnabled()) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
}

}  // namespace SOLog
