#pragma once

// Helpers shared by the toolkit's sources; not part of the interface.

#include <dcmtk/dcmdata/dctagkey.h>

#include <string>

inline DcmTagKey ToTagKey(unsigned long tag) {
  return DcmTagKey(static_cast<Uint16>(tag >> 16), static_cast<Uint16>(tag & 0xFFFF));
}

// While one lives, DCMTK logs nothing from this thread: for attempts whose failure is expected
// and handled.
class DcmQuietLog {
 public:
  DcmQuietLog();
  ~DcmQuietLog();
  DcmQuietLog(const DcmQuietLog&) = delete;
  DcmQuietLog& operator=(const DcmQuietLog&) = delete;
};

// Registers the JPEG, JPEG-LS and RLE decoders with DCMTK, once per process.
void RegisterDcmCodecs();

// `text` converted from the DICOM character set `charset` (value of (0008,0005)) to UTF-8.
// `personName` keeps ISO 2022 escapes scoped to name components. Undeclared or unreadable bytes
// go through the legacy character set (SODcmDataset::GetLegacyCharacterSet), so the result is
// always valid UTF-8 and holds no replacement character the bytes did not.
std::string DcmTextToUtf8(const std::string& text, const std::string& charset, bool personName);

class DcmItem;
// Re-encodes every text of `root` and its sequences (items may declare their own character set)
// to UTF-8 and sets (0008,0005) to "ISO_IR 192".
void DcmItemToUtf8(DcmItem* root);
