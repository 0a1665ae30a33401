#include <string>

#include "SOPluginBasic.h"
#include "SOPluginDrag.h"
#include "SOPluginGraphic.h"
#include "SOPluginInfo.h"
#include "SOPluginMgr.h"
#include "SOPluginOrient.h"
#include "SOToolKinds.h"

void AddImageWindowPlugins(SOPluginMgr& mgr) {
  mgr.AddPlugin(new SOPluginOverlay);
  mgr.AddPlugin(new SOPluginInfo);
  mgr.AddPlugin(new SOPluginOrient);
  mgr.AddPlugin(new SOPluginWW);
  mgr.AddPlugin(new SOPluginZoom);
  mgr.AddPlugin(new SOPluginPan);
  mgr.AddPlugin(new SOPluginGraphic);
  mgr.AddPlugin(new SOPluginValue);
  mgr.AddPlugin(new SOPluginLoc);
  mgr.AddPlugin(new SOPluginRuler);
}

ISOCtrlPlugin* MakeNamedPlugin(const char* name) {
  const std::string n = name ? name : "";
  if (n == "OVERINFO") return new SOPluginInfo;
  if (n == "ORIENT") return new SOPluginOrient;
  if (n == "RULER") return new SOPluginRuler;
  return nullptr;
}
