#pragma once

// Zarnet: the shared skinned boxes (message, save, progress), the popup menu box and the
// plain window base with the avatar crop window. UI thread only.

#include "UIlib.h"

#include <memory>

// Messages a CProgressBoxUI sends its parent (wParam: the box, lParam: 0).
constexpr UINT ProgressBoxClosedMessage = WM_USER + 8000;  // auto-delete box about to delete itself
constexpr UINT ProgressBoxCancelMessage = WM_USER + 8001;  // "cancelBtn" clicked; the box stays open

// A modal skinned message box. style: 0 confirm, 1 cancel + confirm, 4 yes + no (any other
// value acts as 0). Returns IDOK (1), IDCANCEL (2, also when closed otherwise), IDYES (6), IDNO (7).
// A null caption shows "Message".
int MessageBoxUI(HWND parent, const wchar_t* text, const wchar_t* caption, unsigned int style);

// A modal "save changes?" box: 6 yes, 7 no, 2 cancel or closed. The texts are not shown.
int SaveBoxUI(HWND parent, const wchar_t* text, const wchar_t* caption);

// A skinned progress box (message, 0-100 bar, waiting page, cancel button). Its owner
// creates it with Create(parent, L"ProgressBox", 0x86C80000, 0, 0, 0, 0, 0), shows it and
// drives it; with auto-delete it deletes itself when its window goes, after sending its
// parent ProgressBoxClosedMessage.
class CProgressBoxUI : public DuiLib::WndDialog {
 public:
  CProgressBoxUI();
  ~CProgressBoxUI() override;

  // Null is ignored.
  void SetText(const wchar_t* text);
  // Clamped to 100.
  void SetProgress(unsigned short value);
  // true closes the box 500 ms from now; false leaves a running countdown alone.
  void SetAutoClose(bool on);
  // Page 1 ("waiting") or 0 of the skin's "switch".
  void EnableWaiting(bool on);
  // Chooses the skin with a title bar; only before the window is created.
  void EnableTitleBar(bool on);
  void EnableAutoDelete(bool on);
  int GetResult() const { return m_nResult; }

  const wchar_t* GetWindowClassName() const override { return L"CProgressBoxUI"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  void OnFinalMessage(HWND hWnd) override;

 protected:
  DuiLib::CDuiString GetSkinFolder() override;
  DuiLib::CDuiString GetSkinFile() override;
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  // Stops being the shared box of ProgressBoxUI once it begins to close.
  void LeaveShared();

  int m_nResult = IDCANCEL;
  DuiLib::CButtonUI* m_pCancelBtn = nullptr;
  DuiLib::CProgressUI* m_pProgress = nullptr;
  UINT_PTR m_nTimer = 0;
  bool m_bTitleBar = false;
  bool m_bAutoDelete = false;
  HWND m_hParent = nullptr;
  DuiLib::CWndShadow m_shadow;
};

// The process's shared modal progress box. The first call opens it and returns (2) when it
// closes; calls made while it is open (from messages its loop dispatches) update it and
// return 0. value is clamped to 100; a null text keeps the shown one.
int ProgressBoxUI(HWND parent, unsigned short value, const wchar_t* text, bool autoClose, bool waiting);
// Closes the shared box when one is open.
void ProgressBoxUI_Close();

// The popup menu of MenuBoxUI (a skinned menu that deletes itself when it closes).
class SOMenuWnd : public DuiLib::MenuWnd {};

// Shows the menu skin at `point` (screen coordinates) for `owner`; a choice reaches the owner
// as a queued notification whose type is the item's name and whose wParam is the item's
// hexadecimal user data. Returns at once, always 0; nothing is shown for a null owner.
int MenuBoxUI(DuiLib::CControlUI* owner, const wchar_t* skin, POINT point);

// A plain window whose messages go to virtual handlers. Each handler leaves `handled` false
// by default, which sends the message on to DefWindowProcW.
class CWindowBase {
 public:
  CWindowBase() = default;
  virtual ~CWindowBase();
  CWindowBase(const CWindowBase&) = delete;
  CWindowBase& operator=(const CWindowBase&) = delete;

  // Registers the class when needed and creates the window; null on failure.
  HWND Create(HWND parent, int x, int y, int cx, int cy);
  // Repaints everything now.
  void UpdateWindow();
  void ShowWindow(bool show);
  void SetFocus();
  RECT GetRectInParent() const { return m_rcInParent; }
  HWND GetWnd() const { return m_hWnd; }

  virtual BOOL MoveWindow(int x, int y, int cx, int cy);
  virtual const wchar_t* GetClassNameW() = 0;
  virtual DWORD GetClassStyle() = 0;
  virtual const wchar_t* GetWindowName() = 0;
  virtual DWORD GetWndStyle() = 0;
  virtual DWORD GetWndStyleEx() { return 0; }

  virtual LRESULT OnCreate(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnPaint(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnSize(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnMouseMove(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnMouseHover(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnMouseLeave(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnLButtonDBClick(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnLButtonDown(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnLButtonUp(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnRButtonDown(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnRButtonUp(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnMButtonDown(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnMButtonUp(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnMouseWheel(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnCommand(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnCtlColorEdit(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnCtlColorStatic(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnKeyDown(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnKeyUp(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnSetCursor(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnChar(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnIMEChar(WPARAM, LPARAM, BOOL& handled);
  virtual LRESULT OnContextMenu(WPARAM, LPARAM, BOOL& handled);

 protected:
  HWND m_hWnd = nullptr;
  RECT m_rcInParent{};

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
};

// A child window showing a picture under a square crop frame with a rule-of-thirds grid;
// the square (the picture's centred square) comes out as JPEG bytes.
class CAvatarWnd : public CWindowBase {
 public:
  CAvatarWnd();
  ~CAvatarWnd() override;

  // Replace the picture (the old one goes even when the new one does not decode).
  bool LoadImageFile(const char* path);
  bool LoadImageMemory(const unsigned char* data, unsigned long size);
  // The centred square as JPEG (quality 80) in a new[] array the caller delete[]s.
  // False, outputs untouched, without a picture or when encoding fails.
  bool GetAvatarImage(unsigned char*& data, unsigned long& size);

  const wchar_t* GetClassNameW() override { return L"AvatarWnd"; }
  DWORD GetClassStyle() override { return CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS; }
  const wchar_t* GetWindowName() override { return L"AvatarWnd"; }
  DWORD GetWndStyle() override { return WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN; }
  LRESULT OnPaint(WPARAM, LPARAM, BOOL& handled) override;
  LRESULT OnSize(WPARAM, LPARAM, BOOL& handled) override;

 private:
  struct State;
  void Repaint();
  std::unique_ptr<State> m_state;
};
