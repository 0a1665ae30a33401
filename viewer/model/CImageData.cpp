#include "CImageData.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "FrameGroups.h"
#include "SODcmDataset.h"
#include "SODcmTags.h"
#include "SODcmUtil.h"

CImageData::CImageData(SODcmDataset* dataset) : dataset_(dataset) {
  if (!dataset_) return;
  frameCount_ = dataset_->TagExists(dcmtag::PixelData) ? 1 : 0;
  if (dataset_->GetInt32(dcmtag::NumberOfFrames, numberOfFrames_)) {
    // Kept in 16 bits: larger counts are clamped rather than wrapped.
    numberOfFrames_ = std::max(numberOfFrames_, 0);
    frameCount_ = static_cast<short>(std::min(numberOfFrames_, int{std::numeric_limits<short>::max()}));
  } else {
    numberOfFrames_ = 0;
  }
  dataset_->GetUint16(dcmtag::Rows, rows_);
  dataset_->GetUint16(dcmtag::Columns, columns_);
  unsigned short samples = 1;
  dataset_->GetUint16(dcmtag::SamplesPerPixel, samples);
  color_ = samples == 3;
  std::string photometric;
  if (dataset_->GetString(dcmtag::PhotometricInterpretation, photometric)) {
    if (photometric == "MONOCHROME2")
      photometric_ = 1;
    else if (photometric == "RGB")
      photometric_ = 2;
  }
}

CImageData::FrameRecord* CImageData::GetFrameRecord(int frame) {
  if (!dataset_) return nullptr;
  frame = std::max(frame, 0);
  auto found = frames_.find(frame);
  if (found != frames_.end()) return &found->second;
  bool multiFrame = dataset_->TagExists(dcmtag::NumberOfFrames);
  if (frame > 0 && (!multiFrame || frame >= numberOfFrames_)) return nullptr;

  FrameRecord& record = frames_[frame];
  ReadFrameValues(FrameGroups(*dataset_, frame), record.values);
  return &record;
}

bool CImageData::ReadFrameInput(int frame, bool color, DcmImageInputData& input) {
  if (!SODcmUtil::GetImageInputData(dataset_, input, std::max(frame, 0))) return false;
  return (input.type == DCM_PIXEL_RGB24) == color;
}

short* CImageData::GetFramePixelData(int frame) {
  std::lock_guard lock(lock_);
  FrameRecord* record = GetFrameRecord(frame);
  if (!record) return nullptr;
  if (!record->grey.count) {
    DcmImageInputData input;
    if (!ReadFrameInput(frame, false, input) || !SODcmUtil::GetImagePixelData(input, record->grey)) {
      record->grey.Free();
      return nullptr;
    }
  }
  return record->grey.data;
}

unsigned long* CImageData::GetFramePixelDataRGB(int frame) {
  std::lock_guard lock(lock_);
  FrameRecord* record = GetFrameRecord(frame);
  if (!record) return nullptr;
  if (!record->rgb.count) {
    DcmImageInputData input;
    if (!ReadFrameInput(frame, true, input) || !SODcmUtil::GetImagePixelData(input, record->rgb)) {
      record->rgb.Free();
      return nullptr;
    }
  }
  return record->rgb.data;
}

bool CImageData::CopyFramePixelData(short* buffer, unsigned capacity, int frame) {
  const uint64_t needed = static_cast<uint64_t>(rows_) * columns_;
  if (!buffer || capacity < needed) return false;
  std::lock_guard lock(lock_);
  FrameRecord* record = GetFrameRecord(frame);
  if (!record) return false;
  if (record->grey.count) {
    std::copy_n(record->grey.data, std::min<uint64_t>(record->grey.count, capacity), buffer);
    return true;
  }
  DcmImageInputData input;
  return ReadFrameInput(frame, false, input) && SODcmUtil::GetImagePixelData(input, buffer, capacity);
}

bool CImageData::GetFrameWindow(double* center, double* width, int frame) {
  std::lock_guard lock(lock_);
  FrameRecord* record = GetFrameRecord(frame);
  if (!record) return false;
  if (center) *center = record->values.windowCenter;
  if (width) *width = record->values.windowWidth;
  return true;
}

bool CImageData::GetFramePixelSpacing(double* spacing2, int frame) {
  std::lock_guard lock(lock_);
  FrameRecord* record = GetFrameRecord(frame);
  if (!record || !spacing2) return false;
  std::copy_n(record->values.spacing, 2, spacing2);
  return true;
}

bool CImageData::GetFrameImageOrientationPatient(double* orientation6, int frame) {
  std::lock_guard lock(lock_);
  FrameRecord* record = GetFrameRecord(frame);
  if (!record || !orientation6) return false;
  std::copy_n(record->values.orientation, 6, orientation6);
  return true;
}

bool CImageData::GetFrameImagePositionPatient(double* position3, int frame) {
  std::lock_guard lock(lock_);
  FrameRecord* record = GetFrameRecord(frame);
  if (!record || !position3) return false;
  std::copy_n(record->values.position, 3, position3);
  return true;
}
