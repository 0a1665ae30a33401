#include "SOImageWindow.h"

#include <algorithm>
#include <cmath>

#include "LumexaModule.h"
#include "SOBufferedPaint.h"
#include "SOGdi.h"
#include "SOGdiPlus.h"
#include "SOImageObject.h"
#include "SOToolKinds.h"
#include "SORectF.h"

namespace {

template <typename T>
void AddOnce(std::vector<T*>& list, T* item) {
  if (item && std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

template <typename T>
void RemoveFrom(std::vector<T*>& list, T* item) {
  if (item) list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

}  // namespace

struct SOImageWindow::Members {
  SOImageObject* image = nullptr;  // borrowed
  SOPluginMgr plugins;
  std::vector<ISOImageWindowCallback*> callbacks;
  std::vector<IPluginHostCallback*> hostCallbacks;
  std::map<int, void*> userData;
  int index = 0;
  RECT renderRect{};
  bool showSelectedBorder = true;
  bool hidePatientData = false;
  SOPaintBitmap paintBitmap;
  int handling = 0;               // pointer moves being handled; their repaints wait for the end
};

// The tools every 2D cell carries, in drawing order; they come from the tools library.
void AddImageWindowPlugins(SOPluginMgr& mgr);

SOImageWindow::SOImageWindow() : m_(std::make_unique<Members>()) {
  AddImageWindowPlugins(m_->plugins);
  m_->plugins.SetRButtonPlugin("WW");
  m_->plugins.SetMButtonPlugin("ZOOM");
  m_->plugins.SetPluginHost(this);
}

SOImageWindow::~SOImageWindow() {
  // The window goes first so no late message reaches the plug-ins or the callbacks.
  DestroyOwnWindow();
  if (m_->image) m_->image->UnRegisterCallback(this);
  m_->plugins.Clear();
}

void SOImageWindow::SetMouseLeft(const char* name) {
  m_->plugins.SetLButtonPlugin(name);
}

void SOImageWindow::SetMouseMode2D(SOMouseMode2D mode) {
  static const char* const kNames[] = {"", "WW", "ZOOM", "PAN", "VALUE", "RECTANGLE", "ELLIPSE", "LENGTH", "ANGLE"};
  const int m = static_cast<int>(mode);
  m_->plugins.SetLButtonPlugin(m >= 0 && m <= 8 ? kNames[m] : "");
}

SOMouseMode2D SOImageWindow::GetMouseMode2D() {
  const char* name = m_->plugins.GetLButtonPlugin();
  if (!name) return SOMouseModeNone;
  const std::string n = name;
  if (n == "WW") return SOMouseModeWW;
  if (n == "ZOOM") return SOMouseModeZoom;
  if (n == "PAN") return SOMouseModePan;
  return SOMouseModeNone;
}

ISOImageObject* SOImageWindow::GetImageObject() {
  return m_->image;
}

bool SOImageWindow::SetLocationLine(ISOImageObject* reference) {
  return m_->plugins.SetLocationLine(reference);
}

void SOImageWindow::HidePatientData(bool hide) {
  if (m_->hidePatientData == hide) return;
  m_->hidePatientData = hide;
  Repaint();
}

bool SOImageWindow::IsHidePatientData() {
  return m_->hidePatientData;
}

void SOImageWindow::OnImageObjectUpdated(SOImageObject* sender, unsigned int event, long) {
  if (sender == m_->image && event == SOImageDataUpdated) Repaint();
}

ISOImageObject* SOImageWindow::GetDataObject() {
  return m_->image;
}

namespace {

SORectF ToRectF(const RECT& r) {
  return SORectF{static_cast<float>(r.left), static_cast<float>(r.top), static_cast<float>(r.right - r.left),
                 static_cast<float>(r.bottom - r.top)};
}

}  // namespace

bool SOImageWindow::ScreenToImageCoords(const double* in, double* out) {
  return m_->image && m_->image->RenderRectToImageCoords(ToRectF(m_->renderRect), in, out);
}

bool SOImageWindow::ScreenToImageCoords(const SOPointF& in, SOPointF& out) {
  return m_->image && m_->image->RenderRectToImageCoords(ToRectF(m_->renderRect), in, out);
}

bool SOImageWindow::ImageToScreenCoords(const double* in, double* out) {
  return m_->image && m_->image->ImageToRenderRectCoords(ToRectF(m_->renderRect), in, out);
}

bool SOImageWindow::ImageToScreenCoords(const SOPointF& in, SOPointF& out) {
  return m_->image && m_->image->ImageToRenderRectCoords(ToRectF(m_->renderRect), in, out);
}

void SOImageWindow::RegisterHostCallback(IPluginHostCallback* callback) {
  AddOnce(m_->hostCallbacks, callback);
}

void SOImageWindow::UnRegisterHostCallback(IPluginHostCallback* callback) {
  RemoveFrom(m_->hostCallbacks, callback);
}

bool SOImageWindow::GetDeviceSize(int& cx, int& cy) {
  cx = ::GetSystemMetrics(SM_CXSCREEN);
  cy = ::GetSystemMetrics(SM_CYSCREEN);
  return true;
}

bool SOImageWindow::GetFontSize(float& size) {
  const RECT r = GetScreenRect();
  const double h = std::abs(r.bottom - r.top);
  int sx = 0, sy = 0;
  GetDeviceSize(sx, sy);
  // An empty or unlaid window has no text size of its own.
  if (h <= 0 || sy <= 0) return false;
  const double d = std::clamp(h / (sy * 0.618) * 34.0, 16.0, 34.0);
  const double pixels = h / d;
  HDC screen = ::GetDC(nullptr);
  if (!screen) return false;
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  if (dpi <= 0) return false;
  size = static_cast<float>(pixels / dpi * 72.0);
  return true;
}

void* SOImageWindow::GetUserData(int key) {
  auto it = m_->userData.find(key);
  return it == m_->userData.end() ? nullptr : it->second;
}

void SOImageWindow::SetUserData(void* data, int key) {
  m_->userData[key] = data;
}

int SOImageWindow::GetImageObjectIndex() {
  return m_->index;
}

void SOImageWindow::SetImageObject(SOImageObject* image, int index) {
  m_->index = index;
  if (image == m_->image) return;
  if (m_->image) m_->image->UnRegisterCallback(this);
  m_->image = image;
  if (image) image->RegisterCallback(this);
  TriggerImageObjectChangedEvent(image);
  Repaint();
}

SOImageObject* SOImageWindow::GetSOImageObject() {
  return m_->image;
}

void SOImageWindow::RegisterCallback(ISOImageWindowCallback* callback) {
  AddOnce(m_->callbacks, callback);
}

void SOImageWindow::UnRegisterCallback(ISOImageWindowCallback* callback) {
  RemoveFrom(m_->callbacks, callback);
}

void SOImageWindow::SetTextColor(unsigned long color) {
  m_->plugins.SetTextColor(color, nullptr);
}

void SOImageWindow::SetLineColor(unsigned long color) {
  m_->plugins.SetLineColor(color, nullptr);
}

void SOImageWindow::ShowSelectedBorder(bool show) {
  if (m_->showSelectedBorder == show) return;
  m_->showSelectedBorder = show;
  if (m_->image && m_->image->IsSelected()) Repaint();
}

void SOImageWindow::EnablePlugin(const char* name, bool enable, bool redraw) {
  ISOCtrlPlugin* plugin = m_->plugins.GetPlugin(name);
  if (!plugin) return;
  plugin->SetEnable(enable);
  if (redraw) Repaint();
}

SOPluginMgr& SOImageWindow::GetPluginMgr() {
  return m_->plugins;
}

bool SOImageWindow::GetImageRenderSize(int& cx, int& cy) {
  RECT client{};
  if (!::GetClientRect(GetWindow(), &client)) return false;
  cx = client.right - 2;
  cy = client.bottom - 2;
  return true;
}

bool SOImageWindow::NotifyMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  const bool move = msg == WM_MOUSEMOVE;
  m_->handling += move;
  const bool taken = m_->image ? m_->plugins.OnMessage(msg, wParam, lParam) : false;
  TriggerImageWindowMessageEvent(msg, wParam, lParam);
  if (move && --m_->handling == 0 && GetWindow()) ::UpdateWindow(GetWindow());
  return taken;
}

// A pointer move often changes a window twice (a drag moves the pointer text and windows the
// image): while it is handled the repaint only marks the window, and it paints once at the end.
// Other messages paint at once: a press relies on its paint to place a new graphic's handles.
void SOImageWindow::Repaint() {
  if (m_->handling > 0)
    ::InvalidateRect(GetWindow(), nullptr, TRUE);
  else
    UpdateWindow();
}

void SOImageWindow::TriggerImageWindowMessageEvent(UINT msg, WPARAM wParam, LPARAM lParam) {
  const auto callbacks = m_->callbacks;
  for (ISOImageWindowCallback* c : callbacks) c->OnImageWindowMessageEvent(this, msg, wParam, lParam);
}

void SOImageWindow::TriggerImageObjectChangedEvent(ISOImageObject* image) {
  const auto callbacks = m_->callbacks;
  for (ISOImageWindowCallback* c : callbacks) c->OnImageObjectChangedEvent(this, image);
  const auto hostCallbacks = m_->hostCallbacks;
  for (IPluginHostCallback* c : hostCallbacks) c->OnImageObjectChangedEvent(image);
}

LRESULT SOImageWindow::OnMouseMove(WPARAM wParam, LPARAM lParam, BOOL& handled) {
  handled = NotifyMessage(WM_MOUSEMOVE, wParam, lParam);
  // A view drag whose release went elsewhere ends with the first move without a button.
  if (!(wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) && LumexaInViewDrag()) LumexaEndViewDrag();
  if (!GetWindow()) return 0;
  // Leave too, so the pointer line and other hover state clear when the pointer goes.
  TRACKMOUSEEVENT tme{};
  tme.cbSize = sizeof(tme);
  tme.dwFlags = TME_HOVER | TME_LEAVE;
  tme.hwndTrack = GetWindow();
  tme.dwHoverTime = 100;
  ::TrackMouseEvent(&tme);
  return 0;
}

LRESULT SOImageWindow::OnMouseHover(WPARAM wParam, LPARAM lParam, BOOL& handled) {
  handled = NotifyMessage(WM_MOUSEHOVER, wParam, lParam);
  return 0;
}

LRESULT SOImageWindow::OnMouseLeave(WPARAM wParam, LPARAM lParam, BOOL& handled) {
  handled = NotifyMessage(WM_MOUSELEAVE, wParam, lParam);
  return 0;
}

LRESULT SOImageWindow::OnLButtonDBClick(WPARAM wParam, LPARAM lParam, BOOL& handled) {
  handled = NotifyMessage(WM_LBUTTONDBLCLK, wParam, lParam);
  return 0;
}

LRESULT SOImageWindow::OnLButtonDown(WPARAM wParam, LPARAM lParam, BOOL& handled) {
  ::SetFocus(GetWindow());
  ::SetCapture(GetWindow());
  handled = NotifyMessage(WM_LBUTTONDOWN, wParam, lParam);
  return 0;
}

LRESULT SOImageWindow::OnRButtonDown(WPARAM wParam, LPARAM lParam, BOOL& handled) {
  ::SetFocus(GetWindow());
  ::SetCapture(GetWindow());
  handled = NotifyMessage(WM_RBUTTONDOWN, wParam, lParam);
  return 0;
}

LRESULT SOImageWindow::OnMButtonDown(WPARAM wParam, LPARAM lParam, BOOL& handled) {
  ::SetCapture(GetWindow());
  handled = NotifyMessage(WM_MBUTTONDOWN, wParam, lParam);
  return 0;
}

LRESULT SOImageWindow::OnLButtonUp(WPARAM wParam, LPARAM lParam, BOOL& handled) {
  ::ReleaseCapture();
  handled = NotifyMessage(WM_LBUTTONUP, wParam, lParam);
  return 0;
}

LRESULT SOImageWindow::OnRButtonUp(WPARAM wParam, LPARAM lParam, BOOL& handled) {
  ::ReleaseCapture();
  handled = NotifyMessage(WM_RBUTTONUP, wParam, lParam);
  return 0;
}

LRESULT SOImageWindow::OnMButtonUp(WPARAM wParam, LPARAM lParam, BOOL& handled) {
  ::ReleaseCapture();
  handled = NotifyMessage(WM_MBUTTONUP, wParam, lParam);
  return 0;
}

LRESULT SOImageWindow::OnMouseWheel(WPARAM wParam, LPARAM lParam, BOOL& handled) {
  handled = NotifyMessage(WM_MOUSEWHEEL, wParam, lParam);
  return 0;
}

LRESULT SOImageWindow::OnSetCursor(WPARAM wParam, LPARAM lParam, BOOL& handled) {
  handled = NotifyMessage(WM_SETCURSOR, wParam, lParam);
  return handled ? TRUE : 0;
}

LRESULT SOImageWindow::OnKeyDown(WPARAM wParam, LPARAM lParam, BOOL& handled) {
  handled = NotifyMessage(WM_KEYDOWN, wParam, lParam);
  return 0;
}

LRESULT SOImageWindow::OnPaint(WPARAM, LPARAM, BOOL& handled) {
  handled = TRUE;
  RECT client{};
  ::GetClientRect(GetWindow(), &client);
  SOBufferedPaint paint(GetWindow(), client.right, client.bottom, m_->paintBitmap);
  const HDC mem = paint.dc();
  const RECT inner{client.left + 1, client.top + 1, client.right - 1, client.bottom - 1};
  DrawPluginsBefore(mem, inner);
  DrawImage(mem, inner);
  DrawPlugins(mem, inner);
  DrawBorder(mem, client);
  DrawForegroundText(mem, client);
  return 0;
}

void SOImageWindow::DrawImage(HDC hdc, RECT rect) {
  if (!m_->image) return;
  // The moves of a view drag scale quickly; the drag's end repaints this window in full.
  const bool quick = LumexaInViewDrag() && GetWindow();
  if (quick) LumexaNoteQuickPaint(GetWindow());
  SOImageObject::SetQuickScaling(quick);
  m_->image->DrawImage(hdc, rect, false);
  SOImageObject::SetQuickScaling(false);
  m_->renderRect = rect;
}

void SOImageWindow::DrawBorder(HDC hdc, RECT r) {
  const bool selected = m_->image && m_->image->IsSelected() && m_->showSelectedBorder;
  Gdiplus::Graphics g(hdc);
  Gdiplus::Pen pen(Gdiplus::Color(selected ? 0xFF02B076 : 0xFF505050), 1.0f);
  g.DrawRectangle(&pen, static_cast<INT>(r.left), static_cast<INT>(r.top), static_cast<INT>(r.right - 1),
                  static_cast<INT>(r.bottom - 1));
}

void SOImageWindow::DrawForegroundText(HDC hdc, RECT r) {
  const std::wstring& text = LumexaForegroundText();
  if (!m_->image || text.empty()) return;
  float size = 12.0f;
  GetFontSize(size);
  Gdiplus::Graphics g(hdc);
  Gdiplus::Font font(L"Microsoft YaHei", size * 0.8f, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
  const int w = std::abs(r.right - r.left);
  const int h = std::abs(r.bottom - r.top);
  Gdiplus::RectF bounds;
  float x = 0, y = 0;
  if (g.MeasureString(text.c_str(), -1, &font, Gdiplus::RectF(0, 0, 800, 100), nullptr, &bounds) ==
      Gdiplus::Ok) {
    x = (w - bounds.Width) * 0.5f + bounds.X;
    y = h - bounds.Height - static_cast<float>(h / 10) + bounds.Y;
  } else {
    x = bounds.X;
    y = bounds.Y;
  }
  Gdiplus::SolidBrush box(Gdiplus::Color(0xDD280519));
  g.FillRectangle(&box, x - 6, y - 4, bounds.Width + 12, bounds.Height + 8);
  Gdiplus::StringFormat format;
  format.SetAlignment(Gdiplus::StringAlignmentCenter);
  format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
  Gdiplus::SolidBrush ink(Gdiplus::Color(0xFFFF9696));
  g.DrawString(text.c_str(), -1, &font, Gdiplus::RectF(x, y, bounds.Width, bounds.Height), &format, &ink);
}

void SOImageWindow::DrawPluginsBefore(HDC hdc, RECT rect) {
  if (m_->image && m_->plugins.GetPluginHost()) m_->plugins.DrawBefore(hdc, rect);
}

void SOImageWindow::DrawPlugins(HDC hdc, RECT rect) {
  if (m_->image && m_->plugins.GetPluginHost()) m_->plugins.Draw(hdc, rect);
}
