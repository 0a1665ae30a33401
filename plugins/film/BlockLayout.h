#pragma once

#include "UIlib.h"

#include <functional>

namespace brenvik {

// A pop-up grid of tiles over which the user sweeps out an image layout; a click chooses it,
// losing the focus closes it without a choice. Deletes itself when closed.
class BlockLayout : public DuiLib::WindowImplBase {
 public:
  using Handler = std::function<void(int rows, int columns)>;
  explicit BlockLayout(Handler handler) : m_handler(std::move(handler)) {}
  const wchar_t* GetWindowClassName() const override { return L"BlockLayout"; }
  void InitWindow() override;
  void OnFinalMessage(HWND hWnd) override;

  // Opens a picker of 100 x 120 at the screen point.
  static BlockLayout* Open(HWND owner, POINT at, Handler handler);

  // Marks the tiles whose top-left corner lies above and left of (x, y); rows and columns of
  // the marked block (0 and 0 when none).
  void Mark(int x, int y, int& rows, int& columns);

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"film/layout.xml"; }
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  LRESULT OnKillFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  Handler m_handler;
  DuiLib::CTileLayoutUI* m_tiles = nullptr;
  DuiLib::CControlUI* m_label = nullptr;
};

}  // namespace brenvik
