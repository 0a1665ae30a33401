// Engine3D and EngineMPR against VTK 9 on the same phantoms, frames, transfer function and thread
// count, measured in one run:
//   - VR, parallel projection, 36 views: vtkFixedPointVolumeRayCastMapper, shading on, the same
//     sample distance (0.33 of the smallest spacing) and opacity per sample; first frame includes
//     our octree build and VTK's first render (its min/max volume and gradient tables);
//   - transfer-function change + render, x20; full MIP (sample distance 1 spacing);
//   - MPR axial, sagittal, coronal, oblique planes and a 20 mm oblique slab MIP: vtkImageReslice,
//     linear, multi-threaded, on exactly the frame our plane answers.
// VTK renders through its own window (run under Xvfb; bench/vtk/run.sh sets it all up).
// The two sides take turns at every timed step; each line gives wall and processor times.
// Usage: bench_engine3d_vtk [views=36] [pngFolder] [scenarios]; scenarios is a comma list of vr, tf,
// mip, mpr, slab (all when empty), to measure only some while working on them.
// Threads: VTK gets as many as the cores this process may run on (taskset), ours splits its
// work over up to 48 threads, so the cores given are the thread count of both.

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <vtkCamera.h>
#include <vtkColorTransferFunction.h>
#include <vtkFixedPointVolumeRayCastMapper.h>
#include <vtkImageData.h>
#include <vtkImageReslice.h>
#include <vtkMultiThreader.h>
#include <vtkNew.h>
#include <vtkPNGWriter.h>
#include <vtkPiecewiseFunction.h>
#include <vtkPointData.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkShortArray.h>
#include <vtkUnsignedCharArray.h>
#include <vtkVolume.h>
#include <vtkVolumeProperty.h>
#include <vtkWindowToImageFilter.h>

#include "BenchPhantom.h"
#include "Engine3D.h"
#include "EngineMPR.h"

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Processor time of all threads of the last timed call: on a busy machine wall times stretch, and
// a renderer with more threads than cores takes a larger share of them.
double g_lastCpu = 0;

double Seconds(const std::function<void()>& body) {
  const auto start = std::chrono::steady_clock::now();
  const double cpu = CpuSeconds();
  body();
  g_lastCpu = CpuSeconds() - cpu;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Wall times of one side in one scenario, and their processor time.
struct Runs {
  std::vector<double> wall;
  double cpu = 0;
  void Add(double seconds) {
    wall.push_back(seconds);
    cpu += g_lastCpu;
  }
  double CpuPerRun() const { return cpu / double(wall.size()); }
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

double ResidentMiB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1048576.0);
}

// Share of pixels (percent) more than 30 HU apart between our plane and VTK's on the same
// frame (rows run the same way), a check that both did the same work.
double FarPercent(const V3ImageData& ours, vtkImageData* vtk) {
  const auto* theirs = static_cast<const int16_t*>(vtk->GetScalarPointer());
  const int n = ours.rows * ours.columns;
  int far = 0;
  for (int i = 0; i < n; ++i) far += std::abs(ours.data.data[i] - theirs[i]) > 30;
  return 100.0 * far / n;
}

// Wall time (median) and processor time (mean per run, all threads) of both sides.
void Report(const std::string& what, const Runs& ours, const Runs& vtk) {
  const double o = Median(ours.wall), v = Median(vtk.wall);
  std::printf("  %-32s wall: ours %8.1f ms  VTK %9.1f ms  ratio ours/VTK %.3f   processor: ours %8.1f ms  VTK "
              "%9.1f ms  ratio %.3f\n",
              what.c_str(), o * 1e3, v * 1e3, o / v, ours.CpuPerRun() * 1e3, vtk.CpuPerRun() * 1e3,
              ours.CpuPerRun() / vtk.CpuPerRun());
}

void Cross(const double a[3], const double b[3], double out[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1], out[1] = a[2] * b[0] - a[0] * b[2], out[2] = a[0] * b[1] - a[1] * b[0];
}

