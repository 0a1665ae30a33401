#pragma once

#include <map>
#include <mutex>

#include "DcmImageInputData.h"
#include "FrameGroups.h"
#include "IImageData.h"

class SODcmDataset;

// Per-frame pixels and geometry of a DICOM object's dataset (borrowed: the object deletes the
// image data before its file changes). Frames are decoded once and kept; the frame cache is
// guarded by its own lock, since builders read frames from worker threads.
class CImageData : public IImageData {
 public:
  explicit CImageData(SODcmDataset* dataset);
  CImageData(const CImageData&) = delete;
  CImageData& operator=(const CImageData&) = delete;
  virtual ~CImageData() = default;

  short GetFrameCount() override { return frameCount_; }
  unsigned short GetRows() override { return rows_; }
  unsigned short GetColumns() override { return columns_; }
  int GetPhotometric() override { return photometric_; }
  bool IsColor() override { return color_; }
  short* GetFramePixelData(int frame) override;
  unsigned long* GetFramePixelDataRGB(int frame) override;
  bool CopyFramePixelData(short* buffer, unsigned capacity, int frame) override;
  bool GetFrameWindow(double* center, double* width, int frame) override;
  bool GetFramePixelSpacing(double* spacing2, int frame) override;
  bool GetFrameImageOrientationPatient(double* orientation6, int frame) override;
  bool GetFrameImagePositionPatient(double* position3, int frame) override;

 private:
  struct FrameRecord {
    FrameValues values;
    DcmImagePixelData grey;
    DcmImagePixelDataRGB rgb;
  };
  // Null when the frame does not exist. Called with lock_ held.
  FrameRecord* GetFrameRecord(int frame);
  // Fills the input record of the frame when its kind is the one asked for.
  bool ReadFrameInput(int frame, bool color, DcmImageInputData& input);

  SODcmDataset* dataset_;
  short frameCount_ = 0;
  unsigned short rows_ = 0;
  unsigned short columns_ = 0;
  bool color_ = false;
  int photometric_ = 0;
  int numberOfFrames_ = 0;  // 0 when the dataset has no Number of Frames
  std::mutex lock_;         // guards frames_
  std::map<int, FrameRecord> frames_;
};
