#include "UIContainer.h"

#include "UIDlgBuilder.h"
#include "UIManager.h"
#include "internal/UIRender.h"

#include <QPainter>

#include <algorithm>
#include <cwchar>
#include <string_view>

namespace DuiLib {

namespace {

constexpr int kScrollBarWidth = 8;

int Clamp(int v, int lo, int hi) {
  return std::max(lo, std::min(v, hi));
}

bool InRect(const RECT& rc, POINT pt) {
  return pt.x >= rc.left && pt.x < rc.right && pt.y >= rc.top && pt.y < rc.bottom;
}

}  // namespace

// ---- CContainerUI ----

CContainerUI::CContainerUI() = default;

CContainerUI::~CContainerUI() {
  RemoveAll();
  delete m_pVerticalScrollBar;
  delete m_pHorizontalScrollBar;
}

const wchar_t* CContainerUI::GetClass() const {
  return L"Container";
}

void* CContainerUI::GetInterface(const wchar_t* name) {
  if (name && wcscmp(name, L"Container") == 0) return this;
  return CControlUI::GetInterface(name);
}

CControlUI* CContainerUI::GetItemAt(int index) const {
  if (index < 0 || index >= int(m_items.size())) return nullptr;
  return m_items[size_t(index)];
}

int CContainerUI::GetItemIndex(CControlUI* control) const {
  auto it = std::find(m_items.begin(), m_items.end(), control);
  return it == m_items.end() ? -1 : int(it - m_items.begin());
}

bool CContainerUI::SetItemIndex(CControlUI* control, int index) {
  int from = GetItemIndex(control);
  if (from < 0 || index < 0 || index >= int(m_items.size())) return false;
  m_items.erase(m_items.begin() + from);
  m_items.insert(m_items.begin() + index, control);
  NeedUpdate();
  return true;
}

bool CContainerUI::Add(CControlUI* control) {
  return AddAt(control, int(m_items.size()));
}

bool CContainerUI::AddAt(CControlUI* control, int index) {
  if (!control || index < 0 || index > int(m_items.size())) return false;
  if (m_pManager)
    m_pManager->InitControls(control, this);
  else
    control->SetManager(nullptr, this, false);
  if (IsVisible()) NeedUpdate();
  m_items.insert(m_items.begin() + index, control);
  return true;
}

bool CContainerUI::Remove(CControlUI* control, bool doNotDestroy) {
  int index = GetItemIndex(control);
  if (index < 0) return false;
  return CContainerUI::RemoveAt(index, doNotDestroy);
}

bool CContainerUI::RemoveAt(int index, bool doNotDestroy) {
  CControlUI* control = GetItemAt(index);
  if (!control) return false;
  m_items.erase(m_items.begin() + index);
  if (m_bAutoDestroy && !doNotDestroy)
    delete control;
  else if (m_pManager)
    m_pManager->ReapObjects(control);
  NeedUpdate();
  return true;
}

void CContainerUI::RemoveAll() {
  std::vector<CControlUI*> items;
  items.swap(m_items);
  for (CControlUI* c : items) {
    if (m_bAutoDestroy)
      delete c;
    else if (m_pManager)
      m_pManager->ReapObjects(c);
  }
  NeedUpdate();
}

void CContainerUI::SetInset(RECT inset) {
  m_rcInset = inset;
  NeedUpdate();
}

void CContainerUI::SetChildPadding(int padding) {
  m_iChildPadding = padding;
  NeedUpdate();
}

void CContainerUI::SetVisible(bool visible) {
  if (m_bVisible == visible) return;
  CControlUI::SetVisible(visible);
  for (CControlUI* c : m_items) c->SetInternVisible(IsVisible());
}

void CContainerUI::SetInternVisible(bool visible) {
  CControlUI::SetInternVisible(visible);
  for (CControlUI* c : m_items) c->SetInternVisible(IsVisible());
}

void CContainerUI::SetEnabled(bool enable) {
  CControlUI::SetEnabled(enable);
  if (m_pVerticalScrollBar) m_pVerticalScrollBar->SetEnabled(enable);
  if (m_pHorizontalScrollBar) m_pHorizontalScrollBar->SetEnabled(enable);
}

void CContainerUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init) {
  for (CControlUI* c : m_items) c->SetManager(manager, this, init);
  if (m_pVerticalScrollBar) m_pVerticalScrollBar->SetManager(manager, this, init);
  if (m_pHorizontalScrollBar) m_pHorizontalScrollBar->SetManager(manager, this, init);
  CControlUI::SetManager(manager, parent, init);
}