// Our palette as VTK transfer functions: opacity per sample at the shared sample distance.
void ToVtk(const V3Palette& palette, vtkColorTransferFunction* color, vtkPiecewiseFunction* opacity) {
  color->RemoveAllPoints();
  opacity->RemoveAllPoints();
  // Outside the points nothing is drawn, as in our tables; VTK would extend the end values.
  opacity->ClampingOff();
  for (uint32_t i = 0; i < palette.points.count; ++i) {
    const V3PalettePoint& p = palette.points.data[i];
    color->AddRGBPoint(p.value, ((p.color >> 16) & 0xFF) / 255.0, ((p.color >> 8) & 0xFF) / 255.0,
                       (p.color & 0xFF) / 255.0);
    opacity->AddPoint(p.value, p.alpha * palette.opacity);
  }
}

class VtkSide {
 public:
  VtkSide(const Phantom& phantom, int threads, int image) : threads_(threads) {
    const V3VolumeData& v = phantom.data;
    vtkNew<vtkShortArray> scalars;
    // Shares the phantom's voxels: no copy on either side.
    scalars->SetArray(const_cast<int16_t*>(phantom.voxels.data()), vtkIdType(phantom.voxels.size()), 1);
    volume_->SetDimensions(v.dims[0], v.dims[1], v.dims[2]);
    volume_->SetSpacing(v.spacing[0], v.spacing[1], v.spacing[2]);
    volume_->SetOrigin(v.origin[0], v.origin[1], v.origin[2]);
    volume_->GetPointData()->SetScalars(scalars);
    minSpacing_ = std::min({v.spacing[0], v.spacing[1], v.spacing[2]});

    mapper_->SetInputData(volume_);
    mapper_->SetNumberOfThreads(threads);
    mapper_->AutoAdjustSampleDistancesOff();
    mapper_->SetImageSampleDistance(1.0);
    property_->ShadeOn();
    property_->SetInterpolationTypeToLinear();
    property_->SetColor(color_);
    property_->SetScalarOpacity(opacity_);
    actor_->SetMapper(mapper_);
    actor_->SetProperty(property_);
    renderer_->AddVolume(actor_);
    renderer_->SetBackground(0, 0, 0);
    renderer_->GetActiveCamera()->ParallelProjectionOn();
    window_->AddRenderer(renderer_);
    window_->SetSize(image, image);
    window_->SetOffScreenRendering(1);
    window_->SetMultiSamples(0);
    // The window and its GL context come up here, so the first timed render is the mapper's.
    actor_->VisibilityOff();
    window_->Render();
    actor_->VisibilityOn();
  }

  void SetVR(const V3Palette& palette) {
    ToVtk(palette, color_, opacity_);
    property_->SetAmbient(palette.ambient);
    property_->SetDiffuse(palette.diffuse);
    property_->SetSpecular(palette.specular);
    property_->SetScalarOpacityUnitDistance(0.33 * minSpacing_);
    mapper_->SetBlendModeToComposite();
    mapper_->SetSampleDistance(float(0.33 * minSpacing_));
  }

  void SetMIP() {
    color_->RemoveAllPoints();
    color_->AddRGBPoint(-1024, 0, 0, 0);
    color_->AddRGBPoint(1500, 1, 1, 1);
    opacity_->RemoveAllPoints();
    opacity_->ClampingOn();
    opacity_->AddPoint(-1024, 1);
    opacity_->AddPoint(3000, 1);
    property_->ShadeOff();
    mapper_->SetBlendModeToMaximumIntensity();
    mapper_->SetSampleDistance(float(minSpacing_));
  }

