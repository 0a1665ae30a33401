// The report plug-in's one export.

#include "ISOPlugin.h"
#include "SevraneWnd.h"

ORVANTA_PLUGIN_EXPORT ISOPlugin* CreatePlugin() { return new SOSevraneWnd(); }
