#include "ShellStore.h"

#include <mutex>

#include "SOLibrary.h"
#include "SOUtil.h"
#include "SOWinReg.h"
#include "ShellStoreApi.h"
#include "WebError.h"

namespace {

constexpr const char* kKey = "Software\\Orvanta";

struct Api {
  decltype(&OrvantaShellStore_LocalDB) localDB = nullptr;
  decltype(&OrvantaShellStore_ReleaseArchiveDB) releaseArchiveDB = nullptr;
  decltype(&OrvantaShellStore_GetString) getString = nullptr;
};

// The library's entry points, looked up once; null when it cannot be opened.
const Api* Open() {
  static std::once_flag once;
  static Api api;
  static bool ok = false;
  std::call_once(once, [] {
    // Found beside the program (its run path); never closed.
    void* module = SOLibrary::Open(kShellStoreLibrary, "Orvanta");
    if (!module) return;
    const auto Resolve = [module](const char* name, auto& function) {
      return SOLibrary::Resolve(module, kShellStoreLibrary, name, function);
    };
    ok = Resolve("OrvantaShellStore_LocalDB", api.localDB) &&
         Resolve("OrvantaShellStore_ReleaseArchiveDB", api.releaseArchiveDB) &&
         Resolve("OrvantaShellStore_GetString", api.getString);
  });
  return ok ? &api : nullptr;
}

}  // namespace

namespace ShellStore {

bool Load() {
  return Open() != nullptr;
}

IKelvast* LocalDB() {
  const Api* api = Open();
  return api ? api->localDB() : nullptr;
}

void ReleaseArchiveDB() {
  // A process that never mapped Gossamy (no plug-in, no import) never built an archive.
  void* gossamy = dlopen("libGossamy.so", RTLD_NOW | RTLD_NOLOAD);
  if (!gossamy) return;
  if (const Api* api = Open()) api->releaseArchiveDB();
  dlclose(gossamy);
}

std::wstring GetString(const WebError& error) {
  std::wstring text;
  if (const Api* api = Open())
    api->getString(error.code.c_str(), &text);
  else
    text = SOUtil::UTF82WStr(error.code.c_str());
  return text;
}

bool ReadHKCU(const char* name, std::string& value) {
  std::string read;
  const bool ok = name && SOWinReg::ReadHKCU(kKey, name, read);
  value = read;
  return ok;
}

bool WriteHKCU(const char* name, const char* value) {
  return name && value && SOWinReg::WriteHKCU(kKey, name, value);
}

}  // namespace ShellStore
