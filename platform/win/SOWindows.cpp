// Windows: classes, the handle registry, creation and destruction, geometry, painting and the
// translation of Qt input into WM_* messages.

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QScreen>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <unordered_map>

#include "SOWin32.h"
#include "SOWinPrivate.h"
#include "SOWinQt.h"

namespace sowin {
namespace {

// Guards the class table and the window table; the WindowObj fields belong to the UI thread.
std::mutex g_mutex;
std::map<std::wstring, std::shared_ptr<ClassInfo>> g_classes;
std::unordered_map<HWND, std::shared_ptr<WindowObj>> g_windows;
std::atomic<std::uintptr_t> g_nextHandle{0x10000};
int g_paintDepth = 0;  // windows inside their WM_PAINT now (UI thread only)

// UI-thread state.
HWND g_focus = nullptr;
HWND g_capture = nullptr;
HWND g_foreground = nullptr;
HWND g_cursorWindow = nullptr;
HCURSOR g_cursor = nullptr;
std::optional<RECT> g_testScreen;
std::optional<RECT> g_testWork;

struct DropObj {
  std::vector<std::string> paths;
};

WPARAM KeyFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
  WPARAM mk = 0;
  if (buttons & Qt::LeftButton) mk |= MK_LBUTTON;
  if (buttons & Qt::RightButton) mk |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) mk |= MK_MBUTTON;
  if (mods & Qt::ShiftModifier) mk |= MK_SHIFT;
  if (mods & Qt::ControlModifier) mk |= MK_CONTROL;
  return mk;
}

int VirtualKey(int key) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return '0' + (key - Qt::Key_0);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return VK_F1 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Backspace:
      return VK_BACK;
    case Qt::Key_Tab:
      return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return VK_RETURN;
    case Qt::Key_Shift:
      return VK_SHIFT;
    case Qt::Key_Control:
      return VK_CONTROL;
    case Qt::Key_Alt:
      return VK_MENU;
    case Qt::Key_Pause:
      return VK_PAUSE;
    case Qt::Key_CapsLock:
      return VK_CAPITAL;
    case Qt::Key_Escape:
      return VK_ESCAPE;
    case Qt::Key_Space:
      return VK_SPACE;
    case Qt::Key_PageUp:
      return VK_PRIOR;
    case Qt::Key_PageDown:
      return VK_NEXT;
    case Qt::Key_End:
      return VK_END;
    case Qt::Key_Home:
      return VK_HOME;
    case Qt::Key_Left:
      return VK_LEFT;
    case Qt::Key_Up:
      return VK_UP;
    case Qt::Key_Right:
      return VK_RIGHT;
    case Qt::Key_Down:
      return VK_DOWN;
    case Qt::Key_Insert:
      return VK_INSERT;
    case Qt::Key_Delete:
      return VK_DELETE;
    case Qt::Key_Plus:
      return VK_OEM_PLUS;
    case Qt::Key_Minus:
      return VK_OEM_MINUS;
    case Qt::Key_Asterisk:
      return VK_MULTIPLY;
    case Qt::Key_Slash:
      return VK_DIVIDE;
    default:
      return 0;
  }
}

// The Qt face of every window this layer creates.
class WinWidget : public QWidget {
 public:
  WinWidget(HWND hwnd, QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags), hwnd_(hwnd) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }
  HWND Handle() const { return hwnd_; }

 protected:
  void paintEvent(QPaintEvent* e) override {
    auto w = FindWindowObj(hwnd_);
    if (!w) return;
    EnsureBacking(*w);
    // The backing image keeps what the window drew, so Qt's own exposes need no WM_PAINT;
    // only what the window (or a resize) invalidated is painted again.
    if (!w->invalid.isEmpty()) {
      w->painting = w->invalid;
      w->invalid = QRegion();
      w->inPaint = true;
      ++g_paintDepth;
      CallProc(w, WM_PAINT, 0, 0);
      --g_paintDepth;
      w->inPaint = false;
      w->painting = QRegion();
    }
    QPainter p(this);
    p.setClipRegion(e->region());
    p.drawImage(0, 0, w->backing);
  }
  void resizeEvent(QResizeEvent*) override { SendSizeIfChanged(hwnd_); }
  void moveEvent(QMoveEvent*) override { SendSizeIfChanged(hwnd_); }

  void mousePressEvent(QMouseEvent* e) override { Mouse(e, false); }
  void mouseDoubleClickEvent(QMouseEvent* e) override { Mouse(e, true); }
  void mouseReleaseEvent(QMouseEvent* e) override { Mouse(e, false); }
  void mouseMoveEvent(QMouseEvent* e) override { Mouse(e, false); }
  void wheelEvent(QWheelEvent* e) override {
    const QPoint global = e->globalPosition().toPoint();
    const int delta = e->angleDelta().y();
    if (delta == 0) return;
    SendMessageW(hwnd_, WM_MOUSEWHEEL, MAKEWPARAM(int(KeyFlags(e->buttons(), e->modifiers())), delta),
                 MAKELPARAM(global.x(), global.y()));
  }
  void leaveEvent(QEvent*) override {
    auto w = FindWindowObj(hwnd_);
    if (!w) return;
    if (w->hoverTimer) w->hoverTimer->stop();
    if (w->trackFlags & TME_LEAVE) {
      w->trackFlags = 0;
      CallProc(w, WM_MOUSELEAVE, 0, 0);
    }
  }
  void changeEvent(QEvent* e) override {
    if (e->type() != QEvent::ActivationChange || !isWindow() || !IsWindow(hwnd_)) return;
    const bool active = isActiveWindow();
    if (active) g_foreground = hwnd_;
    SendMessageW(hwnd_, WM_NCACTIVATE, active, 0);
    SendMessageW(hwnd_, WM_ACTIVATE, active ? WA_ACTIVE : WA_INACTIVE, 0);
  }
  void keyPressEvent(QKeyEvent* e) override { Key(e, true); }
  void keyReleaseEvent(QKeyEvent* e) override { Key(e, false); }
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    auto w = FindWindowObj(hwnd_);
    if (w && !w->closeDisabled) SendMessageW(hwnd_, WM_CLOSE, 0, 0);
  }
  void dragEnterEvent(QDragEnterEvent* e) override {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
  }
  void dropEvent(QDropEvent* e) override {
    auto* drop = new DropObj;
    for (const QUrl& url : e->mimeData()->urls())
      if (url.isLocalFile()) drop->paths.push_back(url.toLocalFile().toStdString());
    e->acceptProposedAction();
    SendMessageW(hwnd_, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  }

 private:
  void Mouse(QMouseEvent* e, bool dbl) {
    const QPoint pos = e->position().toPoint();
    UINT msg = WM_MOUSEMOVE;
    const bool press = e->type() == QEvent::MouseButtonPress || dbl;
    if (e->type() != QEvent::MouseMove) {
      const int b = e->button() == Qt::RightButton ? 1 : e->button() == Qt::MiddleButton ? 2 : 0;
      static const UINT downs[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
      static const UINT ups[] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
      static const UINT dbls[] = {WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK};
      auto w = FindWindowObj(hwnd_);
      const bool classDbl = w && w->cls && (w->cls->style & CS_DBLCLKS);
      msg = !press ? ups[b] : (dbl && classDbl) ? dbls[b] : downs[b];
    }
    g_cursorWindow = hwnd_;
    // Top-level windows say which part is under the pointer; frameless skins answer HTCAPTION
    // or a border for the areas that move or size the window.
    const QPoint global = e->globalPosition().toPoint();
    LRESULT hit = HTCLIENT;
    if (!g_capture && isWindow())
      hit = SendMessageW(hwnd_, WM_NCHITTEST, 0, MAKELPARAM(global.x(), global.y()));
    if (!IsWindow(hwnd_)) return;
    if (!g_capture && (msg == WM_MOUSEMOVE || press))
      SendMessageW(hwnd_, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd_), MAKELPARAM(int(hit), int(msg)));
    if (hit != HTCLIENT && hit > HTNOWHERE) {
      UINT nc = 0;
      if (msg == WM_MOUSEMOVE)
        nc = WM_NCMOUSEMOVE;
      else if (press && e->button() == Qt::LeftButton)
        nc = dbl ? WM_NCLBUTTONDBLCLK : WM_NCLBUTTONDOWN;
      if (nc) SendMessageW(hwnd_, nc, static_cast<WPARAM>(hit), MAKELPARAM(global.x(), global.y()));
      return;
    }
    SendMessageW(hwnd_, msg, KeyFlags(e->buttons(), e->modifiers()), MAKELPARAM(pos.x(), pos.y()));
  }
  void Key(QKeyEvent* e, bool down) {
    const int vk = VirtualKey(e->key());
    const bool alt = e->modifiers() & Qt::AltModifier;
    const bool sys = alt || vk == VK_F10;
    HWND target = IsWindow(g_focus) ? g_focus : hwnd_;
    LPARAM lp = 1 | (alt ? (1 << 29) : 0) | (e->isAutoRepeat() ? (1 << 30) : 0) | (down ? 0 : (3u << 30));
    if (vk)
      SendMessageW(target, down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP), vk,
                   lp);
    if (down && !sys)
      for (uint c : e->text().toUcs4()) SendMessageW(target, WM_CHAR, c, lp);
  }
  static void SendSizeIfChanged(HWND hwnd);
  HWND hwnd_;
};

