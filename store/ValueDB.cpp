#include "ValueDB.h"

#include <filesystem>

void ValueDB::OnCreate(CppSQLite3DB& db) {
  db.Execute("CREATE TABLE IF NOT EXISTS tb_valuse (name TEXT PRIMARY KEY NOT NULL,value TEXT);");
}

bool ValueDB::GetValue(const std::string& path, const char* name, std::string& value) {
  value.clear();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return true;
  std::lock_guard<std::mutex> hold(lock_);
  if (!Open(path) || !name) return false;
  SqlText sql;
  CppSQLite3Query q = db_.Query(sql.Format("SELECT * FROM tb_valuse WHERE name = %Q;", name));
  if (q.Eof()) return false;
  const char* text = q.FieldText(q.FieldIndex("value"));
  value = text ? text : "";
  return true;
}

bool ValueDB::SetValue(const std::string& path, const char* name, const char* value) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!Open(path) || !name || !value) return false;
  SqlText sql;
  bool exists = !db_.Query(sql.Format("SELECT * FROM tb_valuse WHERE name = %Q;", name)).Eof();
  if (exists) {
    db_.Execute(sql.Format("UPDATE tb_valuse SET value = %Q WHERE name = %Q;", value, name));
  } else {
    db_.Execute(sql.Format("INSERT OR IGNORE INTO tb_valuse (name, value) VALUES (%Q, %Q);", name, value));
  }
  return true;
}
