// Renders a volume to PNG from the command line: a synthetic phantom of HU ellipsoids with
// noise, or a folder of DICOM slices, in any of the engine's modes.
//
//   vrender [--phantom NX NY NZ SX SY SZ | --dicom DIR] [--mode M] [--size WxH]
//           [--rotate H V] [--tf V:RRGGBB:A,...] [--slab MM] [--compare] -o OUT.png
//
// Modes: vr ve mip minip aip axial coronal sagittal oblique slab-mip slab-aip slab-minip.
// Grey modes show a DICOM folder through its own window (its middle slice's first window, else
// the volume's whole range) and the phantom through CT windows.
// --compare (vr) also renders with every octree cell visible and rays over the whole image,
// and prints how many pixels differ: empty-space skipping must not change the picture.

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <dcmtk/dcmimgle/dcmimage.h>

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "Engine3D.h"
#include "EngineMPR.h"
#include "OctreeBuild.h"
#include "PaletteTables.h"
#include "RayCast.h"

namespace {

struct Window {
  int low, high;
};

struct Volume {
  std::vector<int16_t> voxels;
  std::vector<int16_t*> slices;
  V3VolumeData data{};
  std::optional<Window> window;  // a DICOM folder's own window; none for the phantom

  void Allocate(int nx, int ny, int nz) {
    voxels.assign(size_t(nx) * ny * nz, -1024);
    slices.resize(nz);
    for (int z = 0; z < nz; ++z) slices[z] = voxels.data() + size_t(nx) * ny * z;
    data.slices = slices.data();
    data.dims[0] = nx, data.dims[1] = ny, data.dims[2] = nz;
  }
};

void Phantom(Volume& v, int nx, int ny, int nz, float sx, float sy, float sz) {
  v.Allocate(nx, ny, nz);
  v.data.spacing[0] = sx, v.data.spacing[1] = sy, v.data.spacing[2] = sz;
  const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  std::copy(identity, identity + 9, v.data.orientation);
  std::mt19937 rng(1);
  std::normal_distribution<float> noise(0, 20);
  struct Ellipsoid {
    float c[3], r[3], hu;
  };
  const Ellipsoid parts[] = {
      {{0, 0, 0}, {0.9f, 0.95f, 0.85f}, 1200},           {{0, 0, 0}, {0.8f, 0.85f, 0.75f}, 35},
      {{-0.15f, 0, 0}, {0.1f, 0.3f, 0.15f}, 5},          {{0.15f, 0, 0}, {0.1f, 0.3f, 0.15f}, 5},
      {{0.3f, -0.3f, 0.3f}, {0.12f, 0.12f, 0.12f}, 300}, {{0, -0.7f, -0.3f}, {0.2f, 0.15f, 0.2f}, -800}};
  for (int z = 0; z < nz; ++z)
    for (int y = 0; y < ny; ++y)
      for (int x = 0; x < nx; ++x) {
        const float p[3] = {2.0f * x / nx - 1, 2.0f * y / ny - 1, 2.0f * z / nz - 1};
        float hu = -1000;
        for (const Ellipsoid& e : parts) {
          float s = 0;
          for (int i = 0; i < 3; ++i) s += (p[i] - e.c[i]) * (p[i] - e.c[i]) / (e.r[i] * e.r[i]);
          if (s <= 1) hu = e.hu;
        }
        v.slices[z][x + y * nx] = int16_t(std::lround(std::clamp(hu + noise(rng), -1024.0f, 3000.0f)));
      }
}

// Slices of a folder sorted along their normal; HU through the rescale.
bool ReadDicom(Volume& v, const std::string& folder) {
  struct Slice {
    double position[3], along;
    std::string path;
  };
  std::vector<Slice> found;
  double row[3] = {1, 0, 0}, col[3] = {0, 1, 0}, spacing[2] = {1, 1};
  long rows = 0, cols = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    DcmFileFormat file;
    if (file.loadFile(entry.path().c_str()).bad()) continue;
    DcmDataset* d = file.getDataset();
    Slice s{};
    bool ok = true;
    for (int i = 0; i < 3; ++i) ok &= d->findAndGetFloat64(DCM_ImagePositionPatient, s.position[i], i).good();
    if (!ok) continue;
    for (int i = 0; i < 3; ++i) {
      d->findAndGetFloat64(DCM_ImageOrientationPatient, row[i], i);
      d->findAndGetFloat64(DCM_ImageOrientationPatient, col[i], i + 3);
    }
    d->findAndGetFloat64(DCM_PixelSpacing, spacing[0], 0);
    d->findAndGetFloat64(DCM_PixelSpacing, spacing[1], 1);
    d->findAndGetLongInt(DCM_Rows, rows);
    d->findAndGetLongInt(DCM_Columns, cols);
    s.path = entry.path().string();
    found.push_back(s);
  }
  if (found.size() < 2 || rows < 1 || cols < 1) return false;
  const double n[3] = {row[1] * col[2] - row[2] * col[1], row[2] * col[0] - row[0] * col[2],
                       row[0] * col[1] - row[1] * col[0]};
  for (Slice& s : found) s.along = s.position[0] * n[0] + s.position[1] * n[1] + s.position[2] * n[2];
  std::sort(found.begin(), found.end(), [](const Slice& a, const Slice& b) { return a.along < b.along; });
  v.Allocate(int(cols), int(rows), int(found.size()));
  for (size_t z = 0; z < found.size(); ++z) {
    DicomImage image(found[z].path.c_str());
    if (image.getStatus() != EIS_Normal) return false;
    const DiPixel* pixels = image.getInterData();
    if (!pixels || image.getWidth() != unsigned(cols) || image.getHeight() != unsigned(rows)) return false;
    const size_t count = size_t(rows) * cols;
    const auto* data = pixels->getData();
    for (size_t i = 0; i < count; ++i) {
      double value = 0;
      switch (pixels->getRepresentation()) {
        case EPR_Uint8:
          value = static_cast<const Uint8*>(data)[i];
          break;
        case EPR_Sint8:
          value = static_cast<const Sint8*>(data)[i];
          break;
        case EPR_Uint16:
          value = static_cast<const Uint16*>(data)[i];
          break;
        case EPR_Sint16:
          value = static_cast<const Sint16*>(data)[i];
          break;
        case EPR_Uint32:
          value = static_cast<const Uint32*>(data)[i];
          break;
        case EPR_Sint32:
          value = static_cast<const Sint32*>(data)[i];
          break;
      }
      v.slices[z][i] = int16_t(std::clamp(value, -32768.0, 32767.0));
    }
  }
  DcmFileFormat middle;
  double center = 0, width = 0;
  if (middle.loadFile(found[found.size() / 2].path.c_str()).good() &&
      middle.getDataset()->findAndGetFloat64(DCM_WindowCenter, center).good() &&
      middle.getDataset()->findAndGetFloat64(DCM_WindowWidth, width).good() && width >= 1) {
    v.window = Window{int(std::lround(center - width / 2)), int(std::lround(center + width / 2))};
  } else {
    const auto [low, high] = std::minmax_element(v.voxels.begin(), v.voxels.end());
    v.window = Window{*low, *high};
  }
  const double dz = found[1].along - found[0].along;
  v.data.spacing[0] = float(spacing[1]), v.data.spacing[1] = float(spacing[0]), v.data.spacing[2] = float(dz);
  double slice[3];
  for (int i = 0; i < 3; ++i) slice[i] = found[1].position[i] - found[0].position[i];
  const double len = std::sqrt(slice[0] * slice[0] + slice[1] * slice[1] + slice[2] * slice[2]);
  for (int i = 0; i < 3; ++i) {
    v.data.origin[i] = float(found[0].position[i]);
    v.data.orientation[i] = float(row[i]);
    v.data.orientation[3 + i] = float(col[i]);
    v.data.orientation[6 + i] = float(slice[i] / len);
  }
  return true;
}

