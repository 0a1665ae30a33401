#include "CMainFrameWnd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ShellStore.h"
#include "IKelvast.h"
#include "CFindPasswordDlg.h"
#include "CLoginDlg.h"
#include "CRegisterDlg.h"
#include "PersonalInfoDlg.h"
#include "SOAccountStore.h"
#include "SOPluginLoader.h"
#include "SOSettingDlg.h"
#include "SOStandaloneWnd.h"
#include "SOSystemConfig.h"
#include "SOUtil.h"
#include "SOWinApp.h"
#include "ShellDialogs.h"
#include "ShellMessages.h"
#include "ShellVersion.h"
#include "Zarnet.h"

using namespace DuiLib;

namespace {

constexpr UINT TRAY_ICON_ID = 1;
// How long the frame waits for its workers when it goes.
constexpr int WORKER_WAIT_MS = 3000;

int Width(const RECT& rc) {
  return rc.right - rc.left;
}
int Height(const RECT& rc) {
  return rc.bottom - rc.top;
}

}  // namespace

CMainFrameWnd::CMainFrameWnd(Options options) : m_options(std::move(options)) {}

CMainFrameWnd::~CMainFrameWnd() {
  GetJorvel()->RemoveCallback(this);
  if (!ShellWorkers().WaitAll(WORKER_WAIT_MS))
    std::fprintf(stderr, "Orvanta: %d worker(s) still running at exit\n", ShellWorkers().Running());
  ShellStore::ReleaseArchiveDB();
}

HWND CMainFrameWnd::CreateFrame() {
  if (!Create(nullptr, L"Orvanta", WS_VISIBLE | WS_OVERLAPPEDWINDOW, WS_EX_WINDOWEDGE, 0, 0, 600, 320))
    return nullptr;
  CenterWindow();
  ShowWindow(true, true);
  return m_hWnd;
}

// ---- Window -------------------------------------------------------------------------------

LRESULT CMainFrameWnd::OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  LONG_PTR style = GetWindowLongPtrW(m_hWnd, GWL_STYLE);
  SetWindowLongPtrW(m_hWnd, GWL_STYLE, (style & ~LONG_PTR(WS_CAPTION)) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  m_shadow.Create(m_hWnd);
  m_shadow.SetSize(3);
  m_shadow.SetPosition(0, 0);
  const LRESULT result = WindowImplBase::OnCreate(uMsg, wParam, lParam, bHandled);
  if (result == -1) {
    // Without its skin the program cannot show anything. Under a display the user gets the
    // box; headless it would wait forever, so the reason goes to stderr only.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!(platform && std::strcmp(platform, "offscreen") == 0))
      MessageBoxW(nullptr, L"加载资源文件失败", L"SoUI", MB_ICONERROR);
    std::fprintf(stderr, "Orvanta: the main skin cannot be loaded\n");
    // At once, without the static destructors: nothing is kept yet, and the start-up's helper
    // threads may still be using what they would destroy.
    std::_Exit(1);
  }
  return result;
}

void CMainFrameWnd::InitWindow() {
  UiInvoker().Create(m_hWnd);

  m_hasTray = m_options.trayAvailable < 0 ? SOWin::IsTrayAvailable() : m_options.trayAvailable != 0;
  NOTIFYICONDATAW tray;
  tray.hWnd = m_hWnd;
  tray.uID = TRAY_ICON_ID;
  tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  tray.uCallbackMessage = WM_SO_TRAYNOTIFY;
  tray.hIcon = SOWin::LoadIconFile(SOWin::ToUtf8((CPaintManagerUI::GetResourcePath() + L"main/tray.png").str()));
  // The program's icon is also the frame's, for the task bar and the window list.
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(tray.hIcon));
  std::wcsncpy(tray.szTip, L"Orvanta", 127);
  Shell_NotifyIconW(NIM_ADD, &tray);

  GetJorvel()->AddCallback(this);
  RefreshLoginState();
  if (CControlUI* userName = m_PaintManager.FindControl(L"userNameBtn"))
    userName->OnNotify += MakeDelegate(this, &CMainFrameWnd::OnUserNameButton);

  m_notifyWindow.Create(m_hWnd, nullptr, 0x82000000, 0, 0, 0, 360, 150);
  ::ShowWindow(m_notifyWindow.GetHWND(), SW_HIDE);
  PlaceNotifyWindow();
}

