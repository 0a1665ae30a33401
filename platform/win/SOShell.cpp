// Desktop services: cursors, clipboard, popup menus, shell open, file and folder choosers,
// message boxes, the tray icon, global memory, modules and mapped files.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainterPath>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QUrl>

#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

#include "SOGdi.h"
#include "SOWinPrivate.h"
#include "SOWinApp.h"
#include "SOWinQt.h"

using namespace sowin;

namespace {

// Test hooks and desktop state; UI thread only unless said otherwise.
std::function<UINT(HMENU, int, int, HWND)> g_menuHook;
std::function<bool(const std::string&, const std::string&, const std::string&, const std::string&)>
    g_shellHook;
std::function<std::string(const std::string&, const std::string&)> g_chooserHook;
std::function<int(const std::wstring&, const std::wstring&, UINT)> g_messageBoxHook;

std::string Narrow(LPCWSTR s) {
  return s ? SOWin::ToUtf8(s) : std::string();
}

// ---- Cursors ------------------------------------------------------------------------------

// The viewer's own cursors (resources 104 to 113): small drawn glyphs beside a crosshair.
QCursor DrawnCursor(int id) {
  QImage img(32, 32, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const auto stroke = [&](const std::function<void()>& draw) {
    p.setPen(QPen(Qt::black, 3));
    draw();
    p.setPen(QPen(Qt::white, 1));
    draw();
  };
  stroke([&] {
    p.drawLine(8, 1, 8, 15);
    p.drawLine(1, 8, 15, 8);
  });
  p.setBrush(Qt::NoBrush);
  stroke([&] {
    switch (id) {
      case 104:
        p.drawLine(16, 16, 28, 16);
        p.drawLine(22, 16, 22, 28);
        break;  // text
      case 105:
        p.drawLine(16, 28, 28, 16);
        p.drawLine(16, 16, 28, 28);
        break;  // cancel
      case 106:
        p.drawLine(16, 22, 28, 22);
        p.drawLine(22, 16, 22, 28);
        break;  // plus
      case 107:
        p.drawEllipse(QRectF(16, 18, 13, 9));
        break;  // ellipse
      case 108:
        p.drawLine(16, 28, 28, 16);
        break;  // length
      case 109:
        p.drawRect(QRectF(16, 18, 12, 9));
        break;  // rectangle
      case 110:
        p.drawLine(16, 28, 28, 28);
        p.drawLine(16, 28, 26, 17);
        break;  // angle
      case 111:
        p.drawLine(16, 20, 28, 20);
        p.drawLine(16, 25, 28, 25);
        break;  // lines
      case 112:
        p.drawRect(QRectF(16, 16, 8, 8));
        p.drawRect(QRectF(20, 20, 8, 8));
        break;    // slices
      default: {  // 113: circular arrow
        QPainterPath arc;
        arc.arcMoveTo(QRectF(16, 16, 12, 12), 90);
        arc.arcTo(QRectF(16, 16, 12, 12), 90, 270);
        p.drawPath(arc);
        p.drawLine(22, 16, 25, 13);
        p.drawLine(22, 16, 25, 19);
        break;
      }
    }
  });
  p.end();
  return QCursor(QPixmap::fromImage(img), 8, 8);
}

Qt::CursorShape SystemShape(int id) {
  switch (id) {
    case 32513:
      return Qt::IBeamCursor;
    case 32514:
      return Qt::WaitCursor;
    case 32515:
      return Qt::CrossCursor;
    case 32516:
      return Qt::UpArrowCursor;
    case 32642:
      return Qt::SizeFDiagCursor;
    case 32643:
      return Qt::SizeBDiagCursor;
    case 32644:
      return Qt::SizeHorCursor;
    case 32645:
      return Qt::SizeVerCursor;
    case 32646:
      return Qt::SizeAllCursor;
    case 32648:
      return Qt::ForbiddenCursor;
    case 32649:
      return Qt::PointingHandCursor;
    case 32650:
      return Qt::BusyCursor;
    default:
      return Qt::ArrowCursor;
  }
}

// ---- Menus --------------------------------------------------------------------------------

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

// ---- Clipboard and global memory ----------------------------------------------------------

struct GlobalBlock {
  std::vector<uint8_t> bytes;
};
std::mutex g_globalMutex;  // guards g_globals
std::unordered_map<HGLOBAL, std::unique_ptr<GlobalBlock>> g_globals;

GlobalBlock* FindGlobal(HGLOBAL h) {
  std::lock_guard lock(g_globalMutex);
  auto it = g_globals.find(h);
  return it == g_globals.end() ? nullptr : it->second.get();
}

bool g_clipboardOpen = false;
HBITMAP g_clipBitmap = nullptr;  // owned by the clipboard
HGLOBAL g_clipText = nullptr;    // owned by the clipboard

void DropClipboardData() {
  if (g_clipBitmap) DeleteObject(g_clipBitmap);
  if (g_clipText) GlobalFree(g_clipText);
  g_clipBitmap = nullptr;
  g_clipText = nullptr;
}

// ---- Tray ---------------------------------------------------------------------------------

struct TrayEntry {
  std::unique_ptr<QSystemTrayIcon> icon;  // null on the fake tray
  std::wstring tip;
};
std::map<std::pair<HWND, UINT>, TrayEntry> g_tray;

// ---- Mapped files -------------------------------------------------------------------------

struct FileHandle {
  int fd = -1;
  bool mapping = false;
  size_t size = 0;  // mappings
  bool writable = false;
};
std::mutex g_fileMutex;  // guards g_files and g_views
std::unordered_map<HANDLE, std::unique_ptr<FileHandle>> g_files;
std::unordered_map<const void*, size_t> g_views;

}  // namespace

HICON LoadIconW(HINSTANCE, LPCWSTR name) {
  return LoadCursorW(nullptr, name ? name : IDC_ARROW);
}
BOOL DestroyIcon(HICON) {
  return TRUE;
}

HCURSOR LoadCursorW(HINSTANCE, LPCWSTR name) {
  if (!IS_INTRESOURCE(name)) return nullptr;
  const int id = static_cast<int>(reinterpret_cast<std::uintptr_t>(name));
  const bool own = id >= 104 && id <= 113;
  if (!own && (id < 32512 || id > 32650)) return nullptr;
  static std::mutex m;
  static std::map<int, std::unique_ptr<CursorObj>> cache;
  std::lock_guard lock(m);
  auto& slot = cache[id];
  if (!slot) slot.reset(new CursorObj{own ? DrawnCursor(id) : QCursor(SystemShape(id))});
  return reinterpret_cast<HCURSOR>(slot.get());
}

// ---- Menus --------------------------------------------------------------------------------

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

// ---- Clipboard ----------------------------------------------------------------------------

BOOL OpenClipboard(HWND) {
  if (g_clipboardOpen || !IsUiThread()) return FALSE;
  g_clipboardOpen = true;
  return TRUE;
}

BOOL CloseClipboard() {
  if (!g_clipboardOpen) return FALSE;
  g_clipboardOpen = false;
  return TRUE;
}

BOOL EmptyClipboard() {
  if (!g_clipboardOpen) return FALSE;
  DropClipboardData();
  QGuiApplication::clipboard()->clear();
  return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
  if (!g_clipboardOpen || !data) return nullptr;
  if (format == CF_BITMAP) {
    auto* bm = Lookup<BitmapObj>(reinterpret_cast<HGDIOBJ>(data), GdiObject::Kind::Bitmap);
    if (!bm) return nullptr;
    if (g_clipBitmap && g_clipBitmap != data) DeleteObject(g_clipBitmap);
    g_clipBitmap = reinterpret_cast<HBITMAP>(data);
    QGuiApplication::clipboard()->setImage(bm->Picture());
    return data;
  }
  if (format == CF_UNICODETEXT) {
    GlobalBlock* block = FindGlobal(data);
    if (!block) return nullptr;
    const auto* chars = reinterpret_cast<const wchar_t*>(block->bytes.data());
    const size_t max = block->bytes.size() / sizeof(wchar_t);
    if (g_clipText && g_clipText != data) GlobalFree(g_clipText);
    g_clipText = data;
    QGuiApplication::clipboard()->setText(
        QString::fromWCharArray(chars, static_cast<int>(wcsnlen(chars, max))));
    return data;
  }
  return nullptr;
}

HANDLE GetClipboardData(UINT format) {
  if (!g_clipboardOpen) return nullptr;
  QClipboard* cb = QGuiApplication::clipboard();
  if (format == CF_BITMAP) {
    const QImage img = cb->image();
    if (img.isNull()) return nullptr;
    if (g_clipBitmap) DeleteObject(g_clipBitmap);
    g_clipBitmap = SOWin::BitmapFromImage(img);
    return g_clipBitmap;
  }
  if (format == CF_UNICODETEXT) {
    const std::wstring text = cb->text().toStdWString();
    if (text.empty() && !cb->mimeData()->hasText()) return nullptr;
    if (g_clipText) GlobalFree(g_clipText);
    g_clipText = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    std::memcpy(GlobalLock(g_clipText), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    return g_clipText;
  }
  return nullptr;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  QClipboard* cb = QGuiApplication::clipboard();
  if (format == CF_BITMAP) return !cb->image().isNull();
  if (format == CF_UNICODETEXT) return cb->mimeData() && cb->mimeData()->hasText();
  return FALSE;
}

HGLOBAL GlobalAlloc(UINT, SIZE_T bytes) {
  auto block = std::make_unique<GlobalBlock>();
  block->bytes.assign(std::max<SIZE_T>(bytes, 1), 0);
  auto h = reinterpret_cast<HGLOBAL>(block.get());
  std::lock_guard lock(g_globalMutex);
  g_globals[h] = std::move(block);
  return h;
}

LPVOID GlobalLock(HGLOBAL mem) {
  GlobalBlock* b = FindGlobal(mem);
  return b ? b->bytes.data() : nullptr;
}

BOOL GlobalUnlock(HGLOBAL mem) {
  return FindGlobal(mem) ? TRUE : FALSE;
}

SIZE_T GlobalSize(HGLOBAL mem) {
  GlobalBlock* b = FindGlobal(mem);
  return b ? b->bytes.size() : 0;
}

HGLOBAL GlobalFree(HGLOBAL mem) {
  std::lock_guard lock(g_globalMutex);
  return g_globals.erase(mem) ? nullptr : mem;
}

// ---- Shell --------------------------------------------------------------------------------

HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR params, LPCSTR dir, int) {
  const std::string v = verb ? verb : "open";
  const std::string f = file ? SOWin::NormalisePath(file) : std::string();
  const std::string p = params ? params : "";
  const std::string d = dir ? SOWin::NormalisePath(dir) : std::string();
  auto result = [](bool ok) { return reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(ok ? 42 : 2)); };
  if (f.empty()) return result(false);
  if (g_shellHook) return result(g_shellHook(v, f, p, d));
  // "explorer.exe <folder>" opens the folder in the desktop's file manager.
  if (f == "explorer.exe" || f == "explorer")
    return result(
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(SOWin::NormalisePath(p)))));
  const QString qf = QString::fromStdString(f);
  if (qf.contains(QLatin1String("://"))) return result(QDesktopServices::openUrl(QUrl(qf)));
  QFileInfo info(qf);
  if (info.isFile() && info.isExecutable())
    return result(QProcess::startDetached(qf, QProcess::splitCommand(QString::fromStdString(p)),
                                          QString::fromStdString(d)));
  return result(QDesktopServices::openUrl(QUrl::fromLocalFile(qf)));
}

