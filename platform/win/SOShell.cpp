// Desktop services: shell open, message boxes, file and folder choosers, and the application.

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "SODialog.h"
#include "SOWinApp.h"
#include "SOWinPrivate.h"
#include "SOWinQt.h"

using namespace sowin;

namespace {

// Test hooks; UI thread only.
std::function<bool(const std::string&, const std::string&, const std::string&, const std::string&)>
    g_shellHook;
std::function<std::string(const std::string&, const std::string&)> g_chooserHook;
std::string g_lastFolderStart;  // the folder the last folder chooser opened at
std::function<int(const std::wstring&, const std::wstring&, UINT)> g_messageBoxHook;

std::string Narrow(LPCWSTR s) {
  return s ? SOWin::ToUtf8(s) : std::string();
}

// The folder the user chooses (UTF-8, whole), empty when cancelled.
std::string AskFolder(HWND owner, const std::string& title, const std::string& start) {
  g_lastFolderStart = start;
  if (g_chooserHook) return g_chooserHook("folder", title);
  if (!IsUiThread()) return {};
  return QFileDialog::getExistingDirectory(SOWin::WidgetOf(owner), QString::fromStdString(title),
                                           QString::fromStdString(start))
      .toStdString();
}

}  // namespace

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
  const std::string path = AskFolder(info->hwndOwner, Narrow(info->lpszTitle), std::string());
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
// Several chosen files (one path a line) in the multiple-selection layout: the folder, each
// name, an empty name. One file is its whole path. Files of different folders cannot be told
// in that layout and are refused, as is a buffer too small.
BOOL WriteChoices(OPENFILENAMEW* ofn, const std::string& lines) {
  std::vector<std::wstring> paths;
  std::stringstream in(lines);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) paths.push_back(SOWin::FromUtf8(line));
  if (paths.empty()) return FALSE;
  std::wstring out;
  if (paths.size() == 1) {
    out = paths[0];
    out += L'\0';
  } else {
    const size_t slash = paths[0].rfind(L'/');
    if (slash == std::wstring::npos) return FALSE;
    // Files at the root have the folder "/".
    const std::wstring prefix = paths[0].substr(0, slash + 1);
    out = slash == 0 ? prefix : prefix.substr(0, slash);
    out += L'\0';
    for (const auto& p : paths) {
      if (p.size() <= prefix.size() || p.compare(0, prefix.size(), prefix) != 0 ||
          p.find(L'/', prefix.size()) != std::wstring::npos)
        return FALSE;
      out += p.substr(prefix.size());
      out += L'\0';
    }
  }
  if (out.size() + 1 > ofn->nMaxFile) return FALSE;
  std::copy(out.begin(), out.end(), ofn->lpstrFile);
  ofn->lpstrFile[out.size()] = 0;
  const size_t slash = paths[0].rfind(L'/');
  ofn->nFileOffset = static_cast<WORD>(slash == std::wstring::npos ? 0 : slash + 1);
  ofn->nFileExtension = 0;
  return TRUE;
}

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
    if (!save && (ofn->Flags & OFN_ALLOWMULTISELECT))
      path = QFileDialog::getOpenFileNames(parent, QString::fromStdString(title), dir,
                                           filters.join(QLatin1String(";;")))
                 .join(QLatin1Char('\n'))
                 .toStdString();
    else
      path = (save ? QFileDialog::getSaveFileName(parent, QString::fromStdString(title), dir,
                                                  filters.join(QLatin1String(";;")))
                   : QFileDialog::getOpenFileName(parent, QString::fromStdString(title), dir,
                                                  filters.join(QLatin1String(";;"))))
                 .toStdString();
  }
  if (path.empty()) return FALSE;
  if (!save && (ofn->Flags & OFN_ALLOWMULTISELECT)) return WriteChoices(ofn, path);
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

bool SODialog::BrowseForFolder(HWND owner, const wchar_t* title, const std::string& start, std::string& chosen) {
  const std::string path = AskFolder(owner, Narrow(title), start);
  if (path.empty()) return false;
  chosen = path;
  return true;
}

bool SODialog::ChooseFiles(HWND owner, const wchar_t* filter, size_t maxChars, std::vector<std::string>& paths) {
  std::wstring buffer(std::max<size_t>(maxChars, 2), L'\0');
  OPENFILENAMEW ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
  if (!GetOpenFileNameW(&ofn)) return false;
  // One whole path, or the folder followed by the names, each ended by a NUL.
  std::vector<std::wstring> parts;
  for (const wchar_t* p = buffer.c_str(); *p; p += wcslen(p) + 1) parts.emplace_back(p);
  paths.clear();
  if (parts.size() == 1) {
    paths.push_back(SOWin::ToUtf8(parts[0]));
  } else if (parts.size() > 1) {
    std::wstring folder = parts[0];
    if (folder.back() != L'/') folder += L'/';
    for (size_t i = 1; i < parts.size(); ++i) paths.push_back(SOWin::ToUtf8(folder + parts[i]));
  }
  return !paths.empty();
}

namespace SOWin {

void SetShellOpenHook(
    std::function<bool(const std::string&, const std::string&, const std::string&, const std::string&)>
        hook) {
  g_shellHook = std::move(hook);
}
void SetFileChooserHook(std::function<std::string(const std::string&, const std::string&)> hook) {
  g_chooserHook = std::move(hook);
}
std::string LastFolderChooserStart() {
  return g_lastFolderStart;
}
void SetMessageBoxHook(std::function<int(const std::wstring&, const std::wstring&, UINT)> hook) {
  g_messageBoxHook = std::move(hook);
}

int RunApplication(int& argc, char** argv, const std::function<int()>& body) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  EnsureDispatcher();
  // The font database, which the first paint waits for and no window has to build itself, is
  // built beside the UI thread while the program builds its first window.
  std::thread fonts([] { QFontDatabase::families(); });
  const int result = body();
  fonts.join();
  return result;
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
