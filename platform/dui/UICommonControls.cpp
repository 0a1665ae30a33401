#include "UICommonControls.h"

#include "UIGettext.h"
#include "UIManager.h"
#include "internal/UIEditorHost.h"
#include "internal/UIRender.h"

#include <QDate>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <cwchar>
#include <string_view>

namespace DuiLib {

using namespace CRenderEngine;

namespace {

bool Is(const wchar_t* a, const wchar_t* b) {
  return a && wcscmp(a, b) == 0;
}

RECT Deflate(const RECT& rc, const RECT& by) {
  return RECT{rc.left + by.left, rc.top + by.top, rc.right - by.right, rc.bottom - by.bottom};
}

bool InRect(const RECT& rc, POINT pt) {
  return pt.x >= rc.left && pt.x < rc.right && pt.y >= rc.top && pt.y < rc.bottom;
}

// Reads align/valign words into DT_*_UI flags, keeping the other bits.
UINT ApplyAlign(UINT style, const wchar_t* value, bool vertical) {
  std::wstring v = value;
  if (!vertical) {
    style &= ~(DT_CENTER_UI | DT_RIGHT_UI);
    if (v.find(L"center") != std::wstring::npos) style |= DT_CENTER_UI;
    if (v.find(L"right") != std::wstring::npos) style |= DT_RIGHT_UI;
  }
  if (vertical || v.find(L"top") != std::wstring::npos || v.find(L"bottom") != std::wstring::npos ||
      v.find(L"vcenter") != std::wstring::npos) {
    if (v.find(L"top") != std::wstring::npos) style &= ~(DT_VCENTER_UI | DT_BOTTOM_UI);
    if (v.find(L"bottom") != std::wstring::npos) style = (style & ~DT_VCENTER_UI) | DT_BOTTOM_UI;
    if (v.find(L"vcenter") != std::wstring::npos || (vertical && v == L"center"))
      style = (style & ~DT_BOTTOM_UI) | DT_VCENTER_UI;
  }
  return style;
}

}  // namespace

// ---- CLabelUI ----

const wchar_t* CLabelUI::GetClass() const {
  return L"Label";
}

void* CLabelUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"Label")) return this;
  return CControlUI::GetInterface(name);
}

void CLabelUI::SetTextStyle(UINT style) {
  m_uTextStyle = style;
  Invalidate();
}

void CLabelUI::SetTextColor(DWORD color) {
  m_dwTextColor = color;
  Invalidate();
}

void CLabelUI::SetDisabledTextColor(DWORD color) {
  m_dwDisabledTextColor = color;
  Invalidate();
}

void CLabelUI::SetFont(int index) {
  m_iFont = index;
  Invalidate();
}

void CLabelUI::SetTextPadding(RECT rc) {
  m_rcTextPadding = rc;
  Invalidate();
}

SIZE CLabelUI::EstimateSize(SIZE available) {
  SIZE sz = m_cxyFixed;
  if (m_bAutoCalcWidth && sz.cx == 0 && m_pManager) {
    SIZE text = MeasureText(m_pManager, ToQString(m_sText), m_iFont);
    sz.cx = text.cx + m_rcTextPadding.left + m_rcTextPadding.right;
  }
  // Without a height a label is one line of its font tall.
  if (sz.cy == 0 && m_pManager) sz.cy = QFontMetrics(CRenderEngine::FontOf(m_pManager, m_iFont)).height() + 4;
  return sz;
}

void CLabelUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  const std::wstring_view n = name;
  if (n == L"align")
    SetTextStyle(ApplyAlign(m_uTextStyle, value, false));
  else if (n == L"valign")
    SetTextStyle(ApplyAlign(m_uTextStyle, value, true));
  else if (n == L"endellipsis")
    SetTextStyle(ParseBool(value) ? m_uTextStyle | DT_END_ELLIPSIS_UI : m_uTextStyle & ~DT_END_ELLIPSIS_UI);
  else if (n == L"wordbreak" || n == L"multiline") {
    if (ParseBool(value))
      SetTextStyle((m_uTextStyle & ~DT_SINGLELINE_UI) | DT_WORDBREAK_UI);
    else
      SetTextStyle((m_uTextStyle & ~DT_WORDBREAK_UI) | DT_SINGLELINE_UI);
  } else if (n == L"font")
    SetFont(int(wcstol(value, nullptr, 10)));
  else if (n == L"textcolor")
    SetTextColor(ParseColor(value));
  else if (n == L"disabledtextcolor")
    SetDisabledTextColor(ParseColor(value));
  else if (n == L"textpadding")
    SetTextPadding(ParseRect(value));
  else if (n == L"autocalcwidth")
    m_bAutoCalcWidth = ParseBool(value);
  else if (n == L"showhtml")
    return;
  else
    CControlUI::SetAttribute(name, value);
}