HINSTANCE ShellExecuteW(HWND hwnd, LPCWSTR verb, LPCWSTR file, LPCWSTR params, LPCWSTR dir, int show) {
  const std::string v = Narrow(verb), f = Narrow(file), p = Narrow(params), d = Narrow(dir);
  return ShellExecuteA(hwnd, verb ? v.c_str() : nullptr, file ? f.c_str() : nullptr,
                       params ? p.c_str() : nullptr, dir ? d.c_str() : nullptr, show);
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  const std::wstring t = text ? text : L"", c = caption ? caption : L"";
  if (g_messageBoxHook) return g_messageBoxHook(t, c, type);
  if (!IsUiThread()) return 0;
  QMessageBox box(SOWin::WidgetOf(owner));
  box.setText(QString::fromStdWString(t));
  box.setWindowTitle(QString::fromStdWString(c));
  const UINT buttons = type & 0xF;
  box.setStandardButtons(buttons == MB_OKCANCEL ? QMessageBox::Ok | QMessageBox::Cancel
                         : buttons == MB_YESNO  ? QMessageBox::Yes | QMessageBox::No
                         : buttons == MB_YESNOCANCEL
                             ? QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel
                             : QMessageBox::Ok);
  switch (box.exec()) {
    case QMessageBox::Ok:
      return IDOK;
    case QMessageBox::Yes:
      return IDYES;
    case QMessageBox::No:
      return IDNO;
    default:
      return IDCANCEL;
  }
}

