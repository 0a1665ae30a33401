#include "SevraneWnd.h"

#include "CaseLibDlg.h"
#include "CaseLibrary.h"
#include "Gossamy.h"
#include "IKelvast.h"
#include "ReportDialogs.h"
#include "ReportSettings.h"
#include "ReportTemplate.h"
#include "SODcmSR.h"
#include "SettingWindow.h"
#include "Zarnet.h"

#include <cwchar>

using namespace DuiLib;

namespace {

constexpr DWORD kPatientName = 0x00100010;
constexpr DWORD kStudyInstanceUID = 0x0020000D;
constexpr DWORD kFinding = 0x07211001;
constexpr DWORD kConclusion = 0x07211002;
constexpr DWORD kDialogStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;

CControlUI* BuildItem(const wchar_t* skin, IDialogBuilderCallback* callback, CPaintManagerUI* pm) {
  CDialogBuilder builder;
  return builder.Create(skin, (unsigned int)0, callback, pm);
}

}  // namespace

void SOAttributeWindow::OnControlValueChanged(unsigned int tag, const wchar_t* text) {
  m_writingTag = tag;
  if (m_report) m_report->SetValue(tag, text);
  m_writingTag = 0;
}

SOSevraneWnd::SOSevraneWnd(ReportTemplateStore* templates, CaseLibrary* cases)
    : m_templates(templates), m_cases(cases) {}

SOSevraneWnd::~SOSevraneWnd() {
  if (m_hWnd && IsWindow(m_hWnd)) DestroyWindow(m_hWnd);
  if (m_listening) m_templates->RemoveListener(this);
  FreePictures();
}

const wchar_t* SOSevraneWnd::GetTitle() {
  m_title = m_PaintManager.GetTitle() ? m_PaintManager.GetTitle() : L"";
  return m_title.c_str();
}

HWND SOSevraneWnd::CreateWnd(HWND parent, int x, int y, int cx, int cy) {
  return Create(parent, L"SOSevraneWnd", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                WS_EX_ACCEPTFILES, x, y, cx, cy);
}

void SOSevraneWnd::InitWindow() {
  // The process's stores are made here, on the UI thread, not where the plug-in was made.
  if (!m_templates) m_templates = ReportTemplateStore::GetInstance();
  if (!m_cases) m_cases = CaseLibrary::GetInstance();
  CControlUI* panel = m_PaintManager.FindControl(L"wendrelPanel");
  if (panel)
    panel->OnSize += CDelegateBase(
        [this](void*) {
          PlaceWendrel();
          return true;
        },
        this, "wendrelPanelSize");

  RECT client{};
  GetClientRect(m_hWnd, &client);
  m_setting = std::make_unique<SOSettingWindow>(m_templates, m_cases);
  m_setting->Create(m_hWnd, L"SOSettingWindow", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 0,
                    client.right - client.left, client.bottom - client.top);
  m_setting->ShowWindow(false, false);  // hidden until asked for, also when this window shows later

  m_wendrel = CreateWendrel();
  const RECT rc = panel ? panel->GetPos() : client;
  m_wendrel->Create(m_hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
  m_wendrel->RegisterCallback(this);
  m_setting->SetWendrel(m_wendrel);

  m_tabHeader = dynamic_cast<CContainerUI*>(m_PaintManager.FindControl(L"reportTabHeader"));
  m_completeBtn = m_PaintManager.FindControl(L"completeBtn");
  m_verifyBtn = m_PaintManager.FindControl(L"verifyBtn");
  if (m_tabHeader) m_tabHeader->SetVisible(false);

  m_attribute.m_container = dynamic_cast<CContainerUI*>(m_PaintManager.FindControl(L"attributePanel"));
  wendrel::ReportTemplate::LockStudyIdentity(m_attribute.m_container);
  m_attribute.m_handler->InitUI(m_attribute.m_container, true);
  m_attribute.m_handler->RegisterCallback(&m_attribute);
  m_attribute.m_handler->EnableUI(false);

  FillTemplateCombo();
  // The page starts fitted to the view: the zoom chooser says so.
  if (auto* zoom = dynamic_cast<CComboUI*>(m_PaintManager.FindControl(L"zoomCombo")); zoom && zoom->GetCurSel() < 0)
    zoom->SelectItem(0, false, false);

  m_imageBoxPanel = m_PaintManager.FindControl(L"imageBoxPanel");
  m_imageBoxLayout = dynamic_cast<CContainerUI*>(m_PaintManager.FindControl(L"imageBoxLayout"));
  m_pictureList = dynamic_cast<CListUI*>(m_PaintManager.FindControl(L"pictureList"));
  if (m_imageBoxPanel) m_imageBoxPanel->SetVisible(false);
  if (m_imageBoxLayout) m_imageBoxLayout->SetVisible(false);

  if (!m_listening) {
    m_templates->AddListener(this);
    m_listening = true;
  }
  UpdateButtons();
}

void SOSevraneWnd::PlaceWendrel() {
  CControlUI* panel = m_PaintManager.FindControl(L"wendrelPanel");
  if (!m_wendrel || !panel || !m_wendrel->GetHWND()) return;
  const RECT rc = panel->GetPos();
  ::MoveWindow(m_wendrel->GetHWND(), rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
}

LRESULT SOSevraneWnd::OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (m_setting && m_setting->GetHWND()) {
    RECT client{};
    GetClientRect(m_hWnd, &client);
    ::MoveWindow(m_setting->GetHWND(), 0, 0, client.right - client.left, client.bottom - client.top, TRUE);
  }
  return WindowImplBase::OnSize(uMsg, wParam, lParam, bHandled);
}

LRESULT SOSevraneWnd::OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (m_wendrel) {
    m_wendrel->UnRegisterCallback(this);
    ReleaseWendrel(m_wendrel);
    m_wendrel = nullptr;
  }
  if (m_setting) {
    m_setting->SetWendrel(nullptr);
    if (m_setting->GetHWND() && IsWindow(m_setting->GetHWND())) DestroyWindow(m_setting->GetHWND());
  }
  m_attribute.m_handler->UnRegisterCallback(&m_attribute);
  m_attribute.m_report = nullptr;
  FreePictures();
  return WindowImplBase::OnDestroy(uMsg, wParam, lParam, bHandled);
}