DWORD CLabelUI::CurrentTextColor() const {
  if (!IsEnabled()) {
    if (m_dwDisabledTextColor) return m_dwDisabledTextColor;
    return m_pManager ? m_pManager->GetDefaultDisabledColor() : 0xFFA0A4AA;
  }
  if (m_dwTextColor) return m_dwTextColor;
  return m_pManager ? m_pManager->GetDefaultFontColor() : 0xFF000000;
}

void CLabelUI::PaintText(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  if (m_sText.IsEmpty()) return;
  DrawText(painter, m_pManager, Deflate(m_rcItem, m_rcTextPadding), ToQString(m_sText), CurrentTextColor(),
           m_iFont, m_uTextStyle);
}

// ---- CTextUI ----

CTextUI::CTextUI() {
  m_uTextStyle = DT_WORDBREAK_UI;
}

const wchar_t* CTextUI::GetClass() const {
  return L"Text";
}

void* CTextUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"Text")) return this;
  return CLabelUI::GetInterface(name);
}

SIZE CTextUI::EstimateSize(SIZE available) {
  SIZE sz = m_cxyFixed;
  if (sz.cy == 0 && m_pManager) {
    int width = (sz.cx > 0 ? sz.cx : available.cx) - m_rcTextPadding.left - m_rcTextPadding.right;
    sz.cy = MeasureText(m_pManager, ToQString(m_sText), m_iFont, std::max(1, width)).cy +
            m_rcTextPadding.top + m_rcTextPadding.bottom + 4;
  }
  return sz;
}

// ---- CButtonUI ----

CButtonUI::CButtonUI() {
  m_uTextStyle = DT_SINGLELINE_UI | DT_VCENTER_UI | DT_CENTER_UI;
}

const wchar_t* CButtonUI::GetClass() const {
  return L"Button";
}

void* CButtonUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"Button")) return this;
  return CLabelUI::GetInterface(name);
}

UINT CButtonUI::GetControlFlags() const {
  return IsEnabled() ? 1 : 0;
}

bool CButtonUI::Activate() {
  if (!CControlUI::Activate()) return false;
  if (m_pManager) m_pManager->SendNotify(this, L"click");
  return true;
}

void CButtonUI::SetEnabled(bool enable) {
  CControlUI::SetEnabled(enable);
  if (!IsEnabled()) m_uButtonState = 0;
}

void CButtonUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEVENT_KEYDOWN:
      if (IsEnabled() && (event.chKey == VK_SPACE || event.chKey == VK_RETURN)) {
        Activate();
        return;
      }
      break;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
      if (IsEnabled() && InRect(m_rcItem, event.ptMouse)) {
        m_uButtonState |= UISTATE_PUSHED | UISTATE_CAPTURED;
        Invalidate();
      }
      return;
    case UIEVENT_MOUSEMOVE:
      if (m_uButtonState & UISTATE_CAPTURED) {
        UINT old = m_uButtonState;
        if (InRect(m_rcItem, event.ptMouse))
          m_uButtonState |= UISTATE_PUSHED;
        else
          m_uButtonState &= ~UISTATE_PUSHED;
        if (old != m_uButtonState) Invalidate();
        return;
      }
      break;
    case UIEVENT_BUTTONUP:
      if (m_uButtonState & UISTATE_CAPTURED) {
        bool inside = InRect(m_rcItem, event.ptMouse);
        m_uButtonState &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
        Invalidate();
        if (inside) Activate();
      }
      return;
    case UIEVENT_MOUSEENTER:
      if (IsEnabled()) {
        m_uButtonState |= UISTATE_HOT;
        Invalidate();
      }
      return;
    case UIEVENT_MOUSELEAVE:
      m_uButtonState &= ~UISTATE_HOT;
      Invalidate();
      return;
    default:
      break;
  }
  CLabelUI::DoEvent(event);
}

void CButtonUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  const std::wstring_view n = name;
  if (n == L"normalimage")
    SetNormalImage(value);
  else if (n == L"hotimage")
    SetHotImage(value);
  else if (n == L"pushedimage")
    SetPushedImage(value);
  else if (n == L"focusedimage")
    m_sFocusedImage = value;
  else if (n == L"disabledimage")
    SetDisabledImage(value);
  else if (n == L"hottextcolor")
    SetHotTextColor(ParseColor(value));
  else if (n == L"pushedtextcolor")
    SetPushedTextColor(ParseColor(value));
  else if (n == L"focusedtextcolor")
    m_dwFocusedTextColor = ParseColor(value);
  else if (n == L"hotbkcolor")
    SetHotBkColor(ParseColor(value));
  else if (n == L"pushedbkcolor")
    m_dwPushedBkColor = ParseColor(value);
  else
    CLabelUI::SetAttribute(name, value);
}

