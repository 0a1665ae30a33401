#pragma once

#include <QImage>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "DicomFixtures.h"
#include "ISODcmDataCenter.h"
#include "SOGdi.h"
#include "SOWinQt.h"
#include "SOWindowBase.h"
#include "TestSupport.h"

namespace viewer_ui_test {

// A visible top-level window to hold the windows under test.
class Frame : public SOWindowBase {
 public:
  explicit Frame(int cx = 400, int cy = 300) {
    orvanta::test::EnsureQtApp();
    Create(nullptr, 0, 0, cx, cy);
    // Shown windows paint synchronously once the platform has exposed them.
    SOWin::PumpEvents(20);
  }
  const wchar_t* GetWindowClassName() override { return L"ViewerUiTestFrame"; }
  DWORD GetWindowClassStyle() override { return 0; }
  const wchar_t* GetWindowName() override { return L"Frame"; }
  DWORD GetWndStyle() override { return WS_POPUP | WS_VISIBLE; }
};

// The window tree as it would show, as a 32-bit image.
inline QImage Snap(HWND hwnd) {
  HBITMAP bitmap = SOWin::CaptureWindow(hwnd);
  QImage copy;
  if (QImage* image = SOWin::ImageOf(bitmap)) copy = image->copy();
  DeleteObject(bitmap);
  return copy;
}

inline unsigned Rgb(const QImage& image, int x, int y) {
  return image.pixel(x, y) & 0xFFFFFF;
}

// The mean of the grey levels (the green channel) of an image.
inline double MeanGrey(const QImage& image) {
  double sum = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) sum += qGreen(image.pixel(x, y));
  return image.width() * image.height() > 0 ? sum / (image.width() * image.height()) : 0;
}

// Loads files synchronously into a data centre of the test's own.
struct LoadedSeries {
  std::unique_ptr<ISODcmDataCenter, void (*)(ISODcmDataCenter*)> center{CreateDcmDataCenter(),
                                                                       [](ISODcmDataCenter* c) { delete c; }};
  std::vector<ISODcmObject*> objects;

  void Load(const std::vector<std::filesystem::path>& files) {
    for (const auto& f : files) {
      SOArray<ISODcmObject*> found;
      if (!center->LoadFile(f.c_str(), found)) throw std::runtime_error("cannot load " + f.string());
      for (int i = 0; i < found.GetLength(); ++i) objects.push_back(found[i]);
    }
  }
};

}  // namespace viewer_ui_test