void WinWidget::SendSizeIfChanged(HWND hwnd) {
  auto w = FindWindowObj(hwnd);
  if (!w || !w->widget || w->destroying) return;
  const QSize size = w->widget->size();
  const QPoint pos = w->widget->pos();
  if (size != w->lastSize) {
    w->lastSize = size;
    NoteBackingSize(*w);
    const bool minimized = w->widget->isWindow() && w->widget->isMinimized();
    const bool maximized = w->widget->isWindow() && w->widget->isMaximized();
    CallProc(w, WM_SIZE,
             minimized   ? SIZE_MINIMIZED
             : maximized ? SIZE_MAXIMIZED
                         : SIZE_RESTORED,
             MAKELPARAM(size.width(), size.height()));
    if (w->cls && (w->cls->style & (CS_HREDRAW | CS_VREDRAW))) InvalidateRect(hwnd, nullptr, TRUE);
  }
  if (pos != w->lastPos && FindWindowObj(hwnd)) {
    w->lastPos = pos;
    CallProc(w, WM_MOVE, 0, MAKELPARAM(pos.x(), pos.y()));
  }
}

std::shared_ptr<ClassInfo> FindClass(LPCWSTR name) {
  if (!name) return nullptr;
  std::lock_guard lock(g_mutex);
  auto it = g_classes.find(name);
  return it == g_classes.end() ? nullptr : it->second;
}

void Unregister(HWND hwnd) {
  std::lock_guard lock(g_mutex);
  g_windows.erase(hwnd);
}

// An owned top-level window stays above its owner's window (null: above nothing in particular).
void KeepAbove(QWidget* owned, QWidget* owner) {
  owned->winId();
  QWindow* above = nullptr;
  if (owner) {
    owner->window()->winId();
    above = owner->window()->windowHandle();
  }
  owned->windowHandle()->setTransientParent(above);
}

void ApplyStyleFlags(WindowObj& w) {
  QWidget* widget = w.widget;
  if (!widget || (w.style & WS_CHILD)) return;
  // X11 desktops keep a window above its transient parent only for dialog-like types; a plain
  // window's transient parent is not even told to the window manager.
  Qt::WindowFlags flags = w.owner ? Qt::Dialog : Qt::Window;
  if ((w.style & WS_POPUP) && (w.style & WS_CAPTION) != WS_CAPTION) flags |= Qt::FramelessWindowHint;
  if (w.exStyle & WS_EX_TOOLWINDOW) flags |= Qt::Tool;
  if (w.exStyle & WS_EX_TOPMOST) flags |= Qt::WindowStaysOnTopHint;
  if (w.closeDisabled) flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint;
  const bool visible = widget->isVisible();
  widget->setWindowFlags(flags);
  if (auto owner = FindWindowObj(w.owner)) KeepAbove(widget, owner->widget);
  if (visible) widget->show();
}

// Pre-order (parent first) list of a window and its descendants.
void Collect(HWND hwnd, std::vector<std::shared_ptr<WindowObj>>& out) {
  auto w = FindWindowObj(hwnd);
  if (!w) return;
  out.push_back(w);
  for (HWND child : std::vector<HWND>(w->children)) Collect(child, out);
}

QRect ScreenRect() {
  if (g_testScreen)
    return QRect(QPoint(g_testScreen->left, g_testScreen->top),
                 QPoint(g_testScreen->right - 1, g_testScreen->bottom - 1));
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry() : QRect(0, 0, 1920, 1080);
}
QRect WorkRect() {
  if (g_testWork)
    return QRect(QPoint(g_testWork->left, g_testWork->top),
                 QPoint(g_testWork->right - 1, g_testWork->bottom - 1));
  if (g_testScreen) return ScreenRect();
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->availableGeometry() : ScreenRect();
}
RECT ToRECT(const QRect& r) {
  return RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

}  // namespace

