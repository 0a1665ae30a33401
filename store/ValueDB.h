#pragma once

#include <mutex>
#include <string>

#include "BasicDB.h"

// DB/values: named text values of the store's users (table tb_valuse).
class ValueDB : public BasicDB {
 public:
  // True with value empty while the file does not exist; false for a name never set.
  bool GetValue(const std::string& path, const char* name, std::string& value);
  bool SetValue(const std::string& path, const char* name, const char* value);

 protected:
  void OnCreate(CppSQLite3DB& db) override;
  void OnUpgrade(CppSQLite3DB&, int, int) override {}

 private:
  std::mutex lock_;  // guards db_ and the open path
};
