#include "SOPluginOrient.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "ISODcmObject.h"
#include "ISOImageObject.h"
#include "SOGdi.h"
#include "SOGdiPlus.h"
#include "SOImageObject.h"

namespace {

struct Letter {
  char c;
  double weight;
};

// Inserts before the first letter of smaller weight, so equal weights keep x, y, z order.
void Place(std::vector<Letter>& side, Letter letter) {
  auto it = side.begin();
  while (it != side.end() && it->weight >= letter.weight) ++it;
  side.insert(it, letter);
}

// The letters of the side a direction comes from (minus) and points to (plus).
void Letters(const double* v, std::string& minus, std::string& plus) {
  static const char kMinus[3][2] = {{'R', 'L'}, {'A', 'P'}, {'F', 'H'}};  // for a positive, negative component
  std::vector<Letter> m, p;
  for (int i = 0; i < 3; ++i) {
    const double a = std::fabs(v[i]);
    if (!(a > 0.1)) continue;
    const bool positive = v[i] > 0;
    const char from = positive ? kMinus[i][0] : kMinus[i][1];
    const char to = positive ? kMinus[i][1] : kMinus[i][0];
    Place(m, {from, a});
    Place(p, {to, a});
  }
  minus.clear();
  plus.clear();
  for (const Letter& l : m) minus += l.c;
  for (const Letter& l : p) plus += l.c;
}

}  // namespace

void SOPluginOrient::Labels(const double orientation[6], const SOMatrix2R2C& view, std::string& left,
                            std::string& bottom) {
  std::string rowMinus, rowPlus, columnMinus, columnPlus;
  Letters(orientation, rowMinus, rowPlus);
  Letters(orientation + 3, columnMinus, columnPlus);
  left.clear();
  bottom.clear();
  // Where the image's left edge (-1, 0) and bottom edge (0, -1) go under the view (row vectors).
  const double ax = -view.m00, ay = -view.m01;
  const double bx = -view.m10, by = -view.m11;
  if (ax > 0) left = rowPlus;
  else if (ax < 0) left = rowMinus;
  else if (ay > 0) bottom = rowMinus;
  else if (ay < 0) bottom = rowPlus;
  if (bx > 0) left = columnPlus;
  else if (bx < 0) left = columnMinus;
  else if (by > 0) bottom = columnMinus;
  else if (by < 0) bottom = columnPlus;
}

void SOPluginOrient::Draw(HDC hdc, RECT r) {
  ISOImageObject* image = host_ ? host_->GetDataObject() : nullptr;
  if (!enabled_ || !image) return;
  ISODcmObject* object = image->GetDcmObject();
  double orientation[6];
  auto* own = dynamic_cast<SOImageObject*>(image);
  const int frame = own ? static_cast<int>(own->GetFrameIndex()) : 0;
  if (!object || !object->GetImageOrientationPatient(orientation, frame)) return;
  std::string left, bottom;
  Labels(orientation, image->GetImagePresentationState().matrix, left, bottom);
  const int dpi = std::max(1, ::GetDeviceCaps(hdc, LOGPIXELSY));
  float size = static_cast<float>(std::abs(r.bottom - r.top) * 0.0625 * 72 / dpi);
  host_->GetFontSize(size);
  if (!(size > 0)) return;
  Gdiplus::Graphics g(hdc);
  g.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
  Gdiplus::Font font(L"Microsoft YaHei", size, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
  Gdiplus::SolidBrush brush(Gdiplus::Color(0xFFFFEC8B));
  const Gdiplus::RectF layout(static_cast<float>(r.left), static_cast<float>(r.top),
                              static_cast<float>(r.right - r.left), static_cast<float>(r.bottom - r.top));
  const std::wstring l(left.begin(), left.end()), b(bottom.begin(), bottom.end());
  Gdiplus::StringFormat leftFormat;
  leftFormat.SetAlignment(Gdiplus::StringAlignmentNear);
  leftFormat.SetLineAlignment(Gdiplus::StringAlignmentCenter);
  g.DrawString(l.c_str(), -1, &font, layout, &leftFormat, &brush);
  Gdiplus::StringFormat bottomFormat;
  bottomFormat.SetAlignment(Gdiplus::StringAlignmentCenter);
  bottomFormat.SetLineAlignment(Gdiplus::StringAlignmentFar);
  g.DrawString(b.c_str(), -1, &font, layout, &bottomFormat, &brush);
}
