#include "OrderItems.h"

#include <cstdio>
#include <map>

#include "ClientOrder.h"
#include "ISOPlugin.h"
#include "IHalvex.h"
#include "OrderStates.h"
#include "RemoteRecords.h"
#include "RemoteSession.h"
#include "ReportDlg.h"
#include "TeamOrder.h"
#include "Zarnet.h"

using namespace DuiLib;

namespace {

// "045Y" shows as "45Y".
std::string AgeText(const std::string& age) {
  const size_t first = age.find_first_not_of('0');
  return first == std::string::npos ? std::string() : age.substr(first);
}

// YYYYMMDD as "YYYY-MM-DD"; any other text as it is.
std::string DateText(const std::string& date) {
  int y = 0, m = 0, d = 0;
  if (date.size() != 8 || std::sscanf(date.c_str(), "%4d%2d%2d", &y, &m, &d) != 3) return date;
  char text[16];
  std::snprintf(text, sizeof(text), "%04d-%02d-%02d", y, m, d);
  return text;
}

void SetVisible(CControlUI* control, bool visible) {
  if (control && control->IsVisible() != visible) control->SetVisible(visible);
}

}  // namespace

// ---- OrderUI ----------------------------------------------------------------------------------

OrderUI::OrderUI(CPaintManagerUI* manager, HWND window, const wchar_t* skin) : manager_(manager), window_(window) {
  // A login builds a row per order of every list: each row skin is read and parsed once, then
  // built from the parsed document (UI thread only, kept to the end of the process).
  static auto* builders = new std::map<std::wstring, std::unique_ptr<CDialogBuilder>>;
  std::unique_ptr<CDialogBuilder>& builder = (*builders)[skin];
  if (builder) {
    root_ = builder->Create(nullptr, manager_);
  } else {
    builder = std::make_unique<CDialogBuilder>();
    root_ = builder->Create(skin, (unsigned int)0, nullptr, manager_);
    if (!root_) builder.reset();
  }
  if (!root_) return;
  root_->OnNotify += MakeDelegate(this, &OrderUI::OnRowNotify);
  if (CControlUI* row = Cell(-1)) row->OnNotify += MakeDelegate(this, &OrderUI::OnRowNotify);
}

OrderUI::~OrderUI() {
  // Waits for a notification of the order under way on a worker, so none reaches a gone item.
  if (order_) order_->RemoveObserver(this);
}

bool OrderUI::SetOrder(const std::shared_ptr<OrderObject>& order) {
  if (!order) return false;
  if (order_ != order) {
    if (order_) order_->RemoveObserver(this);
    order_ = order;
    order_->AddObserver(this);
  }
  Refresh();
  return true;
}

CControlUI* OrderUI::Cell(int index) const {
  auto* root = dynamic_cast<CContainerUI*>(root_);
  auto* row = root ? dynamic_cast<CContainerUI*>(root->GetItemAt(0)) : nullptr;
  if (index < 0 || !row) return row;
  return row->GetItemAt(index);
}

CControlUI* OrderUI::CellChild(int index, int child) const {
  auto* box = dynamic_cast<CContainerUI*>(Cell(index));
  return box ? box->GetItemAt(child) : nullptr;
}

void OrderUI::SetCellText(int index, const std::string& utf8) {
  if (CControlUI* cell = Cell(index)) {
    const std::wstring text = RemoteUI::Wide(utf8);
    if (cell->GetText() != text.c_str()) cell->SetText(text.c_str());
    cell->SetToolTip(text.c_str());
  }
}

void OrderUI::ShowRecord(const DiagnosticRecord& record) {
  shownId_ = record.id;
  shownTime_ = record.orderTime;
  SetCellText(0, record.orderNumber);
  SetCellText(1, record.infoText);
  SetCellText(2, record.patientName);
  SetCellText(3, record.patientSex);
  SetCellText(4, AgeText(record.patientAge));
  SetCellText(5, DateText(record.dicomDate));
  SetCellText(7, RemoteUI::Utf8(ui_time(record.orderTime)));
  SetCellText(8, record.extraText);
}

void OrderUI::SetProgressValue(int percent) {
  // The progress box is the last child of the action container; its child 0 is the bar.
  auto* actions = dynamic_cast<CContainerUI*>(Cell(ActionCell()));
  if (!actions || actions->GetCount() == 0) return;
  auto* box = dynamic_cast<CContainerUI*>(actions->GetItemAt(actions->GetCount() - 1));
  if (auto* bar = box ? dynamic_cast<CProgressUI*>(box->GetItemAt(0)) : nullptr) bar->SetValue(percent);
}

