#pragma once

// The desktop's folder and file choosers as the plug-ins use them.

#include <string>
#include <vector>

#include "SOWin32.h"

namespace SODialog {

// Shows the folder chooser owned by owner with the title, opening at start when that names a
// folder. On OK true with the chosen folder in UTF-8, whole; false when cancelled.
bool BrowseForFolder(HWND owner, const wchar_t* title, const std::string& start, std::string& chosen);

// Shows the open-file chooser owned by owner with the filter (display text and pattern pairs,
// ended by an empty text), the first filter chosen, several files allowed and at most maxChars
// characters of result. On OK true with each chosen file's whole path in UTF-8, in the order
// chosen; false when cancelled.
bool ChooseFiles(HWND owner, const wchar_t* filter, size_t maxChars, std::vector<std::string>& paths);

}  // namespace SODialog