std::shared_ptr<WindowObj> FindWindowObj(HWND hwnd) {
  if (!hwnd) return nullptr;
  std::lock_guard lock(g_mutex);
  auto it = g_windows.find(hwnd);
  return it == g_windows.end() ? nullptr : it->second;
}

bool WindowExists(HWND hwnd) {
  std::lock_guard lock(g_mutex);
  return hwnd && g_windows.count(hwnd) != 0;
}

LRESULT CallProc(const std::shared_ptr<WindowObj>& w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_MOUSEMOVE) NoteMouseMove(*w);
  WNDPROC proc = w->proc ? w->proc : DefWindowProcW;
  return proc(w->hwnd, msg, wp, lp);
}

void NoteBackingSize(WindowObj& w) {
  // A hidden window gets its picture when it first paints: a program that makes many hidden
  // windows (one per list, say) pays for none until it is shown, and one shown later paints
  // its whole area then.
  if (w.widget && !w.widget->isVisible()) {
    w.backing = QImage();
    return;
  }
  EnsureBacking(w);
}

void EnsureBacking(WindowObj& w) {
  const QSize size = w.widget ? w.widget->size() : QSize(0, 0);
  if (w.backing.size() == size) return;
  // Newly uncovered client area needs painting (all of it for a new window).
  const QRect old = w.backing.isNull() ? QRect() : w.backing.rect();
  w.invalid += QRegion(QRect(QPoint(0, 0), size)) - QRegion(old);
  w.erasePending = true;
  QImage next(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  next.fill(Qt::white);
  if (!w.backing.isNull()) {
    QPainter p(&next);
    p.drawImage(0, 0, w.backing);
  }
  w.backing = next;
}

HCURSOR ArrowCursor() {
  return LoadCursorW(nullptr, IDC_ARROW);
}

QImage RenderTree(HWND hwnd) {
  auto w = FindWindowObj(hwnd);
  if (!w || !w->widget || w->inPaint) return QImage();
  QImage img(w->widget->size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  img.fill(Qt::black);
  QPainter p(&img);
  w->widget->render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
  return img;
}

}  // namespace sowin

using namespace sowin;

// ---- Classes ------------------------------------------------------------------------------

ATOM RegisterClassExW(const WNDCLASSEXW* wc) {
  if (!wc || !wc->lpszClassName || !*wc->lpszClassName) return 0;
  auto cls = std::make_shared<ClassInfo>();
  cls->name = wc->lpszClassName;
  cls->style = wc->style;
  cls->proc = wc->lpfnWndProc;
  cls->cursor = wc->hCursor;
  cls->background = wc->hbrBackground;
  cls->icon = wc->hIcon;
  cls->instance = wc->hInstance;
  std::lock_guard lock(g_mutex);
  if (g_classes.count(cls->name)) return 0;
  g_classes[cls->name] = cls;
  return static_cast<ATOM>(0xC000 + g_classes.size());
}

BOOL GetClassInfoExW(HINSTANCE, LPCWSTR className, WNDCLASSEXW* wc) {
  auto cls = FindClass(className);
  if (!cls || !wc) return FALSE;
  wc->style = cls->style;
  wc->lpfnWndProc = cls->proc;
  wc->hCursor = cls->cursor;
  wc->hbrBackground = cls->background;
  wc->hIcon = cls->icon;
  wc->hInstance = cls->instance;
  wc->lpszClassName = className;
  return TRUE;
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE) {
  if (!className) return FALSE;
  std::shared_ptr<ClassInfo> cls;
  {
    std::lock_guard lock(g_mutex);
    auto it = g_classes.find(className);
    if (it == g_classes.end()) return FALSE;
    for (auto& [h, w] : g_windows)
      if (w->cls == it->second) return FALSE;  // still in use
    cls = it->second;
    g_classes.erase(it);
  }
  // The class owned its background brush.
  if (cls->background) DeleteObject(cls->background);
  return TRUE;
}

// ---- Creation and destruction -------------------------------------------------------------

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND hWndParent, HMENU menu, HINSTANCE instance, LPVOID param) {
  if (!IsUiThread()) return nullptr;
  EnsureDispatcher();
  auto cls = FindClass(className);
  if (!cls) return nullptr;
  const bool child = style & WS_CHILD;
  auto parentObj = FindWindowObj(hWndParent);
  if (child && !parentObj) return nullptr;

  auto w = std::make_shared<WindowObj>();
  w->hwnd = reinterpret_cast<HWND>(g_nextHandle.fetch_add(4));
  w->cls = cls;
  w->proc = cls->proc;
  w->style = style & ~WS_VISIBLE;
  w->exStyle = exStyle;
  w->text = windowName ? windowName : L"";
  if (child) {
    w->parent = hWndParent;
    w->id = reinterpret_cast<LONG_PTR>(menu);
  } else {
    w->owner = parentObj ? hWndParent : nullptr;
  }
  // Owned windows are not Qt children of their owner: disabling the owner (a modal loop does)
  // must leave them usable. They only stay above it.
  QWidget* qtParent = child && parentObj ? parentObj->widget.data() : nullptr;
  auto* widget = new WinWidget(w->hwnd, qtParent, child ? Qt::Widget : Qt::Window);
  w->widget = widget;
  widget->setWindowTitle(QString::fromStdWString(w->text));
  widget->setAcceptDrops(exStyle & WS_EX_ACCEPTFILES);
  if (style & WS_DISABLED) widget->setEnabled(false);
  ApplyStyleFlags(*w);
  if (x == CW_USEDEFAULT) x = y = 0;
  if (width == CW_USEDEFAULT) width = height = 0;
  widget->setGeometry(x, y, std::max(width, 0), std::max(height, 0));
  {
    std::lock_guard lock(g_mutex);
    g_windows[w->hwnd] = w;
  }
  if (parentObj) {
    if (child) parentObj->children.push_back(w->hwnd);
  }

  CREATESTRUCTW cs;
  cs.lpCreateParams = param;
  cs.hInstance = instance;
  cs.hMenu = menu;
  cs.hwndParent = hWndParent;
  cs.x = x;
  cs.y = y;
  cs.cx = width;
  cs.cy = height;
  cs.style = static_cast<LONG>(style);
  cs.lpszName = windowName;
  cs.lpszClass = className;
  cs.dwExStyle = exStyle;
  const HWND hwnd = w->hwnd;
  if (!CallProc(w, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) || !IsWindow(hwnd) ||
      CallProc(w, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1 || !IsWindow(hwnd)) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  // WM_SIZE and WM_MOVE follow WM_CREATE at once, visible or not.
  {
    const QSize size = widget->size();
    w->lastSize = size;
    NoteBackingSize(*w);
    CallProc(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(size.width(), size.height()));
    if (!IsWindow(hwnd)) return nullptr;
    w->lastPos = widget->pos();
    CallProc(w, WM_MOVE, 0, MAKELPARAM(w->lastPos.x(), w->lastPos.y()));
  }
  if (IsWindow(hwnd) && (style & WS_VISIBLE)) ShowWindow(hwnd, SW_SHOW);
  return IsWindow(hwnd) ? hwnd : nullptr;
}

BOOL DestroyWindow(HWND hwnd) {
  auto w = FindWindowObj(hwnd);
  if (!w || w->destroying || !IsUiThread()) return FALSE;
  // Owned top-level windows go first, as their owner's loops end with them.
  std::vector<HWND> owned;
  {
    std::lock_guard lock(g_mutex);
    for (auto& [h, o] : g_windows)
      if (o->owner == hwnd) owned.push_back(h);
  }
  for (HWND o : owned) DestroyWindow(o);

  std::vector<std::shared_ptr<WindowObj>> tree;
  Collect(hwnd, tree);
  for (auto& t : tree) t->destroying = true;
  if (w->widget) w->widget->hide();
  for (auto& t : tree) {
    if (g_capture == t->hwnd) ReleaseCapture();
    if (g_focus == t->hwnd) g_focus = nullptr;
    CallProc(t, WM_DESTROY, 0, 0);
  }
  for (auto it = tree.rbegin(); it != tree.rend(); ++it) {
    auto& t = *it;
    CallProc(t, WM_NCDESTROY, 0, 0);
    Unregister(t->hwnd);
    ReleaseWindowMessaging(*t);
    EndModalLoopsOf(t->hwnd);
    DestroyMenuOfWindow(*t);
    if (g_foreground == t->hwnd) g_foreground = nullptr;
    if (g_cursorWindow == t->hwnd) g_cursorWindow = nullptr;
  }
  if (auto parent = FindWindowObj(w->parent)) {
    auto& c = parent->children;
    c.erase(std::remove(c.begin(), c.end(), hwnd), c.end());
  }
  // The widget may be the one whose event handler is running; Qt deletes it later.
  if (w->widget && !w->wrapped) w->widget->deleteLater();
  return TRUE;
}

BOOL IsWindow(HWND hwnd) {
  return WindowExists(hwnd) ? TRUE : FALSE;
}

BOOL IsChild(HWND parent, HWND hwnd) {
  for (auto w = FindWindowObj(hwnd); w && w->parent; w = FindWindowObj(w->parent))
    if (w->parent == parent) return TRUE;
  return FALSE;
}

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

LRESULT DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto w = FindWindowObj(hwnd);
  if (!w) return 0;
  switch (msg) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      if (!w->cls || !w->cls->background) return 0;
      RECT rc;
      GetClientRect(hwnd, &rc);
      FillRect(reinterpret_cast<HDC>(wParam), &rc, w->cls->background);
      return 1;
    }
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
    case WM_CONTEXTMENU:
      return (w->style & WS_CHILD) && w->parent ? SendMessageW(w->parent, msg, wParam, lParam) : 0;
    case WM_SETCURSOR: {
      if ((w->style & WS_CHILD) && w->parent && SendMessageW(w->parent, msg, wParam, lParam)) return TRUE;
      if (LOWORD(static_cast<std::uintptr_t>(lParam)) == HTCLIENT)
        SetCursor(w->cls && w->cls->cursor ? w->cls->cursor : ArrowCursor());
      return FALSE;
    }
    case WM_NCHITTEST:
      return HTCLIENT;
    case WM_ACTIVATE:
      // An activated window takes the keyboard unless one of its own windows has it.
      if (LOWORD(wParam) != WA_INACTIVE && !(g_focus == hwnd || IsChild(hwnd, g_focus))) SetFocus(hwnd);
      return 0;
    case WM_NCLBUTTONDOWN: {
      // The desktop moves or sizes the window, as the caption and borders do.
      QWidget* top = w->widget ? w->widget->window() : nullptr;
      QWindow* handle = top ? top->windowHandle() : nullptr;
      if (!handle) return 0;
      static const std::map<WPARAM, Qt::Edges> edges = {{HTLEFT, Qt::LeftEdge},
                                                        {HTRIGHT, Qt::RightEdge},
                                                        {HTTOP, Qt::TopEdge},
                                                        {HTBOTTOM, Qt::BottomEdge},
                                                        {HTTOPLEFT, Qt::TopEdge | Qt::LeftEdge},
                                                        {HTTOPRIGHT, Qt::TopEdge | Qt::RightEdge},
                                                        {HTBOTTOMLEFT, Qt::BottomEdge | Qt::LeftEdge},
                                                        {HTBOTTOMRIGHT, Qt::BottomEdge | Qt::RightEdge}};
      if (wParam == static_cast<WPARAM>(HTCAPTION))
        handle->startSystemMove();
      else if (auto it = edges.find(wParam); it != edges.end())
        handle->startSystemResize(it->second);
      return 0;
    }
    case WM_NCLBUTTONDBLCLK:
      if (wParam == static_cast<WPARAM>(HTCAPTION))
        SendMessageW(hwnd, WM_SYSCOMMAND, IsZoomed(hwnd) ? SC_RESTORE : SC_MAXIMIZE, lParam);
      return 0;
    case WM_MOUSEACTIVATE:
      return MA_ACTIVATE;
    case WM_NCACTIVATE:
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_SETTEXT:
      w->text = lParam ? reinterpret_cast<LPCWSTR>(lParam) : L"";
      if (w->widget) w->widget->setWindowTitle(QString::fromStdWString(w->text));
      return TRUE;
    case WM_SETICON:
      // The desktop shows one icon per window: the big and the small one are the same picture
      // here, and the previous one is not handed back.
      if (w->widget)
        w->widget->setWindowIcon(lParam ? QIcon(reinterpret_cast<CursorObj*>(lParam)->cursor.pixmap()) : QIcon());
      return 0;
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w->text.size());
    case WM_GETTEXT: {
      auto* buf = reinterpret_cast<LPWSTR>(lParam);
      if (!buf || wParam == 0) return 0;
      const size_t n = std::min<size_t>(w->text.size(), wParam - 1);
      std::copy_n(w->text.begin(), n, buf);
      buf[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_CLOSE:
          if (!w->closeDisabled) SendMessageW(hwnd, WM_CLOSE, 0, 0);
          return 0;
        case SC_MINIMIZE:
          ShowWindow(hwnd, SW_MINIMIZE);
          return 0;
        case SC_MAXIMIZE:
          ShowWindow(hwnd, SW_MAXIMIZE);
          return 0;
        case SC_RESTORE:
          ShowWindow(hwnd, SW_RESTORE);
          return 0;
        default:
          return 0;
      }
    default:
      return 0;
  }
}

