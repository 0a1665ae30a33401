// Turning an image object's frame into pixels: the pixel records, bitmaps and painting.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "DcmColors.h"
#include "ISODcmObject.h"
#include "SODcmUtil.h"
#include "SOImageObject.h"
#include "SOImageObjectMembers.h"

namespace {

// The largest side of a resampled record: above it the painter scales the bitmap.
constexpr int kMaxResampledSide = 4096;

thread_local bool t_quickScaling = false;

const std::vector<unsigned char>* PaletteTable(SOColorPalette palette) {
  switch (palette) {
    case SOColorPaletteHotIron:
      return &DcmColors::HotIron;
    case SOColorPalettePET:
      return &DcmColors::PET;
    case SOColorPaletteHotMetalBlue:
      return &DcmColors::HotMetalBlue;
    case SOColorPalettePET20Step:
      return &DcmColors::PET20Step;
    default:
      return nullptr;
  }
}

// The 256 ARGB entries of a palette; the grey ramp unless the table has 768 to 770 bytes.
std::vector<uint32_t> PaletteEntries(SOColorPalette palette) {
  std::vector<uint32_t> entries(256);
  const std::vector<unsigned char>* table = PaletteTable(palette);
  bool useTable = table && table->size() >= 768 && table->size() <= 770;
  for (uint32_t i = 0; i < 256; ++i) {
    if (useTable)
      entries[i] = 0xFF000000u | ((*table)[3 * i] << 16) | ((*table)[3 * i + 1] << 8) | (*table)[3 * i + 2];
    else
      entries[i] = 0xFF000000u | (i << 16) | (i << 8) | i;
  }
  return entries;
}

// Fits columns x rows into width x height keeping the aspect.
void FitSize(int columns, int rows, int width, int height, int& fitW, int& fitH) {
  fitW = fitH = 0;
  if (width <= 0 || height <= 0 || columns <= 0 || rows <= 0) return;
  double aspect = static_cast<double>(columns) / rows;
  if (static_cast<double>(width) / height >= aspect) {
    fitW = static_cast<int>(aspect * height);
    fitH = height;
  } else {
    fitW = width;
    fitH = static_cast<int>(width / aspect);
  }
}

Gdiplus::PixelFormat BitmapFormat(const DcmImageInputData& record, bool drawn) {
  if (record.type == DCM_PIXEL_RGB24) return Gdiplus::PixelFormat24bppRGB;
  if (record.type == DCM_PIXEL_ARGB32) return Gdiplus::PixelFormat32bppARGB;
  // Palettes are opaque: their colours drawn are what the 8-bit bitmap would draw.
  return drawn ? Gdiplus::PixelFormat32bppRGB : Gdiplus::PixelFormat8bppIndexed;
}

}  // namespace

DcmImageInputData* SOImageObject::GetOriginalImagePixelData() {
  if (!m_->dcmObject) return nullptr;
  if (!m_->original) {
    m_->original = std::make_unique<DcmImageInputData>();
    // Kept even when reading fails, so callers see type 0 instead of asking again.
    m_->dcmObject->GetImagePixelData(m_->original.get(), m_->frame, true);
  }
  return m_->original.get();
}

DcmImageInputData* SOImageObject::GetOptimizedPixelData(int width, int height) {
  DcmImageInputData* original = GetOriginalImagePixelData();
  if (!original || original->type == DCM_PIXEL_NONE) return nullptr;
  const int n = original->columns, r = original->rows;
  int fitW = 0, fitH = 0;
  FitSize(n, r, width, height, fitW, fitH);
  if (n / 2 <= fitW && fitW <= 2 * n) {
    m_->zoomed.reset();
    return original;
  }
  // Enlarging stops at twice the native size (and kMaxResampledSide); the painter does the rest.
  if (fitW > 2 * n) {
    double scale = std::min(
        {2.0, static_cast<double>(kMaxResampledSide) / n, static_cast<double>(kMaxResampledSide) / r});
    fitW = std::max(1, static_cast<int>(n * scale));
    fitH = std::max(1, static_cast<int>(r * scale));
    if (fitW <= n) {
      m_->zoomed.reset();
      return original;
    }
  }
  fitH = std::max(fitH, 1);
  if (m_->zoomed && m_->zoomed->columns != fitW) m_->zoomed.reset();
  // A quick paint of new pixels (a drag's planes, a paging step) leaves the scaling to the
  // nearest-pixel painter: resampling each new frame costs more than its whole paint.
  if (!m_->zoomed && t_quickScaling) return original;
  if (!m_->zoomed) {
    auto zoomed = std::make_unique<DcmImageInputData>();
    if (!SODcmUtil::ZoomImagePixelData(*original, *zoomed, fitW, fitH)) return nullptr;
    m_->zoomed = std::move(zoomed);
  }
  return m_->zoomed.get();
}

