#pragma once

// What a program needs of the window layer beyond Win32's names: its entry and the desktop's
// tray.

#include <functional>
#include <string>

#include "SOWin32.h"

namespace SOWin {

// The program's entry: sets up the UI thread (this thread) with argc/argv, runs body and tears
// the UI down when it returns; returns body's result.
int RunApplication(int& argc, char** argv, const std::function<int()>& body);

// Whether the desktop has a system tray to show icons in.
bool IsTrayAvailable();
// An icon from an image file (PNG), for the tray; null when it does not load. Kept for the life
// of the process.
HICON LoadIconFile(const std::string& path);

}  // namespace SOWin
