#pragma once

#include <cstdint>
#include <string>

class IImageData;
class ISODcmSeries;
class SODcmFile;
class SOString;
struct DcmImageInputData;

// One DICOM instance as the viewer sees it. Tags are 32-bit: group high, element low.
// Typed attribute reads look in the frame's per-frame functional group item, then in the
// shared item, then at the top level.
class ISODcmObject {
 public:
  virtual ~ISODcmObject() = default;
  virtual ISODcmSeries* GetSeries() = 0;
  virtual const char* GetFilePath() = 0;
  virtual const char* GetSopInstanceUID() = 0;
  virtual const char* GetSeriesInstanceUID() = 0;
  virtual const char* GetStudyInstanceUID() = 0;
  virtual int GetInstanceNumber() = 0;
  // rows x columns words 0x00RRGGBB of the object's frame, built on first use; null when the
  // pixels are not 8-bit RGB.
  virtual const unsigned long* GetPixelDataRGB() = 0;
  virtual unsigned short GetColumns() const = 0;
  virtual unsigned short GetRows() const = 0;
  virtual double GetWindowCenter() const = 0;
  virtual double GetWindowWidth() const = 0;
  virtual double GetRescaleIntercept() const = 0;
  virtual double GetRescaleSlope() const = 0;
  virtual const char* GetPatientPosition() = 0;
  virtual bool GetImageOrientationPatient(double* out6, int frame) = 0;
  virtual const double* GetImageOrientationPatient() = 0;
  virtual bool GetImagePositionPatient(double* out3, int frame) = 0;
  virtual const double* GetImagePositionPatient() = 0;
  // Row spacing, then column spacing.
  virtual bool GetPixelSpacing(double* out2, int frame) = 0;
  virtual const double* GetPixelSpacing() = 0;
  virtual bool GetAttributeValue(unsigned long tag, std::string& value, unsigned long index) = 0;
  virtual bool GetAttributeValue(unsigned long tag, std::wstring& value, unsigned long index) = 0;
  virtual bool GetAttributeValue(unsigned long tag, SOString& value, unsigned long index) = 0;
  virtual bool GetAttributeValue(unsigned long tag, double& value, unsigned long index) = 0;
  virtual bool GetAttributeValue(unsigned long tag, int& value, unsigned long index) = 0;
  virtual bool GetAttributeValue(unsigned long tag, std::string& value) = 0;
  virtual bool GetAttributeValue(unsigned long tag, std::wstring& value) = 0;
  // The whole value text; valid while the object's file lives.
  virtual bool GetAttributeValue(unsigned long tag, const char*& value) = 0;
  virtual bool GetAttributeVR(unsigned long tag, const char*& vr) = 0;
  virtual bool AttributeExists(unsigned long tag) const = 0;
  virtual bool AttributeExistsWithValue(unsigned long tag) const = 0;
  virtual SODcmFile* GetDcmFile() = 0;
  virtual unsigned long GetFrameIndex() = 0;
  virtual bool GetImagePixelData(DcmImageInputData* out, unsigned long frame, bool reserved) = 0;
  virtual bool GetFrameNumber(int& frames) = 0;
  virtual IImageData* GetImageData() = 0;
};
