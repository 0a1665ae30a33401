#include "SOPluginInfo.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "DcmImageInputData.h"
#include "ISODcmObject.h"
#include "ISOImageObject.h"
#include "ISOImageWnd.h"
#include "SODcmConvert.h"
#include "SODcmUtil.h"
#include "SOGdi.h"
#include "SOGdiPlus.h"
#include "SOOverInfoConfig.h"

namespace {

constexpr unsigned long kPatientName = 0x00100010;

std::wstring Number(const wchar_t* format, double value) {
  wchar_t text[64] = {};
  std::swprintf(text, 64, format, value);
  return text;
}

std::wstring Integer(int value) {
  return std::to_wstring(value);
}

std::wstring Widen(const std::string& s) {
  return std::wstring(s.begin(), s.end());
}

// Text values come decoded through the file's Specific Character Set.
std::wstring TextOf(ISODcmObject* object, unsigned long tag) {
  std::wstring value;
  return object->GetAttributeValue(tag, value, 0) ? value : std::wstring();
}

std::wstring ValueOf(const SOOverInfoItem& item, ISOImageObject* image, int imageIndex, bool hide) {
  ISODcmObject* object = image->GetDcmObject();
  switch (item.tag) {
    case 0x00100010:
    case 0x00100020:
    case 0x00100030:
    case 0x00101010:
      if (hide) return L"***";
      break;
    case 0x00100040:
      if (hide) return L"*";
      break;
    case 0x00281050: {
      const int c = static_cast<int>(image->GetImagePresentationState().windowCenter);
      return c ? Integer(c) : std::wstring();
    }
    case 0x00281051: {
      const int w = static_cast<int>(image->GetImagePresentationState().windowWidth);
      return w ? Integer(w) : std::wstring();
    }
    case 0x00200013:
      return Integer(imageIndex + 1);
    default:
      break;
  }
  if (!object) return {};
  const char* vr = nullptr;
  if (!object->GetAttributeVR(item.tag, vr) || !vr) return TextOf(object, item.tag);
  const std::string v = vr;
  if (v == "DS" || v == "FL" || v == "FD") {
    double d = 0;
    return object->GetAttributeValue(item.tag, d, 0) ? Number(L"%g", d) : std::wstring();
  }
  if (v == "DA") {
    const char* raw = nullptr;
    if (!object->GetAttributeValue(item.tag, raw) || !raw) return {};
    SODcmDate date;
    if (SODcmConvert::Convert(raw, date)) return Widen(date.toString("%04d/%02d/%02d"));
    return TextOf(object, item.tag);
  }
  if (v == "DT") {
    const char* raw = nullptr;
    if (!object->GetAttributeValue(item.tag, raw) || !raw) return {};
    SODcmTime time;
    if (SODcmConvert::Convert(raw, time)) return Widen(time.toString());
    return TextOf(object, item.tag);
  }
  return TextOf(object, item.tag);
}

}  // namespace

std::wstring SOPluginInfo::FormatCornerText(int corner, ISOImageObject* image, int imageIndex, bool hide) {
  std::wstring text;
  if (!image || corner < 0 || corner > 3) return text;
  for (const SOOverInfoItem& item : SOOverInfoConfig::Instance().Items(corner)) {
    std::wstring v = ValueOf(item, image, imageIndex, hide);
    if (v.empty()) continue;
    if (item.tag == kPatientName) {
      for (wchar_t& c : v) {
        if (c == L'^') c = L' ';
      }
    }
    if (item.newline && !text.empty()) text += L"\n\r";
    text += item.prefix + v + item.suffix;
  }
  return text;
}

bool SOPluginInfo::OnMessage(UINT msg, WPARAM, LPARAM lParam) {
  if (msg != WM_MOUSEMOVE && msg != WM_MOUSELEAVE) return false;
  std::wstring text;
  ISOImageObject* image = host_ ? host_->GetDataObject() : nullptr;
  if (msg == WM_MOUSEMOVE && image) {
    const double screen[2] = {static_cast<double>(GET_X_LPARAM(lParam)), static_cast<double>(GET_Y_LPARAM(lParam))};
    double pixel[2];
    if (host_->ScreenToImageCoords(screen, pixel)) {
      const int x = static_cast<int>(std::floor(pixel[0]));
      const int y = static_cast<int>(std::floor(pixel[1]));
      DcmImageInputData* data = image->GetOriginalImagePixelData();
      double value = 0;
      if (x >= 0 && y >= 0 && x < image->GetColumns() && y < image->GetRows() && data &&
          data->type != DCM_PIXEL_NONE && data->type != DCM_PIXEL_RGB24 && data->type != DCM_PIXEL_ARGB32 &&
          SODcmUtil::GetImagePixelValue(*data, x, y, value)) {
        wchar_t line[80] = {};
        std::swprintf(line, 80, L"X: %d Y: %d Val: %d", x, y, static_cast<int>(value));
        text = line;
      }
    }
  }
  if (text != pointer_) {
    pointer_ = text;
    if (host_) host_->UpdateScreen();
  }
  return false;
}

void SOPluginInfo::Draw(HDC hdc, RECT r) {
  DrawCorners(hdc, r, 0);
}

float SOPluginInfo::TextSize(HDC hdc, RECT r) {
  const int dpi = std::max(1, ::GetDeviceCaps(hdc, LOGPIXELSY));
  float size = static_cast<float>(std::abs(r.bottom - r.top) / 34.0 * 72 / dpi);
  host_->GetFontSize(size);
  return size > 0 ? size : 0;
}

