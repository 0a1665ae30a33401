#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "JorvelRecords.h"
#include "RemoteUI.h"
#include "Waiting.h"

// Creates a consultation team: name, description, a mobile number verified by an SMS code.
class CTeamCreateDlg : public DuiLib::WndDialog {
 public:
  static constexpr UINT_PTR kCountdownTimer = 0x5C11;

  const wchar_t* GetWindowClassName() const override { return L"CTeamCreateDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  static void Run(HWND owner);

  // One second of the code button's countdown (the dialog's timer calls it).
  void OnTick();
  int Countdown() const { return countdown_; }
  // ^(1[3-9])\d{9}$
  static bool IsMobileNumber(const std::wstring& text);

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"remote/team_create_dlg.xml"; }
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  std::wstring Trimmed(const wchar_t* edit);
  void ShowError(const std::wstring& text);
  void OnSendCode();
  void ShowCountdown();
  void OnCreate();

  int countdown_ = 0;
  UIX_Waiting waiting_;
};

// Recharges a paid team's balance: an amount, a payment order shown as a QR code, and the
// paid page once the service reports the payment. The payment's status is polled by a thread of
// this dialog, which stops when the dialog closes.
class CRechargeDlg : public DuiLib::WndDialog {
 public:
  static constexpr UINT kPaidMessage = WM_USER + 1;

  explicit CRechargeDlg(const TeamRecord& team);
  ~CRechargeDlg() override;
  const wchar_t* GetWindowClassName() const override { return L"CRechargeDlg"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;
  static void Run(const TeamRecord& team, HWND owner);

  // The amount text read as whole yuan: its leading decimal digits, 0 when there are none or
  // when the number does not fit.
  static int ParseAmount(const std::string& text);
  // A w x w 32-bit top-down bitmap of the QR symbol of text (one pixel per module, no quiet
  // zone), null when the text cannot be encoded.
  static HBITMAP MakeQRBitmap(const std::string& text, int& width);
  // How long the status poll waits between calls (ms); tests shorten it.
  static void SetPollInterval(int ms);

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"remote/recharge_dlg.xml"; }
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  void NextStep();
  void RequestPayment();
  void StartPolling(const std::string& tradeNo);

  TeamRecord team_;
  // Shared with this dialog's poll thread: set when the dialog goes or a newer order replaces
  // the one being polled.
  std::shared_ptr<std::atomic<bool>> stopPoll_;
};
