#include "SOUtil.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <system_error>
#include <utility>

namespace {

namespace fs = std::filesystem;

// Appends the files of one folder; sub-folders are entered at their place in name order.
// visited holds (device, inode) of the folders on the way, so bind-mount cycles end too.
bool ListFolder(const std::string& folder, bool recursive, std::set<std::pair<dev_t, ino_t>>& visited,
                std::vector<std::string>& files) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  struct stat self {};
  if (fstat(dirfd(dir), &self) == 0 && !visited.insert({self.st_dev, self.st_ino}).second) {
    closedir(dir);
    return true;
  }
  std::vector<std::pair<std::string, bool>> entries;  // name, is folder
  while (dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    struct stat info {};
    // The link itself decides whether it is a folder (never entered), the target whether a
    // link counts as a file.
    if (fstatat(dirfd(dir), name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      entries.emplace_back(name, true);
    } else if (S_ISREG(info.st_mode)) {
      entries.emplace_back(name, false);
    } else if (S_ISLNK(info.st_mode) && fstatat(dirfd(dir), name, &info, 0) == 0 && S_ISREG(info.st_mode)) {
      entries.emplace_back(name, false);
    }
  }
  closedir(dir);
  std::sort(entries.begin(), entries.end());
  const std::string prefix = folder.back() == '/' ? folder : folder + "/";
  for (const auto& [name, isFolder] : entries) {
    if (!isFolder) {
      files.push_back(prefix + name);
    } else if (recursive) {
      // An unreadable sub-folder is skipped; only the root decides failure.
      ListFolder(prefix + name, true, visited, files);
    }
  }
  return true;
}

constexpr char32_t kReplacement = 0xFFFD;

// Decodes UTF-8; each maximal invalid subpart becomes U+FFFD.
std::u32string DecodeUtf8(const char* text) {
  std::u32string out;
  if (!text) return out;
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (s[i]) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    int extra = 0;
    char32_t cp = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      cp = c & 0x0F;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      cp = c & 0x07;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    ++i;
    bool ok = true;
    for (int k = 0; k < extra; ++k) {
      const unsigned char b = s[i];
      if (b < lo || b > hi) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (b & 0x3F);
      lo = 0x80;
      hi = 0xBF;
      ++i;
    }
    out.push_back(ok ? cp : kReplacement);
  }
  return out;
}

void EncodeUtf8(char32_t cp, std::string& out) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacement;
  if (cp < 0x80) {
    out.push_back(char(cp));
  } else if (cp < 0x800) {
    out.push_back(char(0xC0 | (cp >> 6)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(char(0xE0 | (cp >> 12)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (cp >> 18)));
    out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  }
}

// Valid UTF-8 comes back byte for byte; malformed sequences become U+FFFD.
std::string CleanUtf8(const char* text) {
  std::string out;
  for (char32_t cp : DecodeUtf8(text)) EncodeUtf8(cp, out);
  return out;
}

}  // namespace

bool SOUtil::FindFiles(const char* folder, std::vector<std::string>& files, bool recursive) {
  files.clear();
  if (!folder || !*folder) return false;
  std::set<std::pair<dev_t, ino_t>> visited;
  return ListFolder(folder, recursive, visited, files);
}

bool SOUtil::FindFiles(const char* folder, SOArray<SOString>& files, bool recursive) {
  std::vector<std::string> found;
  const bool ok = FindFiles(folder, found, recursive);
  files.Clear();
  for (auto& path : found) files.Add(SOString(std::move(path)));
  return ok;
}

int SOUtil::GetFileCount(const char* folder) {
  std::vector<std::string> files;
  return FindFiles(folder, files, false) ? static_cast<int>(files.size()) : 0;
}

bool SOUtil::CreateDir(const char* path) {
  if (!path || !*path) return false;
  std::error_code ec;
  fs::create_directories(path, ec);
  return DirExist(path);
}

bool SOUtil::CreateDirByFile(const char* filePath) {
  if (!filePath || !*filePath) return false;
  const fs::path parent = fs::path(filePath).parent_path();
  if (parent.empty()) return true;
  return CreateDir(parent.c_str());
}

bool SOUtil::DirExist(const char* path) {
  struct stat info {};
  return path && stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

bool SOUtil::FileExist(const char* path) {
  struct stat info {};
  return path && stat(path, &info) == 0 && !S_ISDIR(info.st_mode);
}

bool SOUtil::DeleteDir(const char* path) {
  if (!path || !*path) return false;
  struct stat info {};
  if (lstat(path, &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  std::error_code ec;
  fs::remove_all(path, ec);
  return !ec;
}

bool SOUtil::DeleteFileW(const char* path) {
  struct stat info {};
  if (!path || lstat(path, &info) != 0 || S_ISDIR(info.st_mode)) return false;
  return unlink(path) == 0;
}

std::string SOUtil::GetModulePath() {
  static const std::string modulePath = [] {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    std::string folder = ec ? std::string(".") : exe.parent_path().string();
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
  }();
  return modulePath;
}

std::string SOUtil::C2UTF8Str(const char* text) {
  return CleanUtf8(text);
}

std::string SOUtil::UTF82CStr(const char* text) {
  return CleanUtf8(text);
}

std::wstring SOUtil::C2WStr(const char* text) {
  return UTF82WStr(text);
}

std::wstring SOUtil::UTF82WStr(const char* text) {
  static_assert(sizeof(wchar_t) == 4, "wide text is UTF-32 here");
  const std::u32string decoded = DecodeUtf8(text);
  return std::wstring(decoded.begin(), decoded.end());
}

std::string SOUtil::W2UTF8Str(const wchar_t* text) {
  std::string out;
  if (!text) return out;
  for (; *text; ++text) EncodeUtf8(static_cast<char32_t>(*text), out);
  return out;
}

std::string SOUtil::Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string out = FormatV(fmt, args);
  va_end(args);
  return out;
}

std::string SOUtil::FormatV(const char* fmt, va_list args) {
  if (!fmt) return {};
  va_list copy;
  va_copy(copy, args);
  const int size = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  if (size <= 0) return {};
  std::string out(size_t(size) + 1, '\0');
  std::vsnprintf(out.data(), out.size(), fmt, args);
  out.resize(size_t(size));
  return out;
}

SOArray<SOString> SOUtil::Split(const char* text, char separator) {
  SOArray<SOString> parts;
  if (!text || !*text) return parts;
  const char* start = text;
  for (const char* p = text;; ++p) {
    if (*p == separator || *p == '\0') {
      parts.Add(SOString(std::string(start, p)));
      if (*p == '\0') break;
      start = p + 1;
    }
  }
  return parts;
}

std::string SOUtil::TrimBegin(const std::string& text, char c) {
  const size_t first = text.find_first_not_of(c);
  return first == std::string::npos ? std::string() : text.substr(first);
}

std::string SOUtil::Remove(const std::string& text, char c) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text)
    if (ch != c) out.push_back(ch);
  return out;
}

std::string SOUtil::GenerateUID() {
  std::random_device device;
  unsigned __int128 value = 0;
  for (int i = 0; i < 4; ++i) value = (value << 32) | device();
  // 2.25 takes the decimal form of a 128-bit number; a leading zero is not allowed.
  if (value == 0) value = 1;
  std::string digits;
  while (value) {
    digits.push_back(char('0' + int(value % 10)));
    value /= 10;
  }
  std::reverse(digits.begin(), digits.end());
  return "2.25." + digits;
}