void OrderUI::StartTransfer() {
  displayState_ = 1;
  SetProgressValue(0);
  UpdateButtons();
}

void OrderUI::FinishTransfer() {
  SetProgressValue(100);
  displayState_ = 0;
  Refresh();
}

void OrderUI::OnClick(CControlUI* control, std::function<void()> action) {
  if (!control) return;
  control->OnNotify += MakeDelegate(this, &OrderUI::OnControlNotify);
  clicks_.emplace_back(control, std::move(action));
}

bool OrderUI::OnControlNotify(void* param) {
  auto* msg = static_cast<TNotifyUI*>(param);
  if (msg->sType != L"click") return true;
  for (auto& click : clicks_)
    if (click.first == msg->pSender) {
      click.second();
      break;
    }
  return true;
}

bool OrderUI::OnRowNotify(void* param) {
  auto* msg = static_cast<TNotifyUI*>(param);
  if (msg->sType == L"menu") {
    POINT pt;
    GetCursorPos(&pt);
    ShowMenu(pt);
  } else if (msg->sType == L"itemdbclick") {
    ViewImages();
  }
  return true;
}

void OrderUI::SelectInList() {
  auto* element = dynamic_cast<CListContainerElementUI*>(root_);
  if (element && !element->IsSelected()) element->Select(true);
}

void OrderUI::ShowMenuBelow(CControlUI* button) {
  if (!button) return;
  const RECT rc = button->GetPos();
  POINT pt{rc.left, rc.bottom};
  ClientToScreen(window_, &pt);
  ShowMenu(pt);
}

const wchar_t* OrderUI::MenuText(int command) const {
  switch (command) {
    case 1: return L"Revise Report";
    case 2: return L"Open Report";
    case 3: return L"View Images";
    case 5: return L"Reupload Images";
    default: return L"";
  }
}

void OrderUI::ShowMenu(POINT screen) {
  const std::vector<int> commands = MenuCommands();
  if (commands.empty()) return;
  HMENU menu = CreatePopupMenu();
  for (int command : commands) AppendMenuW(menu, MF_STRING, command, ui_gettext(MenuText(command)));
  const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN, screen.x, screen.y, 0,
                                    window_, nullptr);
  DestroyMenu(menu);
  if (chosen > 0) RunCommand(chosen);
}

void OrderUI::ViewImages() {
  if (!order_) return;
  std::vector<std::string> paths;
  order_->GetImagePaths(paths);
  if (ISOExecuter* host = RemoteUI::Host()) {
    host->ActivatePlugin(SOPLUGIN_TESSALY);
    host->Broadcast(SOMSG_VIEW_FILES, &paths, nullptr);
  }
}

void OrderUI::OnOrderUpdated(OrderObject*) {
  Post([this] {
    if (order_) SetOrder(order_);
  });
}

void OrderUI::OnDownloadQueued(OrderObject*) { Post([this] { StartTransfer(); }); }
void OrderUI::OnDownloadStarted(OrderObject*) { Post([this] { StartTransfer(); }); }
void OrderUI::OnReportFetchStarted(OrderObject*) { Post([this] { StartTransfer(); }); }
void OrderUI::OnDownloadProgress(OrderObject*, int percent) { Post([this, percent] { SetProgressValue(percent); }); }
void OrderUI::OnDownloadFinished(OrderObject*) { Post([this] { FinishTransfer(); }); }
void OrderUI::OnDownloadCancelled(OrderObject*) { Post([this] { FinishTransfer(); }); }
void OrderUI::OnReportFetchFinished(OrderObject*) { Post([this] { FinishTransfer(); }); }

// ---- ClientOrderUI ----------------------------------------------------------------------------

ClientOrderUI::ClientOrderUI(CPaintManagerUI* manager, HWND window)
    : OrderUI(manager, window, L"remote/list_item_client.xml") {
  OnClick(CellChild(10, 0), [this] {
    SelectInList();
    if (displayState_ == 2 && order_) order_->UploadImages(false);
  });
  OnClick(CellChild(10, 1), [this] {
    if (order_) order_->FetchReport();
  });
  OnClick(CellChild(10, 2), [this] {
    SelectInList();
    OpenReport();
  });
  if (auto* box = dynamic_cast<CContainerUI*>(CellChild(10, 3)))
    OnClick(box->GetItemAt(1), [this] {
      SelectInList();
      if (order_) RemoteSession::NetworkStore()->CancelUpload(order_->Record().study.transferKey);
    });
  OnClick(CellChild(11, 1), [this] {
    SelectInList();
    ShowMenuBelow(CellChild(11, 1));
  });
}