// ---- Window data --------------------------------------------------------------------------

LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) {
  auto w = FindWindowObj(hwnd);
  if (!w) return 0;
  switch (index) {
    case GWLP_USERDATA:
      return w->userData;
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_ID:
      return w->id;
    case GWLP_HWNDPARENT:
      return reinterpret_cast<LONG_PTR>(w->owner);
    case GWLP_HINSTANCE:
      return w->cls ? reinterpret_cast<LONG_PTR>(w->cls->instance) : 0;
    case GWL_STYLE:
      return static_cast<LONG_PTR>(w->style | (w->widget && !w->widget->isHidden() ? WS_VISIBLE : 0));
    case GWL_EXSTYLE:
      return w->exStyle;
    default:
      return 0;
  }
}

LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
  auto w = FindWindowObj(hwnd);
  if (!w) return 0;
  const LONG_PTR old = GetWindowLongPtrW(hwnd, index);
  switch (index) {
    case GWLP_USERDATA:
      w->userData = value;
      break;
    case GWLP_WNDPROC:
      w->proc = reinterpret_cast<WNDPROC>(value);
      break;
    case GWLP_ID:
      w->id = value;
      break;
    case GWL_STYLE:
      w->style = static_cast<DWORD>(value) & ~WS_VISIBLE;
      ApplyStyleFlags(*w);
      break;
    case GWL_EXSTYLE:
      w->exStyle = static_cast<DWORD>(value);
      if (w->widget) w->widget->setAcceptDrops(w->exStyle & WS_EX_ACCEPTFILES);
      ApplyStyleFlags(*w);
      break;
    default:
      return 0;
  }
  return old;
}