RECT CContainerUI::InnerRect() const {
  RECT rc = m_rcItem;
  rc.left += m_rcInset.left;
  rc.top += m_rcInset.top;
  rc.right -= m_rcInset.right;
  rc.bottom -= m_rcInset.bottom;
  if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible())
    rc.right -= m_pVerticalScrollBar->GetFixedWidth();
  if (m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible())
    rc.bottom -= m_pHorizontalScrollBar->GetFixedHeight();
  if (rc.right < rc.left) rc.right = rc.left;
  if (rc.bottom < rc.top) rc.bottom = rc.top;
  return rc;
}

void CContainerUI::SetPos(RECT rc, bool needInvalidate) {
  CControlUI::SetPos(rc, needInvalidate);
  RECT inner = InnerRect();
  SIZE scroll = GetScrollPos();
  int cyNeeded = 0;
  for (int i = 0; i < int(m_items.size()); ++i) {
    CControlUI* c = m_items[size_t(i)];
    if (!c->IsVisible()) continue;
    if (c->IsFloat()) {
      SetFloatPos(i);
      continue;
    }
    RECT p = c->GetPadding();
    RECT r{inner.left + p.left, inner.top + p.top - scroll.cy, inner.right - p.right,
           inner.bottom - p.bottom - scroll.cy};
    c->SetPos(r, false);
    cyNeeded = std::max(cyNeeded, int(r.bottom - r.top + p.top + p.bottom));
  }
  ProcessScrollBar(inner, 0, cyNeeded);
}

void CContainerUI::SetFloatPos(int index) {
  CControlUI* c = GetItemAt(index);
  if (!c || !c->IsVisible() || !c->IsFloat()) return;
  SIZE xy = c->GetFixedXY();
  SIZE sz{c->GetFixedWidth(), c->GetFixedHeight()};
  RECT rc;
  // Negative offsets count from the right and bottom edges.
  rc.left = xy.cx >= 0 ? m_rcItem.left + xy.cx : m_rcItem.right + xy.cx;
  rc.top = xy.cy >= 0 ? m_rcItem.top + xy.cy : m_rcItem.bottom + xy.cy;
  rc.right = rc.left + sz.cx;
  rc.bottom = rc.top + sz.cy;
  c->SetPos(rc, false);
}

void CContainerUI::ProcessScrollBar(RECT rc, int cxRequired, int cyRequired) {
  // A bar that comes or goes changes the inner rectangle: the layout runs again and comes back.
  for (CScrollBarUI* bar : {m_pVerticalScrollBar, m_pHorizontalScrollBar}) {
    if (!bar) continue;
    const bool horizontal = bar == m_pHorizontalScrollBar;
    const bool need = horizontal ? cxRequired > rc.right - rc.left : cyRequired > rc.bottom - rc.top;
    if (need != bar->IsVisible()) {
      bar->SetVisible(need);
      if (!need) bar->SetScrollPos(0);
      SetPos(m_rcItem, false);
      return;
    }
  }
  if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) {
    m_pVerticalScrollBar->SetScrollRange(cyRequired - (rc.bottom - rc.top));
    m_pVerticalScrollBar->SetPos(RECT{rc.right, rc.top, rc.right + m_pVerticalScrollBar->GetFixedWidth(), rc.bottom},
                                 false);
  }
  if (m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible()) {
    m_pHorizontalScrollBar->SetScrollRange(cxRequired - (rc.right - rc.left));
    m_pHorizontalScrollBar->SetPos(
        RECT{rc.left, rc.bottom, rc.right, rc.bottom + m_pHorizontalScrollBar->GetFixedHeight()}, false);
  }
}

SIZE CContainerUI::GetScrollPos() const {
  SIZE sz{};
  if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) sz.cy = m_pVerticalScrollBar->GetScrollPos();
  if (m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible()) sz.cx = m_pHorizontalScrollBar->GetScrollPos();
  return sz;
}

