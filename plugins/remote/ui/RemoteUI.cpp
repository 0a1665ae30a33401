#include "RemoteUI.h"

#include <atomic>

namespace RemoteUI {

namespace {
std::atomic<ISOExecuter*> g_host{nullptr};
}

DuiLib::CInvoke& Invoker() {
  static auto* invoker = new DuiLib::CInvoke;  // kept to the end of the process
  return *invoker;
}

ISOExecuter* Host() { return g_host; }
void SetHost(ISOExecuter* host) { g_host = host; }

std::wstring Wide(const std::string& utf8) { return SOWin::FromUtf8(utf8); }
std::string Utf8(const std::wstring& text) { return SOWin::ToUtf8(text); }

void Post(const WeakToken& token, std::function<void()> fn) {
  Invoker().BeginInvoke([token, fn = std::move(fn)] {
    if (token.lock()) fn();
  });
}

void SelectPage(DuiLib::CPaintManagerUI& manager, const wchar_t* name, int page) {
  if (auto* tab = Find<DuiLib::CTabLayoutUI>(manager, name)) tab->SelectItem(page, false);
}

}  // namespace RemoteUI
