#pragma once
// The viewer benchmarks' peer display: a plain Qt widget that draws frames smoothly scaled into
// square cells of a rows x columns grid on black, as the least a viewer can do per paint.

#include <QImage>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace bench {

class PlainCells : public QWidget {
 public:
  PlainCells(int rows, int cols) : rows_(rows), cols_(cols) { setAttribute(Qt::WA_OpaquePaintEvent); }
  // Nearest-pixel scaling, as a viewer draws while the pointer drags.
  void SetQuick(bool quick) { quick_ = quick; }

 protected:
  std::vector<QImage> frames_;  // filled by the peer, one per cell from the top left
  int rows_, cols_;
  bool quick_ = false;

  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.setRenderHint(QPainter::SmoothPixmapTransform, !quick_);
    const int cw = width() / cols_, ch = height() / rows_;
    for (size_t k = 0; k < frames_.size(); ++k) {
      const int side = std::min(cw, ch) - 2;
      const QRect cell(static_cast<int>(k % cols_) * cw + (cw - side) / 2,
                       static_cast<int>(k / cols_) * ch + (ch - side) / 2, side, side);
      p.drawImage(cell, frames_[k]);
    }
  }
};

}  // namespace bench