PIDLIST_ABSOLUTE SHBrowseForFolderW(BROWSEINFOW* info) {
  if (!info) return nullptr;
  const std::string title = Narrow(info->lpszTitle);
  std::string path;
  if (g_chooserHook)
    path = g_chooserHook("folder", title);
  else if (IsUiThread())
    path = QFileDialog::getExistingDirectory(SOWin::WidgetOf(info->hwndOwner), QString::fromStdString(title))
               .toStdString();
  if (path.empty()) return nullptr;
  auto* copy = new std::wstring(SOWin::FromUtf8(path));
  if (info->pszDisplayName) {
    const std::wstring name =
        SOWin::FromUtf8(QFileInfo(QString::fromStdString(path)).fileName().toStdString());
    wcsncpy(info->pszDisplayName, name.c_str(), 259);
    info->pszDisplayName[259] = 0;
  }
  return reinterpret_cast<PIDLIST_ABSOLUTE>(copy);
}

BOOL SHGetPathFromIDListW(PIDLIST_ABSOLUTE list, LPWSTR path) {
  if (!list || !path) return FALSE;
  const auto* s = reinterpret_cast<const std::wstring*>(list);
  wcsncpy(path, s->c_str(), 259);
  path[259] = 0;
  return TRUE;
}

void CoTaskMemFree(LPVOID p) {
  delete reinterpret_cast<std::wstring*>(p);
}

