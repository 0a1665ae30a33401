#pragma once

#include <string>

#include "InstanceRecord.h"
#include "PatientRecord.h"
#include "SeriesRecord.h"

class SODcmFile;

// Store records built from a DICOM file outside any store, and display strings of a study.
class StoreUtil {
 public:
  StoreUtil& operator=(const StoreUtil&) { return *this; }
  StoreUtil& operator=(StoreUtil&&) { return *this; }

  // PatientID + "_" + StudyInstanceUID, or the UID alone for an empty PatientID.
  static std::string GetPatientSID(const std::string& patientID, const std::string& studyUID);
  // False only for a null file.
  static bool GetPatientSID(SODcmFile* file, std::string& sid);
  // The study strings; store path, times, workflow columns and series keep what they held.
  static bool GetPatientRecord(SODcmFile* file, PatientRecord& record);
  static bool GetSeriesRecord(SODcmFile* file, SeriesRecord& record);
  // storePath is the file's own path.
  static bool GetInstanceRecord(SODcmFile* file, InstanceRecord& record);
  // Distinct values of the study's series, in order of first appearance, joined by ",".
  static void GetModality(const PatientRecord& study, std::string& out);
  static void GetBodyPart(const PatientRecord& study, std::string& out);
  static void GetInstitutionName(const PatientRecord& study, std::string& out);
  // Both lists in one pass; "SR" is left out of the modalities only.
  static void GetModalityBodyPart(const PatientRecord& study, std::string& modalities, std::string& bodyParts);
};