LONG_PTR GetWindowLongW(HWND hwnd, int index) {
  return GetWindowLongPtrW(hwnd, index);
}
LONG_PTR SetWindowLongW(HWND hwnd, int index, LONG_PTR value) {
  return SetWindowLongPtrW(hwnd, index, value);
}

// ---- Visibility and geometry --------------------------------------------------------------

BOOL ShowWindow(HWND hwnd, int cmd) {
  auto w = FindWindowObj(hwnd);
  if (!w || !w->widget) return FALSE;
  QWidget* widget = w->widget;
  const BOOL wasVisible = !widget->isHidden();
  const bool top = widget->isWindow();
  switch (cmd) {
    case SW_HIDE:
      if (wasVisible) CallProc(w, WM_SHOWWINDOW, FALSE, 0);
      widget->hide();
      break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
      if (top)
        widget->showMinimized();
      else
        widget->show();
      break;
    case SW_MAXIMIZE:
      if (top)
        widget->showMaximized();
      else
        widget->show();
      break;
    default:
      if (!wasVisible) CallProc(w, WM_SHOWWINDOW, TRUE, 0);
      widget->setAttribute(Qt::WA_ShowWithoutActivating, cmd == SW_SHOWNOACTIVATE || cmd == SW_SHOWNA);
      if (top && (cmd == SW_RESTORE || cmd == SW_SHOWNORMAL) &&
          (widget->isMinimized() || widget->isMaximized()))
        widget->showNormal();
      else
        widget->show();
      break;
  }
  // A window that shows gets its picture now, not at its first paint: making a fresh image of the
  // window's size then overlaps what the loop waits for before it paints (the fonts, at start).
  if (widget->isVisible()) EnsureBacking(*w);
  return wasVisible;
}

BOOL IsWindowVisible(HWND hwnd) {
  auto w = FindWindowObj(hwnd);
  return w && w->widget && w->widget->isVisible() ? TRUE : FALSE;
}

BOOL IsIconic(HWND hwnd) {
  auto w = FindWindowObj(hwnd);
  return w && w->widget && w->widget->isWindow() && w->widget->isMinimized() ? TRUE : FALSE;
}

