#include "LinkWindows.h"

#include <algorithm>

#include "TeamDialogs.h"
#include "TeamLink.h"

using namespace DuiLib;

// ---- CLinkWindow ------------------------------------------------------------------------------

CLinkWindow::CLinkWindow(std::shared_ptr<Link> link) : link_(std::move(link)) {}

CLinkWindow::~CLinkWindow() {
  // The controls may be gone with the window: only the link and the items are let go.
  if (link_) link_->RemoveCallback(this);
  link_.reset();
  for (OrderUI* item : items_) delete item;
  items_.clear();
}

void CLinkWindow::InitWindow() {
  orderList_ = RemoteUI::Find<CListUI>(m_PaintManager, L"orderList");
  moreContainer_ = m_PaintManager.FindControl(L"msg_more_container");
  moreWaiting_ = m_PaintManager.FindControl(L"msg_more_waiting");
  moreButton_ = m_PaintManager.FindControl(L"msg_more_button");
  seriesPanel_ = m_PaintManager.FindControl(L"seriesPanel");
  seriesContainer_ = m_PaintManager.FindControl(L"seriesContainer");
  if (seriesContainer_) seriesContainer_->OnSize += MakeDelegate(this, &CLinkWindow::OnSeriesContainerSize);
  if (!link_) return;
  link_->AddCallback(this);
  // Orders loaded before the window existed; one added meanwhile is only rebound.
  SyncOrders();
}

void CLinkWindow::CreateSeriesWnd() {
  // Made with the first selection: a login builds a window per team, and most lists are never
  // looked at.
  if (!seriesContainer_ || SeriesWnd()) return;
  auto* window = new CSeriesListWnd;
  const RECT rc = seriesContainer_->GetPos();
  if (!window->Create(m_hWnd, L"SeriesListWnd", 0x56000000, WS_EX_WINDOWEDGE, rc)) {
    delete window;
    return;
  }
  seriesWnd_ = window;
  seriesHwnd_ = window->GetHWND();
}

bool CLinkWindow::OnSeriesContainerSize(void*) {
  if (CSeriesListWnd* window = SeriesWnd()) {
    const RECT rc = seriesContainer_->GetPos();
    MoveWindow(window->GetHWND(), rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
  }
  return true;
}

void CLinkWindow::ReleaseLink() {
  if (link_) link_->RemoveCallback(this);
  link_.reset();
  DeleteItems();
}

void CLinkWindow::DeleteItems() {
  selected_ = nullptr;
  // The panel lets go of its order before the rows do.
  if (CSeriesListWnd* window = SeriesWnd()) window->SetOrder(nullptr);
  if (orderList_) orderList_->RemoveAll();
  for (OrderUI* item : items_) delete item;
  items_.clear();
}

void CLinkWindow::Notify(TNotifyUI& msg) {
  if (msg.pSender && msg.pSender == orderList_) OnListNotify(msg);
  if (msg.sType == L"click" && msg.pSender && msg.pSender == moreButton_ && link_) link_->LoadMore();
  if (msg.sType == L"click" && msg.pSender) OnClick(msg.pSender->GetName());
  WindowImplBase::Notify(msg);
}

void CLinkWindow::OnListNotify(TNotifyUI& msg) {
  if (msg.sType != L"itemselect" || !orderList_) return;
  const int selected = orderList_->GetCurSel();
  CControlUI* element = orderList_->GetItemAt(selected >= 0 ? selected : 0);
  auto* order = element ? reinterpret_cast<OrderObject*>(element->GetTag()) : nullptr;
  if (!order) return;
  selected_ = order;
  CreateSeriesWnd();
  if (CSeriesListWnd* window = SeriesWnd()) window->SetOrder(order->shared_from_this());
  if (seriesPanel_) seriesPanel_->SetVisible(true);
}

void CLinkWindow::AddOrder(const std::shared_ptr<OrderObject>& order) {
  if (!order || !orderList_) return;
  const std::string id = order->Id();
  const int64_t orderTime = order->OrderTime();
  for (OrderUI* item : items_)
    if (item->OrderId() == id) {
      item->SetOrder(order);
      return;
    }
  OrderUI* item = MakeItem();
  if (!item->Root()) {
    delete item;
    return;
  }
  // In front of the first older order; equal times keep their arrival order.
  size_t position = items_.size();
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i]->Order() && items_[i]->OrderTime() < orderTime) {
      position = i;
      break;
    }
  const int index = position < items_.size() ? orderList_->GetItemIndex(items_[position]->Root())
                    : items_.empty()         ? 0
                                             : orderList_->GetItemIndex(items_.back()->Root()) + 1;
  const bool above = position < items_.size();
  items_.insert(items_.begin() + position, item);
  if (!above) {
    // Appended below every row: nothing the user looks at moves, and the list is laid out
    // when it is next shown (a page load appends twenty rows).
    orderList_->AddAt(item->Root(), index);
    item->SetOrder(order);
    return;
  }
  // Rows the user looks at stay in place when an order goes in above them.
  const SIZE range0 = orderList_->GetScrollRange();
  const SIZE pos0 = orderList_->GetScrollPos();
  orderList_->AddAt(item->Root(), index);
  item->SetOrder(order);
  orderList_->SetPos(orderList_->GetPos(), true);
  const SIZE range1 = orderList_->GetScrollRange();
  orderList_->SetScrollPos(SIZE{pos0.cx, pos0.cy + range1.cy - range0.cy});
}

