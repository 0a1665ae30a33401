#include "CFilmDlg.h"

#include "ISOLumexa.h"
#include "Lumexa.h"
#include "SOUtil.h"
#include "StudyRows.h"

using namespace DuiLib;

namespace tabrisk {

namespace {

std::wstring Wide(const std::string& text) { return SOUtil::UTF82WStr(text.c_str()); }

}  // namespace

CFilmDlg::CFilmDlg(const PatientRecord& record) : m_record(record) {}

CFilmDlg::~CFilmDlg() { ReleaseLumexa(m_preview); }

void CFilmDlg::OnFinalMessage(HWND hWnd) {
  ReleaseLumexa(m_preview);
  m_preview = nullptr;
  WndDialog::OnFinalMessage(hWnd);
}

void CFilmDlg::SetText(const wchar_t* name, const std::wstring& text) {
  if (CControlUI* control = m_PaintManager.FindControl(name)) control->SetText(text.c_str());
}

void CFilmDlg::InitWindow() {
  m_list = dynamic_cast<CListUI*>(m_PaintManager.FindControl(L"seriesList"));
  m_panel = m_PaintManager.FindControl(L"lumexaPanel");
  if (m_panel) {
    m_panel->OnSize += CDelegateBase(
        [this](void*) {
          LayoutPreview();
          return true;
        },
        this, "lumexaPanel");
    m_preview = CreateLumexa();
    const RECT rc = m_panel->GetPos();
    m_preview->Create(m_hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, true);
    m_preview->ShowSelectedSeriesBorder(false);
  }
  SetText(L"patientNameLabel", Wide(PersonNameText(m_record.patientName)));
  SetText(L"patientSexLabel", Wide(m_record.patientSex));
  SetText(L"patientAgeLabel", Wide(AgeText(m_record.patientAge)));
  for (SeriesRecord& series : m_record.series)
    if (series.modality != "SR") m_ranges.push_back(MakeImageRange(&series));
  if (!m_list) return;
  for (ImageRange& range : m_ranges) {
    auto* row = new CListTextElementUI;
    m_list->Add(row);
    FillRow(row, range);
  }
  if (!m_list->SelectItem(0, false, true)) PreviewRange();
}

void CFilmDlg::LayoutPreview() {
  if (!m_preview || !m_panel) return;
  const RECT rc = m_panel->GetPos();
  m_preview->Move(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
}

void CFilmDlg::FillRow(CListTextElementUI* row, ImageRange& range) {
  row->SetTag(reinterpret_cast<UINT_PTR>(&range));
  row->SetText(0, range.checked ? L"<i common\\image\\check_bk2.png>" : L"<i common\\image\\check_bk1.png>");
  row->SetText(1, SOUtil::C2WStr(range.series->seriesNumber.c_str()).c_str());
  row->SetText(2, SOUtil::C2WStr(range.series->modality.c_str()).c_str());
  row->SetText(3, SOUtil::C2WStr(DecimalText(range.series->sliceThickness).c_str()).c_str());
  row->SetText(4, SOUtil::UTF82WStr(SOUtil::Format("%d/%d", int(range.selected.size()),
                                                   int(range.series->instances.size())).c_str())
                      .c_str());
}

ImageRange* CFilmDlg::SelectedRange() {
  if (!m_list || m_list->GetCount() == 0) return nullptr;
  auto* row = dynamic_cast<CListTextElementUI*>(m_list->GetItemAt(std::max(m_list->GetCurSel(), 0)));
  return row ? reinterpret_cast<ImageRange*>(row->GetTag()) : nullptr;
}

void CFilmDlg::PreviewRange() {
  if (m_preview) m_preview->CloseAll();
  ImageRange* range = SelectedRange();
  if (!range) {
    SetText(L"indexStartEdit", L"1");
    SetText(L"indexEndEdit", L"1");
    SetText(L"intervalEdit", L"1");
    SetText(L"selectedImageCountLabel", L"0");
    SetText(L"seriesImageCountLabel", L"0");
    return;
  }
  if (m_preview) {
    SOArray<SOString> paths;
    for (const InstanceRecord* instance : range->selected) paths.Add(SOString(instance->storePath));
    m_preview->LoadFiles(&paths);
  }
  SetText(L"indexStartEdit", std::to_wstring(range->start));
  SetText(L"indexEndEdit", std::to_wstring(range->end));
  SetText(L"intervalEdit", std::to_wstring(range->interval));
  SetText(L"selectedImageCountLabel", std::to_wstring(range->selected.size()));
  SetText(L"seriesImageCountLabel", std::to_wstring(range->series->instances.size()));
}

void CFilmDlg::ReadRangeEdits() {
  ImageRange* range = SelectedRange();
  if (!range) return;
  auto number = [this](const wchar_t* name) {
    CControlUI* edit = m_PaintManager.FindControl(name);
    return ParseRangeNumber(edit ? SOUtil::W2UTF8Str(edit->GetText()) : std::string());
  };
  ImageRange copy = *range;
  copy.start = number(L"indexStartEdit");
  copy.end = number(L"indexEndEdit");
  copy.interval = number(L"intervalEdit");
  ApplyRange(copy);
  if (copy.start == range->start && copy.end == range->end && copy.interval == range->interval) return;
  *range = copy;
  FillRow(dynamic_cast<CListTextElementUI*>(m_list->GetItemAt(std::max(m_list->GetCurSel(), 0))), *range);
  PreviewRange();
}

void CFilmDlg::Notify(TNotifyUI& msg) {
  const CDuiString name = msg.pSender ? msg.pSender->GetName() : CDuiString();
  if (msg.sType == L"itemselect" && msg.pSender == m_list) return PreviewRange();
  if (msg.sType == L"itemclick" && m_list) {
    // A click on a row's check column (column 0) turns the series on or off.
    auto* row = dynamic_cast<CListTextElementUI*>(msg.pSender);
    CControlUI* checkColumn = m_list->GetHeader() ? m_list->GetHeader()->GetItemAt(0) : nullptr;
    if (row && row->GetOwnerControl() == m_list && checkColumn && msg.ptMouse.x < checkColumn->GetPos().right) {
      auto* range = reinterpret_cast<ImageRange*>(row->GetTag());
      range->checked = !range->checked;
      FillRow(row, *range);
    }
    return;
  }
  if (msg.sType == L"killfocus" && (name == L"indexStartEdit" || name == L"indexEndEdit" || name == L"intervalEdit"))
    return ReadRangeEdits();
  if (msg.sType == L"click") {
    static const struct {
      const wchar_t* name;
      int rows, columns;
    } layouts[] = {{L"1X1Btn", 1, 1}, {L"2X2Btn", 2, 2}, {L"2X3Btn", 2, 3}, {L"3X3Btn", 3, 3}, {L"4X4Btn", 4, 4}};
    for (const auto& layout : layouts)
      if (name == layout.name) {
        if (ISOSeriesWnd* first = m_preview ? m_preview->GetSeriesWnd(0) : nullptr)
          first->SetImageLayout(layout.rows, layout.columns);
        return;
      }
    if (name == L"confirmBtn") {
      m_result.clear();
      for (const ImageRange& range : m_ranges)
        if (range.checked)
          for (const InstanceRecord* instance : range.selected) m_result.push_back(instance->storePath);
      Close(1);
      return;
    }
    if (name == L"cancelBtn") {
      Close(IDCANCEL);
      return;
    }
  }
  WndDialog::Notify(msg);
}

}  // namespace tabrisk
