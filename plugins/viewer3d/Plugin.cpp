// The 3D viewer plug-in's one export.

#include "ISOPlugin.h"
#include "SOCorvideWnd.h"

ORVANTA_PLUGIN_EXPORT ISOPlugin* CreatePlugin() { return new SOCorvideWnd(); }
