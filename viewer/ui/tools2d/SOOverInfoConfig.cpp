#include "SOOverInfoConfig.h"

#include <tinyxml.h>

#include "SOXml.h"

#include <cstdio>

#include "SOUtil.h"

namespace {

const char kBuiltIn[] = R"(<?xml version="1.0" encoding="utf - 8"?>
<OverInfo>
  <LeftTop>
    <Item tag="0x00100010" prefix="" suffix="" newline="false"/>
    <Item tag="0x00100020" prefix="" suffix="" newline="true"/>
    <Item tag="0x00100030" prefix="" suffix="" newline="true"/>
    <Item tag="0x00100040" prefix=" " suffix="" newline="false"/>
    <Item tag="0x00200013" prefix="Im: " suffix="" newline="true"/>
    <Item tag="0x00200011" prefix="Se: " suffix="" newline="true"/>
  </LeftTop>
  <RightTop>
    <Item tag="0x00080080" prefix="" suffix="" newline="false"/>
    <Item tag="0x00080070" prefix=" " suffix="" newline="true"/>
    <Item tag="0x00081090" prefix="" suffix="" newline="true"/>
  </RightTop>
  <LeftBottom>
    <Item tag="0x00281050" prefix="WL: " suffix="" newline="false"/>
    <Item tag="0x00281051" prefix=" WW: " suffix="" newline="false"/>
  </LeftBottom>
  <RightBottom>
    <Item tag="0x00180060" prefix="" suffix="KV" newline="false"/>
    <Item tag="0x00181151" prefix=" " suffix="mA" newline="false"/>
  </RightBottom>
</OverInfo>
)";

std::wstring Text(const char* value) {
  return value ? SOUtil::UTF82WStr(value) : std::wstring();
}

}  // namespace

SOOverInfoConfig& SOOverInfoConfig::Instance() {
  static SOOverInfoConfig* config = [] {
    auto* c = new SOOverInfoConfig;
    c->Load(SOUtil::GetModulePath() + "config/overinfo.xml");
    return c;
  }();
  return *config;
}

bool SOOverInfoConfig::Load(const std::string& path) {
  TiXmlDocument doc;
  if (SOXml::LoadFile(doc, path, TIXML_DEFAULT_ENCODING)) {
    TiXmlPrinter printer;
    doc.Accept(&printer);
    if (Parse(printer.CStr())) return true;
  }
  Parse(kBuiltIn);
  return false;
}

bool SOOverInfoConfig::Parse(const char* xml) {
  for (auto& list : lists_) list.clear();
  TiXmlDocument doc;
  if (!SOXml::Parse(doc, xml)) return false;
  TiXmlElement* root = doc.RootElement();
  if (!root) return false;
  static const char* const kCorners[4] = {"LeftTop", "LeftBottom", "RightTop", "RightBottom"};
  for (int corner = 0; corner < 4; ++corner) {
    TiXmlElement* element = root->FirstChildElement(kCorners[corner]);
    if (!element) continue;
    for (TiXmlElement* item = element->FirstChildElement(); item; item = item->NextSiblingElement()) {
      SOOverInfoItem entry;
      unsigned int tag = 0;
      if (const char* t = item->Attribute("tag")) {
        if (std::sscanf(t, "%x", &tag) != 1) tag = 0;
      }
      entry.tag = tag;
      entry.prefix = Text(item->Attribute("prefix"));
      entry.suffix = Text(item->Attribute("suffix"));
      const char* newline = item->Attribute("newline");
      entry.newline = newline && std::string(newline) == "true";
      lists_[corner].push_back(entry);
    }
  }
  return true;
}
