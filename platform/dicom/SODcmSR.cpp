#include "SODcmSR.h"

#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcuid.h>

#include <string>

#include "SODcmUtil.h"
#include "SOUtil.h"

namespace {

constexpr unsigned long kSpecificCharacterSet = 0x00080005;
constexpr unsigned long kContentSequence = 0x0040A730;
constexpr unsigned long kRelationshipType = 0x0040A010;
constexpr unsigned long kValueType = 0x0040A040;
constexpr unsigned long kConceptName = 0x0040A043;
constexpr unsigned long kCodeValue = 0x00080100;
constexpr unsigned long kCodingScheme = 0x00080102;
constexpr unsigned long kCodeMeaning = 0x00080104;
constexpr unsigned long kTextValue = 0x0040A160;
constexpr unsigned long kPersonName = 0x0040A123;
constexpr unsigned long kVerifyingObserver = 0x0040A073;
constexpr unsigned long kVerifyingObserverName = 0x0040A075;
constexpr unsigned long kVerifyingOrganization = 0x0040A027;
constexpr unsigned long kVerificationDateTime = 0x0040A030;
constexpr unsigned long kVerifyingObserverCode = 0x0040A088;
constexpr unsigned long kCompletionFlag = 0x0040A491;
constexpr unsigned long kVerificationFlag = 0x0040A493;

// One content item of the root container, found by its conceptName code.
struct ContentKind {
  const char* code;
  const char* meaning;
  const char* relationship;
  const char* valueType;
  unsigned long valueTag;
};

const ContentKind kFinding{"121071", "Finding", "CONTAINS", "TEXT", kTextValue};
const ContentKind kConclusion{"121077", "Conclusion", "CONTAINS", "TEXT", kTextValue};
const ContentKind kAuthor{"121008", "Person Observer Name", "HAS OBS CONTEXT", "PNAME", kPersonName};
const ContentKind kModality{"121139", "Modality", "HAS ACQ CONTEXT", "TEXT", kTextValue};
const ContentKind kTargetRegion{"123014", "Target Region", "HAS ACQ CONTEXT", "TEXT", kTextValue};

bool FindContent(const SODcmDataset& root, const ContentKind& kind, SODcmDataset& item) {
  for (unsigned long i = 0; root.GetSequenceItem(kContentSequence, i, item); ++i) {
    SODcmDataset conceptName;
    std::string code, scheme;
    if (item.GetSequenceItem(kConceptName, 0, conceptName) && conceptName.GetString(kCodeValue, code) &&
        conceptName.GetString(kCodingScheme, scheme) && code == kind.code && scheme == "DCM")
      return true;
  }
  return false;
}

bool GetContent(const SODcmDataset& root, const ContentKind& kind, std::wstring& text) {
  SODcmDataset item;
  return FindContent(root, kind, item) && item.GetString(kind.valueTag, text);
}

bool SetContent(SODcmDataset& root, const ContentKind& kind, const wchar_t* text) {
  if (!text) return false;
  SODcmDataset item;
  if (!FindContent(root, kind, item)) {
    unsigned long count = 0;
    while (root.GetSequenceItem(kContentSequence, count, item)) ++count;
    SODcmDataset conceptName;
    if (!root.GetOrCreateSequenceItem(kContentSequence, count, item) ||
        !item.SetString(kRelationshipType, kind.relationship) || !item.SetString(kValueType, kind.valueType) ||
        !item.GetOrCreateSequenceItem(kConceptName, 0, conceptName) || !conceptName.SetString(kCodeValue, kind.code) ||
        !conceptName.SetString(kCodingScheme, "DCM") || !conceptName.SetString(kCodeMeaning, kind.meaning))
      return false;
  }
  return item.SetString(kind.valueTag, text);
}

bool GetVerifying(const SODcmDataset& root, unsigned long tag, std::wstring& text) {
  SODcmDataset item;
  return root.GetSequenceItem(kVerifyingObserver, 0, item) && item.GetString(tag, text);
}

bool SetVerifying(SODcmDataset& root, unsigned long tag, const wchar_t* text) {
  SODcmDataset item;
  return text && root.GetOrCreateSequenceItem(kVerifyingObserver, 0, item) && item.SetString(tag, text);
}

}  // namespace

