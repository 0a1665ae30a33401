#include "SOCorvideOrient.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <vector>

#include "ISOImageObject.h"
#include "SOGdiPlus.h"
#include "SOImageProc.h"
#include "SOMPRGeometry.h"

namespace {

constexpr int kTexture = 55;
constexpr double kHalf = 27.5;

// Faces in texture order H, F, A, P, R, L: colour, letter, and the corners the texture's top
// left, top right, bottom right and bottom left go to (signs of x, y, z times 27.5).
struct FaceSpec {
  Gdiplus::ARGB colour;
  const wchar_t* letter;
  int corners[4][3];
};
constexpr FaceSpec kFaces[6] = {
    {0xFF2A822A, L"H", {{-1, 1, 1}, {1, 1, 1}, {1, -1, 1}, {-1, -1, 1}}},
    {0xFF2A822A, L"F", {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}}},
    {0xFF822A2A, L"A", {{-1, -1, 1}, {1, -1, 1}, {1, -1, -1}, {-1, -1, -1}}},
    {0xFF822A2A, L"P", {{1, 1, 1}, {-1, 1, 1}, {-1, 1, -1}, {1, 1, -1}}},
    {0xFF2A2A82, L"R", {{-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1}}},
    {0xFF2A2A82, L"L", {{1, -1, 1}, {1, 1, 1}, {1, 1, -1}, {1, -1, -1}}},
};

using Texture = std::vector<uint32_t>;

// Made on first use and kept for the life of the process.
const std::array<Texture, 6>& Textures() {
  static std::array<Texture, 6> textures;
  static std::once_flag made;
  std::call_once(made, [] {
    for (int f = 0; f < 6; ++f) {
      Texture& t = textures[f];
      t.assign(kTexture * kTexture, kFaces[f].colour);
      Gdiplus::Bitmap bitmap(kTexture, kTexture, kTexture * 4, Gdiplus::PixelFormat32bppARGB, reinterpret_cast<BYTE*>(t.data()));
      Gdiplus::Graphics g(&bitmap);
      g.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
      Gdiplus::Font font(L"Microsoft Sans Serif", 32, Gdiplus::FontStyleBold, Gdiplus::UnitPixel);
      Gdiplus::RectF size;
      g.MeasureString(kFaces[f].letter, -1, &font, Gdiplus::PointF(0, 0), &size);
      Gdiplus::SolidBrush white(Gdiplus::Color(0xFFFFFFFF));
      g.DrawString(kFaces[f].letter, -1, &font,
                   Gdiplus::PointF((kTexture - size.Width) / 2, (kTexture - size.Height) / 2), &white);
    }
  });
  return textures;
}

}  // namespace

void SOCorvideOrient::Draw(HDC hdc, RECT r) {
  ISOImageObject* image = enabled_ && host_ ? host_->GetDataObject() : nullptr;
  if (!image) return;
  const auto& textures = Textures();
  // Transparent where no face lands: the faces' colours and letters are never black, so this is
  // the picture a black background keyed out would give, without a keyed copy at each paint.
  std::vector<uint32_t> cube(kSide * kSide, 0u);
  const double* o = image->GetImageOrientationPatient();
  double n[3];
  ViewDirectionOf(o, n);
  // One face per axis the view is not edge-on to, the one facing the viewer: x, then y, then z.
  static const int kTowards[3][2] = {{4, 5}, {2, 3}, {1, 0}};  // n > 0, else
  const SOPointF source[4] = {{1, 1}, {54, 1}, {54, 54}, {1, 54}};
  for (int axis = 0; axis < 3; ++axis) {
    if (std::fabs(n[axis]) <= 0.001) continue;
    const int face = kTowards[axis][n[axis] > 0 ? 0 : 1];
    SOPointF target[4];
    for (int k = 0; k < 4; ++k) {
      const int* s = kFaces[face].corners[k];
      const double p[3] = {s[0] * kHalf, s[1] * kHalf, s[2] * kHalf};
      target[k] = {static_cast<float>(p[0] * o[0] + p[1] * o[1] + p[2] * o[2] + kSide / 2),
                   static_cast<float>(p[0] * o[3] + p[1] * o[4] + p[2] * o[5] + kSide / 2)};
    }
    SOImageProc::Perspective(textures[face].data(), kTexture, kTexture, source, cube.data(), kSide, kSide, target);
  }
  Gdiplus::Bitmap bitmap(kSide, kSide, kSide * 4, Gdiplus::PixelFormat32bppARGB, reinterpret_cast<BYTE*>(cube.data()));
  Gdiplus::Graphics g(hdc);
  const RECT at = CubeRect(r);
  g.DrawImage(&bitmap, Gdiplus::Rect(at.left, at.top, kSide, kSide), 0, 0, kSide, kSide, Gdiplus::UnitPixel);
}