void CMainFrameWnd::Notify(TNotifyUI& msg) {
  if (msg.sType == L"windowinit") {
    if (CControlUI* panel = m_PaintManager.FindControl(L"mainPanel"))
      panel->OnSize += MakeDelegate(this, &CMainFrameWnd::OnPanelSize);
    if (CControlUI* setting = m_PaintManager.FindControl(L"settingbtn"))
      setting->OnNotify += MakeDelegate(this, &CMainFrameWnd::OnSettingButton);
    SetTimer(m_hWnd, SO_STARTUP_TIMER, m_options.startupDelayMs, nullptr);
    ShellWorkers().Start([this, hwnd = m_hWnd] {
      std::vector<SOPluginItem> loaded = LoadPlugins(m_options.programDir, m_options.plugins, this);
      {
        std::lock_guard<std::mutex> hold(m_pendingLock);
        m_pending = std::move(loaded);
      }
      m_loaded = true;
      PostMessageW(hwnd, WM_SO_CREATEPLUGINS, 0, 0);
    });
    CheckForUpdate();
  } else if (msg.sType == L"click" && msg.pSender) {
    const CDuiString name = msg.pSender->GetName();
    if (name == L"splitWndBtn") return SplitWindow();
    if (name == L"loginBtn") {
      PostMessageW(m_hWnd, WM_SO_LOGIN, 0, 0);
      return;
    }
    if (name == L"feedbackBtn") return FeedbackDlg::Run(m_hWnd);
    if (name == L"notifyBtn") return ShowNotice();
  }
  WindowImplBase::Notify(msg);
}

LRESULT CMainFrameWnd::OnTimer(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (wParam != SO_STARTUP_TIMER) {
    bHandled = FALSE;
    return 0;
  }
  KillTimer(m_hWnd, SO_STARTUP_TIMER);
  m_timerFired = true;
  PostMessageW(m_hWnd, WM_SO_CREATEPLUGINS, 0, 0);
  return 0;
}

LRESULT CMainFrameWnd::OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  // With a tray the program lives on hidden; without one it could never be shown or ended again.
  if (m_hasTray)
    ::ShowWindow(m_hWnd, SW_HIDE);
  else
    DestroyWindow(m_hWnd);
  return 0;
}

LRESULT CMainFrameWnd::OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  NOTIFYICONDATAW tray;
  tray.hWnd = m_hWnd;
  tray.uID = TRAY_ICON_ID;
  Shell_NotifyIconW(NIM_DELETE, &tray);
  UiInvoker().Release();
  // The program is quitting: workers and plug-ins must not wait out a silent service.
  Web_CancelCalls();
  PostQuitMessage(0);
  return 0;
}

LRESULT CMainFrameWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  bHandled = TRUE;
  switch (uMsg) {
    case WM_SO_CREATEPLUGINS:
      CreatePluginWindows();
      return 0;
    case WM_SO_LOGIN:
      OpenLogin(reinterpret_cast<HWND>(wParam), lParam != 0);
      return 0;
    case WM_SO_REGISTER:
      CRegisterDlg::Run(m_hWnd);
      return 0;
    case WM_SO_FINDPASSWORD:
      CFindPasswordDlg::Run(m_hWnd);
      return 0;
    case WM_SO_APPUPDATE:
      AppUpdateWindow::Run(m_hWnd, m_notifyWindow.GetInfo());
      return 0;
    case WM_SO_REDOCK:
      Redock(wParam);
      return 0;
    case WM_SO_TRAYNOTIFY:
      OnTrayNotify(lParam);
      return 0;
    case WM_COPYDATA:
      ImportFolder(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
      bHandled = FALSE;
      return 0;
    case WM_QUERYENDSESSION:
      if (lParam == 1) return 1;
      break;
    case WM_ENDSESSION:
      if (wParam == 1 && lParam == 1) {
        DestroyWindow(m_hWnd);
        return 1;
      }
      break;
    case WM_SIZE:
    case WM_MOVE:
      PlaceNotifyWindow();
      break;
    default:
      break;
  }
  bHandled = FALSE;
  return 0;
}

// ---- Plug-in windows and the bar ----------------------------------------------------------

