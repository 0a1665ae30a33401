#include "UIList.h"

#include "UIGettext.h"
#include "UIManager.h"
#include "internal/UIEditorHost.h"
#include "internal/UIRender.h"
#include "UIWindow.h"

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

bool InRect(const RECT& rc, POINT pt) {
  return pt.x >= rc.left && pt.x < rc.right && pt.y >= rc.top && pt.y < rc.bottom;
}

IListItemUI* AsItem(CControlUI* c) {
  return c ? static_cast<IListItemUI*>(c->GetInterface(L"ListItem")) : nullptr;
}

int RowHeight(CPaintManagerUI* manager, int font) {
  return manager ? QFontMetrics(CRenderEngine::FontOf(manager, font)).height() + 14 : 28;
}

// Draws a small chevron pointing down (combo arrows) or right/down (tree folders).
void DrawChevron(QPainter& painter, QPointF centre, bool down, DWORD color) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  QPen pen(ToColor(color), 1.6);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  painter.setPen(pen);
  QPainterPath path;
  if (down) {
    path.moveTo(centre.x() - 4, centre.y() - 2);
    path.lineTo(centre.x(), centre.y() + 2);
    path.lineTo(centre.x() + 4, centre.y() - 2);
  } else {
    path.moveTo(centre.x() - 2, centre.y() - 4);
    path.lineTo(centre.x() + 2, centre.y());
    path.lineTo(centre.x() - 2, centre.y() + 4);
  }
  painter.drawPath(path);
  painter.restore();
}

}  // namespace

// ---- Header ----

const wchar_t* CListHeaderItemUI::GetClass() const {
  return L"ListHeaderItem";
}

void* CListHeaderItemUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"ListHeaderItem")) return this;
  return CButtonUI::GetInterface(name);
}

void CListHeaderItemUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
      if (IsEnabled() && OnSeparator(event.ptMouse)) {
        m_iDragStartX = event.ptMouse.x;
        m_iDragStartWidth = GetWidth();
        return;
      }
      break;
    case UIEVENT_MOUSEMOVE:
      if (m_iDragStartX >= 0) {
        SetFixedWidth(std::max(16, m_iDragStartWidth + int(event.ptMouse.x) - m_iDragStartX));
        // The rows follow the header's column edges.
        if (m_pParent && m_pParent->GetParent()) m_pParent->GetParent()->NeedUpdate();
        return;
      }
      break;
    case UIEVENT_BUTTONUP:
      if (m_iDragStartX >= 0) {
        m_iDragStartX = -1;
        return;
      }
      if ((m_uButtonState & UISTATE_CAPTURED) && InRect(m_rcItem, event.ptMouse)) {
        m_uButtonState &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
        Invalidate();
        if (m_pManager) m_pManager->SendNotify(this, L"headerclick");
        return;
      }
      break;
    case UIEVENT_SETCURSOR:
      if (OnSeparator(event.ptMouse) || m_iDragStartX >= 0) {
        ::SetCursor(LoadCursorW(nullptr, IDC_SIZEWE));
        return;
      }
      break;
    default:
      break;
  }
  CButtonUI::DoEvent(event);
}

void CListHeaderItemUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (Is(name, L"sepwidth"))
    m_iSepWidth = std::max(0, int(wcstol(value, nullptr, 10)));
  else if (Is(name, L"dragable"))
    m_iSepWidth = ParseBool(value) ? std::max(m_iSepWidth, 4) : 0;
  else
    CButtonUI::SetAttribute(name, value);
}

void CListHeaderItemUI::PaintBorder(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  CButtonUI::PaintBorder(hDC);
  if (m_nBorderSize == 0) {
    // A hairline separating the columns.
    painter.fillRect(QRect(m_rcItem.right - 1, m_rcItem.top + 6, 1, m_rcItem.bottom - m_rcItem.top - 12),
                     ToColor(0xFFDADDE1));
  }
}

CListHeaderUI::CListHeaderUI() = default;

const wchar_t* CListHeaderUI::GetClass() const {
  return L"ListHeader";
}

void* CListHeaderUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"ListHeader")) return this;
  return CHorizontalLayoutUI::GetInterface(name);
}

SIZE CListHeaderUI::EstimateSize(SIZE available) {
  SIZE sz = m_cxyFixed;
  if (sz.cy == 0) sz.cy = RowHeight(m_pManager, -1);
  return sz;
}

// ---- CListElementUI ----

const wchar_t* CListElementUI::GetClass() const {
  return L"ListElement";
}

void* CListElementUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"ListItem")) return static_cast<IListItemUI*>(this);
  if (Is(name, L"ListElement")) return this;
  return CControlUI::GetInterface(name);
}

UINT CListElementUI::GetControlFlags() const {
  return 0;
}

void CListElementUI::SetOwner(CControlUI* owner) {
  m_pOwner = owner;
}

static IListOwnerUI* ListOwner(CControlUI* owner) {
  return owner ? static_cast<IListOwnerUI*>(owner->GetInterface(L"IListOwner")) : nullptr;
}

// Selection shared by the text rows and the container rows: the owner hears of a newly
// selected row and moves its own selection to it.
static bool SelectRow(CControlUI* row, int index, CControlUI* owner, bool& selected, bool select,
                      bool triggerEvent) {
  if (!row->IsEnabled()) return false;
  if (select == selected) return true;
  selected = select;
  if (select)
    if (IListOwnerUI* list = ListOwner(owner)) list->SelectItem(index, false, triggerEvent);
  row->Invalidate();
  return true;
}

IListOwnerUI* CListElementUI::Owner() const {
  return ListOwner(m_pOwner);
}

bool CListElementUI::Select(bool select, bool triggerEvent) {
  return SelectRow(this, m_iIndex, m_pOwner, m_bSelected, select, triggerEvent);
}

void CListElementUI::SetVisible(bool visible) {
  CControlUI::SetVisible(visible);
  if (!IsVisible() && m_bSelected) {
    m_bSelected = false;
    if (Owner()) Owner()->SelectItem(-1);
  }
}

