#include "SOReportWindow.h"

#include "ReportDocument.h"
#include "ReportTags.h"
#include "ReportTemplate.h"
#include "SOGdiPlus.h"
#include "SOUtil.h"

#include <vector>

using namespace DuiLib;

namespace wendrel {

namespace {

// Posted to itself when the page area changed size: the page is laid out once the layout settles.
constexpr UINT kLayoutMessage = WM_USER + 0x101;

// The bitmap as JPEG bytes (the encoder's default quality); empty when it cannot be encoded.
std::vector<unsigned char> EncodeJpeg(HBITMAP bitmap) {
  std::vector<unsigned char> bytes;
  std::unique_ptr<Gdiplus::Bitmap> image(Gdiplus::Bitmap::FromHBITMAP(bitmap, nullptr));
  UINT count = 0, size = 0;
  if (!image || image->GetLastStatus() != Gdiplus::Ok || Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok)
    return bytes;
  std::vector<unsigned char> buffer(size);
  auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (Gdiplus::GetImageEncoders(count, size, encoders) != Gdiplus::Ok) return bytes;
  const Gdiplus::ImageCodecInfo* jpeg = nullptr;
  for (UINT i = 0; i < count && !jpeg; ++i)
    if (encoders[i].MimeType && std::wstring(encoders[i].MimeType) == L"image/jpeg") jpeg = &encoders[i];
  IStream* stream = nullptr;
  if (!jpeg || CreateStreamOnHGlobal(nullptr, TRUE, &stream) != S_OK) return bytes;
  if (image->Save(stream, &jpeg->Clsid, nullptr) == Gdiplus::Ok) {
    bytes.resize(size_t(stream->Size()));
    ULONG read = 0;
    stream->Seek(0, STREAM_SEEK_SET, nullptr);
    if (stream->Read(bytes.data(), ULONG(bytes.size()), &read) != S_OK || read != bytes.size()) bytes.clear();
  }
  stream->Release();
  return bytes;
}

}  // namespace

SOReportWindow::SOReportWindow() {
  ReportDocument::MakeNew(m_document);
}

SOReportWindow::~SOReportWindow() {
  if (m_hWnd && IsWindow(m_hWnd)) DestroyWindow(m_hWnd);
}

void SOReportWindow::InitWindow() {
  m_binding.RegisterCallback(this);
  m_pPrintWindow = std::make_unique<SOPrintWindow>();
  m_pPrintWindow->CreatePrintWindow();
  if (auto* panel = static_cast<CContainerUI*>(m_PaintManager.FindControl(L"pagePanel"))) {
    if (CContainerUI* root = ReportTemplate::BuildDefault()) ShowPage(panel, root);
  }
  UpdateLayout();
  ShowVerified();
}

void SOReportWindow::ShowPage(CContainerUI* panel, CContainerUI* root) {
  ReportTemplate::Show(panel, root);
  ReportTemplate::LockStudyIdentity(root);
  m_pPageRoot = root;
  m_binding.InitUI(root, true);
}

LRESULT SOReportWindow::OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  // The page is laid out again once the resize has settled.
  if (!m_bLayoutPosted) {
    m_bLayoutPosted = true;
    PostMessage(kLayoutMessage);
  }
  return WindowImplBase::OnSize(uMsg, wParam, lParam, bHandled);
}

LRESULT SOReportWindow::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (uMsg == kLayoutMessage) {
    m_bLayoutPosted = false;
    UpdateLayout();
    return 0;
  }
  return WindowImplBase::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

void SOReportWindow::UpdateLayout() {
  auto* panel = static_cast<CContainerUI*>(m_PaintManager.FindControl(L"pagePanel"));
  if (!panel) return;
  if (panel->GetCount() == 0) {
    panel->SetVisible(false);
    return;
  }
  CControlUI* root = panel->GetItemAt(0);
  const SIZE page = ReportTemplate::PageSize(root);
  CControlUI* row = panel->GetParent();
  auto* view = row ? dynamic_cast<CContainerUI*>(row->GetParent()) : nullptr;
  const RECT pad = panel->GetPadding();
  RECT client{};
  GetClientRect(m_hWnd, &client);
  const RECT inset = view ? view->GetInset() : RECT{};
  if (m_nFit == 1 && page.cx > 0 && page.cy > 0) {
    // The area the page has at zoom 1.0: the client area less the view's inset, the panel's
    // padding and its border. It is computed, not laid out, so that the page is laid out only
    // once, at the zoom it is shown and clicked at.
    float width = float(client.right - client.left) - float(inset.left + inset.right) - float(pad.right + pad.left + 2);
    float height = float(client.bottom - client.top) - float(inset.top + inset.bottom) - float(pad.bottom + pad.top + 2);
    if (width <= 0) width = 1;
    if (height <= 0) height = 1;
    const float zoom = float(page.cx) / float(page.cy) > width / height ? width / float(page.cx)
                                                                         : height / float(page.cy);
    if (zoom != float(m_PaintManager.GetZoomRatio())) m_PaintManager.SetZoomRatio(zoom);
  }
  panel->SetFixedWidth(page.cx);
  panel->SetFixedHeight(page.cy);
  // The row is as tall as the page, so a page taller than the view scrolls it; a page wider
  // than the view makes the row as wide, which scrolls it sideways, else the row centres it.
  if (row) {
    row->SetFixedHeight(page.cy + pad.top + pad.bottom);
    const CScrollBarUI* bar = view ? view->GetVerticalScrollBar() : nullptr;
    const double viewWidth = double(client.right - client.left) / m_PaintManager.GetZoomRatio() -
                             double(inset.left + inset.right) - (bar ? bar->GetFixedWidth() : 0);
    const int rowWidth = page.cx + pad.left + pad.right;
    row->SetFixedWidth(rowWidth > viewWidth ? rowWidth : 0);
  }
  panel->SetVisible(true);
  m_PaintManager.UpdateLayout();
  m_PaintManager.Invalidate();
}