void CMainFrameWnd::CreatePluginWindows() {
  if (!m_loaded || !m_timerFired || m_created) return;
  {
    std::lock_guard<std::mutex> hold(m_pendingLock);
    m_plugins = std::move(m_pending);
  }
  CControlUI* panel = m_PaintManager.FindControl(L"mainPanel");
  const RECT rc = panel ? panel->GetPos() : RECT{};
  for (SOPluginItem& item : m_plugins) {
    item.frameWindow = m_hWnd;
    item.window = item.plugin->CreateWnd(m_hWnd, rc.left, rc.top, Width(rc), Height(rc));
    const wchar_t* title = item.plugin->GetTitle();
    item.title = title ? title : L"";
    AddBarItem(item);
  }
  if (!m_plugins.empty())
    if (COptionUI* first = ItemOption(m_plugins.front())) first->Selected(true, true);
  SelectTab(m_PaintManager, L"tabLayout", 0);
  m_created = true;
  if (SOAccountStore::AutoLoginAllowed()) PostMessageW(m_hWnd, WM_SO_LOGIN, 0, 1);
}

void CMainFrameWnd::AddBarItem(SOPluginItem& item) {
  auto* bar = dynamic_cast<CContainerUI*>(m_PaintManager.FindControl(L"pluginBar"));
  if (!bar) return;
  CDialogBuilder builder;
  auto* barItem = dynamic_cast<CContainerUI*>(
      builder.Create(L"main/plugin_item.xml", (unsigned int)0, nullptr, &m_PaintManager));
  if (!barItem || barItem->GetCount() < 3) {
    delete barItem;
    return;
  }
  CControlUI* option = barItem->GetItemAt(0);
  option->OnNotify += MakeDelegate(this, &CMainFrameWnd::OnPluginOption);
  option->SetName(item.name.c_str());
  option->SetText(item.title.c_str());
  barItem->GetItemAt(1)->SetBkImage(item.icon.c_str());
  bar->Add(barItem);
  item.barItem = barItem;
}

COptionUI* CMainFrameWnd::ItemOption(const SOPluginItem& item) const {
  auto* barItem = dynamic_cast<CContainerUI*>(item.barItem);
  return barItem ? dynamic_cast<COptionUI*>(barItem->GetItemAt(0)) : nullptr;
}

SOPluginItem* CMainFrameWnd::FindItem(const wchar_t* name) {
  if (!name) return nullptr;
  for (SOPluginItem& item : m_plugins)
    if (item.name == name) return &item;
  return nullptr;
}

bool CMainFrameWnd::OnPluginOption(void* param) {
  auto* msg = static_cast<TNotifyUI*>(param);
  if (msg->sType == L"selectchanged") SelectPlugin(msg->pSender->GetName());
  return true;
}

void CMainFrameWnd::SelectPlugin(const wchar_t* name) {
  SOPluginItem* chosen = FindItem(name);
  if (!chosen) return;
  if (chosen->standaloneWindow) {
    const HWND standalone = chosen->standaloneWindow->GetHWND();
    if (IsIconic(standalone)) ::ShowWindow(standalone, SW_RESTORE);
    SetForegroundWindow(standalone);
    // The bar goes on showing the docked plug-in that is on view.
    for (SOPluginItem& item : m_plugins) {
      if (&item == chosen || item.standaloneWindow || !IsWindowVisible(item.window)) continue;
      if (COptionUI* option = ItemOption(item)) option->Selected(true, false);
      break;
    }
    return;
  }
  for (SOPluginItem& item : m_plugins) {
    if (&item == chosen) {
      if (COptionUI* option = ItemOption(item)) option->Selected(true, false);
      ::ShowWindow(item.window, SW_SHOW);
    } else if (!item.standaloneWindow) {
      ::ShowWindow(item.window, SW_HIDE);
    }
  }
}

RECT CMainFrameWnd::PanelClientRect() const {
  auto* panel = dynamic_cast<CContainerUI*>(m_PaintManager.FindControl(L"mainPanel"));
  if (!panel) return {};
  RECT rc = panel->GetPos();
  const RECT inset = panel->GetInset();
  rc.left += inset.left;
  rc.top += inset.top;
  rc.right -= inset.right;
  rc.bottom -= inset.bottom;
  return rc;
}

bool CMainFrameWnd::OnPanelSize(void*) {
  const RECT rc = PanelClientRect();
  for (SOPluginItem& item : m_plugins) {
    if (item.standaloneWindow || !item.window) continue;
    SetWindowPos(item.window, HWND_TOP, rc.left, rc.top, Width(rc), Height(rc), SWP_NOACTIVATE);
  }
  return true;
}

// ---- ISOExecuter --------------------------------------------------------------------------

bool CMainFrameWnd::HasPlugin(const wchar_t* name) {
  return FindItem(name) != nullptr;
}

bool CMainFrameWnd::ActivatePlugin(const wchar_t* name) {
  if (SOPluginItem* item = FindItem(name))
    if (COptionUI* option = ItemOption(*item)) option->Selected(true, true);
  return true;
}