namespace {
BOOL ChooseFile(OPENFILENAMEW* ofn, bool save) {
  if (!ofn || !ofn->lpstrFile || ofn->nMaxFile == 0) return FALSE;
  const std::string title = Narrow(ofn->lpstrTitle);
  std::string path;
  if (g_chooserHook) {
    path = g_chooserHook(save ? "save" : "open", title);
  } else if (IsUiThread()) {
    // Filters come as pairs of display text and pattern, ended by an empty string.
    QStringList filters;
    for (LPCWSTR f = ofn->lpstrFilter; f && *f;) {
      const QString name = QString::fromWCharArray(f);
      f += wcslen(f) + 1;
      const QString pattern = QString::fromWCharArray(f).replace(QLatin1Char(';'), QLatin1Char(' '));
      f += wcslen(f) + 1;
      filters << QStringLiteral("%1 (%2)").arg(name, pattern);
    }
    QWidget* parent = SOWin::WidgetOf(ofn->hwndOwner);
    const QString dir = ofn->lpstrInitialDir ? QString::fromWCharArray(ofn->lpstrInitialDir) : QString();
    path = (save ? QFileDialog::getSaveFileName(parent, QString::fromStdString(title), dir,
                                                filters.join(QLatin1String(";;")))
                 : QFileDialog::getOpenFileName(parent, QString::fromStdString(title), dir,
                                                filters.join(QLatin1String(";;"))))
               .toStdString();
  }
  if (path.empty()) return FALSE;
  const std::wstring w = SOWin::FromUtf8(path);
  if (w.size() + 1 > ofn->nMaxFile) return FALSE;
  wcscpy(ofn->lpstrFile, w.c_str());
  const size_t slash = w.rfind(L'/');
  const size_t dot = w.rfind(L'.');
  ofn->nFileOffset = static_cast<WORD>(slash == std::wstring::npos ? 0 : slash + 1);
  ofn->nFileExtension = static_cast<WORD>(
      dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash) ? w.size() : dot + 1);
  return TRUE;
}
}  // namespace

BOOL GetOpenFileNameW(OPENFILENAMEW* ofn) {
  return ChooseFile(ofn, false);
}
BOOL GetSaveFileNameW(OPENFILENAMEW* ofn) {
  return ChooseFile(ofn, true);
}

