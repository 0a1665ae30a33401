#include "VelstromWnd.h"

#include <filesystem>

using namespace DuiLib;

VelstromWnd::VelstromWnd(std::string path) : m_path(std::move(path)) {}

void VelstromWnd::InitWindow() {
  m_read = !m_path.empty() && ReadTagRows(m_path, m_rows);
  if (CControlUI* file = m_PaintManager.FindControl(L"fileLabel")) {
    const std::string name = std::filesystem::path(m_path).filename().string();
    file->SetText(m_read ? SOWin::FromUtf8(name).c_str() : ui_gettext(L"No DICOM file"));
    file->SetToolTip(SOWin::FromUtf8(m_path).c_str());
  }
  Filter("");
}

int VelstromWnd::Filter(const std::string& query) {
  auto* list = dynamic_cast<CListUI*>(m_PaintManager.FindControl(L"tagList"));
  if (!list) return 0;
  list->RemoveAll();
  int shown = 0;
  for (const TagRow& row : m_rows) {
    if (!RowMatches(row, query)) continue;
    auto* item = new CListTextElementUI;
    list->Add(item);
    const std::wstring indent(static_cast<size_t>(row.depth) * 2, L' ');
    item->SetText(0, (indent + SOWin::FromUtf8(row.tag)).c_str());
    item->SetText(1, SOWin::FromUtf8(row.vr).c_str());
    item->SetText(2, SOWin::FromUtf8(row.name).c_str());
    item->SetText(3, SOWin::FromUtf8(row.value).c_str());
    ++shown;
  }
  if (CControlUI* count = m_PaintManager.FindControl(L"countLabel"))
    count->SetText((std::to_wstring(shown) + L" / " + std::to_wstring(m_rows.size())).c_str());
  return shown;
}

void VelstromWnd::Notify(TNotifyUI& msg) {
  if (msg.sType == L"textchanged" && msg.pSender && msg.pSender->GetName() == L"searchEdit") {
    Filter(SOWin::ToUtf8(msg.pSender->GetText().GetData()));
    return;
  }
  WindowImplBase::Notify(msg);
}

LRESULT VelstromWnd::OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  // The program is this window: closing it ends the program.
  PostQuitMessage(0);
  return WindowImplBase::OnClose(uMsg, wParam, lParam, bHandled);
}