SIZE CContainerUI::GetScrollRange() const {
  SIZE sz{};
  if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible())
    sz.cy = m_pVerticalScrollBar->GetScrollRange();
  if (m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible())
    sz.cx = m_pHorizontalScrollBar->GetScrollRange();
  return sz;
}

void CContainerUI::SetScrollPos(SIZE pos) {
  const SIZE old = GetScrollPos();
  if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) m_pVerticalScrollBar->SetScrollPos(pos.cy);
  if (m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible()) m_pHorizontalScrollBar->SetScrollPos(pos.cx);
  const SIZE now = GetScrollPos();
  if (now.cx == old.cx && now.cy == old.cy) return;
  SetPos(m_rcItem, false);
  Invalidate();
  // Queued and merged: a wheel burst or a thumb drag is one "scroll" for whoever fills rows.
  if (m_pManager) m_pManager->SendNotify(this, L"scroll", 0, 0, true, false);
}

void CContainerUI::LineUp() {
  const SIZE pos = GetScrollPos();
  if (m_pVerticalScrollBar) SetScrollPos(SIZE{pos.cx, pos.cy - m_pVerticalScrollBar->GetLineSize()});
}

void CContainerUI::LineDown() {
  const SIZE pos = GetScrollPos();
  if (m_pVerticalScrollBar) SetScrollPos(SIZE{pos.cx, pos.cy + m_pVerticalScrollBar->GetLineSize()});
}

void CContainerUI::EnableScrollBar(bool vertical, bool horizontal) {
  if (vertical && !m_pVerticalScrollBar) {
    m_pVerticalScrollBar = new CScrollBarUI;
    m_pVerticalScrollBar->SetOwner(this);
    m_pVerticalScrollBar->SetVisible(false);
    m_pVerticalScrollBar->SetManager(m_pManager, nullptr, false);
  } else if (!vertical && m_pVerticalScrollBar) {
    delete m_pVerticalScrollBar;
    m_pVerticalScrollBar = nullptr;
  }
  // Only vertical layouts scroll sideways; in other containers the bar never shows.
  if (horizontal && !m_pHorizontalScrollBar) {
    m_pHorizontalScrollBar = new CScrollBarUI;
    m_pHorizontalScrollBar->SetHorizontal(true);
    m_pHorizontalScrollBar->SetOwner(this);
    m_pHorizontalScrollBar->SetVisible(false);
    m_pHorizontalScrollBar->SetManager(m_pManager, nullptr, false);
  } else if (!horizontal && m_pHorizontalScrollBar) {
    delete m_pHorizontalScrollBar;
    m_pHorizontalScrollBar = nullptr;
  }
  NeedUpdate();
}

void CContainerUI::DoEvent(TEventUI& event) {
  if (event.Type == UIEVENT_SCROLLWHEEL && IsEnabled()) {
    const bool up = short(HIWORD(event.wParam)) > 0;
    const bool vertical = m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible();
    const bool horizontal = m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible();
    // The wheel with Shift held, or where only the sideways bar shows, scrolls sideways.
    if (horizontal && ((LOWORD(event.wParam) & MK_SHIFT) || !vertical)) {
      const SIZE pos = GetScrollPos();
      const int step = m_pHorizontalScrollBar->GetLineSize();
      SetScrollPos(SIZE{pos.cx + (up ? -step : step), pos.cy});
      return;
    }
    if (vertical) {
      if (up)
        LineUp();
      else
        LineDown();
      return;
    }
  }
  CControlUI::DoEvent(event);
}

void CContainerUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  RECT rcTemp;
  if (!CRenderEngine::IntersectRect(rcTemp, rcPaint, m_rcItem)) return;
  painter.save();
  painter.setClipRect(CRenderEngine::ToRect(rcTemp), Qt::IntersectClip);
  CControlUI::DoPaint(hDC, rcTemp);
  RECT inner = InnerRect();
  RECT rcChildren;
  if (CRenderEngine::IntersectRect(rcChildren, rcTemp, inner)) {
    for (CControlUI* c : m_items) {
      if (!c->IsVisible() || c->IsFloat()) continue;
      RECT r;
      if (!CRenderEngine::IntersectRect(r, rcChildren, c->GetPos())) continue;
      painter.save();
      painter.setClipRect(CRenderEngine::ToRect(rcChildren), Qt::IntersectClip);
      c->DoPaint(hDC, rcChildren);
      painter.restore();
    }
  }
  for (CControlUI* c : m_items) {
    if (!c->IsVisible() || !c->IsFloat()) continue;
    RECT r;
    if (CRenderEngine::IntersectRect(r, rcTemp, c->GetPos())) c->DoPaint(hDC, rcTemp);
  }
  for (CScrollBarUI* bar : {m_pVerticalScrollBar, m_pHorizontalScrollBar})
    if (bar && bar->IsVisible()) bar->DoPaint(hDC, rcTemp);
  painter.restore();
}

void CContainerUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  const std::wstring_view n = name;
  if (n == L"inset")
    SetInset(ParseRect(value));
  else if (n == L"childpadding")
    SetChildPadding(int(wcstol(value, nullptr, 10)));
  else if (n == L"mousechild")
    SetMouseChildEnabled(ParseBool(value));
  else if (n == L"vscrollbar")
    EnableScrollBar(ParseBool(value), m_pHorizontalScrollBar != nullptr);
  else if (n == L"hscrollbar")
    EnableScrollBar(m_pVerticalScrollBar != nullptr, ParseBool(value));
  else if (n == L"vscrollbarstyle" || n == L"hscrollbarstyle")
    return;
  else if (n == L"autodestroy")
    SetAutoDestroy(ParseBool(value));
  else
    CControlUI::SetAttribute(name, value);
}

CControlUI* CContainerUI::FindControl(FINDCONTROLPROC proc, void* data, UINT flags) {
  if ((flags & UIFIND_VISIBLE) && !IsVisible()) return nullptr;
  if ((flags & UIFIND_ENABLED) && !IsEnabled()) return nullptr;
  if ((flags & UIFIND_HITTEST)) {
    POINT pt = *static_cast<POINT*>(data);
    if (!InRect(m_rcItem, pt)) return nullptr;
    if (!m_bMouseChildEnabled) return CControlUI::FindControl(proc, data, flags);
    for (CScrollBarUI* bar : {m_pVerticalScrollBar, m_pHorizontalScrollBar})
      if (bar && bar->IsVisible())
        if (CControlUI* r = bar->FindControl(proc, data, flags)) return r;
  }
  if (flags & UIFIND_ME_FIRST) {
    if (CControlUI* r = CControlUI::FindControl(proc, data, flags)) return r;
  }
  if (flags & UIFIND_HITTEST) {
    POINT pt = *static_cast<POINT*>(data);
    // Floating children sit above the others.
    for (int i = int(m_items.size()) - 1; i >= 0; --i)
      if (m_items[size_t(i)]->IsFloat())
        if (CControlUI* r = m_items[size_t(i)]->FindControl(proc, data, flags)) return r;
    if (InRect(InnerRect(), pt)) {
      for (int i = int(m_items.size()) - 1; i >= 0; --i)
        if (!m_items[size_t(i)]->IsFloat())
          if (CControlUI* r = m_items[size_t(i)]->FindControl(proc, data, flags)) return r;
    }
  } else {
    for (CControlUI* c : m_items)
      if (CControlUI* r = c->FindControl(proc, data, flags)) return r;
  }
  if (flags & UIFIND_ME_FIRST) return nullptr;
  return CControlUI::FindControl(proc, data, flags);
}

// ---- Linear layouts ----
// Both split their inner rectangle along one axis: fixed sizes (and paddings, and the
// child padding between items) first; what is left is shared evenly by the items without
// a size, the last of them taking the remainder. min/max sizes clamp every item.

