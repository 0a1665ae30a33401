#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "AppUpdate.h"
#include "ISOPlugin.h"
#include "Jorvel.h"
#include "SOPluginItem.h"
#include "SOWorkers.h"
#include "ShellInvoker.h"
#include "UIlib.h"

// The program's one top-level window ("COrvantaWnd", "Orvanta") and the plug-in host. It loads
// the plug-ins on a worker thread, creates their windows in "mainPanel" once loading is done
// and the start-up timer has fired, lists them in "pluginBar", switches between them, and
// implements ISOExecuter for them. It also owns the tray icon and the stand-alone windows of
// undocked plug-ins, imports folders sent to it with WM_COPYDATA, shows the login state, opens
// the account, feedback and settings dialogs, and checks for a start-up notice and an update.
//
// Threads: everything runs on the UI thread except the workers (plug-in loader, folder imports,
// update check, login), which reach the frame only through posted messages and the UI invoker. `plugins`
// belongs to the UI thread: the loader hands its list over with WM_SO_CREATEPLUGINS.
class CMainFrameWnd : public DuiLib::WindowImplBase, public ISOExecuter, public IJorvelCallback {
 public:
  struct Options {
    std::string programDir;                // ends in '/'; plug-in libraries are found here
    std::vector<std::string> plugins;      // library names in load order
    UINT startupDelayMs = 1000;            // the start-up timer's period
    int trayAvailable = -1;                // -1: ask the desktop; 0/1: tests decide
  };

  explicit CMainFrameWnd(Options options);
  // Waits (bounded) for the workers, then releases the archive of stores.
  ~CMainFrameWnd() override;

  // Creates the window (no parent, "Orvanta", WS_VISIBLE | WS_OVERLAPPEDWINDOW, ex 0x100),
  // centres it, shows it with focus. Null when the skin cannot be built.
  HWND CreateFrame();

  // ISOExecuter
  bool HasPlugin(const wchar_t* name) override;
  bool ActivatePlugin(const wchar_t* name) override;
  bool SetStatusText(const char* text) override;
  bool SendCommand(const wchar_t* name, const char* command, void* data) override;
  bool Broadcast(int id, void* data, HWND owner) override;
  void SetBadge(ISOPlugin* plugin, int count) override;

  // IJorvelCallback: from any thread; the login area is refreshed on the UI thread.
  void OnLogin(int result) override;
  void OnLogout() override;

  // UI thread.
  const std::vector<SOPluginItem>& GetPlugins() const { return m_plugins; }
  bool IsCreated() const { return m_created; }
  bool IsLoginOpen() const { return m_loginOpen; }
  NotifyWindow& GetNotifyWindow() { return m_notifyWindow; }
  const wchar_t* GetWindowClassName() const override { return L"COrvantaWnd"; }

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"main/main.xml"; }
  LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  LRESULT OnTimer(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  SOPluginItem* FindItem(const wchar_t* name);
  DuiLib::COptionUI* ItemOption(const SOPluginItem& item) const;
  void CreatePluginWindows();
  void AddBarItem(SOPluginItem& item);
  bool OnPluginOption(void* param);
  void SelectPlugin(const wchar_t* name);
  bool OnPanelSize(void* param);
  RECT PanelClientRect() const;
  bool OnSettingButton(void* param);
  void SplitWindow();
  void Redock(WPARAM item);
  void OnTrayNotify(LPARAM mouse);
  void ImportFolder(const COPYDATASTRUCT* data);
  void RefreshLoginState();
  void OpenLogin(HWND owner, bool autoLogin);
  bool OnUserNameButton(void* param);
  void CheckForUpdate();
  void ShowNotice();
  void PlaceNotifyWindow();

  Options m_options;
  bool m_timerFired = false;
  std::atomic<bool> m_loaded{false};
  bool m_created = false;
  bool m_hasTray = false;
  bool m_loginOpen = false;
  std::string m_noticeType;  // UI thread, from the update check
  std::string m_noticeContent;
  std::vector<SOPluginItem> m_plugins;  // UI thread

  std::mutex m_pendingLock;  // guards m_pending: written by the loader, taken by the UI thread
  std::vector<SOPluginItem> m_pending;

  DuiLib::CWndShadow m_shadow;
  NotifyWindow m_notifyWindow;
};
