#include "PeerFiles.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>

#include <iomanip>
#include <sstream>

namespace fs = std::filesystem;

namespace peer {

std::vector<std::string> MakeInstances(const fs::path& source, const fs::path& dir, int n, const std::string& studyUID,
                                       const std::string& seriesUID) {
  std::vector<std::string> out;
  fs::create_directories(dir);
  for (int i = 0; i < n; ++i) {
    DcmFileFormat file;
    if (file.loadFile(source.c_str()).bad()) return {};
    DcmDataset* ds = file.getDataset();
    char uid[100];
    ds->putAndInsertString(DCM_SOPInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT));
    if (!studyUID.empty()) ds->putAndInsertString(DCM_StudyInstanceUID, studyUID.c_str());
    if (!seriesUID.empty()) ds->putAndInsertString(DCM_SeriesInstanceUID, seriesUID.c_str());
    ds->putAndInsertString(DCM_InstanceNumber, std::to_string(i + 1).c_str());
    std::ostringstream name;
    name << std::setw(4) << std::setfill('0') << i << ".dcm";
    fs::path path = dir / name.str();
    if (file.saveFile(path.c_str(), ds->getOriginalXfer()).bad()) return {};
    out.push_back(path.string());
  }
  return out;
}

bool SameContent(const fs::path& a, const fs::path& b) {
  DcmFileFormat fa, fb;
  if (fa.loadFile(a.c_str()).bad() || fb.loadFile(b.c_str()).bad()) return false;
  // Trailing padding is not part of the content and is not sent over the network.
  delete fa.getDataset()->remove(DCM_DataSetTrailingPadding);
  delete fb.getDataset()->remove(DCM_DataSetTrailingPadding);
  return fa.getDataset()->compare(*fb.getDataset()) == 0;
}

std::vector<fs::path> FilesBelow(const fs::path& dir) {
  std::vector<fs::path> out;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) out.push_back(e.path());
  return out;
}

std::string SopInstanceUID(const fs::path& file) {
  DcmFileFormat f;
  OFString uid;
  if (f.loadFile(file.c_str()).bad()) return {};
  f.getDataset()->findAndGetOFString(DCM_SOPInstanceUID, uid);
  return uid.c_str();
}

}  // namespace peer
