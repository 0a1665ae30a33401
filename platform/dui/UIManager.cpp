#include "UIManager.h"

#include "UIContainer.h"
#include "internal/UIRender.h"

#include <QCoreApplication>
#include <QCursor>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPoint>
#include <QTimer>
#include <QToolTip>
#include <QWidget>

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <string_view>
#include <utility>

namespace DuiLib {

namespace {

// Process-wide paths; UI thread only.
HINSTANCE g_instance = nullptr;
CDuiString g_resourcePath;

CDuiString WithSlash(CDuiString path) {
  path.Replace(L"\\", L"/");
  if (!path.IsEmpty() && path.GetAt(path.GetLength() - 1) != L'/') path += L'/';
  return path;
}

CControlUI* CALLBACK FindByName(CControlUI* c, void* data) {
  return c->GetName() == static_cast<const wchar_t*>(data) ? c : nullptr;
}

CControlUI* CALLBACK FindAny(CControlUI* c, void*) {
  return c;
}

struct ClassQuery {
  const wchar_t* name;
  int index;
  std::vector<CControlUI*>* all;
};

CControlUI* CALLBACK FindByClass(CControlUI* c, void* data) {
  auto* q = static_cast<ClassQuery*>(data);
  if (wcscmp(c->GetClass(), q->name) != 0) return nullptr;
  if (q->all) {
    q->all->push_back(c);
    return nullptr;
  }
  return q->index-- == 0 ? c : nullptr;
}

// Fonts named in skins are Windows fonts; the CJK sans face of this system stands in
// for them, with the named face tried first.
QFont MakeFont(const wchar_t* name, int size, bool bold, bool underline, bool italic) {
  QFont f;
  QStringList families;
  QString n = CRenderEngine::ToQString(name);
  if (!n.isEmpty()) families << n;
  families << QStringLiteral("Noto Sans CJK SC") << QStringLiteral("DejaVu Sans");
  f.setFamilies(families);
  f.setPixelSize(size > 0 ? size : 12);
  f.setBold(bold);
  f.setUnderline(underline);
  f.setItalic(italic);
  f.setHintingPreference(QFont::PreferNoHinting);
  return f;
}

// Listener lists hold each listener once.
template <class T>
bool AddOnce(std::vector<T*>& list, T* item) {
  if (!item || std::find(list.begin(), list.end(), item) != list.end()) return false;
  list.push_back(item);
  return true;
}

template <class T>
bool RemoveOnce(std::vector<T*>& list, T* item) {
  auto it = std::find(list.begin(), list.end(), item);
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}

// Runs a copy of the list, so a filter may add or remove filters while it handles the message.
bool RunFilters(std::vector<IMessageFilterUI*> filters, UINT uMsg, WPARAM wParam, LPARAM lParam,
                LRESULT& lRes) {
  for (IMessageFilterUI* f : filters) {
    bool handled = false;
    LRESULT r = f->MessageHandler(uMsg, wParam, lParam, handled);
    if (handled) {
      lRes = r;
      return true;
    }
  }
  return false;
}

}  // namespace

struct CFontEntry : TFontInfo {
  QFont font;
};

struct CImageEntry : TImageInfo {
  QImage image;
};

namespace {

std::unique_ptr<CFontEntry> NewFont(const wchar_t* name, int size, bool bold, bool underline, bool italic) {
  auto entry = std::make_unique<CFontEntry>();
  entry->sFontName = name;
  entry->iSize = size;
  entry->bBold = bold;
  entry->bUnderline = underline;
  entry->bItalic = italic;
  entry->font = MakeFont(name, size, bold, underline, italic);
  return entry;
}

}  // namespace

const QFont& CRenderEngine::FontOf(const CPaintManagerUI* manager, int index) {
  static const QFont plain;
  // Every font info a manager hands out is one of its entries.
  return manager ? static_cast<const CFontEntry*>(manager->GetFontInfo(index))->font : plain;
}

const QImage* CRenderEngine::PictureOf(const TImageInfo* info) {
  return info ? &static_cast<const CImageEntry*>(info)->image : nullptr;
}

CPaintManagerUI::CPaintManagerUI() : m_defaultFont(NewFont(L"Noto Sans CJK SC", 13, false, false, false)) {}

CPaintManagerUI::~CPaintManagerUI() {
  *m_alive = false;
  RemoveAllTimers();
  // Controls tell the manager of their end while the tree goes; nothing is queued for them.
  m_asyncNotify.clear();
  m_pRoot.reset();
  for (auto& [name, info] : m_images)
    if (info && info->hBitmap) DeleteObject(info->hBitmap);
}

void CPaintManagerUI::Init(HWND hWnd, const wchar_t* name) {
  m_hWndPaint = hWnd;
  m_sName = name ? name : L"";
}

void CPaintManagerUI::Invalidate() {
  if (m_hWndPaint) InvalidateRect(m_hWndPaint, nullptr, FALSE);
}

void CPaintManagerUI::Invalidate(const RECT& rc) {
  if (!m_hWndPaint) return;
  if (m_fZoom == 1.0) {
    InvalidateRect(m_hWndPaint, &rc, FALSE);
    return;
  }
  RECT scaled{LONG(rc.left * m_fZoom) - 1, LONG(rc.top * m_fZoom) - 1, LONG(rc.right * m_fZoom) + 1,
              LONG(rc.bottom * m_fZoom) + 1};
  InvalidateRect(m_hWndPaint, &scaled, FALSE);
}

HINSTANCE CPaintManagerUI::GetInstance() {
  return g_instance;
}

void CPaintManagerUI::SetInstance(HINSTANCE instance) {
  g_instance = instance;
}

CDuiString CPaintManagerUI::GetInstancePath() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return CDuiString();
  return WithSlash(exe.parent_path().wstring());
}

