#include "UITestDriver.h"

#include "SOWinQt.h"
#include "UIList.h"
#include "internal/UIRender.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QStyleHints>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>

// The entry points through which the windowing system's input reaches Qt's event processing
// (double-click detection, modality, the window's focus object); Qt's own test library uses them.
Q_GUI_EXPORT void qt_handleMouseEvent(QWindow* window, const QPointF& local, const QPointF& global,
                                      Qt::MouseButtons state, Qt::MouseButton button, QEvent::Type type,
                                      Qt::KeyboardModifiers mods, int timestamp);
Q_GUI_EXPORT void qt_handleKeyEvent(QWindow* window, QEvent::Type type, int key, Qt::KeyboardModifiers mods,
                                    const QString& text, bool autorep, ushort count);

namespace DuiLib::UITest {

namespace {

// A user's pace, in milliseconds of event time.
constexpr int kMoveToPress = 40;
constexpr int kPressLength = 70;
constexpr int kBetweenClicks = 110;  // release to the second press of a double click
constexpr int kDragStep = 15;

// Answers waiting for their modal window, by window class. UI thread only.
std::map<std::wstring, std::function<void(CWindowWnd*)>>& Answers() {
  static std::map<std::wstring, std::function<void(CWindowWnd*)>> answers;
  return answers;
}

// Event time: follows the clock, and a new gesture never starts inside the double-click
// interval of the previous press. UI thread only.
struct Clock {
  QElapsedTimer since;
  qint64 last = 0;
  qint64 lastPress = -1000000;

