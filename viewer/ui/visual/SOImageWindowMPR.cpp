#include "SOImageWindowMPR.h"

#include "SOPluginMPRInfo.h"

void AddImageWindowMPRPlugins(SOPluginMgr& mgr);

SOImageWindowMPR::SOImageWindowMPR() {
  AddImageWindowMPRPlugins(GetPluginMgr());
}

bool SOImageWindowMPR::InsertPlugin(int, SOPluginMPRInfo* plugin) {
  if (!plugin) return false;
  GetPluginMgr().InsertPlugin(1, plugin);
  return true;
}