SIZE CListElementUI::EstimateSize(SIZE available) {
  SIZE sz = m_cxyFixed;
  IListOwnerUI* owner = Owner();
  if (sz.cy == 0) sz.cy = RowHeight(m_pManager, owner ? owner->GetItemFont() : -1);
  return sz;
}

// Row events shared by the text rows and the container rows.
static bool RowEvent(CControlUI* row, IListItemUI* item, IListOwnerUI* owner, bool& hot, TEventUI& event) {
  CPaintManagerUI* pm = row->GetManager();
  switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_RBUTTONDOWN:
      if (row->IsEnabled()) {
        if (event.Type == UIEVENT_BUTTONDOWN && pm) pm->SendNotify(row, L"itemclick");
        item->Select(true);
        row->Invalidate();
      }
      return true;
    case UIEVENT_DBLCLICK:
      if (row->IsEnabled() && pm) {
        pm->SendNotify(row, L"itemdbclick", WPARAM(item->GetIndex()));
        pm->SendNotify(row, L"itemactivate", WPARAM(item->GetIndex()));
      }
      return true;
    case UIEVENT_CONTEXTMENU:
      if (row->IsEnabled() && pm) pm->SendNotify(row, L"menu", event.wParam, event.lParam);
      return true;
    case UIEVENT_MOUSEENTER:
      hot = true;
      row->Invalidate();
      return true;
    case UIEVENT_MOUSELEAVE:
      hot = false;
      row->Invalidate();
      return true;
    case UIEVENT_KEYDOWN:
    case UIEVENT_SCROLLWHEEL:
      if (owner) owner->DoEvent(event);
      return true;
    default:
      return false;
  }
}

static void PaintRowBk(QPainter& painter, const RECT& rc, bool selected, bool hot, IListOwnerUI* owner) {
  if (!owner) return;
  if (selected)
    DrawColor(painter, rc, owner->GetItemSelectedBkColor());
  else if (hot)
    DrawColor(painter, rc, owner->GetItemHotBkColor());
}

void CListElementUI::DoEvent(TEventUI& event) {
  if (!RowEvent(this, this, Owner(), m_bHot, event)) CControlUI::DoEvent(event);
}

void CListElementUI::PaintBkColor(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  CControlUI::PaintBkColor(hDC);
  PaintRowBk(painter, m_rcItem, m_bSelected, m_bHot, Owner());
}

// ---- CListLabelElementUI ----

const wchar_t* CListLabelElementUI::GetClass() const {
  return L"ListLabelElement";
}

void* CListLabelElementUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"ListLabelElement")) return this;
  return CListElementUI::GetInterface(name);
}

SIZE CListLabelElementUI::EstimateSize(SIZE available) {
  return CListElementUI::EstimateSize(available);
}

void CListLabelElementUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (Is(name, L"textcolor"))
    m_dwTextColor = ParseColor(value);
  else if (Is(name, L"textpadding"))
    m_rcTextPadding = ParseRect(value);
  else if (Is(name, L"align")) {
    m_uTextStyle &= ~(DT_CENTER_UI | DT_RIGHT_UI);
    if (wcsstr(value, L"center")) m_uTextStyle |= DT_CENTER_UI;
    if (wcsstr(value, L"right")) m_uTextStyle |= DT_RIGHT_UI;
  } else
    CListElementUI::SetAttribute(name, value);
}

void CListLabelElementUI::PaintText(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  IListOwnerUI* owner = Owner();
  DWORD color = m_dwTextColor ? m_dwTextColor : owner ? owner->GetItemTextColor() : 0xFF1F2328;
  if (!IsEnabled()) color = 0xFFA0A4AA;
  RECT rc{m_rcItem.left + m_rcTextPadding.left, m_rcItem.top + m_rcTextPadding.top,
          m_rcItem.right - m_rcTextPadding.right, m_rcItem.bottom - m_rcTextPadding.bottom};
  DrawText(painter, m_pManager, rc, ToQString(m_sText), color, owner ? owner->GetItemFont() : -1,
           m_uTextStyle | DT_END_ELLIPSIS_UI);
}

// ---- CListTextElementUI ----

const wchar_t* CListTextElementUI::GetClass() const {
  return L"ListTextElement";
}

void* CListTextElementUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"ListTextElement")) return this;
  return CListLabelElementUI::GetInterface(name);
}

const wchar_t* CListTextElementUI::GetText(int column) const {
  if (column < 0 || column >= int(m_texts.size())) return L"";
  return m_texts[size_t(column)];
}

void CListTextElementUI::SetText(int column, const wchar_t* text) {
  if (column < 0) return;
  if (column >= int(m_texts.size())) m_texts.resize(size_t(column) + 1);
  m_texts[size_t(column)] = text;
  Invalidate();
}

void CListTextElementUI::PaintText(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  IListOwnerUI* owner = Owner();
  CListHeaderUI* header = owner ? owner->GetListHeader() : nullptr;
  DWORD color = m_dwTextColor ? m_dwTextColor : owner ? owner->GetItemTextColor() : 0xFF1F2328;
  if (!IsEnabled()) color = 0xFFA0A4AA;
  int font = owner ? owner->GetItemFont() : -1;
  int columns = header ? header->GetCount() : 1;
  for (int i = 0; i < columns && i < int(m_texts.size()); ++i) {
    RECT cell = m_rcItem;
    if (header) {
      const RECT& h = header->GetItemAt(i)->GetPos();
      cell.left = h.left;
      cell.right = h.right;
    }
    const CDuiString& text = m_texts[size_t(i)];
    // "<i file>" shows that image, centred in the cell.
    if (text.GetLength() > 3 && text.Left(3) == L"<i " && text.GetAt(text.GetLength() - 1) == L'>') {
      CDuiString file = text.Mid(3, text.GetLength() - 4);
      const QImage* picture = m_pManager ? PictureOf(m_pManager->GetImage(file)) : nullptr;
      if (picture && !picture->isNull()) {
        QSize s = picture->size();
        QRect dst(QPoint((cell.left + cell.right - s.width()) / 2, (cell.top + cell.bottom - s.height()) / 2),
                  s);
        painter.drawImage(dst, *picture);
      }
      continue;
    }
    RECT rc{cell.left + m_rcTextPadding.left, cell.top, cell.right - m_rcTextPadding.right, cell.bottom};
    if (m_bMarked) {
      painter.save();
      QFont f = CRenderEngine::FontOf(m_pManager, font);
      f.setBold(true);
      painter.setFont(f);
      painter.setPen(ToColor(color));
      painter.setClipRect(ToRect(rc), Qt::IntersectClip);
      QString s = QFontMetrics(f).elidedText(ToQString(text), Qt::ElideRight, rc.right - rc.left);
      painter.drawText(ToRect(rc), Qt::AlignVCenter | Qt::AlignLeft, s);
      painter.restore();
    } else {
      DrawText(painter, m_pManager, rc, ToQString(text), color, font, m_uTextStyle | DT_END_ELLIPSIS_UI);
    }
  }
}

