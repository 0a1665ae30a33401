#include "SOPluginFilmWnd.h"

#include "BlockLayout.h"
#include "FilmFile.h"
#include "FilmWindows.h"
#include "Gossamy.h"
#include "SODcmFile.h"
#include "SODialog.h"
#include "SOFilmSettingDlg.h"
#include "SOPrintQueueDlg.h"
#include "SOString.h"
#include "Zarnet.h"

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <utility>

using namespace DuiLib;

namespace brenvik {

namespace {

struct ProgressRecord {
  int percent = 0;
  std::wstring text;
  bool autoClose = false;
};

std::wstring Format(const wchar_t* key, int done, int total) {
  wchar_t text[128];
  std::swprintf(text, 128, ui_gettext(key), done, total);
  return text;
}

}  // namespace

SOPluginFilmWnd::SOPluginFilmWnd(PrinterConfig* config, SOPrintQueue* queue)
    : m_config(config ? config : PrinterConfig::Instance()), m_queue(queue) {}

SOPluginFilmWnd::~SOPluginFilmWnd() {
  m_config->RemoveListener(this);
  if (m_queue) m_queue->RemoveListener(this);
  if (ISOOstrel* ostrel = std::exchange(m_ostrel, nullptr)) {
    ostrel->UnRegisterCallback(this);
    ReleaseOstrel(ostrel);
  }
}

HWND SOPluginFilmWnd::CreateWnd(HWND parent, int x, int y, int cx, int cy) {
  return Create(parent, L"SOPluginFilmWnd", 0x56000000, WS_EX_ACCEPTFILES, x, y, cx, cy);
}

void SOPluginFilmWnd::InitWindow() {
  m_invoke.Create(m_hWnd);
  m_config->AddListener(this);
  Queue()->AddListener(this);

  CControlUI* panel = m_PaintManager.FindControl(L"ostrelPanel");
  m_ostrel = CreateOstrel();
  const RECT pos = panel ? panel->GetPos() : RECT{};
  m_ostrel->Create(m_hWnd, pos.left, pos.top, pos.right - pos.left, pos.bottom - pos.top);
  m_ostrel->RegisterCallback(this);
  m_ostrel->SetHeaderVisible(true);
  m_ostrel->SetHeaderRatio(0.013f);
  if (panel) panel->OnSize += MakeDelegate(this, &SOPluginFilmWnd::OnPanelSize);

  m_tabs = Find<CHorizontalLayoutUI>(m_PaintManager, L"filmTabHeadr");
  if (m_tabs) m_tabs->SetVisible(false);
  m_printerCombo = Find<CComboUI>(m_PaintManager, L"printerCombo");
  FillPrinterCombo();
}

bool SOPluginFilmWnd::OnPanelSize(void* param) {
  auto* panel = static_cast<CControlUI*>(param);
  const RECT pos = panel->GetPos();
  if (m_ostrel) m_ostrel->Move(pos.left, pos.top, pos.right - pos.left, pos.bottom - pos.top);
  return true;
}

bool SOPluginFilmWnd::OnMessage(int id, void* data, HWND) {
  if (id != SOMSG_FILM_FILES || !data || !m_ostrel) return false;
  const auto& paths = *static_cast<const std::vector<std::string>*>(data);
  if (paths.empty()) return false;
  LoadPaths(paths);
  SODcmFile first;
  std::string study;
  if (first.LoadFile(paths.front().c_str(), false) && first.GetDataset()->GetString(0x0020000D, study) && !study.empty())
    m_ostrel->SelectSessionByStudyUID(study.c_str());
  return false;
}

void SOPluginFilmWnd::LoadPaths(const std::vector<std::string>& paths) {
  SOPtrArray list;
  std::vector<std::unique_ptr<SOString>> owned;
  for (const std::string& path : paths) {
    owned.push_back(std::make_unique<SOString>(path.c_str()));
    list.Add(owned.back().get());
  }
  m_ostrel->LoadFiles(&list);
}

bool SOPluginFilmWnd::AllFilms() {
  auto* all = Find<COptionUI>(m_PaintManager, L"allOpt");
  return all && all->IsSelected();
}

POINT SOPluginFilmWnd::BelowControl(CControlUI* control) {
  const RECT pos = control->GetPos();
  POINT at{pos.left, pos.bottom};
  ::ClientToScreen(m_hWnd, &at);
  return at;
}

int SOPluginFilmWnd::PopupMenu(CControlUI* below, const std::vector<const wchar_t*>& items) {
  HMENU menu = ::CreatePopupMenu();
  UINT id = 1;
  for (const wchar_t* item : items) {
    if (item)
      ::AppendMenuW(menu, MF_STRING, id, ui_gettext(item));
    else
      ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ++id;
  }
  const POINT at = BelowControl(below);
  const int chosen = ::TrackPopupMenu(menu, TPM_RETURNCMD, at.x, at.y, 0, m_hWnd, nullptr);
  ::DestroyMenu(menu);
  return chosen;
}

void SOPluginFilmWnd::OpenLayoutPicker(CControlUI* below) {
  const HWND self = m_hWnd;
  BlockLayout::Open(m_hWnd, BelowControl(below), [self](int rows, int columns) {
    ::PostMessageW(self, WM_SO_IMAGELAYOUT, static_cast<WPARAM>(rows), static_cast<LPARAM>(columns));
  });
}

void SOPluginFilmWnd::ToggleTool(const wchar_t* icon, int tool) {
  auto* option = Find<COptionUI>(m_PaintManager, icon);
  if (!option) return;
  option->Selected(!option->IsSelected(), false);
  m_ostrel->SetMouseTool(option->IsSelected() ? tool : 0);
}

void SOPluginFilmWnd::SelectGraphic(int page, bool toggle) {
  static const int kTools[] = {6, 5, 4, 7};
  auto* tabs = Find<CTabLayoutUI>(m_PaintManager, L"graphicTab");
  if (!tabs || page < 0 || page > 3) return;
  tabs->SelectItem(page, false);
  auto* option = dynamic_cast<COptionUI*>(tabs->GetItemAt(page));
  if (!option) return;
  option->Selected(toggle ? !option->IsSelected() : true, false);
  m_ostrel->SetMouseTool(option->IsSelected() ? kTools[page] : 0);
}

void SOPluginFilmWnd::Notify(TNotifyUI& msg) {
  if (!msg.pSender || !m_ostrel) {
    WindowImplBase::Notify(msg);
    return;
  }
  const CDuiString name = msg.pSender->GetName();
  if (msg.sType == L"selectchanged" && name == L"filmTabOpt") {
    if (msg.pSender->GetParent()) m_ostrel->SelectSession(reinterpret_cast<ISOFilmSession*>(msg.pSender->GetParent()->GetTag()));
    return;
  }
  if (msg.sType == L"itemselect" && msg.pSender == m_printerCombo) {
    ApplyPrinterHeader();
    return;
  }
  if (msg.sType != L"click") {
    WindowImplBase::Notify(msg);
    return;
  }
  static const struct {
    const wchar_t* name;
    int rows, columns;
  } kFilmLayouts[] = {{L"S1X1Btn", 1, 1}, {L"S1X2Btn", 1, 2}, {L"S1X3Btn", 1, 3}, {L"S2X2Btn", 2, 2}},
    kImageLayouts[] = {{L"I1X1Btn", 1, 1}, {L"I4X5Btn", 5, 4}, {L"I5X7Btn", 7, 5}};
  for (const auto& l : kFilmLayouts)
    if (name == l.name) return (void)m_ostrel->SetFilmLayout(l.rows, l.columns);
  for (const auto& l : kImageLayouts)
    if (name == l.name) return m_ostrel->SetImageLayout(l.rows, l.columns, AllFilms());

  if (name == L"filmTabCloseBtn") {
    if (msg.pSender->GetParent())
      m_ostrel->RemoveSession(reinterpret_cast<ISOFilmSession*>(msg.pSender->GetParent()->GetTag()));
  } else if (name == L"openFolderBtn") {
    OpenFolder();
  } else if (name == L"openFileBtn") {
    OpenFile();
  } else if (name == L"settingBtn") {
    SOSettingDlg dialog(m_config);
    RunModal(dialog, m_hWnd, L"SOSettingDlg");
  } else if (name == L"filmLayoutDownBtn") {
    CControlUI* icon = m_PaintManager.FindControl(L"filmLayoutIcon");
    if (icon && ::PtInRect(&icon->GetPos(), msg.ptMouse)) {
      OpenLayoutPicker(msg.pSender);
    } else {
      const int chosen = PopupMenu(msg.pSender, {L"6x7", L"6x8", L"MxN"});
      if (chosen == 1) m_ostrel->SetImageLayout(7, 6, AllFilms());
      if (chosen == 2) m_ostrel->SetImageLayout(8, 6, AllFilms());
      if (chosen == 3) OpenLayoutPicker(msg.pSender);
    }
  } else if (name == L"portraitBtn" || name == L"landscapeBtn") {
    m_ostrel->SetOrientation(name == L"portraitBtn" ? 1 : 2, AllFilms());
  } else if (name == L"wwBtn") {
    ToggleTool(L"wwIcon", 1);
  } else if (name == L"zoomBtn") {
    ToggleTool(L"zoomIcon", 2);
  } else if (name == L"panBtn") {
    ToggleTool(L"panIcon", 3);
  } else if (name == L"graphicDownBtn") {
    auto* tabs = Find<CTabLayoutUI>(m_PaintManager, L"graphicTab");
    if (tabs && ::PtInRect(&tabs->GetPos(), msg.ptMouse)) {
      SelectGraphic(tabs->GetCurSel(), true);
    } else {
      const int chosen = PopupMenu(msg.pSender, {L"Length", L"Ellipse", L"Rectangle", L"Angle", nullptr, L"Remove all"});
      if (chosen >= 1 && chosen <= 4) SelectGraphic(chosen - 1, false);
      if (chosen == 6) m_ostrel->ClearGraphics();
    }
  } else if (name == L"deleteImageBtn") {
    m_ostrel->DeleteImage();
  } else if (name == L"deleteFilmBtn") {
    m_ostrel->DeleteFilm();
  } else if (name == L"recoverFilmBtn") {
    m_ostrel->RecoverFilm();
  } else if (name == L"printQueueBtn") {
    SOPrintQueueDlg dialog(Queue());
    RunModal(dialog, m_hWnd, L"SOPrintQueueDlg");
  } else if (name == L"printCurrentBtn" || name == L"printAllBtn") {
    Print(name == L"printAllBtn");
  } else {
    WindowImplBase::Notify(msg);
  }
}

LRESULT SOPluginFilmWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (uMsg == WM_SO_IMAGELAYOUT) {
    if (m_ostrel) m_ostrel->SetImageLayout(static_cast<int>(wParam), static_cast<int>(lParam), AllFilms());
    return 0;
  }
  return WindowImplBase::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

void SOPluginFilmWnd::OpenFolder() {
  std::string start, folder;
  Gossamy::ReadHKCU("FilmOpenPath", start);
  if (!SODialog::BrowseForFolder(m_hWnd, ui_gettext(L"Select folder"), start, folder)) return;
  Gossamy::WriteHKCU("FilmOpenPath", folder.c_str());
  m_ostrel->LoadDir(folder.c_str());
}

void SOPluginFilmWnd::OpenFile() {
  std::vector<std::string> paths;
  if (!SODialog::ChooseFiles(m_hWnd, L"DICOM \0*.*\0\0", 20800, paths)) return;
  LoadPaths(paths);
}

CContainerUI* SOPluginFilmWnd::TabOf(ISOFilmSession* session) {
  for (int i = 0; m_tabs && i < m_tabs->GetCount(); ++i)
    if (m_tabs->GetItemAt(i)->GetTag() == reinterpret_cast<UINT_PTR>(session))
      return dynamic_cast<CContainerUI*>(m_tabs->GetItemAt(i));
  return nullptr;
}

void SOPluginFilmWnd::OnLoadProgress(int done, int total) {
  // The status line takes plain ASCII.
  char text[64];
  std::snprintf(text, sizeof text, "Loading %d/%d ...", done, total);
  if (m_host) m_host->SetStatusText(text);
}

void SOPluginFilmWnd::OnLoadFinished(int, int) {
  if (m_host) m_host->SetStatusText("Load finished!");
}

void SOPluginFilmWnd::OnSessionAdded(ISOFilmSession* session) {
  if (!m_tabs) return;
  CDialogBuilder builder;
  auto* item = dynamic_cast<CContainerUI*>(builder.Create(L"film/tabitem.xml", nullptr, nullptr, &m_PaintManager));
  if (!item) return;
  item->SetTag(reinterpret_cast<UINT_PTR>(session));
  if (CControlUI* option = item->GetItemAt(0)) {
    const std::wstring title = SOWin::FromUtf8(session->GetTitle().str());
    option->SetText(title.c_str());
    option->SetToolTip(title.c_str());
  }
  m_tabs->Add(item);
  m_tabs->SetVisible(true);
}

void SOPluginFilmWnd::OnSessionRemoved(ISOFilmSession* session) {
  if (CContainerUI* item = TabOf(session)) m_tabs->Remove(item);
  if (m_tabs && m_tabs->GetCount() == 0) m_tabs->SetVisible(false);
}

void SOPluginFilmWnd::OnSessionSelected(ISOFilmSession* session) {
  if (CContainerUI* item = TabOf(session))
    if (auto* option = dynamic_cast<COptionUI*>(item->GetItemAt(0))) option->Selected(true, false);
}

void SOPluginFilmWnd::OnExportProgress(ISOFilmSession*, SODcmFile*, int done, int total) {
  auto* record = new ProgressRecord{total > 0 ? done * 100 / total : 0, Format(L"Generating films %d/%d ...", done, total)};
  const HWND self = m_hWnd;
  m_invoke.BeginInvoke(std::function<void(ProgressRecord*)>([self](ProgressRecord* r) {
                         ProgressBoxUI(self, static_cast<unsigned short>(r->percent), r->text.c_str(), r->autoClose, false);
                       }),
                       record);
}

void SOPluginFilmWnd::OnExportFinished(ISOFilmSession*, SODcmFile*, int, int) {
  auto* record = new ProgressRecord{100, ui_gettext(L"Generating films finished!"), true};
  const HWND self = m_hWnd;
  m_invoke.BeginInvoke(std::function<void(ProgressRecord*)>([self](ProgressRecord* r) {
                         ProgressBoxUI(self, static_cast<unsigned short>(r->percent), r->text.c_str(), r->autoClose, false);
                       }),
                       record);
}

void SOPluginFilmWnd::OnPrinterConfigChanged() { FillPrinterCombo(); }

void SOPluginFilmWnd::FillPrinterCombo() {
  if (!m_printerCombo) return;
  const std::wstring remembered = m_printerCombo->GetText().GetData();
  m_printerCombo->RemoveAll();
  const std::vector<PrinterRecord> printers = m_config->Printers();
  int byName = -1, byDefault = -1;
  for (size_t i = 0; i < printers.size(); ++i) {
    auto* item = new CListLabelElementUI;
    const std::wstring name = SOWin::FromUtf8(printers[i].name);
    item->SetText(name.c_str());
    item->SetFixedHeight(28);
    m_printerCombo->Add(item);
    if (byName < 0 && name == remembered) byName = static_cast<int>(i);
    if (byDefault < 0 && printers[i].isDefault) byDefault = static_cast<int>(i);
  }
  if (printers.empty()) return;
  m_printerCombo->SelectItem(byName >= 0 ? byName : byDefault >= 0 ? byDefault : 0, false, false);
  ApplyPrinterHeader();
}

void SOPluginFilmWnd::ApplyPrinterHeader() {
  std::optional<PrinterRecord> printer = GetSelectedPrinter();
  if (!printer || !m_ostrel) return;
  m_ostrel->SetHeaderVisible(printer->headerVisible);
  m_ostrel->SetHeaderRatio(static_cast<float>(printer->headerSizeRatio));
}

std::optional<PrinterRecord> SOPluginFilmWnd::GetSelectedPrinter() {
  if (!m_printerCombo) return std::nullopt;
  const std::string text = SOWin::ToUtf8(m_printerCombo->GetText().GetData());
  if (text.empty()) return std::nullopt;
  for (const PrinterRecord& p : m_config->Printers())
    if (p.name == text) return p;
  return std::nullopt;
}

void SOPluginFilmWnd::ShowMessage(const wchar_t* key) {
  m_invoke.BeginInvoke([self = m_hWnd, key] { MessageBoxUI(self, ui_gettext(key), nullptr, 0); });
}

bool SOPluginFilmWnd::Print(bool allFilms) {
  std::optional<PrinterRecord> printer = GetSelectedPrinter();
  if (!printer) {
    MessageBoxUI(m_hWnd, ui_gettext(L"Please select a printer!"), nullptr, 0);
    return false;
  }
  ++m_generating;
  std::thread([this, task = FilmPrintTask{*printer, allFilms}] {
    GenerateFilms(task);
    --m_generating;
  }).detach();
  return true;
}

void SOPluginFilmWnd::GenerateFilms(FilmPrintTask task) {
  if (!m_ostrel->GetCurrentSession()) return;
  SODcmFile file;
  if (!m_ostrel->ExportFilms(&file, task.allFilms, nullptr)) {
    ShowMessage(L"The films could not be generated!");
    return;
  }
  filmfile::StampPrinter(*file.GetDataset(), task.printer);
  if (!Queue()->AddJob(&file)) {
    ShowMessage(L"The film could not be saved for printing!");
    return;
  }
  std::string uid;
  file.GetDataset()->GetString(0x00080018, uid);
  int state = -1;
  {
    std::lock_guard<std::mutex> lock(m_jobsMutex);
    if (auto done = m_finished.find(uid); done != m_finished.end()) {
      state = done->second;
      m_finished.erase(done);
    } else {
      m_pending.insert(uid);
    }
  }
  if (state >= 0) ShowOutcome(state);
}

SOPrintQueue* SOPluginFilmWnd::Queue() {
  if (!m_queue) m_queue = SOPrintQueue::Instance();
  return m_queue;
}

void SOPluginFilmWnd::OnPrintQueueChanged(std::vector<PrintJob> jobs) {
  std::vector<int> outcomes;
  {
    std::lock_guard<std::mutex> lock(m_jobsMutex);
    // Only a generation thread still running can come to claim a finished job.
    if (m_generating == 0) m_finished.clear();
    for (const PrintJob& job : jobs) {
      if (job.state != PRINTJOB_DONE && job.state != PRINTJOB_FAILED) continue;
      if (m_pending.erase(job.uid))
        outcomes.push_back(job.state);
      else if (m_generating > 0)
        m_finished.emplace(job.uid, job.state);
    }
  }
  for (int state : outcomes) ShowOutcome(state);
}

void SOPluginFilmWnd::ShowOutcome(int state) {
  if (state == PRINTJOB_DONE) {
    if (m_host) m_host->SetStatusText(ui_gettext("The films were printed."));
  } else {
    ShowMessage(L"The films could not be printed!");
  }
}

}  // namespace brenvik