DWORD CButtonUI::CurrentTextColor() const {
  if (IsEnabled()) {
    if ((m_uButtonState & UISTATE_PUSHED) && m_dwPushedTextColor) return m_dwPushedTextColor;
    if ((m_uButtonState & UISTATE_HOT) && m_dwHotTextColor) return m_dwHotTextColor;
    if (IsFocused() && m_dwFocusedTextColor) return m_dwFocusedTextColor;
  }
  return CLabelUI::CurrentTextColor();
}

void CButtonUI::PaintBkColor(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  DWORD color = 0;
  if (IsEnabled()) {
    if ((m_uButtonState & UISTATE_PUSHED) && m_dwPushedBkColor)
      color = m_dwPushedBkColor;
    else if ((m_uButtonState & (UISTATE_HOT | UISTATE_PUSHED)) && m_dwHotBkColor)
      color = m_dwHotBkColor;
  } else if (const wchar_t* disabled = GetCustomAttribute(L"disabledbkcolor")) {
    color = ParseColor(disabled);
  }
  if (color)
    DrawColor(painter, m_rcItem, color, m_cxyBorderRound);
  else
    CLabelUI::PaintBkColor(hDC);
}

void CButtonUI::PaintStatusImage(HDC hDC) {
  if (!IsEnabled()) {
    if (!m_sDisabledImage.IsEmpty() && DrawImage(hDC, m_sDisabledImage)) return;
  } else if (m_uButtonState & UISTATE_PUSHED) {
    if (!m_sPushedImage.IsEmpty() && DrawImage(hDC, m_sPushedImage)) return;
  } else if (m_uButtonState & UISTATE_HOT) {
    if (!m_sHotImage.IsEmpty() && DrawImage(hDC, m_sHotImage)) return;
  } else if (IsFocused()) {
    if (!m_sFocusedImage.IsEmpty() && DrawImage(hDC, m_sFocusedImage)) return;
  }
  if (!m_sNormalImage.IsEmpty()) DrawImage(hDC, m_sNormalImage);
}

// ---- COptionUI ----

COptionUI::~COptionUI() {
  if (m_pManager && !m_sGroupName.IsEmpty()) m_pManager->RemoveOptionGroup(m_sGroupName, this);
}

const wchar_t* COptionUI::GetClass() const {
  return L"Option";
}

void* COptionUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"Option")) return this;
  return CButtonUI::GetInterface(name);
}

void COptionUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init) {
  if (m_pManager && m_pManager != manager && !m_sGroupName.IsEmpty())
    m_pManager->RemoveOptionGroup(m_sGroupName, this);
  CButtonUI::SetManager(manager, parent, init);
  if (manager && !m_sGroupName.IsEmpty()) {
    manager->AddOptionGroup(m_sGroupName, this);
    // A skin with two selected options in one group keeps the later one.
    if (m_bSelected)
      for (CControlUI* other : *manager->GetOptionGroup(m_sGroupName))
        if (other != this) static_cast<COptionUI*>(other)->Selected(false, false);
  }
}

void COptionUI::SetGroup(const wchar_t* group) {
  CDuiString g = group ? group : L"";
  if (g == m_sGroupName) return;
  if (m_pManager && !m_sGroupName.IsEmpty()) m_pManager->RemoveOptionGroup(m_sGroupName, this);
  m_sGroupName = g;
  if (m_pManager && !m_sGroupName.IsEmpty()) m_pManager->AddOptionGroup(m_sGroupName, this);
}

void COptionUI::Selected(bool selected, bool triggerEvent) {
  if (m_bSelected == selected) return;
  m_bSelected = selected;
  if (m_pManager) {
    if (!m_sGroupName.IsEmpty()) {
      if (m_bSelected) {
        // The others of the group follow silently: only the newly selected one notifies.
        std::vector<CControlUI*> group = *m_pManager->GetOptionGroup(m_sGroupName);
        for (CControlUI* other : group)
          if (other != this) static_cast<COptionUI*>(other)->Selected(false, false);
        if (triggerEvent) m_pManager->SendNotify(this, L"selectchanged");
      }
    } else if (triggerEvent) {
      m_pManager->SendNotify(this, L"selectchanged");
    }
  }
  Invalidate();
}

bool COptionUI::Activate() {
  if (!CButtonUI::Activate()) return false;
  if (!m_sGroupName.IsEmpty())
    Selected(true);
  else
    Selected(!m_bSelected);
  return true;
}

void COptionUI::SetEnabled(bool enable) {
  CButtonUI::SetEnabled(enable);
  Invalidate();
}

void COptionUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  const std::wstring_view n = name;
  if (n == L"group")
    SetGroup(value);
  else if (n == L"selected")
    Selected(ParseBool(value), false);
  else if (n == L"selectedimage")
    SetSelectedImage(value);
  else if (n == L"selectedhotimage")
    m_sSelectedHotImage = value;
  else if (n == L"selectedtextcolor")
    SetSelectedTextColor(ParseColor(value));
  else if (n == L"selectedbkcolor")
    SetSelectedBkColor(ParseColor(value));
  else
    CButtonUI::SetAttribute(name, value);
}

DWORD COptionUI::CurrentTextColor() const {
  if (m_bSelected && m_dwSelectedTextColor && IsEnabled()) return m_dwSelectedTextColor;
  return CButtonUI::CurrentTextColor();
}

void COptionUI::PaintBkColor(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  if (m_bSelected && m_dwSelectedBkColor)
    DrawColor(painter, m_rcItem, m_dwSelectedBkColor, m_cxyBorderRound);
  else
    CButtonUI::PaintBkColor(hDC);
}

void COptionUI::PaintStatusImage(HDC hDC) {
  if (m_bSelected) {
    if ((m_uButtonState & UISTATE_HOT) && !m_sSelectedHotImage.IsEmpty() &&
        DrawImage(hDC, m_sSelectedHotImage))
      return;
    if (!m_sSelectedImage.IsEmpty() && DrawImage(hDC, m_sSelectedImage)) return;
  }
  CButtonUI::PaintStatusImage(hDC);
}

// ---- CCheckBoxUI ----

const wchar_t* CCheckBoxUI::GetClass() const {
  return L"CheckBox";
}

void* CCheckBoxUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"CheckBox")) return this;
  return COptionUI::GetInterface(name);
}

static bool HasImages(const CDuiString& normal, const CDuiString& selected) {
  return !normal.IsEmpty() || !selected.IsEmpty();
}

void CCheckBoxUI::PaintStatusImage(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  if (HasImages(m_sNormalImage, m_sSelectedImage)) {
    COptionUI::PaintStatusImage(hDC);
    return;
  }
  // A drawn box: 14 pixels, vertically centred at the left.
  int size = 14;
  int top = (m_rcItem.top + m_rcItem.bottom - size) / 2;
  QRectF box(m_rcItem.left + 1.5, top + 0.5, size - 1, size - 1);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  QColor accent = ToColor(IsEnabled() ? 0xFF2F80ED : 0xFFB8BCC2);
  if (m_bSelected) {
    painter.setPen(accent);
    painter.setBrush(accent);
    painter.drawRoundedRect(box, 3, 3);
    QPen tick(Qt::white, 2);
    tick.setCapStyle(Qt::RoundCap);
    painter.setPen(tick);
    QPainterPath path;
    path.moveTo(box.left() + 3, box.center().y());
    path.lineTo(box.left() + 5.8, box.bottom() - 3.5);
    path.lineTo(box.right() - 3, box.top() + 3.5);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
  } else {
    painter.setPen(ToColor((m_uButtonState & UISTATE_HOT) ? 0xFF2F80ED : 0xFF9AA0A6));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(box, 3, 3);
  }
  painter.restore();
}

void CCheckBoxUI::PaintText(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  if (m_sText.IsEmpty()) return;
  RECT rc = Deflate(m_rcItem, m_rcTextPadding);
  if (!HasImages(m_sNormalImage, m_sSelectedImage) && m_rcTextPadding.left == 0) rc.left += 20;
  UINT style = m_uTextStyle;
  if (!HasImages(m_sNormalImage, m_sSelectedImage)) style &= ~(DT_CENTER_UI | DT_RIGHT_UI);
  DrawText(painter, m_pManager, rc, ToQString(m_sText), CurrentTextColor(), m_iFont, style);
}

// ---- CTabItemUI ----

const wchar_t* CTabItemUI::GetClass() const {
  return L"TabItem";
}

void* CTabItemUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"TabItem")) return this;
  return COptionUI::GetInterface(name);
}

// ---- CEditUI ----

CEditUI::CEditUI() : m_editor(std::make_unique<CEditorHost>()) {
  m_rcTextPadding = RECT{6, 0, 6, 0};
  m_uTextStyle = DT_SINGLELINE_UI | DT_VCENTER_UI;
}

const wchar_t* CEditUI::GetClass() const {
  return L"Edit";
}

void* CEditUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"Edit")) return this;
  return CLabelUI::GetInterface(name);
}

UINT CEditUI::GetControlFlags() const {
  return IsEnabled() ? 1 : 0;
}

CEditUI::~CEditUI() = default;

void CEditUI::SetText(const wchar_t* text) {
  m_sText = text;
  m_iCaret = m_sText.GetLength();
  m_editor->SetText(ToQString(m_sText));
  Invalidate();
}