// ---- CListContainerElementUI ----

const wchar_t* CListContainerElementUI::GetClass() const {
  return L"ListContainerElement";
}

void* CListContainerElementUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"ListItem")) return static_cast<IListItemUI*>(this);
  if (Is(name, L"ListContainerElement")) return this;
  return CHorizontalLayoutUI::GetInterface(name);
}

UINT CListContainerElementUI::GetControlFlags() const {
  return 0;
}

bool CListContainerElementUI::Select(bool select, bool triggerEvent) {
  return SelectRow(this, m_iIndex, m_pOwner, m_bSelected, select, triggerEvent);
}

SIZE CListContainerElementUI::EstimateSize(SIZE available) {
  SIZE sz = m_cxyFixed;
  if (sz.cy == 0) sz.cy = RowHeight(m_pManager, -1);
  return sz;
}

void CListContainerElementUI::DoEvent(TEventUI& event) {
  if (!RowEvent(this, this, ListOwner(m_pOwner), m_bHot, event)) CHorizontalLayoutUI::DoEvent(event);
}

void CListContainerElementUI::PaintBkColor(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  CHorizontalLayoutUI::PaintBkColor(hDC);
  PaintRowBk(painter, m_rcItem, m_bSelected, m_bHot, ListOwner(m_pOwner));
}

// ---- CListUI ----

CListUI::CListUI() {
  EnableScrollBar(true);
}

const wchar_t* CListUI::GetClass() const {
  return L"List";
}

void* CListUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"List")) return this;
  if (Is(name, L"IListOwner")) return static_cast<IListOwnerUI*>(this);
  return CVerticalLayoutUI::GetInterface(name);
}

UINT CListUI::GetControlFlags() const {
  return 1;
}

CControlUI* CListUI::GetItemAt(int index) const {
  return CContainerUI::GetItemAt(index + FirstRow());
}

int CListUI::GetItemIndex(CControlUI* control) const {
  int i = CContainerUI::GetItemIndex(control);
  return i < 0 ? -1 : i - FirstRow();
}

bool CListUI::SetItemIndex(CControlUI* control, int index) {
  if (control == m_pHeader || !CContainerUI::SetItemIndex(control, index + FirstRow())) return false;
  Reindex();
  return true;
}

int CListUI::GetCount() const {
  return int(m_items.size()) - FirstRow();
}

bool CListUI::Add(CControlUI* control) {
  if (!control) return false;
  if (control->GetInterface(L"ListHeader") && !m_pHeader) {
    m_pHeader = static_cast<CListHeaderUI*>(control);
    return CContainerUI::AddAt(control, 0);
  }
  return AddAt(control, GetCount());
}

bool CListUI::AddAt(CControlUI* control, int index) {
  if (!control || index < 0 || index > GetCount()) return false;
  if (!CContainerUI::AddAt(control, index + FirstRow())) return false;
  if (IListItemUI* item = AsItem(control)) item->SetOwner(this);
  if (m_iCurSel >= index) ++m_iCurSel;
  Reindex(index);
  return true;
}

bool CListUI::Remove(CControlUI* control, bool doNotDestroy) {
  if (control && control == m_pHeader) {
    m_pHeader = nullptr;
    return CContainerUI::RemoveAt(0, doNotDestroy);
  }
  int index = GetItemIndex(control);
  return index >= 0 && RemoveAt(index, doNotDestroy);
}

bool CListUI::RemoveAt(int index, bool doNotDestroy) {
  if (index < 0 || index >= GetCount()) return false;
  if (!CContainerUI::RemoveAt(index + FirstRow(), doNotDestroy)) return false;
  if (index == m_iCurSel)
    m_iCurSel = -1;
  else if (index < m_iCurSel)
    --m_iCurSel;
  Reindex(index);
  return true;
}

void CListUI::RemoveAll() {
  m_iCurSel = -1;
  // Rows go; the header stays.
  while (GetCount() > 0) CContainerUI::RemoveAt(int(m_items.size()) - 1);
  if (m_pVerticalScrollBar) m_pVerticalScrollBar->SetScrollPos(0);
  NeedUpdate();
}

void CListUI::Reindex(int from) {
  for (int i = from, count = GetCount(); i < count; ++i)
    if (IListItemUI* item = AsItem(GetItemAt(i))) item->SetIndex(i);
}

bool CListUI::SelectItem(int index, bool takeFocus, bool triggerEvent) {
  if (index == m_iCurSel) return true;
  int old = m_iCurSel;
  if (index < 0) {
    m_iCurSel = -1;
    if (IListItemUI* item = AsItem(GetItemAt(old))) item->Select(false, false);
    return true;
  }
  CControlUI* control = GetItemAt(index);
  IListItemUI* item = AsItem(control);
  // A hidden row cannot be chosen; rows of a list on a hidden page can.
  if (!item || (IsVisible() && !control->IsVisible()) || !control->IsEnabled()) return false;
  m_iCurSel = index;
  if (IListItemUI* previous = AsItem(GetItemAt(old))) previous->Select(false, false);
  item->Select(true, false);
  EnsureVisible(index);
  if (takeFocus) control->SetFocus();
  if (triggerEvent && m_pManager) m_pManager->SendNotify(this, L"itemselect", WPARAM(m_iCurSel), LPARAM(old));
  return true;
}

