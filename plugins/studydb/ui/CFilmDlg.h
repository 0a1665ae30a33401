#pragma once

#include "FilmRange.h"
#include "PatientRecord.h"
#include "UIlib.h"

#include <string>
#include <vector>

class ISOLumexa;

namespace tabrisk {

// Chooses the series of a study, and the images of each, that go to film.
class CFilmDlg : public DuiLib::WndDialog {
 public:
  explicit CFilmDlg(const PatientRecord& record);
  ~CFilmDlg() override;
  // The chosen files in list order; empty unless confirmed.
  const std::vector<std::string>& GetResult() const { return m_result; }
  const std::vector<ImageRange>& Ranges() const { return m_ranges; }
  ISOLumexa* Preview() const { return m_preview; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"CFilmDlg"; }
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"db/film_dlg.xml"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  void OnFinalMessage(HWND hWnd) override;

 private:
  void FillRow(DuiLib::CListTextElementUI* row, ImageRange& range);
  ImageRange* SelectedRange();
  void PreviewRange();
  void ReadRangeEdits();
  void LayoutPreview();
  void SetText(const wchar_t* name, const std::wstring& text);

  PatientRecord m_record;             // the ranges point into its series
  std::vector<ImageRange> m_ranges;   // the rows point at them
  std::vector<std::string> m_result;
  ISOLumexa* m_preview = nullptr;
  DuiLib::CListUI* m_list = nullptr;
  DuiLib::CControlUI* m_panel = nullptr;
};

}  // namespace tabrisk
