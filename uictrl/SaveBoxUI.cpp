#include "UICtrlSkin.h"
#include "Zarnet.h"

using namespace DuiLib;

namespace {

class CSaveBoxUI : public WindowImplBase {
 public:
  int result = IDCANCEL;

  const wchar_t* GetWindowClassName() const override { return L"CSaveBoxUI"; }

  void InitWindow() override {
    m_shadow.Create(m_hWnd);
    m_shadow.SetSize(3);
    m_shadow.SetPosition(0, 0);
  }

  void Notify(TNotifyUI& msg) override {
    if (msg.sType == L"click" && msg.pSender) {
      const struct {
        const wchar_t* name;
        int answer;
      } answers[] = {{L"noBtn", IDNO}, {L"yesBtn", IDYES}, {L"cancelBtn", IDCANCEL}};
      for (const auto& a : answers)
        if (msg.pSender->GetName() == a.name) {
          result = a.answer;
          Close(UINT(a.answer));
          return;
        }
    }
    WindowImplBase::Notify(msg);
  }

 protected:
  CDuiString GetSkinFolder() override { return kZarnetSkinFolder; }
  CDuiString GetSkinFile() override { return L"uictrl/save_box.xml"; }

 private:
  CWndShadow m_shadow;
};

}  // namespace

int SaveBoxUI(HWND parent, const wchar_t*, const wchar_t*) {
  CSaveBoxUI box;
  if (!box.Create(parent, L"CSaveBoxUI", 0x86C80000, 0, 0, 0, 0, 0)) return IDCANCEL;
  box.CenterWindow();
  box.ShowModal();
  return box.result;
}
