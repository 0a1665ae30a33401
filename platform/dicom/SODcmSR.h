#pragma once

#include <string>

#include "SODcmFile.h"

// A Basic Text SR document. Finding and conclusion are TEXT items of the content tree under the
// root container, the author a PNAME observation-context item, the acquisition modality a TEXT
// acquisition-context item; the verifying observer lives in the Verifying Observer Sequence.
// Getters answer false, with the output untouched, when the value is absent.
class SODcmSR : public SODcmFile {
 public:
  bool GetFinding(std::wstring& text) const;
  bool SetFinding(const wchar_t* text);
  bool GetConclusion(std::wstring& text) const;
  bool SetConclusion(const wchar_t* text);
  bool GetAuthorObserverName(std::wstring& text) const;
  bool SetAuthorObserverName(const wchar_t* text);
  bool GetVerifyingObserverName(std::wstring& text) const;
  bool SetVerifyingObserverName(const wchar_t* text);
  bool GetVerifyingOrganization(std::wstring& text) const;
  bool SetVerifyingOrganization(const wchar_t* text);
  // DICOM date-time text ("YYYYMMDDHHMMSS"); also kept as a top-level attribute, where the
  // report templates read it.
  bool GetVerificationDateTime(std::wstring& text) const;
  bool SetVerificationDateTime(const wchar_t* text);
  // The modality of the reported images (the document's own Modality stays "SR").
  bool GetAcquisitionModality(std::wstring& text) const;
  bool SetAcquisitionModality(const wchar_t* text);
  // The examined region as free text (a TEXT acquisition-context item), for what a coded Body
  // Part Examined cannot hold.
  bool GetTargetRegion(std::wstring& text) const;
  bool SetTargetRegion(const wchar_t* text);

  // Completion Flag to COMPLETE.
  bool CompleteDocument();
  // Verification Flag to VERIFIED (completing the document first); a missing verification
  // date-time becomes now.
  bool VerifyDocument();
  bool IsCompleted() const;
  bool IsVerified() const;

  // Replaces this document by a copy of `source` (dataset and file meta; the path is not taken).
  bool Copy(const SODcmSR& source);
};