bool SaveRGB(const std::string& path, const uint32_t* p, int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t v = p[x + y * w];
      image.setPixel(x, y, qRgb((v >> 8) & 0xFF, (v >> 16) & 0xFF, (v >> 24) & 0xFF));
    }
  return image.save(QString::fromStdString(path), "PNG");
}

bool SaveGrey(const std::string& path, const int16_t* p, int w, int h, Window window) {
  QImage image(w, h, QImage::Format_Grayscale8);
  const int range = std::max(1, window.high - window.low);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.scanLine(y)[x] = uchar(std::clamp((p[x + y * w] - window.low) * 255 / range, 0, 255));
  return image.save(QString::fromStdString(path), "PNG");
}

bool ParsePalette(const std::string& text, V3Palette& palette) {
  std::vector<V3PalettePoint> points;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(',', at);
    if (end == std::string::npos) end = text.size();
    int value;
    unsigned color;
    float alpha;
    if (std::sscanf(text.substr(at, end - at).c_str(), "%d:%x:%f", &value, &color, &alpha) != 3) return false;
    points.push_back({int16_t(value), color, alpha});
    at = end + 1;
  }
  palette.points.Resize(uint32_t(points.size()));
  std::copy(points.begin(), points.end(), palette.points.data);
  return points.size() >= 2;
}