void CEditUI::OpenEditor() {
  if (m_editor->IsOpen() || !m_pManager || m_bReadOnly || !IsEnabled()) return;
  CEditorHost::Options options;
  options.multiLine = m_bMultiLine;
  options.wantReturn = WantsReturn();
  options.password = m_bPasswordMode;
  options.numberOnly = m_bNumberOnly;
  options.date = IsDateField();
  options.maxChar = int(std::min<UINT>(m_uMaxChar, 32767));
  options.align = m_uTextStyle;
  options.font = CRenderEngine::FontOf(m_pManager, m_iFont);
  options.color = ToColor(CurrentTextColor());
  DWORD bk = m_dwBackColor ? m_dwBackColor : m_dwEditBkColor;
  options.background = (bk >> 24) == 0xFF ? ToColor(bk) : QColor(Qt::white);
  m_editor->onChanged = [this](const QString& text) {
    std::wstring w = text.toStdWString();
    if (w == m_sText.str()) return;
    m_sText = w;
    m_iCaret = m_sText.GetLength();
    if (m_pManager) m_pManager->SendNotify(this, L"textchanged");
  };
  m_editor->onReturn = [this] {
    if (m_pManager) m_pManager->SendNotify(this, L"return");
  };
  if (!m_editor->Open(this, options, ToQString(m_sText))) return;
  PlaceEditor();
  Invalidate();
}

void CEditUI::PlaceEditor() {
  // Inside the text padding and clear of the border.
  RECT rc = Deflate(m_rcItem, m_rcTextPadding);
  rc = Deflate(rc, m_bMultiLine ? RECT{0, 4, 0, 4} : RECT{0, 2, 0, 2});
  m_editor->Place(rc, IsVisible());
}

void CEditUI::SetPos(RECT rc, bool needInvalidate) {
  CLabelUI::SetPos(rc, needInvalidate);
  PlaceEditor();
}

void CEditUI::SetVisible(bool visible) {
  CLabelUI::SetVisible(visible);
  PlaceEditor();
}

void CEditUI::SetInternVisible(bool visible) {
  CLabelUI::SetInternVisible(visible);
  PlaceEditor();
}

void CEditUI::SetEnabled(bool enable) {
  CControlUI::SetEnabled(enable);
  if (!enable) m_editor->Close();
  if (!enable && m_pManager && m_pManager->GetFocus() == this) m_pManager->SetFocus(nullptr, false);
}

void CEditUI::SetSel(long start, long end) {
  (void)start;
  int len = m_sText.GetLength();
  m_iCaret = end < 0 || end > len ? len : int(end);
  Invalidate();
}

void CEditUI::TypeText(const std::wstring& text) {
  if (m_bReadOnly || !IsEnabled()) return;
  std::wstring insert;
  for (wchar_t c : text) {
    if (m_bNumberOnly && (c < L'0' || c > L'9')) continue;
    if (!m_bMultiLine && (c == L'\n' || c == L'\r')) continue;
    insert += c;
  }
  std::wstring current = m_sText.str();
  size_t room = m_uMaxChar > current.size() ? m_uMaxChar - current.size() : 0;
  if (insert.size() > room) insert.resize(room);
  if (insert.empty()) return;
  m_iCaret = std::min(std::max(m_iCaret, 0), int(current.size()));
  current.insert(size_t(m_iCaret), insert);
  m_iCaret += int(insert.size());
  m_sText = current;
  Invalidate();
  if (m_pManager) m_pManager->SendNotify(this, L"textchanged");
}

void CEditUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEVENT_SETFOCUS:
      CLabelUI::DoEvent(event);
      m_iCaret = m_sText.GetLength();
      OpenEditor();
      return;
    case UIEVENT_KILLFOCUS:
      m_editor->Close();
      CLabelUI::DoEvent(event);
      return;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
      return;
    case UIEVENT_CHAR:
      if (event.chKey >= 0x20 && event.chKey != 0x7F) TypeText(std::wstring(1, event.chKey));
      return;
    case UIEVENT_KEYDOWN: {
      std::wstring t = m_sText.str();
      m_iCaret = std::min(std::max(m_iCaret, 0), int(t.size()));
      switch (event.chKey) {
        case VK_RETURN:
          if (WantsReturn())
            TypeText(L"\n");
          else if (m_pManager)
            m_pManager->SendNotify(this, L"return");
          return;
        case VK_BACK:
        case VK_DELETE: {
          if (m_bReadOnly || !IsEnabled()) return;
          int at = event.chKey == VK_BACK ? m_iCaret - 1 : m_iCaret;
          if (at < 0 || at >= int(t.size())) return;
          t.erase(size_t(at), 1);
          m_iCaret = at;
          m_sText = t;
          Invalidate();
          if (m_pManager) m_pManager->SendNotify(this, L"textchanged");
          return;
        }
        case VK_LEFT:
          m_iCaret = std::max(0, m_iCaret - 1);
          break;
        case VK_RIGHT:
          m_iCaret = std::min(int(t.size()), m_iCaret + 1);
          break;
        case VK_HOME:
          m_iCaret = 0;
          break;
        case VK_END:
          m_iCaret = int(t.size());
          break;
        default:
          return;
      }
      Invalidate();
      return;
    }
    case UIEVENT_MOUSEENTER:
    case UIEVENT_MOUSELEAVE:
      Invalidate();
      return;
    case UIEVENT_SETCURSOR:
      if (IsEnabled()) {
        ::SetCursor(LoadCursorW(nullptr, IDC_IBEAM));
        return;
      }
      break;
    default:
      break;
  }
  CLabelUI::DoEvent(event);
}

void CEditUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  const std::wstring_view n = name;
  if (n == L"readonly")
    SetReadOnly(ParseBool(value));
  else if (n == L"password")
    SetPasswordMode(ParseBool(value));
  else if (n == L"passwordchar")
    m_cPasswordChar = value && *value ? value[0] : L'*';
  else if (n == L"numberonly")
    SetNumberOnly(ParseBool(value));
  else if (n == L"maxchar")
    SetMaxChar(UINT(wcstoul(value, nullptr, 10)));
  else if (n == L"prompttext" || n == L"tipvalue")
    SetPromptText(ui_gettext(value));
  else if (n == L"prompttextcolor" || n == L"tipvaluecolor")
    m_dwPromptColor = ParseColor(value);
  else if (n == L"nativebkcolor")
    m_dwEditBkColor = ParseColor(value);
  else if (n == L"multiline") {
    m_bMultiLine = ParseBool(value);
    m_uTextStyle = m_bMultiLine ? DT_WORDBREAK_UI : (DT_SINGLELINE_UI | DT_VCENTER_UI);
  } else if (n == L"normalimage" || n == L"hotimage" || n == L"focusedimage" || n == L"disabledimage")
    AddCustomAttribute(name, value);
  else
    CLabelUI::SetAttribute(name, value);
}

void CEditUI::PaintStatusImage(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  const wchar_t* image = nullptr;
  if (!IsEnabled())
    image = GetCustomAttribute(L"disabledimage");
  else if (IsFocused())
    image = GetCustomAttribute(L"focusedimage");
  if (!image) image = GetCustomAttribute(L"normalimage");
  if (image) {
    DrawImage(hDC, image);
    return;
  }
  // No skin images: a flat field that shows focus with the accent colour.
  if (m_dwBackColor == 0)
    DrawColor(painter, m_rcItem, IsEnabled() ? m_dwEditBkColor : 0xFFF3F4F6, SIZE{6, 6});
  if (m_nBorderSize == 0) DrawBorder(painter, m_rcItem, 1, IsFocused() ? 0xFF2F80ED : 0xFFCDD1D6, SIZE{6, 6});
}

void CEditUI::PaintText(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  RECT rc = Deflate(m_rcItem, m_rcTextPadding);
  if (m_bMultiLine) rc = Deflate(rc, RECT{0, 4, 0, 4});
  QString shown = ToQString(m_sText);
  if (m_bPasswordMode) shown = QString(shown.size(), QChar(m_cPasswordChar));
  if (shown.isEmpty() && !IsFocused() && !m_sPrompt.IsEmpty()) {
    DrawText(painter, m_pManager, rc, ToQString(m_sPrompt), m_dwPromptColor, m_iFont, m_uTextStyle);
    return;
  }
  DrawText(painter, m_pManager, rc, shown, CurrentTextColor(), m_iFont, m_uTextStyle);
  // The caret; an open editor shows its own.
  if (IsFocused() && !m_bReadOnly && !m_bMultiLine && !m_editor->IsOpen() && m_pManager) {
    QFontMetrics fm(CRenderEngine::FontOf(m_pManager, m_iFont));
    int caret = std::min(std::max(m_iCaret, 0), int(shown.size()));
    int x = rc.left + fm.horizontalAdvance(shown.left(caret));
    if (m_uTextStyle & DT_CENTER_UI) x += (rc.right - rc.left - fm.horizontalAdvance(shown)) / 2;
    int h = fm.height();
    int top = (rc.top + rc.bottom - h) / 2;
    painter.fillRect(QRect(std::min(x, int(rc.right) - 1), top, 1, h), ToColor(CurrentTextColor()));
  }
}

// ---- CRichEditUI ----