void ClientOrderUI::Refresh() {
  if (!order_ || !root_) return;
  const DiagnosticRecord record = order_->Record();
  const LocalAnswers answers = order_->Answers();
  if (displayState_ != 1)
    displayState_ = OrderStates::ClientDisplayState(
        displayState_, record.state, record.study.transferStatus,
        OrderStates::Recall(answers.needsReportDownload, [this] { return order_->NeedsReportDownload(); }));
  root_->SetTag(reinterpret_cast<UINT_PTR>(order_.get()));
  ShowRecord(record);
  SetCellText(12, record.team.name);
  if (auto* page = dynamic_cast<CTabLayoutUI*>(Cell(9)))
    page->SelectItem(OrderStates::ClientStatePage(record.state, uploaded_, UploadFailed()), false);
  UpdateButtons();
}

void ClientOrderUI::UpdateButtons() {
  const OrderStates::ClientButtons buttons = OrderStates::ClientButtonsFor(displayState_);
  if (buttons.keep) return;
  SetVisible(CellChild(10, 0), buttons.upload);
  SetVisible(CellChild(10, 1), buttons.reportDownload);
  SetVisible(CellChild(10, 2), buttons.openReport);
  SetVisible(CellChild(10, 3), buttons.progress);
  if (displayState_ == 1)
    if (auto* page = dynamic_cast<CTabLayoutUI*>(Cell(9)); page && order_)
      page->SelectItem(OrderStates::ClientStatePage(order_->Record().state, uploaded_, UploadFailed()), false);
}

std::vector<int> ClientOrderUI::MenuCommands() const { return OrderStates::ClientMenu(displayState_); }

void ClientOrderUI::RunCommand(int command) {
  if (command == 3) ViewImages();
  if (command == 5 && order_) order_->UploadImages(true);
  if (command == 2) OpenReport();
}

void ClientOrderUI::OpenReport() {
  std::string path;
  if (order_ && order_->GetReportPath(path)) {
    CReportDlg::Open(CReportDlg::kRead, order_, window_, L"Report");
  } else if (order_) {
    // The report file went away: the row asks the store again and offers the download.
    order_->RefreshAnswers();
    Refresh();
  }
}

void ClientOrderUI::OnUploadQueued(OrderObject*) {
  Post([this] {
    uploaded_ = false;
    StartTransfer();
  });
}

void ClientOrderUI::OnUploadProgress(OrderObject*, int percent) {
  Post([this, percent] { SetProgressValue(percent); });
}

bool ClientOrderUI::UploadFailed() const {
  auto* client = dynamic_cast<ClientOrder*>(order_.get());
  return client && client->UploadFailed();
}

void ClientOrderUI::OnUploadFinished(OrderObject*) {
  Post([this] {
    uploaded_ = !UploadFailed();
    FinishTransfer();
  });
}

// ---- TeamOrderUI ------------------------------------------------------------------------------

TeamOrderUI::TeamOrderUI(CPaintManagerUI* manager, HWND window)
    : OrderUI(manager, window, L"remote/list_item_team.xml") {
  auto team = [this] { return dynamic_cast<TeamOrder*>(order_.get()); };
  OnClick(CellChild(12, 0), [this, team] {
    SelectInList();
    if (TeamOrder* order = team()) order->Lock();
  });
  OnClick(CellChild(12, 2), [this, team] {
    SelectInList();
    if (TeamOrder* order = team()) order->UnLock();
  });
  OnClick(CellChild(13, 0), [this] {
    SelectInList();
    if (order_) order_->DownloadImages(false);
  });
  OnClick(CellChild(13, 1), [this] {
    SelectInList();
    if (order_) order_->FetchReport();
  });
  OnClick(CellChild(13, 2), [this] {
    SelectInList();
    WriteReport();
  });
  OnClick(CellChild(13, 3), [this] {
    SelectInList();
    if (displayState_ == 5) OpenReport(CReportDlg::kWrite, L"CReportDlg");
  });
  OnClick(CellChild(13, 4), [this] {
    SelectInList();
    if (displayState_ == 6) OpenReport(CReportDlg::kVerify, L"CReportDlg");
  });
  OnClick(CellChild(13, 5), [this] {
    SelectInList();
    OpenReport(CReportDlg::kRead, L"Report");
  });
  if (auto* box = dynamic_cast<CContainerUI*>(CellChild(13, 6)))
    OnClick(box->GetItemAt(1), [this] {
      SelectInList();
      if (order_) RemoteSession::NetworkStore()->CancelDownload(order_->Record().study.transferKey);
    });
  OnClick(CellChild(14, 1), [this] {
    SelectInList();
    ShowMenuBelow(CellChild(14, 1));
  });
}

