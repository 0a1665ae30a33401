#include "TissuePresetStore.h"

#include "SOUtil.h"

#include <tinyxml.h>

#include "SOXml.h"

#include <cstdint>
#include <cstdlib>
#include <initializer_list>

namespace {

struct PointRow {
  int16_t value;
  int red, green, blue;
  float alpha;
};

TissuePreset Make(const char* name, std::initializer_list<PointRow> rows) {
  TissuePreset preset;
  preset.name = name;
  preset.palette.points.Resize(static_cast<uint32_t>(rows.size()));
  uint32_t i = 0;
  for (const PointRow& row : rows) {
    V3PalettePoint& point = preset.palette.points.data[i++];
    point.value = row.value;
    point.color = uint32_t(row.red) << 16 | uint32_t(row.green) << 8 | uint32_t(row.blue);
    point.alpha = row.alpha;
  }
  return preset;
}

// A number attribute; the fallback when it is absent or does not start with a number.
double Number(const TiXmlElement* element, const char* name, double fallback) {
  const char* text = element->Attribute(name);
  if (!text) return fallback;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  return end == text ? fallback : value;
}

long Integer(const char* text) {
  return text ? std::strtol(text, nullptr, 10) : 0;
}

// "r,g,b" as 0xRRGGBB from each component's low 8 bits; black unless exactly three parts.
uint32_t Colour(const char* text) {
  if (!text) return 0;
  std::vector<std::string> parts;
  std::string part;
  for (const char* c = text;; ++c) {
    if (*c == ',' || *c == '\0') {
      parts.push_back(part);
      part.clear();
      if (*c == '\0') break;
    } else {
      part += *c;
    }
  }
  if (parts.size() != 3) return 0;
  uint32_t colour = 0;
  for (const std::string& component : parts)
    colour = colour << 8 | (static_cast<unsigned long>(Integer(component.c_str())) & 0xFF);
  return colour;
}

}  // namespace

TissuePreset TissuePresetStore::BuiltIn(const std::string& name) {
  if (name == "Bone")
    return Make("Bone", {{145, 255, 17, 17, 0.05f}, {264, 255, 255, 117, 0.17f}, {336, 255, 255, 255, 0.28f},
                         {1448, 255, 245, 245, 0.62f}});
  if (name == "Skin")
    return Make("Skin", {{-322, 255, 0, 0, 0.0f}, {-172, 255, 173, 91, 0.265487f}, {-57, 255, 255, 255, 1.0f},
                         {1878, 255, 255, 255, 1.0f}});
  if (name == "Lung")
    return Make("Lung", {{-829, 255, 0, 0, 0.0f}, {-636, 255, 255, 255, 0.168142f}, {-450, 128, 0, 128, 0.0f}});
  if (name == "Trans")
    return Make("Trans", {{-586, 255, 255, 255, 0.0f},
                          {-500, 255, 255, 255, 0.238938f},
                          {-400, 255, 255, 255, 0.0f},
                          {150, 255, 0, 0, 0.0f},
                          {278, 255, 215, 50, 0.690265f},
                          {378, 255, 255, 255, 0.982301f},
                          {1443, 255, 255, 255, 0.991150f}});
  if (name == "Endo")
    return Make("Endo", {{-769, 255, 128, 128, 0.159420f}, {-564, 255, 164, 164, 0.471014f},
                         {-280, 255, 255, 255, 0.702898f}, {234, 255, 255, 255, 0.884057f}});
  return {};
}

TissuePresetStore* TissuePresetStore::Instance() {
  static TissuePresetStore* store = [] {
    const std::string folder = SOUtil::GetModulePath() + "colors/";
    return new TissuePresetStore(folder + "colors.xml", folder + "images/");
  }();
  return store;
}

TissuePresetStore::TissuePresetStore(std::string file, std::string thumbnailFolder)
    : m_file(std::move(file)), m_thumbnailFolder(std::move(thumbnailFolder)) {
  Load();
  if (m_presets.empty())
    for (const char* name : {"Bone", "Skin", "Lung", "Trans"}) m_presets.push_back(BuiltIn(name));
  m_endoscopy.push_back(BuiltIn("Endo"));
}

void TissuePresetStore::Load() {
  m_presets.clear();
  TiXmlDocument document;
  if (!SOXml::LoadFile(document, m_file)) return;
  const TiXmlElement* root = document.RootElement();
  const TiXmlElement* list = root ? root->FirstChildElement("TissueList") : nullptr;
  if (!list) return;
  for (const TiXmlElement* element = list->FirstChildElement(); element; element = element->NextSiblingElement()) {
    std::vector<V3PalettePoint> points;
    for (const TiXmlElement* p = element->FirstChildElement(); p; p = p->NextSiblingElement()) {
      V3PalettePoint point{};
      // The voxel value is 16-bit: larger numbers wrap as the stored type does.
      point.value = static_cast<int16_t>(static_cast<uint16_t>(static_cast<unsigned long>(Integer(p->Attribute("CTValue"))) & 0xFFFF));
      point.alpha = static_cast<float>(Number(p, "Alpha", 0.0));
      point.color = Colour(p->Attribute("RGB"));
      points.push_back(point);
    }
    if (points.size() < 2) continue;
    TissuePreset preset;
    const char* name = element->Attribute("name");
    preset.name = name ? name : "";
    const char* thumb = element->Attribute("ThumbImage");
    if (thumb && *thumb) preset.thumbnail = m_thumbnailFolder + thumb;
    V3Palette& palette = preset.palette;
    palette.ambient = static_cast<float>(Number(element, "Ka", palette.ambient));
    palette.diffuse = static_cast<float>(Number(element, "Kd", palette.diffuse));
    palette.specular = static_cast<float>(Number(element, "Ks", palette.specular));
    palette.opacity = static_cast<float>(Number(element, "Opacity", palette.opacity));
    palette.points.Resize(static_cast<uint32_t>(points.size()));
    std::copy(points.begin(), points.end(), palette.points.data);
    m_presets.push_back(std::move(preset));
  }
}
