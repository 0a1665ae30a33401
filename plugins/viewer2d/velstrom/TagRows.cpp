#include "TagRows.h"

#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcdict.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcmetinf.h>
#include <dcmtk/dcmdata/dcsequen.h>
#include <dcmtk/dcmdata/dcstack.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "SODcmFile.h"

namespace {

constexpr size_t kLongestValue = 256;

std::string ValueText(DcmObject* object) {
  if (object->ident() == EVR_SQ) {
    char text[32];
    std::snprintf(text, sizeof(text), "(%lu items)", static_cast<unsigned long>(object->getVM()));
    return text;
  }
  auto* element = dynamic_cast<DcmElement*>(object);
  if (!element) return {};
  // Pixel and overlay data report their own kind: the value representation says what they hold.
  switch (object->ident() == EVR_PixelData || object->ident() == EVR_OverlayData ? EVR_OW : object->getVR()) {
    case EVR_OB:
    case EVR_OW:
    case EVR_OF:
    case EVR_OD:
    case EVR_OL:
    case EVR_OV:
    case EVR_UN:
    case EVR_pixelSQ:
    case EVR_ox: {
      char text[48];
      std::snprintf(text, sizeof(text), "(%lu bytes)", static_cast<unsigned long>(element->getLength()));
      return text;
    }
    default:
      break;
  }
  OFString value;
  if (element->getOFStringArray(value).bad()) return {};
  std::string text(value.c_str(), value.length());
  if (text.size() > kLongestValue) text = text.substr(0, kLongestValue) + "...";
  return text;
}

void Walk(DcmItem* item, std::vector<TagRow>& rows) {
  DcmStack stack;
  while (item->nextObject(stack, OFTrue).good()) {
    DcmObject* object = stack.top();
    if (object->ident() == EVR_item || object->ident() == EVR_dirRecord) continue;
    TagRow row;
    for (unsigned long i = 1; i < stack.card(); ++i)
      if (stack.elem(i)->ident() == EVR_SQ) ++row.depth;
    const DcmTag& tag = object->getTag();
    char text[16];
    std::snprintf(text, sizeof(text), "(%04X,%04X)", tag.getGTag(), tag.getETag());
    row.tag = text;
    row.vr = DcmVR(object->getVR()).getVRName();
    row.name = DcmTag(tag.getXTag()).getTagName();
    row.value = ValueText(object);
    rows.push_back(std::move(row));
  }
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

}  // namespace

bool ReadTagRows(const std::string& path, std::vector<TagRow>& rows) {
  rows.clear();
  SODcmFile file;
  if (!file.LoadFile(path.c_str(), true)) return false;
  DcmFileFormat* format = file.GetFileFormat();
  // Texts are shown in UTF-8, but the character set row shows what the file itself says (or is
  // absent), not the one the conversion wrote.
  DcmDataset* dataset = format->getDataset();
  OFString ownCharset;
  const bool hasCharset =
      dataset && dataset->findAndGetOFStringArray(DCM_SpecificCharacterSet, ownCharset, OFFalse).good();
  file.ConvertToUTF8();
  if (format->getMetaInfo()) Walk(format->getMetaInfo(), rows);
  const size_t datasetStart = rows.size();
  if (dataset) Walk(dataset, rows);
  for (size_t i = datasetStart; i < rows.size(); ++i) {
    if (rows[i].depth != 0 || rows[i].tag != "(0008,0005)") continue;
    if (hasCharset)
      rows[i].value.assign(ownCharset.c_str(), ownCharset.length());
    else
      rows.erase(rows.begin() + long(i));
    break;
  }
  return true;
}

bool RowMatches(const TagRow& row, const std::string& query) {
  if (query.empty()) return true;
  const std::string q = Lower(query);
  return Lower(row.tag).find(q) != std::string::npos || Lower(row.name).find(q) != std::string::npos ||
         Lower(row.value).find(q) != std::string::npos;
}