bool CMainFrameWnd::SetStatusText(const char* text) {
  // Workers call this too: the label is only ever touched on the UI thread.
  std::wstring wide = SOWin::FromUtf8(text ? text : "");
  UiInvoker().BeginInvoke([this, wide = std::move(wide)] {
    if (CControlUI* label = m_PaintManager.FindControl(L"statusTextLabel")) label->SetText(wide.c_str());
  });
  return true;
}

bool CMainFrameWnd::SendCommand(const wchar_t* name, const char* command, void* data) {
  SOPluginItem* item = FindItem(name);
  return item ? item->plugin->OnCommand(command, data) : false;
}

bool CMainFrameWnd::Broadcast(int id, void* data, HWND owner) {
  for (SOPluginItem& item : m_plugins) item.plugin->OnMessage(id, data, owner);
  if (id == SOMSG_LOGIN_REQUIRED && !GetJorvel()->IsLoggedIn())
    PostMessageW(m_hWnd, WM_SO_LOGIN, reinterpret_cast<WPARAM>(data), 0);
  return true;
}

void CMainFrameWnd::SetBadge(ISOPlugin* plugin, int count) {
  if (!plugin) return;
  for (SOPluginItem& item : m_plugins) {
    if (item.plugin != plugin) continue;
    auto* barItem = dynamic_cast<CContainerUI*>(item.barItem);
    CControlUI* badge = barItem ? barItem->GetItemAt(2) : nullptr;
    if (!badge) return;
    if (count > 0) {
      CDuiString text;
      text.Format(L"%d", count);
      badge->SetText(text);
    }
    badge->SetVisible(count > 0);
    return;
  }
}

// ---- Tray, settings button, stand-alone windows -------------------------------------------

void CMainFrameWnd::OnTrayNotify(LPARAM mouse) {
  switch (LOWORD(static_cast<std::uintptr_t>(mouse))) {
    case WM_LBUTTONUP:
      if (!IsWindowVisible(m_hWnd) || IsIconic(m_hWnd)) ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
      SetForegroundWindow(m_hWnd);
      break;
    case WM_RBUTTONUP: {
      CControlUI* setting = m_PaintManager.FindControl(L"settingbtn");
      if (!setting) break;
      POINT pt;
      GetCursorPos(&pt);
      auto* menu = new MenuWnd;  // deletes itself when it closes
      menu->Init(setting, L"main/NotifyIcon_Menu.xml", pt);
      if (menu->GetHWND()) SetForegroundWindow(menu->GetHWND());
      break;
    }
    default:
      break;
  }
}

bool CMainFrameWnd::OnSettingButton(void* param) {
  auto* msg = static_cast<TNotifyUI*>(param);
  if (msg->sType == L"menu_close")
    DestroyWindow(m_hWnd);
  else if (msg->sType == L"click")
    SOSettingDlg::Run(m_hWnd, SOSystemConfig::Instance());
  return true;
}

void CMainFrameWnd::SplitWindow() {
  SOPluginItem* onView = nullptr;
  for (SOPluginItem& item : m_plugins) {
    if (!item.standaloneWindow && item.window && IsWindowVisible(item.window)) {
      onView = &item;
      break;
    }
  }
  if (!onView) return;
  auto* standalone = new SOStandaloneWnd;  // deletes itself at its final message
  if (!standalone->Create(nullptr, L"SOStandaloneWnd", WS_VISIBLE | WS_OVERLAPPEDWINDOW, WS_EX_WINDOWEDGE, 0, 0,
                          600, 320)) {
    return;
  }
  standalone->CenterWindow();
  onView->standaloneWindow = standalone;
  if (COptionUI* option = ItemOption(*onView)) option->Selected(false, true);
  standalone->Attach(onView, ItemOption(*onView));
  standalone->ShowWindow(true, true);
  for (SOPluginItem& item : m_plugins) {
    if (item.standaloneWindow) continue;
    SelectPlugin(item.name.c_str());
    break;
  }
}

void CMainFrameWnd::Redock(WPARAM param) {
  const RECT rc = PanelClientRect();
  for (SOPluginItem& item : m_plugins) {
    if (reinterpret_cast<WPARAM>(&item) != param) continue;
    SetWindowPos(item.window, HWND_TOP, rc.left, rc.top, Width(rc), Height(rc), SWP_NOACTIVATE);
    return;
  }
}

// ---- Folder import ------------------------------------------------------------------------

