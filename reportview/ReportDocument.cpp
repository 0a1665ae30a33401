#include "ReportDocument.h"

#include "ReportTags.h"
#include "SODcmUtil.h"

namespace wendrel::ReportDocument {

namespace {

// The text as a code string: Latin letters in upper case; empty when it cannot be one (other
// characters than A-Z, 0-9, space and underscore, or longer than 16).
std::wstring AsCodeString(const wchar_t* text) {
  std::wstring code;
  for (const wchar_t* c = text; *c; ++c) {
    const wchar_t upper = *c >= L'a' && *c <= L'z' ? wchar_t(*c - L'a' + L'A') : *c;
    if (!((upper >= L'A' && upper <= L'Z') || (upper >= L'0' && upper <= L'9') || upper == L' ' || upper == L'_'))
      return {};
    code += upper;
  }
  return code.size() <= 16 ? code : std::wstring();
}

// Body Part Examined is a code string. What the user types is written as a code when it can be
// one; other text is kept as the document's free-text target region and the code is left out.
bool WriteBodyPart(SODcmSR& sr, const wchar_t* text) {
  SODcmDataset& ds = *sr.GetDataset();
  const std::wstring code = AsCodeString(text);
  if (!code.empty() || !*text) {
    // A free text kept before follows the code, so that the two never disagree.
    std::wstring region;
    if (!code.empty() && sr.GetTargetRegion(region) && !sr.SetTargetRegion(code.c_str())) return false;
    return ds.SetString(ReportTag::BodyPartExamined, code);
  }
  if (!sr.SetTargetRegion(text)) return false;
  return !ds.TagExists(ReportTag::BodyPartExamined) || ds.DeleteAttribute(ReportTag::BodyPartExamined);
}

bool ReadBodyPart(const SODcmSR& sr, std::wstring& text) {
  const SODcmDataset& ds = *sr.GetDataset();
  return ds.TagExists(ReportTag::BodyPartExamined) ? ds.GetString(ReportTag::BodyPartExamined, text)
                                                   : sr.GetTargetRegion(text);
}

}  // namespace

bool MakeNew(SODcmSR& sr) {
  SODcmDataset& ds = *sr.GetDataset();
  const std::string seriesUid = SODcmUtil::GenerateUID();
  const std::string instanceUid = SODcmUtil::GenerateUID();
  return ds.SetString(ReportTag::SopClassUid, "1.2.840.10008.5.1.4.1.1.88.11") &&
         ds.SetString(ReportTag::InstanceNumber, "1") && ds.SetString(ReportTag::SeriesNumber, "8001") &&
         ds.SetString(ReportTag::Modality, "SR") && ds.SetString(ReportTag::SeriesInstanceUid, seriesUid) &&
         ds.SetString(ReportTag::SopInstanceUid, instanceUid) &&
         ds.SetString(ReportTag::ContentDate, SODcmUtil::GetCurrentDcmDate()) &&
         ds.SetString(ReportTag::ContentTime, SODcmUtil::GetCurrentDcmTime()) &&
         ds.SetString(ReportTag::CompletionFlag, "PARTIAL") && ds.SetString(ReportTag::VerificationFlag, "UNVERIFIED");
}

bool AddDocumentStructure(SODcmSR& sr, const char* imagePath) {
  SODcmSR model;
  if (!SODcmUtil::CreateSR(model, imagePath)) return false;
  SODcmDataset& ds = *sr.GetDataset();
  // The root container, the empty type 2 attributes of the SR and study modules, and the image
  // as evidence of the requested procedure.
  for (unsigned long tag : {0x0040A040ul, 0x0040A050ul, 0x0040A043ul, 0x00080070ul, 0x00081111ul, 0x0040A372ul,
                            0x0040A375ul, ReportTag::PatientName, ReportTag::PatientId, ReportTag::PatientBirthDate,
                            ReportTag::PatientSex, ReportTag::StudyDate, ReportTag::StudyTime,
                            ReportTag::ReferringPhysicianName, 0x00200010ul, 0x00080050ul})
    if (!ds.TagExists(tag) && model.GetDataset()->TagExists(tag) && !ds.CopyAttribute(*model.GetDataset(), tag))
      return false;
  return true;
}

bool Read(const SODcmSR& sr, unsigned long tag, std::wstring& text) {
  switch (tag) {
    case ReportTag::AcquisitionModality:
      return sr.GetAcquisitionModality(text);
    case ReportTag::VerifyingOrganization:
      return sr.GetVerifyingOrganization(text);
    case ReportTag::VerificationDateTime:
      return sr.GetVerificationDateTime(text);
    case ReportTag::VerifyingObserverName:
      return sr.GetVerifyingObserverName(text);
    case ReportTag::Finding:
      return sr.GetFinding(text);
    case ReportTag::Conclusion:
      return sr.GetConclusion(text);
    case ReportTag::Author:
      return sr.GetAuthorObserverName(text);
    case ReportTag::BodyPartExamined:
      return ReadBodyPart(sr, text);
    default:
      return sr.GetDataset()->GetString(tag, text);
  }
}

bool Write(SODcmSR& sr, unsigned long tag, const wchar_t* text) {
  switch (tag) {
    case ReportTag::AcquisitionModality:
      return sr.SetAcquisitionModality(text);
    case ReportTag::VerifyingOrganization:
      return sr.SetVerifyingOrganization(text);
    case ReportTag::VerificationDateTime:
      return sr.SetVerificationDateTime(text);
    case ReportTag::VerifyingObserverName:
      return sr.SetVerifyingObserverName(text);
    case ReportTag::Finding:
      return sr.SetFinding(text);
    case ReportTag::Conclusion:
      return sr.SetConclusion(text);
    case ReportTag::Author:
      return sr.SetAuthorObserverName(text);
    case ReportTag::BodyPartExamined:
      return WriteBodyPart(sr, text);
    default:
      return sr.GetDataset()->SetString(tag, text);
  }
}

}  // namespace wendrel::ReportDocument
