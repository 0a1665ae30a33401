#include "ReportDlg.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

#include "Gossamy.h"
#include "ISOPlugin.h"
#include "OrderObject.h"
#include "SODcmConvert.h"
#include "TeamOrder.h"
#include "WebError.h"
#include "Zarnet.h"

using namespace DuiLib;

namespace {

constexpr DWORD kFinding = 0x07211001;
constexpr DWORD kConclusion = 0x07211002;

std::atomic<int> g_bindDelay{300};

// The editor that writes each order's report (modes 2 to 4). UI thread only.
std::map<const OrderObject*, CReportDlg*>& Writers() {
  static std::map<const OrderObject*, CReportDlg*> writers;
  return writers;
}

const wchar_t* ModeWord(int mode) {
  switch (mode) {
    case CReportDlg::kWrite: return L"Submit";
    case CReportDlg::kVerify: return L"Verify";
    case CReportDlg::kRevise: return L"Revise";
    default: return L"Report";
  }
}

// A case text added to the report's own: on a line of its own after a text that is there.
std::wstring Appended(const std::wstring& own, const std::wstring& added) {
  return own.empty() ? added : own + L"\n" + added;
}

}  // namespace

void CReportDlg::SetBindDelay(int ms) { g_bindDelay = ms; }

CReportDlg::CReportDlg(int mode, const std::shared_ptr<OrderObject>& order)
    : mode_(mode), order_(order), invoker_(std::make_shared<CInvoke>()) {}

CReportDlg::~CReportDlg() { invoker_->Release(); }

CReportDlg* CReportDlg::Open(int mode, const std::shared_ptr<OrderObject>& order, HWND parent, const wchar_t* title) {
  if (!order) return nullptr;
  if (mode != kRead) {
    auto found = Writers().find(order.get());
    if (found != Writers().end()) {
      found->second->ShowWindow(true, true);
      return found->second;
    }
  }
  auto* dialog = new CReportDlg(mode, order);
  // A window that failed after it was made has deleted itself on its way out.
  if (!dialog->Create(parent, title, 0x00CF0000, 0, 0, 0, 0, 0)) return nullptr;
  dialog->CenterWindow();
  dialog->ShowWindow(true, true);
  return dialog;
}

void CReportDlg::InitWindow() {
  CSRContentWnd::InitWindow();
  invoker_->Create(m_hWnd);
  if (Writes()) {
    Writers()[order_.get()] = this;
    registered_ = true;
  }

  auto* team = dynamic_cast<TeamOrder*>(order_.get());
  bool permitted = false;
  if (team && mode_ == kWrite) permitted = team->CanEdit();
  if (team && (mode_ == kVerify || mode_ == kRevise)) permitted = team->CanVerify();
  SetUpMode();
  SetWindowTitle();

  int lock = order_->GetLockState();
  if (lock == 0 && team && Writes() && permitted) {
    team->Lock();
    lock = order_->GetLockState();
  }
  // A lock that could not be taken leaves the window writable; the service decides at submit.
  if (lock == 2 || !permitted) {
    for (const wchar_t* name : {L"caseLibBtn", L"submitBtn", L"verifyBtn", L"reviseBtn"}) EnableControl(name, false);
    EnableUI(AttributePanel(), false);
    readOnly_ = true;
  }
  ShowLock(lock);

  AddListener(this);
  LoadDocument();
  waiting_.Init(m_hWnd, &m_PaintManager);

  // The fill above raised change notifications of its own; only the user's edits count.
  const int delay = g_bindDelay.load();
  std::thread([invoker = invoker_, this, delay] {
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    invoker->BeginInvoke([this] { BindEvents(AttributePanel()); });
  }).detach();
}

