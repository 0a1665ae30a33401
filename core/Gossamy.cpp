#include "Gossamy.h"

#include <pwd.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <list>
#include <map>
#include <mutex>

#include "IArchiveDB.h"
#include "SOUtil.h"
#include "SOWinReg.h"
#include "WebError.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kKey = "Software\\Orvanta";
constexpr const wchar_t* kWideKey = L"Software\\Orvanta";

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string HomeFolder() {
  std::string home = Env("HOME");
  if (home.empty()) {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
  }
  return home;
}

// Each value is built once under its own lock and then read without locking through an atomic.
struct State {
  std::mutex configLock;  // guards configPath
  std::string configPath;
  std::atomic<const char*> config{nullptr};

  std::mutex rootLock;  // guards roots; every root ever handed out stays alive
  std::list<std::string> roots;
  std::atomic<const char*> root{nullptr};

  std::mutex archiveLock;  // guards the building and release of archive
  std::atomic<IArchiveDB*> archive{nullptr};

  std::mutex localLock;  // taken before archiveLock, never after
  std::atomic<IKelvast*> local{nullptr};

  const std::map<std::string, std::wstring> messages = {
      {"10011", L"The username already exists!"},
      {"10013", L"The code has expired!"},
      {"10014", L"The code is invalid!"},
      {"10015", L"Incorrect username or password!"},
      {"10017", L"Team not exists!"},
      {"10018", L"Object not exists!"},
      {"10020", L"Operation refused!"},
      {"10021", L"Team blocked!"},
      {"10022", L"Team limited for insufficient balance!"},
      {"20000", L"Network connected Failed!"},
      {"20001", L"Report upload failed!"},
      {"20002", L"Report download failed!"},
  };
};

State& S() {
  static State* state = new State;  // outlives every static destructor that might still ask
  return *state;
}

}  // namespace

const char* Gossamy::GetConfigPath() {
  State& s = S();
  if (const char* path = s.config.load()) return path;
  std::lock_guard<std::mutex> hold(s.configLock);
  if (!s.config.load()) {
    // Never the filesystem root: an unset PROGRAMDATA falls back to the XDG data folder.
    std::string base = Env("PROGRAMDATA");
    if (base.empty()) base = Env("XDG_DATA_HOME");
    if (base.empty()) base = HomeFolder() + "/.local/share";
    std::string folder = base + "/Orvanta";
    std::error_code ec;
    fs::create_directories(folder, ec);
    // Imported templates, volumes of studies and settings: the user's alone.
    fs::permissions(folder, fs::perms::owner_all, ec);
    s.configPath = folder + "/";
    s.config = s.configPath.c_str();
  }
  return s.config.load();
}

bool Gossamy::ReadHKCU(const char* name, std::string& value) {
  if (!name) return false;
  std::string read;
  bool ok = SOWinReg::ReadHKCU(kKey, name, read);
  value = read;
  return ok;
}

bool Gossamy::ReadHKCU(const wchar_t* name, std::wstring& value) {
  if (!name) return false;
  return SOWinReg::ReadHKCU(kWideKey, name, value);
}

bool Gossamy::WriteHKCU(const char* name, const char* value) {
  if (!name || !value) return false;
  return SOWinReg::WriteHKCU(kKey, name, value);
}

bool Gossamy::WriteHKCU(const wchar_t* name, const wchar_t* value) {
  if (!name || !value) return false;
  return SOWinReg::WriteHKCU(kWideKey, name, value);
}

const char* Gossamy::GetStorePath() {
  State& s = S();
  if (const char* root = s.root.load()) return root;
  std::lock_guard<std::mutex> hold(s.rootLock);
  if (!s.root.load()) {
    std::string root;
    ReadHKCU("StorePath", root);
    if (root.empty()) {
      root = HomeFolder() + "/OrvantaImages";
      WriteHKCU("StorePath", root.c_str());
    }
    s.roots.push_back(root);
    s.root = s.roots.back().c_str();
  }
  return s.root.load();
}

bool Gossamy::SetStorePath(const char* path) {
  if (!path || !SOUtil::DirExist(path)) return false;
  State& s = S();
  std::lock_guard<std::mutex> hold(s.rootLock);
  s.roots.push_back(path);
  s.root = s.roots.back().c_str();
  WriteHKCU("StorePath", path);
  return true;
}

IArchiveDB* Gossamy::ArchiveDB() {
  State& s = S();
  if (IArchiveDB* archive = s.archive.load()) return archive;
  std::lock_guard<std::mutex> hold(s.archiveLock);
  if (!s.archive.load()) s.archive = BuildArchiveDB(GetStorePath());
  return s.archive.load();
}

void Gossamy::ReleaseArchiveDB() {
  State& s = S();
  std::lock_guard<std::mutex> holdLocal(s.localLock);
  std::lock_guard<std::mutex> holdArchive(s.archiveLock);
  // The local store belongs to the archive: forget it first so it is never handed out again.
  s.local = nullptr;
  ::ReleaseArchiveDB(s.archive.exchange(nullptr));
}

IKelvast* Gossamy::LocalDB() {
  State& s = S();
  if (IKelvast* local = s.local.load()) return local;
  std::lock_guard<std::mutex> hold(s.localLock);
  if (!s.local.load()) {
    if (IArchiveDB* archive = ArchiveDB()) s.local = archive->OpenStore(nullptr, nullptr);
  }
  return s.local.load();
}

std::wstring Gossamy::GetString(const char* code) {
  if (!code) return std::wstring();
  const auto& messages = S().messages;
  auto found = messages.find(code);
  if (found != messages.end()) return found->second;
  return SOUtil::UTF82WStr(code);
}

std::wstring Gossamy::GetString(const WebError& error) { return GetString(error.code.c_str()); }