void CMainFrameWnd::ImportFolder(const COPYDATASTRUCT* data) {
  if (!data || !data->lpData) return;
  // The sender's bytes are read within their length only, up to the first NUL.
  const char* bytes = static_cast<const char*>(data->lpData);
  std::string folder(bytes, strnlen(bytes, data->cbData));
  ShellWorkers().Start([folder = std::move(folder)] {
    std::vector<std::string> files;
    SOUtil::FindFiles(folder.c_str(), files, true);
    IKelvast* store = ShellStore::LocalDB();
    if (!store) return;
    for (const std::string& file : files) store->QueueFilePath(file.c_str());
    store->CommitQueue();
  });
}

// ---- Login state --------------------------------------------------------------------------

void CMainFrameWnd::OnLogin(int) {
  UiInvoker().BeginInvoke([this] { RefreshLoginState(); });
}

void CMainFrameWnd::OnLogout() {
  UiInvoker().BeginInvoke([this] { RefreshLoginState(); });
}

void CMainFrameWnd::RefreshLoginState() {
  auto* tabs = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"loginTabLayout"));
  CControlUI* userName = m_PaintManager.FindControl(L"userNameBtn");
  if (!tabs || !userName) return;
  const bool loggedIn = GetJorvel()->IsLoggedIn();
  tabs->SelectItem(loggedIn ? 1 : 0);
  userName->SetText(loggedIn ? SOWin::FromUtf8(GetJorvel()->GetUserInfo()->userName).c_str() : L"");
}

void CMainFrameWnd::OpenLogin(HWND owner, bool autoLogin) {
  if (m_loginOpen) return;
  m_loginOpen = true;
  CLoginDlg::Run(owner && IsWindow(owner) ? owner : m_hWnd, m_hWnd, autoLogin);
  m_loginOpen = false;
}

bool CMainFrameWnd::OnUserNameButton(void* param) {
  auto* msg = static_cast<TNotifyUI*>(param);
  if (msg->sType == L"click") {
    const RECT rc = msg->pSender->GetPos();
    POINT pt{rc.right - 100, rc.bottom};
    ClientToScreen(m_hWnd, &pt);
    MenuBoxUI(msg->pSender, L"main/LoginMenu.xml", pt);
  } else if (msg->sType == L"MENU_LOGOUT") {
    GetJorvel()->Logout();
  } else if (msg->sType == L"MENU_PERSON_INFO") {
    PersonalInfoDlg::Run(m_hWnd);
  }
  return true;
}

// ---- Start-up notice and update -----------------------------------------------------------

void CMainFrameWnd::CheckForUpdate() {
  ShellWorkers().Start([this] {
    AppTraceRequest trace{kProductName, kAppVersion, {}};
    int count = 0;
    if (IKelvast* store = ShellStore::LocalDB(); store && store->GetStudyCount(&count))
      trace.studyCount = std::to_string(count);
    AppTraceAnswer notice;
    Web_AppTrace(&trace, &notice);
    const std::string product = kProductName, version = kAppVersion;
    UpdateInfo update;
    WebError error;
    Web_UpdateCheck(&product, &version, &update, &error);
    UiInvoker().BeginInvoke([this, notice, update] {
      m_noticeType = notice.noticeType;
      m_noticeContent = notice.noticeContent;
      if (CControlUI* button = m_PaintManager.FindControl(L"notifyBtn"))
        button->SetVisible(m_noticeType == "web" || m_noticeType == "msg");
      if (!update.url.empty() && !SafeDownloadName(update.fileName).empty()) m_notifyWindow.Announce(update);
    });
  });
}

void CMainFrameWnd::ShowNotice() {
  if (m_noticeType == "web") {
    // Only web pages: the service's text never names a local file or program to run.
    if (m_noticeContent.rfind("http://", 0) == 0 || m_noticeContent.rfind("https://", 0) == 0)
      ShellExecuteA(m_hWnd, "open", m_noticeContent.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  } else if (m_noticeType == "msg") {
    MessageBoxUI(m_hWnd, SOWin::FromUtf8(m_noticeContent).c_str(), nullptr, 0);
  }
  if (CControlUI* button = m_PaintManager.FindControl(L"notifyBtn")) button->SetVisible(false);
}

void CMainFrameWnd::PlaceNotifyWindow() {
  if (!m_notifyWindow.GetHWND()) return;
  RECT frame;
  GetWindowRect(m_hWnd, &frame);
  SetWindowPos(m_notifyWindow.GetHWND(), nullptr, frame.right - 368, frame.bottom - 182, 360, 150,
               SWP_NOZORDER | SWP_NOACTIVATE);
}
