#pragma once

#include <memory>
#include <vector>

#include "SOFilmBoxWindow.h"
#include "SOFilmSession.h"
#include "SOWindowBase.h"

// Posted to a session window to page through its films; wParam: how many films.
constexpr UINT SO_MSG_FILM_PAGE_UP = 8033;
constexpr UINT SO_MSG_FILM_PAGE_DOWN = 8034;

// A session's films on screen: a grid of film box windows (the film layout) from the session's
// current film on, paged with the mouse wheel, with a page counter. Owns its session. UI thread
// only.
class SOFilmSessionWindow : public SOWindowBase, public ISOFilmSessionCallback, public ISOFilmBoxWindowCallback {
 public:
  SOFilmSessionWindow();
  ~SOFilmSessionWindow() override;

  const wchar_t* GetWindowClassName() override { return L"SOFilmSessionWindowClass"; }
  DWORD GetWindowClassStyle() override { return CS_HREDRAW | CS_VREDRAW; }
  const wchar_t* GetWindowName() override { return L"SOFilmSessionWindow"; }
  DWORD GetWndStyle() override { return WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN; }

  SOFilmSession& GetSession() { return session_; }
  // How many films show at once; false unless both are at least 1.
  bool SetFilmLayout(int rows, int cols);
  void SetMouseTool(int tool);
  void SetBackgroundColor(unsigned long argb) { background_ = argb; }
  int GetFilmBoxWindowCount() const { return static_cast<int>(windows_.size()); }
  SOFilmBoxWindow* GetFilmBoxWindow(int index) const;
  void LayoutFilms();

  void OnSessionChanged(ISOFilmSession* session) override;
  void OnFilmBoxRemoved(ISOFilmSession* session, ISOFilmBox* filmBox) override;
  void OnFilmBoxWindowMouseDown(SOFilmBoxWindow* window, SOImageWindow* sender, UINT msg, WPARAM wParam,
                                LPARAM lParam) override;

  LRESULT HandleCustomerMessage(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnMouseWheel(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnPaint(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnSize(WPARAM wParam, LPARAM lParam, BOOL& handled) override;

 private:
  // Lets a film box window go of its film before it goes or shows another.
  static void Detach(SOFilmBoxWindow& window);
  // Where the page counter is drawn in a client area.
  static RECT CounterRect(const RECT& client);

  SOFilmSession session_;
  std::vector<std::unique_ptr<SOFilmBoxWindow>> windows_;
  int rows_ = 0;
  int cols_ = 0;
  int tool_ = 0;
  unsigned long background_ = 0xFF939393;
};