void SOSevraneWnd::FreePictures() {
  for (ReportPicture& p : m_pictures) DeleteObject(p.bitmap);
  m_pictures.clear();
}

// ---- Report control listener --------------------------------------------------------------

void SOSevraneWnd::OnValueChanged(ISOReport* report, DWORD tag, const wchar_t* text) {
  if (report && report == m_attribute.m_report && tag != m_attribute.m_writingTag)
    m_attribute.m_handler->SetValue(tag, text);
  if (tag == kPatientName) SetTabTitle(report);
}

void SOSevraneWnd::OnActiveReportChanged(ISOReport* report) {
  if (CControlUI* tab = FindTab(report))
    if (auto* option = dynamic_cast<COptionUI*>(m_PaintManager.FindSubControlByName(tab, L"reportTabOpt")))
      option->Selected(true, false);
  m_attribute.m_report = report;
  if (report) {
    m_attribute.m_handler->SetDcmSR(report->GetSR());
    m_attribute.m_handler->EnableUI(true);
  } else {
    m_attribute.m_handler->ClearUI();
    m_attribute.m_handler->EnableUI(false);
  }
  UpdateButtons();
}

void SOSevraneWnd::OnReportAdded(ISOReport* report) {
  if (!m_tabHeader) return;
  CControlUI* item = BuildItem(L"sr/report_tab_item.xml", this, &m_PaintManager);
  if (!item) return;
  item->SetTag(reinterpret_cast<UINT_PTR>(report));
  m_tabHeader->Add(item);
  SetTabTitle(report);
  m_tabHeader->SetVisible(true);
}

void SOSevraneWnd::OnReportClosed(ISOReport* report) {
  if (CControlUI* tab = FindTab(report)) m_tabHeader->Remove(tab);
  if (m_tabHeader && m_tabHeader->GetCount() == 0) m_tabHeader->SetVisible(false);
  m_readOnly.erase(report);
  if (report == m_attribute.m_report) {
    m_attribute.m_report = nullptr;
    m_attribute.m_handler->ClearUI();
    m_attribute.m_handler->EnableUI(false);
  }
}

void SOSevraneWnd::OnReportCompleted(ISOReport* report) {
  UpdateButtons();
  SaveReport(report);
}

void SOSevraneWnd::OnReportVerified(ISOReport* report) {
  UpdateButtons();
  SaveReport(report);
}

void SOSevraneWnd::OnModifiedChanged(ISOReport* report) { SetTabTitle(report); }

void SOSevraneWnd::OnTemplateLoaded(ISOReport*) { UpdateButtons(); }

// ---- Tabs -------------------------------------------------------------------------------

