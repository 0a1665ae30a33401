#pragma once

// Drives skinned windows from tests: clicks, typing, focus and selection as a user would
// cause them, synthesised on the controls (offscreen focus is unreliable), and answers to
// modal windows as they open.

#include "UIWindow.h"

#include <functional>
#include <string>

namespace DuiLib::UITest {

// Each finds the named control in the manager's tree; false when it is missing or of
// another kind. Notifications are delivered as the engine delivers them.
// A button's (or option's) click: "click", and for an option its selection change.
bool Click(CPaintManagerUI& pm, const wchar_t* name);
// Focus, types `text` into an edit (replacing its text) with "textchanged".
bool SetText(CPaintManagerUI& pm, const wchar_t* name, const wchar_t* text);
// Gives the control the focus ("setfocus", and "killfocus" to the previous one).
bool Focus(CPaintManagerUI& pm, const wchar_t* name);
// Takes the focus away from the focused control ("killfocus").
void KillFocus(CPaintManagerUI& pm);
// The Enter key in the named (focused) control: "return" for an edit.
bool PressReturn(CPaintManagerUI& pm, const wchar_t* name);
// Selects an item of a list, combo or tab layout as a user would ("itemselect"/"tabselect").
bool SelectItem(CPaintManagerUI& pm, const wchar_t* name, int index);
// Double-clicks row `index` of a list ("itemdbclick", "itemactivate").
bool ActivateItem(CPaintManagerUI& pm, const wchar_t* name, int index);

// When a modal window of `windowClass` opens, `answer` runs inside its loop (once).
void OnModal(const std::wstring& windowClass, std::function<void(CWindowWnd* window)> answer);
// Runs the UI thread's events (posted messages, queued notifications) for about ms.
void ProcessEvents(int ms = 0);
// Renders the window's client area to a PNG file.
bool SaveWindowPng(CPaintManagerUI& pm, const std::string& path);

}  // namespace DuiLib::UITest
