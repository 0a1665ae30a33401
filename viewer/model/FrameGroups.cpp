#include "FrameGroups.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "SODcmTags.h"

FrameGroups::FrameGroups(const SODcmDataset& dataset, unsigned long frame)
    : FrameGroups(dataset, frame, dataset.TagExists(dcmtag::NumberOfFrames)) {}

FrameGroups::FrameGroups(const SODcmDataset& dataset, unsigned long frame, bool multiFrame)
    : dataset_(dataset) {
  if (!multiFrame) return;
  if (!dataset.GetSequenceItem(dcmtag::PerFrameFunctionalGroupsSequence, frame, perFrame_.emplace()))
    perFrame_.reset();
  if (!dataset.GetSequenceItem(dcmtag::SharedFunctionalGroupsSequence, 0, shared_.emplace())) shared_.reset();
}

bool ReadDoubles(const SODcmDataset& dataset, unsigned long tag, double* out, int n) {
  // One look-up for all values: the text is "v0\\v1\\...".
  const char* text = nullptr;
  if (!dataset.GetString(tag, text) || !text) return false;
  const char* const stop = text + std::strlen(text);
  double values[6];
  for (int i = 0; i < n; ++i) {
    while (text < stop && (*text == ' ' || *text == '+')) ++text;
    auto [end, error] = std::from_chars(text, stop, values[i]);  // not locale-dependent
    if (error != std::errc()) return false;
    while (end < stop && *end == ' ') ++end;
    if (i + 1 < n && (end == stop || *end++ != '\\')) return false;
    text = end;
  }
  std::copy(values, values + n, out);
  return true;
}

void ReadFrameValues(const FrameGroups& groups, FrameValues& values) {
  groups.FindInMacro(dcmtag::FrameVOILUTSequence, [&](const SODcmDataset& item) {
    bool center = item.GetFloat64(dcmtag::WindowCenter, values.windowCenter);
    bool width = item.GetFloat64(dcmtag::WindowWidth, values.windowWidth);
    return center || width;
  });
  groups.FindInMacro(dcmtag::PixelMeasuresSequence, [&](const SODcmDataset& item) {
    return ReadDoubles(item, dcmtag::PixelSpacing, values.spacing, 2);
  });
  groups.FindInMacro(dcmtag::PlanePositionSequence, [&](const SODcmDataset& item) {
    return ReadDoubles(item, dcmtag::ImagePositionPatient, values.position, 3);
  });
  groups.FindInMacro(dcmtag::PlaneOrientationSequence, [&](const SODcmDataset& item) {
    return ReadDoubles(item, dcmtag::ImageOrientationPatient, values.orientation, 6);
  });
}
