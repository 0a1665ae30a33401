#pragma once

#include "SOWin32.h"

// Messages of the main frame. All are posted to it, except WM_SO_REDOCK, which a stand-alone
// window sends.
constexpr UINT WM_SO_CREATEPLUGINS = 8065;  // create the plug-in windows once loaded and timed
constexpr UINT WM_SO_LOGIN = 8066;          // wParam: owner window or 0; lParam: log in with the stored account
constexpr UINT WM_SO_REGISTER = 8067;       // registration dialog
constexpr UINT WM_SO_FINDPASSWORD = 8068;   // find-password dialog
constexpr UINT WM_SO_REDOCK = 8069;         // wParam: SOPluginItem* docked back
constexpr UINT WM_SO_TRAYNOTIFY = 8070;     // lParam: the mouse message on the tray icon
constexpr UINT WM_SO_APPUPDATE = 8071;      // update download window
// A folder to import, from another start of the program; lParam: std::string* (the frame
// takes it over).
constexpr UINT WM_SO_IMPORTFOLDER = 8072;

// The start-up timer: plug-in windows are created no earlier than this after "windowinit".
constexpr UINT_PTR SO_STARTUP_TIMER = 120;
constexpr UINT SO_STARTUP_DELAY_MS = 1000;