namespace {

struct Axis {
  bool vertical;
  int Along(SIZE s) const { return vertical ? s.cy : s.cx; }
  int Across(SIZE s) const { return vertical ? s.cx : s.cy; }
  int PadBefore(const RECT& p) const { return vertical ? p.top : p.left; }
  int PadAfter(const RECT& p) const { return vertical ? p.bottom : p.right; }
  int CrossBefore(const RECT& p) const { return vertical ? p.left : p.top; }
  int CrossAfter(const RECT& p) const { return vertical ? p.right : p.bottom; }
  int MinAlong(CControlUI* c) const { return vertical ? c->GetMinHeight() : c->GetMinWidth(); }
  int MaxAlong(CControlUI* c) const { return vertical ? c->GetMaxHeight() : c->GetMaxWidth(); }
  int MinAcross(CControlUI* c) const { return vertical ? c->GetMinWidth() : c->GetMinHeight(); }
  int MaxAcross(CControlUI* c) const { return vertical ? c->GetMaxWidth() : c->GetMaxHeight(); }
};

// Lays out the non-floating visible items; returns the length the content needs.
int LayoutLinear(const Axis& ax, const std::vector<CControlUI*>& items, RECT rc, int childPadding,
                 int scroll) {
  SIZE available{rc.right - rc.left, rc.bottom - rc.top};
  int length = ax.Along(available);
  int fixed = 0, adjustables = 0, count = 0;
  for (CControlUI* c : items) {
    if (!c->IsVisible() || c->IsFloat()) continue;
    SIZE sz = c->EstimateSize(available);
    RECT p = c->GetPadding();
    if (ax.Along(sz) == 0)
      ++adjustables;
    else
      fixed += Clamp(ax.Along(sz), ax.MinAlong(c), ax.MaxAlong(c));
    fixed += ax.PadBefore(p) + ax.PadAfter(p);
    ++count;
  }
  if (count > 1) fixed += (count - 1) * childPadding;
  int share = adjustables > 0 ? std::max(0, (length - fixed) / adjustables) : 0;
  int remaining = std::max(0, length - fixed);

  int pos = (ax.vertical ? rc.top : rc.left) - scroll;
  int start = pos, seen = 0, adjusted = 0;
  for (CControlUI* c : items) {
    if (!c->IsVisible() || c->IsFloat()) continue;
    SIZE sz = c->EstimateSize(available);
    RECT p = c->GetPadding();
    int along = ax.Along(sz);
    if (along == 0) {
      ++adjusted;
      along = adjusted == adjustables ? remaining : share;
      along = Clamp(along, ax.MinAlong(c), ax.MaxAlong(c));
      remaining = std::max(0, remaining - along);
    } else {
      along = Clamp(along, ax.MinAlong(c), ax.MaxAlong(c));
    }
    // Across the axis only a fixed size counts; otherwise the item fills the layout.
    int across = ax.vertical ? c->GetFixedWidth() : c->GetFixedHeight();
    int acrossAvail = ax.Across(available) - ax.CrossBefore(p) - ax.CrossAfter(p);
    if (across == 0) across = acrossAvail;
    across = Clamp(across, ax.MinAcross(c), ax.MaxAcross(c));
    pos += ax.PadBefore(p);
    RECT r;
    if (ax.vertical) {
      r.left = rc.left + p.left;
      r.right = r.left + across;
      r.top = pos;
      r.bottom = pos + along;
    } else {
      r.top = rc.top + p.top;
      r.bottom = r.top + across;
      r.left = pos;
      r.right = pos + along;
    }
    c->SetPos(r, false);
    pos += along + ax.PadAfter(p);
    if (++seen < count) pos += childPadding;
  }
  return pos - start;
}

}  // namespace

const wchar_t* CVerticalLayoutUI::GetClass() const {
  return L"VerticalLayout";
}

void* CVerticalLayoutUI::GetInterface(const wchar_t* name) {
  if (name && wcscmp(name, L"VerticalLayout") == 0) return this;
  return CContainerUI::GetInterface(name);
}

void CVerticalLayoutUI::SetPos(RECT rc, bool needInvalidate) {
  CControlUI::SetPos(rc, needInvalidate);
  RECT inner = InnerRect();
  // Sideways the items move by the scroll position; the widest fixed one sets the width needed.
  const SIZE scroll = GetScrollPos();
  RECT shifted = inner;
  shifted.left -= scroll.cx;
  shifted.right -= scroll.cx;
  int needed = LayoutLinear(Axis{true}, m_items, shifted, m_iChildPadding, scroll.cy);
  int wide = 0;
  for (CControlUI* c : m_items) {
    if (!c->IsVisible() || c->IsFloat() || c->GetFixedWidth() == 0) continue;
    const RECT p = c->GetPadding();
    wide = std::max(wide, int(c->GetFixedWidth() + p.left + p.right));
  }
  for (int i = 0; i < int(m_items.size()); ++i) SetFloatPos(i);
  ProcessScrollBar(inner, wide, needed);
}

