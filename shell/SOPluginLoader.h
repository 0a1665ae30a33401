#pragma once

#include <string>
#include <vector>

#include "SOPluginItem.h"

// Loads the plug-in libraries named in `names` (file names relative to programDir, in order):
// dlopen, CreatePlugin, then SetExecuter(host), GetName and GetIcon on the calling thread.
// A missing library, a library that does not load, one without CreatePlugin (unloaded again)
// and a null plug-in are skipped, each with its reason on stderr. Libraries that gave a plug-in
// stay loaded for the life of the process. Returns the plug-ins in load order.
std::vector<SOPluginItem> LoadPlugins(const std::string& programDir, const std::vector<std::string>& names,
                                      ISOExecuter* host);
