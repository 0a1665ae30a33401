#include "Guarded.h"

#include <cstdio>

void LogStoreError(const char* text) { std::fprintf(stderr, "Kelvast: %s\n", text ? text : ""); }
