#pragma once

#include <memory>
#include <vector>

#include "Link.h"
#include "OrderItems.h"
#include "RemoteUI.h"
#include "SeriesListWnd.h"
#include "TeamWnd.h"

class TeamLink;

// An order list window: one link's orders newest first, an area for more pages at the bottom.
// A child window of the plug-in window in its main panel; deletes itself when destroyed.
class CLinkWindow : public DuiLib::WindowImplBase, public ILinkCallback {
 public:
  ~CLinkWindow() override;
  // The plug-in window calls it before it closes the window at logout: the window stops
  // listening to its link and drops its items.
  virtual void ReleaseLink();

  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  void OnFinalMessage(HWND) override { delete this; }

  // Inserts the order's item by time (newest first), or rebinds the item already showing it.
  void AddOrder(const std::shared_ptr<OrderObject>& order);
  const std::vector<OrderUI*>& Items() const { return items_; }
  // The order the series panel shows, after an "itemselect".
  OrderObject* SelectedOrder() const { return selected_; }
  // The series panel, once an order was selected; a child window that goes with this one.
  CSeriesListWnd* SeriesWnd() const { return IsWindow(seriesHwnd_) ? seriesWnd_ : nullptr; }

  // ILinkCallback: every change is posted to the UI thread.
  void OnMoreStarted(Link*) override;
  void OnMoreFinished(Link*) override;
  void OnOrderAdded(Link*, const std::shared_ptr<OrderObject>& order) override;
  void OnOrdersReloaded(Link*) override;

 protected:
  explicit CLinkWindow(std::shared_ptr<Link> link);
  virtual OrderUI* MakeItem() = 0;
  virtual void OnClick(const DuiLib::CDuiString&) {}
  void Post(std::function<void()> fn) { RemoteUI::Post(weak_, std::move(fn)); }
  void DeleteItems();
  // The rows follow the link's orders: rows of orders it no longer has go, its orders are added
  // or rebound.
  void SyncOrders();

  std::shared_ptr<Link> link_;  // null after ReleaseLink
  DuiLib::CListUI* orderList_ = nullptr;
  DuiLib::CControlUI* moreButton_ = nullptr;
  DuiLib::CControlUI* moreWaiting_ = nullptr;
  DuiLib::CControlUI* moreContainer_ = nullptr;
  DuiLib::CControlUI* seriesPanel_ = nullptr;
  DuiLib::CControlUI* seriesContainer_ = nullptr;

 private:
  void OnListNotify(DuiLib::TNotifyUI& msg);
  void CreateSeriesWnd();
  bool OnSeriesContainerSize(void*);

  std::vector<OrderUI*> items_;  // owned, in list order
  OrderObject* selected_ = nullptr;
  // Deletes itself when destroyed, before this window is: reached only while seriesHwnd_ is a
  // window.
  CSeriesListWnd* seriesWnd_ = nullptr;
  HWND seriesHwnd_ = nullptr;
  RemoteUI::Token token_ = RemoteUI::MakeToken();
  const RemoteUI::WeakToken weak_ = token_;
};

// The orders the user created.
class CLinkMyWindow : public CLinkWindow {
 public:
  CLinkMyWindow();
  const wchar_t* GetWindowClassName() const override { return L"CLinkMyWindow"; }

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"remote/main_panel_my.xml"; }
  OrderUI* MakeItem() override;
};

// One team's orders with a header: the team's name, its state and the recharge alert.
class CLinkTeamWindow : public CLinkWindow, public ITeamWndCallback {
 public:
  explicit CLinkTeamWindow(const std::shared_ptr<TeamLink>& link);
  const wchar_t* GetWindowClassName() const override { return L"CLinkTeamWindow"; }
  void InitWindow() override;
  void OnLinkChanged(Link*) override;
  void RefreshHeader();
  void OnTeamWndClosed() override { teamWnd_ = nullptr; }
  // The team window, docked at the right of the content area; one at a time, and not again
  // within a second of the last opening.
  void OpenTeamWnd();
  CTeamWnd* TeamWnd() const { return teamWnd_; }

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"remote/main_panel_team.xml"; }
  OrderUI* MakeItem() override;
  void OnClick(const DuiLib::CDuiString& name) override;

 private:
  bool OnContentSize(void*);
  RECT DockRect(int width) const;

  CTeamWnd* teamWnd_ = nullptr;
  DWORD teamWndOpened_ = 0;
  bool teamWndEverOpened_ = false;
};
