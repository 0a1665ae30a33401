#include "TissuePresetStore.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const std::vector<TissuePreset>& presets) {
  std::vector<std::string> names;
  for (const auto& p : presets) names.push_back(p.name);
  return names;
}

// A store over a colors file with the given text (no file when absent).
TissuePresetStore StoreOf(const std::optional<std::string>& text, fs::path* folder = nullptr) {
  const fs::path dir = orvanta::test::MakeTempDir("colors");
  if (text) std::ofstream(dir / "colors.xml") << *text;
  if (folder) *folder = dir;
  return TissuePresetStore((dir / "colors.xml").string(), (dir / "images").string() + "/");
}

const std::vector<std::string> kBuiltIns{"Bone", "Skin", "Lung", "Trans"};

}  // namespace

TEST(TissuePresetStore, WhichPresetsAFileGives) {
  struct Case {
    const char* what;
    std::optional<std::string> text;
    std::vector<std::string> names;
  };
  const std::string threeAndOne =
      "<C><TissueList><T name='A'><P CTValue='1'/><P CTValue='2'/><P CTValue='3'/></T>"
      "<T name='B'><P CTValue='5'/></T></TissueList></C>";
  const Case cases[] = {
      {"three points and one point", threeAndOne, {"A"}},
      {"no file", std::nullopt, kBuiltIns},
      {"no TissueList", "<C><Tissues><T name='A'><P/><P/></T></Tissues></C>", kBuiltIns},
      {"every preset under two points", "<C><TissueList><T name='A'><P/></T><T name='B'/></TissueList></C>", kBuiltIns},
      {"not XML", "<C><TissueList><T name='A'><P/><P/>", kBuiltIns},
      {"empty file", "", kBuiltIns},
      {"list after another element, any element names",
       "<C><Other/><TissueList><x name='X'><a/><b/></x><y><c/><d/></y></TissueList><TissueList><z name='Z'><e/><f/></z></TissueList></C>",
       {"X", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TissuePresetStore store = StoreOf(c.text);
    EXPECT_EQ(Names(store.Presets()), c.names);
    EXPECT_EQ(Names(store.Endoscopy()), std::vector<std::string>{"Endo"});
  }
}

TEST(TissuePresetStore, ReadsPresetAndPointAttributes) {
  fs::path folder;
  TissuePresetStore store = StoreOf(
      "<C><TissueList>"
      "<T name='CT 骨骼' Ka='0.2' Kd='0.5' Ks='0.3' Opacity='0.75' ThumbImage='b.png'>"
      "<P CTValue='70000' Alpha='0.5' RGB='1,2'/>"
      "<P CTValue='-70000' Alpha='1' RGB='300,1,2'/>"
      "<P RGB='1,2,3,4'/>"
      "<P CTValue='-1024' Alpha='0.25' RGB='10,20,30'/>"
      "</T>"
      "<T><P/><P Ka='9'/></T>"
      "</TissueList></C>",
      &folder);
  ASSERT_EQ(store.Presets().size(), 2u);
  const TissuePreset& first = store.Presets()[0];
  EXPECT_EQ(first.name, "CT 骨骼");
  EXPECT_EQ(first.thumbnail, (folder / "images" / "b.png").string());
  EXPECT_FLOAT_EQ(first.palette.ambient, 0.2f);
  EXPECT_FLOAT_EQ(first.palette.diffuse, 0.5f);
  EXPECT_FLOAT_EQ(first.palette.specular, 0.3f);
  EXPECT_FLOAT_EQ(first.palette.opacity, 0.75f);
  ASSERT_EQ(first.palette.points.count, 4u);
  struct Want {
    int16_t value;
    uint32_t color;
    float alpha;
  };
  const Want want[] = {{4464, 0, 0.5f}, {-4464, 0x2C0102, 1.0f}, {0, 0, 0.0f}, {-1024, 0x0A141E, 0.25f}};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(first.palette.points.data[i].value, want[i].value);
    EXPECT_EQ(first.palette.points.data[i].color, want[i].color);
    EXPECT_FLOAT_EQ(first.palette.points.data[i].alpha, want[i].alpha);
  }
  // Nothing given: an empty name and thumbnail and the default coefficients.
  const TissuePreset& second = store.Presets()[1];
  EXPECT_EQ(second.name, "");
  EXPECT_EQ(second.thumbnail, "");
  EXPECT_TRUE(second.palette.visible);
  EXPECT_FLOAT_EQ(second.palette.ambient, 0.11f);
  EXPECT_FLOAT_EQ(second.palette.diffuse, 0.816f);
  EXPECT_FLOAT_EQ(second.palette.specular, 0.0f);
  EXPECT_FLOAT_EQ(second.palette.opacity, 1.0f);
}

TEST(TissuePresetStore, BuiltInPointsAreExact) {
  struct Point {
    int16_t value;
    uint32_t color;
    float alpha;
  };
  const std::vector<std::pair<std::string, std::vector<Point>>> table{
      {"Bone", {{145, 0xFF1111, 0.05f}, {264, 0xFFFF75, 0.17f}, {336, 0xFFFFFF, 0.28f}, {1448, 0xFFF5F5, 0.62f}}},
      {"Skin", {{-322, 0xFF0000, 0.0f}, {-172, 0xFFAD5B, 0.265487f}, {-57, 0xFFFFFF, 1.0f}, {1878, 0xFFFFFF, 1.0f}}},
      {"Lung", {{-829, 0xFF0000, 0.0f}, {-636, 0xFFFFFF, 0.168142f}, {-450, 0x800080, 0.0f}}},
      {"Trans",
       {{-586, 0xFFFFFF, 0.0f}, {-500, 0xFFFFFF, 0.238938f}, {-400, 0xFFFFFF, 0.0f}, {150, 0xFF0000, 0.0f},
        {278, 0xFFD732, 0.690265f}, {378, 0xFFFFFF, 0.982301f}, {1443, 0xFFFFFF, 0.991150f}}},
      {"Endo", {{-769, 0xFF8080, 0.159420f}, {-564, 0xFFA4A4, 0.471014f}, {-280, 0xFFFFFF, 0.702898f}, {234, 0xFFFFFF, 0.884057f}}},
  };
  TissuePresetStore store = StoreOf(std::nullopt);
  std::vector<TissuePreset> all = store.Presets();
  all.push_back(store.Endoscopy().at(0));
  ASSERT_EQ(all.size(), table.size());
  for (size_t p = 0; p < table.size(); ++p) {
    SCOPED_TRACE(table[p].first);
    const TissuePreset& preset = all[p];
    EXPECT_EQ(preset.name, table[p].first);
    EXPECT_EQ(preset.thumbnail, "");
    EXPECT_FLOAT_EQ(preset.palette.ambient, 0.11f);
    EXPECT_FLOAT_EQ(preset.palette.diffuse, 0.816f);
    ASSERT_EQ(preset.palette.points.count, table[p].second.size());
    for (size_t i = 0; i < table[p].second.size(); ++i) {
      EXPECT_EQ(preset.palette.points.data[i].value, table[p].second[i].value);
      EXPECT_EQ(preset.palette.points.data[i].color, table[p].second[i].color);
      EXPECT_EQ(preset.palette.points.data[i].alpha, table[p].second[i].alpha);  // the same float
    }
  }
}

// The shipped sample gives the built-in curves, each with a picture that exists.
TEST(TissuePresetStore, ShippedColorsFile) {
  const fs::path colors = orvanta::test::ProgramFolder() / "colors";
  TissuePresetStore shipped((colors / "colors.xml").string(), (colors / "images").string() + "/");
  ASSERT_EQ(Names(shipped.Presets()), kBuiltIns);
  for (const TissuePreset& preset : shipped.Presets()) {
    SCOPED_TRACE(preset.name);
    EXPECT_TRUE(fs::is_regular_file(preset.thumbnail)) << preset.thumbnail;
    const TissuePreset builtIn = TissuePresetStore::BuiltIn(preset.name);
    ASSERT_EQ(preset.palette.points.count, builtIn.palette.points.count);
    for (uint32_t i = 0; i < builtIn.palette.points.count; ++i) {
      EXPECT_EQ(preset.palette.points.data[i].value, builtIn.palette.points.data[i].value);
      EXPECT_EQ(preset.palette.points.data[i].color, builtIn.palette.points.data[i].color);
      EXPECT_FLOAT_EQ(preset.palette.points.data[i].alpha, builtIn.palette.points.data[i].alpha);
    }
  }
}

// Copies own their points: changing or dropping a copy leaves the store's preset whole.
TEST(TissuePresetStore, CopiesOwnTheirPoints) {
  TissuePresetStore store = StoreOf(std::nullopt);
  {
    std::vector<TissuePreset> copy = store.Presets();
    copy[0].palette.points.data[0].value = 1;
    TissuePreset assigned;
    assigned = copy[1];
    assigned.palette.points.data[0].color = 0;
    EXPECT_NE(copy[0].palette.points.data, store.Presets()[0].palette.points.data);
  }
  EXPECT_EQ(store.Presets()[0].palette.points.data[0].value, 145);
  EXPECT_EQ(store.Presets()[1].palette.points.data[0].color, 0xFF0000u);
}