  // The camera our frame was drawn from: same centre, direction, up and height.
  template <typename Frame>
  void Render(const Frame& frame) {
    double dir[3], centre[3];
    Cross(frame.right, frame.down, dir);
    for (int i = 0; i < 3; ++i)
      centre[i] = frame.corner[i] + frame.right[i] * frame.columnSpacing * (frame.width - 1) / 2 +
                  frame.down[i] * frame.rowSpacing * (frame.height - 1) / 2;
    vtkCamera* camera = renderer_->GetActiveCamera();
    camera->SetFocalPoint(centre);
    camera->SetPosition(centre[0] - dir[0] * 1000, centre[1] - dir[1] * 1000, centre[2] - dir[2] * 1000);
    camera->SetViewUp(-frame.down[0], -frame.down[1], -frame.down[2]);
    camera->SetParallelScale(frame.rowSpacing * frame.height / 2);
    renderer_->ResetCameraClippingRange();
    window_->Render();
  }

  void Save(const std::string& path) {
    vtkNew<vtkWindowToImageFilter> grab;
    grab->SetInput(window_);
    grab->ReadFrontBufferOff();
    vtkNew<vtkPNGWriter> writer;
    writer->SetFileName(path.c_str());
    writer->SetInputConnection(grab->GetOutputPort());
    writer->Write();
  }

  // A plane (or slab MIP of `slices` planes) on the frame our MPR answered, by one reslice
  // object kept for every plane, as a viewer keeps its own: only the plane's axes, extent and
  // slab change between calls.
  vtkImageData* Reslice(const V3ImageData& plane, int slices) {
    double normal[3];
    Cross(plane.right, plane.down, normal);
    if (!resliceReady_) {
      reslice_->SetInputData(volume_);
      reslice_->SetOutputDimensionality(2);
      reslice_->SetOutputOrigin(0, 0, 0);
      reslice_->SetInterpolationModeToLinear();
      reslice_->SetBackgroundLevel(-1024);
      reslice_->SetNumberOfThreads(threads_);
      reslice_->SetSlabModeToMax();
      resliceReady_ = true;
    }
    reslice_->SetResliceAxesDirectionCosines(plane.right, plane.down, normal);
    reslice_->SetResliceAxesOrigin(plane.corner[0], plane.corner[1], plane.corner[2]);
    reslice_->SetOutputSpacing(plane.spacing[1], plane.spacing[0], minSpacing_);
    reslice_->SetOutputExtent(0, plane.columns - 1, 0, plane.rows - 1, 0, 0);
    reslice_->SetSlabNumberOfSlices(std::max(1, slices));
    reslice_->Update();
    return reslice_->GetOutput();
  }

 private:
  int threads_;
  double minSpacing_;
  vtkNew<vtkImageData> volume_;
  vtkNew<vtkFixedPointVolumeRayCastMapper> mapper_;
  vtkNew<vtkColorTransferFunction> color_;
  vtkNew<vtkPiecewiseFunction> opacity_;
  vtkNew<vtkVolumeProperty> property_;
  vtkNew<vtkVolume> actor_;
  vtkNew<vtkRenderer> renderer_;
  vtkNew<vtkRenderWindow> window_;
  vtkNew<vtkImageReslice> reslice_;
  bool resliceReady_ = false;
};

void SaveOurs(const std::string& path, const std::vector<uint32_t>& pixels, int image) {
  vtkNew<vtkImageData> picture;
  picture->SetDimensions(image, image, 1);
  picture->AllocateScalars(VTK_UNSIGNED_CHAR, 3);
  auto* out = static_cast<uint8_t*>(picture->GetScalarPointer());
  for (int row = 0; row < image; ++row)
    for (int col = 0; col < image; ++col) {
      const uint32_t p = pixels[size_t(col) + size_t(image - 1 - row) * image];  // PNG rows go up in VTK
      uint8_t* rgb = out + 3 * (size_t(col) + size_t(row) * image);
      rgb[0] = (p >> 8) & 0xFF, rgb[1] = (p >> 16) & 0xFF, rgb[2] = (p >> 24) & 0xFF;
    }
  vtkNew<vtkPNGWriter> writer;
  writer->SetFileName(path.c_str());
  writer->SetInputData(picture);
  writer->Write();
}

