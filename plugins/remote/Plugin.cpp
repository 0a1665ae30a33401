#include "ISOPlugin.h"
#include "QuillonWnd.h"

ORVANTA_PLUGIN_EXPORT ISOPlugin* CreatePlugin() {
  return new CQuillonWnd;  // lives until the process ends
}
