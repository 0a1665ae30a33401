#include "ColorPanel.h"

#include "SOWin32.h"

using namespace DuiLib;

namespace corvide {

ColorPanel* ColorPanel::Open(HWND owner, POINT at, Apply apply, const TissuePresetStore* store) {
  auto* panel = new ColorPanel(std::move(apply), store);
  if (!panel->Create(owner, L"ColorPanel", WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                     WS_EX_TOOLWINDOW, at.x, at.y, 100, 120)) {
    delete panel;
    return nullptr;
  }
  ::SetFocus(panel->GetHWND());
  return panel;
}

void ColorPanel::InitWindow() {
  m_tiles = dynamic_cast<CTileLayoutUI*>(m_PaintManager.FindControl(L"tileLayout"));
  Fill();
}

void ColorPanel::OnFinalMessage(HWND hWnd) {
  WindowImplBase::OnFinalMessage(hWnd);
  delete this;
}

void ColorPanel::Fill() {
  if (!m_tiles) return;
  m_tiles->RemoveAll();
  m_presets = (m_store ? m_store : TissuePresetStore::Instance())->Presets();
  for (size_t i = 0; i < m_presets.size(); ++i) {
    CDialogBuilder builder;
    auto* tile = dynamic_cast<CContainerUI*>(builder.Create(L"3d/color_item.xml", nullptr, nullptr, &m_PaintManager));
    if (!tile) continue;
    m_tiles->Add(tile);
    if (CControlUI* button = tile->GetItemAt(0)) {
      button->SetText(SOWin::FromUtf8(m_presets[i].name).c_str());
      button->SetToolTip(SOWin::FromUtf8(m_presets[i].name).c_str());
      button->SetTag(i);
      button->OnNotify += MakeDelegate(this, &ColorPanel::OnTileNotify);
    }
    if (CControlUI* picture = tile->GetItemAt(1))
      picture->SetBkImage(SOWin::FromUtf8(m_presets[i].thumbnail).c_str());
  }
}

bool ColorPanel::OnTileNotify(void* param) {
  auto* msg = static_cast<TNotifyUI*>(param);
  if (msg->sType == L"click" && msg->pSender) OnTileClick(msg->pSender->GetTag());
  return true;
}

void ColorPanel::OnTileClick(UINT_PTR tag) {
  if (tag < m_presets.size() && m_apply) m_apply(m_presets[tag].palette);
  Close();
}

LRESULT ColorPanel::OnKillFocus(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = TRUE;
  Close();
  return 0;
}

}  // namespace corvide
