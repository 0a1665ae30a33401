#include "UICtrlSkin.h"
#include "UIGettext.h"
#include "Zarnet.h"

using namespace DuiLib;

namespace {

class CMessageBoxUI : public WndDialog {
 public:
  int result = IDCANCEL;

  const wchar_t* GetWindowClassName() const override { return L"CMessageBoxUI"; }

  void InitWindow() override {
    m_pNoBtn = m_PaintManager.FindControl(L"noBtn");
    m_pYesBtn = m_PaintManager.FindControl(L"yesBtn");
    m_pCancelBtn = m_PaintManager.FindControl(L"cancelBtn");
    m_pConfirmBtn = m_PaintManager.FindControl(L"confirmBtn");
  }

  void Show(const wchar_t* text, const wchar_t* caption, unsigned int style) {
    SetTitle(caption ? caption : ui_gettext(L"Message"));
    if (CControlUI* label = m_PaintManager.FindControl(L"textText"); label && text) label->SetText(text);
    const bool yesNo = style == MB_YESNO;
    SetVisible(m_pNoBtn, yesNo);
    SetVisible(m_pYesBtn, yesNo);
    SetVisible(m_pConfirmBtn, !yesNo);
    SetVisible(m_pCancelBtn, style == MB_OKCANCEL);
  }

  void Notify(TNotifyUI& msg) override {
    if (msg.sType == L"click") {
      const int answers[][2] = {{0, IDNO}, {1, IDYES}, {2, IDCANCEL}, {3, IDOK}};
      CControlUI* buttons[] = {m_pNoBtn, m_pYesBtn, m_pCancelBtn, m_pConfirmBtn};
      for (auto [index, answer] : answers)
        if (msg.pSender && msg.pSender == buttons[index]) {
          result = answer;
          Close(UINT(answer));
          return;
        }
    }
    WndDialog::Notify(msg);
  }

 protected:
  CDuiString GetSkinFolder() override { return kZarnetSkinFolder; }
  CDuiString GetSkinFile() override { return L"uictrl/message_box.xml"; }

 private:
  static void SetVisible(CControlUI* control, bool visible) {
    if (control) control->SetVisible(visible);
  }

  CControlUI* m_pNoBtn = nullptr;
  CControlUI* m_pYesBtn = nullptr;
  CControlUI* m_pCancelBtn = nullptr;
  CControlUI* m_pConfirmBtn = nullptr;
};

}  // namespace

int MessageBoxUI(HWND parent, const wchar_t* text, const wchar_t* caption, unsigned int style) {
  CMessageBoxUI box;
  if (!box.Create(parent, L"MessageBox", 0x86C80000, 0, 0, 0, 0, 0)) return IDCANCEL;
  box.CenterWindow();
  box.Show(text, caption, style);
  box.ShowModal();
  return box.result;
}
