#include "SOMainWindow.h"

#include "ReportDocument.h"
#include "ReportTags.h"
#include "SODcmFile.h"
#include "SODcmUtil.h"
#include "SOUtil.h"

#include <algorithm>

using namespace DuiLib;

namespace wendrel {

namespace {

constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

// A report's own identity: modality "SR" (exactly) and a SOP Instance UID.
bool IsReport(const SODcmDataset& ds, std::string& sopInstance) {
  std::string modality;
  return ds.GetString(ReportTag::Modality, modality) && ds.GetString(ReportTag::SopInstanceUid, sopInstance) &&
         modality == "SR";
}

}  // namespace

SOMainWindow::SOMainWindow()
    : m_sTemplatePath(SOUtil::GetModulePath() + "skin/srctrl/default_template.xml"),
      m_sDefaultTemplatePath(m_sTemplatePath) {}

SOMainWindow::~SOMainWindow() {
  m_pActive = nullptr;
  m_pages.clear();
  m_pPrintWindow.reset();
  if (m_hWnd && IsWindow(m_hWnd)) DestroyWindow(m_hWnd);
}

HWND SOMainWindow::Create(HWND parent, int x, int y, int cx, int cy) {
  return CWindowWnd::Create(parent, L"SOMainWindow", kChildStyle, WS_EX_ACCEPTFILES, x, y, cx, cy);
}

bool SOMainWindow::MoveWindow(int x, int y, int cx, int cy) {
  if (!m_hWnd) return false;
  ::MoveWindow(m_hWnd, x, y, cx, cy, TRUE);
  return true;
}

void SOMainWindow::InitWindow() {
  if (CControlUI* content = m_PaintManager.FindControl(L"contentPanel"))
    content->OnSize += MakeDelegate(this, &SOMainWindow::OnContentSize);
  m_pPrintWindow = std::make_unique<SOPrintWindow>();
  m_pPrintWindow->CreatePrintWindow();
}

RECT SOMainWindow::ContentRect() {
  CControlUI* content = m_PaintManager.FindControl(L"contentPanel");
  if (!content) return RECT{};
  m_PaintManager.UpdateLayout();
  return content->GetPos();
}

LRESULT SOMainWindow::OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  // The active page follows at once, not at the next paint: until then it would reach past
  // the frame, its lower part out of sight.
  if (m_pActive) {
    const RECT rc = ContentRect();
    ::MoveWindow(m_pActive->GetHWND(), rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
  }
  return WindowImplBase::OnSize(uMsg, wParam, lParam, bHandled);
}

bool SOMainWindow::OnContentSize(void* param) {
  if (m_pActive && param) {
    const RECT rc = static_cast<CControlUI*>(param)->GetPos();
    ::MoveWindow(m_pActive->GetHWND(), rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
  }
  return true;
}

template <class F>
void SOMainWindow::Tell(F&& call) {
  // A listener may unregister while it is told.
  std::vector<IWendrelCallback*> callbacks = m_callbacks;
  for (IWendrelCallback* callback : callbacks)
    if (std::find(m_callbacks.begin(), m_callbacks.end(), callback) != m_callbacks.end()) call(callback);
}

std::unique_ptr<SOReportWindow> SOMainWindow::NewPage() {
  if (!m_hWnd || !m_PaintManager.FindControl(L"contentPanel")) return nullptr;
  const RECT rc = ContentRect();
  auto page = std::make_unique<SOReportWindow>();
  if (!page->CWindowWnd::Create(m_hWnd, L"SOSRDOcWindow", kChildStyle, WS_EX_ACCEPTFILES, rc.left, rc.top,
                                rc.right - rc.left, rc.bottom - rc.top))
    return nullptr;
  return page;
}

ISOReport* SOMainWindow::AddPage(std::unique_ptr<SOReportWindow> page, bool modified) {
  page->LoadTemplate(m_sTemplatePath.c_str());
  SOReportWindow* added = page.get();
  m_pages.push_back(std::move(page));
  added->SetModified(modified);
  Tell([added](IWendrelCallback* c) { c->OnReportAdded(added); });
  ActivateReport(added);
  return added;
}

SOReportWindow* SOMainWindow::PageOf(ISOReport* report) {
  for (auto& page : m_pages)
    if (static_cast<ISOReport*>(page.get()) == report) return page.get();
  return nullptr;
}

SOReportWindow* SOMainWindow::FindBySopInstance(const std::string& uid) {
  for (auto& page : m_pages) {
    std::string open;
    if (page->GetSR()->GetDataset()->GetString(ReportTag::SopInstanceUid, open) && open == uid) return page.get();
  }
  return nullptr;
}

ISOReport* SOMainWindow::OpenCopy(const SODcmSR& document) {
  std::string uid;
  if (!IsReport(*document.GetDataset(), uid)) return nullptr;
  if (SOReportWindow* open = FindBySopInstance(uid)) {
    ActivateReport(open);
    return open;
  }
  auto page = NewPage();
  if (!page || !page->CopyDocument(document)) return nullptr;
  return AddPage(std::move(page), false);
}

ISOReport* SOMainWindow::OpenReportFile(const char* path) {
  SODcmSR file;
  if (!path || !file.LoadFile(path, true)) return nullptr;
  return OpenCopy(file);
}

ISOReport* SOMainWindow::OpenReport(SODcmSR* document) {
  return document ? OpenCopy(*document) : nullptr;
}

ISOReport* SOMainWindow::NewReportFromReport(ISOReport* source) {
  if (!source || !source->GetSR()) return nullptr;
  SODcmSR copy;
  copy.Copy(*source->GetSR());
  SODcmDataset& ds = *copy.GetDataset();
  const std::string seriesUid = SODcmUtil::GenerateUID();
  const std::string instanceUid = SODcmUtil::GenerateUID();
  const bool renewed = ds.SetString(ReportTag::CompletionFlag, "PARTIAL") &&
                       ds.SetString(ReportTag::VerificationFlag, "UNVERIFIED") &&
                       ds.SetString(ReportTag::InstanceNumber, "1") && ds.SetString(ReportTag::SeriesNumber, "8001") &&
                       ds.SetString(ReportTag::SeriesInstanceUid, seriesUid) &&
                       ds.SetString(ReportTag::SopInstanceUid, instanceUid);
  auto page = renewed ? NewPage() : nullptr;
  if (!page || !page->CopyDocument(copy)) return nullptr;
  return AddPage(std::move(page), true);
}

ISOReport* SOMainWindow::NewReportFromImage(const char* dicomFilePath) {
  SODcmFile image;
  std::string studyUid;
  if (!dicomFilePath || !image.LoadFile(dicomFilePath, false) ||
      !image.GetDataset()->GetString(ReportTag::StudyInstanceUid, studyUid))
    return nullptr;
  auto page = NewPage();
  if (!page) return nullptr;
  SODcmDataset& ds = *page->GetSR()->GetDataset();
  const SODcmDataset& source = *image.GetDataset();
  ds.SetString(ReportTag::SpecificCharacterSet, "ISO_IR 192");
  for (unsigned long tag : {ReportTag::StudyInstanceUid, ReportTag::StudyDate, ReportTag::StudyTime,
                            ReportTag::PatientAge, ReportTag::PatientSex, ReportTag::PatientBirthDate}) {
    std::string value;
    if (source.GetString(tag, value)) ds.SetString(tag, value);
  }
  for (unsigned long tag : {ReportTag::PatientName, ReportTag::PatientId, ReportTag::BodyPartExamined,
                            ReportTag::InstitutionalDepartmentName, ReportTag::ReferringPhysicianName}) {
    std::wstring value;
    if (source.GetString(tag, value)) ds.SetString(tag, value);
  }
  ReportDocument::AddDocumentStructure(*page->GetSR(), dicomFilePath);
  return AddPage(std::move(page), true);
}

ISOReport* SOMainWindow::GetReport(int index) {
  return index >= 0 && index < int(m_pages.size()) ? m_pages[size_t(index)].get() : nullptr;
}

int SOMainWindow::IndexOfReport(ISOReport* report) {
  for (size_t i = 0; i < m_pages.size(); ++i)
    if (static_cast<ISOReport*>(m_pages[i].get()) == report) return int(i);
  return -1;
}

void SOMainWindow::CloseReport(ISOReport* report) {
  CloseReportAt(IndexOfReport(report));
}

void SOMainWindow::CloseReportAt(int index) {
  if (index < 0 || index >= int(m_pages.size())) return;
  std::unique_ptr<SOReportWindow> page = std::move(m_pages[size_t(index)]);
  m_pages.erase(m_pages.begin() + index);
  Tell([&page](IWendrelCallback* c) { c->OnReportClosed(page.get()); });
  const bool wasActive = page.get() == m_pActive;
  if (wasActive) {
    page->SetListener(nullptr);
    m_pActive = nullptr;
  }
  page.reset();
  if (wasActive && !m_pages.empty()) ActivateReportAt(std::min(index, int(m_pages.size()) - 1));
}

void SOMainWindow::ActivateReportAt(int index) {
  if (index >= 0 && index < int(m_pages.size())) ActivateReport(m_pages[size_t(index)].get());
}

void SOMainWindow::ActivateReport(ISOReport* report) {
  SOReportWindow* page = PageOf(report);
  if (!page || page == m_pActive) return;
  if (m_pActive) m_pActive->SetListener(nullptr);
  m_pActive = page;
  page->SetListener(this);
  page->SetFit(0);
  page->SetZoom(m_fZoom);
  page->UpdateLayout();
  page->RefreshPage();
  page->SetFit(m_nFit);
  page->UpdateLayout();
  const RECT rc = ContentRect();
  for (auto& other : m_pages)
    if (other.get() != page) ::ShowWindow(other->GetHWND(), SW_HIDE);
  ::MoveWindow(page->GetHWND(), rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
  ::ShowWindow(page->GetHWND(), SW_SHOW);
  Tell([page](IWendrelCallback* c) { c->OnActiveReportChanged(page); });
}

bool SOMainWindow::SetTemplatePath(const char* path) {
  if (!path) {
    m_sTemplatePath = m_sDefaultTemplatePath;
    return false;
  }
  if (!SOUtil::FileExist(path)) return false;
  m_sTemplatePath = path;
  return true;
}

bool SOMainWindow::ApplyTemplate(const char* path) {
  if (!m_pActive) return false;
  return m_pActive->LoadTemplate(path ? path : m_sDefaultTemplatePath.c_str());
}

float SOMainWindow::GetZoom() {
  return m_pActive ? float(m_pActive->GetZoom()) : m_fZoom;
}

void SOMainWindow::SetZoom(float zoom) {
  m_fZoom = zoom;
  if (!m_pActive) return;
  m_pActive->SetFit(0);
  m_pActive->SetZoom(zoom);
  m_pActive->UpdateLayout();
  m_pActive->RefreshPage();
}

int SOMainWindow::GetAutoFit() {
  return m_pActive ? m_pActive->GetFit() : m_nFit;
}

void SOMainWindow::SetAutoFit(int fit) {
  m_nFit = fit;
  if (!m_pActive) return;
  m_pActive->SetFit(fit);
  m_pActive->UpdateLayout();
}

bool SOMainWindow::SetValue(DWORD tag, const wchar_t* text) {
  return m_pActive && m_pActive->SetValue(tag, text);
}

bool SOMainWindow::GetValue(DWORD tag, std::wstring& text) {
  return m_pActive && m_pActive->GetValue(tag, text);
}

void SOMainWindow::RegisterCallback(IWendrelCallback* callback) {
  if (callback && std::find(m_callbacks.begin(), m_callbacks.end(), callback) == m_callbacks.end())
    m_callbacks.push_back(callback);
}

void SOMainWindow::UnRegisterCallback(IWendrelCallback* callback) {
  auto it = std::find(m_callbacks.begin(), m_callbacks.end(), callback);
  if (it != m_callbacks.end()) m_callbacks.erase(it);
}

bool SOMainWindow::Print(const char* printerName) {
  if (!printerName || !m_pActive) return false;
  HDC dc = CreateDCA(nullptr, printerName, nullptr, nullptr);
  if (!dc) return false;
  DOCINFOW doc;
  doc.lpszDocName = L"SOPRINTNAME";
  bool printed = false;
  if (StartDocW(dc, &doc) >= 1) {
    if (StartPage(dc) > 0) {
      const bool drawn = m_pActive->PrintTo(dc);
      printed = EndPage(dc) > 0 && drawn;
    }
    // A document the spooler could not finish is no print.
    if (EndDoc(dc) <= 0) printed = false;
  }
  DeleteDC(dc);
  return printed;
}

HBITMAP SOMainWindow::RenderTemplate(const char* templatePath, int* width, int* height, int maxWidth,
                                     int maxHeight) {
  return m_pPrintWindow ? m_pPrintWindow->RenderTemplate(templatePath, width, height, maxWidth, maxHeight)
                        : nullptr;
}

void SOMainWindow::OnValueChanged(ISOReport* report, DWORD tag, const wchar_t* text) {
  Tell([&](IWendrelCallback* c) { c->OnValueChanged(report, tag, text); });
}

void SOMainWindow::OnCompleted(ISOReport* report) {
  Tell([report](IWendrelCallback* c) { c->OnReportCompleted(report); });
}

void SOMainWindow::OnVerified(ISOReport* report) {
  Tell([report](IWendrelCallback* c) { c->OnReportVerified(report); });
}

void SOMainWindow::OnModifiedChanged(ISOReport* report) {
  Tell([report](IWendrelCallback* c) { c->OnModifiedChanged(report); });
}

void SOMainWindow::OnTemplateLoaded(ISOReport* report) {
  Tell([report](IWendrelCallback* c) { c->OnTemplateLoaded(report); });
}

}  // namespace wendrel

IWendrel* CreateWendrel() {
  return new wendrel::SOMainWindow;
}

void ReleaseWendrel(IWendrel* wendrel) {
  delete wendrel;
}
