#include "SOPrintWindow.h"

#include "ReportTemplate.h"
#include "SODcmSR.h"
#include "SOGdiPlus.h"
#include "SOReportUIHandler.h"

#include <algorithm>

using namespace DuiLib;

namespace wendrel {

namespace {

// Rendered pages stay below this many pixels a side.
constexpr float kMaxRenderSide = 8192;

// An image box without a picture is left blank on paper, whatever colour stands for it on screen.
void BlankEmptyImageBoxes(CControlUI* control) {
  if (auto* picture = static_cast<CPictureUI*>(control->GetInterface(L"Picture"))) {
    if (!picture->HasPicture()) picture->SetBkColor(0);
  } else if (auto* container = dynamic_cast<CContainerUI*>(control)) {
    for (int i = 0; i < container->GetCount(); ++i) BlankEmptyImageBoxes(container->GetItemAt(i));
  }
}

}  // namespace

bool SOPrintWindow::CreatePrintWindow() {
  return Create(nullptr, L"PrintWindow", WS_DISABLED, WS_EX_WINDOWEDGE, 0, 0, 0, 0) != nullptr;
}

void SOPrintWindow::InitWindow() {
  SetPage(ReportTemplate::BuildDefault());
}

bool SOPrintWindow::SetPage(CControlUI* root) {
  auto* panel = static_cast<CContainerUI*>(m_PaintManager.FindControl(L"pagePanel"));
  m_pRoot = nullptr;
  if (!panel) {
    delete root;
    return false;
  }
  panel->RemoveAll();
  if (!root) return false;
  m_pRoot = static_cast<CContainerUI*>(root);
  ReportTemplate::Show(panel, m_pRoot);
  const SIZE size = ReportTemplate::PageSize(m_pRoot);
  ResizeClient(size.cx, size.cy);
  return true;
}

bool SOPrintWindow::LoadTemplate(const char* path) {
  if (!m_PaintManager.FindControl(L"pagePanel")) return false;
  return SetPage(ReportTemplate::Build(path));
}

SIZE SOPrintWindow::PlacePage(double zoom) {
  const SIZE page = ReportTemplate::PageSize(m_pRoot);
  m_PaintManager.SetZoomRatio(zoom);
  m_PaintManager.UpdateLayout(SIZE{LONG(page.cx * zoom + 0.5), LONG(page.cy * zoom + 0.5)});
  return page;
}

bool SOPrintWindow::PrintDocument(HDC hdc, SODcmSR* document, const char* templatePath) {
  if (templatePath && !LoadTemplate(templatePath)) return false;
  const SIZE page = ReportTemplate::PageSize(m_pRoot);
  if (!m_pRoot || page.cx <= 0 || page.cy <= 0) return false;
  SOReportUIHandler binding;
  binding.InitUI(m_pRoot, false);
  binding.SetDcmSR(document);
  BlankEmptyImageBoxes(m_pRoot);
  // The whole page fits the printable area, which starts at the DC's origin.
  const float across = float(GetDeviceCaps(hdc, HORZRES)) / float(page.cx);
  const float down = float(GetDeviceCaps(hdc, VERTRES)) / float(page.cy);
  const float zoom = std::min(across, down);
  if (zoom <= 0) return false;
  PlacePage(zoom);
  m_pRoot->DoPaint(hdc, RECT{0, 0, page.cx, page.cy});
  return true;
}

HBITMAP SOPrintWindow::RenderTemplate(const char* templatePath, int* width, int* height, int maxWidth,
                                      int maxHeight) {
  if (!templatePath || !width || !height || !LoadTemplate(templatePath)) return nullptr;
  const SIZE page = ReportTemplate::PageSize(m_pRoot);
  const float w = float(page.cx), h = float(page.cy);
  if (w <= 0 || h <= 0) return nullptr;
  const float boundW = std::min(maxWidth < 1 ? w : float(maxWidth), kMaxRenderSide);
  const float boundH = std::min(maxHeight < 1 ? h : float(maxHeight), kMaxRenderSide);
  float outW, outH;
  if (w / h > boundW / boundH) {
    outW = boundW;
    outH = boundW / (w / h);
  } else {
    outH = boundH;
    outW = (w / h) * boundH;
  }
  *width = int(outW);
  *height = int(outH);
  if (*width < 1 || *height < 1) return nullptr;

  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  if (!dc) return nullptr;
  BITMAPINFO info{};
  info.bmiHeader.biWidth = *width;
  info.bmiHeader.biHeight = -*height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap) {
    DeleteDC(dc);
    return nullptr;
  }
  HGDIOBJ old = SelectObject(dc, bitmap);
  {
    Gdiplus::Graphics g(dc);
    g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    Gdiplus::SolidBrush white(Gdiplus::Color(0xFFFFFFFF));
    g.FillRectangle(&white, 0, 0, *width, *height);
  }
  PlacePage(outW / w);
  m_pRoot->DoPaint(dc, RECT{0, 0, page.cx, page.cy});
  SelectObject(dc, old);
  DeleteDC(dc);
  return bitmap;
}

}  // namespace wendrel