RECT CListUI::BodyRect() const {
  RECT rc = InnerRect();
  if (m_pHeader && m_pHeader->IsVisible()) rc.top = m_pHeader->GetPos().bottom;
  return rc;
}

void CListUI::EnsureVisible(int index) {
  CControlUI* row = GetItemAt(index);
  if (!row || !m_pVerticalScrollBar || !m_pVerticalScrollBar->IsVisible()) return;
  RECT body = BodyRect(), pos = row->GetPos();
  SIZE scroll = GetScrollPos();
  if (pos.top < body.top)
    SetScrollPos(SIZE{0, scroll.cy - (body.top - pos.top)});
  else if (pos.bottom > body.bottom)
    SetScrollPos(SIZE{0, scroll.cy + (pos.bottom - body.bottom)});
}

void CListUI::SetPos(RECT rc, bool needInvalidate) {
  CControlUI::SetPos(rc, needInvalidate);
  RECT inner = InnerRect();
  // The header stays at the top; the rows scroll below it.
  if (m_pHeader && m_pHeader->IsVisible()) {
    int h = m_pHeader->EstimateSize(SIZE{inner.right - inner.left, inner.bottom - inner.top}).cy;
    RECT full = m_rcItem;
    full.left += m_rcInset.left;
    full.right -= m_rcInset.right;
    full.top = inner.top;
    full.bottom = inner.top + h;
    // Column edges do not move with the vertical scroll bar.
    m_pHeader->SetPos(full, false);
    inner.top += h;
  }
  std::vector<CControlUI*> rows(m_items.begin() + FirstRow(), m_items.end());
  int y = inner.top - GetScrollPos().cy, needed = 0;
  int seen = 0;
  for (CControlUI* c : rows) {
    if (!c->IsVisible()) continue;
    RECT p = c->GetPadding();
    int h = c->EstimateSize(SIZE{inner.right - inner.left, 0}).cy;
    if (seen++ > 0) y += m_iChildPadding;
    RECT r{inner.left + p.left, y + p.top, inner.right - p.right, y + p.top + h};
    c->SetPos(r, false);
    y = r.bottom + p.bottom;
  }
  needed = y - (inner.top - GetScrollPos().cy);
  ProcessScrollBar(inner, 0, needed);
}

void CListUI::DoEvent(TEventUI& event) {
  if (event.Type == UIEVENT_KEYDOWN && IsEnabled()) {
    if (event.chKey == VK_UP && m_iCurSel > 0) {
      SelectItem(m_iCurSel - 1, true);
      return;
    }
    if (event.chKey == VK_DOWN && m_iCurSel + 1 < GetCount()) {
      SelectItem(m_iCurSel + 1, true);
      return;
    }
  }
  CVerticalLayoutUI::DoEvent(event);
}

void CListUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  RECT rcTemp;
  if (!IntersectRect(rcTemp, rcPaint, m_rcItem)) return;
  painter.save();
  painter.setClipRect(ToRect(rcTemp), Qt::IntersectClip);
  CControlUI::DoPaint(hDC, rcTemp);
  RECT body;
  if (IntersectRect(body, rcTemp, BodyRect())) {
    for (size_t i = size_t(FirstRow()); i < m_items.size(); ++i) {
      CControlUI* c = m_items[i];
      RECT r;
      if (!c->IsVisible() || !IntersectRect(r, body, c->GetPos())) continue;
      painter.save();
      painter.setClipRect(ToRect(body), Qt::IntersectClip);
      c->DoPaint(hDC, body);
      painter.restore();
    }
  }
  if (m_pHeader && m_pHeader->IsVisible()) m_pHeader->DoPaint(hDC, rcTemp);
  if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible())
    m_pVerticalScrollBar->DoPaint(hDC, rcTemp);
  painter.restore();
}

CControlUI* CListUI::FindControl(FINDCONTROLPROC proc, void* data, UINT flags) {
  if ((flags & UIFIND_HITTEST) && IsVisible() && m_pHeader && m_pHeader->IsVisible() &&
      InRect(m_pHeader->GetPos(), *static_cast<POINT*>(data)))
    return m_pHeader->FindControl(proc, data, flags);
  return CVerticalLayoutUI::FindControl(proc, data, flags);
}

void CListUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  const std::wstring_view n = name;
  if (n == L"itemselectedbkcolor")
    m_dwSelectedBkColor = ParseColor(value);
  else if (n == L"itemhotbkcolor")
    m_dwHotBkColor = ParseColor(value);
  else if (n == L"itemtextcolor")
    m_dwItemTextColor = ParseColor(value);
  else if (n == L"itemfont")
    m_iItemFont = int(wcstol(value, nullptr, 10));
  else if (n == L"header") {
    if (m_pHeader) m_pHeader->SetVisible(wcscmp(value, L"hidden") != 0);
  } else
    CVerticalLayoutUI::SetAttribute(name, value);
}

// ---- Combo drop-down window ----

// A popup under the combo holding the combo's items while it is open. The items are
// lent: they move into the popup's layout and go back when it closes.
class CComboDropWnd : public CWindowWnd, public INotifyUI {
 public:
  explicit CComboDropWnd(CComboUI* owner) : m_pOwner(owner) {}
  const wchar_t* GetWindowClassName() const override { return L"ComboDropWnd"; }

  void Open() {
    RECT rc = m_pOwner->GetPos();
    int height = 0;
    for (int i = 0; i < m_pOwner->GetCount(); ++i) height += m_pOwner->GetItemAt(i)->EstimateSize(SIZE{}).cy;
    height = std::min<int>(height + 2, m_pOwner->m_szDropBox.cy > 0 ? m_pOwner->m_szDropBox.cy : 150);
    int width = m_pOwner->m_szDropBox.cx > 0 ? m_pOwner->m_szDropBox.cx : rc.right - rc.left;
    // The owner's window may be zoomed; the list opens at its own scale under the combo.
    double zoom = m_pOwner->GetManager()->GetZoomRatio();
    POINT pt{LONG(rc.left * zoom), LONG(rc.bottom * zoom) + 2};
    HWND parent = m_pOwner->GetManager()->GetPaintWindow();
    ClientToScreen(parent, &pt);
    Create(parent, nullptr, WS_POPUP, WS_EX_TOOLWINDOW, pt.x, pt.y, width, height);
    ShowWindow(true);
  }

  LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
    if (uMsg == WM_CREATE) {
      m_pm.Init(m_hWnd);
      m_pLayout = new CVerticalLayoutUI;
      m_pLayout->SetBkColor(0xFFFFFFFF);
      m_pLayout->SetBorderColor(0xFFCDD1D6);
      m_pLayout->SetBorderSize(1);
      m_pLayout->SetInset(RECT{1, 1, 1, 1});
      m_pLayout->SetAutoDestroy(false);
      m_pLayout->EnableScrollBar(true);
      m_pm.AttachDialog(m_pLayout);
      for (int i = 0; i < m_pOwner->GetCount(); ++i) m_pLayout->Add(m_pOwner->GetItemAt(i));
      // The items keep reporting to the combo.
      for (int i = 0; i < m_pOwner->GetCount(); ++i)
        if (IListItemUI* item = AsItem(m_pOwner->GetItemAt(i))) item->SetOwner(m_pOwner);
      m_pm.AddNotifier(this);
      return 0;
    }
    if (uMsg == WM_KILLFOCUS) {
      if (HWND(wParam) != m_hWnd) PostMessage(WM_CLOSE);
      return 0;
    }
    if (uMsg == WM_KEYDOWN && wParam == WPARAM(VK_ESCAPE)) {
      PostMessage(WM_CLOSE);
      return 0;
    }
    // The items go back to the combo before the popup's tree is torn down.
    if (uMsg == WM_CLOSE) GiveBack();
    LRESULT lRes = 0;
    if (m_pm.MessageHandler(uMsg, wParam, lParam, lRes)) return lRes;
    return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
  }

  void Notify(TNotifyUI& msg) override {
    // Selection happens through the combo; the popup only closes after a click.
    if (msg.sType == L"itemclick") PostMessage(WM_CLOSE);
  }

  // The popup can also go with its owner window, without WM_CLOSE.
  void OnFinalMessage(HWND) override {
    GiveBack();
    delete this;
  }

 private:
  void GiveBack() {
    if (!m_pOwner) return;
    m_pLayout->RemoveAll();
    m_pOwner->GetManager()->InitControls(m_pOwner, m_pOwner->GetParent());
    m_pOwner->m_pDropWnd = nullptr;
    m_pOwner->Invalidate();
    m_pOwner = nullptr;
  }

  CComboUI* m_pOwner;
  CPaintManagerUI m_pm;
  CVerticalLayoutUI* m_pLayout = nullptr;
};

// ---- CComboUI ----

CComboUI::CComboUI() = default;

CComboUI::~CComboUI() {
  CloseDrop();
}

const wchar_t* CComboUI::GetClass() const {
  return L"Combo";
}

void* CComboUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"Combo")) return this;
  if (Is(name, L"IListOwner")) return static_cast<IListOwnerUI*>(this);
  return CContainerUI::GetInterface(name);
}

UINT CComboUI::GetControlFlags() const {
  return 1;
}

CDuiString CComboUI::GetText() const {
  CControlUI* item = GetItemAt(m_iCurSel);
  return item ? item->GetText() : CDuiString();
}

void CComboUI::SetEnabled(bool enable) {
  CContainerUI::SetEnabled(enable);
  if (!enable) CloseDrop();
}

bool CComboUI::Add(CControlUI* control) {
  return AddAt(control, GetCount());
}

bool CComboUI::AddAt(CControlUI* control, int index) {
  if (!CContainerUI::AddAt(control, index)) return false;
  if (IListItemUI* item = AsItem(control)) item->SetOwner(this);
  if (m_iCurSel >= index) ++m_iCurSel;
  Reindex(index);
  return true;
}

bool CComboUI::Remove(CControlUI* control, bool doNotDestroy) {
  int index = GetItemIndex(control);
  return index >= 0 && RemoveAt(index, doNotDestroy);
}

bool CComboUI::RemoveAt(int index, bool doNotDestroy) {
  CloseDrop();
  if (!CContainerUI::RemoveAt(index, doNotDestroy)) return false;
  if (index == m_iCurSel)
    m_iCurSel = -1;
  else if (index < m_iCurSel)
    --m_iCurSel;
  Reindex(index);
  return true;
}

void CComboUI::RemoveAll() {
  CloseDrop();
  m_iCurSel = -1;
  CContainerUI::RemoveAll();
}

void CComboUI::Reindex(int from) {
  for (int i = from, count = GetCount(); i < count; ++i)
    if (IListItemUI* item = AsItem(GetItemAt(i))) item->SetIndex(i);
}

bool CComboUI::SelectItem(int index, bool takeFocus, bool triggerEvent) {
  if (index == m_iCurSel) return true;
  int old = m_iCurSel;
  if (index < 0) {
    m_iCurSel = -1;
    if (IListItemUI* item = AsItem(GetItemAt(old))) item->Select(false, false);
    Invalidate();
    return true;
  }
  IListItemUI* item = AsItem(GetItemAt(index));
  if (!item) return false;
  m_iCurSel = index;
  if (IListItemUI* previous = AsItem(GetItemAt(old))) previous->Select(false, false);
  item->Select(true, false);
  if (takeFocus) SetFocus();
  Invalidate();
  if (triggerEvent && m_pManager) m_pManager->SendNotify(this, L"itemselect", WPARAM(m_iCurSel), LPARAM(old));
  return true;
}

bool CComboUI::Activate() {
  if (!CControlUI::Activate() || !m_pManager || m_pDropWnd) return false;
  if (!m_pManager->GetPaintWindow()) return false;
  m_pDropWnd = new CComboDropWnd(this);
  m_pDropWnd->Open();
  if (m_pManager) m_pManager->SendNotify(this, L"dropdown");
  return true;
}

void CComboUI::CloseDrop() {
  if (m_pDropWnd) m_pDropWnd->SendMessage(WM_CLOSE);
}

void CComboUI::SetPos(RECT rc, bool needInvalidate) {
  // The items are laid out by the drop-down, not inside the closed combo.
  CControlUI::SetPos(rc, needInvalidate);
}

