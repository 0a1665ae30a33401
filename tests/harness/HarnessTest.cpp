#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "TestSupport.h"

namespace fs = std::filesystem;
using namespace orvanta::test;

TEST(Harness, UserFoldersPointIntoScratch) {
  const std::string scratch = ScratchRoot().string();
  for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "PROGRAMDATA"}) {
    const char* value = std::getenv(var);
    ASSERT_NE(value, nullptr) << var;
    EXPECT_EQ(std::string(value).rfind(scratch, 0), 0u) << var << "=" << value;
    EXPECT_TRUE(fs::is_directory(value)) << var;
  }
  EXPECT_NE(MakeTempDir(), MakeTempDir());
}

// Every library of the program folder loads with all its symbols resolved (a shared library
// links with undefined symbols and fails only when loaded), and every plug-in built from sources
// exports CreatePlugin, which the shell looks up.
TEST(Harness, ProgramFolderHoldsLoadableLibrariesAndPlugins) {
  const fs::path bin = ProgramFolder();
  for (const char* sub : {"config/system.xml", "skin", "locale", "colors", "report/Template"})
    EXPECT_TRUE(fs::exists(bin / sub)) << sub;
  for (const char* lib : {"libLumexa.so", "libVoxmere.so", "libNimbrel.so", "libGossamy.so", "libKelvast.so",
                          "libHalvex.so", "libZarnet.so", "libOstrel.so", "libWendrel.so", "libTessaly.so",
                          "libCorvide.so", "libTabrisk.so", "libQuillon.so", "libBrenvik.so", "libSevrane.so"}) {
    void* handle = dlopen((bin / lib).c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle, nullptr) << lib << ": " << dlerror();
  }
  std::stringstream built(ORVANTA_BUILT_PLUGINS);
  for (std::string plugin; std::getline(built, plugin, ',');) {
    if (plugin.empty()) continue;
    void* handle = dlopen((bin / ("lib" + plugin + ".so")).c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << plugin << ": " << dlerror();
    EXPECT_NE(dlsym(handle, "CreatePlugin"), nullptr) << plugin;
  }
}