CRichEditUI::CRichEditUI() {
  m_bMultiLine = true;
  m_uMaxChar = 30000;
  m_uTextStyle = DT_WORDBREAK_UI;
}

const wchar_t* CRichEditUI::GetClass() const {
  return L"RichEdit";
}

void* CRichEditUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"RichEdit")) return this;
  return CEditUI::GetInterface(name);
}

void CRichEditUI::SetText(const wchar_t* text) {
  CEditUI::SetText(text);
  if (m_pManager) m_pManager->SendNotify(this, L"textchanged");
}

void CRichEditUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (Is(name, L"text"))
    CEditUI::SetText(ui_gettext(value));  // the skin's text is no change
  else if (Is(name, L"wantreturn"))
    m_bWantReturn = ParseBool(value);
  else if (Is(name, L"multiline"))
    m_bMultiLine = ParseBool(value);
  else
    CEditUI::SetAttribute(name, value);
}

// ---- CDateTimeUI ----

CDateTimeUI::CDateTimeUI() {
  m_uMaxChar = 10;
}

const wchar_t* CDateTimeUI::GetClass() const {
  return L"DateTime";
}

void* CDateTimeUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"DateTime")) return this;
  return CEditUI::GetInterface(name);
}

bool CDateTimeUI::SetTime(int year, int month, int day) {
  QDate d(year, month, day);
  if (!d.isValid()) return false;
  SetText(d.toString(QStringLiteral("yyyy-MM-dd")).toStdWString().c_str());
  return true;
}

bool CDateTimeUI::GetTime(int& year, int& month, int& day) const {
  QDate d = QDate::fromString(ToQString(m_sText).trimmed(), QStringLiteral("yyyy-MM-dd"));
  if (!d.isValid()) return false;
  year = d.year();
  month = d.month();
  day = d.day();
  return true;
}

// ---- CProgressUI ----

const wchar_t* CProgressUI::GetClass() const {
  return L"Progress";
}

void* CProgressUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"Progress")) return this;
  return CLabelUI::GetInterface(name);
}

void CProgressUI::SetMinValue(int min) {
  m_nMin = min;
  Invalidate();
}

void CProgressUI::SetMaxValue(int max) {
  m_nMax = max;
  Invalidate();
}

void CProgressUI::SetValue(int value) {
  value = std::max(m_nMin, std::min(value, m_nMax));
  if (value == m_nValue) return;
  m_nValue = value;
  Invalidate();
}

void CProgressUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  const std::wstring_view n = name;
  if (n == L"hor")
    SetHorizontal(ParseBool(value));
  else if (n == L"min")
    SetMinValue(int(wcstol(value, nullptr, 10)));
  else if (n == L"max")
    SetMaxValue(int(wcstol(value, nullptr, 10)));
  else if (n == L"value")
    SetValue(int(wcstol(value, nullptr, 10)));
  else if (n == L"foreimage")
    SetForeImage(value);
  else if (n == L"forecolor")
    m_dwForeColor = ParseColor(value);
  else
    CLabelUI::SetAttribute(name, value);
}

void CProgressUI::PaintStatusImage(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  if (m_nMax <= m_nMin) return;
  double part = double(m_nValue - m_nMin) / double(m_nMax - m_nMin);
  RECT rc = m_rcItem;
  if (m_bHorizontal)
    rc.right = rc.left + LONG((m_rcItem.right - m_rcItem.left) * part);
  else
    rc.top = rc.bottom - LONG((m_rcItem.bottom - m_rcItem.top) * part);
  if (IsEmptyRect(rc)) return;
  if (!m_sForeImage.IsEmpty()) {
    // The fore image is drawn over the filled part only, as if it covered the whole bar.
    painter.save();
    painter.setClipRect(ToRect(rc), Qt::IntersectClip);
    DrawImage(hDC, m_sForeImage);
    painter.restore();
    return;
  }
  DrawColor(painter, rc, m_dwForeColor, m_cxyBorderRound);
}

// ---- CSliderUI ----

CSliderUI::CSliderUI() {
  m_dwForeColor = 0xFF2F80ED;
}

const wchar_t* CSliderUI::GetClass() const {
  return L"Slider";
}

void* CSliderUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"Slider")) return this;
  return CProgressUI::GetInterface(name);
}

UINT CSliderUI::GetControlFlags() const {
  return IsEnabled() ? 1 : 0;
}

int CSliderUI::ValueAt(POINT pt) const {
  double part;
  if (m_bHorizontal) {
    int w = std::max(1, int(m_rcItem.right - m_rcItem.left));
    part = double(pt.x - m_rcItem.left) / w;
  } else {
    int h = std::max(1, int(m_rcItem.bottom - m_rcItem.top));
    part = double(m_rcItem.bottom - pt.y) / h;
  }
  part = std::max(0.0, std::min(1.0, part));
  int v = m_nMin + int(part * (m_nMax - m_nMin) + 0.5);
  if (m_nStep > 1) v = m_nMin + (v - m_nMin) / m_nStep * m_nStep;
  return v;
}