bool SODcmSR::GetFinding(std::wstring& text) const { return GetContent(*GetDataset(), kFinding, text); }
bool SODcmSR::SetFinding(const wchar_t* text) { return SetContent(*GetDataset(), kFinding, text); }
bool SODcmSR::GetConclusion(std::wstring& text) const { return GetContent(*GetDataset(), kConclusion, text); }
bool SODcmSR::SetConclusion(const wchar_t* text) { return SetContent(*GetDataset(), kConclusion, text); }
bool SODcmSR::GetAuthorObserverName(std::wstring& text) const { return GetContent(*GetDataset(), kAuthor, text); }
bool SODcmSR::SetAuthorObserverName(const wchar_t* text) { return SetContent(*GetDataset(), kAuthor, text); }
bool SODcmSR::GetAcquisitionModality(std::wstring& text) const { return GetContent(*GetDataset(), kModality, text); }
bool SODcmSR::SetAcquisitionModality(const wchar_t* text) { return SetContent(*GetDataset(), kModality, text); }
bool SODcmSR::GetTargetRegion(std::wstring& text) const { return GetContent(*GetDataset(), kTargetRegion, text); }
bool SODcmSR::SetTargetRegion(const wchar_t* text) { return SetContent(*GetDataset(), kTargetRegion, text); }

bool SODcmSR::GetVerifyingObserverName(std::wstring& text) const {
  return GetVerifying(*GetDataset(), kVerifyingObserverName, text);
}
bool SODcmSR::SetVerifyingObserverName(const wchar_t* text) {
  return SetVerifying(*GetDataset(), kVerifyingObserverName, text);
}
bool SODcmSR::GetVerifyingOrganization(std::wstring& text) const {
  return GetVerifying(*GetDataset(), kVerifyingOrganization, text);
}
bool SODcmSR::SetVerifyingOrganization(const wchar_t* text) {
  return SetVerifying(*GetDataset(), kVerifyingOrganization, text);
}
// The report templates read the verification date-time as a plain attribute of the document, so
// it is kept at the top level as well as in the verifying observer's item.
bool SODcmSR::GetVerificationDateTime(std::wstring& text) const {
  return GetVerifying(*GetDataset(), kVerificationDateTime, text) ||
         GetDataset()->GetString(kVerificationDateTime, text);
}
bool SODcmSR::SetVerificationDateTime(const wchar_t* text) {
  return SetVerifying(*GetDataset(), kVerificationDateTime, text) &&
         GetDataset()->SetString(kVerificationDateTime, text);
}

bool SODcmSR::CompleteDocument() { return GetDataset()->SetString(kCompletionFlag, "COMPLETE"); }

bool SODcmSR::VerifyDocument() {
  SODcmDataset* root = GetDataset();
  SODcmDataset observer;
  if (!CompleteDocument() || !root->GetOrCreateSequenceItem(kVerifyingObserver, 0, observer)) return false;
  // The observer item's mandatory attributes exist even when nobody filled them in.
  if (!observer.TagExists(kVerificationDateTime)) {
    std::wstring now = SOUtil::UTF82WStr((SODcmUtil::GetCurrentDcmDate() + SODcmUtil::GetCurrentDcmTime()).c_str());
    if (!SetVerificationDateTime(now.c_str())) return false;
  }
  for (unsigned long tag : {kVerifyingObserverName, kVerifyingOrganization})
    if (!observer.TagExists(tag) && !observer.SetString(tag, ""))
      return false;
  if (!observer.TagExists(kVerifyingObserverCode) &&
      observer.GetDcmItem()->insertEmptyElement(DcmTag(DCM_VerifyingObserverIdentificationCodeSequence)).bad())
    return false;
  return root->SetString(kVerificationFlag, "VERIFIED");
}

bool SODcmSR::IsCompleted() const {
  std::string flag;
  return GetDataset()->GetString(kCompletionFlag, flag) && flag == "COMPLETE";
}

bool SODcmSR::IsVerified() const {
  std::string flag;
  return GetDataset()->GetString(kVerificationFlag, flag) && flag == "VERIFIED";
}

bool SODcmSR::Copy(const SODcmSR& source) {
  CopyFrom(source);
  return true;
}

namespace {

// Patient and study attributes a report copies from its image; type 2 ones are written empty
// when the image lacks them.
struct CopiedAttribute {
  unsigned long tag;
  bool required;
};
const CopiedAttribute kCopied[] = {
    {kSpecificCharacterSet, false}, {0x00100010, true},  {0x00100020, true},  {0x00100030, true},
    {0x00100040, true},             {0x00101010, false}, {0x00101020, false}, {0x00101030, false},
    {0x0020000D, true},             {0x00080020, true},  {0x00080030, true},  {0x00080090, true},
    {0x00200010, true},             {0x00080050, true},  {0x00081030, false}, {0x00080080, false},
};

}  // namespace