void CReportDlg::SetUpMode() {
  static const wchar_t* const kSubmitButtons[] = {L"submitBtn", L"verifyBtn", L"reviseBtn"};
  const wchar_t* shown = mode_ == kWrite ? L"submitBtn" : mode_ == kVerify ? L"verifyBtn" : mode_ == kRevise ? L"reviseBtn" : nullptr;
  for (const wchar_t* name : kSubmitButtons)
    if (CControlUI* button = m_PaintManager.FindControl(name)) button->SetVisible(shown && wcscmp(name, shown) == 0);
  if (CControlUI* feedback = m_PaintManager.FindControl(L"feedbackBtn")) feedback->SetVisible(false);
  if (mode_ == kRead) {
    for (const wchar_t* name : {L"caseLibBtn", L"saveBtn"})
      if (CControlUI* button = m_PaintManager.FindControl(name)) button->SetVisible(false);
    EnableUI(AttributePanel(), false);
  }
  EnableControl(L"saveBtn", false);
}

void CReportDlg::SetWindowTitle() {
  const DiagnosticRecord record = order_->Record();
  std::wstring title = ui_gettext(ModeWord(mode_));
  title += L" - [" + RemoteUI::Wide(record.orderNumber) + L"] - " + RemoteUI::Wide(record.patientName);
  if (!record.patientAge.empty()) title += L" (" + RemoteUI::Wide(record.patientAge) + L")";
  SODcmDate day;
  if (SODcmConvert::Convert(record.dicomDate.c_str(), day)) {
    wchar_t date[32];
    std::swprintf(date, 32, L"%d/%02d/%02d", day.year, day.month, day.day);
    title += L" - ";
    title += date;
  }
  if (!record.titleSuffix.empty()) title += L" - " + RemoteUI::Wide(record.titleSuffix);
  SetTitle(title.c_str());
}

void CReportDlg::ShowLock(int state) {
  const wchar_t* const names[] = {L"lockByNone", L"lockByMe", L"lockByOther"};
  for (int i = 0; i < 3; ++i)
    if (CControlUI* c = m_PaintManager.FindControl(names[i])) c->SetVisible(i == state);
  CControlUI* locker = m_PaintManager.FindControl(L"lockerName");
  if (!locker) return;
  std::wstring name;
  if (state == 1) {
    name = ui_gettext(L"Me");
  } else if (state == 2) {
    // A client's order has no member list to name the holder from: the holder's own name.
    auto* team = dynamic_cast<TeamOrder*>(order_.get());
    name = RemoteUI::Wide(team ? team->GetLockOwnerName() : order_->Record().lockOwner.userName);
  }
  locker->SetText(name.c_str());
}

void CReportDlg::LoadDocument() {
  auto* team = dynamic_cast<TeamOrder*>(order_.get());
  std::string path;
  if (order_->GetReportPath(path)) {
    sr_.LoadFile(path.c_str(), true);
  } else {
    if (team) team->CreateReportSR(sr_);
    modified_ = true;
    EnableControl(L"saveBtn", true);
  }
  auto usable = [this](const wchar_t* name) {
    CControlUI* c = m_PaintManager.FindControl(name);
    return c && c->IsVisible() && c->IsEnabled();
  };
  const std::wstring signedName = team ? RemoteUI::Wide(team->GetMySignedName()) : std::wstring();
  std::wstring current;
  if (usable(L"submitBtn") && (!sr_.GetAuthorObserverName(current) || current.empty()))
    sr_.SetAuthorObserverName(signedName.c_str());
  current.clear();
  if (usable(L"verifyBtn") && (!sr_.GetVerifyingObserverName(current) || current.empty()))
    sr_.SetVerifyingObserverName(signedName.c_str());
  FillFromSR(AttributePanel(), &sr_);
}

void CReportDlg::EnableControl(const wchar_t* name, bool enable) {
  if (CControlUI* c = m_PaintManager.FindControl(name)) c->SetEnabled(enable);
}

bool CReportDlg::StoreDocument() {
  auto* team = dynamic_cast<TeamOrder*>(order_.get());
  return team && team->StoreReportFile(&sr_);
}

void CReportDlg::Save() {
  StoreDocument();
  modified_ = false;
  EnableControl(L"saveBtn", false);
}

void CReportDlg::OnContentValueChanged(DWORD tag, const wchar_t* text) {
  modified_ = true;
  EnableControl(L"saveBtn", true);
  WriteDocument(sr_, tag, text);
}

void CReportDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) {
    const CDuiString name = msg.pSender->GetName();
    if (name == L"saveBtn") return Save();
    if (name == L"submitBtn") return Submit(kWrite);
    if (name == L"verifyBtn") return Submit(kVerify);
    if (name == L"reviseBtn") return Submit(kRevise);
    if (name == L"imageViewerBtn") return ViewImages();
    if (name == L"reportViewerBtn") return OpenInReportViewer();
    if (name == L"caseLibBtn") return CaseLibrary();
  }
  CSRContentWnd::Notify(msg);
}

void CReportDlg::Submit(int mode) {
  auto team = std::dynamic_pointer_cast<TeamOrder>(order_);
  if (busy_ || !team) return;
  sr_.CompleteDocument();
  if (mode != kWrite) {
    sr_.VerifyDocument();
    team->NewReportVersion(sr_);
  }
  Save();
  busy_ = true;
  waiting_.Show();
  std::thread([invoker = invoker_, this, team, mode] {
    WebError error;
    const bool ok = mode == kWrite ? team->Report(&error) : mode == kVerify ? team->Verify(&error) : team->Revise(&error);
    invoker->BeginInvoke([this, ok, error] { Submitted(ok, error); });
  }).detach();
}

void CReportDlg::Submitted(bool ok, const WebError& error) {
  busy_ = false;
  if (ok)
    waiting_.Success();
  else
    waiting_.Error(ui_gettext(Gossamy::GetString(error).c_str()));
}

void CReportDlg::ViewImages() {
  ISOExecuter* host = RemoteUI::Host();
  std::string folder;
  if (!host || !order_->GetStudyPath(folder)) return;
  host->SendCommand(SOPLUGIN_TESSALY, SOCMD_LOADDIR, const_cast<char*>(folder.c_str()));
  host->ActivatePlugin(SOPLUGIN_TESSALY);
}

void CReportDlg::OpenInReportViewer() {
  if (modified_ && SaveBoxUI(m_hWnd, nullptr, nullptr) == IDYES) Save();
  ISOExecuter* host = RemoteUI::Host();
  if (!host) return;
  std::string path;
  order_->GetReportPath(path);
  // A missing file sends an empty document, which the report plug-in refuses.
  SODcmSR document;
  if (!path.empty()) document.LoadFile(path.c_str(), true);
  SROpenRequest request;
  request.sr = &document;
  request.path = path;
  request.readOnly = readOnly_;
  request.modified = false;
  host->SendCommand(SOPLUGIN_SEVRANE, SOCMD_OPEN_SR_FILEG, &request);
  host->ActivatePlugin(SOPLUGIN_SEVRANE);
}

void CReportDlg::CaseLibrary() {
  ISOExecuter* host = RemoteUI::Host();
  if (!host) return;
  CaseLibRequest request;
  request.owner = m_hWnd;
  host->SendCommand(SOPLUGIN_SEVRANE, SOCMD_CASELIB_DIALOG, &request);
  if (request.finding.empty() && request.conclusion.empty()) return;
  std::wstring finding = request.finding, conclusion = request.conclusion;
  if (request.append) {
    std::wstring own;
    sr_.GetFinding(own);
    finding = Appended(own, request.finding);
    own.clear();
    sr_.GetConclusion(own);
    conclusion = Appended(own, request.conclusion);
  }
  SetValue(kFinding, finding.c_str());
  SetValue(kConclusion, conclusion.c_str());
}

LRESULT CReportDlg::OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  // Not while a submit runs: its result comes back to this window.
  if (busy_) {
    bHandled = TRUE;
    return 0;
  }
  if (modified_) {
    const int answer = SaveBoxUI(m_hWnd, nullptr, nullptr);
    if (answer == IDYES) {
      Save();
    } else if (answer != IDNO) {
      bHandled = TRUE;
      return 0;
    }
  }
  return CSRContentWnd::OnClose(uMsg, wParam, lParam, bHandled);
}

void CReportDlg::OnFinalMessage(HWND hWnd) {
  // The lock goes with the editor that wrote under it; a reading window leaves it alone.
  if (registered_) {
    Writers().erase(order_.get());
    auto* team = dynamic_cast<TeamOrder*>(order_.get());
    if (team && order_->GetLockState() == 1) team->UnLock();
  }
  CSRContentWnd::OnFinalMessage(hWnd);
  delete this;
}
