#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "ISOPlugin.h"
#include "SOPluginItem.h"
#include "SOWorkers.h"
#include "UIlib.h"

// The program's one top-level window ("COrvantaWnd", "Orvanta") and the plug-in host. It loads
// the plug-ins on a worker thread, creates their windows in "mainPanel" once loading is done
// and the start-up timer has fired, lists them in "pluginBar", switches between them, and
// implements ISOExecuter for them. It also owns the tray icon and the stand-alone windows of
// undocked plug-ins, and imports folders sent to it with WM_COPYDATA.
//
// Threads: everything runs on the UI thread except the workers (plug-in loader, folder
// imports), which reach the frame only through posted messages and the UI invoker. `plugins`
// belongs to the UI thread: the loader hands its list over with WM_SO_CREATEPLUGINS.
class CMainFrameWnd : public DuiLib::WindowImplBase, public ISOExecuter {
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

  // UI thread.
  const std::vector<SOPluginItem>& GetPlugins() const { return m_plugins; }
  bool IsCreated() const { return m_created; }
  SOWorkers& Workers() { return m_workers; }
  const wchar_t* GetWindowClassName() const override { return L"COrvantaWnd"; }

  // The process-wide UI invoker, bound to the frame's window while it exists.
  static DuiLib::CInvoke& UiInvoker();

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

  Options m_options;
  bool m_timerFired = false;
  std::atomic<bool> m_loaded{false};
  bool m_created = false;
  bool m_hasTray = false;
  std::vector<SOPluginItem> m_plugins;  // UI thread

  std::mutex m_pendingLock;  // guards m_pending: written by the loader, taken by the UI thread
  std::vector<SOPluginItem> m_pending;

  DuiLib::CWndShadow m_shadow;
  SOWorkers m_workers;
};
