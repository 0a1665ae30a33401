// CPU volume rendering of Engine3D against a straightforward ray caster measured in the same
// run on the same phantom, frame and transfer function: a fixed step of 0.33 of the smallest
// spacing, trilinear values and central-difference gradients, early ray termination, no
// empty-space skipping (the peer), its rows split over as many threads as the process may use
// cores, as ours are. MIP likewise against a walker of every sample on the same threads.
// Ours and the peer alternate view by view; wall and processor times and the load are printed.
// Usage: bench_engine3d [size=256] [image=256] [views=12]
// For a two-core figure run it under `taskset -c 0,1`: both sides use the cores given.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "BenchPhantom.h"
#include "BenchSupport.h"
#include "Engine3D.h"
#include "Workers.h"

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Processor time of all threads, summed per scenario: a busy machine stretches wall times, not
// the work each renderer does.
double g_cpu = 0;

double Seconds(const std::function<void()>& body) {
  const auto start = std::chrono::steady_clock::now();
  const double cpu = CpuSeconds();
  body();
  g_cpu += CpuSeconds() - cpu;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Report(const char* what, double ours, double peer) {
  std::printf("%-34s ours %8.1f ms   peer %9.1f ms   ratio ours/peer %.3f\n", what, ours * 1e3, peer * 1e3,
              ours / peer);
}

// Processor time per run of ours and of the peer in one scenario.
struct CpuSplit {
  double ours = 0, peer = 0;
  int oursRuns = 0, peerRuns = 0;
  double Ours(const std::function<void()>& body) { return Add(body, ours, oursRuns); }
  double Peer(const std::function<void()>& body) { return Add(body, peer, peerRuns); }
  void Print() const {
    const double o = ours / oursRuns, p = peer / peerRuns;
    std::printf("  processor time per run ours %.1f ms, peer %.1f ms: ratio %.3f\n", o * 1e3, p * 1e3, o / p);
  }

 private:
  static double Add(const std::function<void()>& body, double& sum, int& runs) {
    const double before = g_cpu;
    const double wall = Seconds(body);
    sum += g_cpu - before;
    ++runs;
    return wall;
  }
};

// Runs body(row) for rows 0..height-1, the rows dealt out in turn over one thread per core.
void EachRow(int height, const std::function<void(int)>& body) {
  const int threads = std::min(UsableCores(), height);
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t)
    workers.emplace_back([&, t] {
      for (int row = t; row < height; row += threads) body(row);
    });
  for (auto& w : workers) w.join();
}

// The peer: a plain ray caster over the same frame, its rows over the same cores.
class PeerCaster {
 public:
  PeerCaster(const V3VolumeData& v, const V3Palette& p) : v_(v) { BuildTable(p); }

  void BuildTable(const V3Palette& p) {
    std::vector<V3PalettePoint> pts(p.points.data, p.points.data + p.points.count);
    std::sort(pts.begin(), pts.end(), [](auto& a, auto& b) { return a.value < b.value; });
    lo_ = pts.front().value;
    const int n = pts.back().value - lo_ + 1;
    alpha_.assign(n, 0);
    rgb_.assign(size_t(n) * 3, 0);
    for (size_t k = 0; k + 1 < pts.size(); ++k)
      for (int v = pts[k].value; v <= pts[k + 1].value; ++v) {
        const float u = float(v - pts[k].value) / float(pts[k + 1].value - pts[k].value);
        alpha_[v - lo_] = pts[k].alpha + (pts[k + 1].alpha - pts[k].alpha) * u;
        for (int c = 0; c < 3; ++c) {
          const float a = (pts[k].color >> (16 - 8 * c)) & 0xFF,
                      b = (pts[k + 1].color >> (16 - 8 * c)) & 0xFF;
          rgb_[3 * (v - lo_) + c] = uint8_t(a + (b - a) * u + 0.5f);
        }
      }
    ambient_ = p.ambient, diffuse_ = p.diffuse;
  }

  float Value(float x, float y, float z) const {
    const int x0 = int(x), y0 = int(y), z0 = int(z);
    const float fx = x - x0, fy = y - y0, fz = z - z0;
    auto at = [&](int i, int j, int k) { return float(v_.slices[z0 + k][(x0 + i) + (y0 + j) * v_.dims[0]]); };
    const float c00 = at(0, 0, 0) * (1 - fx) + at(1, 0, 0) * fx,
                c10 = at(0, 1, 0) * (1 - fx) + at(1, 1, 0) * fx;
    const float c01 = at(0, 0, 1) * (1 - fx) + at(1, 0, 1) * fx,
                c11 = at(0, 1, 1) * (1 - fx) + at(1, 1, 1) * fx;
    return (c00 * (1 - fy) + c10 * fy) * (1 - fz) + (c01 * (1 - fy) + c11 * fy) * fz;
  }

