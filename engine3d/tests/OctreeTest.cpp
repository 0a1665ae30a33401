#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "OctreeBuild.h"
#include "PaletteTables.h"
#include "VolumeFixture.h"

using voxtest::MakePalette;
using voxtest::TestMask;
using voxtest::TestVolume;

namespace {

struct OctreeHolder {
  Octree o{};
  ~OctreeHolder() { FreeOctree(o); }
};

struct PaletteHolder {
  VolumePalette p{};
  ~PaletteHolder() { FreeVolumePalette(p); }
};

TEST(Octree, NodeCounts) {
  struct Case {
    int nx, ny, nz;
    int bricks, full, perFull, perPartial;
  };
  const Case cases[] = {
      {16, 16, 16, 1, 1, 585, 585}, {17, 16, 16, 2, 2, 585, 585}, {40, 20, 10, 6, 0, 585, 545}};
  for (const Case& c : cases) {
    TestVolume v(c.nx, c.ny, c.nz);
    OctreeHolder h;
    ASSERT_TRUE(BuildOctree(v.data, h.o));
    EXPECT_EQ(h.o.brickCount, c.bricks);
    EXPECT_EQ(h.o.fullBrickCount, c.full);
    EXPECT_EQ(h.o.nodesPerFullBrick, c.perFull);
    EXPECT_EQ(h.o.nodesPerPartialBrick, c.perPartial);
  }
  int32_t counts[4];
  ASSERT_TRUE(ComputeLevelCounts(10, counts));
  EXPECT_EQ(std::vector<int>(counts, counts + 4), (std::vector<int>{1, 8, 60, 476}));
  ASSERT_TRUE(ComputeLevelCounts(3, counts));
  EXPECT_EQ(std::vector<int>(counts, counts + 4), (std::vector<int>{1, 4, 28, 224}));
  EXPECT_FALSE(ComputeLevelCounts(-1, counts));
  TestVolume empty(0, 4, 4);
  OctreeHolder h;
  EXPECT_FALSE(BuildOctree(empty.data, h.o));
}

// Brute force: every node's range over the voxels its cell's trilinear samples can touch, and
// its visibility straight from the definition.
class OctreeOracle {
 public:
  OctreeOracle(TestVolume& v, TestMask& m, const VolumePalette& p) : v_(v), m_(m), p_(p) {}

  struct Cell {
    int lo, hi;
    bool visible;  // some leaf inside is visible
  };

  // The cell of side s starting at start: range over [start, start + s + 1) and visibility of
  // its leaves (each judged over its own support).
  Cell At(const int* start, int side) const {
    Cell c{32767, -32768, false};
    const int* d = v_.data.dims;
    for (int z = start[2]; z < std::min(start[2] + side + 1, d[2]); ++z)
      for (int y = start[1]; y < std::min(start[1] + side + 1, d[1]); ++y)
        for (int x = start[0]; x < std::min(start[0] + side + 1, d[0]); ++x) {
          c.lo = std::min<int>(c.lo, v_.at(x, y, z));
          c.hi = std::max<int>(c.hi, v_.at(x, y, z));
        }
    for (int lz = start[2]; lz < start[2] + side && lz < d[2]; lz += 2)
      for (int ly = start[1]; ly < start[1] + side; ly += 2)
        for (int lx = start[0]; lx < start[0] + side; lx += 2) c.visible |= LeafVisible(lx, ly, lz);
    return c;
  }

  bool LeafVisible(int sx, int sy, int sz) const {
    const int* d = v_.data.dims;
    int lo = 32767, hi = -32768;
    bool shown = false;
    for (int z = sz; z < std::min(sz + 3, d[2]); ++z)
      for (int y = sy; y < std::min(sy + 3, d[1]); ++y)
        for (int x = sx; x < std::min(sx + 3, d[0]); ++x) {
          lo = std::min<int>(lo, v_.at(x, y, z));
          hi = std::max<int>(hi, v_.at(x, y, z));
          const uint8_t b = m_.at(x, y, z);
          const VolumeLabelPalette* l = p_.labels[b & 63];
          shown |= !(b & 0xC0) && l && l->visible;
        }
    if (!shown || !p_.opacity) return false;
    for (int val = lo; val <= hi; ++val) {
      const int i = val - p_.base;
      if (i >= 0 && i < p_.count && p_.opacity[i] > 0.01f) return true;
    }
    return false;
  }