CDuiString CPaintManagerUI::GetResourcePath() {
  return g_resourcePath;
}

void CPaintManagerUI::SetResourcePath(const wchar_t* path) {
  g_resourcePath = path && *path ? WithSlash(path) : CDuiString();
}

void CPaintManagerUI::MessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void CPaintManagerUI::SetInitSize(int cx, int cy) {
  m_szInitWindowSize = SIZE{cx, cy};
  // Before the tree is attached the skin's size becomes the window's size.
  if (!m_pRoot && m_hWndPaint)
    SetWindowPos(m_hWndPaint, nullptr, 0, 0, cx, cy, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

void CPaintManagerUI::SetZoomRatio(double zoom) {
  if (zoom <= 0) return;
  m_fZoom = zoom;
  m_bUpdateNeeded = true;
  Invalidate();
}

int CPaintManagerUI::AddFont(const wchar_t* name, int size, bool bold, bool underline, bool italic) {
  m_fonts.push_back(NewFont(name, size, bold, underline, italic));
  return int(m_fonts.size()) - 1;
}

void CPaintManagerUI::SetDefaultFont(const wchar_t* name, int size, bool bold, bool underline, bool italic) {
  m_defaultFont = NewFont(name, size, bold, underline, italic);
}

TFontInfo* CPaintManagerUI::GetFontInfo(int index) {
  return const_cast<TFontInfo*>(std::as_const(*this).GetFontInfo(index));
}

const TFontInfo* CPaintManagerUI::GetFontInfo(int index) const {
  if (index < 0 || index >= int(m_fonts.size())) return m_defaultFont.get();
  return m_fonts[size_t(index)].get();
}

TFontInfo* CPaintManagerUI::GetDefaultFontInfo() {
  return m_defaultFont.get();
}

const TImageInfo* CPaintManagerUI::GetImage(const wchar_t* name) {
  if (!name || !*name) return nullptr;
  auto it = m_images.find(name);
  if (it != m_images.end()) return it->second && !it->second->image.isNull() ? it->second.get() : nullptr;
  CDuiString file = name;
  file.Replace(L"\\", L"/");
  QString candidates[] = {CRenderEngine::ToQString(file), CRenderEngine::ToQString(GetResourcePath() + file),
                          CRenderEngine::ToQString(GetInstancePath() + file)};
  auto info = std::make_unique<CImageEntry>();
  for (const QString& path : candidates) {
    if (path.isEmpty() || (path == candidates[0] && !QFileInfo(path).isAbsolute())) continue;
    if (!QFileInfo::exists(path)) continue;
    info->image = SOWin::ReadImageFile(path);
    if (!info->image.isNull()) break;
  }
  // A missing image is remembered as missing, so that painting does not retry the disk.
  if (!info->image.isNull()) info->image = info->image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  auto& slot = m_images[name];
  slot = std::move(info);
  return slot->image.isNull() ? nullptr : slot.get();
}

const TImageInfo* CPaintManagerUI::GetImageEx(const wchar_t* name, const wchar_t*, DWORD) {
  return GetImage(name);
}

const TImageInfo* CPaintManagerUI::AddImage(const wchar_t* name, HBITMAP bitmap, int width, int height,
                                            bool alpha, bool shared) {
  if (!name || !*name || !bitmap) return nullptr;
  auto it = m_images.find(name);
  if (it != m_images.end() && it->second && !it->second->image.isNull()) return nullptr;
  QImage* image = SOWin::ImageOf(bitmap);
  if (!image || image->isNull()) return nullptr;
  auto info = std::make_unique<CImageEntry>();
  info->image = image->copy();
  info->hBitmap = bitmap;
  info->nX = width;
  info->nY = height;
  info->bAlpha = alpha;
  info->bShared = shared;
  auto& slot = m_images[name];
  slot = std::move(info);
  Invalidate();
  return slot.get();
}

bool CPaintManagerUI::RemoveImage(const wchar_t* name) {
  if (!name) return false;
  auto it = m_images.find(name);
  if (it == m_images.end()) return false;
  if (it->second && it->second->hBitmap) DeleteObject(it->second->hBitmap);
  m_images.erase(it);
  return true;
}

void CPaintManagerUI::RemoveAllImages() {
  for (auto it = m_images.begin(); it != m_images.end();) {
    if (it->second && it->second->bShared) {
      ++it;
      continue;
    }
    if (it->second && it->second->hBitmap) DeleteObject(it->second->hBitmap);
    it = m_images.erase(it);
  }
}

void CPaintManagerUI::AddDefaultAttributeList(const wchar_t* controlName, const wchar_t* attributes) {
  if (controlName && attributes)
    m_defaultAttributes[controlName] = {attributes, ParseAttributeList(attributes)};
}

const wchar_t* CPaintManagerUI::GetDefaultAttributeList(const wchar_t* controlName) const {
  auto it = m_defaultAttributes.find(std::wstring_view(controlName ? controlName : L""));
  return it == m_defaultAttributes.end() ? nullptr : it->second.text.c_str();
}

const AttributePairs* CPaintManagerUI::GetDefaultAttributes(const wchar_t* controlName) const {
  auto it = m_defaultAttributes.find(std::wstring_view(controlName ? controlName : L""));
  return it == m_defaultAttributes.end() ? nullptr : &it->second.pairs;
}

void CPaintManagerUI::AddStyle(const wchar_t* name, const wchar_t* attributes) {
  if (name && attributes) m_styles[name] = {attributes, ParseAttributeList(attributes)};
}

const wchar_t* CPaintManagerUI::GetStyle(const wchar_t* name) const {
  auto it = m_styles.find(std::wstring_view(name ? name : L""));
  return it == m_styles.end() ? nullptr : it->second.text.c_str();
}

const AttributePairs* CPaintManagerUI::GetStyleAttributes(const wchar_t* name) const {
  auto it = m_styles.find(std::wstring_view(name ? name : L""));
  return it == m_styles.end() ? nullptr : &it->second.pairs;
}

void CPaintManagerUI::AddWindowCustomAttribute(const wchar_t* name, const wchar_t* value) {
  if (name && value) m_windowCustomAttributes[name] = value;
}

const wchar_t* CPaintManagerUI::GetWindowCustomAttribute(const wchar_t* name) const {
  auto it = m_windowCustomAttributes.find(name ? name : L"");
  return it == m_windowCustomAttributes.end() ? nullptr : it->second.c_str();
}

bool CPaintManagerUI::AttachDialog(CControlUI* root) {
  if (!root) return false;
  SetFocus(nullptr, false);
  m_pEventHover = m_pEventClick = nullptr;
  m_pRoot.reset(root);
  m_bUpdateNeeded = true;
  m_bFirstLayout = true;
  InitControls(root, nullptr);
  // "windowinit" reaches the notifiers once the creating code has returned to the loop,
  // after the first layout.
  SendNotify(root, L"windowinit", 0, 0, true, false);
  return true;
}

bool CPaintManagerUI::InitControls(CControlUI* control, CControlUI* parent) {
  if (!control) return false;
  control->SetManager(this, parent ? parent : control->GetParent(), true);
  return true;
}

void CPaintManagerUI::ReapObjects(CControlUI* control) {
  if (!control) return;
  ControlDestroyed(control);
  if (auto* container = static_cast<CContainerUI*>(control->GetInterface(L"Container")))
    for (int i = 0; i < container->GetCount(); ++i) ReapObjects(container->GetItemAt(i));
}

CControlUI* CPaintManagerUI::FindControl(POINT pt) const {
  if (!m_pRoot) return nullptr;
  return m_pRoot->FindControl(FindAny, &pt, UIFIND_VISIBLE | UIFIND_HITTEST | UIFIND_TOP_FIRST);
}

CControlUI* CPaintManagerUI::FindControl(const wchar_t* name) const {
  if (!m_pRoot || !name || !*name) return nullptr;
  return m_pRoot->FindControl(FindByName, const_cast<wchar_t*>(name), UIFIND_ALL);
}

CControlUI* CPaintManagerUI::FindSubControlByPoint(CControlUI* parent, POINT pt) const {
  if (!parent) parent = m_pRoot.get();
  return parent ? parent->FindControl(FindAny, &pt, UIFIND_VISIBLE | UIFIND_HITTEST | UIFIND_TOP_FIRST)
                : nullptr;
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* parent, const wchar_t* name) const {
  if (!parent) parent = m_pRoot.get();
  if (!parent || !name || !*name) return nullptr;
  return parent->FindControl(FindByName, const_cast<wchar_t*>(name), UIFIND_ALL);
}

CControlUI* CPaintManagerUI::FindSubControlByClass(CControlUI* parent, const wchar_t* className, int index) {
  if (!parent) parent = m_pRoot.get();
  if (!parent || !className) return nullptr;
  ClassQuery q{className, index, nullptr};
  return parent->FindControl(FindByClass, &q, UIFIND_ALL);
}

std::vector<CControlUI*> CPaintManagerUI::FindSubControlsByClass(CControlUI* parent,
                                                                 const wchar_t* className) {
  std::vector<CControlUI*> found;
  if (!parent) parent = m_pRoot.get();
  if (!parent || !className) return found;
  ClassQuery q{className, 0, &found};
  parent->FindControl(FindByClass, &q, UIFIND_ALL);
  return found;
}

bool CPaintManagerUI::AddOptionGroup(const wchar_t* group, CControlUI* control) {
  auto& members = m_optionGroups[group];
  if (std::find(members.begin(), members.end(), control) != members.end()) return false;
  members.push_back(control);
  return true;
}

std::vector<CControlUI*>* CPaintManagerUI::GetOptionGroup(const wchar_t* group) {
  auto it = m_optionGroups.find(group);
  return it == m_optionGroups.end() ? nullptr : &it->second;
}

void CPaintManagerUI::RemoveOptionGroup(const wchar_t* group, CControlUI* control) {
  auto it = m_optionGroups.find(group);
  if (it == m_optionGroups.end()) return;
  auto& members = it->second;
  members.erase(std::remove(members.begin(), members.end(), control), members.end());
  if (members.empty()) m_optionGroups.erase(it);
}

void CPaintManagerUI::SetFocus(CControlUI* control, bool focusWindow) {
  if (focusWindow && m_hWndPaint && ::GetFocus() != m_hWndPaint) ::SetFocus(m_hWndPaint);
  if (control == m_pFocus) return;
  if (m_pFocus) {
    CControlUI* old = m_pFocus;
    m_pFocus = nullptr;
    TEventUI event;
    event.Type = UIEVENT_KILLFOCUS;
    event.pSender = control;
    event.dwTimestamp = GetTickCount();
    old->Event(event);
    SendNotify(old, L"killfocus");
  }
  if (control && control->GetManager() == this && control->IsVisible() && control->IsEnabled()) {
    m_pFocus = control;
    TEventUI event;
    event.Type = UIEVENT_SETFOCUS;
    event.pSender = control;
    event.dwTimestamp = GetTickCount();
    control->Event(event);
    SendNotify(control, L"setfocus");
  }
}

bool CPaintManagerUI::SetNextTabControl(bool forward) {
  if (!m_pRoot) return false;
  std::vector<CControlUI*> stops;
  struct Collect {
    static CControlUI* CALLBACK Proc(CControlUI* c, void* data) {
      if ((c->GetControlFlags() & 1) && c->IsVisible() && c->IsEnabled())
        static_cast<std::vector<CControlUI*>*>(data)->push_back(c);
      return nullptr;
    }
  };
  m_pRoot->FindControl(Collect::Proc, &stops, UIFIND_VISIBLE | UIFIND_ENABLED | UIFIND_ME_FIRST);
  if (stops.empty()) return false;
  auto it = std::find(stops.begin(), stops.end(), m_pFocus);
  size_t next;
  if (it == stops.end())
    next = forward ? 0 : stops.size() - 1;
  else {
    size_t at = size_t(it - stops.begin());
    next = forward ? (at + 1) % stops.size() : (at + stops.size() - 1) % stops.size();
  }
  SetFocus(stops[next]);
  return true;
}

void CPaintManagerUI::SetCapture() {
  if (m_hWndPaint) ::SetCapture(m_hWndPaint);
  m_bMouseCapture = true;
}

void CPaintManagerUI::ReleaseCapture() {
  if (m_bMouseCapture) ::ReleaseCapture();
  m_bMouseCapture = false;
}

bool CPaintManagerUI::SetTimer(CControlUI* control, UINT timerId, UINT elapse) {
  if (!control || !m_hWndPaint) return false;
  for (auto& t : m_timers)
    if (t.control == control && t.localId == timerId)
      return ::SetTimer(m_hWndPaint, t.winId, elapse, nullptr) != 0;
  UINT_PTR id = ++m_nextTimerId;
  if (!::SetTimer(m_hWndPaint, id, elapse, nullptr)) return false;
  m_timers.push_back(TimerInfo{control, timerId, id});
  return true;
}

bool CPaintManagerUI::KillTimer(CControlUI* control, UINT timerId) {
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it)
    if (it->control == control && it->localId == timerId) {
      if (m_hWndPaint) ::KillTimer(m_hWndPaint, it->winId);
      m_timers.erase(it);
      return true;
    }
  return false;
}

void CPaintManagerUI::KillTimer(CControlUI* control) {
  for (auto it = m_timers.begin(); it != m_timers.end();) {
    if (it->control == control) {
      if (m_hWndPaint) ::KillTimer(m_hWndPaint, it->winId);
      it = m_timers.erase(it);
    } else {
      ++it;
    }
  }
}

void CPaintManagerUI::RemoveAllTimers() {
  for (auto& t : m_timers)
    if (m_hWndPaint && IsWindow(m_hWndPaint)) ::KillTimer(m_hWndPaint, t.winId);
  m_timers.clear();
}

void CPaintManagerUI::SendNotify(CControlUI* control, const wchar_t* type, WPARAM wParam, LPARAM lParam,
                                 bool async, bool enableRepeat) {
  TNotifyUI msg;
  msg.pSender = control;
  msg.sType = type;
  msg.wParam = wParam;
  msg.lParam = lParam;
  SendNotify(msg, async, enableRepeat);
}

void CPaintManagerUI::SendNotify(TNotifyUI& msg, bool async, bool enableRepeat) {
  msg.ptMouse = m_ptLastMousePos;
  msg.dwTimestamp = GetTickCount();
  if (!async) {
    Deliver(msg);
    return;
  }
  if (!enableRepeat)
    for (const TNotifyUI& queued : m_asyncNotify)
      if (queued.pSender == msg.pSender && queued.sType == msg.sType) return;
  m_asyncNotify.push_back(msg);
  if (m_asyncNotify.size() > 1 || !QCoreApplication::instance()) return;
  std::shared_ptr<bool> alive = m_alive;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [this, alive] {
        if (*alive) DispatchQueuedNotifies();
      },
      Qt::QueuedConnection);
}