// The same VR frame rendered with every octree cell visible and rays over the whole image.
int CompareWithFullRays(const Volume& v, Engine3D& engine, const V3ImageRGB& frame,
                        const std::vector<uint32_t>& skipped) {
  VolumeParam vp;
  BuildVolumeParam(v.data, vp);
  engine.GetVisibleBox(vp.visibleMin, vp.visibleMax);
  V3Palette user;
  engine.GetPalette(user);
  VolumePalette palette{};
  BuildLabelPalette(palette, user, 0);
  Octree full{};
  BuildOctree(v.data, full);
  InitOctreeBricks(v.data, full);
  for (int64_t i = 0; i < OctreeNodeCount(full); ++i) full.nodes[i].flag = kFlagVisible;
  std::vector<uint32_t> brute(skipped.size(), 0);
  V3ImageRGB image = frame;
  image.pixels = brute.data();
  RenderParam rp;
  SetupRays(vp, image, kVRStepFactor, kNoDepthLimit, vp.corners, rp);
  rp.rectMin[0] = rp.rectMin[1] = 0;
  rp.rectWidth = frame.width, rp.rectHeight = frame.height, rp.rectPixels = frame.width * frame.height;
  const V3VolumeMark* mark = engine.GetMarkData();
  for (int i = 0; i < rp.rectPixels; ++i) VRPixel(i, v.data, *mark, vp, rp, palette, full, brute.data());
  FreeOctree(full);
  FreeVolumePalette(palette);
  int far = 0, differing = 0;
  for (size_t i = 0; i < brute.size(); ++i) {
    int worst = 0;
    for (int s = 0; s < 32; s += 8)
      worst = std::max(worst, std::abs(int((brute[i] >> s) & 0xFF) - int((skipped[i] >> s) & 0xFF)));
    differing += worst > 0;
    far += worst > 2;
  }
  std::printf("compare: %d of %zu pixels differ, %d by more than 2 per channel\n", differing, brute.size(),
              far);
  return far * 1000 <= int(brute.size()) ? 0 : 1;
}