 private:
  TestVolume& v_;
  TestMask& m_;
  const VolumePalette& p_;
};

// A random volume with labels 0..3 (label 2 hidden, label 3 without a table) and cut bits.
struct RandomScene {
  TestVolume volume;
  TestMask mask;
  PaletteHolder palette;

  RandomScene(int nx, int ny, int nz, unsigned seed) : volume(nx, ny, nz), mask(volume.data) {
    std::mt19937 rng(seed);
    // Smooth blobs plus noise, so that some cells are empty and some are not.
    std::uniform_int_distribution<int> noise(-40, 40);
    volume.Fill([&](int x, int y, int z) {
      const int base = ((x / 5 + y / 4 + z / 3) % 3) * 200 - 100;
      return int16_t(base + noise(rng));
    });
    std::uniform_int_distribution<int> label(0, 3), cut(0, 9);
    for (uint8_t& b : mask.bytes) {
      b = uint8_t(label(rng));
      const int c = cut(rng);
      if (c == 0) b |= 0x40;
      if (c == 1) b |= 0x80;
    }
    BuildLabelPalette(palette.p, MakePalette({{150, 0xFF0000, 0.0f}, {320, 0x00FF00, 0.6f}}), 0);
    BuildLabelPalette(palette.p, MakePalette({{0, 0, 0.0f}, {600, 0, 0.009f}}), 1);
    V3Palette hidden = MakePalette({{-200, 0, 1.0f}, {0, 0, 1.0f}});
    hidden.visible = false;
    BuildLabelPalette(palette.p, hidden, 2);
  }
};

void ExpectOctreeMatchesOracle(RandomScene& s, const Octree& o) {
  OctreeOracle oracle(s.volume, s.mask, s.palette.p);
  int checked = 0;
  for (int b = 0; b < o.brickCount; ++b) {
    const int brick[3] = {b % o.bricksX, (b % o.bricksPerLayer) / o.bricksX, b / o.bricksPerLayer};
    // Breadth-first over reachable nodes: (level, index, start).
    struct Item {
      int level, index, start[3];
    };
    std::vector<Item> todo{{0, 0, {brick[0] * 16, brick[1] * 16, brick[2] * 16}}};
    while (!todo.empty()) {
      const Item it = todo.back();
      todo.pop_back();
      const int side = 16 >> it.level;
      const OctreeNode& n = o.bricks[b].levelNodes[it.level][it.index];
      const auto c = oracle.At(it.start, side);
      SCOPED_TRACE(testing::Message() << "brick " << b << " level " << it.level << " start " << it.start[0]
                                      << "," << it.start[1] << "," << it.start[2]);
      if (c.lo > c.hi) {
        EXPECT_EQ(n.maxValue, -32768);
        EXPECT_EQ(n.minValue, 32767);
      } else {
        EXPECT_EQ(n.minValue, c.lo);
        EXPECT_EQ(n.maxValue, c.hi);
      }
      EXPECT_EQ(n.flag != 0, c.visible);
      ++checked;
      if (it.level == 3) {
        EXPECT_TRUE(n.flag == 0 || n.flag == 255);
        continue;
      }
      for (int j = 0; j < 8; ++j) {
        const int h = side / 2;
        Item child{it.level + 1,
                   it.index * 8 + j,
                   {it.start[0] + (j & 1) * h, it.start[1] + ((j >> 1) & 1) * h, it.start[2] + (j >> 2) * h}};
        if (child.start[2] > s.volume.data.dims[2] - 1) {
          EXPECT_EQ(n.flag & (1 << j), 0);
          continue;
        }
        EXPECT_EQ((n.flag >> j) & 1, oracle.At(child.start, h).visible ? 1 : 0);
        todo.push_back(child);
      }
    }
  }
  EXPECT_GT(checked, 0);
}

TEST(Octree, RangesAndFlagsAgreeWithBruteForce) {
  for (auto dims : {std::array<int, 3>{37, 29, 21}, {33, 17, 10}}) {
    RandomScene s(dims[0], dims[1], dims[2], 11);
    OctreeHolder h;
    ASSERT_TRUE(BuildOctree(s.volume.data, h.o));
    ASSERT_TRUE(InitOctreeBricks(s.volume.data, h.o));
    ASSERT_TRUE(UpdateOctreeBricks(s.mask.data, s.palette.p, h.o));
    ExpectOctreeMatchesOracle(s, h.o);
    // Some leaves visible, some not: the fixture exercises both.
    float box[24];
    UpdateOpacityBox(s.volume.data, h.o, box);
    EXPECT_LT(box[0], box[18]);
  }
}

TEST(Octree, NothingOpaqueGivesNoFlagsAndAnInvertedBox) {
  RandomScene s(33, 17, 10, 5);
  for (VolumeLabelPalette* l : s.palette.p.labels)
    if (l) l->visible = false;
  BuildOpacityTable(s.palette.p);
  OctreeHolder h;
  ASSERT_TRUE(BuildOctree(s.volume.data, h.o));
  InitOctreeBricks(s.volume.data, h.o);
  UpdateOctreeBricks(s.mask.data, s.palette.p, h.o);
  for (int b = 0; b < h.o.brickCount; ++b) EXPECT_EQ(h.o.bricks[b].levelNodes[0][0].flag, 0);
  float box[24];
  UpdateOpacityBox(s.volume.data, h.o, box);
  EXPECT_FLOAT_EQ(box[0], 33);  // low corner at dims (x spacing 1, origin 0)
  EXPECT_FLOAT_EQ(box[18], 0);  // high corner (hx, hy, hz) = 0
}

TEST(Octree, VisibleBoxHoldsTheLastSampleOfALeaf) {
  TestVolume v(20, 20, 20);
  v.at(10, 10, 10) = 500;
  TestMask m(v.data);
  PaletteHolder p;
  BuildLabelPalette(p.p, MakePalette({{400, 0xFFFFFF, 1}, {600, 0xFFFFFF, 1}}), 0);
  OctreeHolder h;
  ASSERT_TRUE(BuildOctree(v.data, h.o));
  InitOctreeBricks(v.data, h.o);
  UpdateOctreeBricks(m.data, p.p, h.o);
  float box[24];
  UpdateOpacityBox(v.data, h.o, box);
  // Leaves starting at 8 and 10 hold voxel 10; samples of the leaf at 10 reach 12.
  EXPECT_FLOAT_EQ(box[0], 8);
  EXPECT_FLOAT_EQ(box[18], 12);
}

TEST(Octree, ThreadedPassEqualsSequential) {
  for (auto dims : {std::array<int, 3>{47 * 16, 16, 16}, {48 * 16, 16, 10}, {160, 160, 16}}) {
    RandomScene s(dims[0], dims[1], dims[2], 3);
    OctreeHolder threaded, serial;
    ASSERT_TRUE(BuildOctree(s.volume.data, threaded.o));
    ASSERT_TRUE(BuildOctree(s.volume.data, serial.o));
    InitOctreeBricks(s.volume.data, threaded.o);
    UpdateOctreeBricks(s.mask.data, s.palette.p, threaded.o);
    for (int b = 0; b < serial.o.brickCount; ++b) {
      const int32_t brick[3] = {b % serial.o.bricksX, (b % serial.o.bricksPerLayer) / serial.o.bricksX,
                                b / serial.o.bricksPerLayer};
      InitOctree(s.volume.data, serial.o, brick);
      UpdateOctree(s.mask.data, s.palette.p, serial.o, brick);
    }
    // Nodes the walk never reaches are never written; compare the reachable ones.
    struct Reached {
      const Octree& o;
      std::vector<int64_t> at;
      void operator()(int level, OctreeNode& n, const int*) {
        if (level < 8) at.push_back(&n - o.nodes);
      }
      void Child(int, OctreeNode&, int, const OctreeNode&) {}
    } reached{serial.o, {}};
    for (int b = 0; b < serial.o.brickCount; ++b) {
      const int32_t brick[3] = {b % serial.o.bricksX, (b % serial.o.bricksPerLayer) / serial.o.bricksX,
                                b / serial.o.bricksPerLayer};
      WalkBrick(serial.o, brick, reached);
    }
    int64_t differing = 0;
    for (int64_t i : reached.at)
      differing += std::memcmp(&threaded.o.nodes[i], &serial.o.nodes[i], sizeof(OctreeNode)) != 0;
    EXPECT_EQ(differing, 0);
    EXPECT_GT(reached.at.size(), size_t(serial.o.brickCount) * 200);
    for (int b = 0; b < serial.o.brickCount; ++b)
      for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(threaded.o.bricks[b].visibleMin[i], serial.o.bricks[b].visibleMin[i]);
        EXPECT_EQ(threaded.o.bricks[b].visibleMax[i], serial.o.bricks[b].visibleMax[i]);
      }
  }
}

