#include "UIGettext.h"
#include "ZarnetTestUtil.h"

#include <gtest/gtest.h>

#include <map>

using namespace DuiLib;
using zarnettest::SkinnedWindow;

namespace {

std::wstring WindowText(HWND hwnd) {
  wchar_t buffer[256] = {};
  GetWindowTextW(hwnd, buffer, 256);
  return buffer;
}

}  // namespace

TEST(MessageBox, StyleChoosesButtonsAndTheClickedOneGivesTheResult) {
  zarnettest::UseRuntimeSkins();
  zarnettest::RecordingParent parent;
  const wchar_t* kDelete = L"Are you sure you want to delete this item?";
  const wchar_t* kRestart =
      L"Language reset takes effect after restarting program. Reset now? "
      L"语言设置将在重新启动程序后生效，现在重启吗？";
  struct Case {
    unsigned int style;
    const wchar_t* caption;
    const wchar_t* text;
    const wchar_t* press;
    int result;
    std::vector<std::wstring> visible;
  } cases[] = {
      {0, nullptr, kDelete, L"confirmBtn", IDOK, {L"confirmBtn"}},
      {1, nullptr, kDelete, L"cancelBtn", IDCANCEL, {L"cancelBtn", L"confirmBtn"}},
      {1, L"Delete", kDelete, L"confirmBtn", IDOK, {L"cancelBtn", L"confirmBtn"}},
      {4, nullptr, kRestart, L"yesBtn", IDYES, {L"noBtn", L"yesBtn"}},
      {4, nullptr, kRestart, L"noBtn", IDNO, {L"noBtn", L"yesBtn"}},
      {3, nullptr, kDelete, L"confirmBtn", IDOK, {L"confirmBtn"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "style " << c.style << " pressing " << SOWin::ToUtf8(c.press));
    std::vector<std::wstring> visible;
    std::wstring title, text;
    UITest::OnModal(L"CMessageBoxUI", [&](CWindowWnd* w) {
      CPaintManagerUI& pm = SkinnedWindow(w->GetHWND())->m_PaintManager;
      for (const wchar_t* name : {L"noBtn", L"yesBtn", L"cancelBtn", L"confirmBtn"})
        if (pm.FindControl(name)->IsVisible()) visible.push_back(name);
      title = WindowText(w->GetHWND());
      text = pm.FindControl(L"textText")->GetText().str();
      if (c.style == 4 && c.result == IDYES)
        EXPECT_TRUE(zarnettest::Screenshot(w->GetHWND(), "message_box_yes_no"));
      UITest::Click(pm, c.press);
    });
    EXPECT_EQ(MessageBoxUI(parent.hwnd, c.text, c.caption, c.style), c.result);
    EXPECT_EQ(visible, c.visible);
    EXPECT_EQ(title, c.caption ? c.caption : L"Message");
    EXPECT_EQ(text, c.text);
  }
}

TEST(MessageBox, TheDefaultCaptionIsInTheUsersLanguage) {
  zarnettest::UseRuntimeSkins();
  const std::string domain = ui_textdomain(nullptr);
  const std::string language = ui_setlocal(0, nullptr);
  ui_bindtextdomain("orvanta", orvanta::test::ProgramFolder().append("locale").c_str());
  ui_textdomain("orvanta");
  for (auto [shown, caption] : {std::pair{"zh_CN", L"消息"}, {"zh_TW", L"訊息"}, {"en_US", L"Message"}}) {
    ui_setlocal(0, shown);
    std::wstring title;
    UITest::OnModal(L"CMessageBoxUI", [&](CWindowWnd* w) {
      title = WindowText(w->GetHWND());
      UITest::Click(SkinnedWindow(w->GetHWND())->m_PaintManager, L"confirmBtn");
    });
    MessageBoxUI(nullptr, L"Text", nullptr, 0);
    EXPECT_EQ(title, caption) << shown;
  }
  ui_textdomain(domain.c_str());
  ui_setlocal(0, language.c_str());
}

TEST(MessageBox, ClosingWithoutAButtonGivesCancelForBothBoxes) {
  zarnettest::UseRuntimeSkins();
  const struct {
    const wchar_t* windowClass;
    int (*open)(HWND parent);
  } boxes[] = {
      {L"CMessageBoxUI", [](HWND p) { return MessageBoxUI(p, L"Text", nullptr, 4); }},
      {L"CSaveBoxUI", [](HWND p) { return SaveBoxUI(p, nullptr, nullptr); }},
  };
  const struct {
    const char* how;
    void (*close)(HWND box, HWND parent);
  } closings[] = {
      {"system close", [](HWND box, HWND) { SendMessageW(box, WM_CLOSE, 0, 0); }},
      {"title bar close button",
       [](HWND box, HWND) { UITest::Click(SkinnedWindow(box)->m_PaintManager, L"closebtn"); }},
      {"owner destroyed", [](HWND, HWND parent) { DestroyWindow(parent); }},
  };
  for (const auto& box : boxes)
    for (const auto& closing : closings) {
      SCOPED_TRACE(SOWin::ToUtf8(box.windowClass) + " / " + closing.how);
      zarnettest::RecordingParent parent;
      HWND seen = nullptr;
      UITest::OnModal(box.windowClass, [&](CWindowWnd* w) {
        seen = w->GetHWND();
        closing.close(seen, parent.hwnd);
      });
      EXPECT_EQ(box.open(parent.hwnd), IDCANCEL);
      EXPECT_NE(seen, nullptr);
      EXPECT_FALSE(IsWindow(seen));
    }
}

TEST(MessageBox, SaveBoxAnswersYesNoCancel) {
  zarnettest::UseRuntimeSkins();
  zarnettest::RecordingParent parent;
  const std::map<std::wstring, int> answers{{L"yesBtn", IDYES}, {L"noBtn", IDNO}, {L"cancelBtn", IDCANCEL}};
  for (const auto& [button, result] : answers) {
    UITest::OnModal(L"CSaveBoxUI", [&, name = button](CWindowWnd* w) {
      if (name == L"yesBtn") EXPECT_TRUE(zarnettest::Screenshot(w->GetHWND(), "save_box"));
      UITest::Click(SkinnedWindow(w->GetHWND())->m_PaintManager, name.c_str());
    });
    EXPECT_EQ(SaveBoxUI(parent.hwnd, nullptr, nullptr), result) << SOWin::ToUtf8(button);
  }
}

TEST(MessageBox, MessagesPostedBeforeTheCallRunWhileTheBoxIsOpen) {
  zarnettest::UseRuntimeSkins();
  zarnettest::RecordingParent parent;
  bool boxWasOpen = false;
  parent.onMessage = [&](UINT msg) {
    if (msg != WM_APP + 1) return;
    HWND box = FindWindowW(L"CMessageBoxUI", nullptr);
    boxWasOpen = box != nullptr;
    if (box) {
      EXPECT_TRUE(zarnettest::Screenshot(box, "message_box"));
      UITest::Click(SkinnedWindow(box)->m_PaintManager, L"confirmBtn");
    }
  };
  PostMessageW(parent.hwnd, WM_APP + 1, 0, 0);
  EXPECT_EQ(MessageBoxUI(parent.hwnd, L"The folder to save the files in does not exist.", nullptr, 1), IDOK);
  EXPECT_TRUE(boxWasOpen);
}
