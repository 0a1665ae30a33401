#pragma once

#include <memory>
#include <string>
#include <vector>

#include "OrderObject.h"
#include "RemoteUI.h"

class ISOLumexa;

// The selected order beside an order list: its local series with their file counts, a 2D view
// of the selected series, the patient line, the comments and the report summary. A child window
// of the order list window, pointed at an order on each selection; it observes that one order.
// UI thread only: the order's notifications are posted here with the window's token and dropped
// when the order is no longer the one shown.
class CSeriesListWnd : public DuiLib::WindowImplBase, public IOrderObjectCallback {
 public:
  CSeriesListWnd();
  ~CSeriesListWnd() override;
  const wchar_t* GetWindowClassName() const override { return L"CSeriesListWnd"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  void OnFinalMessage(HWND) override { delete this; }

  // Stops observing the previous order and shows this one (null: shows nothing more and keeps
  // no order).
  void SetOrder(const std::shared_ptr<OrderObject>& order);
  OrderObject* Order() const { return order_.get(); }
  const std::vector<SeriesRecord>& Series() const { return series_; }
  ISOLumexa* View() const { return lumexa_; }

  // The patient line: name, sex and age without its leading zeros, two blanks apart.
  static std::string PatientLine(const DiagnosticRecord& record);

  // IOrderObjectCallback
  void OnOrderUpdated(OrderObject* order) override;
  void OnStudyFilesStored(OrderObject* order) override;

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"remote/series_panel.xml"; }

 private:
  void LoadSeries();
  void FillList();
  void ShowSelectedSeries();
  void RefreshLabels();
  bool OnViewPanelSize(void*);
  // Runs fn on the UI thread while this window lives and still shows order.
  void PostFor(OrderObject* order, std::function<void()> fn);

  std::shared_ptr<OrderObject> order_;
  std::vector<SeriesRecord> series_;  // the rows' tags point into it
  DuiLib::CListUI* seriesList_ = nullptr;
  DuiLib::CControlUI* viewPanel_ = nullptr;
  ISOLumexa* lumexa_ = nullptr;  // owned
  RemoteUI::Token token_ = RemoteUI::MakeToken();
  const RemoteUI::WeakToken weak_ = token_;
};
