#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "DcmImageInputData.h"
#include "Engine3D.h"
#include "IVRBuilder.h"
#include "SODcmObject.h"
#include "SOImageObjectEx.h"
#include "SOImageWindow.h"

namespace visual_test {

// A cube of side n (1 mm voxels, origin 0) with a bright ball in its middle.
struct BallVolume {
  explicit BallVolume(int n = 32) : voxels(static_cast<size_t>(n) * n * n, -1000), table(n) {
    const double c = (n - 1) / 2.0, radius = n / 3.0;
    for (int z = 0; z < n; ++z) {
      for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
          const double d = std::sqrt((x - c) * (x - c) + (y - c) * (y - c) + (z - c) * (z - c));
          if (d < radius) voxels[(static_cast<size_t>(z) * n + y) * n + x] = 1000;
        }
      }
      table[z] = voxels.data() + static_cast<size_t>(z) * n * n;
    }
    volume.slices = table.data();
    volume.dims[0] = volume.dims[1] = volume.dims[2] = n;
    for (int i = 0; i < 3; ++i) {
      volume.spacing[i] = 1;
      volume.origin[i] = 0;
    }
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::copy(identity, identity + 9, volume.orientation);
  }
  std::vector<int16_t> voxels;
  std::vector<int16_t*> table;
  V3VolumeData volume{};
};

// A VR builder as the 3D window and its tools see it: a real engine on a small ball volume,
// rendered into a result image at its owner window's size (a quarter while interacting).
class TestVRBuilder : public IVRBuilder {
 public:
  explicit TestVRBuilder(int n = 32) : ball(n) {
    engine.InitData(ball.volume);
    image.SetDcmObject(&object, 0);
  }
  void RegisterCallback(IVRBuilderCallback* c) override {
    if (std::find(callbacks.begin(), callbacks.end(), c) == callbacks.end()) callbacks.push_back(c);
  }
  void UnRegisterCallback(IVRBuilderCallback* c) override {
    callbacks.erase(std::remove(callbacks.begin(), callbacks.end(), c), callbacks.end());
  }
  SOImageObjectEx* GetResultImage() override { return &image; }
  void Render() override {
    int rows = 1024, columns = 1024;
    RECT r{};
    if (image.ownerWindow && ::GetClientRect(image.ownerWindow->GetWindow(), &r) && r.right - 2 > 0 &&
        r.bottom - 2 > 0) {
      rows = r.bottom - 2;
      columns = r.right - 2;
    }
    if (interacting) {
      rows /= 4;
      columns /= 4;
    }
    std::vector<uint32_t> pixels(static_cast<size_t>(rows) * columns);
    V3ImageRGB frame{};
    {
      std::lock_guard<std::mutex> lock(engineLock);
      engine.Imaging(rows, columns, pixels.data(), false, &frame, 0);
    }
    DcmImageInputData* record = image.GetOriginalImagePixelData();
    record->type = DCM_PIXEL_ARGB32;
    record->rows = static_cast<unsigned short>(rows);
    record->columns = static_cast<unsigned short>(columns);
    record->data.Resize(static_cast<uint32_t>(pixels.size() * 4));
    std::memcpy(record->data.data, pixels.data(), pixels.size() * 4);
    object.SetRows(rows);
    object.SetColumns(columns);
    const double orientation[6] = {frame.right[0], frame.right[1], frame.right[2],
                                   frame.down[0],  frame.down[1],  frame.down[2]};
    const double spacing[2] = {frame.rowSpacing, frame.columnSpacing};
    object.SetImageOrientationPatient(orientation);
    object.SetImagePositionPatient(frame.corner);
    object.SetPixelSpacing(spacing);
    sizes.push_back({rows, columns});
    image.UpdateImage();
  }
  void Zoom(float delta) override { zooms.push_back(delta); }
  void CutContour(const std::vector<SOPoint>& contour) override { cuts.push_back(contour); }
  int GetRenderMode() override { return renderMode; }
  bool IsInteracting() override { return interacting; }
  void SetInteracting(bool on) override { interacting = on; }
  void CancelPhases() override { ++cancels; }
  Engine3D* GetEngine() override { return &engine; }
  std::mutex& GetEngineLock() override { return engineLock; }

  BallVolume ball;
  Engine3D engine;
  std::mutex engineLock;
  SODcmObject object;
  SOImageObjectEx image;
  std::vector<IVRBuilderCallback*> callbacks;
  std::vector<std::pair<int, int>> sizes;  // rows, columns of each rendering
  std::vector<float> zooms;
  std::vector<std::vector<SOPoint>> cuts;
  int renderMode = 0;
  bool interacting = false;
  int cancels = 0;
};

// An MPR plane image through `point` of a 100 x 100 mm field, 1 mm pixels, grey ramp.
struct PlaneImage {
  PlaneImage(const double orientation[6], const double point[3], int size = 100) {
    std::vector<short> pixels(static_cast<size_t>(size) * size);
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const double d = std::hypot(x - size / 2.0, y - size / 2.0);
        pixels[static_cast<size_t>(y) * size + x] = static_cast<short>(d < size / 3.0 ? 1000 : 100);
      }
    }
    object.SetPixelData(pixels.data(), size, size);
    // The top-left pixel lies half a field before the point along both directions.
    double corner[3];
    for (int i = 0; i < 3; ++i) corner[i] = point[i] - orientation[i] * size / 2 - orientation[3 + i] * size / 2;
    const double spacing[2] = {1, 1};
    object.SetImageOrientationPatient(orientation);
    object.SetImagePositionPatient(corner);
    object.SetPixelSpacing(spacing);
    image.SetDcmObject(&object, 0);
    image.SetWW(500, 1000, false);
    // As the MPR builder does: the plane's pixels go straight into the image's record.
    DcmImageInputData* record = image.GetOriginalImagePixelData();
    record->type = DCM_PIXEL_GRAY16;
    record->rows = record->columns = static_cast<unsigned short>(size);
    record->data.Resize(static_cast<uint32_t>(pixels.size() * 2));
    std::memcpy(record->data.data, pixels.data(), pixels.size() * 2);
    image.UpdateImage();
    std::copy(point, point + 3, image.patientPoint);
  }
  SODcmObject object;
  SOImageObjectEx image;
};

}  // namespace visual_test
