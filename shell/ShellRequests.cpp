#include "ShellRequests.h"

#include "SOWin32.h"

void HandleShellRequest(const std::string& request) {
  const std::string import = kImportRequest;
  if (request == kActivateRequest) {
    SOWin::InvokeOnUiThread(
        [] {
          // A frame hidden to the tray comes back too; the window manager may refuse the raise.
          if (HWND frame = FindWindowW(L"COrvantaWnd", L"Orvanta")) {
            ShowWindow(frame, SW_SHOWNORMAL);
            SetForegroundWindow(frame);
          }
        },
        true);
  } else if (request.compare(0, import.size(), import) == 0) {
    std::string folder = request.substr(import.size());
    SOWin::InvokeOnUiThread(
        [&folder] {
          if (HWND frame = FindWindowW(L"COrvantaWnd", L"Orvanta")) {
            COPYDATASTRUCT data;
            data.cbData = static_cast<DWORD>(folder.size());
            data.lpData = folder.data();
            SendMessageW(frame, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
          }
        },
        true);
  }
}
