#pragma once

// The desktop's folder chooser as the plug-ins use it.

#include <string>

#include "SOWin32.h"

namespace SODialog {

// Shows the folder chooser owned by owner with the title, opening at start when that names a
// folder. On OK true with the chosen folder in UTF-8, whole; false when cancelled.
bool BrowseForFolder(HWND owner, const wchar_t* title, const std::string& start, std::string& chosen);

}  // namespace SODialog