BOOL IsZoomed(HWND hwnd) {
  auto w = FindWindowObj(hwnd);
  return w && w->widget && w->widget->isWindow() && w->widget->isMaximized() ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  auto w = FindWindowObj(hwnd);
  if (!w) return FALSE;
  const BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
  w->style = enable ? (w->style & ~WS_DISABLED) : (w->style | WS_DISABLED);
  if (w->widget) w->widget->setEnabled(enable);
  if (wasDisabled == (enable ? TRUE : FALSE)) CallProc(w, WM_ENABLE, enable, 0);
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
  auto w = FindWindowObj(hwnd);
  return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(hwnd, nullptr, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  auto w = FindWindowObj(hwnd);
  if (!w || !w->widget) return FALSE;
  QWidget* widget = w->widget;
  if (!(flags & SWP_NOZORDER)) {
    if (insertAfter == HWND_BOTTOM)
      widget->lower();
    else if (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST)
      widget->raise();
  }
  if (!(flags & SWP_NOZORDER) && widget->isWindow() &&
      (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST)) {
    const bool topmost = insertAfter == HWND_TOPMOST;
    if (topmost != bool(w->exStyle & WS_EX_TOPMOST)) {
      w->exStyle = topmost ? (w->exStyle | WS_EX_TOPMOST) : (w->exStyle & ~WS_EX_TOPMOST);
      ApplyStyleFlags(*w);
    }
  }
  QRect g = widget->geometry();
  if (!(flags & SWP_NOMOVE)) g.moveTo(x, y);
  if (!(flags & SWP_NOSIZE)) g.setSize(QSize(std::max(cx, 0), std::max(cy, 0)));
  if (g != widget->geometry()) widget->setGeometry(g);
  // Qt defers resize events of hidden widgets; the window hears about it now.
  WinWidget* ww = dynamic_cast<WinWidget*>(widget);
  if (ww) {
    auto obj = FindWindowObj(hwnd);
    if (obj) {
      const QSize size = widget->size();
      if (size != obj->lastSize) {
        obj->lastSize = size;
        NoteBackingSize(*obj);
        CallProc(obj, WM_SIZE, SIZE_RESTORED, MAKELPARAM(size.width(), size.height()));
        if (obj->cls && (obj->cls->style & (CS_HREDRAW | CS_VREDRAW))) InvalidateRect(hwnd, nullptr, TRUE);
      }
      if (IsWindow(hwnd) && widget->pos() != obj->lastPos) {
        obj->lastPos = widget->pos();
        CallProc(obj, WM_MOVE, 0, MAKELPARAM(obj->lastPos.x(), obj->lastPos.y()));
      }
    }
  }
  if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNOACTIVATE : SW_SHOW);
  if (flags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
  return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  auto w = FindWindowObj(hwnd);
  if (!w || !rect) return FALSE;
  if (!w->widget) {
    *rect = RECT{};
    return TRUE;
  }
  QWidget* widget = w->widget;
  const QPoint tl = widget->isWindow() ? widget->geometry().topLeft() : widget->mapToGlobal(QPoint(0, 0));
  *rect = RECT{tl.x(), tl.y(), tl.x() + widget->width(), tl.y() + widget->height()};
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  auto w = FindWindowObj(hwnd);
  if (!w || !rect) return FALSE;
  *rect = w->widget ? RECT{0, 0, w->widget->width(), w->widget->height()} : RECT{};
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* pt) {
  auto w = FindWindowObj(hwnd);
  if (!w || !pt || !w->widget) return FALSE;
  QWidget* widget = w->widget;
  const QPoint origin = widget->isWindow() ? widget->geometry().topLeft() : widget->mapToGlobal(QPoint(0, 0));
  pt->x += origin.x();
  pt->y += origin.y();
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* pt) {
  POINT origin{0, 0};
  if (!pt || !ClientToScreen(hwnd, &origin)) return FALSE;
  pt->x -= origin.x;
  pt->y -= origin.y;
  return TRUE;
}

HWND SetParent(HWND child, HWND newParent) {
  auto w = FindWindowObj(child);
  auto np = FindWindowObj(newParent);
  if (!w || (newParent && !np)) return nullptr;
  const HWND old = (w->style & WS_CHILD) ? w->parent : w->owner;
  if (auto op = FindWindowObj(w->parent)) {
    auto& c = op->children;
    c.erase(std::remove(c.begin(), c.end(), child), c.end());
  }
  if (np && (w->style & WS_CHILD)) {
    w->parent = newParent;
    np->children.push_back(child);
  } else {
    w->parent = nullptr;
    w->owner = newParent;
  }
  if (w->widget) {
    const bool visible = !w->widget->isHidden();
    const bool child = (w->style & WS_CHILD) && np;
    const Qt::WindowFlags flags = w->widget->windowFlags();
    const Qt::WindowFlags topLevel = (flags & ~Qt::WindowType_Mask) | (np ? Qt::Dialog : Qt::Window);
    w->widget->setParent(child ? np->widget.data() : nullptr, child ? Qt::Widget : topLevel);
    if (!child) KeepAbove(w->widget, np ? np->widget.data() : nullptr);
    if (visible) w->widget->show();
  }
  return old;
}

HWND GetParent(HWND hwnd) {
  auto w = FindWindowObj(hwnd);
  if (!w) return nullptr;
  return (w->style & WS_CHILD) ? w->parent : w->owner;
}

HWND GetWindow(HWND hwnd, UINT cmd) {
  auto w = FindWindowObj(hwnd);
  if (!w) return nullptr;
  if (cmd == GW_OWNER) return w->owner;
  if (cmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  auto p = FindWindowObj(w->parent);
  if (!p) return nullptr;
  auto& c = p->children;
  auto it = std::find(c.begin(), c.end(), hwnd);
  switch (cmd) {
    case GW_HWNDFIRST:
      return c.front();
    case GW_HWNDLAST:
      return c.back();
    case GW_HWNDNEXT:
      return it != c.end() && it + 1 != c.end() ? *(it + 1) : nullptr;
    case GW_HWNDPREV:
      return it != c.begin() && it != c.end() ? *(it - 1) : nullptr;
    default:
      return nullptr;
  }
}

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName) {
  std::lock_guard lock(g_mutex);
  HWND found = nullptr;
  std::uintptr_t first = UINTPTR_MAX;
  for (auto& [h, w] : g_windows) {
    if ((w->style & WS_CHILD) || w->destroying) continue;
    if (className && (!w->cls || w->cls->name != className)) continue;
    if (windowName && w->text != windowName) continue;
    // The oldest match, so the answer does not depend on hash order.
    if (reinterpret_cast<std::uintptr_t>(h) < first) {
      first = reinterpret_cast<std::uintptr_t>(h);
      found = h;
    }
  }
  return found;
}

BOOL SetWindowTextW(HWND hwnd, LPCWSTR text) {
  return IsWindow(hwnd) ? static_cast<BOOL>(SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)))
                        : FALSE;
}

