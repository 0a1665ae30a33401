#include "TeamDialogs.h"

#include <qrencode.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <thread>

#include "Gossamy.h"
#include "Jorvel.h"
#include "LinkManager.h"
#include "MServer.h"
#include "WebError.h"
#include "Zarnet.h"

using namespace DuiLib;

namespace {

void RunModalDialog(CWindowWnd& dialog, HWND owner, const wchar_t* name, DWORD style) {
  if (!dialog.Create(owner, name, style, 0, 0, 0, 0, 0)) return;
  dialog.CenterWindow();
  dialog.ShowModal();
}

std::atomic<int> g_pollInterval{1500};

}  // namespace

// ---- CTeamCreateDlg ---------------------------------------------------------------------------

void CTeamCreateDlg::Run(HWND owner) {
  CTeamCreateDlg dialog;
  RunModalDialog(dialog, owner, L"CTeamCreateDlg", 0x80C80000);
}

void CTeamCreateDlg::InitWindow() { waiting_.Init(m_hWnd, &m_PaintManager); }

bool CTeamCreateDlg::IsMobileNumber(const std::wstring& text) {
  static const std::wregex rule(L"^(1[3-9])\\d{9}$", std::regex::ECMAScript);
  return std::regex_match(text, rule);
}

std::wstring CTeamCreateDlg::Trimmed(const wchar_t* name) {
  CControlUI* edit = m_PaintManager.FindControl(name);
  if (!edit) return std::wstring();
  std::wstring text = edit->GetText().str();
  const size_t first = text.find_first_not_of(L' ');
  text = first == std::wstring::npos ? std::wstring() : text.substr(first, text.find_last_not_of(L' ') - first + 1);
  edit->SetText(text.c_str());
  return text;
}

void CTeamCreateDlg::ShowError(const std::wstring& text) {
  if (CControlUI* label = m_PaintManager.FindControl(L"webErrorLabel")) label->SetText(text.c_str());
}

void CTeamCreateDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) {
    const CDuiString name = msg.pSender->GetName();
    if (name == L"verifyCodeSendBtn") return OnSendCode();
    if (name == L"createBtn") return OnCreate();
  }
  WndDialog::Notify(msg);
}

void CTeamCreateDlg::OnSendCode() {
  const std::wstring mobile = Trimmed(L"phoneEdit");
  if (mobile.empty()) return ShowError(ui_gettext(L"The mobile number cannot be empty!"));
  if (!IsMobileNumber(mobile)) return ShowError(ui_gettext(L"The mobile number format is incorrect!"));
  const std::string number = RemoteUI::Utf8(mobile);
  WebError error;
  if (!Web_VerifyCode(&number, &error)) return ShowError(ui_gettext(Gossamy::GetString(error).c_str()));
  countdown_ = 60;
  ShowCountdown();
  SetTimer(m_hWnd, kCountdownTimer, 1000, nullptr);
  ShowError(L"");
}

void CTeamCreateDlg::OnTick() {
  const int n = countdown_;
  countdown_ = std::max(n - 1, 0);
  if (n <= 1) KillTimer(m_hWnd, kCountdownTimer);
  ShowCountdown();
}

void CTeamCreateDlg::ShowCountdown() {
  CControlUI* button = m_PaintManager.FindControl(L"verifyCodeSendBtn");
  if (!button) return;
  if (countdown_ > 0) {
    CDuiString text;
    text.Format(L"(%dS)", countdown_);
    button->SetText(text);
  } else {
    button->SetText(ui_gettext(L"获取短信验证码"));
  }
  button->SetEnabled(countdown_ == 0);
}

LRESULT CTeamCreateDlg::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (uMsg == WM_TIMER && wParam == kCountdownTimer) {
    bHandled = TRUE;
    OnTick();
    return 0;
  }
  return WndDialog::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

void CTeamCreateDlg::OnCreate() {
  ShowError(L"");
  const std::wstring name = Trimmed(L"teamNameEdit"), desc = Trimmed(L"teamDescEdit"),
                     mobile = Trimmed(L"phoneEdit"), code = Trimmed(L"verifyCodeEdit");
  if (name.empty() || desc.empty() || mobile.empty() || code.empty())
    return ShowError(ui_gettext(L"Input fields cannot be empty!"));
  waiting_.Show();
  TeamRecord team;
  WebError error;
  if (Web_TeamCreate(RemoteUI::Utf8(name), RemoteUI::Utf8(desc), RemoteUI::Utf8(mobile), RemoteUI::Utf8(code), &team,
                     &error)) {
    ShowError(L"");
    waiting_.Success();
    MServer::Instance().PollNow();
    return;
  }
  ShowError(ui_gettext(Gossamy::GetString(error).c_str()));
  waiting_.Hide();
}

// ---- CRechargeDlg -----------------------------------------------------------------------------

void CRechargeDlg::SetPollInterval(int ms) { g_pollInterval = ms; }

CRechargeDlg::CRechargeDlg(const TeamRecord& team) : team_(team) {}

