#include "SOCorvideBox.h"
#include "SOCorvideCut.h"
#include "SOCorvideDrag.h"
#include "SOCorvideMPR.h"
#include "SOCorvideOrient.h"
#include "SOPluginGraphic.h"
#include "SOPluginMPRCross.h"
#include "SOPluginMgr.h"

void AddImageWindow3DPlugins(SOPluginMgr& mgr) {
  mgr.AddPlugin(new SOCorvideMPR);
  mgr.AddPlugin(new SOCorvideBox);
  mgr.AddPlugin(new SOCorvideOrient);
  mgr.AddPlugin(new SOCorvideRotate);
  mgr.AddPlugin(new SOCorvideWW);
  mgr.AddPlugin(new SOCorvideZoom);
  mgr.AddPlugin(new SOPluginGraphic);
  mgr.AddPlugin(new SOCorvideCut);
}

void AddImageWindowMPRPlugins(SOPluginMgr& mgr) {
  mgr.InsertPlugin(1, new SOPluginMPRCross);
}
