// Shows a skinned dialog with every control of the skin engine.
//   dui_demo                      run it until it is closed
//   dui_demo --screenshot out.png [page]
//                                 show it (on tab page 0, 1 or 2), save what the screen shows, quit

#include "UITestDriver.h"
#include "UIlib.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdlib>
#include <cstring>
#include <string>

using namespace DuiLib;

namespace {

class CDemoDlg : public WndDialog {
 public:
  void InitWindow() override {
    auto* list = static_cast<CListUI*>(m_PaintManager.FindControl(L"studyList"));
    const wchar_t* rows[][4] = {{L"Zhang Wei 张伟", L"CT", L"2024-03-18", L"312"},
                                {L"Li Na 李娜", L"MR", L"2024-03-17", L"1,024"},
                                {L"Chen Jie 陈杰", L"DX", L"2024-03-16", L"2"},
                                {L"Smith^John", L"CR", L"2024-03-15", L"4"}};
    for (auto& r : rows) {
      auto* row = new CListTextElementUI;
      list->Add(row);
      for (int c = 0; c < 4; ++c) row->SetText(c, r[c]);
    }
    list->SelectItem(0, false, false);
    static_cast<CComboUI*>(m_PaintManager.FindControl(L"sexCombo"))->SelectItem(0, false, false);
    static_cast<CDateTimeUI*>(m_PaintManager.FindControl(L"studyDate"))->SetTime(2024, 3, 18);
    m_PaintManager.FindControl(L"nameEdit")->SetText(L"Zhang Wei 张伟");
  }

  void Notify(TNotifyUI& msg) override {
    CControlUI* status = m_PaintManager.FindControl(L"statusLabel");
    if (msg.sType == L"selectchanged") {
      const wchar_t* pages[] = {L"generalOpt", L"listOpt", L"treeOpt"};
      auto* tab = static_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"switch"));
      for (int i = 0; i < 3; ++i)
        if (msg.pSender->GetName() == pages[i]) tab->SelectItem(i);
    } else if (msg.sType == L"click" && msg.pSender->GetName() == L"okBtn") {
      Close(IDOK);
    } else if (msg.sType == L"click" && msg.pSender->GetName() == L"cancelBtn") {
      Close(IDCANCEL);
    }
    if (status && msg.pSender && msg.sType != L"windowinit" && msg.sType != L"setfocus" &&
        msg.sType != L"killfocus")
      status->SetText((msg.sType + L": " + msg.pSender->GetName()).GetData());
    WndDialog::Notify(msg);
  }

  void OnFinalMessage(HWND hWnd) override {
    WndDialog::OnFinalMessage(hWnd);
    PostQuitMessage(0);
  }

 protected:
  CDuiString GetSkinFolder() override { return L""; }
  CDuiString GetSkinFile() override { return L"dui_test/fixture.xml"; }
  const wchar_t* GetWindowClassName() const override { return L"CDemoDlg"; }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const char* screenshot = argc > 2 && std::strcmp(argv[1], "--screenshot") == 0 ? argv[2] : nullptr;
  CPaintManagerUI::SetResourcePath(QString::fromUtf8(DUI_DEMO_SKINS).toStdWString().c_str());
  CDemoDlg dlg;
  if (!dlg.Create(nullptr, L"Skin engine demo", WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, 0)) return 1;
  dlg.SetTitle(L"Skin engine demo 皮肤引擎");
  dlg.CenterWindow();
  dlg.ShowWindow(true);
  if (screenshot && argc > 3) {
    const wchar_t* pages[] = {L"generalOpt", L"listOpt", L"treeOpt"};
    int page = std::atoi(argv[3]);
    if (page >= 0 && page < 3) UITest::Click(dlg.m_PaintManager, pages[page]);
  }
  if (!screenshot) {
    CPaintManagerUI::MessageLoop();
    return 0;
  }
  SOWin::PumpEvents(500);
  RECT rc;
  GetWindowRect(dlg, &rc);
  QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, rc.left, rc.top, rc.right - rc.left,
                                                              rc.bottom - rc.top);
  bool saved = !shot.isNull() && shot.save(QString::fromUtf8(screenshot));
  // Platforms without a screen to grab (offscreen) get the window's own rendering.
  if (!saved) saved = SOWin::SaveWindowImage(dlg, screenshot);
  return saved ? 0 : 1;
}
