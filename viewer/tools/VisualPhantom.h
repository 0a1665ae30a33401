#pragma once

// A CT phantom for the 3D/MPR control's tools and benchmarks: air, a water cylinder along the
// slices and a bright sphere (about 1000 HU) off its centre, one file per slice.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "DicomFixtures.h"
#include "SODcmFile.h"

namespace visual_phantom {

inline orvanta::fixtures::WrittenSeries Write(const std::filesystem::path& folder, int size, int slices,
                                              double spacing = 1.0, std::string studyUid = {},
                                              std::string patientName = "Phantom^Sphere") {
  orvanta::fixtures::CtSeriesOptions o;
  o.rows = o.columns = size;
  o.slices = slices;
  o.rowSpacing = o.columnSpacing = spacing;
  o.sliceSpacing = spacing;
  o.shuffleInstanceNumbers = false;
  o.studyUid = std::move(studyUid);
  o.patientName = std::move(patientName);
  const double c = (size - 1) / 2.0, body = size * 0.42, ball = size / 6.0;
  const double sx = c + size / 10.0, sy = c - size / 12.0, sz = (slices - 1) / 2.0;
  o.storedValue = [=](int k, int r, int col) {
    const double dx = col - c, dy = r - c;
    // Stored values with intercept -1024: 0 air, 1024 water, 2024 the sphere.
    if (std::hypot(col - sx, r - sy, (k - sz) * 1.0) <= ball) return 2024;
    if (dx * dx + dy * dy <= body * body) return 1024 + (r + col) % 16;
    return 0;
  };
  const bool ascii = std::all_of(o.patientName.begin(), o.patientName.end(), [](char ch) { return ch > 0; });
  orvanta::fixtures::WrittenSeries written = orvanta::fixtures::WriteCtSeries(folder, o);
  // A name beyond ASCII is written as UTF-8, so the files say so.
  if (!ascii)
    for (const auto& file : written.files) {
      SODcmFile dcm;
      if (!dcm.LoadFile(file.c_str(), true)) continue;
      dcm.GetDataset()->SetString(0x00080005, "ISO_IR 192");
      dcm.SaveFile(file.c_str());
    }
  return written;
}

}  // namespace visual_phantom