const wchar_t* CHorizontalLayoutUI::GetClass() const {
  return L"HorizontalLayout";
}

void* CHorizontalLayoutUI::GetInterface(const wchar_t* name) {
  if (name && wcscmp(name, L"HorizontalLayout") == 0) return this;
  return CContainerUI::GetInterface(name);
}

void CHorizontalLayoutUI::SetPos(RECT rc, bool needInvalidate) {
  CControlUI::SetPos(rc, needInvalidate);
  RECT inner = InnerRect();
  LayoutLinear(Axis{false}, m_items, inner, m_iChildPadding, 0);
  for (int i = 0; i < int(m_items.size()); ++i) SetFloatPos(i);
}

// ---- CTileLayoutUI ----

const wchar_t* CTileLayoutUI::GetClass() const {
  return L"TileLayout";
}

void* CTileLayoutUI::GetInterface(const wchar_t* name) {
  if (name && wcscmp(name, L"TileLayout") == 0) return this;
  return CContainerUI::GetInterface(name);
}

void CTileLayoutUI::SetColumns(int columns) {
  if (columns <= 0) return;
  m_nColumns = columns;
  NeedUpdate();
}

void CTileLayoutUI::SetItemSize(SIZE size) {
  m_szItem = size;
  NeedUpdate();
}

void CTileLayoutUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (wcscmp(name, L"columns") == 0)
    SetColumns(int(wcstol(value, nullptr, 10)));
  else if (wcscmp(name, L"itemsize") == 0)
    SetItemSize(ParseSize(value));
  else
    CContainerUI::SetAttribute(name, value);
}

void CTileLayoutUI::SetPos(RECT rc, bool needInvalidate) {
  CControlUI::SetPos(rc, needInvalidate);
  RECT inner = InnerRect();
  int width = inner.right - inner.left;
  // A given item width decides the column count; otherwise the columns share the width.
  int columns = m_nColumns;
  int cellWidth;
  if (m_szItem.cx > 0) {
    columns = std::max(1, (width + m_iChildPadding) / (int(m_szItem.cx) + m_iChildPadding));
    cellWidth = m_szItem.cx;
    m_nColumns = columns;
  } else {
    cellWidth = columns > 0 ? (width - (columns - 1) * m_iChildPadding) / columns : width;
  }
  std::vector<CControlUI*> visible;
  for (CControlUI* c : m_items)
    if (c->IsVisible() && !c->IsFloat()) visible.push_back(c);
  int y = inner.top - GetScrollPos().cy, top = y;
  for (size_t rowStart = 0; rowStart < visible.size(); rowStart += size_t(columns)) {
    size_t rowEnd = std::min(visible.size(), rowStart + size_t(columns));
    int rowHeight = m_szItem.cy;
    if (rowHeight <= 0) {
      for (size_t i = rowStart; i < rowEnd; ++i) {
        RECT p = visible[i]->GetPadding();
        SIZE sz = visible[i]->EstimateSize(SIZE{cellWidth, 0});
        rowHeight = std::max(rowHeight, int(sz.cy + p.top + p.bottom));
      }
      if (rowHeight <= 0) rowHeight = cellWidth;
    }
    int x = inner.left;
    for (size_t i = rowStart; i < rowEnd; ++i) {
      CControlUI* c = visible[i];
      RECT p = c->GetPadding();
      int w = c->GetFixedWidth() > 0 ? c->GetFixedWidth() : cellWidth - p.left - p.right;
      int h = c->GetFixedHeight() > 0 ? c->GetFixedHeight() : rowHeight - p.top - p.bottom;
      RECT r{x + p.left, y + p.top, x + p.left + w, y + p.top + h};
      c->SetPos(r, false);
      x += cellWidth + m_iChildPadding;
    }
    y += rowHeight + m_iChildPadding;
  }
  for (int i = 0; i < int(m_items.size()); ++i) SetFloatPos(i);
  int needed = visible.empty() ? 0 : y - top - m_iChildPadding;
  ProcessScrollBar(inner, 0, needed);
}

// ---- CTabLayoutUI ----

