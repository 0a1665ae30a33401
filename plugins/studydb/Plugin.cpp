// The study database plug-in's one export.

#include "SOTabriskWnd.h"

ORVANTA_PLUGIN_EXPORT ISOPlugin* CreatePlugin() { return new tabrisk::SOTabriskWnd; }
