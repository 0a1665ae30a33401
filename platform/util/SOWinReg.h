#pragma once

#include <string>

// String values under HKEY_CURRENT_USER, kept in one per-user file (RegistryPath). Every write
// rewrites the file atomically under an exclusive lock on a lock file beside it, so writers in
// this process and in other processes never lose each other's values.
class SOWinReg {
 public:
  // The value name under key. Clears value first; false when it is absent or unreadable.
  static bool ReadHKCU(const char* key, const char* name, std::string& value);
  static bool ReadHKCU(const wchar_t* key, const wchar_t* name, std::wstring& value);
  // Stores value under key, creating the key; false when the file cannot be written.
  static bool WriteHKCU(const char* key, const char* name, const char* value);
  static bool WriteHKCU(const wchar_t* key, const wchar_t* name, const wchar_t* value);

  // $XDG_CONFIG_HOME/Orvanta/registry.xml, by default ~/.config/Orvanta/registry.xml.
  static std::string RegistryPath();
};
