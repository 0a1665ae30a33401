#include "StoreLayout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string_view>

namespace fs = std::filesystem;

namespace StoreLayout {

namespace {

// The parts with '/' between each two, in one allocation (lists build many paths).
std::string Joined(std::initializer_list<std::string_view> parts) {
  std::string path;
  size_t size = parts.size();
  for (std::string_view part : parts) size += part.size();
  path.reserve(size);
  for (const std::string_view& part : parts) {
    if (&part != parts.begin()) path += '/';
    path += part;
  }
  return path;
}

}  // namespace

std::string Join(const std::string& folder, const std::string& name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  path += folder;
  if (!folder.empty() && folder.back() != '/') path += '/';
  path += name;
  return path;
}

std::string ParentOf(const std::string& path) {
  size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return std::string();
  size_t slash = path.rfind('/', end);
  if (slash == std::string::npos) return std::string();
  size_t parentEnd = path.find_last_not_of('/', slash);
  return parentEnd == std::string::npos ? std::string("/") : path.substr(0, parentEnd + 1);
}

bool IsSafeUID(const std::string& uid) {
  if (uid.empty() || uid.size() > 64) return false;
  bool digit = false;
  for (char c : uid) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c != '.') {
      return false;
    }
  }
  return digit;
}

std::string TrimUID(const std::string& uid) {
  size_t end = uid.find_last_not_of(std::string(" \0", 2));
  return end == std::string::npos ? std::string() : uid.substr(0, end + 1);
}

namespace {

std::string Key(const char* format, int number, const std::string& uid) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, format, number);
  return buffer + uid;
}

}  // namespace

std::string SeriesKey(int number, const std::string& seriesUID) { return Key("%08d_", number, seriesUID); }

std::string InstanceKey(int number, const std::string& sopInstanceUID) { return Key("%06d_", number, sopInstanceUID); }

std::string StudyId(const std::string& patientID, const std::string& studyUID) {
  return patientID.empty() ? studyUID : patientID + "_" + studyUID;
}

std::string GetInstancePath(const InstanceInfo& info) { return Joined({info.studyUID, info.seriesKey, info.instanceKey}); }

std::string GetInstancePath(const InstanceRecord& record) { return Joined({record.studyUID, record.series_id, record.id}); }

std::string GetStudyPath(const PatientRecord& record) { return record.studyUID; }

std::string GetStudyPath(const StudyRecord& record) { return record.studyUID; }

std::string GetSeriesPath(const SeriesRecord& record) { return Joined({record.studyUID, record.id}); }

bool IsDeletableInStore(const std::string& storeFolder, const std::string& path) {
  std::error_code ec;
  fs::path store = fs::weakly_canonical(fs::absolute(storeFolder, ec), ec);
  if (ec || store.empty()) return false;
  // The last component itself is not followed: deleting a symlink removes the link only.
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  fs::path target = fs::absolute(trimmed, ec);
  if (ec) return false;
  fs::path parent = fs::weakly_canonical(target.parent_path(), ec);
  if (ec) return false;
  fs::path name = target.lexically_normal().filename();
  if (name.empty() || name == "." || name == "..") return false;
  fs::path resolved = parent / name;
  auto rel = resolved.lexically_relative(store);
  if (rel.empty() || rel == ".") return false;
  auto first = *rel.begin();
  return first != ".." && first != "DB";
}

std::string UniqueName() {
  static std::atomic<unsigned> counter{0};
  return std::to_string(::getpid()) + "_" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "_" +
         std::to_string(counter.fetch_add(1));
}

bool CreatePrivateFolders(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  fs::path partial;
  for (const fs::path& part : fs::path(path)) {
    partial /= part;
    if (part.empty() || part == "/" || fs::is_directory(partial, ec)) continue;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return fs::is_directory(path, ec);
}

bool MakePrivate(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  return !(st.st_mode & 077) || ::chmod(path.c_str(), st.st_mode & 07700) == 0;
}

bool PrepareDatabaseFile(const std::string& path) {
  CreatePrivateFolders(fs::path(path).parent_path().string());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd >= 0) ::close(fd);
  return MakePrivate(path);
}

}  // namespace StoreLayout