int Usage() {
  std::fprintf(stderr,
               "vrender [--phantom NX NY NZ SX SY SZ | --dicom DIR] [--mode M] [--size WxH] [--rotate H V]\n"
               "        [--tf V:RRGGBB:A,...] [--slab MM] [--compare] -o OUT.png\n"
               "modes: vr ve mip minip aip axial coronal sagittal oblique slab-mip slab-aip slab-minip\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Volume volume;
  std::string mode = "vr", out, tf, dicom;
  int width = 512, height = 512;
  float rotateH = 0, rotateV = 0, slab = 20;
  bool compare = false, loaded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto need = [&](int n) { return i + n < argc; };
    if (a == "--phantom" && need(6)) {
      Phantom(volume, std::atoi(argv[i + 1]), std::atoi(argv[i + 2]), std::atoi(argv[i + 3]),
              float(std::atof(argv[i + 4])), float(std::atof(argv[i + 5])), float(std::atof(argv[i + 6])));
      loaded = true, i += 6;
    } else if (a == "--dicom" && need(1)) {
      dicom = argv[++i];
    } else if (a == "--mode" && need(1)) {
      mode = argv[++i];
    } else if (a == "--size" && need(1)) {
      if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2) return Usage();
    } else if (a == "--rotate" && need(2)) {
      rotateH = float(std::atof(argv[i + 1])), rotateV = float(std::atof(argv[i + 2])), i += 2;
    } else if (a == "--tf" && need(1)) {
      tf = argv[++i];
    } else if (a == "--slab" && need(1)) {
      slab = float(std::atof(argv[++i]));
    } else if (a == "--compare") {
      compare = true;
    } else if (a == "-o" && need(1)) {
      out = argv[++i];
    } else {
      return Usage();
    }
  }
  if (!dicom.empty()) {
    if (!ReadDicom(volume, dicom)) {
      std::fprintf(stderr, "no usable DICOM slices in %s\n", dicom.c_str());
      return 1;
    }
    loaded = true;
  }
  if (!loaded || out.empty() || width < 1 || height < 1) return Usage();

  Engine3D engine;
  if (!engine.InitData(volume.data)) {
    std::fprintf(stderr, "the engine refused the volume\n");
    return 1;
  }
  if (!tf.empty()) {
    V3Palette palette;
    if (!ParsePalette(tf, palette)) return Usage();
    engine.SetPalette(palette);
  }
  engine.RotateH(rotateH);
  engine.RotateV(rotateV);

  float lo[3], hi[3];
  engine.GetBoundingBox(lo, hi);
  double centre[3];
  for (int i = 0; i < 3; ++i) centre[i] = (double(lo[i]) + hi[i]) / 2;
  const double fov = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
  // The oblique plane of the MPR and slab modes: turned 0.4 rad about x and 0.3 about y.
  V3SliceParam oblique{};
  const double right[3] = {std::cos(0.3), 0, std::sin(0.3)}, down[3] = {0, std::cos(0.4), -std::sin(0.4)};
  for (int i = 0; i < 3; ++i) {
    oblique.right[i] = right[i], oblique.down[i] = down[i];
    oblique.corner[i] = centre[i] - right[i] * fov / 2 - down[i] * fov / 2;
  }
  oblique.fieldOfView = fov;

  if (mode == "vr" || mode == "ve") {
    std::vector<uint32_t> pixels(size_t(width) * height);
    V3ImageRGB frame{};
    engine.SetRenderType(mode == "vr" ? V3RENDER_VR : V3RENDER_VE);
    if (!engine.Imaging(height, width, pixels.data(), false, &frame, 0) ||
        !SaveRGB(out, pixels.data(), width, height))
      return 1;
    return compare && mode == "vr" ? CompareWithFullRays(volume, engine, frame, pixels) : 0;
  }
  if (mode == "mip" || mode == "minip" || mode == "aip") {
    std::vector<int16_t> pixels(size_t(width) * height);
    const bool ok = mode == "mip"   ? engine.ImagingMIP(height, width, pixels.data(), false, nullptr)
                    : mode == "aip" ? engine.ImagingAIP(height, width, pixels.data(), false, nullptr)
                                    : engine.ImagingMinIP(height, width, pixels.data(), false, nullptr);
    const Window ct{-1024, mode == "minip" ? 200 : 1500};
    return ok && SaveGrey(out, pixels.data(), width, height, volume.window.value_or(ct)) ? 0 : 1;
  }
  V3ImageData plane;
  bool ok = false;
  if (mode == "axial" || mode == "coronal" || mode == "sagittal" || mode == "oblique") {
    EngineMPR mpr;
    ok = mpr.InitData(volume.data);
    const V3MPRType type = mode == "axial" ? V3MPR_AXIAL : mode == "coronal" ? V3MPR_CORONAL : V3MPR_SAGITTAL;
    ok = ok && (mode == "oblique" ? mpr.Imaging(oblique, &plane) : mpr.Imaging(type, &plane));
  } else if (mode == "slab-mip") {
    ok = engine.ImagingMIP(oblique, slab, &plane);
  } else if (mode == "slab-aip") {
    ok = engine.ImagingAIP(oblique, slab, &plane);
  } else if (mode == "slab-minip") {
    ok = engine.ImagingMinIP(oblique, slab, &plane);
  } else {
    return Usage();
  }
  const Window ct{-200, mode.rfind("slab", 0) == 0 ? 1500 : 300};
  return ok && SaveGrey(out, plane.data.data, plane.columns, plane.rows, volume.window.value_or(ct)) ? 0 : 1;
}
