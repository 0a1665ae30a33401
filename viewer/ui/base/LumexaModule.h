#pragma once

#include <string>

#include "SOWin32.h"

// The viewer library's instance token: every window class, window and library cursor uses it.
HINSTANCE LumexaModule();

// The text drawn over every image window that shows an image; empty hides it. UI thread only.
const std::wstring& LumexaForegroundText();

// One of the library's cursors, 104 to 113.
HCURSOR LumexaCursor(int id);