  // Entry and exit along a ray through the box [1.01, dims - 2.01] (voxel units, spacing 1 axis-scaled).
  bool Clip(const float* o, const float* d, float& t0, float& t1) const {
    t0 = -1e30f, t1 = 1e30f;
    for (int i = 0; i < 3; ++i) {
      const float lo = 1.01f, hi = v_.dims[i] - 2.01f;
      if (std::fabs(d[i]) < 1e-6f) {
        if (o[i] < lo || o[i] > hi) return false;
        continue;
      }
      float a = (lo - o[i]) / d[i], b = (hi - o[i]) / d[i];
      if (a > b) std::swap(a, b);
      t0 = std::max(t0, a), t1 = std::min(t1, b);
    }
    return t0 < t1;
  }

  void RenderVR(const V3ImageRGB& frame, uint32_t* out) const {
    const float s = v_.spacing[0];
    float dir[3] = {float(frame.right[1] * frame.down[2] - frame.right[2] * frame.down[1]),
                    float(frame.right[2] * frame.down[0] - frame.right[0] * frame.down[2]),
                    float(frame.right[0] * frame.down[1] - frame.right[1] * frame.down[0])};
    const float step = 0.33f;
    EachRow(frame.height, [&](int row) {
      for (int col = 0; col < frame.width; ++col) {
        float o[3];
        for (int i = 0; i < 3; ++i)
          o[i] = float((frame.corner[i] + frame.right[i] * col * frame.columnSpacing +
                        frame.down[i] * row * frame.rowSpacing - v_.origin[i]) /
                       s);
        float t0, t1, T = 1, R = 0, G = 0, B = 0;
        if (Clip(o, dir, t0, t1)) {
          for (float t = t0 + step; t <= t1 && T >= 0.001f; t += step) {
            const float x = o[0] + dir[0] * t, y = o[1] + dir[1] * t,
                        z = std::min(o[2] + dir[2] * t, v_.dims[2] - 2.02f);
            const int idx = int(Value(x, y, z) + 0.5f) - lo_;
            if (idx < 0 || idx >= int(alpha_.size()) || alpha_[idx] <= 0.01f) continue;
            const float gx = Value(x + 1, y, z) - Value(x - 1, y, z),
                        gy = Value(x, y + 1, z) - Value(x, y - 1, z),
                        gz = Value(x, y, z + 1) - Value(x, y, z - 1);
            const float len = std::sqrt(gx * gx + gy * gy + gz * gz) + 1e-6f;
            const float d = std::fabs((gx * dir[0] + gy * dir[1] + gz * dir[2]) / len);
            const float w = (diffuse_ * d + ambient_) * alpha_[idx] * T;
            R += rgb_[3 * idx] * w, G += rgb_[3 * idx + 1] * w, B += rgb_[3 * idx + 2] * w;
            T *= 1 - alpha_[idx];
          }
        }
        const uint32_t r = uint32_t(std::min(R, 255.0f)), g = uint32_t(std::min(G, 255.0f)),
                       b = uint32_t(std::min(B, 255.0f));
        out[col + row * frame.width] =
            b << 24 | g << 16 | r << 8 | (T < 0.001f ? 255u : uint32_t(255 * (1 - T)));
      }
    });
  }

  void RenderMIP(const V3ImageVAL& frame, int16_t* out) const {
    const float s = v_.spacing[0];
    float dir[3] = {float(frame.right[1] * frame.down[2] - frame.right[2] * frame.down[1]),
                    float(frame.right[2] * frame.down[0] - frame.right[0] * frame.down[2]),
                    float(frame.right[0] * frame.down[1] - frame.right[1] * frame.down[0])};
    EachRow(frame.height, [&](int row) {
      for (int col = 0; col < frame.width; ++col) {
        float o[3];
        for (int i = 0; i < 3; ++i)
          o[i] = float((frame.corner[i] + frame.right[i] * col * frame.columnSpacing +
                        frame.down[i] * row * frame.rowSpacing - v_.origin[i]) /
                       s);
        float t0, t1, m = -1024;
        if (Clip(o, dir, t0, t1))
          for (float t = t0 + 1; t <= t1; t += 1)
            m = std::max(m, Value(o[0] + dir[0] * t, o[1] + dir[1] * t,
                                  std::min(o[2] + dir[2] * t, v_.dims[2] - 2.02f)));
        out[col + row * frame.width] = int16_t(std::floor(m + 0.5f));
      }
    });
  }

