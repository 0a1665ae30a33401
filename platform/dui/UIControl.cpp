#include "UIControl.h"

#include "UIGettext.h"
#include "UIManager.h"
#include "internal/UIRender.h"

#include <QPainter>

#include <cwchar>
#include <string_view>

namespace DuiLib {

CControlUI::CControlUI() = default;

CControlUI::~CControlUI() {
  OnDestroy(this);
  if (m_pManager) m_pManager->ControlDestroyed(this);
}

const wchar_t* CControlUI::GetClass() const {
  return L"Control";
}

void* CControlUI::GetInterface(const wchar_t* name) {
  if (name && wcscmp(name, L"Control") == 0) return this;
  return nullptr;
}

bool CControlUI::Activate() {
  return IsVisible() && IsEnabled();
}

void CControlUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init) {
  m_pManager = manager;
  m_pParent = parent;
  if (init && m_pParent) Init();
}

void CControlUI::SetText(const wchar_t* text) {
  if (m_sText == text) return;
  m_sText = text;
  Invalidate();
}

void CControlUI::SetBkColor(DWORD color) {
  m_dwBackColor = color;
  Invalidate();
}

void CControlUI::SetBkColor2(DWORD color) {
  m_dwBackColor2 = color;
  Invalidate();
}

void CControlUI::SetBkImage(const wchar_t* image) {
  m_sBkImage = image;
  Invalidate();
}

void CControlUI::SetBorderColor(DWORD color) {
  m_dwBorderColor = color;
  Invalidate();
}

void CControlUI::SetBorderSize(int size) {
  m_nBorderSize = size;
  Invalidate();
}

void CControlUI::SetBorderRound(SIZE round) {
  m_cxyBorderRound = round;
  Invalidate();
}

void CControlUI::SetPos(RECT rc, bool needInvalidate) {
  if (rc.right < rc.left) rc.right = rc.left;
  if (rc.bottom < rc.top) rc.bottom = rc.top;
  m_rcItem = rc;
  m_bUpdateNeeded = false;
  if (needInvalidate) Invalidate();
  OnSize(this);
}

void CControlUI::SetPadding(RECT padding) {
  m_rcPadding = padding;
  NeedParentUpdate();
}

void CControlUI::SetFixedXY(SIZE xy) {
  m_cXY = xy;
  NeedParentUpdate();
}

void CControlUI::SetFixedWidth(int cx) {
  if (cx < 0) return;
  m_cxyFixed.cx = cx;
  NeedParentUpdate();
}

void CControlUI::SetFixedHeight(int cy) {
  if (cy < 0) return;
  m_cxyFixed.cy = cy;
  NeedParentUpdate();
}

void CControlUI::SetMinWidth(int cx) {
  if (cx < 0) return;
  m_cxyMin.cx = cx;
  NeedParentUpdate();
}

void CControlUI::SetMaxWidth(int cx) {
  if (cx < 0) return;
  m_cxyMax.cx = cx;
  NeedParentUpdate();
}

void CControlUI::SetMinHeight(int cy) {
  if (cy < 0) return;
  m_cxyMin.cy = cy;
  NeedParentUpdate();
}

void CControlUI::SetMaxHeight(int cy) {
  if (cy < 0) return;
  m_cxyMax.cy = cy;
  NeedParentUpdate();
}

SIZE CControlUI::EstimateSize(SIZE) {
  return m_cxyFixed;
}

void CControlUI::AddCustomAttribute(const wchar_t* name, const wchar_t* value) {
  if (!name || !*name || !value) return;
  m_customAttributes[name] = value;
}

const wchar_t* CControlUI::GetCustomAttribute(const wchar_t* name) const {
  if (!name) return nullptr;
  auto it = m_customAttributes.find(name);
  return it == m_customAttributes.end() ? nullptr : it->second.c_str();
}

bool CControlUI::RemoveCustomAttribute(const wchar_t* name) {
  return name && m_customAttributes.erase(name) > 0;
}

