// The shared boxes as users see them, for the shots tool.

#include "Shots.h"
#include "UITestDriver.h"
#include "Zarnet.h"

using namespace DuiLib;

namespace {

// Opens a modal box with `open` and saves it from inside its loop, then closes it.
shots::Window SaveModal(const shots::Context& ctx, const wchar_t* windowClass, void (*open)()) {
  UITest::OnModal(windowClass, [&ctx](CWindowWnd* w) {
    ctx.save(w->GetHWND());
    SendMessageW(w->GetHWND(), WM_CLOSE, 0, 0);
  });
  open();
  return {};
}

}  // namespace

ORVANTA_SHOT("uictrl/message_box") {
  return SaveModal(ctx, L"CMessageBoxUI", [] {
    MessageBoxUI(nullptr, L"The folder to save the files in does not exist.", nullptr, 1);
  });
}

ORVANTA_SHOT("uictrl/message_box_yes_no") {
  return SaveModal(ctx, L"CMessageBoxUI", [] { MessageBoxUI(nullptr, L"Are you sure you want to delete this item?", nullptr, 4); });
}

ORVANTA_SHOT("uictrl/save_box") {
  return SaveModal(ctx, L"CSaveBoxUI", [] { SaveBoxUI(nullptr, nullptr, nullptr); });
}

ORVANTA_SHOT("uictrl/progress_box") {
  UITest::OnModal(L"CProgressBoxUI", [&ctx](CWindowWnd* w) {
    ProgressBoxUI(nullptr, 40, L"Generating films 2/5 ...", false, false);
    ctx.save(w->GetHWND());
    ProgressBoxUI_Close();
  });
  ProgressBoxUI(nullptr, 20, L"Generating films 1/5 ...", false, false);
  return {};
}
