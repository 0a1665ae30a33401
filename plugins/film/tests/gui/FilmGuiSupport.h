#pragma once

// Skins, catalogs and message boxes for the film plug-in's window tests.

#include "TestSupport.h"
#include "UIGettext.h"
#include "UITestDriver.h"
#include "UIlib.h"

#include <functional>
#include <string>
#include <vector>

namespace filmgui {

// The build's skins and the language's catalog.
inline void UseProgramFolder(const char* language = "zh_CN") {
  orvanta::test::EnsureQtApp();
  const auto bin = orvanta::test::ProgramFolder();
  DuiLib::CPaintManagerUI::SetResourcePath(SOWin::FromUtf8((bin / "skin").string() + "/").c_str());
  ui_bindtextdomain("orvanta", (bin / "locale").c_str());
  ui_textdomain("orvanta");
  ui_setlocal(0, language);
}

// Answers every message box with `answer` and keeps its text.
struct Boxes {
  std::vector<std::wstring> texts;
  UINT answer = IDOK;
  Boxes() { Arm(); }
  void Arm() {
    DuiLib::UITest::OnModal(L"CMessageBoxUI", [this](DuiLib::CWindowWnd* box) {
      auto* window = dynamic_cast<DuiLib::WindowImplBase*>(box);
      DuiLib::CControlUI* text = window ? window->GetPaintManager()->FindControl(L"textText") : nullptr;
      texts.push_back(text ? std::wstring(text->GetText().GetData()) : std::wstring());
      Arm();
      if (answer == IDOK && window && DuiLib::UITest::Click(*window->GetPaintManager(), L"confirmBtn")) return;
      box->Close(IDCANCEL);
    });
  }
  std::wstring Last() const { return texts.empty() ? std::wstring() : texts.back(); }
};

inline DuiLib::CPaintManagerUI& PM(DuiLib::CWindowWnd* window) {
  return *dynamic_cast<DuiLib::WindowImplBase*>(window)->GetPaintManager();
}

inline std::wstring Text(DuiLib::CPaintManagerUI& pm, const wchar_t* name) {
  DuiLib::CControlUI* control = pm.FindControl(name);
  return control ? std::wstring(control->GetText().GetData()) : L"<missing>";
}

// Runs UI events until done() or the limit (ms).
inline bool PumpUntil(const std::function<bool()>& done, int limitMs = 20000) {
  for (int waited = 0; waited < limitMs; waited += 20) {
    if (done()) return true;
    DuiLib::UITest::ProcessEvents(20);
  }
  return done();
}

}  // namespace filmgui
