#pragma once

#include <string>
#include <vector>

#include "IKelvastListener.h"
#include "InstanceInfo.h"
#include "InstanceRecord.h"
#include "PatientRecord.h"
#include "SeriesRecord.h"
#include "StudyRecord.h"

class SODcmFile;
struct SODcmReferencedSOP;
struct SODcmCommitResult;

// One study store: a folder of DICOM files by study, series and instance, indexed in SQLite
// databases under its DB folder. Safe to call from any thread. Failures answer false.
class IKelvast {
 public:
  IKelvast() = default;
  IKelvast(const IKelvast&) = default;
  IKelvast& operator=(const IKelvast&) { return *this; }
  virtual ~IKelvast() = default;

  virtual bool AddPatientRecord(const PatientRecord& study) = 0;
  virtual bool StoreFile(SODcmFile* file, InstanceRecord* record) = 0;
  virtual bool QueueFile(SODcmFile* file) = 0;
  virtual bool QueueFilePath(const char* path) = 0;
  virtual bool CommitQueue() = 0;
  virtual void SetSaveMode(int mode) = 0;
  virtual bool GetPatientRecords(std::vector<PatientRecord>& out, const char* like, bool withInstances) = 0;
  virtual bool GetStudyRecords(std::vector<StudyRecord>& out, const char* like, bool withInstances) = 0;
  virtual bool GetAllSeriesRecords(std::vector<SeriesRecord>& out, bool withInstances) = 0;
  virtual bool GetReferencedSOPs(std::vector<SODcmReferencedSOP>& out) = 0;
  virtual bool GetAllInstanceRecords(std::vector<InstanceRecord>& out) = 0;
  virtual bool CheckCommitment(const std::vector<SODcmReferencedSOP>& requested, SODcmCommitResult& result) = 0;
  virtual bool GetStudyInstanceRecords(const std::vector<std::string>& studyUIDs, std::vector<InstanceRecord>& out) = 0;
  virtual bool GetSeriesInstanceRecords(const std::vector<std::string>& seriesUIDs, std::vector<InstanceRecord>& out) = 0;
  virtual bool GetSeriesRecords(const char* studyId, std::vector<SeriesRecord>& out, bool withInstances) = 0;
  virtual bool GetPatientRecord(const char* studyId, PatientRecord& out, bool withInstances) = 0;
  virtual bool GetSeriesPatientRecord(const char* seriesId, PatientRecord& out) = 0;
  virtual bool GetSeriesRecord(const char* seriesId, SeriesRecord& out) = 0;
  virtual bool GetSeriesRecordByUID(const char* seriesUID, SeriesRecord& out) = 0;
  virtual bool DeleteStudy(const char* studyId) = 0;
  virtual bool DeleteSeries(const char* seriesId) = 0;
  virtual bool GetStudyCount(int* count) = 0;
  virtual void AddListener(IKelvastListener* listener) = 0;
  virtual void RemoveListener(IKelvastListener* listener) = 0;
  virtual std::string GetPatientSID(const std::string& patientID, const std::string& studyUID) = 0;
  virtual bool GetValue(const char* name, std::string& value) = 0;
  virtual bool SetValue(const char* name, const char* value) = 0;
  // Only the workflow columns are accepted: unread, locked, marked, positive (flags);
  // sendState, printState, remoteState, reportState (states); sendID, printID, remoteID,
  // sourceFrom (texts).
  virtual bool SetPatientFlag(const char* studyId, const char* column, bool value) = 0;
  virtual bool SetPatientState(const char* studyId, const char* column, int value) = 0;
  virtual bool SetPatientText(const char* studyId, const char* column, const char* value) = 0;
  virtual bool GetStoreFilePath(SODcmFile* file, std::string& path) = 0;
  virtual int GetFreeSeriesNumber(const char* studyUID, int first) = 0;
  virtual bool ClearStore() = 0;
};

// A store on the folder; null for a null folder. Nothing is written until the first store.
IKelvast* BuildDB(const char* storeFolder);
// Deletes a store made by BuildDB; null is ignored.
void ReleaseDB(IKelvast* store);
