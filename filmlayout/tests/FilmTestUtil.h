#pragma once

#include <memory>
#include <string>
#include <vector>

#include "SODcmDataset.h"
#include "SODcmFile.h"
#include "SODcmGetSet.h"
#include "SODcmObject.h"

namespace film_test {

// A DICOM object without a file: the identity a session orders by, and optionally a uniform
// RGB picture.
inline std::unique_ptr<SODcmObject> MakeObject(const std::string& series, int instance,
                                               const std::string& sop = {}) {
  auto object = std::make_unique<SODcmObject>();
  SODcmObjectMembers* m = object->GetMembers();
  m->seriesInstanceUID = series;
  m->sopInstanceUID = sop.empty() ? series + "." + std::to_string(instance) : sop;
  m->studyInstanceUID = "1.2.3";
  m->instanceNumber = instance;
  return object;
}

// Gives the object a uniform 16 x 16 RGB picture, written to path and parsed back.
inline bool PaintUniform(SODcmObject& object, const std::string& path, unsigned char r, unsigned char g,
                         unsigned char b) {
  SODcmFile file;
  SODcmDataset& dataset = *file.GetDataset();
  dataset.SetString(0x00080016, "1.2.840.10008.5.1.4.1.1.7");
  dataset.SetString(0x00080018, object.GetSopInstanceUID());
  dataset.SetString(0x0020000E, object.GetSeriesInstanceUID());
  dataset.SetString(0x0020000D, object.GetStudyInstanceUID());
  std::vector<unsigned char> pixels;
  for (int i = 0; i < 16 * 16; ++i) pixels.insert(pixels.end(), {r, g, b});
  SODcmImagePixel pixel;
  pixel.samplesPerPixel = 3;
  pixel.photometric = PHOTOMETRIC_RGB;
  pixel.rows = pixel.columns = 16;
  pixel.pixelData = SOData<unsigned char>(pixels.data(), static_cast<uint32_t>(pixels.size()));
  return SODcmGetSet::Set(dataset, pixel) && file.SaveFile(path.c_str()) && object.ParseDcmFile(path.c_str(), true);
}

// Objects that outlive the sessions of one test.
struct Objects {
  std::vector<std::unique_ptr<SODcmObject>> list;
  SODcmObject* Add(const std::string& series, int instance) {
    list.push_back(MakeObject(series, instance));
    return list.back().get();
  }
};

}  // namespace film_test