SIZE CComboUI::EstimateSize(SIZE available) {
  SIZE sz = m_cxyFixed;
  if (sz.cy == 0) sz.cy = RowHeight(m_pManager, m_iFont) - 4;
  return sz;
}

void CComboUI::DoEvent(TEventUI& event) {
  if (!IsEnabled()) {
    CContainerUI::DoEvent(event);
    return;
  }
  switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
      Activate();
      return;
    case UIEVENT_KEYDOWN:
      if (event.chKey == VK_UP && m_iCurSel > 0) SelectItem(m_iCurSel - 1);
      if (event.chKey == VK_DOWN && m_iCurSel + 1 < GetCount()) SelectItem(m_iCurSel + 1);
      return;
    case UIEVENT_MOUSEENTER:
      m_bHot = true;
      Invalidate();
      return;
    case UIEVENT_MOUSELEAVE:
      m_bHot = false;
      Invalidate();
      return;
    case UIEVENT_SETFOCUS:
    case UIEVENT_KILLFOCUS:
      CControlUI::DoEvent(event);
      return;
    default:
      CContainerUI::DoEvent(event);
  }
}

void CComboUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  CControlUI::DoPaint(hDC, rcPaint);
}

CControlUI* CComboUI::FindControl(FINDCONTROLPROC proc, void* data, UINT flags) {
  // Items are reached by name through the combo, but never hit by the mouse in the closed box.
  if (flags & UIFIND_HITTEST) return CControlUI::FindControl(proc, data, flags);
  return CContainerUI::FindControl(proc, data, flags);
}

void CComboUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  const std::wstring_view n = name;
  if (n == L"dropboxsize")
    m_szDropBox = ParseSize(value);
  else if (n == L"font" || n == L"itemfont")
    m_iFont = int(wcstol(value, nullptr, 10));
  else if (n == L"textcolor")
    m_dwTextColor = ParseColor(value);
  else if (n == L"textpadding")
    m_rcTextPadding = ParseRect(value);
  else if (n == L"itemselectedbkcolor")
    m_dwSelectedBkColor = ParseColor(value);
  else if (n == L"itemhotbkcolor")
    m_dwHotBkColor = ParseColor(value);
  else if (n == L"itemtextcolor")
    m_dwItemTextColor = ParseColor(value);
  else if (n == L"normalimage" || n == L"hotimage" || n == L"pushedimage" || n == L"disabledimage")
    AddCustomAttribute(name, value);
  else
    CContainerUI::SetAttribute(name, value);
}

void CComboUI::PaintStatusImage(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  const wchar_t* image = nullptr;
  if (!IsEnabled())
    image = GetCustomAttribute(L"disabledimage");
  else if (m_bHot || m_pDropWnd)
    image = GetCustomAttribute(L"hotimage");
  if (!image) image = GetCustomAttribute(L"normalimage");
  if (image) {
    DrawImage(hDC, image);
    return;
  }
  if (m_dwBackColor == 0) DrawColor(painter, m_rcItem, IsEnabled() ? 0xFFFFFFFF : 0xFFF3F4F6, SIZE{6, 6});
  if (m_nBorderSize == 0)
    DrawBorder(painter, m_rcItem, 1, (m_bHot || m_pDropWnd || IsFocused()) ? 0xFF2F80ED : 0xFFCDD1D6,
               SIZE{6, 6});
  DrawChevron(painter, QPointF(m_rcItem.right - 13, (m_rcItem.top + m_rcItem.bottom) / 2.0), true,
              IsEnabled() ? 0xFF5F6368 : 0xFFB8BCC2);
}

void CComboUI::PaintText(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  RECT rc{m_rcItem.left + m_rcTextPadding.left, m_rcItem.top + m_rcTextPadding.top,
          m_rcItem.right - m_rcTextPadding.right, m_rcItem.bottom - m_rcTextPadding.bottom};
  DrawText(painter, m_pManager, rc, ToQString(GetText()), IsEnabled() ? m_dwTextColor : 0xFFA0A4AA, m_iFont,
           DT_SINGLELINE_UI | DT_VCENTER_UI | DT_END_ELLIPSIS_UI);
}

// ---- CEditComboUI ----

CEditComboUI::CEditComboUI() : m_editor(std::make_unique<CEditorHost>()) {}

CEditComboUI::~CEditComboUI() = default;

const wchar_t* CEditComboUI::GetClass() const {
  return L"EditCombo";
}

void* CEditComboUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"EditCombo")) return this;
  return CComboUI::GetInterface(name);
}

void CEditComboUI::SetText(const wchar_t* text) {
  m_sText = text;
  m_editor->SetText(ToQString(m_sText));
  Invalidate();
}

RECT CEditComboUI::TextRect() const {
  return RECT{m_rcItem.left + m_rcTextPadding.left, m_rcItem.top + m_rcTextPadding.top,
              m_rcItem.right - m_rcTextPadding.right, m_rcItem.bottom - m_rcTextPadding.bottom};
}

void CEditComboUI::SetPos(RECT rc, bool needInvalidate) {
  CComboUI::SetPos(rc, needInvalidate);
  PlaceEditor();
}

void CEditComboUI::PlaceEditor() {
  // Clear of the border.
  RECT rc = TextRect();
  rc.top += 2;
  rc.bottom -= 2;
  m_editor->Place(rc, IsVisible());
}

bool CEditComboUI::SelectItem(int index, bool takeFocus, bool triggerEvent) {
  int old = m_iCurSel;
  if (!CComboUI::SelectItem(index, takeFocus, triggerEvent)) return false;
  if (index >= 0 && index != old) {
    m_sText = GetItemAt(index)->GetText();
    m_editor->SetText(ToQString(m_sText));
    if (triggerEvent && m_pManager) m_pManager->SendNotify(this, L"textchanged");
  }
  return true;
}