const wchar_t* CTabLayoutUI::GetClass() const {
  return L"TabLayout";
}

void* CTabLayoutUI::GetInterface(const wchar_t* name) {
  if (name && wcscmp(name, L"TabLayout") == 0) return this;
  return CContainerUI::GetInterface(name);
}

bool CTabLayoutUI::Add(CControlUI* control) {
  return AddAt(control, GetCount());
}

bool CTabLayoutUI::AddAt(CControlUI* control, int index) {
  if (!CContainerUI::AddAt(control, index)) return false;
  if (m_iCurSel == -1 && control->IsVisible()) {
    m_iCurSel = GetItemIndex(control);
  } else {
    if (index <= m_iCurSel) ++m_iCurSel;
    control->SetVisible(false);
  }
  return true;
}

bool CTabLayoutUI::Remove(CControlUI* control, bool doNotDestroy) {
  int index = GetItemIndex(control);
  if (index < 0) return false;
  if (!CContainerUI::Remove(control, doNotDestroy)) return false;
  if (m_iCurSel == index) {
    m_iCurSel = -1;
    if (GetCount() > 0) SelectItem(std::min(index, GetCount() - 1), false);
  } else if (m_iCurSel > index) {
    --m_iCurSel;
  }
  return true;
}

void CTabLayoutUI::RemoveAll() {
  m_iCurSel = -1;
  CContainerUI::RemoveAll();
}

bool CTabLayoutUI::SelectItem(int index, bool triggerEvent) {
  if (index < 0 || index >= GetCount()) return false;
  if (index == m_iCurSel) return true;
  int old = m_iCurSel;
  m_iCurSel = index;
  for (int i = 0; i < GetCount(); ++i) GetItemAt(i)->SetVisible(i == index);
  NeedParentUpdate();
  if (triggerEvent && m_pManager) m_pManager->SendNotify(this, L"tabselect", WPARAM(m_iCurSel), LPARAM(old));
  return true;
}

bool CTabLayoutUI::SelectItem(CControlUI* control, bool triggerEvent) {
  return SelectItem(GetItemIndex(control), triggerEvent);
}

void CTabLayoutUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (wcscmp(name, L"selectedid") == 0)
    SelectItem(int(wcstol(value, nullptr, 10)), false);
  else
    CContainerUI::SetAttribute(name, value);
}

void CTabLayoutUI::SetPos(RECT rc, bool needInvalidate) {
  CControlUI::SetPos(rc, needInvalidate);
  RECT inner = InnerRect();
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* c = GetItemAt(i);
    if (c->IsFloat()) {
      SetFloatPos(i);
      continue;
    }
    if (i != m_iCurSel) continue;
    RECT p = c->GetPadding();
    RECT r{inner.left + p.left, inner.top + p.top, inner.right - p.right, inner.bottom - p.bottom};
    SIZE sz = c->EstimateSize(SIZE{r.right - r.left, r.bottom - r.top});
    if (sz.cx > 0) r.right = r.left + Clamp(sz.cx, c->GetMinWidth(), c->GetMaxWidth());
    if (sz.cy > 0) r.bottom = r.top + Clamp(sz.cy, c->GetMinHeight(), c->GetMaxHeight());
    c->SetPos(r, false);
  }
}

// ---- CChildLayoutUI ----

const wchar_t* CChildLayoutUI::GetClass() const {
  return L"ChildLayout";
}

void* CChildLayoutUI::GetInterface(const wchar_t* name) {
  if (name && wcscmp(name, L"ChildLayout") == 0) return this;
  return CContainerUI::GetInterface(name);
}

void CChildLayoutUI::Init() {
  if (!m_sXmlFile.IsEmpty() && GetCount() == 0) {
    CDialogBuilder builder;
    if (CControlUI* child = builder.Create(m_sXmlFile.GetData(), (unsigned int)0, nullptr, m_pManager))
      Add(child);
  }
  CContainerUI::Init();
}

void CChildLayoutUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (wcscmp(name, L"xmlfile") == 0)
    SetChildLayoutXML(value);
  else
    CContainerUI::SetAttribute(name, value);
}

// ---- CScrollBarUI ----

CScrollBarUI::CScrollBarUI() {
  m_cxyFixed = SIZE{kScrollBarWidth, kScrollBarWidth};
}

