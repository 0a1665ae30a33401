#pragma once

#include "SOWin32.h"

// A plain window of the viewer library: owns one window, registers its class on first use,
// binds the window to this object through the window's user data and turns the messages the
// viewer needs into virtual handlers. The film layout control derives its windows from it.
//
// A handler that takes a message sets handled to true and its result becomes the window
// procedure's; an untaken message goes on to HandleCustomerMessage, then to DefWindowProcW.
//
// Derived classes with state of their own call DestroyOwnWindow() first in their destructor,
// so no late message (destruction, mouse) reaches members already freed.
class SOWindowBase {
 public:
  SOWindowBase();
  SOWindowBase(const SOWindowBase&) = delete;
  SOWindowBase& operator=(const SOWindowBase&) = delete;
  virtual ~SOWindowBase();

  // Null when the class cannot be registered or the window cannot be made.
  HWND Create(HWND parent, int x, int y, int cx, int cy);
  // Stores (x, y, x + cx, y + cy) as the window's rectangle, then moves it.
  BOOL MoveWindow(int x, int y, int cx, int cy);
  // Invalidates and repaints at once.
  void UpdateWindow();
  void ShowWindow(bool show);
  void SetFocus();
  // The rectangle last given to MoveWindow (the position in the parent), zero before.
  RECT GetWindowRect();
  HWND GetWindow();

  virtual const wchar_t* GetWindowClassName() = 0;
  virtual DWORD GetWindowClassStyle() = 0;
  virtual const wchar_t* GetWindowName() = 0;
  virtual DWORD GetWndStyle() = 0;
  virtual DWORD GetWndStyleEx() { return 0; }

  virtual LRESULT HandleCustomerMessage(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnCreate(WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnPaint(WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnSize(WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnMouseMove(WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnMouseHover(WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnMouseLeave(WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnLButtonDBClick(WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnLButtonDown(WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnLButtonUp(WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnRButtonDown(WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnRButtonUp(WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnMButtonDown(WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnMButtonUp(WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnMouseWheel(WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnCommand(WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnCtlColorEdit(WPARAM wParam, LPARAM lParam, BOOL& handled);
  // Kept for derived classes; WM_CTLCOLORSTATIC goes to HandleCustomerMessage.
  virtual LRESULT OnCtlColorStatic(WPARAM wParam, LPARAM lParam, BOOL& handled);
  // Shift, Ctrl, Delete and F1 to F12 only; F10 also as a system key.
  virtual LRESULT OnKeyDown(WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnKeyUp(WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnSetCursor(WPARAM wParam, LPARAM lParam, BOOL& handled);

 protected:
  // Unbinds this object from its window and destroys the window (children included).
  void DestroyOwnWindow();

 private:
  int RegisterWindowClass();
  static LRESULT _WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

  HWND hwnd_ = nullptr;  // cleared when the window is destroyed
  RECT rect_{};
};