Gdiplus::Bitmap* SOImageObject::GetPrimaryBitmap2(int width, int height) {
  DcmImageInputData* record = GetOptimizedPixelData(width, height);
  bool resized = m_->primary && record && record->rows && record->columns &&
                 (m_->primary->GetHeight() != record->rows || m_->primary->GetWidth() != record->columns);
  if (m_->primaryStale || resized) {
    // A new window over the same pixels is written into the bitmap there is: a drag re-windows
    // every step, and allocating a frame-sized bitmap each time costs more than windowing.
    if (resized || !m_->primary || !WriteBitmapPixels(*m_->primary, record)) m_->primary.reset();
    m_->primaryStale = false;
  }
  DcmImageInputData* original = GetOriginalImagePixelData();
  // The drawn bitmap holds colours: windowing writes what painting takes, with no 8-bit step.
  if (!m_->primary && original && original->type != DCM_PIXEL_NONE)
    m_->primary.reset(CreateBitmapByPixelData(record, true));
  return m_->primary.get();
}

Gdiplus::Bitmap* SOImageObject::GetOriginBitmapData() {
  DcmImageInputData* original = GetOriginalImagePixelData();
  if (!original) return nullptr;
  if (m_->originStale || !m_->origin) {
    m_->origin.reset(CreateBitmapByPixelData(original));
    m_->originStale = false;
  }
  return m_->origin.get();
}

Gdiplus::Bitmap* SOImageObject::CreateBitmapByPixelData(DcmImageInputData* record, bool drawn) {
  if (!record || record->type == DCM_PIXEL_NONE || !record->columns || !record->rows) return nullptr;
  // Every pixel is written next, so the bitmap is not cleared first.
  std::unique_ptr<Gdiplus::Bitmap> bitmap(
      Gdiplus::Bitmap::NewUncleared(record->columns, record->rows, BitmapFormat(*record, drawn)));
  if (bitmap->GetLastStatus() != Gdiplus::Ok) return nullptr;
  return WriteBitmapPixels(*bitmap, record) ? bitmap.release() : nullptr;
}

bool SOImageObject::WriteBitmapPixels(Gdiplus::Bitmap& bitmap, DcmImageInputData* record) {
  const bool drawn = bitmap.GetPixelFormat() == Gdiplus::PixelFormat32bppRGB;
  if (!record || record->type == DCM_PIXEL_NONE || bitmap.GetPixelFormat() != BitmapFormat(*record, drawn) ||
      bitmap.GetWidth() != record->columns || bitmap.GetHeight() != record->rows)
    return false;
  const int width = record->columns, height = record->rows;
  const unsigned char* source = record->data.data;
  const uint64_t pixels = static_cast<uint64_t>(width) * height;
  Gdiplus::Rect all(0, 0, width, height);
  Gdiplus::BitmapData locked;

  if (record->type == DCM_PIXEL_RGB24 || record->type == DCM_PIXEL_ARGB32) {
    const bool rgb = record->type == DCM_PIXEL_RGB24;
    const int sourceBytes = rgb ? 3 : 4;
    if (!source || record->data.count < pixels * sourceBytes) return false;
    if (bitmap.LockBits(&all, Gdiplus::ImageLockModeWrite, bitmap.GetPixelFormat(), &locked) != Gdiplus::Ok)
      return false;
    for (int y = 0; y < height; ++y) {
      const unsigned char* in = source + static_cast<uint64_t>(y) * width * sourceBytes;
      auto* out = static_cast<unsigned char*>(locked.Scan0) + static_cast<int64_t>(y) * locked.Stride;
      if (rgb) {
        for (int x = 0; x < width; ++x, in += 3) {  // R, G, B in, B, G, R out
          *out++ = in[2];
          *out++ = in[1];
          *out++ = in[0];
        }
      } else {
        // A, R, G, B in, B, G, R, A out: each pixel's bytes reversed, a word at a time (a frame
        // of colour rendering is converted at every new rendering).
        for (int x = 0; x < width; ++x) {
          uint32_t word;
          std::memcpy(&word, in + static_cast<size_t>(x) * 4, 4);
          word = word >> 24 | (word >> 8 & 0xFF00u) | (word << 8 & 0xFF0000u) | word << 24;
          std::memcpy(out + static_cast<size_t>(x) * 4, &word, 4);
        }
      }
    }
    bitmap.UnlockBits(&locked);
    return true;
  }

  std::vector<uint32_t> entries = PaletteEntries(m_->state.palette);
  const SOImagePresentationState& s = m_->state;
  if (drawn) {
    if (bitmap.LockBits(&all, Gdiplus::ImageLockModeWrite, Gdiplus::PixelFormat32bppRGB, &locked) !=
        Gdiplus::Ok)
      return false;
    const bool ok =
        locked.Stride % 4 == 0 &&
        SODcmUtil::SetBitmapData32Bits(static_cast<uint32_t*>(locked.Scan0), locked.Stride / 4, *record,
                                       s.windowCenter, s.windowWidth, s.invert, false, entries.data());
    bitmap.UnlockBits(&locked);
    return ok;
  }
  std::vector<unsigned char> paletteBytes(sizeof(Gdiplus::ColorPalette) + 255 * sizeof(Gdiplus::ARGB));
  auto* palette = reinterpret_cast<Gdiplus::ColorPalette*>(paletteBytes.data());
  palette->Flags = 0;
  palette->Count = 256;
  std::copy(entries.begin(), entries.end(), palette->Entries);
  bitmap.SetPalette(palette);

  if (bitmap.LockBits(&all, Gdiplus::ImageLockModeWrite, Gdiplus::PixelFormat8bppIndexed, &locked) !=
      Gdiplus::Ok)
    return false;
  const int stride = (width + 3) & ~3;
  bool ok;
  if (locked.Stride == stride) {
    ok = SODcmUtil::SetBitmapData8Bits(static_cast<unsigned char*>(locked.Scan0), *record, s.windowCenter,
                                       s.windowWidth, s.invert, false);
  } else {
    std::vector<unsigned char> bits(static_cast<size_t>(stride) * height);
    ok = SODcmUtil::SetBitmapData8Bits(bits.data(), *record, s.windowCenter, s.windowWidth, s.invert, false);
    for (int y = 0; ok && y < height; ++y)
      std::memcpy(static_cast<unsigned char*>(locked.Scan0) + static_cast<int64_t>(y) * locked.Stride,
                  bits.data() + static_cast<size_t>(y) * stride, width);
  }
  bitmap.UnlockBits(&locked);
  return ok;
}

