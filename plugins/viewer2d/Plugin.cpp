#include "SOTessalyWnd.h"

ORVANTA_PLUGIN_EXPORT ISOPlugin* CreatePlugin() {
  return new SOTessalyWnd;
}
