#pragma once

// A program folder for the shell's tests: config/system.xml naming the given libraries, the
// test plug-ins linked in, and the real runtime (skins, catalogs) of the build beside them.

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace shelltest {

namespace fs = std::filesystem;

// Each test gets its own registry file.
inline void FreshRegistry() {
  ::setenv("XDG_CONFIG_HOME", orvanta::test::MakeTempDir("config").c_str(), 1);
}

inline std::string ThreadTag() {
  return std::to_string(::syscall(SYS_gettid));
}

// A program folder whose system.xml lists `libraries`; the test plug-ins (libTestA.so,
// libTestB.so, libTestC.so, libTestNull.so, libTestNoExport.so) and the build's skin and
// locale folders are linked into it.
inline fs::path MakeProgramDir(const std::vector<std::string>& libraries, const std::string& version = "1.0.0") {
  const fs::path dir = orvanta::test::MakeTempDir("program");
  fs::create_directories(dir / "config");
  std::ofstream xml(dir / "config" / "system.xml");
  xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<System>\n  <Version>" << version << "</Version>\n  <Plugins>\n";
  for (const auto& name : libraries) xml << "    <Plugin name=\"" << name << "\"/>\n";
  xml << "  </Plugins>\n</System>\n";
  for (const auto& entry : fs::directory_iterator(SHELL_TEST_PLUGIN_DIR))
    fs::create_symlink(entry.path(), dir / entry.path().filename());
  const fs::path bin = orvanta::test::ProgramFolder();
  for (const char* sub : {"skin", "locale"})
    if (fs::exists(bin / sub)) fs::create_directory_symlink(bin / sub, dir / sub);
  return dir;
}

}  // namespace shelltest
