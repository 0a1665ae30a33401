#pragma once

#include <memory>
#include <string>

#include "UIlib.h"

class ISOExecuter;

// What the plug-in's windows share: the one invoker that carries work to the UI thread, the
// host, and the liveness tokens that let queued work find out whether its window still exists.
namespace RemoteUI {

// Bound to the plug-in window when it initialises; every thread of the plug-in posts through it.
DuiLib::CInvoke& Invoker();

ISOExecuter* Host();
void SetHost(ISOExecuter* host);

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& text);

// A window or item owns a token; work queued for it carries a weak copy and runs only while the
// token lives. Tokens are made and dropped on the UI thread, where the queued work runs too.
using Token = std::shared_ptr<int>;
using WeakToken = std::weak_ptr<int>;
inline Token MakeToken() { return std::make_shared<int>(0); }

// Queues fn for the UI thread; it runs only if the token is still alive then.
void Post(const WeakToken& token, std::function<void()> fn);

// A control of the manager by name, cast to the wanted class (null when missing or of another
// class).
template <class T>
T* Find(DuiLib::CPaintManagerUI& manager, const wchar_t* name) {
  return dynamic_cast<T*>(manager.FindControl(name));
}

// Shows one page of a tab layout by name; nothing when it is missing.
void SelectPage(DuiLib::CPaintManagerUI& manager, const wchar_t* name, int page);

}  // namespace RemoteUI
