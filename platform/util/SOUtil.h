#pragma once

#include <cstdarg>
#include <string>
#include <vector>

#include "SOArray.h"
#include "SOString.h"

// Files, folders, text conversion and formatting. Paths are UTF-8 with '/' separators.
// The system code page is UTF-8, so the "C" (code page) and "UTF8" forms are the same text;
// conversions to wide text turn malformed UTF-8 into U+FFFD.
class SOUtil {
 public:
  // Every regular file in folder (and below it when recursive), as folder + "/" + name, in
  // byte order of names, each sub-folder's files at the sub-folder's place. Symbolic links to
  // folders are not followed, so link loops end; links to files count as files. Clears files
  // first; false when folder is null or cannot be listed.
  static bool FindFiles(const char* folder, std::vector<std::string>& files, bool recursive = false);
  static bool FindFiles(const char* folder, SOArray<SOString>& files, bool recursive = false);
  // Regular files directly in folder; 0 when it cannot be listed.
  static int GetFileCount(const char* folder);

  // Creates the folder and every missing folder above it; true when it exists afterwards.
  static bool CreateDir(const char* path);
  // Creates the folders above a file; true when they exist afterwards.
  static bool CreateDirByFile(const char* filePath);
  static bool DirExist(const char* path);
  // True for an existing entry that is not a folder.
  static bool FileExist(const char* path);
  // Deletes a folder with everything below it (links are removed, never followed).
  static bool DeleteDir(const char* path);
  // Deletes one file (not a folder).
  static bool DeleteFileW(const char* path);
  // The folder of the running program, ending in '/'.
  static std::string GetModulePath();

  static std::string C2UTF8Str(const char* text);
  static std::string UTF82CStr(const char* text);
  static std::wstring C2WStr(const char* text);
  static std::wstring UTF82WStr(const char* text);
  static std::string W2UTF8Str(const wchar_t* text);

  static std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
  static std::string FormatV(const char* fmt, va_list args);
  // Fields between separators, empty ones included; an empty or null text has none.
  static SOArray<SOString> Split(const char* text, char separator);
  // text without its leading c characters.
  static std::string TrimBegin(const std::string& text, char c);
  // text without any c character.
  static std::string Remove(const std::string& text, char c);
  // A new unique DICOM-style identifier ("2.25." and a random 128-bit number).
  static std::string GenerateUID();
};
