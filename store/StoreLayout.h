#pragma once

#include <map>
#include <string>
#include <vector>

#include "InstanceInfo.h"
#include "InstanceRecord.h"
#include "PatientRecord.h"
#include "SeriesRecord.h"
#include "StudyRecord.h"

// Names and paths of a store folder:
//   DB/patients, DB/values, DB/<StudyUID>           the databases
//   <StudyUID>/<%08d_SeriesUID>/<%06d_SOPUID>       one stored file (no extension)
//   .trash/                                         folders of deleted studies awaiting removal
namespace StoreLayout {

// "a" + "/" + "b", without doubling a trailing separator of "a".
std::string Join(const std::string& folder, const std::string& name);
// The folder part of a path ("" when there is none); trailing separators are ignored.
std::string ParentOf(const std::string& path);

// A DICOM UID that may name a file or folder: 1 to 64 digits and dots with at least one digit,
// so it can never be "..", "DB", a separator or a reserved database name.
bool IsSafeUID(const std::string& uid);
// Drops trailing blanks and NULs (DICOM padding).
std::string TrimUID(const std::string& uid);

std::string SeriesKey(int number, const std::string& seriesUID);
std::string InstanceKey(int number, const std::string& sopInstanceUID);
std::string StudyId(const std::string& patientID, const std::string& studyUID);

// Store-relative paths of the records.
std::string GetInstancePath(const InstanceInfo& info);
std::string GetInstancePath(const InstanceRecord& record);
std::string GetStudyPath(const PatientRecord& record);
std::string GetStudyPath(const StudyRecord& record);
std::string GetSeriesPath(const SeriesRecord& record);

// True when the canonical form of path lies strictly below the canonical store folder and is
// neither its DB folder nor anything inside DB. Symlinks in path are resolved, so a link that
// leads out of the store is refused.
bool IsDeletableInStore(const std::string& storeFolder, const std::string& path);

// A file name no other call, in this process or another, makes: process id, clock tick, count.
std::string UniqueName();

// Patient data is its user's alone: a store's folders are 0700, its files 0600.
// Creates path and the missing folders above it, each new one 0700; true when path is a folder.
bool CreatePrivateFolders(const std::string& path);
// Takes every right of group and others from an existing file or folder; true when it has none.
bool MakePrivate(const std::string& path);
// A database file, made (empty, with its missing folders) or mended to 0600 before the database
// opens it, so the journals it makes beside it take the same mode.
bool PrepareDatabaseFile(const std::string& path);

}  // namespace StoreLayout
