#include "SOPluginMPRInfo.h"

#include <cmath>
#include <cstdio>

#include "ISOImageObject.h"
#include "SOImageObjectEx.h"
#include "SOImageWindowMPR.h"

namespace {

constexpr Gdiplus::ARGB kCyan = 0xFF00E5EE;
constexpr Gdiplus::ARGB kShadow = 0xFF000000;

}  // namespace

const wchar_t* SOPluginMPRInfo::TypeText(int type) {
  static const wchar_t* const kTexts[] = {L"MPR", L"Average", L"MIP", L"MinIP"};
  return type >= 0 && type <= 3 ? kTexts[type] : L"";
}

std::wstring SOPluginMPRInfo::ThicknessText(float thickness) {
  wchar_t text[32] = {};
  std::swprintf(text, 32, L"%.1fmm", static_cast<double>(thickness));
  return text;
}

void SOPluginMPRInfo::Draw(HDC hdc, RECT r) {
  ISOImageObject* shown = host_ && enabled_ ? host_->GetDataObject() : nullptr;
  if (!shown) return;
  auto* image = dynamic_cast<SOImageObjectEx*>(shown);
  const float size = TextSize(hdc, r);
  if (!image || !(size > 0)) {
    DrawCorners(hdc, r, 0);
    return;
  }
  const std::wstring type = TypeText(image->slabType);
  const std::wstring thickness = ThicknessText(image->slabThickness);
  Gdiplus::Graphics g(hdc);
  g.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
  Gdiplus::Font font(L"Microsoft YaHei", size, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
  const Gdiplus::RectF layout(static_cast<float>(r.left), static_cast<float>(r.top),
                              static_cast<float>(r.right - r.left), static_cast<float>(r.bottom - r.top));
  Gdiplus::RectF typeBox, thicknessBox;
  g.MeasureString(type.c_str(), -1, &font, layout, nullptr, &typeBox);
  g.MeasureString(thickness.c_str(), -1, &font, layout, nullptr, &thicknessBox);
  const float typeHeight = std::trunc(typeBox.Height);
  Gdiplus::SolidBrush shadow{Gdiplus::Color(kShadow)};
  Gdiplus::SolidBrush cyan{Gdiplus::Color(kCyan)};

  // Shadow at the bottom-left corner, the text one pixel up and left of it.
  const float x = static_cast<float>(r.left), y = static_cast<float>(r.bottom) - typeHeight;
  g.DrawString(type.c_str(), -1, &font, Gdiplus::PointF(x, y), &shadow);
  g.DrawString(type.c_str(), -1, &font, Gdiplus::PointF(x - 1, y - 1), &cyan);
  const Gdiplus::RectF typeText(x - 1, y - 1, typeBox.Width, typeBox.Height);
  const float q = typeText.GetRight();
  const float m = std::round(typeText.Y + typeHeight / 2);
  const Gdiplus::PointF mark[3] = {{q, m + 3}, {q - 3, m - 3}, {q + 4, m - 3}};
  g.FillPolygon(&cyan, mark, 3);

  const float tx = q + 12;
  g.DrawString(thickness.c_str(), -1, &font, Gdiplus::PointF(tx + 1, y), &shadow);
  g.DrawString(thickness.c_str(), -1, &font, Gdiplus::PointF(tx, y - 1), &cyan);
  const Gdiplus::RectF thicknessText(tx, y - 1, thicknessBox.Width, thicknessBox.Height);
  Gdiplus::Pen underline{Gdiplus::Color(kCyan), 1.0f};
  const float underY = thicknessText.GetBottom() - 2;
  g.DrawLine(&underline, thicknessText.X, underY, thicknessText.GetRight(), underY);

  typeButton_ = Gdiplus::RectF(typeText.X, typeText.Y, typeText.Width + 8, typeText.Height);
  thicknessButton_ = thicknessText;
  DrawCorners(hdc, r, static_cast<int>(typeHeight));
}

bool SOPluginMPRInfo::HitTest(int x, int y) {
  const float px = static_cast<float>(x), py = static_cast<float>(y);
  hover_ = thicknessButton_.Contains(px, py) ? kThicknessButton : typeButton_.Contains(px, py) ? kTypeButton : kNoPart;
  return hover_ != kNoPart;
}

bool SOPluginMPRInfo::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!enabled_) return false;
  SOPluginInfo::OnMessage(msg, wParam, lParam);
  const int x = GET_X_LPARAM(lParam);
  const int y = GET_Y_LPARAM(lParam);
  switch (msg) {
    case WM_SETCURSOR:
      if (hover_ == kNoPart) return false;
      ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
      return true;
    case WM_MOUSEMOVE:
      if (wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) return false;
      return HitTest(x, y);
    case WM_LBUTTONDOWN:
      if (!HitTest(x, y)) return false;
      OpenMenu(hover_);
      return true;
    default:
      return false;
  }
}

void SOPluginMPRInfo::OpenMenu(int part) {
  if (!host_) return;
  const bool type = part == kTypeButton;
  const Gdiplus::RectF& button = type ? typeButton_ : thicknessButton_;
  HMENU menu = ::CreatePopupMenu();
  static const wchar_t* const kTypes[] = {L"Average", L"MIP", L"MinIP"};
  static const wchar_t* const kThicknesses[] = {L"1.0", L"2.0", L"3.0", L"5.0", L"10.0"};
  static const float kThicknessValues[] = {1.0f, 2.0f, 3.0f, 5.0f, 10.0f};
  if (type) {
    for (UINT i = 0; i < 3; ++i) ::AppendMenuW(menu, MF_STRING, i + 1, kTypes[i]);
  } else {
    for (UINT i = 0; i < 5; ++i) ::AppendMenuW(menu, MF_STRING, i + 1, kThicknesses[i]);
  }
  RECT screen{};
  ::GetWindowRect(host_->GetHostWnd(), &screen);
  const int choice = ::TrackPopupMenu(menu, TPM_RETURNCMD, screen.left + static_cast<int>(button.X),
                                      screen.top + static_cast<int>(button.Y + button.Height), 0, host_->GetHostWnd(),
                                      nullptr);
  ::DestroyMenu(menu);
  auto* window = dynamic_cast<SOImageWindowMPR*>(host_);
  ISOMPRImageWindowCallback* callback = window ? window->GetMPRCallback() : nullptr;
  if (!callback) return;
  if (type && choice >= 1 && choice <= 3) callback->OnSlabTypeChanged(window, choice);
  if (!type && choice >= 1 && choice <= 5) callback->OnSlabThicknessChanged(window, kThicknessValues[choice - 1]);
}
