// Every pixel file among python3-pydicom's test files decodes like an independent decoder: GDCM
// writes each one uncompressed (gdcmconv --raw) and both copies must give the same frames.

#include <gtest/gtest.h>

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcmetinf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "SODcmFile.h"
#include "SODcmUtil.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using orvanta::test::MakeTempDir;
using orvanta::test::PydicomTestFiles;

namespace {

std::string TransferSyntaxOf(SODcmFile& file) {
  OFString uid;
  file.GetFileFormat()->getMetaInfo()->findAndGetOFString(DCM_TransferSyntaxUID, uid);
  return uid.c_str();
}

// Largest difference between two decoded frames; -1 when they cannot be compared.
int MaxDifference(const DcmImageInputData& a, const DcmImageInputData& b) {
  if (a.type != b.type || a.rows != b.rows || a.columns != b.columns || a.data.count != b.data.count) return -1;
  int worst = 0;
  if (a.type == DCM_PIXEL_GRAY16) {
    // Compare modality values: an offset may sit in the values or in the intercept.
    auto* va = reinterpret_cast<const int16_t*>(a.data.data);
    auto* vb = reinterpret_cast<const int16_t*>(b.data.data);
    for (size_t i = 0; i < a.data.count / 2; ++i) {
      double d = (va[i] * a.slope + a.intercept) - (vb[i] * b.slope + b.intercept);
      worst = std::max(worst, int(std::ceil(std::fabs(d / a.slope) - 1e-9)));
    }
  } else {
    for (size_t i = 0; i < a.data.count; ++i) worst = std::max(worst, std::abs(int(a.data.data[i]) - int(b.data.data[i])));
  }
  return worst;
}

bool IsLossy(const std::string& uid) {
  return uid == "1.2.840.10008.1.2.4.50" || uid == "1.2.840.10008.1.2.4.51" || uid == "1.2.840.10008.1.2.4.91" ||
         uid == "1.2.840.10008.1.2.4.81";
}

constexpr int kNoReference = -2;

// The file written uncompressed by `tool`, loaded; null when the tool cannot do it.
std::unique_ptr<SODcmFile> Reference(const std::string& tool, const fs::path& in, const fs::path& out) {
  std::string command = tool + " '" + in.string() + "' '" + out.string() + "' > /dev/null 2>&1";
  auto file = std::make_unique<SODcmFile>();
  if (std::system(command.c_str()) != 0 || !file->LoadFile(out.c_str(), false)) return nullptr;
  return file;
}

// Largest difference over all frames; kNoReference without a reference, -1 when ours fails.
int Compare(SODcmFile& ours, const std::unique_ptr<SODcmFile>& reference, int frames) {
  if (!reference) return kNoReference;
  int worst = 0;
  for (int f = 0; f < frames; ++f) {
    DcmImageInputData a, b;
    if (!SODcmUtil::GetImageInputData(reference->GetDataset(), b, f)) return kNoReference;
    if (!SODcmUtil::GetImageInputData(ours.GetDataset(), a, f)) return -1;
    int d = MaxDifference(a, b);
    if (d < 0) return -1;
    worst = std::max(worst, d);
  }
  return worst;
}

}  // namespace

TEST(PydicomDecode, EveryPixelFileMatchesGdcm) {
  fs::path root = PydicomTestFiles();
  if (root.empty()) GTEST_SKIP() << "python3-pydicom test files not installed";
  if (std::system("command -v gdcmconv > /dev/null") != 0) GTEST_SKIP() << "gdcmconv not installed";
  fs::path out = MakeTempDir("pydicom");
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(root))
    if (entry.path().extension() == ".dcm") files.push_back(entry.path());
  std::sort(files.begin(), files.end());

  std::printf("%-42s %-24s %6s  %s\n", "file", "transfer syntax", "frames", "result");
  int compared = 0;
  for (const fs::path& path : files) {
    SODcmFile ours;
    if (!ours.LoadFile(path.c_str(), false) || !ours.GetDataset()->TagExists(0x7FE00010)) continue;
    std::string syntax = TransferSyntaxOf(ours);
    int frames = 1;
    ours.GetDataset()->GetInt32(0x00280008, frames);
    DcmImageInputData first;
    bool oursOk = SODcmUtil::GetImageInputData(ours.GetDataset(), first, 0);
    fs::path raw = out / path.filename();
    std::string result;
    int worst = Compare(ours, Reference("gdcmconv --raw", path, raw), frames);
    if (worst > 0 && syntax == "1.2.840.10008.1.2.5") {
      // GDCM orders the byte segments of multi-byte RLE colour samples differently from the
      // standard's most-significant-first rule; DCMTK's decoder is the reference there.
      int dcmtk = Compare(ours, Reference("dcmdrle", path, out / ("drle_" + path.filename().string())), frames);
      if (dcmtk == 0) {
        worst = 0;
        result = "identical to dcmdrle (GDCM differs)";
      }
    }
    if (worst == kNoReference) {
      result = oursOk ? "decoded (GDCM cannot)" : "not decoded (GDCM cannot either)";
    } else {
      ++compared;
      if (result.empty())
        result = worst < 0 ? "FAILED to decode or shape differs" : worst == 0 ? "identical" : "max diff " + std::to_string(worst);
      int tolerance = IsLossy(syntax) ? 8 : 0;
      EXPECT_TRUE(worst >= 0 && worst <= tolerance) << path.filename() << ": " << result;
    }
    std::printf("%-42s %-24s %6d  %s\n", path.filename().c_str(), syntax.c_str(), frames, result.c_str());
  }
  EXPECT_GT(compared, 20);
}