bool Wanted(const std::string& scenarios, const std::string& key) {
  return scenarios.empty() || ("," + scenarios + ",").find("," + key + ",") != std::string::npos;
}

void RunCase(const char* name, int nx, int ny, int nz, const float spacing[3], int views, int threads,
             const std::string& pngs, const std::string& scenarios) {
  const bool vr = Wanted(scenarios, "vr"), tf = Wanted(scenarios, "tf"), mipWanted = Wanted(scenarios, "mip");
  const bool planesWanted = Wanted(scenarios, "mpr"), slab = Wanted(scenarios, "slab");
  const int image = 512;
  std::printf("%s: %dx%dx%d at %.2f/%.2f/%.2f mm, image %d^2, %d views, %d threads\n", name, nx, ny, nz,
              spacing[0], spacing[1], spacing[2], image, views, threads);
  const Phantom phantom(nx, ny, nz, spacing);
  const double baseMiB = ResidentMiB();

  // Both sides are set up before anything is timed in turn, ours first so its memory is read
  // before VTK's structures exist. Every timed step then runs ours and VTK's back to back (ours,
  // VTK, ours, VTK ...), so a change of load on the machine falls on both.
  Engine3D engine;
  std::vector<uint32_t> pixels(size_t(image) * image);
  std::vector<V3ImageRGB> frames(views);
  Runs oursFirst;
  oursFirst.Add(Seconds([&] {
    engine.InitData(phantom.data);
    engine.ImagingVR(image, image, pixels.data(), false, &frames[0], 0);
  }));
  if (!pngs.empty()) SaveOurs(pngs + "/" + name + "-vr-ours.png", pixels, image);
  V3Palette palette;
  engine.GetPalette(palette);
  EngineMPR mpr;
  mpr.InitData(phantom.data);
  const double oursMiB = ResidentMiB();

  VtkSide vtk(phantom, threads, image);
  vtk.SetVR(palette);
  Runs vtkFirst;
  if (vr) vtkFirst.Add(Seconds([&] { vtk.Render(frames[0]); }));
  if (vr && !pngs.empty()) vtk.Save(pngs + "/" + name + "-vr-vtk.png");

  Runs oursViews, vtkViews;
  for (int k = 1; vr && k < views; ++k) {
    engine.RotateH(float(2 * M_PI / views));
    oursViews.Add(Seconds([&] { engine.ImagingVR(image, image, pixels.data(), false, &frames[k], 0); }));
    vtkViews.Add(Seconds([&] { vtk.Render(frames[k]); }));
  }
  Runs oursTf, vtkTf;
  for (int k = 0; tf && k < 20; ++k) {
    oursTf.Add(Seconds([&] {
      engine.AdjustColor(5);
      engine.ImagingVR(image, image, pixels.data(), false, &frames[0], 0);
    }));
    V3Palette changed;
    engine.GetPalette(changed);
    vtkTf.Add(Seconds([&] {
      vtk.SetVR(changed);
      vtk.Render(frames[0]);
    }));
  }

  std::vector<int16_t> mip(pixels.size());
  V3ImageVAL mipFrame{};
  Runs oursMip, vtkMip;
  if (mipWanted) {
    vtk.SetMIP();
    for (int k = 0; k < 5; ++k) {
      oursMip.Add(Seconds([&] { engine.ImagingMIP(image, image, mip.data(), false, &mipFrame); }));
      vtkMip.Add(Seconds([&] { vtk.Render(mipFrame); }));
    }
  }

  float lo[3], hi[3];
  engine.GetBoundingBox(lo, hi);
  double centre[3];
  for (int i = 0; i < 3; ++i) centre[i] = (double(lo[i]) + hi[i]) / 2;
  // 512 pixels of the smallest spacing; turned 0.4 rad about x and 0.3 about y.
  V3SliceParam oblique{};
  const double fov = 512 * std::min({spacing[0], spacing[1], spacing[2]});
  const double right[3] = {std::cos(0.3), 0, std::sin(0.3)}, down[3] = {0, std::cos(0.4), -std::sin(0.4)};
  for (int i = 0; i < 3; ++i) {
    oblique.right[i] = right[i], oblique.down[i] = down[i];
    oblique.corner[i] = centre[i] - right[i] * fov / 2 - down[i] * fov / 2;
  }
  oblique.fieldOfView = fov;
  const char* planeNames[5] = {"MPR axial", "MPR sagittal", "MPR coronal", "MPR oblique", "slab MIP 20 mm oblique"};
  std::vector<V3ImageData> planes(5);
  Runs oursPlane[5], vtkPlane[5];
  const int slabSlices = int(std::lround(20.0 / std::min({spacing[0], spacing[1], spacing[2]}))) + 1;
  const bool planeWanted[5] = {planesWanted, planesWanted, planesWanted, planesWanted, slab};
  const std::function<void()> oursPlaneCall[5] = {
      [&] { mpr.Imaging(V3MPR_AXIAL, &planes[0]); }, [&] { mpr.Imaging(V3MPR_SAGITTAL, &planes[1]); },
      [&] { mpr.Imaging(V3MPR_CORONAL, &planes[2]); }, [&] { mpr.Imaging(oblique, &planes[3]); },
      [&] { engine.ImagingMIP(oblique, 20.0f, &planes[4]); }};
  for (int k = 0; k < 21; ++k)
    for (int p = 0; p < 5; ++p) {
      if (!planeWanted[p]) continue;
      oursPlane[p].Add(Seconds(oursPlaneCall[p]));
      vtkPlane[p].Add(Seconds([&] { vtk.Reslice(planes[p], p == 4 ? slabSlices : 1); }));
    }
  const double vtkMiB = ResidentMiB();
  double differences[5] = {};
  for (int p = 0; p < 5; ++p)
    if (planeWanted[p]) differences[p] = FarPercent(planes[p], vtk.Reslice(planes[p], p == 4 ? slabSlices : 1));

  if (vr) Report("VR first frame (incl. octree)", oursFirst, vtkFirst);
  if (vr) Report("VR steady, median of views", oursViews, vtkViews);
  if (tf) Report("TF change + VR, median of 20", oursTf, vtkTf);
  if (mipWanted) Report("full MIP, median", oursMip, vtkMip);
  for (int p = 0; p < 5; ++p)
    if (planeWanted[p])
      Report(std::string(planeNames[p]) + " " + std::to_string(planes[p].columns) + "x" +
                 std::to_string(planes[p].rows),
             oursPlane[p], vtkPlane[p]);
  std::printf("  pixels more than 30 HU from VTK's, per plane: %.2f%% %.2f%% %.2f%% %.2f%% %.2f%%\n", differences[0], differences[1],
              differences[2], differences[3], differences[4]);
  std::printf("  resident: phantom %.0f MiB, with ours %.0f MiB (+%.0f), with VTK too %.0f MiB (+%.0f); "
              "process peak so far %.0f MiB\n",
              baseMiB, oursMiB, oursMiB - baseMiB, vtkMiB, vtkMiB - oursMiB, PeakMiB());
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const int views = argc > 1 ? std::max(2, std::atoi(argv[1])) : 36;
  const std::string pngs = argc > 2 ? argv[2] : "";
  const std::string scenarios = argc > 3 ? argv[3] : "";
  cpu_set_t cpus;
  sched_getaffinity(0, sizeof cpus, &cpus);
  const int threads = CPU_COUNT(&cpus);
  vtkMultiThreader::SetGlobalMaximumNumberOfThreads(threads);
  vtkMultiThreader::SetGlobalDefaultNumberOfThreads(threads);
  const float cube[3] = {0.5f, 0.5f, 0.5f}, ct[3] = {0.7f, 0.7f, 1.25f};
  RunCase("cube512", 512, 512, 512, cube, views, threads, pngs, scenarios);
  RunCase("ct512x300", 512, 512, 300, ct, views, threads, pngs, scenarios);
  return 0;
}
