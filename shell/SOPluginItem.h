#pragma once

#include <string>

#include "ISOPlugin.h"

namespace DuiLib {
class CControlUI;
}
class SOStandaloneWnd;

// The host's record of one loaded plug-in. The loader fills name, icon and plugin; the main
// frame the rest when it creates the plug-in's window. UI thread once handed to the frame.
struct SOPluginItem {
  std::wstring name;                          // ISOPlugin::GetName, the key
  std::wstring title;                         // ISOPlugin::GetTitle, after CreateWnd
  std::wstring icon;                          // ISOPlugin::GetIcon
  ISOPlugin* plugin = nullptr;                // lives until the process ends
  HWND window = nullptr;                      // ISOPlugin::CreateWnd
  SOStandaloneWnd* standaloneWindow = nullptr;  // holds window while undocked
  HWND frameWindow = nullptr;                 // the main frame's window it docks in
  DuiLib::CControlUI* barItem = nullptr;      // its item in "pluginBar"
};
