#pragma once

// The program's frame started over built plug-ins, for tests that drive a plug-in in the running
// program. Include it only where the shell's headers are on the include path.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "CMainFrameWnd.h"
#include "SOWin32.h"
#include "TestSupport.h"
#include "UIManager.h"

namespace orvanta::test {

// A program folder whose system.xml names `libraries`, each linked from the build's program folder,
// with the build's skins and catalogs beside them.
inline std::filesystem::path ProgramWithPlugins(const std::vector<std::string>& libraries) {
  namespace fs = std::filesystem;
  const fs::path dir = MakeTempDir("program");
  const fs::path bin = ProgramFolder();
  fs::create_directories(dir / "config");
  std::ofstream xml(dir / "config" / "system.xml");
  xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<System>\n  <Version>1.0.0</Version>\n  <Plugins>\n";
  for (const auto& name : libraries) {
    xml << "    <Plugin name=\"" << name << "\"/>\n";
    fs::create_symlink(bin / name, dir / name);
  }
  xml << "  </Plugins>\n</System>\n";
  for (const char* sub : {"skin", "locale"}) fs::create_directory_symlink(bin / sub, dir / sub);
  return dir;
}

// The frame of the program in `dir` (its skins made the skin engine's) loading `plugins`, without a
// tray, once it has created them; null, with a test failure, when it does not come up.
inline std::unique_ptr<CMainFrameWnd> StartFrame(const std::filesystem::path& dir, std::vector<std::string> plugins,
                                                 int startupDelayMs = 10) {
  DuiLib::CPaintManagerUI::SetResourcePath(SOWin::FromUtf8((dir / "skin").string() + "/").c_str());
  CMainFrameWnd::Options options;
  options.programDir = dir.string() + "/";
  options.plugins = std::move(plugins);
  options.startupDelayMs = startupDelayMs;
  options.trayAvailable = 0;
  auto frame = std::make_unique<CMainFrameWnd>(options);
  if (frame->CreateFrame() == nullptr) {
    ADD_FAILURE() << "the frame was not created";
    return nullptr;
  }
  if (!SOWin::PumpUntil([&] { return frame->IsCreated(); }, 10000)) {
    ADD_FAILURE() << "the frame did not create its plug-ins";
    return nullptr;
  }
  return frame;
}

}  // namespace orvanta::test
