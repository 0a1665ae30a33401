#pragma once

// Small CT series loaded synchronously, for the tests of the volume pieces of the 3D/MPR control.

#include <filesystem>
#include <string>

#include "DicomFixtures.h"
#include "ISODcmDataCenter.h"

namespace volume_test {

struct DataCenter {
  ISODcmDataCenter* dc = CreateDcmDataCenter();
  ~DataCenter() { ReleaseDcmDataCenter(dc); }
  ISODcmSeries* Load(const std::filesystem::path& folder, const std::string& seriesUid) {
    dc->LoadFolder(folder.c_str());
    return dc->FindSeries(seriesUid.c_str());
  }
};

// Slices in instance order, 16 x 12 by default.
inline orvanta::fixtures::CtSeriesOptions SmallCt(int slices, int rows = 16, int columns = 12) {
  orvanta::fixtures::CtSeriesOptions o;
  o.slices = slices;
  o.rows = rows;
  o.columns = columns;
  o.shuffleInstanceNumbers = false;
  return o;
}

}  // namespace volume_test
