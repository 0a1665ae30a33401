#pragma once

// Attributes the report control treats apart from plain dataset strings.
namespace ReportTag {
constexpr unsigned long SpecificCharacterSet = 0x00080005;
constexpr unsigned long SopClassUid = 0x00080016;
constexpr unsigned long SopInstanceUid = 0x00080018;
constexpr unsigned long StudyDate = 0x00080020;
constexpr unsigned long ContentDate = 0x00080023;
constexpr unsigned long StudyTime = 0x00080030;
constexpr unsigned long ContentTime = 0x00080033;
constexpr unsigned long AcquisitionModality = 0x00080060;  // the report's modality accessor, not (0008,0060) itself
constexpr unsigned long Modality = 0x00080060;
constexpr unsigned long ReferringPhysicianName = 0x00080090;
constexpr unsigned long InstitutionalDepartmentName = 0x00081040;
constexpr unsigned long ReferencedImageSequence = 0x00081140;
constexpr unsigned long PatientName = 0x00100010;
constexpr unsigned long PatientId = 0x00100020;
constexpr unsigned long PatientBirthDate = 0x00100030;
constexpr unsigned long PatientSex = 0x00100040;
constexpr unsigned long PatientAge = 0x00101010;
constexpr unsigned long BodyPartExamined = 0x00180015;
constexpr unsigned long StudyInstanceUid = 0x0020000D;
constexpr unsigned long SeriesInstanceUid = 0x0020000E;
constexpr unsigned long SeriesNumber = 0x00200011;
constexpr unsigned long InstanceNumber = 0x00200013;
constexpr unsigned long VerifyingOrganization = 0x0040A027;
constexpr unsigned long VerificationDateTime = 0x0040A030;
constexpr unsigned long VerifyingObserverName = 0x0040A075;
constexpr unsigned long CompletionFlag = 0x0040A491;
constexpr unsigned long VerificationFlag = 0x0040A493;
constexpr unsigned long EncapsulatedDocument = 0x00420011;
constexpr unsigned long Finding = 0x07211001;
constexpr unsigned long Conclusion = 0x07211002;
constexpr unsigned long Author = 0x07211004;
}  // namespace ReportTag
