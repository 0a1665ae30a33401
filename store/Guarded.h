#pragma once

#include <exception>

#include "CppSQLite3.h"

// Writes one line "Kelvast: <text>" to standard error.
void LogStoreError(const char* text);

// Nothing may throw across the store's interface: database errors and allocation failures
// become the operation's failure result, and their text goes to the log.
template <typename Result, typename Body>
Result Guarded(Result failure, Body&& body) {
  try {
    return body();
  } catch (const CppSQLite3Exception& e) {
    LogStoreError(e.ErrorMessage());
  } catch (const std::exception& e) {
    LogStoreError(e.what());
  }
  return failure;
}