void CSliderUI::DoEvent(TEventUI& event) {
  if (!IsEnabled()) {
    CProgressUI::DoEvent(event);
    return;
  }
  if (event.Type == UIEVENT_BUTTONDOWN || event.Type == UIEVENT_DBLCLICK) {
    m_bDragging = true;
    SetValue(ValueAt(event.ptMouse));
    return;
  }
  if (event.Type == UIEVENT_MOUSEMOVE && m_bDragging) {
    SetValue(ValueAt(event.ptMouse));
    return;
  }
  if (event.Type == UIEVENT_BUTTONUP && m_bDragging) {
    m_bDragging = false;
    SetValue(ValueAt(event.ptMouse));
    if (m_pManager) m_pManager->SendNotify(this, L"valuechanged");
    return;
  }
  if (event.Type == UIEVENT_SCROLLWHEEL) {
    SetValue(m_nValue + (short(HIWORD(event.wParam)) > 0 ? m_nStep : -m_nStep));
    if (m_pManager) m_pManager->SendNotify(this, L"valuechanged");
    return;
  }
  CProgressUI::DoEvent(event);
}

void CSliderUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (Is(name, L"step"))
    SetChangeStep(int(wcstol(value, nullptr, 10)));
  else
    CProgressUI::SetAttribute(name, value);
}

void CSliderUI::PaintStatusImage(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  // A thin track, the filled part in the accent colour and a round thumb.
  int cy = (m_rcItem.top + m_rcItem.bottom) / 2;
  RECT track{m_rcItem.left + 6, cy - 2, m_rcItem.right - 6, cy + 2};
  DrawColor(painter, track, 0xFFDADDE1, SIZE{4, 4});
  double part = m_nMax > m_nMin ? double(m_nValue - m_nMin) / (m_nMax - m_nMin) : 0;
  int x = track.left + int((track.right - track.left) * part);
  DrawColor(painter, RECT{track.left, track.top, x, track.bottom}, m_dwForeColor, SIZE{4, 4});
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(ToColor(m_dwForeColor), 2));
  painter.setBrush(Qt::white);
  painter.drawEllipse(QPointF(x, cy), 6, 6);
  painter.restore();
}

// ---- CPictureUI ----

CPictureUI::CPictureUI() = default;

CPictureUI::~CPictureUI() {
  if (m_hBitmap) DeleteObject(m_hBitmap);
}

const wchar_t* CPictureUI::GetClass() const {
  return L"Picture";
}

void* CPictureUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"Picture")) return this;
  return CControlUI::GetInterface(name);
}

bool CPictureUI::SetPicture(const unsigned char* bytes, long length) {
  if (!bytes || length <= 0) return false;
  QImage image = QImage::fromData(bytes, int(length));
  if (image.isNull()) return false;
  Show(image);
  return true;
}

bool CPictureUI::SetPicture(HBITMAP bitmap) {
  if (!bitmap) {
    ClearPicture();
    return true;
  }
  QImage* image = SOWin::ImageOf(bitmap);
  if (!image || image->isNull()) return false;
  Show(*image);
  return true;
}

void CPictureUI::Show(const QImage& image) {
  m_image = std::make_unique<QImage>(image.convertToFormat(QImage::Format_ARGB32));
  if (m_hBitmap) DeleteObject(m_hBitmap);
  m_hBitmap = nullptr;
  Invalidate();
}

void CPictureUI::ClearPicture() {
  m_image.reset();
  if (m_hBitmap) DeleteObject(m_hBitmap);
  m_hBitmap = nullptr;
  Invalidate();
}

bool CPictureUI::HasPicture() const {
  return m_image != nullptr;
}

SIZE CPictureUI::GetPictureSize() const {
  return m_image ? SIZE{m_image->width(), m_image->height()} : SIZE{};
}

HBITMAP CPictureUI::GetImageInfo() {
  if (!m_image) return nullptr;
  if (!m_hBitmap) m_hBitmap = SOWin::BitmapFromImage(*m_image);
  return m_hBitmap;
}

void CPictureUI::PaintStatusImage(HDC hDC) {
  if (!m_image) return;
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  QRect area = ToRect(m_rcItem);
  QSize fitted = m_image->size().scaled(area.size(), Qt::KeepAspectRatio);
  QRect dst(QPoint(area.left() + (area.width() - fitted.width()) / 2,
                   area.top() + (area.height() - fitted.height()) / 2),
            fitted);
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(dst, *m_image);
  painter.restore();
}

}  // namespace DuiLib
