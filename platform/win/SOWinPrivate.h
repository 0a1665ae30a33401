#pragma once

// Shared inside platform/win only: the window registry, GDI objects and DC state.

#include <QCursor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QRegion>
#include <QWidget>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "SOGdi.h"
#include "print/SOPrintApi.h"

class QTimer;

namespace sowin {

bool IsUiThread();
// Creates the UI thread's message dispatcher; call on the UI thread.
void EnsureDispatcher();
QString ToQString(LPCWSTR text, int count = -1);

// ---- GDI objects ---------------------------------------------------------------------------

struct GdiObject {
  enum class Kind { Pen, Brush, Font, Bitmap, Region };
  explicit GdiObject(Kind k) : kind(k) {}
  virtual ~GdiObject() = default;
  Kind kind;
  bool stock = false;
  int selectedIn = 0;  // DCs holding it selected; such objects are not deleted
};
struct PenObj : GdiObject {
  PenObj() : GdiObject(Kind::Pen) {}
  int style = 0;
  int width = 1;
  COLORREF color = 0;
};
struct BrushObj : GdiObject {
  BrushObj() : GdiObject(Kind::Brush) {}
  bool hollow = false;
  COLORREF color = 0;
};
struct FontObj : GdiObject {
  FontObj() : GdiObject(Kind::Font) {}
  LOGFONTW lf;
  QFont font;
};
// Owns its pixel memory, so a DIB section's bits stay where they were handed out. The image
// must never be shared (no implicit QImage copies), or painting would detach it from them.
struct BitmapObj : GdiObject {
  BitmapObj() : GdiObject(Kind::Bitmap) {}
  std::unique_ptr<uchar[]> memory;
  QImage image;
  bool dib = false;
  bool bottomUp = false;  // rows stored bottom row first
  // The picture as it looks (flipped back for bottom-up memory).
  QImage Picture() const { return bottomUp ? image.mirrored() : image.copy(); }
};
struct RegionObj : GdiObject {
  RegionObj() : GdiObject(Kind::Region) {}
  QRegion region;
};

// Validated lookups; null for a dead or foreign handle.
GdiObject* LookupObject(HGDIOBJ h);
template <class T>
T* Lookup(HGDIOBJ h, GdiObject::Kind kind) {
  GdiObject* o = LookupObject(h);
  return o && o->kind == kind ? static_cast<T*>(o) : nullptr;
}
HGDIOBJ Register(GdiObject* obj);
// A bitmap of the given size and format (RGB32 for 32-bit GDI bitmaps, BGR888 for 24-bit).
BitmapObj* NewBitmap(int width, int height, QImage::Format format, bool dib, bool bottomUp);
QFont FontFromLogFont(const LOGFONTW& lf);
// Windows face names to installed faces ("Microsoft YaHei" -> a CJK face, "Arial" -> Liberation Sans).
QString MapFace(const QString& face);
QColor FromColorRef(COLORREF c);
// "\r\n", "\n\r" and a lone '\r' become '\n'.
QString NormaliseBreaks(QString s);

// ---- Device contexts -----------------------------------------------------------------------

struct DCState {
  PenObj* pen = nullptr;
  BrushObj* brush = nullptr;
  FontObj* font = nullptr;
  COLORREF textColor = 0;
  COLORREF bkColor = 0xFFFFFF;
  int bkMode = OPAQUE;
  int stretchMode = COLORONCOLOR;
  QPoint pos;
  QPoint origin;
  std::optional<QRegion> clip;  // device coordinates
};

class DCPainter;

// Qt's printing library, opened on the first use of a printer; null (said on stderr, once)
// when its module cannot be opened. Every QPrinter of this layer comes from it.
const PrintApi* Print();
struct PrinterDeleter {
  void operator()(QPrinter* printer) const { Print()->destroy(printer); }
};

struct DCObj {
  enum class Kind { Window, Memory, Screen, Printer };
  Kind kind = Kind::Memory;
  HWND hwnd = nullptr;          // window DCs
  BitmapObj* bitmap = nullptr;  // memory DCs
  DCState state;
  std::vector<DCState> saved;
  std::unique_ptr<QPrinter, PrinterDeleter> printer;
  std::unique_ptr<QPainter> printerPainter;  // one painter per printed document
  std::unique_ptr<DCPainter> shared;         // the painter of an open SOWin::DCPaintScope
  int pages = 0;
  QString pdfPath;  // a PDF printer's folder
  QString pdfFile;  // or the one file a PDF file printer writes
};
DCObj* LookupDC(HDC hdc);
HDC NewDC(DCObj* dc);
// The image a DC paints into: a window's backing image or the selected bitmap.
QImage* TargetImage(DCObj* dc);

// A painter on a DC's target with the DC's origin and clip applied; inactive when the DC
// has nothing to paint on. While a paint scope is open on the DC it is the scope's painter,
// saved and restored around this one's use.
class DCPainter {
 public:
  explicit DCPainter(DCObj* dc);
  ~DCPainter();
  DCPainter(const DCPainter&) = delete;
  DCPainter& operator=(const DCPainter&) = delete;
  bool Active() const { return p_ && p_->isActive(); }
  QPainter* operator->() { return p_; }
  QPainter& operator*() { return *p_; }
  const QTransform& Base() const { return base_; }

