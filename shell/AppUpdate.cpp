#include "AppUpdate.h"

#include <filesystem>

#include "Zarnet.h"
#include "ShellDialogs.h"

using namespace DuiLib;

// ---- Notification window ------------------------------------------------------------------

void NotifyWindow::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) {
    const CDuiString name = msg.pSender->GetName();
    if (name == L"closeBtn" || name == L"updateBtn") {
      ::ShowWindow(m_hWnd, SW_HIDE);
      if (name == L"updateBtn") PostMessageW(GetWindow(m_hWnd, GW_OWNER), 8071, 0, 0);
      return;
    }
  }
  WindowImplBase::Notify(msg);
}

void NotifyWindow::Announce(const UpdateInfo& info) {
  m_info = info;
  if (CControlUI* text = m_PaintManager.FindControl(L"textLabel")) text->SetText(SOWin::FromUtf8(info.message).c_str());
  ::ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);
}

// ---- Download window ----------------------------------------------------------------------

AppUpdateWindow::AppUpdateWindow(UpdateInfo info) : m_info(std::move(info)) {}

void AppUpdateWindow::Run(HWND owner, const UpdateInfo& info) {
  AppUpdateWindow window(info);
  RunModal(window, owner, L"Update", WS_POPUP);
}

void AppUpdateWindow::InitWindow() {
  if (auto* progress = dynamic_cast<CProgressUI*>(m_PaintManager.FindControl(L"progress"))) {
    progress->SetMinValue(0);
    progress->SetMaxValue(100);
  }
  const std::string name = SafeDownloadName(m_info.fileName);
  if (CControlUI* label = m_PaintManager.FindControl(L"downloadFileNameLabel"))
    label->SetText(SOWin::FromUtf8(name).c_str());
  m_folder = DownloadsFolder();
  m_progress->window = m_hWnd;
  ShellWorkers().Start([progress = m_progress, url = m_info.url, folder = m_folder, name] {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const bool ok =
        !name.empty() && SONet::Download(url.c_str(), (folder + "/" + name).c_str(), progress.get(), &progress->cancel);
    PostMessageW(progress->window, kDoneMessage, ok ? 1 : 0, 0);
  });
}

void AppUpdateWindow::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender && msg.pSender->GetName() == L"closeBtn") return Cancel();
  WindowImplBase::Notify(msg);
}

LRESULT AppUpdateWindow::ResponseDefaultKeyEvent(WPARAM wParam) {
  if (wParam != WPARAM(VK_ESCAPE)) return WindowImplBase::ResponseDefaultKeyEvent(wParam);
  Cancel();
  return TRUE;
}

void AppUpdateWindow::Cancel() {
  // The download thread gives up within about a second and removes what it had; its finishing
  // message finds no window.
  m_progress->cancel = true;
  Close(IDCANCEL);
}

void AppUpdateWindow::Progress::OnNetProgress(double t, double d) {
  total = t;
  done = d;
  PostMessageW(window, kProgressMessage, 0, 0);
}

void AppUpdateWindow::ShowProgress() {
  const double total = m_progress->total, done = m_progress->done;
  if (auto* progress = dynamic_cast<CProgressUI*>(m_PaintManager.FindControl(L"progress")))
    progress->SetValue(DownloadPercent(done, total));
  if (CControlUI* label = m_PaintManager.FindControl(L"progressValueLabel"))
    label->SetText((FormatDownloadSize(done) + L"/" + FormatDownloadSize(total)).c_str());
}

LRESULT AppUpdateWindow::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (uMsg == kProgressMessage) {
    ShowProgress();
    return 0;
  }
  if (uMsg == kDoneMessage) {
    ShowProgress();
    if (wParam)
      ShellExecuteA(m_hWnd, "open", m_folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    else
      MessageBoxUI(m_hWnd, ui_gettext(L"The update could not be downloaded."), nullptr, 0);
    Close(wParam ? IDOK : IDCANCEL);
    return 0;
  }
  return WindowImplBase::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}