void SOImageObject::SetQuickScaling(bool on) {
  t_quickScaling = on;
}

bool SOImageObject::IsQuickScaling() {
  return t_quickScaling;
}

bool SOImageObject::DrawImage(HDC hdc, RECT rect, bool) {
  if (!hdc) return false;
  const int W = rect.right - rect.left, H = rect.bottom - rect.top;
  const SOImagePresentationState& s = m_->state;
  const int zw = static_cast<int>(s.zoom * W), zh = static_cast<int>(s.zoom * H);
  Gdiplus::Bitmap* bitmap = GetPrimaryBitmap2(zw, zh);
  if (!bitmap) return false;

  const int iw = static_cast<int>(bitmap->GetWidth()), ih = static_cast<int>(bitmap->GetHeight());
  float dw = 0, dh = 0;
  if (zw > 0 && zh > 0 && iw > 0 && ih > 0) {
    float aspect = static_cast<float>(iw) / ih;
    if (static_cast<float>(zw) / zh >= aspect) {
      dw = aspect * zh;
      dh = static_cast<float>(zh);
    } else {
      dw = static_cast<float>(zw);
      dh = zw / aspect;
    }
  }
  const float x = rect.left + (W - zw) / 2 + (zw - dw) * 0.5f;
  const float y = rect.top + (H - zh) / 2 + (zh - dh) * 0.5f;

  Gdiplus::Graphics graphics(hdc);
  Gdiplus::ImageAttributes attributes;
  attributes.SetWrapMode(Gdiplus::WrapModeTileFlipXY, Gdiplus::Color(255, 0, 0, 0));
  graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  graphics.SetInterpolationMode(t_quickScaling ? Gdiplus::InterpolationModeNearestNeighbor
                                               : Gdiplus::InterpolationModeHighQualityBicubic);
  // Turns and mirrors act about the rectangle's centre, as the render map's do.
  const float cx = rect.left + W * 0.5f, cy = rect.top + H * 0.5f;
  const SOMatrix2R2C& m = s.matrix;
  Gdiplus::Matrix transform(m.m00, m.m01, m.m10, m.m11, s.panX * W + cx, s.panY * H + cy);
  transform.Translate(-cx, -cy, Gdiplus::MatrixOrderPrepend);
  graphics.SetTransform(&transform);
  graphics.DrawImage(bitmap, Gdiplus::RectF(x, y, dw, dh), 0, 0, static_cast<float>(iw),
                     static_cast<float>(ih), Gdiplus::UnitPixel, &attributes);
  return true;
}