// A sequence of palettes on one octree: each pass rewrites only the cells that may change, and
// with the brick label summary the mask test is settled per brick; flags must stay exact.
TEST(Octree, SuccessivePalettesKeepFlagsExact) {
  RandomScene s(37, 29, 21, 7);
  // Brick 0 reads only label 0, brick 2 only the hidden label 2 with its low slices cut, brick 1
  // both: every outcome of the summary occurs. Bricks at x = 0 hold a plateau of opaque values,
  // so whole cells stay visible from one palette to the next and make the brick box alone.
  for (int z = 0; z < 21; ++z)
    for (int y = 0; y < 29; ++y)
      for (int x = 0; x < 37; ++x) {
        if (x < 20) s.volume.at(x, y, z) = int16_t(250 + (x + y + z) % 7);
        if (x < 20 || x >= 32) s.mask.at(x, y, z) = x < 20 ? 0 : (z < 6 ? 0x42 : 2);
      }
  OctreeHolder withSummary, without;
  for (Octree* o : {&withSummary.o, &without.o}) {
    ASSERT_TRUE(BuildOctree(s.volume.data, *o));
    ASSERT_TRUE(InitOctreeBricks(s.volume.data, *o));
  }
  std::vector<BrickLabels> labels;
  ASSERT_TRUE(SummarizeBrickLabels(s.mask.data, withSummary.o, labels));
  ASSERT_EQ(labels.size(), size_t(withSummary.o.brickCount));
  EXPECT_EQ(labels[0].labels, 1u);
  EXPECT_FALSE(labels[0].cut);
  EXPECT_EQ(labels[2].labels, 4u);
  EXPECT_TRUE(labels[2].cut);
  VolumeLabelPalette& first = *s.palette.p.labels[0];
  VolumeLabelPalette& hidden = *s.palette.p.labels[2];
  // Shifts as the colour curve moves, the hidden label shown and hidden again, all labels
  // hidden, and back.
  const std::vector<std::function<void()>> steps = {
      [] {},
      [&] { first.minValue += 60, first.maxValue += 60; },
      [&] { first.minValue -= 300, first.maxValue -= 300; },
      [&] { hidden.visible = true; },
      [&] { first.visible = false; },
      [&] { hidden.visible = false; },
      [&] { first.visible = true; },
      [&] { first.minValue += 240, first.maxValue += 240; }};
  for (size_t k = 0; k < steps.size(); ++k) {
    SCOPED_TRACE(testing::Message() << "step " << k);
    steps[k]();
    ASSERT_TRUE(BuildOpacityTable(s.palette.p));
    ASSERT_TRUE(UpdateOctreeBricks(s.mask.data, s.palette.p, withSummary.o, &labels));
    ASSERT_TRUE(UpdateOctreeBricks(s.mask.data, s.palette.p, without.o));
    ExpectOctreeMatchesOracle(s, withSummary.o);
    ExpectOctreeMatchesOracle(s, without.o);
    for (int b = 0; b < withSummary.o.brickCount; ++b)
      for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(withSummary.o.bricks[b].visibleMin[i], without.o.bricks[b].visibleMin[i]);
        EXPECT_EQ(withSummary.o.bricks[b].visibleMax[i], without.o.bricks[b].visibleMax[i]);
      }
  }
}