int GetWindowTextW(HWND hwnd, LPWSTR buffer, int maxCount) {
  if (!buffer || maxCount <= 0) return 0;
  return static_cast<int>(
      SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthW(HWND hwnd) {
  return static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

int GetClassNameW(HWND hwnd, LPWSTR buffer, int maxCount) {
  auto w = FindWindowObj(hwnd);
  if (!w || !w->cls || !buffer || maxCount <= 0) return 0;
  const size_t n = std::min<size_t>(w->cls->name.size(), static_cast<size_t>(maxCount - 1));
  std::copy_n(w->cls->name.begin(), n, buffer);
  buffer[n] = 0;
  return static_cast<int>(n);
}

BOOL SetForegroundWindow(HWND hwnd) {
  auto w = FindWindowObj(hwnd);
  if (!w || !w->widget) return FALSE;
  QWidget* top = w->widget->window();
  top->raise();
  top->activateWindow();
  g_foreground = SOWin::HwndOf(top);
  return TRUE;
}

HWND GetForegroundWindow() {
  return IsWindow(g_foreground) ? g_foreground : nullptr;
}
HWND GetActiveWindow() {
  return GetForegroundWindow();
}

HWND SetFocus(HWND hwnd) {
  const HWND old = IsWindow(g_focus) ? g_focus : nullptr;
  if (hwnd && !IsWindow(hwnd)) return nullptr;
  if (old == hwnd) return old;
  g_focus = hwnd;
  if (old) SendMessageW(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd && g_focus == hwnd) {
    if (auto w = FindWindowObj(hwnd); w && w->widget) w->widget->setFocus(Qt::OtherFocusReason);
    SendMessageW(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  }
  return old;
}

HWND GetFocus() {
  return IsWindow(g_focus) ? g_focus : nullptr;
}

HWND SetCapture(HWND hwnd) {
  const HWND old = IsWindow(g_capture) ? g_capture : nullptr;
  auto w = FindWindowObj(hwnd);
  if (!w) return old;
  if (old && old != hwnd) ReleaseCapture();
  g_capture = hwnd;
  if (w->widget && w->widget->isVisible()) w->widget->grabMouse();
  return old;
}

BOOL ReleaseCapture() {
  const HWND old = g_capture;
  g_capture = nullptr;
  if (auto w = FindWindowObj(old)) {
    if (w->widget && QWidget::mouseGrabber() == w->widget) w->widget->releaseMouse();
    CallProc(w, WM_CAPTURECHANGED, 0, 0);
  }
  return TRUE;
}

HWND GetCapture() {
  return IsWindow(g_capture) ? g_capture : nullptr;
}
HWND GetDesktopWindow() {
  return nullptr;
}

int SetWindowRgn(HWND hwnd, HRGN region, BOOL) {
  auto w = FindWindowObj(hwnd);
  if (!w) return 0;
  auto* r = Lookup<RegionObj>(region, GdiObject::Kind::Region);
  if (w->widget) {
    if (r)
      w->widget->setMask(r->region);
    else
      w->widget->clearMask();
  }
  if (r) DeleteObject(region);
  return 1;
}

// ---- Painting -----------------------------------------------------------------------------

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  auto w = FindWindowObj(hwnd);
  if (!w || !w->widget) return FALSE;
  const QRect r = rect ? QRect(QPoint(rect->left, rect->top), QPoint(rect->right - 1, rect->bottom - 1))
                       : w->widget->rect();
  w->invalid += r;
  if (erase) w->erasePending = true;
  w->widget->update(r);
  return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
  auto w = FindWindowObj(hwnd);
  if (!w) return FALSE;
  if (rect)
    w->invalid -= QRect(QPoint(rect->left, rect->top), QPoint(rect->right - 1, rect->bottom - 1));
  else
    w->invalid = QRegion();
  return TRUE;
}

BOOL UpdateWindow(HWND hwnd) {
  auto w = FindWindowObj(hwnd);
  if (!w || !w->widget) return FALSE;
  if (w->invalid.isEmpty() || !w->widget->isVisible() || w->inPaint) return TRUE;
  // Qt paints a whole window tree in one pass and refuses a nested one: a window updated while
  // another paints (a control moved by its parent's layout, say) is painted in the next pass.
  if (g_paintDepth > 0)
    w->widget->update(w->invalid);
  else
    w->widget->repaint(w->invalid);
  return TRUE;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
  auto w = FindWindowObj(hwnd);
  if (!w || !ps) return nullptr;
  EnsureBacking(*w);
  auto* dc = new DCObj;
  dc->kind = DCObj::Kind::Window;
  dc->hwnd = hwnd;
  const QRegion region = w->inPaint ? w->painting : QRegion(w->backing.rect());
  dc->state.clip = region;
  HDC hdc = NewDC(dc);
  const QRect box = region.boundingRect();
  ps->hdc = hdc;
  ps->rcPaint = RECT{box.left(), box.top(), box.left() + box.width(), box.top() + box.height()};
  ps->fErase = FALSE;
  if (w->erasePending) {
    w->erasePending = false;
    ps->fErase = CallProc(w, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) ? FALSE : TRUE;
  }
  w->invalid = QRegion();
  return hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* ps) {
  if (!ps) return FALSE;
  DeleteDC(ps->hdc);
  return TRUE;
}

// ---- Monitors and metrics -----------------------------------------------------------------

HMONITOR MonitorFromWindow(HWND, DWORD) {
  return reinterpret_cast<HMONITOR>(1);
}

BOOL GetMonitorInfoW(HMONITOR monitor, MONITORINFO* info) {
  if (!monitor || !info) return FALSE;
  info->rcMonitor = ToRECT(ScreenRect());
  info->rcWork = ToRECT(WorkRect());
  info->dwFlags = MONITORINFOF_PRIMARY;
  return TRUE;
}

BOOL SystemParametersInfoW(UINT action, UINT, LPVOID data, UINT) {
  if (action != SPI_GETWORKAREA || !data) return FALSE;
  *static_cast<RECT*>(data) = ToRECT(WorkRect());
  return TRUE;
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN:
    case SM_CXFULLSCREEN:
      return ScreenRect().width();
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
      return ScreenRect().height();
    case SM_CYFULLSCREEN:
      return WorkRect().height();
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
      return 17;
    case SM_CYCAPTION:
      return 23;
    case SM_CXBORDER:
    case SM_CYBORDER:
      return 1;
    case SM_CXICON:
    case SM_CYICON:
      return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
      return 16;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
      return 4;
    case SM_CMONITORS:
      return 1;
    default:
      return 0;
  }
}

// ---- Input --------------------------------------------------------------------------------

HCURSOR SetCursor(HCURSOR cursor) {
  const HCURSOR old = g_cursor;
  g_cursor = cursor;
  if (auto w = FindWindowObj(g_cursorWindow); w && w->widget) ApplyCursor(w->widget, cursor);
  return old;
}

HCURSOR GetCursor() {
  return g_cursor;
}

BOOL GetCursorPos(POINT* pt) {
  if (!pt) return FALSE;
  const QPoint p = QCursor::pos();
  *pt = POINT{p.x(), p.y()};
  return TRUE;
}

SHORT GetKeyState(int virtKey) {
  const Qt::KeyboardModifiers mods = QGuiApplication::queryKeyboardModifiers();
  const Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
  bool down = false;
  switch (virtKey) {
    case VK_SHIFT:
      down = mods & Qt::ShiftModifier;
      break;
    case VK_CONTROL:
      down = mods & Qt::ControlModifier;
      break;
    case VK_MENU:
      down = mods & Qt::AltModifier;
      break;
    case VK_LBUTTON:
      down = buttons & Qt::LeftButton;
      break;
    case VK_RBUTTON:
      down = buttons & Qt::RightButton;
      break;
    case VK_MBUTTON:
      down = buttons & Qt::MiddleButton;
      break;
    default:
      break;
  }
  return down ? static_cast<SHORT>(0x8000) : 0;
}

SHORT GetAsyncKeyState(int virtKey) {
  return GetKeyState(virtKey);
}

BOOL TrackMouseEvent(TRACKMOUSEEVENT* tme) {
  if (!tme) return FALSE;
  auto w = FindWindowObj(tme->hwndTrack);
  if (!w) return FALSE;
  if (tme->dwFlags & TME_CANCEL) {
    w->trackFlags &= ~(tme->dwFlags & (TME_HOVER | TME_LEAVE));
    if (!(w->trackFlags & TME_HOVER) && w->hoverTimer) w->hoverTimer->stop();
    return TRUE;
  }
  w->trackFlags |= tme->dwFlags & (TME_HOVER | TME_LEAVE);
  if (tme->dwFlags & TME_HOVER) {
    if (!w->hoverTimer) {
      w->hoverTimer = new QTimer(w->widget.data());
      w->hoverTimer->setSingleShot(true);
      const HWND hwnd = w->hwnd;
      QObject::connect(w->hoverTimer, &QTimer::timeout, [hwnd] {
        auto obj = FindWindowObj(hwnd);
        if (!obj || !(obj->trackFlags & TME_HOVER)) return;
        obj->trackFlags &= ~TME_HOVER;
        QPoint pos = obj->widget ? obj->widget->mapFromGlobal(QCursor::pos()) : QPoint();
        CallProc(obj, WM_MOUSEHOVER, 0, MAKELPARAM(pos.x(), pos.y()));
      });
    }
    const int ms =
        tme->dwHoverTime == HOVER_DEFAULT || tme->dwHoverTime == 0 ? 100 : static_cast<int>(tme->dwHoverTime);
    w->hoverTimer->setInterval(ms);
    w->hoverTimer->start();
  }
  return TRUE;
}

namespace sowin {
void NoteMouseMove(WindowObj& w) {
  if ((w.trackFlags & TME_HOVER) && w.hoverTimer) w.hoverTimer->start();
}
}  // namespace sowin

UINT DragQueryFileW(HDROP drop, UINT index, LPWSTR file, UINT size) {
  auto* d = reinterpret_cast<DropObj*>(drop);
  if (!d) return 0;
  if (index == 0xFFFFFFFF) return static_cast<UINT>(d->paths.size());
  if (index >= d->paths.size()) return 0;
  const std::wstring w = SOWin::FromUtf8(d->paths[index]);
  if (!file) return static_cast<UINT>(w.size());
  if (size == 0) return 0;
  const size_t n = std::min<size_t>(w.size(), size - 1);
  std::copy_n(w.begin(), n, file);
  file[n] = 0;
  return static_cast<UINT>(n);
}

UINT DragQueryFileA(HDROP drop, UINT index, LPSTR file, UINT size) {
  auto* d = reinterpret_cast<DropObj*>(drop);
  if (!d) return 0;
  if (index == 0xFFFFFFFF) return static_cast<UINT>(d->paths.size());
  if (index >= d->paths.size()) return 0;
  const std::string& s = d->paths[index];
  if (!file) return static_cast<UINT>(s.size());
  if (size == 0) return 0;
  const size_t n = std::min<size_t>(s.size(), size - 1);
  std::copy_n(s.begin(), n, file);
  file[n] = 0;
  return static_cast<UINT>(n);
}

void DragFinish(HDROP drop) {
  delete reinterpret_cast<DropObj*>(drop);
}

void DragAcceptFiles(HWND hwnd, BOOL accept) {
  auto w = FindWindowObj(hwnd);
  if (!w) return;
  w->exStyle = accept ? (w->exStyle | WS_EX_ACCEPTFILES) : (w->exStyle & ~WS_EX_ACCEPTFILES);
  if (w->widget) w->widget->setAcceptDrops(accept);
}

// ---- Qt bridges and headless use ----------------------------------------------------------

namespace SOWin {

QWidget* WidgetOf(HWND hwnd) {
  auto w = FindWindowObj(hwnd);
  return w ? w->widget.data() : nullptr;
}

HWND HwndOf(QWidget* widget) {
  for (QWidget* p = widget; p; p = p->parentWidget()) {
    if (auto* ww = dynamic_cast<WinWidget*>(p)) return ww->Handle();
    std::lock_guard lock(g_mutex);
    for (auto& [h, w] : g_windows)
      if (w->wrapped && w->widget == p) return h;
  }
  return nullptr;
}

HWND WrapWidget(QWidget* widget) {
  if (!widget || !IsUiThread()) return nullptr;
  EnsureDispatcher();
  {
    std::lock_guard lock(g_mutex);
    for (auto& [h, w] : g_windows)
      if (w->widget == widget) return h;
  }
  auto w = std::make_shared<WindowObj>();
  w->hwnd = reinterpret_cast<HWND>(g_nextHandle.fetch_add(4));
  w->wrapped = true;
  w->widget = widget;
  w->style = widget->isWindow() ? WS_OVERLAPPED : WS_CHILD;
  w->lastSize = widget->size();
  {
    std::lock_guard lock(g_mutex);
    g_windows[w->hwnd] = w;
  }
  const HWND hwnd = w->hwnd;
  QObject::connect(widget, &QObject::destroyed, [hwnd] { DestroyWindow(hwnd); });
  return hwnd;
}

HBITMAP CaptureWindow(HWND hwnd) {
  const QImage tree = RenderTree(hwnd);
  return tree.isNull() ? nullptr : BitmapFromImage(tree);
}

bool SaveWindowImage(HWND hwnd, const std::string& path) {
  HBITMAP bm = CaptureWindow(hwnd);
  auto* obj = Lookup<BitmapObj>(bm, GdiObject::Kind::Bitmap);
  const bool ok = obj && obj->image.save(QString::fromStdString(path));
  DeleteObject(bm);
  return ok;
}

void SetScreenForTest(const RECT& screen, const RECT& workArea) {
  g_testScreen = screen;
  g_testWork = workArea;
}

}  // namespace SOWin

BOOL PrintWindow(HWND hwnd, HDC hdc, UINT) {
  // Rendered first: the window's own paint may draw into the DC's image too.
  const QImage tree = RenderTree(hwnd);
  DCObj* dc = LookupDC(hdc);
  if (tree.isNull() || !dc) return FALSE;
  DCPainter p(dc);
  if (!p.Active()) return FALSE;
  p->drawImage(0, 0, tree);
  return TRUE;
}
