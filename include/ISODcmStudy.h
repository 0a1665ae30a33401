#pragma once

class ISODcmObject;
class ISODcmStudy;

// The objects of one series in Instance Number order. The series owns them and their files.
class ISODcmSeries {
 public:
  virtual ~ISODcmSeries() = default;
  virtual ISODcmStudy* GetStudy() = 0;
  virtual const char* GetSeriesInstanceUID() = 0;
  virtual int GetObjectCount() = 0;
  virtual ISODcmObject* GetObjectAt(int index) = 0;
  virtual ISODcmObject* FindObject(const char* sopInstanceUID) = 0;
};

// The series of one study in the order of their first file. The study owns them.
class ISODcmStudy {
 public:
  virtual ~ISODcmStudy() = default;
  virtual const char* GetStudyInstanceUID() = 0;
  virtual int GetSeriesCount() = 0;
  virtual ISODcmSeries* GetSeriesAt(int index) = 0;
  virtual ISODcmSeries* FindSeries(const char* seriesInstanceUID) = 0;
  virtual ISODcmObject* FindObject(const char* sopInstanceUID) = 0;
  // Deletes the series when it is one of this study's; true unless the argument is null.
  virtual bool RemoveSeries(ISODcmSeries* series) = 0;
};