BOOL Shell_NotifyIconW(DWORD message, NOTIFYICONDATAW* data) {
  if (!data || !IsUiThread()) return FALSE;
  const auto key = std::make_pair(data->hWnd, data->uID);
  auto it = g_tray.find(key);
  if (message == NIM_DELETE) {
    if (it == g_tray.end()) return FALSE;
    g_tray.erase(it);
    return TRUE;
  }
  if ((message == NIM_ADD) == (it != g_tray.end())) return FALSE;
  TrayEntry& entry = g_tray[key];
  if (message == NIM_ADD && QSystemTrayIcon::isSystemTrayAvailable()) {
    entry.icon = std::make_unique<QSystemTrayIcon>();
    const HWND hwnd = data->hWnd;
    const UINT id = data->uID;
    const UINT callback = (data->uFlags & NIF_MESSAGE) ? data->uCallbackMessage : 0;
    if (callback)
      QObject::connect(entry.icon.get(), &QSystemTrayIcon::activated,
                       [hwnd, id, callback](QSystemTrayIcon::ActivationReason r) {
                         const LPARAM mouse = r == QSystemTrayIcon::Context       ? WM_RBUTTONUP
                                              : r == QSystemTrayIcon::DoubleClick ? WM_LBUTTONDBLCLK
                                                                                  : WM_LBUTTONUP;
                         PostMessageW(hwnd, callback, id, mouse);
                       });
  }
  if (data->uFlags & NIF_TIP) entry.tip = std::wstring(data->szTip, wcsnlen(data->szTip, 128));
  if (entry.icon) {
    if (data->uFlags & NIF_ICON) {
      auto* c = reinterpret_cast<CursorObj*>(data->hIcon);
      entry.icon->setIcon(c ? QIcon(c->cursor.pixmap()) : QIcon());
    }
    entry.icon->setToolTip(QString::fromStdWString(entry.tip));
    entry.icon->show();
  }
  return TRUE;
}

// ---- Modules ------------------------------------------------------------------------------

HMODULE LoadLibraryA(LPCSTR path) {
  if (!path) return nullptr;
  return reinterpret_cast<HMODULE>(dlopen(SOWin::NormalisePath(path).c_str(), RTLD_NOW | RTLD_LOCAL));
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  if (!module || !name) return nullptr;
  return reinterpret_cast<FARPROC>(dlsym(module, name));
}

BOOL FreeLibrary(HMODULE module) {
  return module && dlclose(module) == 0 ? TRUE : FALSE;
}

HMODULE GetModuleHandleW(LPCWSTR name) {
  if (name) return nullptr;
  return reinterpret_cast<HMODULE>(dlopen(nullptr, RTLD_NOW | RTLD_NOLOAD));
}

