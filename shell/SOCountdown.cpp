#include "SOCountdown.h"

using namespace DuiLib;

void SOCountdown::Start(HWND window, CControlUI* button) {
  m_window = window;
  m_button = button;
  m_remaining = kSeconds;
  Show();
  SetTimer(window, kTimerId, 1000, nullptr);
}

bool SOCountdown::OnTimer(WPARAM id) {
  if (id != kTimerId) return false;
  if (m_remaining > 0) --m_remaining;
  if (m_remaining == 0) KillTimer(m_window, kTimerId);
  Show();
  return true;
}

void SOCountdown::Show() {
  if (!m_button) return;
  if (m_remaining > 0) {
    CDuiString text;
    text.Format(L"(%dS)", m_remaining);
    m_button->SetText(text);
  } else {
    m_button->SetText(ui_gettext(L"获取短信验证码"));
  }
  m_button->SetEnabled(m_remaining == 0);
}
