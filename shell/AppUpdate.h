#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "JorvelRecords.h"
#include "SODownloadRules.h"
#include "SONet.h"
#include "ShellInvoker.h"
#include "UIlib.h"

// The small window at the frame's bottom right that announces a newer version. Owned by the
// main frame, which creates it hidden and keeps it in place.
class NotifyWindow : public DuiLib::WindowImplBase {
 public:
  const wchar_t* GetWindowClassName() const override { return L"NotifyWindow"; }
  void Notify(DuiLib::TNotifyUI& msg) override;
  // Shows the update's message without taking the focus.
  void Announce(const UpdateInfo& info);
  const UpdateInfo& GetInfo() const { return m_info; }

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"main/notify.xml"; }

 private:
  UpdateInfo m_info;
};

// Downloads the installer into the Downloads folder with its progress, then shows the folder
// (the installer is never started from here). Runs modally; closes itself when done. Its close
// button and Escape cancel the download and close it at once.
class AppUpdateWindow : public DuiLib::WindowImplBase {
 public:
  static constexpr UINT kProgressMessage = 1025;
  static constexpr UINT kDoneMessage = 1026;

  explicit AppUpdateWindow(UpdateInfo info);
  const wchar_t* GetWindowClassName() const override { return L"AppUpdateWindow"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  static void Run(HWND owner, const UpdateInfo& info);

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"main/AppUpdateWnd.xml"; }
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;

 private:
  void ShowProgress();
  void Cancel();

  // Shared with the download thread, which may outlive the window when the program ends.
  struct Progress : INetCallback {
    void OnNetProgress(double total, double done) override;
    std::atomic<double> total{1.0};
    std::atomic<double> done{1.0};
    std::atomic<bool> cancel{false};
    HWND window = nullptr;
  };

  UpdateInfo m_info;
  std::shared_ptr<Progress> m_progress = std::make_shared<Progress>();
  std::string m_folder;  // where the installer goes
};
