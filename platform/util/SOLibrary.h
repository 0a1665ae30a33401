#pragma once
// Shared libraries opened on first use rather than linked, so that a program does not map them
// (and all they bring) before main() for a feature it may never use.

#include <dlfcn.h>

#include <cstdio>

namespace SOLibrary {

// Opens `file` as the dynamic loader finds it and keeps its symbols to itself; null, with the
// reason on stderr after `label`, when it cannot be opened.
inline void* Open(const char* file, const char* label) {
  void* library = dlopen(file, RTLD_NOW | RTLD_LOCAL);
  if (!library) std::fprintf(stderr, "%s: %s\n", label, dlerror());
  return library;
}

// Looks `name` up in `library` into `function`; false, with the name on stderr, when missing.
template <typename F>
bool Resolve(void* library, const char* label, const char* name, F& function) {
  function = reinterpret_cast<F>(dlsym(library, name));
  if (!function) std::fprintf(stderr, "%s: %s is missing\n", label, name);
  return function != nullptr;
}

}  // namespace SOLibrary
