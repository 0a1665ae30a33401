#pragma once

#include <memory>
#include <string>

#include "SODcmDataset.h"

class DcmFileFormat;
class DcmDataset;

// A DICOM file: the file meta information and the dataset.
class SODcmFile {
 public:
  SODcmFile();
  virtual ~SODcmFile();
  SODcmFile(const SODcmFile&) = delete;
  SODcmFile& operator=(const SODcmFile&) = delete;

  // Parses a DICOM file (Part 10, or a bare dataset in any transfer syntax). Large values (pixel
  // data above all) stay on disk and are read when asked for, so a file must stay where it is while
  // this object reads from it (frames of a file changed or replaced since are refused); with
  // `loadAll` every value is read into memory now and the file may then change or vanish. False,
  // with the previous content kept, when the file cannot be parsed.
  virtual bool LoadFile(const char* path, bool loadAll = false);

  // Writes the file meta information and the dataset to `path`, replacing a file there atomically
  // (a temporary file in the same folder, then a rename): a failed save leaves the old file intact.
  // With `keepTransferSyntax` the dataset keeps its transfer syntax; without it the file is
  // written in Explicit VR Little Endian, decompressed first when the pixel data are encapsulated
  // (when they cannot be decompressed the original transfer syntax is kept). Without `sync` the
  // data are not flushed before the rename: the caller syncs a batch of files at once.
  bool SaveFile(const char* path, bool keepTransferSyntax, bool sync = true);
  // The same with the transfer syntax kept.
  bool SaveFile(const char* path);

  // Re-encodes the texts of the dataset to UTF-8 (see SODcmDataset::ConvertToUTF8).
  bool ConvertToUTF8();

  // The path the file was loaded from or last saved to; "" for objects that never had one.
  const char* GetFilePath() const;
  SODcmDataset* GetDataset();
  const SODcmDataset* GetDataset() const;

  // The DCMTK file object, for the toolkit's own classes; never null.
  DcmFileFormat* GetFileFormat() const;
  // Takes over a dataset (received over the network, for example); the object has no path then.
  void TakeDataset(DcmDataset* dataset);
  // Replaces this file's content by a deep copy of `other`; the path is not taken.
  void CopyFrom(const SODcmFile& other);

 private:
  void Rebind();

  std::unique_ptr<DcmFileFormat> fileFormat_;
  SODcmDataset dataset_;
  std::string path_;
  std::string source_;  // the file that values not yet read come from; empty when all are in memory
};