void CPaintManagerUI::Deliver(TNotifyUI& msg) {
  if (msg.pSender) msg.pSender->OnNotify(&msg);
  // A notifier may remove itself (or others) while handling: walk a snapshot of still-registered ones.
  std::vector<INotifyUI*> notifiers = m_notifiers;
  std::shared_ptr<bool> alive = m_alive;
  for (INotifyUI* n : notifiers) {
    if (!*alive) return;
    if (std::find(m_notifiers.begin(), m_notifiers.end(), n) != m_notifiers.end()) n->Notify(msg);
  }
}

void CPaintManagerUI::DispatchQueuedNotifies() {
  std::shared_ptr<bool> alive = m_alive;
  while (*alive && !m_asyncNotify.empty()) {
    TNotifyUI msg = m_asyncNotify.front();
    m_asyncNotify.pop_front();
    if (msg.sType == L"windowinit" && m_bUpdateNeeded) UpdateLayout();
    Deliver(msg);
  }
}

bool CPaintManagerUI::AddNotifier(INotifyUI* notifier) {
  return AddOnce(m_notifiers, notifier);
}

bool CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) {
  return RemoveOnce(m_notifiers, notifier);
}

bool CPaintManagerUI::AddPreMessageFilter(IMessageFilterUI* filter) {
  return AddOnce(m_preMessageFilters, filter);
}

