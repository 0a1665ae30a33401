#pragma once

#include "UIDlgBuilder.h"
#include "UIManager.h"

namespace DuiLib {

// A window of the process's window layer, handled by an object. The object is attached
// to the window from WM_NCCREATE to WM_NCDESTROY; OnFinalMessage runs after that (a
// window created on the heap usually deletes itself there).
class CWindowWnd {
 public:
  CWindowWnd();
  virtual ~CWindowWnd();

  HWND GetHWND() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }

  bool RegisterWindowClass();
  HWND Create(HWND hwndParent, const wchar_t* pstrName, DWORD dwStyle, DWORD dwExStyle, const RECT rc,
              HMENU hMenu = nullptr);
  HWND Create(HWND hwndParent, const wchar_t* pstrName, DWORD dwStyle, DWORD dwExStyle, int x = CW_USEDEFAULT,
              int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT, HMENU hMenu = nullptr);
  HWND CreateDuiWindow(HWND hwndParent, const wchar_t* pstrWindowName, DWORD dwStyle = 0,
                       DWORD dwExStyle = 0);

  void ShowWindow(bool bShow = true, bool bTakeFocus = true);
  // Shows the window and runs a message loop until it is destroyed; the owner chain gets
  // no input meanwhile, while posts, timers and invokes keep running. Returns Close's value.
  UINT ShowModal();
  // Closes the window (WM_CLOSE with wParam = nRet).
  void Close(UINT nRet = IDOK);
  // Centres on the owner window, or on the screen's work area without one.
  void CenterWindow();
  void SetIcon(UINT nRes);
  LRESULT SendMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
  LRESULT PostMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
  void ResizeClient(int cx = -1, int cy = -1);

  // `observer` sees every modal loop of the process start, with its window shown (UI thread).
  static void AddModalObserver(std::function<void(CWindowWnd* window)> observer);

  virtual const wchar_t* GetWindowClassName() const = 0;
  virtual UINT GetClassStyle() const { return 0; }
  virtual LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);
  virtual void OnFinalMessage(HWND hWnd) {}

 protected:
  static LRESULT CALLBACK __WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

  HWND m_hWnd = nullptr;
  bool m_bModal = false;
  UINT m_nModalResult = 0;
};

// A window built from a skin: GetSkinFolder + GetSkinFile is read at WM_CREATE, the
// window gets the skin's size, and "windowinit" is sent once the window shows.
class WindowImplBase : public CWindowWnd,
                       public INotifyUI,
                       public IMessageFilterUI,
                       public IDialogBuilderCallback {
 public:
  WindowImplBase() = default;
  ~WindowImplBase() override = default;

  virtual void InitWindow() {}
  // Skinned windows take double-clicks (lists open rows with them).
  UINT GetClassStyle() const override { return CS_DBLCLKS; }
  void OnFinalMessage(HWND hWnd) override;
  void Notify(TNotifyUI& msg) override;
  CPaintManagerUI* GetPaintManager() { return &m_PaintManager; }

  CPaintManagerUI m_PaintManager;

 protected:
  virtual CDuiString GetSkinFolder() = 0;
  virtual CDuiString GetSkinFile() = 0;
  const wchar_t* GetWindowClassName() const override = 0;
  virtual LRESULT ResponseDefaultKeyEvent(WPARAM wParam);
  CControlUI* CreateControl(const wchar_t* pstrClass) override { return nullptr; }
  // Default click handling: "closebtn" closes, "minbtn"/"maxbtn"/"restorebtn" resize.
  virtual void OnClick(TNotifyUI& msg);

  LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  virtual LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnGetMinMaxInfo(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnKeyDown(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnKillFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnSetFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnTimer(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  virtual LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  // Messages the class handles itself; set bHandled to stop the default handling.
  virtual LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);

 private:
  // The skin's caption area (outside buttons, edits, combos and sliders) moves the frameless
  // window; its size box (the skin's "sizebox" border) resizes it.
  bool MoveOrSize(UINT uMsg, LPARAM lParam);
  UINT SizeEdgesAt(POINT pt);

  bool m_bDragging = false;
  UINT m_uSizeEdges = 0;
  POINT m_ptDragStart{};
  RECT m_rcDragStart{};
};

// A skinned dialog: a WindowImplBase whose title follows SetTitle and whose Escape key
// closes it with IDCANCEL.
class WndDialog : public WindowImplBase {
 public:
  // Sets the window text and the text of the skin's "titleLabel" or "title" control.
  void SetTitle(const wchar_t* title);
  CDuiString GetTitle() const { return m_sTitle; }

 protected:
  LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;

 private:
  CDuiString m_sTitle;
};

}  // namespace DuiLib