void SOReportWindow::RefreshPage() {
  if (m_pPageRoot) m_pPageRoot->NeedUpdate();
  m_PaintManager.NeedUpdate();
  m_PaintManager.Invalidate();
}

bool SOReportWindow::WriteDocument(DWORD tag, const wchar_t* text) {
  if (!ReportDocument::Write(m_document, tag, text)) return false;
  if (m_pListener) m_pListener->OnValueChanged(this, tag, text);
  return true;
}

bool SOReportWindow::SetValue(DWORD tag, const wchar_t* text) {
  if (!text || !WriteDocument(tag, text)) return false;
  if (m_pPageRoot) m_binding.SetValue(tag, text);
  SetModified(true);
  return true;
}

bool SOReportWindow::GetValue(DWORD tag, std::wstring& text) {
  return ReportDocument::Read(m_document, tag, text);
}

void SOReportWindow::OnControlValueChanged(unsigned int tag, const wchar_t* text) {
  std::wstring current;
  if (ReportDocument::Read(m_document, tag, current) && current == text) return;
  if (WriteDocument(tag, text)) SetModified(true);
}

bool SOReportWindow::LoadTemplate(const char* absolutePath) {
  auto* panel = static_cast<CContainerUI*>(m_PaintManager.FindControl(L"pagePanel"));
  if (!absolutePath || !panel) return false;
  CContainerUI* root = ReportTemplate::Build(absolutePath);
  if (!root) return false;
  m_sTemplatePath = absolutePath;
  ShowPage(panel, root);
  UpdateLayout();
  m_binding.SetDcmSR(&m_document);
  if (m_pListener) m_pListener->OnTemplateLoaded(this);
  return true;
}

void SOReportWindow::SetFilePath(const char* path) {
  if (path) m_sFilePath = path;
}

bool SOReportWindow::EnableUI(bool enable) {
  return m_binding.EnableUI(enable);
}

bool SOReportWindow::Complete() {
  if (m_document.IsCompleted()) return true;
  // A refusal of the toolkit changes nothing and tells nobody.
  if (!m_document.CompleteDocument()) return false;
  SetModified(true);
  if (m_pListener) m_pListener->OnCompleted(this);
  return true;
}

bool SOReportWindow::Verify() {
  if (m_document.IsVerified()) return true;
  if (!m_document.VerifyDocument()) return false;
  SetModified(true);
  ShowVerified();
  // The toolkit stamped the verification time: the page shows it.
  std::wstring stamp;
  if (m_pPageRoot && ReportDocument::Read(m_document, ReportTag::VerificationDateTime, stamp))
    m_binding.SetValue(ReportTag::VerificationDateTime, stamp.c_str());
  if (m_pListener) m_pListener->OnVerified(this);
  return true;
}

void SOReportWindow::SetModified(bool modified) {
  if (modified == m_bModified) return;
  m_bModified = modified;
  if (m_pListener) m_pListener->OnModifiedChanged(this);
}

bool SOReportWindow::SetImage(int index, HBITMAP bitmap) {
  if (!bitmap || index < 0 || index >= GetImageBoxCount()) return false;
  std::vector<unsigned char> jpeg = EncodeJpeg(bitmap);
  if (jpeg.empty()) return false;
  SODcmDataset item;
  if (!m_document.GetDataset()->GetOrCreateSequenceItem(ReportTag::ReferencedImageSequence, index, item) ||
      !item.SetUint8Array(ReportTag::EncapsulatedDocument, jpeg.data(), static_cast<unsigned long>(jpeg.size())))
    return false;
  const bool shown = m_binding.SetImageBox(index, jpeg.data(), long(jpeg.size()));
  SetModified(true);
  return shown;
}

void SOReportWindow::ShowVerified() {
  if (CControlUI* mark = m_PaintManager.FindControl(L"verifiedCtrl")) mark->SetVisible(m_document.IsVerified());
}

void SOReportWindow::DocumentReplaced() {
  ShowVerified();
  m_binding.SetDcmSR(&m_document);
}

bool SOReportWindow::LoadFile(const char* path) {
  if (!m_document.LoadFile(path, true)) return false;
  DocumentReplaced();
  return true;
}

bool SOReportWindow::CopyDocument(const SODcmSR& source) {
  if (!m_document.Copy(source)) return false;
  DocumentReplaced();
  return true;
}

bool SOReportWindow::PrintTo(HDC hdc) {
  return m_pPrintWindow &&
         m_pPrintWindow->PrintDocument(hdc, &m_document, m_sTemplatePath.empty() ? nullptr : m_sTemplatePath.c_str());
}

}  // namespace wendrel
