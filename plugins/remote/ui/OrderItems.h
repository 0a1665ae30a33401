#pragma once

#include <memory>
#include <vector>

#include "OrderObject.h"
#include "RemoteUI.h"

// One row of an order list window: builds its controls from a skin, observes its order and
// shows the order's state and actions. Lives on the UI thread; the order's notifications come
// from worker threads and are posted to the UI thread with the item's token, so work queued for
// an item that is gone is dropped.
class OrderUI : public IOrderObjectCallback {
 public:
  ~OrderUI() override;
  OrderUI(const OrderUI&) = delete;
  OrderUI& operator=(const OrderUI&) = delete;

  // Observes the order (once) and refreshes.
  virtual bool SetOrder(const std::shared_ptr<OrderObject>& order);
  virtual void Refresh() = 0;

  // The list element (owned by the list once added); null when the skin did not build.
  DuiLib::CControlUI* Root() const { return root_; }
  OrderObject* Order() const { return order_.get(); }
  int DisplayState() const { return displayState_; }

  // The web record id and order time of the order as last shown.
  const std::string& OrderId() const { return shownId_; }
  int64_t OrderTime() const { return shownTime_; }

 protected:
  OrderUI(DuiLib::CPaintManagerUI* manager, HWND window, const wchar_t* skin);

  // Row child `index` (the root's first child holds the row).
  DuiLib::CControlUI* Cell(int index) const;
  DuiLib::CControlUI* CellChild(int index, int child) const;
  void SetCellText(int index, const std::string& utf8);
  // The texts every row shows; the record's id and time are kept for the list's ordering.
  void ShowRecord(const DiagnosticRecord& record);
  void SetProgressValue(int percent);
  void StartTransfer();
  void FinishTransfer();
  virtual void UpdateButtons() = 0;
  virtual std::vector<int> MenuCommands() const = 0;
  virtual const wchar_t* MenuText(int command) const;
  virtual void RunCommand(int command) = 0;
  // Row child that holds the action buttons; its last child is the progress box.
  virtual int ActionCell() const = 0;
  void ShowMenu(POINT screen);
  void ShowMenuBelow(DuiLib::CControlUI* button);
  void ViewImages();
  void SelectInList();
  bool OnRowNotify(void* param);
  // Binds a click handler to a control.
  void OnClick(DuiLib::CControlUI* control, std::function<void()> action);
  void Post(std::function<void()> fn) { RemoteUI::Post(weak_, std::move(fn)); }

  // IOrderObjectCallback, shared by both kinds.
  void OnOrderUpdated(OrderObject*) override;
  void OnDownloadQueued(OrderObject*) override;
  void OnDownloadStarted(OrderObject*) override;
  void OnDownloadProgress(OrderObject*, int percent) override;
  void OnDownloadFinished(OrderObject*) override;
  void OnDownloadCancelled(OrderObject*) override;
  void OnReportFetchStarted(OrderObject*) override;
  void OnReportFetchFinished(OrderObject*) override;

  DuiLib::CPaintManagerUI* manager_;
  HWND window_;
  DuiLib::CControlUI* root_ = nullptr;
  std::shared_ptr<OrderObject> order_;
  int displayState_ = 2;

 private:
  bool OnControlNotify(void* param);

  std::string shownId_;
  int64_t shownTime_ = 0;
  RemoteUI::Token token_ = RemoteUI::MakeToken();
  const RemoteUI::WeakToken weak_ = token_;
  std::vector<std::pair<DuiLib::CControlUI*, std::function<void()>>> clicks_;
};

// A row of the user's own orders.
class ClientOrderUI : public OrderUI {
 public:
  ClientOrderUI(DuiLib::CPaintManagerUI* manager, HWND window);
  void Refresh() override;
  bool Uploaded() const { return uploaded_; }

 protected:
  void UpdateButtons() override;
  std::vector<int> MenuCommands() const override;
  void RunCommand(int command) override;
  int ActionCell() const override { return 10; }
  void OnUploadQueued(OrderObject*) override;
  void OnUploadProgress(OrderObject*, int percent) override;
  void OnUploadFinished(OrderObject*) override;

 private:
  // Read-only, when the order's report is here; otherwise the row refreshes.
  void OpenReport();
  // The order's last upload failed (its row offers the upload again).
  bool UploadFailed() const;
  bool uploaded_ = false;
};

// A row of a team's orders.
class TeamOrderUI : public OrderUI {
 public:
  TeamOrderUI(DuiLib::CPaintManagerUI* manager, HWND window);
  void Refresh() override;
  int LockState() const { return lockState_; }

 protected:
  void UpdateButtons() override;
  std::vector<int> MenuCommands() const override;
  const wchar_t* MenuText(int command) const override;
  void RunCommand(int command) override;
  int ActionCell() const override { return 13; }
  void OnUploadQueued(OrderObject*) override;
  void OnUploadProgress(OrderObject*, int percent) override;
  void OnUploadFinished(OrderObject*) override;

 private:
  void WriteReport();
  void OpenReport(int mode, const wchar_t* title);
  int lockState_ = 0;
};
