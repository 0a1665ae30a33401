#pragma once

#include <cstdint>
#include <string>

// One row of the archive of stores.
struct StoreRecord {
  int32_t id = 0;
  std::string status;
  std::string storeName;
  int64_t updatedTime = 0;  // seconds since 1970 (UTC)
  int64_t createdTime = 0;
};