void CLinkWindow::OnMoreStarted(Link*) {
  Post([this] {
    if (moreButton_) moreButton_->SetVisible(false);
    if (moreWaiting_) moreWaiting_->SetVisible(true);
  });
}

void CLinkWindow::OnMoreFinished(Link*) {
  Post([this] {
    if (moreButton_) moreButton_->SetVisible(true);
    if (moreWaiting_) moreWaiting_->SetVisible(false);
    if (moreContainer_) moreContainer_->SetVisible(link_ && link_->HasMore());
  });
}

void CLinkWindow::OnOrderAdded(Link*, const std::shared_ptr<OrderObject>& order) {
  // The order travels shared: it lives until the UI thread has placed it, even when the link
  // is cleared meanwhile; a window closed meanwhile drops it.
  Post([this, order] {
    if (link_) AddOrder(order);
  });
}

void CLinkWindow::OnOrdersReloaded(Link*) {
  Post([this] { SyncOrders(); });
}

void CLinkWindow::SyncOrders() {
  if (!link_) return;
  const std::vector<std::shared_ptr<OrderObject>> orders = link_->Orders();
  for (size_t i = items_.size(); i-- > 0;) {
    OrderUI* item = items_[i];
    const bool listed = std::any_of(orders.begin(), orders.end(),
                                    [&](const std::shared_ptr<OrderObject>& order) { return order->Id() == item->OrderId(); });
    if (listed) continue;
    if (selected_ && selected_ == item->Order()) {
      selected_ = nullptr;
      if (CSeriesListWnd* window = SeriesWnd()) window->SetOrder(nullptr);
      if (seriesPanel_) seriesPanel_->SetVisible(false);
    }
    orderList_->Remove(item->Root());
    items_.erase(items_.begin() + i);
    delete item;
  }
  for (const auto& order : orders) AddOrder(order);
  if (moreContainer_) moreContainer_->SetVisible(!items_.empty() && link_->HasMore());
}

// ---- CLinkMyWindow ----------------------------------------------------------------------------

CLinkMyWindow::CLinkMyWindow() : CLinkWindow(MyLink::Instance()) {}

OrderUI* CLinkMyWindow::MakeItem() { return new ClientOrderUI(&m_PaintManager, m_hWnd); }

// ---- CLinkTeamWindow --------------------------------------------------------------------------

CLinkTeamWindow::CLinkTeamWindow(const std::shared_ptr<TeamLink>& link) : CLinkWindow(link) {}

OrderUI* CLinkTeamWindow::MakeItem() { return new TeamOrderUI(&m_PaintManager, m_hWnd); }

void CLinkTeamWindow::InitWindow() {
  CLinkWindow::InitWindow();
  if (CControlUI* content = m_PaintManager.FindControl(L"contentContainer"))
    content->OnSize += MakeDelegate(this, &CLinkTeamWindow::OnContentSize);
  RefreshHeader();
}

RECT CLinkTeamWindow::DockRect(int width) const {
  CControlUI* content = m_PaintManager.FindControl(L"contentContainer");
  RECT rc = content ? content->GetPos() : RECT{};
  rc.left = std::max(rc.left, rc.right - width);
  return rc;
}

bool CLinkTeamWindow::OnContentSize(void*) {
  if (!teamWnd_) return true;
  RECT own;
  GetWindowRect(teamWnd_->GetHWND(), &own);
  const RECT rc = DockRect(own.right - own.left);
  MoveWindow(teamWnd_->GetHWND(), rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
  return true;
}

void CLinkTeamWindow::OpenTeamWnd() {
  auto link = std::dynamic_pointer_cast<TeamLink>(link_);
  if (teamWnd_ || !link) return;
  const DWORD now = GetTickCount();
  if (teamWndEverOpened_ && DWORD(now - teamWndOpened_) <= 1000) return;
  auto* window = new CTeamWnd(link);
  if (!window->Create(m_hWnd, L"TeamInfoWnd", 0x50000000, 0)) {
    delete window;
    return;
  }
  RECT own;
  GetWindowRect(window->GetHWND(), &own);
  const RECT rc = DockRect(own.right - own.left);
  MoveWindow(window->GetHWND(), rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
  SetWindowPos(window->GetHWND(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  window->callback = this;
  window->ShowWindow(true, true);
  // It closes when it loses the focus, so it starts with it.
  ::SetFocus(window->GetHWND());
  teamWnd_ = window;
  teamWndOpened_ = now;
  teamWndEverOpened_ = true;
}

void CLinkTeamWindow::OnClick(const CDuiString& name) {
  auto* link = dynamic_cast<TeamLink*>(link_.get());
  if (name == L"rechargeBtn" && link) CRechargeDlg::Run(link->Team(), m_hWnd);
  if (name == L"team_info_button") OpenTeamWnd();
}

void CLinkTeamWindow::OnLinkChanged(Link*) {
  Post([this] { RefreshHeader(); });
}

void CLinkTeamWindow::RefreshHeader() {
  auto* link = dynamic_cast<TeamLink*>(link_.get());
  if (!link) return;
  if (CControlUI* blocked = m_PaintManager.FindControl(L"team_blocked_label")) blocked->SetVisible(link->IsBlocked());
  if (CControlUI* alert = m_PaintManager.FindControl(L"team_recharge_alert")) alert->SetVisible(link->NeedsRecharge());
  if (CControlUI* title = m_PaintManager.FindControl(L"team_title_label"))
    title->SetText(RemoteUI::Wide(link->GetName()).c_str());
}
