#include "ZarnetTestUtil.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace DuiLib;

namespace {

struct BoxView {
  std::wstring text;
  int value = -1;
  int page = -1;
};

BoxView Look(HWND box) {
  CPaintManagerUI& pm = zarnettest::SkinnedWindow(box)->m_PaintManager;
  BoxView v;
  v.text = pm.FindControl(L"textText")->GetText().str();
  v.value = static_cast<CProgressUI*>(pm.FindControl(L"progress"))->GetValue();
  v.page = static_cast<CTabLayoutUI*>(pm.FindControl(L"switch"))->GetCurSel();
  return v;
}

// Records its own deletion.
class TrackedBox : public CProgressBoxUI {
 public:
  explicit TrackedBox(bool* deleted) : m_deleted(deleted) {}
  ~TrackedBox() override { *m_deleted = true; }

 private:
  bool* m_deleted;
};

}  // namespace

TEST(ProgressBox, SharedBoxOpensModallyAndLaterCallsOnlyUpdateIt) {
  zarnettest::UseRuntimeSkins();
  zarnettest::RecordingParent parent;
  BoxView first, second, third;
  int nested = -1, nestedNullText = -1;
  UITest::OnModal(L"CProgressBoxUI", [&](CWindowWnd* w) {
    first = Look(w->GetHWND());
    nested = ProgressBoxUI(parent.hwnd, 40, L"Generating films 2/5 ...", false, false);
    second = Look(w->GetHWND());
    EXPECT_TRUE(zarnettest::Screenshot(w->GetHWND(), "progress_box"));
    nestedNullText = ProgressBoxUI(parent.hwnd, 60, nullptr, false, true);
    third = Look(w->GetHWND());
    EXPECT_TRUE(zarnettest::Screenshot(w->GetHWND(), "progress_box_waiting"));
    ProgressBoxUI_Close();
  });
  EXPECT_EQ(ProgressBoxUI(parent.hwnd, 250, L"Generating films 1/5 ...", false, false), IDCANCEL);
  EXPECT_EQ(first.value, 100);
  EXPECT_EQ(first.text, L"Generating films 1/5 ...");
  EXPECT_EQ(first.page, 0);
  EXPECT_EQ(nested, 0);
  EXPECT_EQ(second.value, 40);
  EXPECT_EQ(second.text, L"Generating films 2/5 ...");
  EXPECT_EQ(nestedNullText, 0);
  EXPECT_EQ(third.value, 60);
  EXPECT_EQ(third.text, L"Generating films 2/5 ...");
  EXPECT_EQ(third.page, 1);
  EXPECT_EQ(FindWindowW(L"CProgressBoxUI", nullptr), nullptr);
  // Closing an absent box is harmless.
  ProgressBoxUI_Close();
}

TEST(ProgressBox, AutoCloseEndsTheFirstCallAboutHalfASecondLater) {
  zarnettest::UseRuntimeSkins();
  zarnettest::RecordingParent parent;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ProgressBoxUI(parent.hwnd, 100, L"Done", true, false), IDCANCEL);
  auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(ms, 450);
  EXPECT_LE(ms, 1500);
}

TEST(ProgressBox, UpdateAfterTheSharedBoxBeganClosingNeverReachesIt) {
  zarnettest::UseRuntimeSkins();
  zarnettest::RecordingParent parent;
  int late = -1;
  std::wstring lateBoxText;
  UITest::OnModal(L"CProgressBoxUI", [&](CWindowWnd* first) {
    ProgressBoxUI_Close();
    // The closing box counts as absent: the late update opens a box of its own.
    UITest::OnModal(L"CProgressBoxUI", [&, first](CWindowWnd* w) {
      EXPECT_NE(w, first);
      lateBoxText = Look(w->GetHWND()).text;
      ProgressBoxUI_Close();
    });
    late = ProgressBoxUI(parent.hwnd, 80, L"late", false, false);
  });
  EXPECT_EQ(ProgressBoxUI(parent.hwnd, 10, L"first", false, false), IDCANCEL);
  EXPECT_EQ(late, IDCANCEL);
  EXPECT_EQ(lateBoxText, L"late");
}

TEST(ProgressBox, OwnBoxAsksItsParentToCancelAndDeletesItselfWhenAutoDeleting) {
  zarnettest::UseRuntimeSkins();
  for (bool autoDelete : {true, false}) {
    SCOPED_TRACE(autoDelete ? "auto-delete" : "owner deletes");
    zarnettest::RecordingParent parent;
    bool deleted = false;
    auto* box = new TrackedBox(&deleted);
    box->EnableTitleBar(true);
    ASSERT_NE(box->Create(parent.hwnd, L"ProgressBox", 0x86C80000, 0, 0, 0, 0, 0), nullptr);
    box->SetTitle(L"Send files");
    box->CenterWindow();
    box->SetText(L"Preparing to send...");
    box->EnableAutoDelete(autoDelete);
    box->SetProgress(35);
    box->ShowWindow();
    HWND hwnd = box->GetHWND();
    EXPECT_EQ(zarnettest::SkinnedWindow(hwnd)->m_PaintManager.FindControl(L"titleLabel")->GetText(),
              L"Send files");
    if (autoDelete) EXPECT_TRUE(zarnettest::Screenshot(hwnd, "ProgressDialog"));

    ASSERT_TRUE(UITest::Click(box->m_PaintManager, L"cancelBtn"));
    ASSERT_EQ(parent.Count(ProgressBoxCancelMessage), 1);
    EXPECT_EQ(parent.received.back().wParam, reinterpret_cast<WPARAM>(box));
    EXPECT_TRUE(IsWindow(hwnd));

    box->SetAutoClose(true);
    EXPECT_TRUE(SOWin::PumpUntil([&] { return !IsWindow(hwnd); }, 3000));
    UITest::ProcessEvents(10);
    if (autoDelete) {
      ASSERT_EQ(parent.Count(ProgressBoxClosedMessage), 1);
      EXPECT_EQ(parent.received.back().wParam, reinterpret_cast<WPARAM>(static_cast<CProgressBoxUI*>(box)));
      EXPECT_TRUE(deleted);
    } else {
      EXPECT_EQ(parent.Count(ProgressBoxClosedMessage), 0);
      EXPECT_FALSE(deleted);
      delete box;
    }
  }
}