bool CPaintManagerUI::RemovePreMessageFilter(IMessageFilterUI* filter) {
  return RemoveOnce(m_preMessageFilters, filter);
}

bool CPaintManagerUI::AddMessageFilter(IMessageFilterUI* filter) {
  return AddOnce(m_messageFilters, filter);
}

bool CPaintManagerUI::RemoveMessageFilter(IMessageFilterUI* filter) {
  return RemoveOnce(m_messageFilters, filter);
}

bool CPaintManagerUI::PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  return RunFilters(m_preMessageFilters, uMsg, wParam, lParam, lRes);
}

POINT CPaintManagerUI::ToSkin(POINT pt) const {
  if (m_fZoom == 1.0) return pt;
  return POINT{LONG(pt.x / m_fZoom), LONG(pt.y / m_fZoom)};
}

void CPaintManagerUI::SetHot(CControlUI* control, POINT pt) {
  if (control == m_pEventHover) return;
  TEventUI event;
  event.ptMouse = pt;
  event.dwTimestamp = GetTickCount();
  if (m_pEventHover) {
    event.Type = UIEVENT_MOUSELEAVE;
    event.pSender = m_pEventHover;
    CControlUI* old = m_pEventHover;
    m_pEventHover = nullptr;
    old->Event(event);
  }
  m_pEventHover = control;
  QToolTip::hideText();
  if (control) {
    event.Type = UIEVENT_MOUSEENTER;
    event.pSender = control;
    control->Event(event);
  }
  // A tooltip shows when the mouse rests on the same control for a moment.
  if (control && !control->GetToolTip().IsEmpty() && m_hWndPaint) {
    std::shared_ptr<bool> alive = m_alive;
    QTimer::singleShot(600, [this, alive, control] {
      if (!*alive || m_pEventHover != control) return;
      if (QWidget* host = SOWin::WidgetOf(m_hWndPaint))
        QToolTip::showText(QCursor::pos(), CRenderEngine::ToQString(control->GetToolTip()), host);
    });
  }
}