void SOPluginInfo::DrawCorners(HDC hdc, RECT r, int lift) {
  ISOImageObject* image = host_ ? host_->GetDataObject() : nullptr;
  if (!enabled_ || !image) return;
  ISOImageWnd* wnd = host_->GetImageWnd();
  const bool hide = wnd && wnd->IsHidePatientData();
  const int index = host_->GetImageObjectIndex();
  const SOImagePresentationState& state = image->GetImagePresentationState();
  const Source source{image, image->GetDcmObject(), index, hide, state.windowCenter, state.windowWidth};
  if (!(source == built_)) {
    for (int i = 0; i < 4; ++i) corners_[i] = FormatCornerText(i, image, index, hide);
    built_ = source;
  }
  const std::wstring* corners = corners_;
  const float size = TextSize(hdc, r);
  if (!(size > 0)) return;
  Gdiplus::Graphics g(hdc);
  g.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
  Gdiplus::Font font(L"Microsoft YaHei", size, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
  Gdiplus::SolidBrush brush(Gdiplus::Color(static_cast<Gdiplus::ARGB>(color_)));
  // A margin inside the box keeps the texts of boxes side by side (cells of a film) apart.
  const float pad = std::max(2.0f, size * 0.3f);
  const float w = std::max(0.0f, static_cast<float>(r.right - r.left) - 2 * pad);
  const float h = std::max(0.0f, static_cast<float>(r.bottom - r.top) - 2 * pad);
  const Gdiplus::RectF layout(static_cast<float>(r.left) + pad, static_cast<float>(r.top) + pad, w, h);
  const Gdiplus::RectF lifted(layout.X, layout.Y, layout.Width, std::max(0.0f, h - static_cast<float>(lift)));
  std::wstring bottomLeft = corners[1];
  if (!pointer_.empty()) bottomLeft = bottomLeft.empty() ? pointer_ : pointer_ + L"\n\r" + bottomLeft;
  auto draw = [&](const std::wstring& text, Gdiplus::StringAlignment horizontal, Gdiplus::StringAlignment vertical,
                  const Gdiplus::RectF& in, bool oneLineEach) {
    if (text.empty()) return;
    Gdiplus::StringFormat format;
    format.SetAlignment(horizontal);
    format.SetLineAlignment(vertical);
    if (oneLineEach) format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
    g.DrawString(text.c_str(), -1, &font, in, &format, &brush);
  };
  // One edge's two blocks: while they fit side by side each is drawn as it comes; when they
  // would meet, each keeps to its share of the edge, clipped there, one line per line.
  auto edge = [&](const std::wstring& left, const std::wstring& right, Gdiplus::StringAlignment vertical,
                  const Gdiplus::RectF& in) {
    // No glyph is wider than the text size: texts short enough need no measuring.
    const bool roomy = (LongestLine(left) + LongestLine(right)) * size + 2 * pad <= in.Width;
    float leftWidth = left.empty() || roomy ? 0 : TextWidth(g, font, size, left);
    float rightWidth = right.empty() || roomy ? 0 : TextWidth(g, font, size, right);
    if (left.empty() || right.empty() || roomy || leftWidth + rightWidth + 2 * pad <= in.Width) {
      draw(left, Gdiplus::StringAlignmentNear, vertical, in, false);
      draw(right, Gdiplus::StringAlignmentFar, vertical, in, false);
      return;
    }
    ShareEdge(in.Width, 2 * pad, leftWidth, rightWidth);
    draw(left, Gdiplus::StringAlignmentNear, vertical, Gdiplus::RectF(in.X, in.Y, leftWidth, in.Height), true);
    draw(right, Gdiplus::StringAlignmentFar, vertical,
         Gdiplus::RectF(in.X + in.Width - rightWidth, in.Y, rightWidth, in.Height), true);
  };
  edge(corners[0], corners[2], Gdiplus::StringAlignmentNear, layout);
  // The bottom-left block ends lift pixels higher; the right one still shares the edge with it.
  if (lift == 0) {
    edge(bottomLeft, corners[3], Gdiplus::StringAlignmentFar, layout);
  } else {
    draw(bottomLeft, Gdiplus::StringAlignmentNear, Gdiplus::StringAlignmentFar, lifted, false);
    draw(corners[3], Gdiplus::StringAlignmentFar, Gdiplus::StringAlignmentFar, layout, false);
  }
}

size_t SOPluginInfo::LongestLine(const std::wstring& text) {
  size_t longest = 0, start = 0;
  for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
    longest = std::max(longest, end - start);
  return std::max(longest, text.size() - start);
}

float SOPluginInfo::TextWidth(Gdiplus::Graphics& g, const Gdiplus::Font& font, float size, const std::wstring& text) {
  for (const Measured& m : measured_)
    if (m.size == size && m.text == text) return m.width;
  Gdiplus::StringFormat format;
  format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
  Gdiplus::RectF bounds;
  g.MeasureString(text.c_str(), -1, &font, Gdiplus::RectF(0, 0, 0, 0), &format, &bounds);
  // A few texts are drawn over and over (one window pages through many images of one series).
  if (measured_.size() >= 8) measured_.erase(measured_.begin());
  measured_.push_back(Measured{size, text, bounds.Width});
  return bounds.Width;
}

void SOPluginInfo::ShareEdge(float width, float gap, float& left, float& right) {
  const float room = std::max(0.0f, width - gap), half = room / 2;
  if (left + right <= room) return;
  if (left <= half) {
    right = room - left;
  } else if (right <= half) {
    left = room - right;
  } else {
    left = right = half;
  }
}
