#include "CCaptureDlg.h"

#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "Gossamy.h"
#include "IKelvast.h"
#include "ISODcmObject.h"
#include "SODcmFile.h"
#include "SODcmUtil.h"
#include "SODialog.h"
#include "SOGdi.h"
#include "SOGdiPlus.h"
#include "Zarnet.h"

using namespace DuiLib;

namespace {

constexpr const char* kSecondaryCaptureClass = "1.2.840.10008.5.1.4.1.1.7";

bool IsFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The bitmap's pixels as R,G,B bytes, top row first; empty when it cannot be read.
std::vector<unsigned char> RgbRows(HBITMAP bitmap, int& width, int& height) {
  BITMAP bm{};
  if (!bitmap || GetObjectW(bitmap, sizeof(bm), &bm) == 0 || bm.bmWidth <= 0 || bm.bmHeight <= 0) return {};
  width = bm.bmWidth;
  height = bm.bmHeight;
  BITMAPINFO info{};
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<unsigned char> bgrx(static_cast<size_t>(width) * height * 4);
  HDC screen = GetDC(nullptr);
  const int lines = GetDIBits(screen, bitmap, 0, height, bgrx.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (lines != height) return {};
  std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
  for (int r = 0; r < height; ++r) {
    const unsigned char* from = &bgrx[static_cast<size_t>(height - 1 - r) * width * 4];
    unsigned char* to = &rgb[static_cast<size_t>(r) * width * 3];
    for (int c = 0; c < width; ++c, from += 4, to += 3) {
      to[0] = from[2];
      to[1] = from[1];
      to[2] = from[0];
    }
  }
  return rgb;
}

}  // namespace

CCaptureDlg::CCaptureDlg(HBITMAP bitmap, ISODcmObject* source, ISOExecuter* host, const wchar_t* skinFile)
    : m_bitmap(bitmap), m_source(source), m_host(host), m_skinFile(skinFile ? skinFile : L"") {}

void CCaptureDlg::Run(HWND owner, HBITMAP bitmap, ISODcmObject* source, ISOExecuter* host, const wchar_t* skinFile) {
  CCaptureDlg dialog(bitmap, source, host, skinFile);
  if (!dialog.Create(owner, L"CCaptureDlg", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0)) return;
  dialog.CenterWindow();
  dialog.ShowModal();
}

void CCaptureDlg::InitWindow() {
  auto option = [this](const wchar_t* name) {
    auto* o = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(name));
    if (o) o->OnNotify += MakeDelegate(this, &CCaptureDlg::OnFormatChanged);
    return o;
  };
  m_toReport = option(L"toReportOpt");
  m_toLocal = option(L"toLocalOpt");
  m_toClipboard = option(L"toClipboardOpt");
  m_formatDicom = option(L"formatDicomOpt");
  m_formatJpeg = option(L"formatJpegOpt");
  m_formatBmp = option(L"formatBmpOpt");
  m_formatPng = option(L"formatPngOpt");
  m_imagePathEdit = m_PaintManager.FindControl(L"imagePathEdit");
  m_exportPathPanel = m_PaintManager.FindControl(L"exportPathPanel");
  if (m_exportPathPanel) m_exportPathPanel->SetEnabled(false);
  std::wstring folder;
  if (Gossamy::ReadHKCU(L"ImageSavePath", folder) && !folder.empty() && m_imagePathEdit)
    m_imagePathEdit->SetText(folder.c_str());
  m_picture = m_PaintManager.FindControl(L"capturePicture");
  if (auto* picture = dynamic_cast<CPictureUI*>(m_picture); picture && m_bitmap) picture->SetPicture(m_bitmap);
}

bool CCaptureDlg::Selected(COptionUI* option) const {
  return option && option->IsSelected();
}

bool CCaptureDlg::OnFormatChanged(void* param) {
  auto* msg = static_cast<TNotifyUI*>(param);
  if (msg && msg->sType == L"selectchanged" && m_exportPathPanel)
    m_exportPathPanel->SetEnabled(Selected(m_formatDicom) || Selected(m_formatJpeg) || Selected(m_formatBmp) ||
                                  Selected(m_formatPng));
  return true;
}

void CCaptureDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) {
    const CDuiString name = msg.pSender->GetName();
    if (name == L"confirmBtn") {
      Confirm();
      return;
    }
    if (name == L"cancelBtn") {
      Close(IDCANCEL);
      return;
    }
    if (name == L"imagePathBtn") {
      ChooseFolder();
      return;
    }
  }
  WndDialog::Notify(msg);
}

void CCaptureDlg::ChooseFolder() {
  std::string start, folder;
  Gossamy::ReadHKCU("ImageSavePath", start);
  if (!SODialog::BrowseForFolder(m_hWnd, ui_gettext(L"Select folder"), start, folder)) return;
  if (m_imagePathEdit) m_imagePathEdit->SetText(SOWin::FromUtf8(folder).c_str());
  Gossamy::WriteHKCU("ImageSavePath", folder.c_str());
}