CControlUI* SOSevraneWnd::FindTab(ISOReport* report) {
  if (!m_tabHeader || !report) return nullptr;
  for (int i = 0; i < m_tabHeader->GetCount(); ++i) {
    CControlUI* item = m_tabHeader->GetItemAt(i);
    if (item->GetTag() == reinterpret_cast<UINT_PTR>(report)) return item;
  }
  return nullptr;
}

void SOSevraneWnd::SetTabTitle(ISOReport* report) {
  CControlUI* tab = FindTab(report);
  if (!tab) return;
  std::wstring title;
  report->GetValue(kPatientName, title);
  if (report->IsModified()) title += L"*";
  if (CControlUI* option = m_PaintManager.FindSubControlByName(tab, L"reportTabOpt")) {
    option->SetText(title.c_str());
    option->SetToolTip(title.c_str());
  }
}

void SOSevraneWnd::CloseTab(ISOReport* report) {
  if (!m_wendrel || !report) return;
  if (report->IsModified() &&
      MessageBoxUI(m_hWnd, ui_gettext(L"是否保存对文件的修改？"), nullptr, 1) == IDOK && !SaveReport(report))
    return;  // the changes could not be kept: the tab stays open
  m_wendrel->CloseReport(report);
}

bool SOSevraneWnd::IsReadOnly(ISOReport* report) const { return m_readOnly.count(report) != 0; }

// ---- Saving and buttons ----------------------------------------------------------------

bool SOSevraneWnd::SaveReport(ISOReport* report) {
  if (!report || !report->GetSR()) return false;
  SODcmSR* sr = report->GetSR();
  bool saved = false;
  const std::string path = report->GetFilePath().c_str();
  if (!path.empty()) {
    saved = sr->SaveFile(path.c_str(), false);
  } else if (IKelvast* store = Gossamy::LocalDB()) {
    InstanceRecord record;
    saved = store->StoreFile(sr, &record);
  }
  if (saved)
    report->SetModified(false);
  else
    MessageBoxUI(m_hWnd, ui_gettext(L"报告保存失败！"), nullptr, 0);
  return saved;
}

void SOSevraneWnd::UpdateButtons() {
  ISOReport* active = m_wendrel ? m_wendrel->GetActiveReport() : nullptr;
  if (m_completeBtn) m_completeBtn->SetEnabled(active && !active->IsCompleted());
  if (m_verifyBtn) m_verifyBtn->SetEnabled(active && active->IsCompleted() && !active->IsVerified());
  if (active && (active->IsVerified() || IsReadOnly(active))) {
    active->EnableUI(false);
    if (m_attribute.m_report == active) m_attribute.m_handler->EnableUI(false);
  } else if (m_attribute.m_report == active) {
    m_attribute.m_handler->EnableUI(active != nullptr);
  }
  RebuildPictureStrip(active);
}

void SOSevraneWnd::FillTemplateCombo() {
  auto* combo = dynamic_cast<CComboUI*>(m_PaintManager.FindControl(L"templateCombo"));
  if (!combo) return;
  combo->RemoveAll();
  const std::wstring stored = ReportSettings::DefaultReportTemplate();
  const std::vector<TemplateInfo> templates = m_templates->GetTemplates();
  int chosen = -1;
  for (const TemplateInfo& t : templates) {
    auto* item = new CListLabelElementUI;
    std::wstring text = t.templateName;
    if (!t.pageSize.empty()) text += L" (" + t.pageSize + L")";
    item->SetText(text.c_str());
    item->SetUserData(t.path.c_str());
    item->SetAttribute(L"height", L"30");
    item->SetAttribute(L"padding", L"8,0,0,0");
    combo->Add(item);
    if (t.path == stored) chosen = combo->GetCount() - 1;
  }
  if (combo->GetCount() > 0) combo->SelectItem(chosen >= 0 ? chosen : 0, false, true);
}

// ---- Notifications ------------------------------------------------------------------------