  int At(int after) {
    if (!since.isValid()) since.start();
    last = std::max(last + after, since.elapsed());
    return int(last);
  }
  int NewGesture() {
    const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    if (!since.isValid()) since.start();
    last = std::max({last + 1, since.elapsed(), lastPress + interval + 50});
    return int(last);
  }
};

Clock& Time() {
  static Clock clock;
  return clock;
}

Qt::KeyboardModifiers Modifiers(UINT keys) {
  Qt::KeyboardModifiers mods;
  if (keys & MK_SHIFT) mods |= Qt::ShiftModifier;
  if (keys & MK_CONTROL) mods |= Qt::ControlModifier;
  return mods;
}

Qt::MouseButton QtButton(Button button) {
  return button == Button::Right    ? Qt::RightButton
         : button == Button::Middle ? Qt::MiddleButton
                                    : Qt::LeftButton;
}

// A point of a window's client area as the top-level window under it sees it.
struct Spot {
  QPointer<QWindow> window;
  QPointF local;
  QPointF global;
};

// Null when the window is not shown, the point is outside it, or another window covers it.
std::optional<Spot> SpotOf(HWND hwnd, POINT pt) {
  QWidget* widget = SOWin::WidgetOf(hwnd);
  if (!widget || !widget->isVisible()) return std::nullopt;
  QWidget* top = widget->window();
  QWindow* window = top->windowHandle();
  if (!window) return std::nullopt;
  const QPoint local = widget->mapTo(top, QPoint(pt.x, pt.y));
  if (!widget->rect().contains(QPoint(pt.x, pt.y)) || !top->rect().contains(local)) return std::nullopt;
  QWidget* hit = top->childAt(local);
  if (!hit) hit = top;
  if (hit != widget && !widget->isAncestorOf(hit)) return std::nullopt;
  return Spot{window, QPointF(local), QPointF(window->mapToGlobal(local))};
}

// Lets the UI thread run what the last event posted, as it would between a user's events.
void Settle() {
  SOWin::PumpEvents(0);
}

bool Mouse(const Spot& at, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons state,
           Qt::KeyboardModifiers mods, int time) {
  if (!at.window) return false;
  qt_handleMouseEvent(at.window, at.local, at.global, state, button, type, mods, time);
  Settle();
  return true;
}

bool MoveTo(const Spot& at, Qt::MouseButtons state, Qt::KeyboardModifiers mods, int time) {
  return Mouse(at, QEvent::MouseMove, Qt::NoButton, state, mods, time);
}

bool Press(const Spot& at, Qt::MouseButton button, Qt::KeyboardModifiers mods, int time) {
  Time().lastPress = time;
  return Mouse(at, QEvent::MouseButtonPress, button, button, mods, time);
}

// A window the press closed gets no release; the gesture still happened.
bool Release(const Spot& at, Qt::MouseButton button, Qt::KeyboardModifiers mods, int time) {
  return !at.window || Mouse(at, QEvent::MouseButtonRelease, button, Qt::NoButton, mods, time);
}

bool Clicks(HWND hwnd, POINT pt, Qt::MouseButton button, UINT keys, int count) {
  std::optional<Spot> at = SpotOf(hwnd, pt);
  if (!at) return false;
  const Qt::KeyboardModifiers mods = Modifiers(keys);
  MoveTo(*at, Qt::NoButton, mods, Time().NewGesture());
  for (int i = 0; i < count && at->window; ++i) {
    if (!Press(*at, button, mods, Time().At(i == 0 ? kMoveToPress : kBetweenClicks))) return false;
    if (!Release(*at, button, mods, Time().At(kPressLength))) return false;
  }
  return true;
}

// Qt's key for a virtual-key code; 0 for one this layer does not translate.
int QtKey(UINT vk) {
  if (vk >= 'A' && vk <= 'Z') return Qt::Key_A + int(vk - 'A');
  if (vk >= '0' && vk <= '9') return Qt::Key_0 + int(vk - '0');
  if (vk >= VK_F1 && vk < VK_F1 + 24) return Qt::Key_F1 + int(vk - VK_F1);
  static const std::map<UINT, int> keys{
      {VK_BACK, Qt::Key_Backspace}, {VK_TAB, Qt::Key_Tab},         {VK_RETURN, Qt::Key_Return},
      {VK_ESCAPE, Qt::Key_Escape},  {VK_SPACE, Qt::Key_Space},     {VK_PRIOR, Qt::Key_PageUp},
      {VK_NEXT, Qt::Key_PageDown},  {VK_END, Qt::Key_End},         {VK_HOME, Qt::Key_Home},
      {VK_LEFT, Qt::Key_Left},      {VK_UP, Qt::Key_Up},           {VK_RIGHT, Qt::Key_Right},
      {VK_DOWN, Qt::Key_Down},      {VK_INSERT, Qt::Key_Insert},   {VK_DELETE, Qt::Key_Delete},
      {VK_OEM_PLUS, Qt::Key_Plus},  {VK_OEM_MINUS, Qt::Key_Minus}, {VK_MULTIPLY, Qt::Key_Asterisk},
      {VK_DIVIDE, Qt::Key_Slash},   {VK_PAUSE, Qt::Key_Pause}};
  auto it = keys.find(vk);
  return it == keys.end() ? 0 : it->second;
}

QWindow* KeyWindowOf(HWND hwnd) {
  QWidget* widget = SOWin::WidgetOf(hwnd);
  if (!widget || !widget->isVisible()) return nullptr;
  return widget->window()->windowHandle();
}

void Key(QWindow* window, int key, Qt::KeyboardModifiers mods, const QString& text) {
  QPointer<QWindow> alive(window);
  qt_handleKeyEvent(window, QEvent::KeyPress, key, mods, text, false, 1);
  Settle();
  if (alive) qt_handleKeyEvent(window, QEvent::KeyRelease, key, mods, text, false, 1);
  Settle();
}

bool Keys(HWND hwnd, UINT vk, UINT keys) {
  const int key = QtKey(vk);
  QWindow* window = KeyWindowOf(hwnd);
  if (!key || !window) return false;
  QString text;
  if (!(keys & MK_CONTROL)) {
    if (vk == VK_RETURN)
      text = QStringLiteral("\r");
    else if (vk == VK_TAB)
      text = QStringLiteral("\t");
    else if (vk == VK_SPACE)
      text = QStringLiteral(" ");
    else if (vk == VK_ESCAPE)
      text = QString(QChar(0x1b));
    else if (vk == VK_BACK)
      text = QString(QChar(0x08));
    else if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
      text = QString(QChar(char16_t((keys & MK_SHIFT) || vk <= '9' ? vk : vk + 32)));
  }
  Key(window, key, Modifiers(keys), text);
  return true;
}

bool Text(HWND hwnd, const std::wstring& text) {
  QWindow* window = KeyWindowOf(hwnd);
  if (!window) return false;
  for (wchar_t c : text) {
    const char32_t u = char32_t(c);
    if (u == L'\n' || u == L'\r') {
      Key(window, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
      continue;
    }
    const QString typed = QString::fromUcs4(&u, 1);
    // Latin-1 characters have keys of their own (the upper-case letter's); others come as text.
    const int key = u < 0x100 ? int(typed.toUpper().at(0).unicode()) : int(Qt::Key_unknown);
    const Qt::KeyboardModifiers mods = typed.at(0).isUpper() ? Qt::ShiftModifier : Qt::NoModifier;
    Key(window, key, mods, typed);
  }
  return true;
}

// True when the keyboard goes to a text editor the window hosts (a focused edit's).
bool EditorHasFocus(HWND hwnd) {
  QWindow* window = KeyWindowOf(hwnd);
  QObject* focus = window ? window->focusObject() : nullptr;
  return focus && (focus->inherits("QLineEdit") || focus->inherits("QAbstractSpinBox") ||
                   focus->inherits("QPlainTextEdit"));
}

CControlUI* Usable(CPaintManagerUI& pm, const wchar_t* name) {
  CControlUI* c = pm.FindControl(name);
  return c && c->IsVisible() && c->IsEnabled() ? c : nullptr;
}

bool IsAncestor(const CControlUI* ancestor, const CControlUI* c) {
  for (; c; c = c->GetParent())
    if (c == ancestor) return true;
  return false;
}

// The part of the control its containers (and a list's header) leave in view, in skin
// coordinates; empty when none is.
RECT InView(CPaintManagerUI& pm, CControlUI* c) {
  RECT r = c->GetPos();
  for (CControlUI* p = c->GetParent(); p; p = p->GetParent()) {
    RECT area = p->GetPos();
    if (auto* list = static_cast<CListUI*>(p->GetInterface(L"List")))
      if (CListHeaderUI* header = list->GetHeader(); header && header->IsVisible() && header != c)
        area.top = std::max(area.top, header->GetPos().bottom);
    if (!CRenderEngine::IntersectRect(r, r, area)) return RECT{};
  }
  RECT client{};
  if (pm.GetPaintWindow() && GetClientRect(pm.GetPaintWindow(), &client)) {
    const double zoom = pm.GetZoomRatio();
    client.right = LONG(client.right / zoom);
    client.bottom = LONG(client.bottom / zoom);
    if (!CRenderEngine::IntersectRect(r, r, client)) return RECT{};
  }
  return r;
}

bool Contains(const RECT& r, POINT pt) {
  return pt.x >= r.left && pt.x < r.right && pt.y >= r.top && pt.y < r.bottom;
}

POINT ToClient(CPaintManagerUI& pm, POINT skin) {
  const double zoom = pm.GetZoomRatio();
  return POINT{LONG(skin.x * zoom + 0.5), LONG(skin.y * zoom + 0.5)};
}

// What a click at a client point (pixels) of the window hits.
CControlUI* HitAt(CPaintManagerUI& pm, POINT client) {
  const double zoom = pm.GetZoomRatio();
  return pm.FindControl(POINT{LONG(client.x / zoom), LONG(client.y / zoom)});
}

bool Interactive(CControlUI* c) {
  for (const wchar_t* kind : {L"Button", L"Edit", L"Combo", L"Slider", L"ScrollBar"})
    if (c->GetInterface(kind)) return true;
  return false;
}

// Turns the wheel over the nearest scrolled container of c until c's middle is in view.
void ScrollIntoView(CPaintManagerUI& pm, CControlUI* c) {
  auto middleInView = [&] {
    const RECT view = InView(pm, c);
    const RECT& pos = c->GetPos();
    return Contains(view, POINT{(pos.left + pos.right) / 2, (pos.top + pos.bottom) / 2});
  };
  if (middleInView()) return;
  CContainerUI* scroller = nullptr;
  for (CControlUI* p = c->GetParent(); p && !scroller; p = p->GetParent()) {
    auto* container = static_cast<CContainerUI*>(p->GetInterface(L"Container"));
    if (container && container->GetVerticalScrollBar() && container->GetVerticalScrollBar()->IsVisible())
      scroller = container;
  }
  if (!scroller) return;
  for (int turns = 0; turns < 500 && !middleInView(); ++turns) {
    const RECT area = InView(pm, scroller);
    if (area.right <= area.left) return;
    const int before = scroller->GetScrollPos().cy;
    const int steps = c->GetPos().top < area.top ? 1 : -1;
    const POINT at = ToClient(pm, POINT{(area.left + area.right) / 2, (area.top + area.bottom) / 2});
    if (!WheelWindow(pm.GetPaintWindow(), at, steps)) return;
    if (scroller->GetScrollPos().cy == before) return;
  }
}

// A client point (pixels) where a click reaches the control: its middle unless a child control
// that acts on clicks (a row's button) is there; a control its children cover wholly is reached
// through them.
std::optional<POINT> PointOn(CPaintManagerUI& pm, CControlUI* c) {
  // A user clicks what the window shows: let it lay out and paint first.
  Settle();
  ScrollIntoView(pm, c);
  const RECT view = InView(pm, c);
  if (view.right <= view.left) return std::nullopt;
  const RECT& pos = c->GetPos();
  std::vector<POINT> tries{{(pos.left + pos.right) / 2, (pos.top + pos.bottom) / 2}};
  for (int fx = 1; fx < 8; ++fx)
    tries.push_back(POINT{view.left + (view.right - view.left) * fx / 8, (view.top + view.bottom) / 2});
  std::optional<POINT> throughChild;
  for (POINT skin : tries) {
    if (!Contains(view, skin)) continue;
    const POINT client = ToClient(pm, skin);
    CControlUI* hit = HitAt(pm, client);
    if (hit == c || (hit && IsAncestor(c, hit) && !Interactive(hit))) return client;
    if (hit && IsAncestor(c, hit) && !throughChild) throughChild = client;
  }
  return throughChild;
}

bool ClickControl(CPaintManagerUI& pm, CControlUI* c, Qt::MouseButton button, int count) {
  std::optional<POINT> at = PointOn(pm, c);
  return at && Clicks(pm.GetPaintWindow(), *at, button, 0, count);
}

bool IsEditLike(CControlUI* c) {
  return c->GetInterface(L"Edit") || c->GetInterface(L"EditCombo");
}

// Clicks where typing goes: an edit combo's text part, not its arrow.
bool ClickIntoEdit(CPaintManagerUI& pm, CControlUI* c) {
  if (!c->GetInterface(L"EditCombo")) return ClickControl(pm, c, Qt::LeftButton, 1);
  ScrollIntoView(pm, c);
  const RECT& pos = c->GetPos();
  const POINT skin{pos.left + std::max<LONG>(1, (pos.right - pos.left - 26) / 2), (pos.top + pos.bottom) / 2};
  return Clicks(pm.GetPaintWindow(), ToClient(pm, skin), Qt::LeftButton, 0, 1);
}

}  // namespace

bool Click(CPaintManagerUI& pm, const wchar_t* name) {
  CControlUI* c = Usable(pm, name);
  return c && ClickControl(pm, c, Qt::LeftButton, 1);
}

bool Click(CControlUI* control) {
  CPaintManagerUI* pm = control ? control->GetManager() : nullptr;
  return pm && control->IsVisible() && control->IsEnabled() && ClickControl(*pm, control, Qt::LeftButton, 1);
}

bool DoubleClick(CPaintManagerUI& pm, const wchar_t* name) {
  CControlUI* c = Usable(pm, name);
  return c && ClickControl(pm, c, Qt::LeftButton, 2);
}

bool RightClick(CPaintManagerUI& pm, const wchar_t* name) {
  CControlUI* c = Usable(pm, name);
  return c && ClickControl(pm, c, Qt::RightButton, 1);
}

bool ClickAt(CPaintManagerUI& pm, POINT pt) {
  return Clicks(pm.GetPaintWindow(), ToClient(pm, pt), Qt::LeftButton, 0, 1);
}

bool Wheel(CPaintManagerUI& pm, const wchar_t* name, int steps) {
  CControlUI* c = Usable(pm, name);
  std::optional<POINT> at = c ? PointOn(pm, c) : std::nullopt;
  return at && WheelWindow(pm.GetPaintWindow(), *at, steps);
}

bool Drag(CPaintManagerUI& pm, POINT from, POINT to) {
  return DragWindow(pm.GetPaintWindow(), ToClient(pm, from), ToClient(pm, to));
}

bool Type(CPaintManagerUI& pm, const wchar_t* name, const wchar_t* text) {
  CControlUI* c = Usable(pm, name);
  if (!c || !IsEditLike(c)) return false;
  if (pm.GetFocus() != c && !ClickIntoEdit(pm, c)) return false;
  return pm.GetFocus() == c && Text(pm.GetPaintWindow(), text ? text : L"");
}

bool SetText(CPaintManagerUI& pm, const wchar_t* name, const wchar_t* text) {
  CControlUI* c = Usable(pm, name);
  if (!c || !IsEditLike(c)) return false;
  if (pm.GetFocus() != c && !ClickIntoEdit(pm, c)) return false;
  if (pm.GetFocus() != c) return false;
  HWND hwnd = pm.GetPaintWindow();
  if (EditorHasFocus(hwnd)) {
    // The editor selects its whole text with Ctrl+A; typing replaces the selection.
    if (!Keys(hwnd, 'A', MK_CONTROL)) return false;
    if (!text || !*text) return Keys(hwnd, VK_BACK, 0);
  } else {
    // To the end, then back over every character.
    if (!Keys(hwnd, VK_END, MK_CONTROL)) return false;
    for (size_t n = c->GetText().GetLength(); n > 0 && pm.GetFocus() == c; --n) Keys(hwnd, VK_BACK, 0);
  }
  return pm.GetFocus() == c && Text(hwnd, text ? text : L"");
}

bool Focus(CPaintManagerUI& pm, const wchar_t* name) {
  CControlUI* c = Usable(pm, name);
  if (!c) return false;
  if (pm.GetFocus() == c) return true;
  if (IsEditLike(c)) return ClickIntoEdit(pm, c) && pm.GetFocus() == c;
  // Round the window's tab order at most once.
  for (int i = 0; i < 256 && pm.GetFocus() != c; ++i) {
    CControlUI* before = pm.GetFocus();
    if (!Keys(pm.GetPaintWindow(), VK_TAB, 0)) return false;
    if (i > 0 && pm.GetFocus() == before) return false;
  }
  return pm.GetFocus() == c;
}

void KillFocus(CPaintManagerUI& pm) {
  if (pm.GetFocus()) Keys(pm.GetPaintWindow(), VK_TAB, 0);
}

bool PressReturn(CPaintManagerUI& pm, const wchar_t* name) {
  return PressKey(pm, name, VK_RETURN);
}

bool PressKey(CPaintManagerUI& pm, const wchar_t* name, UINT vk, UINT keys) {
  return Focus(pm, name) && Keys(pm.GetPaintWindow(), vk, keys);
}

bool SelectItem(CPaintManagerUI& pm, const wchar_t* name, int index) {
  CControlUI* c = Usable(pm, name);
  if (!c) return false;
  if (auto* list = static_cast<CListUI*>(c->GetInterface(L"List"))) {
    CControlUI* row = list->GetItemAt(index);
    return row && row->IsVisible() && ClickControl(pm, row, Qt::LeftButton, 1) && list->GetCurSel() == index;
  }
  if (auto* combo = static_cast<CComboUI*>(c->GetInterface(L"Combo"))) {
    CControlUI* item = combo->GetItemAt(index);
    if (!item) return false;
    const RECT& pos = combo->GetPos();
    // An edit combo opens from its arrow; a plain combo from anywhere on it.
    const bool arrow = c->GetInterface(L"EditCombo") != nullptr;
    ScrollIntoView(pm, combo);
    const POINT skin{arrow ? pos.right - 13 : (pos.left + pos.right) / 2, (pos.top + pos.bottom) / 2};
    if (!Clicks(pm.GetPaintWindow(), ToClient(pm, skin), Qt::LeftButton, 0, 1)) return false;
    // The items now live in the drop-down's window.
    CPaintManagerUI* drop = item->GetManager();
    if (!drop || drop == &pm) return false;
    const bool clicked = ClickControl(*drop, item, Qt::LeftButton, 1);
    Settle();
    return clicked && combo->GetCurSel() == index;
  }
  if (auto* tab = static_cast<CTabLayoutUI*>(c->GetInterface(L"TabLayout")))
    return tab->SelectItem(index, true);
  return false;
}

namespace {

CControlUI* Row(CPaintManagerUI& pm, const wchar_t* name, int index) {
  CControlUI* c = Usable(pm, name);
  auto* list = c ? static_cast<CListUI*>(c->GetInterface(L"List")) : nullptr;
  CControlUI* row = list ? list->GetItemAt(index) : nullptr;
  return row && row->IsVisible() ? row : nullptr;
}

}  // namespace

bool ActivateItem(CPaintManagerUI& pm, const wchar_t* name, int index) {
  CControlUI* row = Row(pm, name, index);
  return row && ClickControl(pm, row, Qt::LeftButton, 2);
}

bool RightClickItem(CPaintManagerUI& pm, const wchar_t* name, int index) {
  CControlUI* row = Row(pm, name, index);
  return row && ClickControl(pm, row, Qt::RightButton, 1);
}

bool DeliverEvent(CPaintManagerUI& pm, const wchar_t* name, int type, WPARAM wParam, LPARAM lParam) {
  CControlUI* c = pm.FindControl(name);
  if (!c) return false;
  TEventUI event;
  event.Type = type;
  event.pSender = c;
  event.dwTimestamp = GetTickCount();
  const RECT& pos = c->GetPos();
  event.ptMouse = POINT{(pos.left + pos.right) / 2, (pos.top + pos.bottom) / 2};
  event.chKey = wchar_t(wParam);
  event.wParam = wParam;
  event.lParam = lParam;
  c->Event(event);
  return true;
}

bool ClickWindow(HWND hwnd, POINT pt, Button button, UINT keys) {
  return Clicks(hwnd, pt, QtButton(button), keys, 1);
}

bool DoubleClickWindow(HWND hwnd, POINT pt, UINT keys) {
  return Clicks(hwnd, pt, Qt::LeftButton, keys, 2);
}

bool DragWindow(HWND hwnd, POINT from, POINT to, Button button, UINT keys) {
  std::optional<Spot> start = SpotOf(hwnd, from);
  if (!start) return false;
  const Qt::MouseButton b = QtButton(button);
  const Qt::KeyboardModifiers mods = Modifiers(keys);
  MoveTo(*start, Qt::NoButton, mods, Time().NewGesture());
  if (!Press(*start, b, mods, Time().At(kMoveToPress))) return false;
  // The pointer passes through the points between, a few pixels at a time; the window under the
  // press keeps the pointer (Qt's implicit grab), so the path may leave it.
  const int steps = std::max<int>(4, std::max(std::abs(to.x - from.x), std::abs(to.y - from.y)) / 8);
  Spot at = *start;
  const QPointF origin = start->local;
  for (int i = 1; i <= steps; ++i) {
    const QPointF delta(double(to.x - from.x) * i / steps, double(to.y - from.y) * i / steps);
    at.local = origin + delta;
    at.global = start->global + delta;
    if (!MoveTo(at, b, mods, Time().At(kDragStep))) return false;
  }
  return Release(at, b, mods, Time().At(kDragStep));
}

bool WheelWindow(HWND hwnd, POINT pt, int steps, UINT keys) {
  std::optional<Spot> at = SpotOf(hwnd, pt);
  if (!at) return false;
  MoveTo(*at, Qt::NoButton, Modifiers(keys), Time().NewGesture());
  for (int i = 0; i < std::abs(steps) && at->window; ++i) {
    QWheelEvent wheel(at->local, at->global, QPoint(), QPoint(0, steps > 0 ? 120 : -120), Qt::NoButton,
                      Modifiers(keys), Qt::NoScrollPhase, false);
    wheel.setTimestamp(ulong(Time().At(kDragStep)));
    QCoreApplication::sendEvent(at->window, &wheel);
    Settle();
  }
  return bool(at->window);
}

bool MoveWindowPointer(HWND hwnd, POINT pt) {
  std::optional<Spot> at = SpotOf(hwnd, pt);
  return at && MoveTo(*at, Qt::NoButton, Qt::NoModifier, Time().At(kDragStep));
}

bool KeyWindow(HWND hwnd, UINT vk, UINT keys) {
  return Keys(hwnd, vk, keys);
}

bool TypeWindow(HWND hwnd, const wchar_t* text) {
  return Text(hwnd, text ? text : L"");
}

namespace {

void ModalOpened(CWindowWnd* window) {
  auto it = Answers().find(window->GetWindowClassName());
  if (it == Answers().end() || !QCoreApplication::instance()) return;
  std::function<void(CWindowWnd*)> answer = std::move(it->second);
  Answers().erase(it);
  HWND hwnd = window->GetHWND();
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [answer, window, hwnd] {
        if (IsWindow(hwnd)) answer(window);
      },
      Qt::QueuedConnection);
}

}  // namespace

void OnModal(const std::wstring& windowClass, std::function<void(CWindowWnd*)> answer) {
  static std::once_flag observing;
  std::call_once(observing, [] { CWindowWnd::AddModalObserver(ModalOpened); });
  Answers()[windowClass] = std::move(answer);
}

void ProcessEvents(int ms) {
  SOWin::PumpEvents(ms);
}

bool SaveWindowPng(CPaintManagerUI& pm, const std::string& path) {
  HBITMAP bitmap = pm.RenderToBitmap();
  const QImage* image = SOWin::ImageOf(bitmap);
  const bool saved = image && image->save(QString::fromStdString(path), "PNG");
  if (bitmap) DeleteObject(bitmap);
  return saved;
}

}  // namespace DuiLib::UITest
