#pragma once

// Helpers shared by the toolkit's sources; not part of the interface.

#include <dcmtk/dcmdata/dctagkey.h>

#include <string>

inline DcmTagKey ToTagKey(unsigned long tag) {
  return DcmTagKey(static_cast<Uint16>(tag >> 16), static_cast<Uint16>(tag & 0xFFFF));
}

// Registers the JPEG, JPEG-LS and RLE decoders with DCMTK, once per process.
void RegisterDcmCodecs();

// `text` converted from the DICOM character set `charset` (value of (0008,0005)) to UTF-8.
// `personName` keeps ISO 2022 escapes scoped to name components. Undeclared or unreadable bytes
// that are not valid UTF-8 are read as ISO 8859-1, so the result is always valid UTF-8.
std::string DcmTextToUtf8(const std::string& text, const std::string& charset, bool personName);

class DcmItem;
// Re-encodes every text of `root` and its sequences (items may declare their own character set)
// to UTF-8 and sets (0008,0005) to "ISO_IR 192".
void DcmItemToUtf8(DcmItem* root);
