// Decoding and windowing 512 x 512 16-bit CT frames to 8-bit bitmaps, against DCMTK's own
// DicomImage (dcmimgle) on the same frames of the same file in the same run:
//   - per frame: DicomImage over that one frame (setWindow, getOutputData(8));
//   - preloaded: one DicomImage over all frames (pixels decoded once), getOutputData(8) per frame.
// Both read the dataset that was already parsed, so the file header is parsed once for each.
// Usage: bench_dicom_decode [frames=100] [rounds=3]
//        bench_dicom_decode big [frames=2000]   (a ~1 GB multi-frame file: time to the first
//        frame and the peak resident size while opening it)

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <dcmtk/dcmimgle/dcmimage.h>
#include <dcmtk/oflog/oflog.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "DicomFixtures.h"
#include "SODcmFile.h"
#include "SODcmUtil.h"
#include "TestSupport.h"
#include "BenchSupport.h"

namespace fx = orvanta::fixtures;

namespace {

using namespace bench;

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
  return 0;
}

int Frames(int frames, int rounds) {
  fx::EnhancedCtOptions options;
  options.frames = frames;
  options.rows = 512;
  options.columns = 512;
  auto path = fx::WriteEnhancedCt(orvanta::test::MakeTempDir("bench-decode"), options);
  const int stride = 512;
  std::vector<unsigned char> bits(512 * stride);
  unsigned long checksum = 0;

  SODcmFile file;
  if (!file.LoadFile(path.c_str(), false)) return 1;
  DcmImageInputData record;
  auto ours = [&] {
    for (int f = 0; f < frames; ++f) {
      if (!SODcmUtil::GetImageInputData(file.GetDataset(), record, f) ||
          !SODcmUtil::SetBitmapData8Bits(bits.data(), record, 40, 400, false, false))
        std::abort();
      checksum += bits[256 * stride + 256];
    }
  };

  DcmFileFormat peerFile;
  if (peerFile.loadFile(path.c_str()).bad()) return 1;
  DcmDataset* dataset = peerFile.getDataset();
  E_TransferSyntax xfer = dataset->getOriginalXfer();
  auto perFrame = [&] {
    for (int f = 0; f < frames; ++f) {
      DicomImage image(dataset, xfer, CIF_UsePartialAccessToPixelData, static_cast<unsigned long>(f), 1UL);
      if (image.getStatus() != EIS_Normal || !image.setWindow(40, 400)) std::abort();
      const void* out = image.getOutputData(8);
      if (!out) std::abort();
      checksum += static_cast<const unsigned char*>(out)[256 * 512 + 256];
    }
  };
  auto preloaded = [&] {
    DicomImage image(dataset, xfer, 0UL, 0UL, static_cast<unsigned long>(frames));
    if (image.getStatus() != EIS_Normal || !image.setWindow(40, 400)) std::abort();
    for (int f = 0; f < frames; ++f) {
      const void* out = image.getOutputData(8, f);
      if (!out) std::abort();
      checksum += static_cast<const unsigned char*>(out)[256 * 512 + 256];
    }
  };

  ours();  // warm the page cache and both code paths once
  perFrame();
  double tOurs = 1e9, tPerFrame = 1e9, tPreloaded = 1e9;
  for (int r = 0; r < rounds; ++r) {
    tOurs = std::min(tOurs, Seconds(ours));
    tPerFrame = std::min(tPerFrame, Seconds(perFrame));
    tPreloaded = std::min(tPreloaded, Seconds(preloaded));
  }
  std::printf("%d frames of 512 x 512 x 16 bits, decode + window 40/400 to 8 bits (best of %d)\n", frames, rounds);
  std::printf("%-44s %8.1f frames/s\n", "ours (GetImageInputData + SetBitmapData8Bits)", frames / tOurs);
  std::printf("%-44s %8.1f frames/s   ratio ours/peer %.2f\n", "DCMTK DicomImage per frame", frames / tPerFrame,
              tPerFrame / tOurs);
  std::printf("%-44s %8.1f frames/s   ratio ours/peer %.2f\n", "DCMTK DicomImage preloaded, output per frame",
              frames / tPreloaded, tPreloaded / tOurs);
  std::printf("(checksum %lu)\n", checksum);
  return 0;
}

int Big(int frames) {
  fx::EnhancedCtOptions options;
  options.frames = frames;
  options.rows = 512;
  options.columns = 512;
  auto path = fx::WriteEnhancedCt(orvanta::test::MakeTempDir("bench-big"), options);
  // Writing the file needed it in memory; start the peak over from here.
  std::ofstream("/proc/self/clear_refs") << "5";
  long before = StatusKiB("VmRSS:");
  SODcmFile file;
  DcmImageInputData record;
  std::vector<unsigned char> bits(512 * 512);
  double seconds = Seconds([&] {
    if (!file.LoadFile(path.c_str(), false) || !SODcmUtil::GetImageInputData(file.GetDataset(), record, 0) ||
        !SODcmUtil::SetBitmapData8Bits(bits.data(), record, 40, 400, false, false))
      std::abort();
  });
  long peak = StatusKiB("VmHWM:");
  std::printf("%.0f MB file, %d frames: first frame after %.1f ms; resident before %ld KiB, peak %ld KiB\n",
              std::filesystem::file_size(path) / 1e6, frames, seconds * 1e3, before, peak);
  double peerSeconds = 0;
  int status = -1;
  {
    std::ofstream("/proc/self/clear_refs") << "5";
    peerSeconds = Seconds([&] {
      DicomImage whole(path.c_str(), CIF_UsePartialAccessToPixelData, 0UL, 1UL);
      whole.setWindow(40, 400);
      status = whole.getOutputData(8) ? int(whole.getStatus()) : -1;
    });
  }
  std::printf("peer DCMTK DicomImage (partial access, first frame): %.1f ms, status %d, peak %ld KiB\n",
              peerSeconds * 1e3, status, StatusKiB("VmHWM:"));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  OFLog::configure(OFLogger::ERROR_LOG_LEVEL);
  orvanta::test::InitScratch();
  int rc;
  if (argc > 1 && std::string(argv[1]) == "big")
    rc = Big(argc > 2 ? std::atoi(argv[2]) : 2000);
  else
    rc = Frames(argc > 1 ? std::atoi(argv[1]) : 100, argc > 2 ? std::atoi(argv[2]) : 3);
  orvanta::test::ShutdownScratch();
  return rc;
}
