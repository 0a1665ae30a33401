// Cursors and icons: the system shapes, the program's own drawn cursors, icon files.

#include <QPainterPath>
#include <QPixmap>

#include <map>
#include <memory>
#include <mutex>

#include "SOWin32.h"
#include "SOWinPrivate.h"
#include "SOWinQt.h"

using namespace sowin;

namespace {

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

namespace SOWin {

HICON LoadIconFile(const std::string& path) {
  static std::mutex m;
  static std::map<std::string, std::unique_ptr<CursorObj>> cache;  // icons live to process end
  std::lock_guard lock(m);
  auto& slot = cache[path];
  if (!slot) {
    const QPixmap pixmap = QPixmap::fromImage(ReadImageFile(QString::fromStdString(NormalisePath(path))));
    if (pixmap.isNull()) return nullptr;
    slot.reset(new CursorObj{QCursor(pixmap)});
  }
  return reinterpret_cast<HICON>(slot.get());
}

}  // namespace SOWin