// ---- Mapped files -------------------------------------------------------------------------

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, void*, DWORD disposition, DWORD, HANDLE) {
  if (!path) return INVALID_HANDLE_VALUE;
  const bool write = access & GENERIC_WRITE;
  int flags = write ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
  // Truncation waits until the lock is ours: a refused opener must never shrink a file that
  // another holder has mapped.
  bool truncate = false;
  switch (disposition) {
    case CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      flags |= O_CREAT;
      truncate = true;
      break;
    case OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      truncate = true;
      break;
    default:
      break;
  }
  const int fd = ::open(SOWin::NormalisePath(path).c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  // No sharing: nobody else may hold the file; later openers fail.
  const int lockMode = (shareMode & (FILE_SHARE_READ | FILE_SHARE_WRITE)) ? LOCK_SH : LOCK_EX;
  if (flock(fd, lockMode | LOCK_NB) != 0 || (truncate && (!write || ftruncate(fd, 0) != 0))) {
    ::close(fd);
    return INVALID_HANDLE_VALUE;
  }
  auto h = std::make_unique<FileHandle>();
  h->fd = fd;
  h->writable = write;
  HANDLE handle = h.get();
  std::lock_guard lock(g_fileMutex);
  g_files[handle] = std::move(h);
  return handle;
}

HANDLE CreateFileMappingA(HANDLE file, void*, DWORD protect, DWORD sizeHigh, DWORD sizeLow, LPCSTR) {
  std::lock_guard lock(g_fileMutex);
  auto it = g_files.find(file);
  if (it == g_files.end() || it->second->mapping) return nullptr;
  const int fd = it->second->fd;
  size_t size = (static_cast<size_t>(sizeHigh) << 32) | sizeLow;
  struct stat st {};
  if (fstat(fd, &st) != 0) return nullptr;
  if (size == 0) size = static_cast<size_t>(st.st_size);
  if (size == 0) return nullptr;
  const bool writable = protect == PAGE_READWRITE;
  if (writable && static_cast<size_t>(st.st_size) < size && ftruncate(fd, static_cast<off_t>(size)) != 0)
    return nullptr;
  auto m = std::make_unique<FileHandle>();
  m->fd = dup(fd);
  if (m->fd < 0) return nullptr;
  m->mapping = true;
  m->size = size;
  m->writable = writable;
  HANDLE handle = m.get();
  g_files[handle] = std::move(m);
  return handle;
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes) {
  std::lock_guard lock(g_fileMutex);
  auto it = g_files.find(mapping);
  if (it == g_files.end() || !it->second->mapping) return nullptr;
  const FileHandle& m = *it->second;
  const size_t offset = (static_cast<size_t>(offsetHigh) << 32) | offsetLow;
  if (offset >= m.size || offset % static_cast<size_t>(sysconf(_SC_PAGESIZE)) != 0) return nullptr;
  const size_t length = bytes ? bytes : m.size - offset;
  if (offset + length > m.size) return nullptr;
  const bool write = (access & FILE_MAP_WRITE) && m.writable;
  void* view = mmap(nullptr, length, PROT_READ | (write ? PROT_WRITE : 0), MAP_SHARED, m.fd,
                    static_cast<off_t>(offset));
  if (view == MAP_FAILED) return nullptr;
  g_views[view] = length;
  return view;
}

BOOL UnmapViewOfFile(LPCVOID view) {
  std::lock_guard lock(g_fileMutex);
  auto it = g_views.find(view);
  if (it == g_views.end()) return FALSE;
  munmap(const_cast<void*>(view), it->second);
  g_views.erase(it);
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  std::lock_guard lock(g_fileMutex);
  auto it = g_files.find(handle);
  if (it == g_files.end()) return FALSE;
  ::close(it->second->fd);
  g_files.erase(it);
  return TRUE;
}

BOOL DeleteFileA(LPCSTR path) {
  return path && ::unlink(SOWin::NormalisePath(path).c_str()) == 0 ? TRUE : FALSE;
}

// ---- Our extensions -----------------------------------------------------------------------

namespace SOWin {

void SetPopupMenuHook(std::function<UINT(HMENU, int, int, HWND)> hook) {
  g_menuHook = std::move(hook);
}
void SetShellOpenHook(
    std::function<bool(const std::string&, const std::string&, const std::string&, const std::string&)>
        hook) {
  g_shellHook = std::move(hook);
}
void SetFileChooserHook(std::function<std::string(const std::string&, const std::string&)> hook) {
  g_chooserHook = std::move(hook);
}
void SetMessageBoxHook(std::function<int(const std::wstring&, const std::wstring&, UINT)> hook) {
  g_messageBoxHook = std::move(hook);
}

int TrayIconCount() {
  return static_cast<int>(g_tray.size());
}

bool IsTrayAvailable() {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

HICON LoadIconFile(const std::string& path) {
  static std::mutex m;
  static std::map<std::string, std::unique_ptr<CursorObj>> cache;  // icons live to process end
  std::lock_guard lock(m);
  auto& slot = cache[path];
  if (!slot) {
    QPixmap pixmap(QString::fromStdString(NormalisePath(path)));
    if (pixmap.isNull()) return nullptr;
    slot.reset(new CursorObj{QCursor(pixmap)});
  }
  return reinterpret_cast<HICON>(slot.get());
}

int RunApplication(int& argc, char** argv, const std::function<int()>& body) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  EnsureDispatcher();
  return body();
}

std::string ToUtf8(const std::wstring& s) {
  return QString::fromStdWString(s).toStdString();
}
std::wstring FromUtf8(const std::string& s) {
  return QString::fromStdString(s).toStdWString();
}

std::string NormalisePath(const std::string& path) {
  std::string p = path;
  std::replace(p.begin(), p.end(), '\\', '/');
  return p;
}

}  // namespace SOWin
