#pragma once

// The report plug-in's window on its own stores, over the project's runtime skins and built-in
// templates, with the user's values and the study store in fresh folders.

#include <gtest/gtest.h>

#include <cwchar>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CaseLibrary.h"
#include "Gossamy.h"
#include "IWendrel.h"
#include "Jorvel.h"
#include "ReportTemplateStore.h"
#include "SODcmSR.h"
#include "SevraneWnd.h"
#include "TestSupport.h"
#include "UITestDriver.h"
#include "UIlib.h"

namespace reportwnd {

namespace fs = std::filesystem;

inline fs::path SourceRoot() { return orvanta::test::SourceRoot(); }
inline fs::path RuntimeSkins() { return SourceRoot() / "runtime" / "skin"; }
inline fs::path BuiltInTemplates() { return SourceRoot() / "runtime" / "report" / "Template"; }

// A fresh user key, configuration folder and study store; the web client talks to nobody.
inline void FreshUser() {
  orvanta::test::EnsureQtApp();
  DuiLib::CPaintManagerUI::SetResourcePath((RuntimeSkins().wstring() + L"/").c_str());
  ::setenv("XDG_CONFIG_HOME", orvanta::test::MakeTempDir("config").c_str(), 1);
  Gossamy::ReleaseArchiveDB();
  ASSERT_TRUE(Gossamy::SetStorePath(orvanta::test::MakeTempDir("images").c_str()));
  Web_SetSettings({"http://127.0.0.1:" + std::to_string(orvanta::test::FreeLoopbackPort()), 500, 500});
}

// Answers the next message box with `answer`, keeping its text; `then` runs before it closes
// (to answer a box that follows).
inline void AnswerBox(std::wstring* text, UINT answer = IDOK, std::function<void()> then = nullptr) {
  DuiLib::UITest::OnModal(L"CMessageBoxUI", [text, answer, then](DuiLib::CWindowWnd* box) {
    auto* window = dynamic_cast<DuiLib::WindowImplBase*>(box);
    DuiLib::CControlUI* label = window ? window->GetPaintManager()->FindControl(L"textText") : nullptr;
    if (text && label) *text = label->GetText().GetData();
    if (then) then();
    const wchar_t* button = answer == IDOK ? L"confirmBtn" : L"cancelBtn";
    if (!window || !DuiLib::UITest::Click(*window->GetPaintManager(), button)) box->Close(answer);
  });
}

// Runs `act` inside the next modal window of `windowClass`, on its paint manager.
inline void InModal(const wchar_t* windowClass, std::function<void(DuiLib::WindowImplBase&)> act) {
  DuiLib::UITest::OnModal(windowClass, [act](DuiLib::CWindowWnd* w) {
    auto* window = dynamic_cast<DuiLib::WindowImplBase*>(w);
    if (window) act(*window);
    DuiLib::UITest::ProcessEvents(5);
    if (IsWindow(w->GetHWND())) w->Close(0);
  });
}

// The first control of the side panel bound to the tag ("gggg,eeee"), named `name` so that the
// test driver can type into it.
inline DuiLib::CControlUI* SideControl(DuiLib::CPaintManagerUI& pm, const wchar_t* tag, const wchar_t* name = nullptr) {
  std::function<DuiLib::CControlUI*(DuiLib::CContainerUI*)> walk = [&](DuiLib::CContainerUI* c) -> DuiLib::CControlUI* {
    for (int i = 0; c && i < c->GetCount(); ++i) {
      DuiLib::CControlUI* item = c->GetItemAt(i);
      if (std::wstring(item->GetUserData()) == tag) return item;
      if (DuiLib::CControlUI* found = walk(dynamic_cast<DuiLib::CContainerUI*>(item))) return found;
    }
    return nullptr;
  };
  DuiLib::CControlUI* control = walk(dynamic_cast<DuiLib::CContainerUI*>(pm.FindControl(L"attributePanel")));
  if (control && name) control->SetName(name);
  return control;
}

// The text fields of a page (edits and text boxes bound to a tag), in page order.
inline void PageFields(DuiLib::CControlUI* control, std::vector<DuiLib::CControlUI*>& fields) {
  if (!control) return;
  const std::wstring kind = control->GetClass();
  if ((kind == L"Edit" || kind == L"RichEdit") && *control->GetUserData()) fields.push_back(control);
  if (auto* container = dynamic_cast<DuiLib::CContainerUI*>(control))
    for (int i = 0; i < container->GetCount(); ++i) PageFields(container->GetItemAt(i), fields);
}

inline DWORD TagOf(DuiLib::CControlUI* control) {
  unsigned group = 0, element = 0;
  swscanf(control->GetUserData(), L"%x,%x", &group, &element);
  return DWORD(group << 16 | element);
}

// A control's centre in its window's client pixels, at the window's zoom.
inline POINT Centre(DuiLib::CControlUI* control) {
  const RECT rc = control->GetPos();
  const double zoom = control->GetManager()->GetZoomRatio();
  return POINT{LONG((rc.left + rc.right) / 2 * zoom), LONG((rc.top + rc.bottom) / 2 * zoom)};
}

class HostWindow : public DuiLib::CWindowWnd {
 public:
  HostWindow() { Create(nullptr, L"host", WS_POPUP | WS_VISIBLE, 0, 0, 0, 1280, 800); }
  const wchar_t* GetWindowClassName() const override { return L"SevraneTestHost"; }
};

class ReportWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    FreshUser();
    if (HasFatalFailure()) return;
    root_ = orvanta::test::MakeTempDir("report");
    fs::create_directories(root_ / "builtin");
    for (const auto& entry : fs::directory_iterator(BuiltInTemplates()))
      fs::copy_file(entry.path(), root_ / "builtin" / entry.path().filename());
    templates_ = std::make_unique<ReportTemplateStore>((root_ / "builtin").string() + "/",
                                                       (root_ / "imported").string() + "/");
    cases_ = std::make_unique<CaseLibrary>((root_ / "case.db").string());
  }
  void TearDown() override {
    window_.reset();
    if (maker_) ReleaseWendrel(maker_);
    maker_ = nullptr;
    host_.reset();
    if (cases_) cases_->WaitForFetches();
    cases_.reset();
    templates_.reset();
  }

  void Open() {
    host_ = std::make_unique<HostWindow>();
    window_ = std::make_unique<SOSevraneWnd>(templates_.get(), cases_.get());
    ASSERT_NE(window_->CreateWnd(host_->GetHWND(), 0, 0, 1280, 800), nullptr);
    DuiLib::UITest::ProcessEvents(10);
  }
  DuiLib::CPaintManagerUI& PM() { return *window_->GetPaintManager(); }
  DuiLib::CControlUI* Find(const wchar_t* name) { return PM().FindControl(name); }

  // A new report made from an image, as the study database makes one (null without test files).
  SODcmSR* NewDocument() {
    const fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
    if (ct.empty()) return nullptr;
    if (!maker_) {
      maker_ = CreateWendrel();
      maker_->Create(host_->GetHWND(), 0, 0, 400, 300);
      ShowWindow(maker_->GetHWND(), SW_HIDE);
    }
    ISOReport* made = maker_->NewReportFromImage(ct.string().c_str());
    return made ? made->GetSR() : nullptr;
  }

  // Opens a new report in the window through its command; null when it could not.
  ISOReport* OpenNew(bool readOnly = false, const std::string& path = std::string()) {
    SODcmSR* sr = NewDocument();
    if (!sr) return nullptr;
    SROpenRequest request;
    request.sr = sr;
    request.path = path;
    request.readOnly = readOnly;
    request.modified = true;
    if (!window_->OnCommand(SOCMD_OPEN_SR_FILEG, &request)) return nullptr;
    return window_->GetWendrel()->GetActiveReport();
  }

  std::wstring TabTitle(int index) {
    auto* header = dynamic_cast<DuiLib::CContainerUI*>(Find(L"reportTabHeader"));
    DuiLib::CControlUI* tab = header ? header->GetItemAt(index) : nullptr;
    DuiLib::CControlUI* option = tab ? PM().FindSubControlByName(tab, L"reportTabOpt") : nullptr;
    return option ? std::wstring(option->GetText().GetData()) : L"<none>";
  }

  fs::path root_;
  std::unique_ptr<ReportTemplateStore> templates_;
  std::unique_ptr<CaseLibrary> cases_;
  std::unique_ptr<HostWindow> host_;
  std::unique_ptr<SOSevraneWnd> window_;
  IWendrel* maker_ = nullptr;
};

}  // namespace reportwnd
