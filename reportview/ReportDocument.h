#pragma once

#include "SODcmSR.h"

#include <string>

// Report documents of the report control.
namespace wendrel::ReportDocument {

// A new report's own attributes: Basic Text SR, series 8001, instance 1, new Series and SOP
// Instance UIDs, content date and time now, PARTIAL and UNVERIFIED.
bool MakeNew(SODcmSR& sr);
// What a report made for the image at `imagePath` needs besides its own and the copied attributes
// to be a whole Basic Text SR, as the toolkit makes one; attributes the report has stay.
bool AddDocumentStructure(SODcmSR& sr, const char* imagePath);

// The document's value of a tag: the report accessors for the report's own fields, else the
// dataset's text. Read and write fail as the toolkit does.
bool Read(const SODcmSR& sr, unsigned long tag, std::wstring& text);
bool Write(SODcmSR& sr, unsigned long tag, const wchar_t* text);

}  // namespace wendrel::ReportDocument
