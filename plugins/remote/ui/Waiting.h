#pragma once

#include <memory>

#include "RemoteUI.h"

// The waiting overlay of a dialog that waits for a web call: the skin's three-page tab layout
// "waitingLayout" (waiting, success, error). A result page stays up for a moment; then the
// overlay goes and, after a success, the dialog closes. The dialog's close command is greyed
// while the overlay shows. A member of its dialog; UI thread only.
class UIX_Waiting {
 public:
  UIX_Waiting();
  ~UIX_Waiting();
  UIX_Waiting(const UIX_Waiting&) = delete;
  UIX_Waiting& operator=(const UIX_Waiting&) = delete;

  void Init(HWND hwnd, DuiLib::CPaintManagerUI* pm);
  void Show();
  void Hide();
  void Success();
  void Error(const wchar_t* text);

  // How long a result page stays up (ms); tests shorten it.
  static void SetResultDelay(int ms);
  static int ResultDelay();

 private:
  void SetPage(int page, bool visible);
  void EnableClose(bool enable);
  void StartDelay();
  void Finish();
  bool OnParentSize(void*);

  HWND hwnd_ = nullptr;
  DuiLib::CPaintManagerUI* pm_ = nullptr;
  DuiLib::CTabLayoutUI* layout_ = nullptr;
  DuiLib::CControlUI* errorLabel_ = nullptr;
  bool closeOnDone_ = false;
  // Every Show, Hide or result moves it: a result delay started before belongs to a page that
  // is no longer up and ends without touching the overlay.
  int generation_ = 0;
  // Bound to the dialog: a delay that ends after the dialog is gone is dropped.
  std::shared_ptr<DuiLib::CInvoke> invoker_;
};