// The aligned cubes around pos whose exit along the ray is t. Cells of different sides can
// share the exit face, so several may match.
std::vector<int> CellSides(const float* o, const float* d, const float* pos, float t) {
  std::vector<int> sides;
  for (int side : {2, 4, 8, 16}) {
    float expected = 10000;
    for (int i = 0; i < 3; ++i) {
      if (std::fabs(d[i]) <= 1e-4f) continue;
      const int low = int(pos[i]) & ~(side - 1);
      expected = std::min(expected, ((d[i] > 0 ? low + side : low) - o[i]) / d[i]);
    }
    if (std::fabs(expected - t) <= 1e-4f * std::max(1.0f, std::fabs(t))) sides.push_back(side);
  }
  return sides;
}

TEST(Octree, LookupsAnswerForTheRightCell) {
  RandomScene s(37, 29, 21, 21);
  OctreeHolder h;
  ASSERT_TRUE(BuildOctree(s.volume.data, h.o));
  InitOctreeBricks(s.volume.data, h.o);
  UpdateOctreeBricks(s.mask.data, s.palette.p, h.o);
  OctreeOracle oracle(s.volume, s.mask, s.palette.p);
  std::mt19937 rng(4);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  int skips = 0, visits = 0;
  for (int k = 0; k < 3000; ++k) {
    const float pos[3] = {u(rng) * 36.99f, u(rng) * 28.99f, u(rng) * 20.99f};
    float d[3] = {u(rng) - 0.5f, u(rng) - 0.5f, u(rng) - 0.5f};
    if (k % 7 == 0) d[k % 3] = 0;  // axis-parallel rays skip that axis
    const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (float& c : d) c /= len;
    const float o[3] = {pos[0] - 5 * d[0], pos[1] - 5 * d[1], pos[2] - 5 * d[2]};
    float exitPoint[3], t;
    const int16_t current = int16_t(-100 + (k % 5) * 100);
    for (int mode : {kLookupFlags, kLookupMax, kLookupMin}) {
      const bool hit = OctreeLookupCell(h.o, mode, current, o, d, pos, exitPoint, &t);
      const std::vector<int> sides = CellSides(o, d, pos, t);
      ASSERT_FALSE(sides.empty()) << "exit parameter of no cell: " << t;
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(exitPoint[i], o[i] + t * d[i], 1e-4);
      // Skipping must never jump over what could matter; a stop must be at something that does.
      auto holds = [&](int side) {
        const int start[3] = {int(pos[0]) & ~(side - 1), int(pos[1]) & ~(side - 1),
                              int(pos[2]) & ~(side - 1)};
        const auto cell = oracle.At(start, side);
        if (mode == kLookupFlags) return hit == cell.visible;
        if (!hit) return mode == kLookupMax ? cell.hi < current : cell.lo > current;
        return side == 2 && (mode == kLookupMax ? cell.hi >= current : cell.lo <= current);
      };
      EXPECT_TRUE(std::any_of(sides.begin(), sides.end(), holds)) << "mode " << mode;
      if (mode == kLookupFlags) (hit ? visits : skips)++;
    }
  }
  EXPECT_GT(skips, 100);
  EXPECT_GT(visits, 100);
}

}  // namespace
