#pragma once

// The capture dialog both viewer plug-ins open after a capture: it shows the bitmap and sends it
// to the report, the local store (as a secondary capture in the source's study), the clipboard
// or a file. Each plug-in compiles this source into its own library with its own skin and host.

#include <string>

#include "ISOPlugin.h"
#include "UIlib.h"

class ISODcmObject;
class SODcmFile;

class CCaptureDlg : public DuiLib::WndDialog {
 public:
  // The bitmap stays the caller's; the source is borrowed. skinFile is relative to the skin
  // folder ("2d/capture_dlg.xml"); host is the plug-in library's host (may be null).
  CCaptureDlg(HBITMAP bitmap, ISODcmObject* source, ISOExecuter* host, const wchar_t* skinFile);

  // Runs the dialog modally over owner.
  static void Run(HWND owner, HBITMAP bitmap, ISODcmObject* source, ISOExecuter* host, const wchar_t* skinFile);

  // Fills file with a secondary capture of the bitmap in the source's study; false without a
  // source, its file or a readable bitmap.
  bool MakeSecondaryCapture(SODcmFile* file);
  // Writes the bitmap as JPEG (0), BMP (1) or PNG (2); true only when the file was written.
  static bool SaveBitmapFile(HBITMAP bitmap, int format, const wchar_t* path);

  const wchar_t* GetWindowClassName() const override { return L"CCaptureDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return m_skinFile.c_str(); }

 private:
  bool OnFormatChanged(void* msg);
  void ChooseFolder();
  void Confirm();
  bool Selected(DuiLib::COptionUI* option) const;

  DuiLib::CControlUI* m_exportPathPanel = nullptr;
  DuiLib::COptionUI* m_toReport = nullptr;
  DuiLib::COptionUI* m_toLocal = nullptr;
  DuiLib::COptionUI* m_toClipboard = nullptr;
  DuiLib::COptionUI* m_formatDicom = nullptr;
  DuiLib::COptionUI* m_formatJpeg = nullptr;
  DuiLib::COptionUI* m_formatBmp = nullptr;
  DuiLib::COptionUI* m_formatPng = nullptr;
  DuiLib::CControlUI* m_picture = nullptr;
  DuiLib::CControlUI* m_imagePathEdit = nullptr;
  HBITMAP m_bitmap;
  ISODcmObject* m_source;
  ISOExecuter* m_host;
  std::wstring m_skinFile;
};
