// One drag step of a large region of interest (measure + label), against a plain two-pass
// mean and standard deviation over the same pixels in the same run.
// Usage: bench_roi_stats [steps=20]

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "DicomFixtures.h"
#include "SODcmObject.h"
#include "SOGraphicMgr.h"
#include "SOImageObject.h"
#include "TestSupport.h"
#include "BenchSupport.h"

namespace fx = orvanta::fixtures;

int main(int argc, char** argv) {
  orvanta::test::InitScratch();
  const int steps = argc > 1 ? std::atoi(argv[1]) : 20;
  fx::CtSeriesOptions options;
  options.slices = 1;
  options.rows = options.columns = 2048;
  const auto file = fx::WriteCtSeries(orvanta::test::MakeTempDir("roi"), options).files[0];
  SODcmObject object;
  object.ParseDcmFile(file.c_str(), true);
  SOImageObject image;
  image.SetDcmObject(&object, 0);
  SOArray<SOPointF> points;
  points.Add(SOPointF{10, 10});
  points.Add(SOPointF{2010, 2010});
  ISOGraphic* roi = image.GetGraphicMgr()->AddGraphic("RECTANGLE", points, true);

  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < steps; ++i) {
    points[1].x = 2010.0f - (i % 2);
    roi->SetPoints(points);
  }
  const double ours =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

  const short* pixels = image.GetPixelData();
  volatile double sink = 0;
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < steps; ++i) {
    double sum = 0, squares = 0;
    for (int y = 10; y < 2010; ++y)
      for (int x = 10; x < 2010; ++x) sum += pixels[y * 2048 + x];
    const double mean = sum / (2000.0 * 2000.0);
    for (int y = 10; y < 2010; ++y)
      for (int x = 10; x < 2010; ++x)
        squares += (pixels[y * 2048 + x] - mean) * (pixels[y * 2048 + x] - mean);
    sink = sink + std::sqrt(squares);
  }
  const double peer =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "2000x2000 rectangle: ours %.2f ms per drag step   plain two-pass loop %.2f ms   "
      "ratio (peer / ours) %.2f   goal < 16 ms\n",
      ours / steps, peer / steps, peer / ours);
  orvanta::test::ShutdownScratch();
  return 0;
}
