#include "Waiting.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace DuiLib;

namespace {
std::atomic<int> g_resultDelay{1500};
}

void UIX_Waiting::SetResultDelay(int ms) { g_resultDelay = ms; }
int UIX_Waiting::ResultDelay() { return g_resultDelay; }

UIX_Waiting::UIX_Waiting() : invoker_(std::make_shared<CInvoke>()) {}

UIX_Waiting::~UIX_Waiting() {
  // A pending Finish is dropped with the binding.
  invoker_->Release();
}

void UIX_Waiting::Init(HWND hwnd, CPaintManagerUI* pm) {
  hwnd_ = hwnd;
  pm_ = pm;
  invoker_->Create(hwnd);
  layout_ = RemoteUI::Find<CTabLayoutUI>(*pm, L"waitingLayout");
  errorLabel_ = pm->FindControl(L"waitingErrorLabel");
  if (layout_ && layout_->GetParent()) layout_->GetParent()->OnSize += MakeDelegate(this, &UIX_Waiting::OnParentSize);
}

bool UIX_Waiting::OnParentSize(void*) {
  if (!layout_ || !layout_->GetParent()) return true;
  const RECT rc = layout_->GetParent()->GetPos();
  layout_->SetFixedWidth(rc.right - rc.left);
  layout_->SetFixedHeight(rc.bottom - rc.top);
  return true;
}

void UIX_Waiting::SetPage(int page, bool visible) {
  ++generation_;
  if (!layout_) return;
  layout_->SelectItem(page, false);
  layout_->SetVisible(visible);
}

void UIX_Waiting::EnableClose(bool enable) {
  if (hwnd_) EnableMenuItem(GetSystemMenu(hwnd_, FALSE), SC_CLOSE, enable ? MF_ENABLED : MF_GRAYED);
}

void UIX_Waiting::Show() {
  SetPage(0, true);
  EnableClose(false);
}

void UIX_Waiting::Hide() {
  SetPage(0, false);
  EnableClose(true);
}

void UIX_Waiting::Success() {
  closeOnDone_ = true;
  SetPage(1, true);
  StartDelay();
}

void UIX_Waiting::Error(const wchar_t* text) {
  closeOnDone_ = false;
  SetPage(2, true);
  if (errorLabel_) errorLabel_->SetText(text ? text : L"");
  StartDelay();
}

void UIX_Waiting::StartDelay() {
  const int generation = generation_;
  std::thread([invoker = invoker_, this, generation] {
    std::this_thread::sleep_for(std::chrono::milliseconds(g_resultDelay.load()));
    invoker->BeginInvoke([this, generation] {
      if (generation == generation_) Finish();
    });
  }).detach();
}

void UIX_Waiting::Finish() {
  if (layout_) layout_->SetVisible(false);
  EnableClose(true);
  if (closeOnDone_ && hwnd_) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}
