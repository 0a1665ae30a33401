#include "SODownloadRules.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "UIDefs.h"

std::wstring FormatDownloadSize(double bytes) {
  const double kilobytes = bytes / 1024;
  DuiLib::CDuiString text;
  if (kilobytes > 1024)
    text.Format(L"%.2f MB", kilobytes / 1024);
  else
    text.Format(L"%d KB", static_cast<int>(kilobytes));
  return text.str();
}

int DownloadPercent(double done, double total) {
  if (!(total > 0)) return 1;
  const double percent = done / total * 100;
  return std::isnan(percent) ? 0 : static_cast<int>(std::clamp(percent, 0.0, 100.0));
}

std::string SafeDownloadName(const std::string& serverName) {
  std::string name = serverName;
  std::replace(name.begin(), name.end(), '\\', '/');
  const size_t slash = name.find_last_of('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string::npos) return {};
  return name;
}

std::string DownloadsFolder() {
  if (const char* dir = std::getenv("XDG_DOWNLOAD_DIR"); dir && dir[0] == '/') return dir;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/Downloads";
}