void CEditComboUI::DoEvent(TEventUI& event) {
  if (!IsEnabled()) {
    CComboUI::DoEvent(event);
    return;
  }
  switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
      // Only the arrow opens the list; the text part takes the focus for typing.
      if (event.ptMouse.x >= m_rcItem.right - 26) Activate();
      return;
    case UIEVENT_SETFOCUS: {
      CComboUI::DoEvent(event);
      if (!m_pManager) return;
      CEditorHost::Options options;
      options.font = CRenderEngine::FontOf(m_pManager, m_iFont);
      options.color = ToColor(m_dwTextColor);
      if ((m_dwBackColor >> 24) == 0xFF) options.background = ToColor(m_dwBackColor);
      m_editor->onChanged = [this](const QString& text) {
        m_sText = text.toStdWString();
        if (m_pManager) m_pManager->SendNotify(this, L"textchanged");
      };
      m_editor->onReturn = [this] {
        if (m_pManager) m_pManager->SendNotify(this, L"return");
      };
      if (m_editor->Open(this, options, ToQString(m_sText))) PlaceEditor();
      Invalidate();
      return;
    }
    case UIEVENT_KILLFOCUS:
      m_editor->Close();
      CComboUI::DoEvent(event);
      Invalidate();
      return;
    case UIEVENT_CHAR:
      if (event.chKey >= 0x20 && event.chKey != 0x7F) {
        m_sText += event.chKey;
        Invalidate();
        if (m_pManager) m_pManager->SendNotify(this, L"textchanged");
      }
      return;
    case UIEVENT_KEYDOWN:
      if (event.chKey == VK_BACK && !m_sText.IsEmpty()) {
        m_sText = m_sText.Left(m_sText.GetLength() - 1);
        Invalidate();
        if (m_pManager) m_pManager->SendNotify(this, L"textchanged");
        return;
      }
      if (event.chKey == VK_RETURN) {
        if (m_pManager) m_pManager->SendNotify(this, L"return");
        return;
      }
      break;
    default:
      break;
  }
  CComboUI::DoEvent(event);
}

void CEditComboUI::PaintText(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  RECT rc = TextRect();
  QString text = ToQString(m_sText);
  DrawText(painter, m_pManager, rc, text, IsEnabled() ? m_dwTextColor : 0xFFA0A4AA, m_iFont,
           DT_SINGLELINE_UI | DT_VCENTER_UI);
  if (IsFocused() && !m_editor->IsOpen() && m_pManager) {
    QFontMetrics fm(CRenderEngine::FontOf(m_pManager, m_iFont));
    int x = std::min<int>(rc.left + fm.horizontalAdvance(text), rc.right - 1);
    int h = fm.height();
    painter.fillRect(QRect(x, (rc.top + rc.bottom - h) / 2, 1, h), ToColor(m_dwTextColor));
  }
}

// ---- Tree ----

CTreeNodeUI::CTreeNodeUI(CTreeNodeUI* parentNode) : m_pParentTreeNode(parentNode) {}

const wchar_t* CTreeNodeUI::GetClass() const {
  return L"TreeNode";
}

void* CTreeNodeUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"TreeNode")) return this;
  return CListContainerElementUI::GetInterface(name);
}

int CTreeNodeUI::GetTreeLevel() const {
  int level = 0;
  for (CTreeNodeUI* p = m_pParentTreeNode; p; p = p->m_pParentTreeNode) ++level;
  return level;
}

CTreeNodeUI* CTreeNodeUI::GetChildNode(int index) const {
  return index >= 0 && index < int(m_children.size()) ? m_children[size_t(index)] : nullptr;
}

bool CTreeNodeUI::Add(CControlUI* control) {
  if (CTreeNodeUI* child = control ? static_cast<CTreeNodeUI*>(control->GetInterface(L"TreeNode")) : nullptr)
    return AddAt(child, GetCountChild());
  return CListContainerElementUI::Add(control);
}

bool CTreeNodeUI::AddAt(CControlUI* control, int index) {
  CTreeNodeUI* child = control ? static_cast<CTreeNodeUI*>(control->GetInterface(L"TreeNode")) : nullptr;
  if (!child) return CListContainerElementUI::AddAt(control, index);
  if (index < 0 || index > GetCountChild()) return false;
  child->m_pParentTreeNode = this;
  m_children.insert(m_children.begin() + index, child);
  if (m_pTreeView) {
    // Rows follow depth-first order: after this node's earlier children and their subtrees.
    CTreeNodeUI* before = index > 0 ? m_children[size_t(index) - 1] : this;
    while (before != this && !before->m_children.empty()) before = before->m_children.back();
    m_pTreeView->InsertRows(child, m_pTreeView->GetItemIndex(before) + 1);
    if (!m_bExpanded || !IsVisible()) m_pTreeView->FoldItem(this, true);
  }
  return true;
}

bool CTreeNodeUI::Remove(CControlUI* control, bool doNotDestroy) {
  CTreeNodeUI* child = control ? static_cast<CTreeNodeUI*>(control->GetInterface(L"TreeNode")) : nullptr;
  if (!child) return CListContainerElementUI::Remove(control, doNotDestroy);
  auto it = std::find(m_children.begin(), m_children.end(), child);
  if (it == m_children.end()) return false;
  m_children.erase(it);
  if (m_pTreeView) return m_pTreeView->Remove(child, doNotDestroy);
  if (!doNotDestroy) delete child;
  return true;
}

void CTreeNodeUI::SetVisible(bool visible) {
  CListContainerElementUI::SetVisible(visible);
  for (CTreeNodeUI* c : m_children) c->SetVisible(visible && m_bExpanded);
}

void CTreeNodeUI::SetExpanded(bool expanded) {
  if (m_bExpanded == expanded) return;
  m_bExpanded = expanded;
  for (CTreeNodeUI* c : m_children) c->SetVisible(expanded && IsVisible());
  Invalidate();
  if (m_pManager) m_pManager->SendNotify(this, expanded ? L"itemexpand" : L"itemcollapse");
}

void CTreeNodeUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  const std::wstring_view n = name;
  if (n == L"itemtext")
    SetItemText(ui_gettext(value));
  else if (n == L"folderattr" || n == L"checkboxattr" || n == L"itemattr")
    return;
  else if (n == L"visiblefolderbtn")
    SetVisibleFolderBtn(ParseBool(value));
  else if (n == L"visiblecheckbtn")
    SetVisibleCheckBtn(ParseBool(value));
  else if (n == L"expanded")
    m_bExpanded = ParseBool(value);
  else if (n == L"indent")
    m_iIndent = int(wcstol(value, nullptr, 10));
  else if (n == L"textcolor")
    m_dwTextColor = ParseColor(value);
  else
    CListContainerElementUI::SetAttribute(name, value);
}

void CTreeNodeUI::SetPos(RECT rc, bool needInvalidate) {
  // The content sits right of the indent, the folder button and the check box.
  int lead = GetTreeLevel() * m_iIndent + (m_bFolderVisible ? 18 : 4) + (m_bCheckVisible ? 20 : 0);
  RECT saved = m_rcInset;
  m_rcInset.left += lead;
  CHorizontalLayoutUI::SetPos(rc, needInvalidate);
  m_rcInset = saved;
}

void CTreeNodeUI::DoEvent(TEventUI& event) {
  if ((event.Type == UIEVENT_BUTTONDOWN || event.Type == UIEVENT_DBLCLICK) && IsEnabled()) {
    int x = m_rcItem.left + GetTreeLevel() * m_iIndent;
    if (m_bFolderVisible && event.ptMouse.x >= x && event.ptMouse.x < x + 18) {
      SetExpanded(!m_bExpanded);
      return;
    }
    x += m_bFolderVisible ? 18 : 4;
    if (m_bCheckVisible && event.ptMouse.x >= x && event.ptMouse.x < x + 20) {
      SetCheckBoxSelected(!m_bChecked);
      if (m_pManager) m_pManager->SendNotify(this, L"itemcheck", m_bChecked ? 1 : 0);
      return;
    }
    if (event.Type == UIEVENT_DBLCLICK && IsHasChild()) SetExpanded(!m_bExpanded);
  }
  CListContainerElementUI::DoEvent(event);
}

void CTreeNodeUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  CListContainerElementUI::DoPaint(hDC, rcPaint);
  int x = m_rcItem.left + GetTreeLevel() * m_iIndent;
  double cy = (m_rcItem.top + m_rcItem.bottom) / 2.0;
  if (m_bFolderVisible && IsHasChild()) DrawChevron(painter, QPointF(x + 9, cy), m_bExpanded, 0xFF5F6368);
  x += m_bFolderVisible ? 18 : 4;
  if (m_bCheckVisible) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QRectF box(x + 1.5, cy - 6.5, 13, 13);
    painter.setPen(ToColor(m_bChecked ? 0xFF2F80ED : 0xFF9AA0A6));
    painter.setBrush(m_bChecked ? ToColor(0xFF2F80ED) : QColor(Qt::white));
    painter.drawRoundedRect(box, 3, 3);
    if (m_bChecked) {
      QPen tick(Qt::white, 2);
      painter.setPen(tick);
      painter.drawLine(QPointF(box.left() + 3, cy), QPointF(box.left() + 5.5, cy + 3));
      painter.drawLine(QPointF(box.left() + 5.5, cy + 3), QPointF(box.right() - 3, cy - 3));
    }
    painter.restore();
  }
}

void CTreeNodeUI::PaintText(HDC hDC) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  if (m_sText.IsEmpty() || !m_items.empty()) return;
  int lead = GetTreeLevel() * m_iIndent + (m_bFolderVisible ? 18 : 4) + (m_bCheckVisible ? 20 : 0);
  RECT rc{m_rcItem.left + lead + 2, m_rcItem.top, m_rcItem.right - 4, m_rcItem.bottom};
  DrawText(painter, m_pManager, rc, ToQString(m_sText), m_dwTextColor ? m_dwTextColor : 0xFF1F2328, -1,
           DT_SINGLELINE_UI | DT_VCENTER_UI | DT_END_ELLIPSIS_UI);
}

const wchar_t* CTreeViewUI::GetClass() const {
  return L"TreeView";
}

void* CTreeViewUI::GetInterface(const wchar_t* name) {
  if (Is(name, L"TreeView")) return this;
  return CListUI::GetInterface(name);
}

void CTreeViewUI::InsertRows(CTreeNodeUI* node, int at) {
  node->m_pTreeView = this;
  CListUI::AddAt(node, std::min(at, GetCount()));
  int next = GetItemIndex(node) + 1;
  for (CTreeNodeUI* child : node->m_children) {
    InsertRows(child, next);
    CTreeNodeUI* last = child;
    while (!last->m_children.empty()) last = last->m_children.back();
    next = GetItemIndex(last) + 1;
  }
}

bool CTreeViewUI::Add(CControlUI* control) {
  return AddAt(control, GetCount());
}

bool CTreeViewUI::AddAt(CControlUI* control, int index) {
  if (!control) return false;
  if (control->GetInterface(L"ListHeader")) return CListUI::Add(control);
  CTreeNodeUI* node = static_cast<CTreeNodeUI*>(control->GetInterface(L"TreeNode"));
  if (!node || index < 0 || index > GetCount()) return false;
  InsertRows(node, index);
  for (CTreeNodeUI* c : node->m_children) c->SetVisible(node->IsExpanded());
  return true;
}

bool CTreeViewUI::Remove(CControlUI* control, bool doNotDestroy) {
  CTreeNodeUI* node = control ? static_cast<CTreeNodeUI*>(control->GetInterface(L"TreeNode")) : nullptr;
  if (!node) return CListUI::Remove(control, doNotDestroy);
  // The subtree's rows go too, children first.
  while (!node->m_children.empty()) {
    CTreeNodeUI* child = node->m_children.back();
    node->m_children.pop_back();
    Remove(child, doNotDestroy);
  }
  if (CTreeNodeUI* parent = node->m_pParentTreeNode) {
    auto it = std::find(parent->m_children.begin(), parent->m_children.end(), node);
    if (it != parent->m_children.end()) parent->m_children.erase(it);
  }
  return CListUI::Remove(node, doNotDestroy);
}

void CTreeViewUI::FoldItem(CTreeNodeUI* node, bool fold) {
  if (node) node->SetExpanded(!fold);
}

}  // namespace DuiLib
