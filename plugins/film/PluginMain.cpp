#include "ISOPlugin.h"
#include "SOPluginFilmWnd.h"

ORVANTA_PLUGIN_EXPORT ISOPlugin* CreatePlugin() { return new brenvik::SOPluginFilmWnd(); }