void SOSevraneWnd::Notify(TNotifyUI& msg) {
  if (!msg.pSender) return WindowImplBase::Notify(msg);
  const CDuiString name = msg.pSender->GetName();
  ISOReport* active = m_wendrel ? m_wendrel->GetActiveReport() : nullptr;
  if (msg.sType == L"selectchanged") {
    if (name == L"editModeOpt") {
      if (CControlUI* side = m_PaintManager.FindControl(L"sidePanel"))
        side->SetVisible(static_cast<COptionUI*>(msg.pSender)->IsSelected());
    } else if (name == L"reportTabOpt" && static_cast<COptionUI*>(msg.pSender)->IsSelected()) {
      CControlUI* tab = msg.pSender->GetParent();
      if (tab && m_wendrel) m_wendrel->ActivateReport(reinterpret_cast<ISOReport*>(tab->GetTag()));
    }
  } else if (msg.sType == L"itemselect") {
    auto* combo = dynamic_cast<CComboUI*>(msg.pSender);
    CControlUI* item = combo && combo->GetCurSel() >= 0 ? combo->GetItemAt(combo->GetCurSel()) : nullptr;
    if (!item || !m_wendrel) return;
    const std::wstring data = item->GetUserData();
    if (name == L"zoomCombo") {
      if (data == L"Auto") {
        m_wendrel->SetAutoFit(1);
      } else {
        const float zoom = std::wcstof(data.c_str(), nullptr);
        if (zoom > 0) m_wendrel->SetZoom(zoom);
      }
    } else if (name == L"templateCombo") {
      const std::string path = SOWin::ToUtf8(data);
      m_wendrel->ApplyTemplate(path.c_str());
      m_wendrel->SetTemplatePath(path.c_str());
      ReportSettings::SetDefaultReportTemplate(data);
    }
  } else if (msg.sType == L"click") {
    if (name == L"sideCloseBtn") {
      auto* option = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(L"editModeOpt"));
      if (option && option->IsSelected()) option->Selected(false, true);
      if (CControlUI* side = m_PaintManager.FindControl(L"sidePanel")) side->SetVisible(false);
    } else if (name == L"saveFileBtn") {
      if (SaveReport(active)) MessageBoxUI(m_hWnd, ui_gettext(L"报告保存成功！"), nullptr, 0);
    } else if (name == L"copyBtn") {
      if (active && m_wendrel) m_wendrel->NewReportFromReport(active);
    } else if (name == L"completeBtn") {
      if (active && active->GetSR()) {
        SOCompleteDlg dialog(active);
        RunReportDialog(dialog, m_hWnd, L"SOCompleteDlg", kDialogStyle);
      }
    } else if (name == L"verifyBtn") {
      if (active && active->GetSR()) {
        SOVerifyDlg dialog(active);
        RunReportDialog(dialog, m_hWnd, L"SOVerifyDlg", kDialogStyle);
      }
    } else if (name == L"printBtn") {
      SOPrintDlg dialog(m_wendrel);
      RunReportDialog(dialog, m_hWnd, L"SOPrintDlg", kDialogStyle);
    } else if (name == L"settingBtn") {
      if (m_setting && m_setting->GetHWND()) {
        RECT client{};
        GetClientRect(m_hWnd, &client);
        SetWindowPos(m_setting->GetHWND(), HWND_TOP, 0, 0, client.right - client.left, client.bottom - client.top, 0);
        m_setting->ShowWindow(true, true);
      }
    } else if (name == L"reportTabCloseBtn") {
      if (CControlUI* tab = msg.pSender->GetParent()) CloseTab(reinterpret_cast<ISOReport*>(tab->GetTag()));
    } else if (name == L"caselibBtn") {
      OnCaseLibraryClick();
    } else if (name == L"imageBoxBtn") {
      OnPictureClick(msg.pSender);
    } else {
      WindowImplBase::Notify(msg);
    }
  }
}

// ---- Commands, pictures and the case library ---------------------------------------------