 private:
  std::optional<QPainter> own_;
  QPainter* p_ = nullptr;
  QTransform base_;
};

// ---- Windows -------------------------------------------------------------------------------

struct ClassInfo {
  std::wstring name;
  UINT style = 0;
  WNDPROC proc = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  HICON icon = nullptr;
  HINSTANCE instance = nullptr;
};

struct TimerInfo {
  QTimer* timer = nullptr;
  TIMERPROC proc = nullptr;
  bool queued = false;  // a WM_TIMER is waiting in the queue
  quint64 generation = 0;
};

// UI-thread state of one window; the registry (guarded by its mutex) decides whether it lives.
struct WindowObj {
  HWND hwnd = nullptr;
  std::shared_ptr<ClassInfo> cls;
  WNDPROC proc = nullptr;
  LONG_PTR userData = 0;
  LONG_PTR id = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  HWND parent = nullptr;  // WS_CHILD windows
  HWND owner = nullptr;   // top-level windows
  std::vector<HWND> children;
  std::wstring text;
  QPointer<QWidget> widget;
  bool wrapped = false;  // a foreign widget: never deleted by us
  QImage backing;        // what the window's DCs draw into
  QRegion invalid;
  QRegion painting;  // the region of the WM_PAINT being handled
  bool inPaint = false;
  bool erasePending = true;
  std::map<UINT_PTR, TimerInfo> timers;
  QSize lastSize{-1, -1};
  QPoint lastPos{INT_MIN, INT_MIN};
  DWORD trackFlags = 0;
  QTimer* hoverTimer = nullptr;
  bool closeDisabled = false;
  HMENU sysMenu = nullptr;
  bool destroying = false;
};

struct CursorObj {
  QCursor cursor;
};

std::shared_ptr<WindowObj> FindWindowObj(HWND hwnd);
// Calls the window procedure, keeping the object alive for the call.
LRESULT CallProc(const std::shared_ptr<WindowObj>& w, UINT msg, WPARAM wp, LPARAM lp);
// The window and its children as they look, also when hidden or covered; null while the
// window is painting itself.
QImage RenderTree(HWND hwnd);
// Keeps the backing image at the client size.
void EnsureBacking(WindowObj& w);
// After a size change: EnsureBacking for a shown window; a hidden one drops its picture.
void NoteBackingSize(WindowObj& w);
// Timers and pending cross-thread sends of a window that is going away.
void ReleaseWindowMessaging(WindowObj& w);
void EndModalLoopsOf(HWND hwnd);
HCURSOR ArrowCursor();
void ApplyCursor(QWidget* widget, HCURSOR cursor);
// WM_MOUSEMOVE restarts the TME_HOVER wait.
void NoteMouseMove(WindowObj& w);
void DestroyMenuOfWindow(WindowObj& w);

}  // namespace sowin
