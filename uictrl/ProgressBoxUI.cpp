#include "UICtrlSkin.h"
#include "Zarnet.h"

#include <algorithm>

using namespace DuiLib;

namespace {

constexpr UINT_PTR kAutoCloseTimer = 33;
constexpr UINT kAutoCloseDelayMs = 500;

// The box of ProgressBoxUI while it is open; cleared as soon as it begins to close, so
// that a late update opens a fresh box instead of reaching a dying window. UI thread only.
CProgressBoxUI* g_sharedBox = nullptr;

}  // namespace

CProgressBoxUI::CProgressBoxUI() = default;

CProgressBoxUI::~CProgressBoxUI() {
  if (g_sharedBox == this) g_sharedBox = nullptr;
}

void CProgressBoxUI::SetText(const wchar_t* text) {
  if (!text) return;
  if (CControlUI* label = m_PaintManager.FindControl(L"textText")) label->SetText(text);
}

void CProgressBoxUI::SetProgress(unsigned short value) {
  if (m_pProgress) m_pProgress->SetValue(std::min<int>(value, 100));
}

void CProgressBoxUI::SetAutoClose(bool on) {
  if (on && IsWindow(m_hWnd)) m_nTimer = ::SetTimer(m_hWnd, kAutoCloseTimer, kAutoCloseDelayMs, nullptr);
}

void CProgressBoxUI::EnableWaiting(bool on) {
  if (auto* pages = static_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"switch"));
      pages && pages->GetInterface(L"TabLayout"))
    pages->SelectItem(on ? 1 : 0, false);
}

void CProgressBoxUI::EnableTitleBar(bool on) {
  m_bTitleBar = on;
}

void CProgressBoxUI::EnableAutoDelete(bool on) {
  m_bAutoDelete = on;
}

CDuiString CProgressBoxUI::GetSkinFolder() {
  return kZarnetSkinFolder;
}

CDuiString CProgressBoxUI::GetSkinFile() {
  return m_bTitleBar ? L"uictrl/ProgressDialog.xml" : L"uictrl/progress_box.xml";
}

void CProgressBoxUI::InitWindow() {
  m_hParent = GetWindow(m_hWnd, GW_OWNER);
  if (!m_hParent) m_hParent = GetParent(m_hWnd);
  m_shadow.Create(m_hWnd);
  m_shadow.SetSize(3);
  m_shadow.SetPosition(0, 0);
  m_pProgress = static_cast<CProgressUI*>(m_PaintManager.FindControl(L"progress"));
  if (m_pProgress && !m_pProgress->GetInterface(L"Progress")) m_pProgress = nullptr;
  if (m_pProgress) {
    m_pProgress->SetMinValue(0);
    m_pProgress->SetMaxValue(100);
  }
  m_pCancelBtn = static_cast<CButtonUI*>(m_PaintManager.FindControl(L"cancelBtn"));
}

void CProgressBoxUI::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender && msg.pSender == m_pCancelBtn) {
    if (m_hParent && IsWindow(m_hParent))
      SendMessageW(m_hParent, ProgressBoxCancelMessage, reinterpret_cast<WPARAM>(this), 0);
    return;
  }
  WndDialog::Notify(msg);
}

void CProgressBoxUI::LeaveShared() {
  if (g_sharedBox == this) g_sharedBox = nullptr;
}

LRESULT CProgressBoxUI::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (uMsg == WM_TIMER && wParam == kAutoCloseTimer) {
    ::KillTimer(m_hWnd, kAutoCloseTimer);
    m_nTimer = 0;
    LeaveShared();
    Close(UINT(m_nResult));
    bHandled = TRUE;
    return 0;
  }
  if (uMsg == WM_CLOSE) LeaveShared();
  return WndDialog::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

void CProgressBoxUI::OnFinalMessage(HWND hWnd) {
  WndDialog::OnFinalMessage(hWnd);
  LeaveShared();
  if (!m_bAutoDelete) return;
  if (m_hParent && IsWindow(m_hParent))
    SendMessageW(m_hParent, ProgressBoxClosedMessage, reinterpret_cast<WPARAM>(this), 0);
  delete this;
}

int ProgressBoxUI(HWND parent, unsigned short value, const wchar_t* text, bool autoClose, bool waiting) {
  value = std::min<unsigned short>(value, 100);
  if (g_sharedBox) {
    g_sharedBox->SetText(text);
    g_sharedBox->SetProgress(value);
    g_sharedBox->EnableWaiting(waiting);
    g_sharedBox->SetAutoClose(autoClose);
    return 0;
  }
  auto box = std::make_unique<CProgressBoxUI>();
  if (!box->Create(parent, L"ProgressBox", 0x86C80000, 0, 0, 0, 0, 0)) return IDCANCEL;
  g_sharedBox = box.get();
  box->CenterWindow();
  box->SetText(text);
  box->SetProgress(value);
  box->SetAutoClose(autoClose);
  box->EnableWaiting(waiting);
  box->ShowModal();
  return box->GetResult();
}

void ProgressBoxUI_Close() {
  if (CProgressBoxUI* box = g_sharedBox) {
    box->Close(UINT(box->GetResult()));
    g_sharedBox = nullptr;
  }
}
