#pragma once

#include <memory>
#include <string>

#include "FrameGroups.h"
#include "ISODcmObject.h"
#include "SOData.h"
#include "SODcmFile.h"

class CImageData;

// A buffer with the image size it holds.
template <typename T>
struct SOPixelBuffer {
  SOData<T> pixels;
  int rows = 0;
  int columns = 0;
};

// The state of one SODcmObject. The MPR and VR builders write the geometry fields directly.
struct SODcmObjectMembers {
  std::string sopInstanceUID;
  std::string seriesInstanceUID;
  std::string studyInstanceUID;
  int instanceNumber = 0;
  SOPixelBuffer<short> grey;         // filled only by SetPixelData
  SOPixelBuffer<unsigned long> rgb;  // 0x00RRGGBB; SetPixelDataRGB, or built by GetPixelDataRGB
  FrameValues frame;                 // window and geometry; spacing is between rows, then between columns
  std::string patientPosition;
  unsigned short columns = 0;
  unsigned short rows = 0;
  unsigned long frameIndex = 0;
  int numberOfFrames = 0;
  double rescaleIntercept = 0;
  double rescaleSlope = 1.0;
  ISODcmSeries* series = nullptr;         // borrowed
  std::unique_ptr<SODcmFile> ownFile;     // used when the object parses a file by itself
  SODcmFile* file = nullptr;              // the current file, never null; a series' file is borrowed
  std::unique_ptr<CImageData> imageData;  // over the current file, made on first use
  unsigned givenGeometry = 0;             // which geometry fields a builder set (SODcmObject's bits)
};

// One DICOM instance (one frame of it for multi-frame objects made by the viewer's callers).
class SODcmObject : public ISODcmObject {
 public:
  SODcmObject();
  // Bound to a file owned elsewhere from the start, as by SetDcmFile; such an object makes a file
  // of its own only when it parses one. A null file gives the default object.
  SODcmObject(SODcmFile* file, unsigned long frame);
  SODcmObject(const SODcmObject&) = delete;
  SODcmObject& operator=(const SODcmObject&) = delete;
  ~SODcmObject() override;

  void SetDcmSeries(ISODcmSeries* series) { m_->series = series; }
  // Binds a file owned elsewhere; the frame is taken only when the file has that many frames.
  void SetDcmFile(SODcmFile* file, unsigned long frame);
  bool ParseDcmFile(const char* path, bool loadAll);
  void SetPixelData(const short* pixels, int rows, int columns);
  void SetPixelDataRGB(const unsigned long* pixels, int rows, int columns);
  void SetImageOrientationPatient(const double orientation[6]);
  void SetImagePositionPatient(const double position[3]);
  void SetPixelSpacing(const double spacing[2]);
  void SetRows(int rows) { m_->rows = static_cast<unsigned short>(rows); }
  void SetColumns(int columns) { m_->columns = static_cast<unsigned short>(columns); }
  SODcmObjectMembers* GetMembers() { return m_.get(); }

  ISODcmSeries* GetSeries() override { return m_->series; }
  const char* GetFilePath() override;
  const char* GetSopInstanceUID() override { return m_->sopInstanceUID.c_str(); }
  const char* GetSeriesInstanceUID() override { return m_->seriesInstanceUID.c_str(); }
  const char* GetStudyInstanceUID() override { return m_->studyInstanceUID.c_str(); }
  int GetInstanceNumber() override { return m_->instanceNumber; }
  const unsigned long* GetPixelDataRGB() override;
  unsigned short GetColumns() const override { return m_->columns; }
  unsigned short GetRows() const override { return m_->rows; }
  double GetWindowCenter() const override { return m_->frame.windowCenter; }
  double GetWindowWidth() const override { return m_->frame.windowWidth; }
  double GetRescaleIntercept() const override { return m_->rescaleIntercept; }
  double GetRescaleSlope() const override { return m_->rescaleSlope; }
  const char* GetPatientPosition() override { return m_->patientPosition.c_str(); }
  bool GetImageOrientationPatient(double* out6, int frame) override;
  const double* GetImageOrientationPatient() override { return m_->frame.orientation; }
  bool GetImagePositionPatient(double* out3, int frame) override;
  const double* GetImagePositionPatient() override { return m_->frame.position; }
  bool GetPixelSpacing(double* out2, int frame) override;
  const double* GetPixelSpacing() override { return m_->frame.spacing; }
  bool GetAttributeValue(unsigned long tag, std::string& value, unsigned long index) override;
  bool GetAttributeValue(unsigned long tag, std::wstring& value, unsigned long index) override;
  bool GetAttributeValue(unsigned long tag, SOString& value, unsigned long index) override;
  bool GetAttributeValue(unsigned long tag, double& value, unsigned long index) override;
  bool GetAttributeValue(unsigned long tag, int& value, unsigned long index) override;
  bool GetAttributeValue(unsigned long tag, std::string& value) override;
  bool GetAttributeValue(unsigned long tag, std::wstring& value) override;
  bool GetAttributeValue(unsigned long tag, const char*& value) override;
  bool GetAttributeVR(unsigned long tag, const char*& vr) override;
  bool AttributeExists(unsigned long tag) const override;
  bool AttributeExistsWithValue(unsigned long tag) const override;
  SODcmFile* GetDcmFile() override { return m_->file; }
  unsigned long GetFrameIndex() override { return m_->frameIndex; }
  bool GetImagePixelData(DcmImageInputData* out, unsigned long frame, bool reserved) override;
  bool GetFrameNumber(int& frames) override;
  IImageData* GetImageData() override;

 private:
  enum : unsigned { kGivenOrientation = 1, kGivenPosition = 2, kGivenSpacing = 4 };

  void ResetMemberValues();
  // Copies `count` values set through a setter into `out` when `kind` was set and `frame` is ours.
  bool GivenGeometry(unsigned kind, const double* values, int count, double* out, int frame) const;
  // Takes `frame` as the frame index when the dataset has that many frames.
  bool ParseDcmDataset(const SODcmDataset* dataset, unsigned long frame);
  void ReadRescale(const FrameGroups& groups);
  // The functional-group-aware lookup shared by the GetAttributeValue overloads.
  template <typename Read>
  bool LookUp(Read read);

  std::unique_ptr<SODcmObjectMembers> m_;
};
