// The clipboard (bitmaps and text) and global memory blocks.

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "SOGdi.h"
#include "SOWin32.h"
#include "SOWinPrivate.h"
#include "SOWinQt.h"

using namespace sowin;

namespace {

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

}  // namespace

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
