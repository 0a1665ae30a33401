#include "UITestDriver.h"

#include "SOWinQt.h"
#include "UIList.h"

#include <QCoreApplication>
#include <QImage>
#include <QString>

#include <map>
#include <mutex>

namespace DuiLib::UITest {

namespace {

// Answers waiting for their modal window, by window class. UI thread only.
std::map<std::wstring, std::function<void(CWindowWnd*)>>& Answers() {
  static std::map<std::wstring, std::function<void(CWindowWnd*)>> answers;
  return answers;
}

CControlUI* Usable(CPaintManagerUI& pm, const wchar_t* name) {
  CControlUI* c = pm.FindControl(name);
  return c && c->IsVisible() && c->IsEnabled() ? c : nullptr;
}

}  // namespace

bool Click(CPaintManagerUI& pm, const wchar_t* name) {
  CControlUI* c = Usable(pm, name);
  if (!c) return false;
  pm.SetFocus(c, false);
  return c->Activate();
}

bool SetText(CPaintManagerUI& pm, const wchar_t* name, const wchar_t* text) {
  CControlUI* c = Usable(pm, name);
  if (!c || !(c->GetInterface(L"Edit") || c->GetInterface(L"EditCombo"))) return false;
  pm.SetFocus(c, false);
  c->SetText(text);
  pm.SendNotify(c, L"textchanged");
  return true;
}

bool Focus(CPaintManagerUI& pm, const wchar_t* name) {
  CControlUI* c = Usable(pm, name);
  if (!c) return false;
  pm.SetFocus(c, false);
  return pm.GetFocus() == c;
}

void KillFocus(CPaintManagerUI& pm) {
  pm.SetFocus(nullptr, false);
}

bool PressReturn(CPaintManagerUI& pm, const wchar_t* name) {
  if (!Focus(pm, name)) return false;
  TEventUI event;
  event.Type = UIEVENT_KEYDOWN;
  event.chKey = VK_RETURN;
  event.wParam = VK_RETURN;
  event.pSender = pm.GetFocus();
  pm.GetFocus()->Event(event);
  return true;
}

bool SelectItem(CPaintManagerUI& pm, const wchar_t* name, int index) {
  CControlUI* c = Usable(pm, name);
  if (!c) return false;
  if (auto* list = static_cast<CListUI*>(c->GetInterface(L"List")))
    return list->SelectItem(index, false, true);
  if (auto* combo = static_cast<CComboUI*>(c->GetInterface(L"Combo")))
    return combo->SelectItem(index, false, true);
  if (auto* tab = static_cast<CTabLayoutUI*>(c->GetInterface(L"TabLayout")))
    return tab->SelectItem(index, true);
  return false;
}

bool ActivateItem(CPaintManagerUI& pm, const wchar_t* name, int index) {
  CControlUI* c = Usable(pm, name);
  auto* list = c ? static_cast<CListUI*>(c->GetInterface(L"List")) : nullptr;
  CControlUI* row = list ? list->GetItemAt(index) : nullptr;
  if (!row) return false;
  TEventUI event;
  event.Type = UIEVENT_DBLCLICK;
  event.pSender = row;
  row->Event(event);
  return true;
}

namespace {

void ModalOpened(CWindowWnd* window) {
  auto it = Answers().find(window->GetWindowClassName());
  if (it == Answers().end() || !QCoreApplication::instance()) return;
  std::function<void(CWindowWnd*)> answer = std::move(it->second);
  Answers().erase(it);
  HWND hwnd = window->GetHWND();
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [answer, window, hwnd] {
        if (IsWindow(hwnd)) answer(window);
      },
      Qt::QueuedConnection);
}

}  // namespace

void OnModal(const std::wstring& windowClass, std::function<void(CWindowWnd*)> answer) {
  static std::once_flag observing;
  std::call_once(observing, [] { CWindowWnd::AddModalObserver(ModalOpened); });
  Answers()[windowClass] = std::move(answer);
}

void ProcessEvents(int ms) {
  SOWin::PumpEvents(ms);
}

bool SaveWindowPng(CPaintManagerUI& pm, const std::string& path) {
  HBITMAP bitmap = pm.RenderToBitmap();
  const QImage* image = SOWin::ImageOf(bitmap);
  const bool saved = image && image->save(QString::fromStdString(path), "PNG");
  if (bitmap) DeleteObject(bitmap);
  return saved;
}

}  // namespace DuiLib::UITest