 private:
  const V3VolumeData& v_;
  int lo_ = 0;
  std::vector<float> alpha_;
  std::vector<uint8_t> rgb_;
  float ambient_ = 0.11f, diffuse_ = 0.816f;
};

double MeanChannelDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i)
    for (int s = 8; s < 32; s += 8) sum += std::abs(int((a[i] >> s) & 0xFF) - int((b[i] >> s) & 0xFF));
  return sum / (a.size() * 3.0);
}

}  // namespace

int main(int argc, char** argv) {
  const int size = argc > 1 ? std::atoi(argv[1]) : 256;
  const int image = argc > 2 ? std::atoi(argv[2]) : 256;
  const int views = argc > 3 ? std::atoi(argv[3]) : 12;
  std::printf(
      "phantom %d^3 at 0.5 mm, image %d^2, %d views; ours: Engine3D on the CPU, peer: plain ray caster; "
      "both on %d cores; load %.1f\n",
      size, image, views, UsableCores(), bench::LoadAverage());
  Phantom phantom(size, 0.5f);
  Engine3D engine;
  std::vector<uint32_t> ours(size_t(image) * image), peer(ours.size());
  V3ImageRGB frame{};

  CpuSplit first;
  const double firstOurs = first.Ours([&] {
    engine.InitData(phantom.data);
    engine.ImagingVR(image, image, ours.data(), false, &frame, 0);
  });
  V3Palette palette;
  engine.GetPalette(palette);
  PeerCaster caster(phantom.data, palette);
  const double firstPeer = first.Peer([&] { caster.RenderVR(frame, peer.data()); });
  Report("VR first frame (with octree build)", firstOurs, firstPeer);
  first.Print();
  const auto lit = [](const std::vector<uint32_t>& v) {
    return std::count_if(v.begin(), v.end(), [](uint32_t p) { return p != 0; });
  };
  std::printf("  lit pixels ours %ld peer %ld; mean |channel difference| %.2f of 255\n", long(lit(ours)),
              long(lit(peer)), MeanChannelDifference(ours, peer));

  std::vector<double> o, p;
  CpuSplit steady;
  for (int k = 0; k < views; ++k) {
    engine.RotateH(float(2 * M_PI / views));
    o.push_back(steady.Ours([&] { engine.ImagingVR(image, image, ours.data(), false, &frame, 0); }));
    p.push_back(steady.Peer([&] { caster.RenderVR(frame, peer.data()); }));
  }
  Report("VR steady, median per view", Median(o), Median(p));
  steady.Print();

  o.clear(), p.clear();
  CpuSplit change;
  for (int k = 0; k < std::max(3, views / 2); ++k) {
    o.push_back(change.Ours([&] {
      engine.AdjustColor(5);
      engine.ImagingVR(image, image, ours.data(), false, &frame, 0);
    }));
    {
      engine.GetPalette(palette);
      p.push_back(change.Peer([&] {
        caster.BuildTable(palette);
        caster.RenderVR(frame, peer.data());
      }));
    }
  }
  Report("TF change + VR, median", Median(o), Median(p));
  change.Print();

  std::vector<int16_t> mipOurs(ours.size()), mipPeer(ours.size());
  V3ImageVAL mipFrame{};
  o.clear(), p.clear();
  CpuSplit mip;
  for (int k = 0; k < 5; ++k) {
    o.push_back(mip.Ours([&] { engine.ImagingMIP(image, image, mipOurs.data(), false, &mipFrame); }));
    p.push_back(mip.Peer([&] { caster.RenderMIP(mipFrame, mipPeer.data()); }));
  }
  Report("MIP full, median", Median(o), Median(p));
  mip.Print();
  int far = 0;
  for (size_t i = 0; i < mipOurs.size(); ++i) far += std::abs(mipOurs[i] - mipPeer[i]) > 30;
  std::printf("  MIP pixels differing by more than 30 HU from the peer: %d of %zu\n", far, mipOurs.size());

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak RSS %.1f MiB\n", usage.ru_maxrss / 1024.0);
  return 0;
}