CRechargeDlg::~CRechargeDlg() {
  if (stopPoll_) *stopPoll_ = true;
}

void CRechargeDlg::Run(const TeamRecord& team, HWND owner) {
  CRechargeDlg dialog(team);
  RunModalDialog(dialog, owner, L"CRechargeDlg", 0x00C80000);
}

void CRechargeDlg::InitWindow() {
  if (CControlUI* balance = m_PaintManager.FindControl(L"totalAmountLabel"))
    balance->SetText(RemoteUI::Wide(team_.totalAmount).c_str());
}

void CRechargeDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) {
    const CDuiString name = msg.pSender->GetName();
    if (name == L"nextStepBtn") return NextStep();
    if (name == L"refreshQRBtn") return RequestPayment();
  }
  WndDialog::Notify(msg);
}

int CRechargeDlg::ParseAmount(const std::string& text) {
  const char* start = text.c_str();
  while (*start == ' ' || *start == '\t') ++start;
  if (!std::isdigit(static_cast<unsigned char>(*start)) && *start != '-' && *start != '+') return 0;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(start, &end, 10);
  if (end == start || errno == ERANGE || value > INT_MAX || value < INT_MIN) return 0;
  return int(value);
}

void CRechargeDlg::NextStep() {
  CControlUI* edit = m_PaintManager.FindControl(L"chargeAmountEdit");
  const int amount = edit ? ParseAmount(RemoteUI::Utf8(edit->GetText().str())) : 0;
  if (edit) edit->SetText(std::to_wstring(amount).c_str());
  if (amount <= 0) {
    MessageBoxUI(m_hWnd, ui_gettext(L"充值额度需要大于等于1元"), nullptr, 0);
    return;
  }
  RemoteUI::SelectPage(m_PaintManager, L"tabLayout", 1);
  RequestPayment();
}

HBITMAP CRechargeDlg::MakeQRBitmap(const std::string& text, int& width) {
  QRcode* code = QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_H, QR_MODE_8, 1);
  if (!code) return nullptr;
  const int w = code->width;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -w;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap && bits) {
    auto* pixels = static_cast<uint32_t*>(bits);
    for (int y = 0; y < w; ++y)
      for (int x = 0; x < w; ++x) pixels[y * w + x] = (code->data[y * w + x] & 1) ? 0xFF000000u : 0xFFFFFFFFu;
    width = w;
  }
  QRcode_free(code);
  return bits ? bitmap : nullptr;
}

void CRechargeDlg::RequestPayment() {
  CControlUI* refresh = m_PaintManager.FindControl(L"refreshLayout");
  if (refresh) refresh->SetVisible(false);
  CControlUI* edit = m_PaintManager.FindControl(L"chargeAmountEdit");
  const std::string amount = edit ? RemoteUI::Utf8(edit->GetText().str()) : std::string();
  PayOrderRecord order;
  WebError error;
  bool shown = false;
  if (Web_PayOrvantaTeam(team_.id, amount, &order, &error) && !order.qrText.empty()) {
    int width = 0;
    if (HBITMAP bitmap = MakeQRBitmap(order.qrText, width)) {
      const std::wstring name = RemoteUI::Wide(order.tradeNo);
      m_PaintManager.RemoveImage(name.c_str());  // the same order asked for again
      if (m_PaintManager.AddImage(name.c_str(), bitmap, width, width, false, false)) {
        if (CControlUI* qr = m_PaintManager.FindControl(L"QRCodeCtrl")) qr->SetBkImage(name.c_str());
        if (CControlUI* fee = m_PaintManager.FindControl(L"totalFeeLabel"))
          fee->SetText((L"¥" + RemoteUI::Wide(order.fee)).c_str());
        StartPolling(order.tradeNo);
        shown = true;
      } else {
        DeleteObject(bitmap);
      }
    }
  }
  if (!shown && refresh) refresh->SetVisible(true);
}

void CRechargeDlg::StartPolling(const std::string& tradeNo) {
  // One poll per dialog: a newer payment order stops the thread of the older one.
  if (stopPoll_) *stopPoll_ = true;
  stopPoll_ = std::make_shared<std::atomic<bool>>(false);
  std::thread([stop = stopPoll_, tradeNo, teamId = team_.id, hwnd = m_hWnd] {
    while (!*stop) {
      std::this_thread::sleep_for(std::chrono::milliseconds(g_pollInterval.load()));
      if (*stop) return;
      TeamRecord team;
      WebError error;
      if (Web_PayStatusOrvantaTeam(tradeNo, teamId, &team, &error)) {
        LinkManager::Instance().AddOrUpdateTeam(team);
        PostMessageW(hwnd, kPaidMessage, 0, 0);
        return;
      }
    }
  }).detach();
}

LRESULT CRechargeDlg::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (uMsg == kPaidMessage) {
    bHandled = TRUE;
    if (stopPoll_) *stopPoll_ = true;
    RemoteUI::SelectPage(m_PaintManager, L"tabLayout", 2);
    return 0;
  }
  return WndDialog::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}