bool SODcmUtil::CreateSR(SODcmSR& sr, const char* imagePath) {
  SODcmFile image;
  std::string studyUid;
  if (!image.LoadFile(imagePath, false) || !image.GetDataset()->GetString(0x0020000D, studyUid) || studyUid.empty())
    return false;
  const SODcmDataset& source = *image.GetDataset();
  SODcmSR fresh;
  SODcmDataset& ds = *fresh.GetDataset();
  bool ok = true;
  for (const CopiedAttribute& a : kCopied) {
    if (source.TagExists(a.tag))
      ok = ok && ds.CopyAttribute(source, a.tag);
    else if (a.required)
      ok = ok && ds.SetString(a.tag, "");
  }
  ok = ok && ds.SetString(0x00080016, UID_BasicTextSRStorage) && ds.SetString(0x00080018, GenerateUID()) &&
       ds.SetString(0x00080060, "SR") && ds.SetString(0x0020000E, GenerateUID()) &&
       ds.SetString(0x00200011, "1") && ds.SetString(0x00200013, "1") && ds.SetString(0x00080070, "") &&
       ds.SetString(0x00080023, GetCurrentDcmDate()) && ds.SetString(0x00080033, GetCurrentDcmTime()) &&
       ds.SetString(kCompletionFlag, "PARTIAL") && ds.SetString(kVerificationFlag, "UNVERIFIED") &&
       ds.SetString(kValueType, "CONTAINER") && ds.SetString(0x0040A050, "SEPARATE");
  ok = ok && ds.GetDcmItem()->insertEmptyElement(DcmTag(DCM_ReferencedPerformedProcedureStepSequence)).good() &&
       ds.GetDcmItem()->insertEmptyElement(DcmTag(DCM_PerformedProcedureCodeSequence)).good();
  SODcmDataset conceptName;
  ok = ok && ds.GetOrCreateSequenceItem(kConceptName, 0, conceptName) && conceptName.SetString(kCodeValue, "11528-7") &&
       conceptName.SetString(kCodingScheme, "LN") && conceptName.SetString(kCodeMeaning, "Radiology Report");
  // The image the report was made for is the evidence of the requested procedure.
  std::string seriesUid, classUid, instanceUid;
  if (ok && source.GetString(0x0020000E, seriesUid) && source.GetString(0x00080016, classUid) &&
      source.GetString(0x00080018, instanceUid)) {
    SODcmDataset study, series, instance;
    ok = ds.GetOrCreateSequenceItem(0x0040A375, 0, study) && study.SetString(0x0020000D, studyUid) &&
         study.GetOrCreateSequenceItem(0x00081115, 0, series) && series.SetString(0x0020000E, seriesUid) &&
         series.GetOrCreateSequenceItem(0x00081199, 0, instance) && instance.SetString(0x00081150, classUid) &&
         instance.SetString(0x00081155, instanceUid);
  }
  if (!ok) return false;
  sr.Copy(fresh);
  return true;
}

namespace {

std::string Utf8Of(const SODcmDataset& item, unsigned long tag) {
  std::wstring wide;
  return item.GetString(tag, wide) ? SOUtil::W2UTF8Str(wide.c_str()) : std::string();
}

std::string ConceptMeaning(const SODcmDataset& item, unsigned long sequence) {
  SODcmDataset code;
  return item.GetSequenceItem(sequence, 0, code) ? Utf8Of(code, kCodeMeaning) : std::string();
}

// The value of one content item as text; empty for kinds without a readable value.
std::string ContentValue(const SODcmDataset& item) {
  std::string type;
  item.GetString(kValueType, type);
  if (type == "TEXT") return Utf8Of(item, kTextValue);
  if (type == "PNAME") return Utf8Of(item, kPersonName);
  if (type == "CODE") return ConceptMeaning(item, 0x0040A168);
  if (type == "DATE") return Utf8Of(item, 0x0040A121);
  if (type == "TIME") return Utf8Of(item, 0x0040A122);
  if (type == "DATETIME") return Utf8Of(item, 0x0040A120);
  if (type == "UIDREF") return Utf8Of(item, 0x0040A124);
  if (type == "NUM") {
    SODcmDataset measured;
    if (!item.GetSequenceItem(0x0040A300, 0, measured)) return {};
    std::string unit = ConceptMeaning(measured, 0x004008EA);
    return Utf8Of(measured, 0x0040A30A) + (unit.empty() ? "" : " " + unit);
  }
  return {};
}

void AppendContent(const SODcmDataset& parent, std::string& text, int depth) {
  if (depth > 32) return;  // a hostile document may nest without end
  SODcmDataset item;
  for (unsigned long i = 0; parent.GetSequenceItem(kContentSequence, i, item); ++i) {
    std::string meaning = ConceptMeaning(item, kConceptName);
    std::string value = ContentValue(item);
    if (!meaning.empty()) text += meaning + ":\n";
    if (!value.empty()) text += value + "\n";
    text += "\n";
    AppendContent(item, text, depth + 1);
  }
}

}  // namespace

bool SODcmUtil::GetSRContentUTF8(SODcmDataset* dataset, std::string& text) {
  std::string type;
  if (!dataset || !dataset->GetString(kValueType, type) || type != "CONTAINER") return false;
  std::string out;
  std::string title = ConceptMeaning(*dataset, kConceptName);
  if (!title.empty()) out += title + "\n\n";
  AppendContent(*dataset, out, 0);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  text = out;
  return true;
}
