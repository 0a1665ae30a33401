#include "SOFilmBox.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "ISODcmObject.h"
#include "SOFilmGeometry.h"
#include "SOGdi.h"
#include "SOGdiPlus.h"
#include "SOImageObject.h"
#include "UIGettext.h"

namespace {

constexpr Gdiplus::ARGB kBlack = 0xFF000000;
constexpr Gdiplus::ARGB kWhite = 0xFFFFFFFF;
constexpr Gdiplus::ARGB kTextColour = 0xFFEFEFEF;
constexpr const wchar_t* kFontName = L"Microsoft YaHei";

// A top-down 32-bit memory canvas; its pixels are read in place, without a second copy.
class Canvas {
 public:
  Canvas(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    hdc_ = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(hdc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<const uint32_t*>(bits);
    if (bitmap_) previous_ = SelectObject(hdc_, bitmap_);
  }
  ~Canvas() {
    if (bitmap_) {
      SelectObject(hdc_, previous_);
      DeleteObject(bitmap_);
    }
    if (hdc_) DeleteDC(hdc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  bool Valid() const { return hdc_ && bits_; }
  HDC dc() const { return hdc_; }
  const uint32_t* bits() const { return bits_; }

 private:
  HDC hdc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  const uint32_t* bits_ = nullptr;
};

void FillRect(HDC hdc, Gdiplus::ARGB colour, int left, int top, int right, int bottom) {
  Gdiplus::Graphics graphics(hdc);
  Gdiplus::SolidBrush brush{Gdiplus::Color(colour)};
  graphics.FillRectangle(&brush, left, top, right - left, bottom - top);
}

// The caption: centred on the canvas in a framed black box, its text 1/34 of the area high.
void DrawCaption(HDC hdc, const std::wstring& text, int left, int top, int right, int bottom) {
  const float h = static_cast<float>(std::abs(bottom - top)), w = static_cast<float>(std::abs(right - left));
  const float unit = h / 34.0f;
  Gdiplus::Graphics graphics(hdc);
  graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
  Gdiplus::Font font(kFontName, unit / film::kCanvasDpi * 72.0f, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
  Gdiplus::StringFormat format;
  format.SetAlignment(Gdiplus::StringAlignmentCenter);
  format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
  Gdiplus::RectF measured;
  graphics.MeasureString(text.c_str(), -1, &font, Gdiplus::RectF(0, 0, w, h), &format, &measured);
  const float boxWidth = measured.Width + unit, boxHeight = measured.Height + unit;
  const Gdiplus::RectF box((w - boxWidth) / 2 + measured.X, (h - boxHeight) / 2 + measured.Y, boxWidth, boxHeight);
  Gdiplus::SolidBrush black{Gdiplus::Color(kBlack)};
  Gdiplus::SolidBrush ink{Gdiplus::Color(kTextColour)};
  Gdiplus::Pen frame(Gdiplus::Color(kTextColour), 1.0f);
  graphics.FillRectangle(&black, box);
  graphics.DrawString(text.c_str(), -1, &font, box, &format, &ink);
  graphics.DrawRectangle(&frame, box);
}

std::wstring WideFromUtf8(const char* text) {
  return SOWin::FromUtf8(text ? text : "");
}

}  // namespace

SOFilmBox::SOFilmBox() {
  SetLayout(1, 1);
}

SOFilmBox::~SOFilmBox() = default;

bool SOFilmBox::SetLayout(int rows, int cols) {
  if (rows < 1 || cols < 1) return false;
  rows = std::min(rows, kMaxLayout);
  cols = std::min(cols, kMaxLayout);
  const size_t count = static_cast<size_t>(rows) * cols;
  if (cells_.size() > count) cells_.resize(count);
  while (cells_.size() < count) cells_.push_back(std::make_unique<SOImageBox>());
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j)
      cells_[i * cols + j]->SetPlace(static_cast<float>(j) / cols, static_cast<float>(i) / rows, 1.0f / cols,
                                     1.0f / rows);
  NotifyChanged();
  return true;
}

int SOFilmBox::GetImageBoxCount() {
  return static_cast<int>(cells_.size());
}

ISOImageBox* SOFilmBox::GetImageBox(int index) {
  return GetCell(index);
}

SOImageBox* SOFilmBox::GetCell(int index) {
  return index >= 0 && index < static_cast<int>(cells_.size()) ? cells_[index].get() : nullptr;
}

int SOFilmBox::GetImageCount() {
  return static_cast<int>(images_.size());
}

SOImageObject* SOFilmBox::GetImage(int index) {
  return index >= 0 && index < static_cast<int>(images_.size()) ? images_[index] : nullptr;
}

void SOFilmBox::SetSelected(bool selected) {
  if (selected == selected_) return;
  selected_ = selected;
  for (ISOFilmBoxCallback* callback : std::vector(callbacks_)) callback->OnFilmBoxSelected(this);
}

void SOFilmBox::RegisterCallback(ISOFilmBoxCallback* callback) {
  if (callback && std::find(callbacks_.begin(), callbacks_.end(), callback) == callbacks_.end())
    callbacks_.push_back(callback);
}

void SOFilmBox::UnRegisterCallback(ISOFilmBoxCallback* callback) {
  std::erase(callbacks_, callback);
}

void SOFilmBox::SetImages(std::vector<SOImageObject*> images) {
  images_ = std::move(images);
  for (size_t k = 0; k < cells_.size(); ++k) cells_[k]->SetImageObject(k < images_.size() ? images_[k] : nullptr);
  NotifyChanged();
}

void SOFilmBox::SetPageNumber(int number, int count) {
  pageNumber_ = number;
  pageCount_ = count;
}

void SOFilmBox::NotifyChanged() {
  for (ISOFilmBoxCallback* callback : std::vector(callbacks_)) callback->OnFilmBoxChanged(this);
}

std::unique_ptr<SOFilmBox> SOFilmBox::CloneWith(std::vector<SOImageObject*> images) const {
  auto copy = std::make_unique<SOFilmBox>();
  copy->cells_.clear();
  for (const auto& cell : cells_) {
    copy->cells_.push_back(std::make_unique<SOImageBox>());
    copy->cells_.back()->SetPlace(cell->GetX(), cell->GetY(), cell->GetWidth(), cell->GetHeight());
  }
  copy->orientation_ = orientation_;
  copy->filmSize_ = filmSize_;
  copy->dpi_ = dpi_;
  copy->headerVisible_ = headerVisible_;
  copy->headerRatio_ = headerRatio_;
  copy->pageNumber_ = pageNumber_;
  copy->pageCount_ = pageCount_;
  copy->SetImages(std::move(images));
  return copy;
}

bool SOFilmBox::Render(int width, int height, unsigned char* out, long long outSize, const char* caption,
                       const std::function<void(SOImageObject*)>& drawn) {
  if (width <= 0 || height <= 0 || !out || outSize < static_cast<long long>(width) * height) return false;
  const bool landscape = orientation_ == 2;
  const int cw = landscape ? height : width, ch = landscape ? width : height;
  Canvas canvas(cw, ch);
  if (!canvas.Valid()) return false;
  HDC hdc = canvas.dc();
  FillRect(hdc, kWhite, 0, 0, cw, ch);

  int y0 = 2;
  if (headerVisible_) {
    const int hdr = static_cast<int>(static_cast<float>(ch) * headerRatio_);
    FillRect(hdc, kBlack, 0, 0, cw, hdr);
    DrawHeader(hdc, 2, 2, cw - 4, hdr + 2);
    y0 = hdr + 4;
  }
  const float wa = static_cast<float>(std::abs(cw - 6)), ha = static_cast<float>(std::abs(ch - 4 - y0));
  for (auto& cell : cells_) {
    const float x = 2 + wa * cell->GetX(), y = y0 + ha * cell->GetY();
    const RECT rect{film::Round(x), film::Round(y), film::Round(x + wa * cell->GetWidth()),
                    film::Round(y + ha * cell->GetHeight())};
    cell->Draw(hdc, rect, cw, ch);
    if (drawn && cell->GetImageObject()) drawn(cell->GetImageObject());
  }
  if (caption && *caption) DrawCaption(hdc, WideFromUtf8(caption), 2, y0, cw - 4, ch - 4);

  film::CanvasToGrey(canvas.bits(), width, height, landscape, out);
  return true;
}

void SOFilmBox::DrawHeader(HDC hdc, int left, int top, int right, int bottom) {
  std::wstring patient;
  SOImageObject* first = cells_.empty() ? nullptr : cells_[0]->GetImageObject();
  ISODcmObject* object = !images_.empty() && first ? first->GetDcmObject() : nullptr;
  if (object) {
    for (unsigned long tag : {0x00100010UL, 0x00100020UL, 0x00100040UL, 0x00101010UL}) {
      std::wstring value;
      if (!object->GetAttributeValue(tag, value) || value.empty()) continue;
      if (!patient.empty()) patient += L"  ";
      patient += value;
    }
  }
  wchar_t page[64];
  swprintf(page, 64, ui_gettext(L"Page: %d/%d"), pageNumber_, pageCount_);

  Gdiplus::Graphics graphics(hdc);
  graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
  Gdiplus::SolidBrush black{Gdiplus::Color(kBlack)};
  graphics.FillRectangle(&black, left, top, right - left, bottom - top);
  Gdiplus::Font font(kFontName, static_cast<float>(bottom - top) / film::kCanvasDpi * 72.0f,
                     Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
  Gdiplus::SolidBrush ink{Gdiplus::Color(kTextColour)};
  // The layout rectangle takes right and bottom as its size: the band starts near the origin.
  const Gdiplus::RectF layout(static_cast<float>(left), static_cast<float>(top), static_cast<float>(right),
                              static_cast<float>(bottom));
  Gdiplus::StringFormat near;
  near.SetAlignment(Gdiplus::StringAlignmentNear);
  near.SetLineAlignment(Gdiplus::StringAlignmentNear);
  graphics.DrawString(patient.c_str(), -1, &font, layout, &near, &ink);
  Gdiplus::StringFormat far;
  far.SetAlignment(Gdiplus::StringAlignmentFar);
  far.SetLineAlignment(Gdiplus::StringAlignmentNear);
  graphics.DrawString(page, -1, &font, layout, &far, &ink);
}
