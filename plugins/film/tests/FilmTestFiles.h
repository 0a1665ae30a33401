#pragma once

// Film files and queue listeners for the film plug-in's tests.

#include "FilmFile.h"
#include "SODcmFile.h"
#include "SODcmGetSet.h"
#include "SOPrintQueue.h"
#include "SOUtil.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace filmtest {

// Frame f's pixel at (r, c): distinct per frame so a printed frame can be told apart.
inline unsigned char FramePixel(int f, int r, int c) { return static_cast<unsigned char>(r * 3 + c + f * 71); }

struct FilmOptions {
  int frames = 1;
  int rows = 96;
  int columns = 80;
  int samples = 1;
  int bits = 8;
  bool pixels = true;
  int declaredFrames = 0;  // Number of Frames written when not 0 (else the real count)
};

// A film object as the export makes it, with the printer's settings stamped.
inline std::unique_ptr<SODcmFile> MakeFilm(const PrinterRecord& printer, const FilmOptions& o = {}) {
  auto file = std::make_unique<SODcmFile>();
  SODcmDataset* ds = file->GetDataset();
  ds->SetString(0x00080005, "ISO_IR 192");
  ds->SetString(0x00080016, "1.2.840.10008.5.1.4.1.1.7");
  ds->SetString(0x00080018, SOUtil::GenerateUID());
  ds->SetString(0x00100010, L"张三^胶片");
  ds->SetString(0x0020000D, SOUtil::GenerateUID());
  if (o.pixels) {
    SODcmImagePixel pixel;
    pixel.rows = static_cast<unsigned short>(o.rows);
    pixel.columns = static_cast<unsigned short>(o.columns);
    pixel.samplesPerPixel = static_cast<unsigned short>(o.samples);
    pixel.photometric = o.samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MONOCHROME2;
    pixel.bitsAllocated = pixel.bitsStored = static_cast<unsigned short>(o.bits);
    pixel.highBit = static_cast<unsigned short>(o.bits - 1);
    pixel.numberOfFrames = o.frames;
    if (o.bits == 8) {
      unsigned char* bytes = SODcmGetSet::Create(*ds, pixel);
      for (int f = 0; f < o.frames; ++f)
        for (int r = 0; r < o.rows; ++r)
          for (int c = 0; c < o.columns * o.samples; ++c)
            *bytes++ = FramePixel(f, r, c);
    } else {
      pixel.pixelData.Resize(static_cast<uint32_t>(o.rows * o.columns * o.samples * o.frames * 2));
      SODcmGetSet::Set(*ds, pixel);
    }
  }
  if (o.declaredFrames) ds->SetInt32(0x00280008, o.declaredFrames);
  filmfile::StampPrinter(*ds, printer);
  return file;
}

inline PrinterRecord Printer(int port, const std::string& name = "胶片机") {
  PrinterRecord p;
  p.name = name;
  p.ip = "127.0.0.1";
  p.port = port;
  p.calledAE = "PRINTSCP";
  p.callingAE = "ORVANTA";
  p.filmSize = 8;  // 14INX17IN
  return p;
}

// Records every state each job went through, as the listeners saw them.
class StateLog : public ISOPrintQueueCallback {
 public:
  void OnPrintQueueChanged(std::vector<PrintJob> jobs) override {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const PrintJob& job : jobs) {
      std::vector<int>& seen = states_[job.uid];
      if (seen.empty() || seen.back() != job.state) seen.push_back(job.state);
    }
    last_ = std::move(jobs);
    changed_.notify_all();
  }
  std::vector<int> States(const std::string& uid) {
    std::lock_guard<std::mutex> lock(mutex_);
    return states_[uid];
  }
  // Waits (at most limit) until a snapshot satisfies done.
  bool WaitFor(const std::function<bool(const std::vector<PrintJob>&)>& done,
               std::chrono::seconds limit = std::chrono::seconds(60)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return done(last_); });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, std::vector<int>> states_;
  std::vector<PrintJob> last_;
};

inline const PrintJob* Find(const std::vector<PrintJob>& jobs, const std::string& uid) {
  for (const PrintJob& job : jobs)
    if (job.uid == uid) return &job;
  return nullptr;
}

}  // namespace filmtest