void TeamOrderUI::WriteReport() {
  auto* order = dynamic_cast<TeamOrder*>(order_.get());
  if (!order) return;
  if (order->CanEdit())
    OpenReport(CReportDlg::kWrite, L"CReportDlg");
  else
    MessageBoxUI(window_, ui_gettext(L"You don't have edit permission!"), nullptr, 0);
}

void TeamOrderUI::OpenReport(int mode, const wchar_t* title) {
  if (order_) CReportDlg::Open(mode, order_, window_, title);
}

void TeamOrderUI::Refresh() {
  auto* order = dynamic_cast<TeamOrder*>(order_.get());
  if (!order || !root_) return;
  const DiagnosticRecord record = order->Record();
  const LocalAnswers answers = order->Answers();
  lockState_ = order->GetLockState();
  using OrderStates::Recall;
  if (displayState_ != 1)
    displayState_ = OrderStates::TeamDisplayState(
        displayState_, record.state, Recall(answers.needsImageDownload, [order] { return order->NeedsImageDownload(); }),
        Recall(answers.hasReport, [order] { return order->FindReport(); }),
        Recall(answers.needsReportDownload, [order] { return order->NeedsReportDownload(); }));
  root_->SetTag(reinterpret_cast<UINT_PTR>(order));
  ShowRecord(record);
  SetCellText(9, order->GetReporterName());
  SetCellText(10, order->GetVerifierName());
  SetCellText(15, RemoteRecords::DisplayName(record.creator));
  SetVisible(CellChild(12, 0), lockState_ == 0);
  SetVisible(CellChild(12, 1), lockState_ == 2);
  SetVisible(CellChild(12, 2), lockState_ == 1);
  if (CControlUI* owner = CellChild(12, 3))
    owner->SetText(lockState_ == 1   ? ui_gettext(L"Me")
                   : lockState_ == 2 ? RemoteUI::Wide(order->GetLockOwnerName()).c_str()
                                     : L"");
  if (auto* page = dynamic_cast<CTabLayoutUI*>(Cell(11)))
    page->SelectItem(OrderStates::TeamStatePage(record.state, displayState_), false);
  UpdateButtons();
}

void TeamOrderUI::UpdateButtons() {
  const int visible = OrderStates::TeamButtonFor(displayState_);
  for (int i = 0; i <= 6; ++i) SetVisible(CellChild(13, i), i == visible);
  // After a failed download the button offers it again and says why it failed.
  if (CControlUI* download = CellChild(13, 0)) {
    const int problem = order_ ? order_->DownloadProblem() : 0;
    download->SetText(ui_gettext(problem ? L"Retry" : L"Download"));
    download->SetToolTip(problem == 1   ? ui_gettext(L"The node listed no image of this study, or could not be reached.")
                         : problem == 2 ? ui_gettext(L"Some images could not be fetched from the node.")
                                        : L"");
  }
}

std::vector<int> TeamOrderUI::MenuCommands() const { return OrderStates::TeamMenu(displayState_); }

const wchar_t* TeamOrderUI::MenuText(int command) const {
  return command == 5 ? L"Redownload Images" : OrderUI::MenuText(command);
}

void TeamOrderUI::RunCommand(int command) {
  if (command == 1) OpenReport(CReportDlg::kRevise, L"Revise");
  if (command == 2) OpenReport(CReportDlg::kRead, L"Report");
  if (command == 3) ViewImages();
  if (command == 5 && order_) order_->DownloadImages(true);
}

// Team rows show no upload of their own; the network store's upload notifications of a team
// order only move the progress.
void TeamOrderUI::OnUploadQueued(OrderObject*) { Post([this] { StartTransfer(); }); }
void TeamOrderUI::OnUploadProgress(OrderObject*, int percent) { Post([this, percent] { SetProgressValue(percent); }); }
void TeamOrderUI::OnUploadFinished(OrderObject*) { Post([this] { FinishTransfer(); }); }