void CControlUI::SetVisible(bool visible) {
  if (m_bVisible == visible) return;
  bool wasVisible = IsVisible();
  m_bVisible = visible;
  if (m_bFocused && !visible) m_bFocused = false;
  if (!visible && m_pManager && m_pManager->GetFocus() == this) m_pManager->SetFocus(nullptr, false);
  if (IsVisible() != wasVisible) NeedParentUpdate();
}

void CControlUI::SetInternVisible(bool visible) {
  m_bInternVisible = visible;
  if (!visible && m_pManager && m_pManager->GetFocus() == this) m_pManager->SetFocus(nullptr, false);
}

void CControlUI::SetEnabled(bool enable) {
  if (m_bEnabled == enable) return;
  m_bEnabled = enable;
  Invalidate();
}

void CControlUI::SetFocus() {
  if (m_pManager) m_pManager->SetFocus(this, false);
}

void CControlUI::SetFloat(bool floating) {
  if (m_bFloat == floating) return;
  m_bFloat = floating;
  NeedParentUpdate();
}

CControlUI* CControlUI::FindControl(FINDCONTROLPROC proc, void* data, UINT flags) {
  if ((flags & UIFIND_VISIBLE) && !IsVisible()) return nullptr;
  if ((flags & UIFIND_ENABLED) && !IsEnabled()) return nullptr;
  if ((flags & UIFIND_HITTEST)) {
    if (!m_bMouseEnabled) return nullptr;
    const POINT* pt = static_cast<const POINT*>(data);
    if (pt->x < m_rcItem.left || pt->x >= m_rcItem.right || pt->y < m_rcItem.top || pt->y >= m_rcItem.bottom)
      return nullptr;
  }
  return proc(this, data);
}

void CControlUI::Invalidate() {
  if (m_pManager) m_pManager->Invalidate(m_rcItem);
}

void CControlUI::NeedUpdate() {
  if (!IsVisible()) return;
  m_bUpdateNeeded = true;
  Invalidate();
  if (m_pManager) m_pManager->NeedUpdate();
}

void CControlUI::NeedParentUpdate() {
  if (m_pParent) {
    m_pParent->NeedUpdate();
    m_pParent->Invalidate();
  } else {
    NeedUpdate();
  }
  if (m_pManager) m_pManager->NeedUpdate();
}

void CControlUI::Init() {
  DoInit();
  OnInit(this);
}

void CControlUI::Event(TEventUI& event) {
  if (OnEvent(&event)) DoEvent(event);
}

void CControlUI::DoEvent(TEventUI& event) {
  if (event.Type == UIEVENT_SETFOCUS) {
    m_bFocused = true;
    Invalidate();
    return;
  }
  if (event.Type == UIEVENT_KILLFOCUS) {
    m_bFocused = false;
    Invalidate();
    return;
  }
  if (event.Type == UIEVENT_SETCURSOR) {
    const wchar_t* cursor = GetCustomAttribute(L"cursor");
    ::SetCursor(LoadCursorW(nullptr, cursor && wcscmp(cursor, L"hand") == 0 ? IDC_HAND : IDC_ARROW));
    return;
  }
  if (event.Type == UIEVENT_CONTEXTMENU) {
    if (GetCustomAttribute(L"menu") && wcscmp(GetCustomAttribute(L"menu"), L"true") == 0 && m_pManager) {
      m_pManager->SendNotify(this, L"menu", event.wParam, event.lParam);
      return;
    }
  }
  if (m_pParent) m_pParent->DoEvent(event);
}

void CControlUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  const std::wstring_view n = name;
  if (n == L"pos") {
    RECT rc = ParseRect(value);
    m_cXY = SIZE{rc.left, rc.top};
    m_cxyFixed = SIZE{rc.right - rc.left, rc.bottom - rc.top};
    NeedParentUpdate();
  } else if (n == L"padding") {
    SetPadding(ParseRect(value));
  } else if (n == L"bkcolor" || n == L"bkcolor1") {
    SetBkColor(ParseColor(value));
  } else if (n == L"bkcolor2") {
    SetBkColor2(ParseColor(value));
  } else if (n == L"bordercolor") {
    SetBorderColor(ParseColor(value));
  } else if (n == L"focusbordercolor") {
    SetFocusBorderColor(ParseColor(value));
  } else if (n == L"bordersize") {
    SetBorderSize(int(wcstol(value, nullptr, 10)));
  } else if (n == L"borderround") {
    SetBorderRound(ParseSize(value));
  } else if (n == L"bkimage") {
    SetBkImage(value);
  } else if (n == L"width") {
    SetFixedWidth(int(wcstol(value, nullptr, 10)));
  } else if (n == L"height") {
    SetFixedHeight(int(wcstol(value, nullptr, 10)));
  } else if (n == L"minwidth") {
    SetMinWidth(int(wcstol(value, nullptr, 10)));
  } else if (n == L"minheight") {
    SetMinHeight(int(wcstol(value, nullptr, 10)));
  } else if (n == L"maxwidth") {
    SetMaxWidth(int(wcstol(value, nullptr, 10)));
  } else if (n == L"maxheight") {
    SetMaxHeight(int(wcstol(value, nullptr, 10)));
  } else if (n == L"name") {
    SetName(value);
  } else if (n == L"text") {
    // Skin texts are keys of the translation catalog.
    SetText(ui_gettext(value));
  } else if (n == L"tooltip") {
    SetToolTip(ui_gettext(value));
  } else if (n == L"userdata") {
    SetUserData(value);
  } else if (n == L"enabled") {
    SetEnabled(ParseBool(value));
  } else if (n == L"mouse") {
    SetMouseEnabled(ParseBool(value));
  } else if (n == L"visible") {
    SetVisible(ParseBool(value));
  } else if (n == L"float") {
    SetFloat(ParseBool(value));
  } else if (n == L"style") {
    // A named attribute list of the skin.
    if (m_pManager)
      if (const AttributePairs* style = m_pManager->GetStyleAttributes(value)) ApplyAttributes(*style);
  } else {
    // Unknown to the engine: kept for the application (GetCustomAttribute).
    AddCustomAttribute(name, value);
  }
}

CControlUI* CControlUI::ApplyAttributeList(const wchar_t* list) {
  // name="value" pairs, as in the skin's Default elements.
  return ApplyAttributes(ParseAttributeList(list));
}

CControlUI* CControlUI::ApplyAttributes(const AttributePairs& pairs) {
  for (const auto& [name, value] : pairs) SetAttribute(name.c_str(), value.c_str());
  return this;
}

void CControlUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  RECT rc;
  if (!CRenderEngine::IntersectRect(rc, rcPaint, m_rcItem)) return;
  // One painter for the whole control, shared by its parts.
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  PaintBkColor(hDC);
  PaintBkImage(hDC);
  PaintStatusImage(hDC);
  PaintText(hDC);
  PaintBorder(hDC);
}

void CControlUI::PaintBkColor(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  if (m_dwBackColor2 && (m_dwBackColor >> 24)) {
    QLinearGradient g(m_rcItem.left, m_rcItem.top, m_rcItem.left, m_rcItem.bottom);
    g.setColorAt(0, CRenderEngine::ToColor(m_dwBackColor));
    g.setColorAt(1, CRenderEngine::ToColor(m_dwBackColor2));
    painter.fillRect(CRenderEngine::ToRect(m_rcItem), g);
    return;
  }
  CRenderEngine::DrawColor(painter, m_rcItem, m_dwBackColor, m_cxyBorderRound);
}

void CControlUI::PaintBkImage(HDC hDC) {
  if (!m_sBkImage.IsEmpty()) DrawImage(hDC, m_sBkImage);
}

void CControlUI::PaintBorder(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  DWORD color = (m_bFocused && m_dwFocusBorderColor) ? m_dwFocusBorderColor : m_dwBorderColor;
  CRenderEngine::DrawBorder(painter, m_rcItem, m_nBorderSize, color, m_cxyBorderRound);
}

bool CControlUI::DrawImage(HDC hDC, const wchar_t* image, const wchar_t* modify) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return false;
  QPainter& painter = *scope;
  return CRenderEngine::DrawImageString(painter, m_pManager, m_rcItem, image, modify);
}

}  // namespace DuiLib
