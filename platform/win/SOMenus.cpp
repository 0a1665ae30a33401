// Popup and system menus, shown as Qt menus.

#include <QMenu>

#include <memory>
#include <mutex>
#include <unordered_map>

#include "SOWin32.h"
#include "SOWinPrivate.h"
#include "SOWinQt.h"

using namespace sowin;

namespace {

// Test hook: picks the command instead of showing the menu.
std::function<UINT(HMENU, int, int, HWND)> g_menuHook;

struct MenuItem {
  UINT flags = 0;
  UINT_PTR id = 0;
  QString text;
};
struct MenuObj {
  std::vector<MenuItem> items;
  HWND systemOf = nullptr;  // the window whose system menu this is
};
std::mutex g_menuMutex;  // guards g_menus
std::unordered_map<HMENU, std::unique_ptr<MenuObj>> g_menus;

MenuObj* FindMenu(HMENU menu) {
  std::lock_guard lock(g_menuMutex);
  auto it = g_menus.find(menu);
  return it == g_menus.end() ? nullptr : it->second.get();
}

HMENU NewMenu() {
  auto obj = std::make_unique<MenuObj>();
  auto h = reinterpret_cast<HMENU>(obj.get());
  std::lock_guard lock(g_menuMutex);
  g_menus[h] = std::move(obj);
  return h;
}

MenuItem* FindItem(MenuObj* m, UINT item, UINT flags) {
  if (flags & MF_BYPOSITION) return item < m->items.size() ? &m->items[item] : nullptr;
  for (auto& i : m->items)
    if (i.id == item && !(i.flags & MF_SEPARATOR)) return &i;
  return nullptr;
}

void FillQMenu(QMenu& qm, MenuObj* m) {
  for (const MenuItem& item : m->items) {
    if (item.flags & MF_SEPARATOR) {
      qm.addSeparator();
      continue;
    }
    if (item.flags & MF_POPUP) {
      if (MenuObj* sub = FindMenu(reinterpret_cast<HMENU>(item.id))) FillQMenu(*qm.addMenu(item.text), sub);
      continue;
    }
    QAction* a = qm.addAction(item.text);
    a->setData(QVariant::fromValue<qulonglong>(item.id));
    a->setEnabled(!(item.flags & (MF_GRAYED | MF_DISABLED)));
    a->setCheckable(item.flags & MF_CHECKED);
    a->setChecked(item.flags & MF_CHECKED);
  }
}

}  // namespace

HMENU CreatePopupMenu() {
  return NewMenu();
}

BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR idNewItem, LPCWSTR text) {
  MenuObj* m = FindMenu(menu);
  if (!m) return FALSE;
  m->items.push_back(MenuItem{flags, idNewItem, ToQString(text)});
  return TRUE;
}

BOOL CheckMenuItem(HMENU menu, UINT item, UINT check) {
  MenuObj* m = FindMenu(menu);
  MenuItem* i = m ? FindItem(m, item, check) : nullptr;
  if (!i) return static_cast<BOOL>(-1);
  const BOOL was = (i->flags & MF_CHECKED) ? MF_CHECKED : MF_UNCHECKED;
  i->flags = (check & MF_CHECKED) ? (i->flags | MF_CHECKED) : (i->flags & ~MF_CHECKED);
  return was;
}

BOOL EnableMenuItem(HMENU menu, UINT item, UINT enable) {
  MenuObj* m = FindMenu(menu);
  if (!m) return static_cast<BOOL>(-1);
  if (m->systemOf && item == SC_CLOSE && !(enable & MF_BYPOSITION)) {
    auto w = FindWindowObj(m->systemOf);
    if (!w) return static_cast<BOOL>(-1);
    const BOOL was = w->closeDisabled ? MF_GRAYED : MF_ENABLED;
    w->closeDisabled = enable & (MF_GRAYED | MF_DISABLED);
    if (w->widget && w->widget->isWindow()) {
      const bool visible = w->widget->isVisible();
      w->widget->setWindowFlag(Qt::WindowCloseButtonHint, !w->closeDisabled);
      if (visible) w->widget->show();
    }
    return was;
  }
  MenuItem* i = FindItem(m, item, enable);
  if (!i) return static_cast<BOOL>(-1);
  const BOOL was = i->flags & (MF_GRAYED | MF_DISABLED);
  i->flags = (i->flags & ~(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
  return was;
}

BOOL DestroyMenu(HMENU menu) {
  std::lock_guard lock(g_menuMutex);
  return g_menus.erase(menu) ? TRUE : FALSE;
}

int GetMenuItemCount(HMENU menu) {
  MenuObj* m = FindMenu(menu);
  return m ? static_cast<int>(m->items.size()) : -1;
}

HMENU GetSystemMenu(HWND hwnd, BOOL) {
  auto w = FindWindowObj(hwnd);
  if (!w) return nullptr;
  if (!w->sysMenu) {
    w->sysMenu = NewMenu();
    MenuObj* m = FindMenu(w->sysMenu);
    m->systemOf = hwnd;
    m->items.push_back(MenuItem{MF_STRING, SC_CLOSE, QStringLiteral("Close")});
  }
  return w->sysMenu;
}

namespace sowin {
void DestroyMenuOfWindow(WindowObj& w) {
  if (w.sysMenu) DestroyMenu(w.sysMenu);
  w.sysMenu = nullptr;
}
}  // namespace sowin

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
  MenuObj* m = FindMenu(menu);
  if (!m || !IsUiThread()) return FALSE;
  UINT chosen = 0;
  if (g_menuHook) {
    chosen = g_menuHook(menu, x, y, owner);
  } else {
    QMenu qm(SOWin::WidgetOf(owner));
    FillQMenu(qm, m);
    if (QAction* a = qm.exec(QPoint(x, y))) chosen = static_cast<UINT>(a->data().toULongLong());
  }
  if (flags & TPM_RETURNCMD) return static_cast<BOOL>(chosen);
  if (chosen && !(flags & TPM_NONOTIFY)) PostMessageW(owner, WM_COMMAND, chosen, 0);
  return chosen ? TRUE : FALSE;
}

namespace SOWin {

void SetPopupMenuHook(std::function<UINT(HMENU, int, int, HWND)> hook) {
  g_menuHook = std::move(hook);
}

}  // namespace SOWin