void CCaptureDlg::Confirm() {
  if (Selected(m_toReport)) {
    // Without a source there is no study to file the picture under.
    if (!m_source || !m_host) return;
    SRPictureData data;
    data.text = m_source->GetStudyInstanceUID() ? m_source->GetStudyInstanceUID() : "";
    data.bitmap = m_bitmap;
    m_host->SendCommand(SOPLUGIN_SEVRANE, SOCMD_SR_PICTURE, &data);
    Close(IDOK);
    return;
  }
  if (Selected(m_toLocal)) {
    SODcmFile file;
    IKelvast* store = Gossamy::LocalDB();
    if (MakeSecondaryCapture(&file) && store && store->StoreFile(&file, nullptr)) Close(IDOK);
    return;
  }
  if (Selected(m_toClipboard)) {
    if (OpenClipboard(nullptr)) {
      EmptyClipboard();
      // The clipboard takes over what it is given: it gets its own copy, the bitmap stays ours.
      if (HANDLE copy = CopyImage(m_bitmap, IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR))
        if (!SetClipboardData(CF_BITMAP, copy)) DeleteObject(static_cast<HGDIOBJ>(copy));
      CloseClipboard();
    }
    Close(IDOK);
    return;
  }
  const bool dicom = Selected(m_formatDicom);
  const int format = Selected(m_formatJpeg) ? 0 : Selected(m_formatBmp) ? 1 : Selected(m_formatPng) ? 2 : -1;
  // With no destination chosen there is nothing to write.
  if (!dicom && format < 0) return;
  const std::string folder = m_imagePathEdit ? SOWin::ToUtf8(m_imagePathEdit->GetText().GetData()) : "";
  if (!IsFolder(folder)) {
    MessageBoxUI(m_hWnd, ui_gettext(L"文件保存目录不存在！"), nullptr, 0);
    return;
  }
  if (dicom) {
    SODcmFile file;
    if (!MakeSecondaryCapture(&file)) return;
    std::string uid;
    file.GetDataset()->GetString(0x00080018, uid);
    if (file.SaveFile((folder + "/" + uid + ".dcm").c_str(), false)) Close(IDOK);
    return;
  }
  static const char* kExtensions[] = {".jpg", ".bmp", ".png"};
  const std::string path = folder + "/" + SODcmUtil::GenerateUID() + kExtensions[format];
  SaveBitmapFile(m_bitmap, format, SOWin::FromUtf8(path).c_str());
  Close(IDOK);
}

bool CCaptureDlg::MakeSecondaryCapture(SODcmFile* file) {
  SODcmFile* source = m_source ? m_source->GetDcmFile() : nullptr;
  if (!file || !source) return false;
  int width = 0, height = 0;
  const std::vector<unsigned char> rgb = RgbRows(m_bitmap, width, height);
  if (rgb.empty()) return false;
  SODcmDataset* out = file->GetDataset();
  const SODcmDataset* in = source->GetDataset();
  for (unsigned long tag : {0x00080005ul, 0x00100010ul, 0x00101010ul, 0x00100040ul, 0x00100020ul, 0x00080080ul,
                            0x00080070ul, 0x00080060ul, 0x0020000Dul})
    out->CopyAttribute(*in, tag);
  // What peers and validators need beyond the copied study: the class, and the type-2
  // attributes of the patient, study and series, copied when the source has them.
  for (unsigned long tag :
       {0x00100030ul, 0x00080020ul, 0x00080030ul, 0x00080090ul, 0x00200010ul, 0x00080050ul, 0x00200060ul}) {
    if (!out->CopyAttribute(*in, tag)) out->SetString(tag, "");
  }
  for (unsigned long tag : {0x00100010ul, 0x00100020ul, 0x00100040ul, 0x00080060ul})
    if (!out->TagExists(tag)) out->SetString(tag, tag == 0x00080060ul ? "OT" : "");
  out->SetString(0x00080016, kSecondaryCaptureClass);
  out->SetString(0x00080064, "WSD");  // conversion type: workstation
  out->SetString(0x00200020, "");     // patient orientation unknown
  out->SetString(0x00200013, "1");
  const std::string studyUID = m_source->GetStudyInstanceUID() ? m_source->GetStudyInstanceUID() : "";
  out->SetString(0x0020000E, SODcmUtil::GenerateUID());
  out->SetString(0x00080018, SODcmUtil::GenerateUID());
  IKelvast* store = Gossamy::LocalDB();
  const int number = store ? store->GetFreeSeriesNumber(studyUID.c_str(), 50001) : 50001;
  char text[16];
  std::snprintf(text, sizeof(text), "%d", number);
  out->SetString(0x00200011, text);
  out->SetFloat64(0x00281050, 128);
  out->SetFloat64(0x00281051, 256);
  out->SetString(0x00280004, "RGB");
  out->SetUint16(0x00280002, 3);
  out->SetUint16(0x00280100, 8);
  out->SetUint16(0x00280101, 8);
  out->SetUint16(0x00280102, 7);
  out->SetUint16(0x00280103, 0);
  out->SetUint16(0x00280006, 0);
  out->SetUint16(0x00280010, static_cast<unsigned short>(height));
  out->SetUint16(0x00280011, static_cast<unsigned short>(width));
  return out->SetUint8Array(0x7FE00010, rgb.data(), static_cast<unsigned long>(rgb.size()));
}

bool CCaptureDlg::SaveBitmapFile(HBITMAP bitmap, int format, const wchar_t* path) {
  if (!bitmap || !path) return false;
  std::unique_ptr<Gdiplus::Bitmap> image(Gdiplus::Bitmap::FromHBITMAP(bitmap, nullptr));
  UINT count = 0, size = 0;
  if (!image || Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || count == 0) return false;
  std::vector<Gdiplus::ImageCodecInfo> encoders(count);
  if (Gdiplus::GetImageEncoders(count, size, encoders.data()) != Gdiplus::Ok) return false;
  const std::wstring mime = format == 0 ? L"image/jpeg" : format == 2 ? L"image/png" : L"image/bmp";
  for (const auto& encoder : encoders)
    if (encoder.MimeType && mime == encoder.MimeType) return image->Save(path, &encoder.Clsid) == Gdiplus::Ok;
  return false;
}
