#pragma once

#include "UIWindow.h"

namespace DuiLib {

// A skinned popup menu. Its skin lists items (list elements or buttons); a click on an
// item sends the owner control a queued notification whose type is the item's name and
// whose wParam is the item's user data read as a hexadecimal number. The menu closes on
// a choice, on Escape and when it loses the focus, and deletes itself.
class MenuWnd : public CWindowWnd, public INotifyUI {
 public:
  MenuWnd();
  ~MenuWnd() override;
  // Shows the menu at `point` (screen coordinates) for `owner`; nothing when owner is null.
  void Init(CControlUI* owner, CDuiString skin, POINT point);
  const wchar_t* GetWindowClassName() const override { return L"MenuWnd"; }
  void AdjustPostion();
  void Notify(TNotifyUI& msg) override;
  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND hWnd) override;
  CPaintManagerUI& GetPaintManager() { return m_pm; }

 private:
  // The owner may go while the menu is open; the menu then sends nothing.
  bool OnOwnerDestroyed(void*);

  CPaintManagerUI m_pm;
  CControlUI* m_pOwner = nullptr;
  CDuiString m_sSkin;
  POINT m_ptBase{};
};

// A soft drop shadow around a frameless window. The window layer here cannot draw outside
// a window, so the shadow accepts its settings and draws nothing.
class CWndShadow {
 public:
  static bool Initialize(HINSTANCE instance);
  void Create(HWND parent);
  bool SetSize(int size);
  bool SetSharpness(unsigned int sharpness);
  bool SetDarkness(unsigned int darkness);
  bool SetPosition(int x, int y);
  bool SetColor(COLORREF color);
};

}  // namespace DuiLib
