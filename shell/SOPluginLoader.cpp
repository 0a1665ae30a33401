#include "SOPluginLoader.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <mutex>

namespace {

// Plug-ins are never deleted: the process keeps every one it created here, so each stays
// reachable for the life of the process, after the lists that named it are gone.
void KeepForTheProcess(ISOPlugin* plugin) {
  static std::mutex lock;
  static auto* kept = new std::vector<ISOPlugin*>;
  std::lock_guard hold(lock);
  kept->push_back(plugin);
}

}  // namespace

std::vector<SOPluginItem> LoadPlugins(const std::string& programDir, const std::vector<std::string>& names,
                                      ISOExecuter* host) {
  std::vector<SOPluginItem> loaded;
  for (const std::string& name : names) {
    const std::string path = programDir + name;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
      std::fprintf(stderr, "Orvanta: plug-in %s skipped: no such file\n", path.c_str());
      continue;
    }
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
      const char* why = dlerror();
      std::fprintf(stderr, "Orvanta: plug-in %s skipped: %s\n", path.c_str(), why ? why : "not loaded");
      continue;
    }
    auto create = reinterpret_cast<CreatePluginFunc>(dlsym(module, "CreatePlugin"));
    if (!create) {
      std::fprintf(stderr, "Orvanta: plug-in %s skipped: no CreatePlugin export\n", path.c_str());
      dlclose(module);
      continue;
    }
    ISOPlugin* plugin = create();
    if (!plugin) {
      std::fprintf(stderr, "Orvanta: plug-in %s skipped: CreatePlugin gave no plug-in\n", path.c_str());
      continue;
    }
    KeepForTheProcess(plugin);
    plugin->SetExecuter(host);
    SOPluginItem item;
    if (const wchar_t* key = plugin->GetName()) item.name = key;
    if (const wchar_t* icon = plugin->GetIcon()) item.icon = icon;
    item.plugin = plugin;
    loaded.push_back(std::move(item));
  }
  return loaded;
}
