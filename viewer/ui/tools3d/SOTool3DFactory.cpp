#include "SOCorvideDrag.h"
#include "SOPluginGraphic.h"
#include "SOPluginMPRCross.h"
#include "SOPluginMgr.h"

void AddImageWindow3DPlugins(SOPluginMgr& mgr) {
  mgr.AddPlugin(new SOCorvideRotate);
  mgr.AddPlugin(new SOCorvideWW);
  mgr.AddPlugin(new SOCorvideZoom);
  mgr.AddPlugin(new SOPluginGraphic);
}

void AddImageWindowMPRPlugins(SOPluginMgr& mgr) {
  mgr.InsertPlugin(1, new SOPluginMPRCross);
}
