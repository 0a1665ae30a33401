#pragma once

#include <filesystem>
#include <string>

#include "SODcmFile.h"

namespace viewer_test {

// Rewrites a DICOM file in place with a new SOP Instance UID and Instance Number.
inline void Renumber(const std::filesystem::path& file, const std::string& sopUid, int instanceNumber) {
  SODcmFile dcm;
  if (!dcm.LoadFile(file.c_str(), true)) throw std::runtime_error("cannot load " + file.string());
  dcm.GetDataset()->SetString(0x00080018, sopUid);
  dcm.GetDataset()->SetInt32(0x00200013, instanceNumber);
  if (!dcm.SaveFile(file.c_str())) throw std::runtime_error("cannot save " + file.string());
}

}  // namespace viewer_test