bool CPaintManagerUI::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
  if (!m_hWndPaint) return false;
  if (PreMessageHandler(uMsg, wParam, lParam, lRes)) return true;
  if (RunFilters(m_messageFilters, uMsg, wParam, lParam, lRes)) return true;
  TEventUI event;
  event.dwTimestamp = GetTickCount();
  switch (uMsg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      Paint(BeginPaint(m_hWndPaint, &ps));
      EndPaint(m_hWndPaint, &ps);
      lRes = 0;
      return true;
    }
    case WM_SIZE:
      if (m_pFocus) {
        event.Type = UIEVENT_WINDOWSIZE;
        event.pSender = m_pFocus;
        m_pFocus->Event(event);
      }
      m_bUpdateNeeded = true;
      if (m_pRoot) m_pRoot->NeedUpdate();
      Invalidate();
      return false;
    case WM_TIMER:
      for (auto& t : m_timers)
        if (t.winId == wParam) {
          event.Type = UIEVENT_TIMER;
          event.pSender = t.control;
          event.wParam = t.localId;
          t.control->Event(event);
          lRes = 0;
          return true;
        }
      return false;
    case WM_MOUSEMOVE: {
      POINT pt = ToSkin(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      m_ptLastMousePos = pt;
      CControlUI* control = FindControl(pt);
      if (control && control->GetManager() != this) control = nullptr;
      SetHot(control, pt);
      CControlUI* target = m_pEventClick ? m_pEventClick : control;
      if (target) {
        event.Type = UIEVENT_MOUSEMOVE;
        event.pSender = target;
        event.ptMouse = pt;
        event.wParam = wParam;
        event.lParam = lParam;
        target->Event(event);
      }
      return false;
    }
    case WM_SETCURSOR:
      if (LOWORD(WPARAM(lParam)) != HTCLIENT || !m_pEventHover) return false;
      event.Type = UIEVENT_SETCURSOR;
      event.pSender = m_pEventHover;
      event.ptMouse = m_ptLastMousePos;
      m_pEventHover->Event(event);
      lRes = TRUE;
      return true;
    case WM_MOUSELEAVE:
      SetHot(nullptr, m_ptLastMousePos);
      return false;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: {
      // A click takes the keyboard focus to this window, so the window that had it learns that
      // it lost it (WM_KILLFOCUS), as Win32 child windows on the skin do.
      if (m_hWndPaint && ::GetFocus() != m_hWndPaint) ::SetFocus(m_hWndPaint);
      POINT pt = ToSkin(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      m_ptLastMousePos = pt;
      CControlUI* control = FindControl(pt);
      if (!control || control->GetManager() != this) return false;
      control->SetFocus();
      if (uMsg != WM_RBUTTONDOWN) {
        m_pEventClick = control;
        SetCapture();
      }
      event.Type = uMsg == WM_LBUTTONDOWN     ? UIEVENT_BUTTONDOWN
                   : uMsg == WM_LBUTTONDBLCLK ? UIEVENT_DBLCLICK
                                              : UIEVENT_RBUTTONDOWN;
      event.pSender = control;
      event.ptMouse = pt;
      event.wParam = wParam;
      event.lParam = lParam;
      event.wKeyState = WORD(wParam);
      control->Event(event);
      return false;
    }
    case WM_LBUTTONUP: {
      POINT pt = ToSkin(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      m_ptLastMousePos = pt;
      ReleaseCapture();
      CControlUI* control = m_pEventClick;
      m_pEventClick = nullptr;
      if (!control) return false;
      event.Type = UIEVENT_BUTTONUP;
      event.pSender = control;
      event.ptMouse = pt;
      event.wParam = wParam;
      event.lParam = lParam;
      control->Event(event);
      return false;
    }
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU: {
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (uMsg == WM_CONTEXTMENU) ScreenToClient(m_hWndPaint, &pt);
      pt = ToSkin(pt);
      CControlUI* control = FindControl(pt);
      if (!control || control->GetManager() != this) return false;
      event.Type = UIEVENT_CONTEXTMENU;
      event.pSender = control;
      event.ptMouse = pt;
      event.lParam = LPARAM(control);
      control->Event(event);
      return false;
    }
    case WM_MOUSEWHEEL: {
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ScreenToClient(m_hWndPaint, &pt);
      pt = ToSkin(pt);
      CControlUI* control = FindControl(pt);
      if (!control || control->GetManager() != this) return false;
      event.Type = UIEVENT_SCROLLWHEEL;
      event.pSender = control;
      event.ptMouse = pt;
      event.wParam = wParam;
      event.lParam = lParam;
      control->Event(event);
      return false;
    }
    case WM_KEYDOWN:
      if (wParam == WPARAM(VK_TAB) && !(m_pFocus && wcscmp(m_pFocus->GetClass(), L"RichEdit") == 0)) {
        SetNextTabControl(GetKeyState(VK_SHIFT) >= 0);
        lRes = 0;
        return true;
      }
      [[fallthrough]];
    case WM_KEYUP:
    case WM_CHAR:
      if (!m_pFocus) return false;
      event.Type = uMsg == WM_KEYDOWN ? UIEVENT_KEYDOWN : uMsg == WM_KEYUP ? UIEVENT_KEYUP : UIEVENT_CHAR;
      event.pSender = m_pFocus;
      event.chKey = wchar_t(wParam);
      event.wParam = wParam;
      event.lParam = lParam;
      m_pFocus->Event(event);
      return false;
    case WM_CLOSE:
      // The closing window's controls see the mouse leave and the focus go.
      SetHot(nullptr, m_ptLastMousePos);
      SetFocus(nullptr, false);
      return false;
    default:
      return false;
  }
}

void CPaintManagerUI::UpdateLayout() {
  SIZE size{};
  RECT rc;
  if (m_hWndPaint && GetClientRect(m_hWndPaint, &rc) && rc.right > rc.left && rc.bottom > rc.top) {
    size = SIZE{rc.right - rc.left, rc.bottom - rc.top};
  } else if (m_pRoot) {
    size = SIZE{LONG(m_pRoot->GetFixedWidth() * m_fZoom), LONG(m_pRoot->GetFixedHeight() * m_fZoom)};
  }
  UpdateLayout(size);
}

void CPaintManagerUI::UpdateLayout(SIZE clientSize) {
  if (!m_pRoot) return;
  RECT rc{0, 0, LONG(clientSize.cx / m_fZoom), LONG(clientSize.cy / m_fZoom)};
  m_pRoot->SetPos(rc, false);
  m_bUpdateNeeded = false;
  m_bFirstLayout = false;
}

void CPaintManagerUI::Paint(HDC hDC) {
  if (!m_pRoot) return;
  if (m_bUpdateNeeded || m_pRoot->IsUpdateNeeded()) UpdateLayout();
  m_pRoot->DoPaint(hDC, m_pRoot->GetPos());
}

HBITMAP CPaintManagerUI::RenderToBitmap() {
  SIZE size{};
  RECT rc;
  if (m_hWndPaint && GetClientRect(m_hWndPaint, &rc) && rc.right > rc.left && rc.bottom > rc.top)
    size = SIZE{rc.right - rc.left, rc.bottom - rc.top};
  else if (m_pRoot)
    size = SIZE{LONG(m_pRoot->GetFixedWidth() * m_fZoom), LONG(m_pRoot->GetFixedHeight() * m_fZoom)};
  if (size.cx <= 0 || size.cy <= 0) return nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, size.cx, size.cy);
  ReleaseDC(nullptr, screen);
  if (!bitmap) return nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all{0, 0, size.cx, size.cy};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  UpdateLayout(size);
  Paint(dc);
  SelectObject(dc, old);
  DeleteDC(dc);
  return bitmap;
}

void CPaintManagerUI::ControlDestroyed(CControlUI* control) {
  if (m_pFocus == control) m_pFocus = nullptr;
  if (m_pEventHover == control) m_pEventHover = nullptr;
  if (m_pEventClick == control) m_pEventClick = nullptr;
  // A queued notification of a destroyed sender is dropped.
  m_asyncNotify.erase(std::remove_if(m_asyncNotify.begin(), m_asyncNotify.end(),
                                     [control](const TNotifyUI& n) { return n.pSender == control; }),
                      m_asyncNotify.end());
  KillTimer(control);
  for (auto it = m_optionGroups.begin(); it != m_optionGroups.end();) {
    auto& members = it->second;
    members.erase(std::remove(members.begin(), members.end(), control), members.end());
    it = members.empty() ? m_optionGroups.erase(it) : std::next(it);
  }
}

}  // namespace DuiLib
