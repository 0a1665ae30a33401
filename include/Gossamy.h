#pragma once

#include <string>

class IArchiveDB;
class IKelvast;
struct WebError;

// Process-wide services: the configuration folder, values under the user's registry key
// "Software\Orvanta", the store root, the archive of stores and its store "LOCAL", and the
// texts of the web service's error codes. Every value is built once on first use.
class Gossamy {
 public:
  Gossamy() = delete;

  // $PROGRAMDATA/Orvanta/, else $XDG_DATA_HOME/Orvanta/ (~/.local/share/Orvanta/); created on
  // the first call; ends in '/'. Valid for the life of the process.
  static const char* GetConfigPath();
  static bool ReadHKCU(const char* name, std::string& value);
  static bool ReadHKCU(const wchar_t* name, std::wstring& value);
  static bool WriteHKCU(const char* name, const char* value);
  static bool WriteHKCU(const wchar_t* name, const wchar_t* value);
  // The value StorePath, else ~/OrvantaImages (then written back). Valid until SetStorePath.
  static const char* GetStorePath();
  // False, with nothing changed, unless the folder exists. An archive already built keeps its
  // old root.
  static bool SetStorePath(const char* path);
  static IArchiveDB* ArchiveDB();
  // Releases the archive and every store in it; a later LocalDB or ArchiveDB builds anew.
  static void ReleaseArchiveDB();
  static IKelvast* LocalDB();
  // The text of a web-service error code, or the code itself.
  static std::wstring GetString(const char* code);
  static std::wstring GetString(const WebError& error);
};