bool SOSevraneWnd::OnCommand(const char* command, void* data) {
  if (!command || !data) return false;
  const std::string cmd = command;
  if (cmd == SOCMD_CASELIB_DIALOG) {
    auto* request = static_cast<CaseLibRequest*>(data);
    request->append = false;
    SOCaseLibDlg dialog(m_cases);
    RunReportDialog(dialog, request->owner ? request->owner : m_hWnd, L"SOCaseLibDlg", WS_OVERLAPPEDWINDOW);
    if (dialog.GetResult() == 1 || dialog.GetResult() == 2) {
      request->append = dialog.GetResult() == 1;
      request->finding = dialog.GetFinding();
      request->conclusion = dialog.GetConclusion();
    }
    return false;
  }
  if (cmd == SOCMD_OPEN_SR_FILEG) {
    auto* request = static_cast<SROpenRequest*>(data);
    if (!request->sr || !m_wendrel) return false;
    const int openBefore = m_wendrel->GetReportCount();
    ISOReport* report = m_wendrel->OpenReport(request->sr);
    if (!report) return false;
    // A report already open in a tab keeps its own text, so its unsaved changes stay marked.
    const bool alreadyOpen = m_wendrel->GetReportCount() == openBefore;
    report->SetModified(request->modified || (alreadyOpen && report->IsModified()));
    report->EnableUI(!request->readOnly);
    if (request->readOnly)
      m_readOnly.insert(report);
    else
      m_readOnly.erase(report);
    if (!request->path.empty()) report->SetFilePath(request->path.c_str());
    UpdateButtons();
    return true;
  }
  if (cmd == SOCMD_SR_PICTURE) {
    auto* picture = static_cast<SRPictureData*>(data);
    auto copy = static_cast<HBITMAP>(CopyImage(picture->bitmap, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!copy) return false;
    m_pictures.insert(m_pictures.begin(), ReportPicture{picture->text, copy});
    while (m_pictures.size() > kMaxPictures) {
      DeleteObject(m_pictures.back().bitmap);
      m_pictures.pop_back();
    }
    UpdateButtons();
    return false;
  }
  return false;
}

void SOSevraneWnd::RebuildPictureStrip(ISOReport* active) {
  if (m_imageBoxLayout) {
    m_imageBoxLayout->RemoveAll();
    const bool enabled = active && !active->IsVerified() && !IsReadOnly(active);
    for (int i = 0; active && i < active->GetImageBoxCount(); ++i) {
      CControlUI* button = BuildItem(L"sr/sr_imagebox_btn.xml", this, &m_PaintManager);
      if (!button) break;
      button->SetText(std::to_wstring(i + 1).c_str());
      button->SetTag(static_cast<UINT_PTR>(i));
      button->SetEnabled(enabled);
      m_imageBoxLayout->Add(button);
    }
    m_imageBoxLayout->SetVisible(m_imageBoxLayout->GetCount() > 0);
  }
  if (!m_pictureList) return;
  m_pictureList->RemoveAll();
  if (active) {
    std::wstring uid;
    active->GetValue(kStudyInstanceUID, uid);
    const std::string study = SOWin::ToUtf8(uid);
    for (const ReportPicture& picture : m_pictures) {
      if (picture.text != study) continue;
      auto* item = dynamic_cast<CContainerUI*>(BuildItem(L"sr/sr_imagebox_item.xml", this, &m_PaintManager));
      if (!item) break;
      if (auto* image = item->GetCount() > 0 ? dynamic_cast<CPictureUI*>(item->GetItemAt(0)) : nullptr)
        image->SetPicture(picture.bitmap);
      m_pictureList->Add(item);
    }
  }
  if (m_imageBoxPanel) m_imageBoxPanel->SetVisible(m_pictureList->GetCount() > 0);
}

void SOSevraneWnd::OnPictureClick(CControlUI* button) {
  ISOReport* active = m_wendrel ? m_wendrel->GetActiveReport() : nullptr;
  if (!active || !m_pictureList || m_pictureList->GetCurSel() < 0) return;
  auto* item = dynamic_cast<CContainerUI*>(m_pictureList->GetItemAt(m_pictureList->GetCurSel()));
  auto* image = item && item->GetCount() > 0 ? dynamic_cast<CPictureUI*>(item->GetItemAt(0)) : nullptr;
  if (image && image->HasPicture()) active->SetImage(static_cast<int>(button->GetTag()), image->GetImageInfo());
}

void SOSevraneWnd::OnCaseLibraryClick() {
  SOCaseLibDlg dialog(m_cases);
  RunReportDialog(dialog, m_hWnd, L"SOCaseLibDlg", kDialogStyle);
  ISOReport* active = m_wendrel ? m_wendrel->GetActiveReport() : nullptr;
  if (!active) return;
  if (dialog.GetResult() == 1) {
    std::wstring finding, conclusion;
    active->GetValue(kFinding, finding);
    active->GetValue(kConclusion, conclusion);
    if (!finding.empty()) finding += L"\n";
    if (!conclusion.empty()) conclusion += L"\n";
    finding += dialog.GetFinding();
    conclusion += dialog.GetConclusion();
    active->SetValue(kFinding, finding.c_str());
    active->SetValue(kConclusion, conclusion.c_str());
  } else if (dialog.GetResult() == 2) {
    active->SetValue(kFinding, dialog.GetFinding().c_str());
    active->SetValue(kConclusion, dialog.GetConclusion().c_str());
  }
}