const wchar_t* CScrollBarUI::GetClass() const {
  return L"ScrollBar";
}

void* CScrollBarUI::GetInterface(const wchar_t* name) {
  if (name && wcscmp(name, L"ScrollBar") == 0) return this;
  return CControlUI::GetInterface(name);
}

void CScrollBarUI::SetHorizontal(bool horizontal) {
  m_bHorizontal = horizontal;
}

void CScrollBarUI::SetScrollRange(int range) {
  m_nRange = std::max(0, range);
  m_nScrollPos = Clamp(m_nScrollPos, 0, m_nRange);
}

void CScrollBarUI::SetScrollPos(int pos) {
  m_nScrollPos = Clamp(pos, 0, m_nRange);
  Invalidate();
}

RECT CScrollBarUI::ThumbRect() const {
  RECT rc = m_rcItem;
  int track = m_bHorizontal ? rc.right - rc.left : rc.bottom - rc.top;
  int length = track + m_nRange;
  int thumb = length > 0 ? std::max(20, track * track / length) : track;
  thumb = std::min(thumb, track);
  int start = m_nRange > 0 ? (track - thumb) * m_nScrollPos / m_nRange : 0;
  if (m_bHorizontal) return RECT{rc.left + start, rc.top + 1, rc.left + start + thumb, rc.bottom - 1};
  return RECT{rc.left + 1, rc.top + start, rc.right - 1, rc.top + start + thumb};
}

void CScrollBarUI::DoEvent(TEventUI& event) {
  // Positions along the bar, whichever way it runs; the owner keeps its other scroll position.
  const int mouse = m_bHorizontal ? event.ptMouse.x : event.ptMouse.y;
  const int begin = m_bHorizontal ? m_rcItem.left : m_rcItem.top;
  const int size = m_bHorizontal ? m_rcItem.right - m_rcItem.left : m_rcItem.bottom - m_rcItem.top;
  auto scrollTo = [this](int pos) {
    const SIZE now = m_pOwner->GetScrollPos();
    m_pOwner->SetScrollPos(m_bHorizontal ? SIZE{pos, now.cy} : SIZE{now.cx, pos});
  };
  // A quick second click on the track pages again.
  if (event.Type == UIEVENT_BUTTONDOWN || event.Type == UIEVENT_DBLCLICK) {
    RECT thumb = ThumbRect();
    const int thumbBegin = m_bHorizontal ? thumb.left : thumb.top;
    if (InRect(thumb, event.ptMouse))
      m_nDragOffset = mouse - thumbBegin;
    else if (m_pOwner)
      scrollTo(m_nScrollPos + (mouse < thumbBegin ? -size : size));
    return;
  }
  if (event.Type == UIEVENT_BUTTONUP) {
    m_nDragOffset = -1;
    return;
  }
  if (event.Type == UIEVENT_MOUSEMOVE && m_nDragOffset >= 0 && m_pOwner) {
    RECT thumb = ThumbRect();
    int track = size - (m_bHorizontal ? thumb.right - thumb.left : thumb.bottom - thumb.top);
    if (track > 0) scrollTo(int(int64_t(mouse - m_nDragOffset - begin) * m_nRange / track));
    return;
  }
  if (event.Type == UIEVENT_SCROLLWHEEL && m_pOwner) {
    m_pOwner->DoEvent(event);
    return;
  }
  CControlUI::DoEvent(event);
}

void CScrollBarUI::DoPaint(HDC hDC, const RECT& rcPaint) {
  CPaintScope scope(hDC, m_pManager);
  if (!scope) return;
  QPainter& painter = *scope;
  RECT thumb = ThumbRect();
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(CRenderEngine::ToColor(m_dwThumbColor));
  QRect r = CRenderEngine::ToRect(thumb);
  const double radius = std::min(r.width(), r.height()) / 2.0;
  painter.drawRoundedRect(r, radius, radius);
  painter.restore();
}

void CScrollBarUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (wcscmp(name, L"thumbcolor") == 0)
    m_dwThumbColor = ParseColor(value);
  else if (wcscmp(name, L"linesize") == 0)
    m_nLineSize = int(wcstol(value, nullptr, 10));
  else
    CControlUI::SetAttribute(name, value);
}

}  // namespace DuiLib
