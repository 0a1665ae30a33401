// The tray icon.

#include <QSystemTrayIcon>

#include <map>
#include <memory>

#include "SOWin32.h"
#include "SOWinPrivate.h"
#include "SOWinQt.h"

using namespace sowin;

namespace {

struct TrayEntry {
  std::unique_ptr<QSystemTrayIcon> icon;  // null on the fake tray
  std::wstring tip;
};
std::map<std::pair<HWND, UINT>, TrayEntry> g_tray;

}  // namespace

BOOL Shell_NotifyIconW(DWORD message, NOTIFYICONDATAW* data) {
  if (!data || !IsUiThread()) return FALSE;
  const auto key = std::make_pair(data->hWnd, data->uID);
  auto it = g_tray.find(key);
  if (message == NIM_DELETE) {
    if (it == g_tray.end()) return FALSE;
    g_tray.erase(it);
    return TRUE;
  }
  if ((message == NIM_ADD) == (it != g_tray.end())) return FALSE;
  TrayEntry& entry = g_tray[key];
  if (message == NIM_ADD && QSystemTrayIcon::isSystemTrayAvailable()) {
    entry.icon = std::make_unique<QSystemTrayIcon>();
    const HWND hwnd = data->hWnd;
    const UINT id = data->uID;
    const UINT callback = (data->uFlags & NIF_MESSAGE) ? data->uCallbackMessage : 0;
    if (callback)
      QObject::connect(entry.icon.get(), &QSystemTrayIcon::activated,
                       [hwnd, id, callback](QSystemTrayIcon::ActivationReason r) {
                         const LPARAM mouse = r == QSystemTrayIcon::Context       ? WM_RBUTTONUP
                                              : r == QSystemTrayIcon::DoubleClick ? WM_LBUTTONDBLCLK
                                                                                  : WM_LBUTTONUP;
                         PostMessageW(hwnd, callback, id, mouse);
                       });
  }
  if (data->uFlags & NIF_TIP) entry.tip = std::wstring(data->szTip, wcsnlen(data->szTip, 128));
  if (entry.icon) {
    if (data->uFlags & NIF_ICON) {
      auto* c = reinterpret_cast<CursorObj*>(data->hIcon);
      entry.icon->setIcon(c ? QIcon(c->cursor.pixmap()) : QIcon());
    }
    entry.icon->setToolTip(QString::fromStdWString(entry.tip));
    entry.icon->show();
  }
  return TRUE;
}

namespace SOWin {

int TrayIconCount() {
  return static_cast<int>(g_tray.size());
}

bool IsTrayAvailable() {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

}  // namespace SOWin
