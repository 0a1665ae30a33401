#pragma once

// Drives windows from tests as a user does: the mouse and the keyboard enter as the windowing
// system's input on the native window under the pointer, with a user's pace (a pointer move
// before a press, a press that lasts, a second click inside the double-click interval), so the
// class styles, hit testing, focus and the translation into WM_* messages all take part.
// Only DeliverEvent hands an event to a control directly, for tests that mean "this event
// arrives". Modal windows are answered as they open.

#include "UIWindow.h"

#include <functional>
#include <string>

namespace DuiLib::UITest {

// ---- Skinned controls, found by name in the manager's tree ----
// Each fails (false) when the control is missing, hidden, disabled or of another kind, when its
// window is not shown, or when another window covers the point a user would click. A control
// outside its scrolled container's view is brought into view with the mouse wheel first.

// A left click on the middle of the control; the second form for a control without a name (a
// button inside a list row).
bool Click(CPaintManagerUI& pm, const wchar_t* name);
bool Click(CControlUI* control);
// Two left clicks inside the double-click interval.
bool DoubleClick(CPaintManagerUI& pm, const wchar_t* name);
// A right click (press and release) on the middle of the control.
bool RightClick(CPaintManagerUI& pm, const wchar_t* name);
// A left click at a point of the window's client area, in skin coordinates.
bool ClickAt(CPaintManagerUI& pm, POINT pt);
// Wheel notches over the control; positive steps turn the wheel away from the user (up).
bool Wheel(CPaintManagerUI& pm, const wchar_t* name, int steps);
// A left-button drag between two points of the window's client area, in skin coordinates.
bool Drag(CPaintManagerUI& pm, POINT from, POINT to);

// Clicks into an edit (or the text part of an edit combo) and types `text` at the caret.
bool Type(CPaintManagerUI& pm, const wchar_t* name, const wchar_t* text);
// Clicks into an edit, selects its whole text and types `text` over it (empty: deletes it).
bool SetText(CPaintManagerUI& pm, const wchar_t* name, const wchar_t* text);
// Gives the control the focus as a user would: a click for an edit, the Tab key otherwise.
bool Focus(CPaintManagerUI& pm, const wchar_t* name);
// Moves the focus on from the focused control with the Tab key.
void KillFocus(CPaintManagerUI& pm);
// The Enter key in the named control (focused first).
bool PressReturn(CPaintManagerUI& pm, const wchar_t* name);
// A key (virtual-key code, with MK_SHIFT / MK_CONTROL) in the named control (focused first).
bool PressKey(CPaintManagerUI& pm, const wchar_t* name, UINT vk, UINT keys = 0);

// Selects an item: a list row is scrolled into view and clicked; a combo is opened with a click
// and its item clicked in the drop-down. A tab layout has no input of its own (the window
// switches it when one of its buttons is clicked): its page is selected directly.
bool SelectItem(CPaintManagerUI& pm, const wchar_t* name, int index);
// Scrolls row `index` of a list into view and double-clicks it.
bool ActivateItem(CPaintManagerUI& pm, const wchar_t* name, int index);
// Scrolls row `index` of a list into view and right-clicks it (its context menu).
bool RightClickItem(CPaintManagerUI& pm, const wchar_t* name, int index);

// Hands the control one event of `type` (EVENTTYPE_UI) as the engine would after translating a
// message, without any input: for tests about the event itself.
bool DeliverEvent(CPaintManagerUI& pm, const wchar_t* name, int type, WPARAM wParam = 0, LPARAM lParam = 0);

// ---- Plain windows; points in the window's client coordinates (pixels) ----
// `keys` holds MK_SHIFT / MK_CONTROL pressed during the gesture.
enum class Button { Left, Right, Middle };
bool ClickWindow(HWND hwnd, POINT pt, Button button = Button::Left, UINT keys = 0);
bool DoubleClickWindow(HWND hwnd, POINT pt, UINT keys = 0);
bool DragWindow(HWND hwnd, POINT from, POINT to, Button button = Button::Left, UINT keys = 0);
bool WheelWindow(HWND hwnd, POINT pt, int steps, UINT keys = 0);
// A pointer move with no button pressed.
bool MoveWindowPointer(HWND hwnd, POINT pt);
// A key pressed and released in the top-level window holding hwnd (it reaches that window's
// focus), and text typed there.
bool KeyWindow(HWND hwnd, UINT vk, UINT keys = 0);
bool TypeWindow(HWND hwnd, const wchar_t* text);

// When a modal window of `windowClass` opens, `answer` runs inside its loop (once).
void OnModal(const std::wstring& windowClass, std::function<void(CWindowWnd* window)> answer);
// Runs the UI thread's events (posted messages, queued notifications) for about ms.
void ProcessEvents(int ms = 0);
// Renders the window's client area to a PNG file.
bool SaveWindowPng(CPaintManagerUI& pm, const std::string& path);

}  // namespace DuiLib::UITest
