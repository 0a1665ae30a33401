#pragma once

// Attribute tags read across the DICOM layer, the store and the viewer: group in the high 16
// bits, element in the low.
namespace dcmtag {
constexpr unsigned long SpecificCharacterSet = 0x00080005;
constexpr unsigned long ImageType = 0x00080008;
constexpr unsigned long SOPClassUID = 0x00080016;
constexpr unsigned long SOPInstanceUID = 0x00080018;
constexpr unsigned long StudyDate = 0x00080020;
constexpr unsigned long SeriesDate = 0x00080021;
constexpr unsigned long StudyTime = 0x00080030;
constexpr unsigned long AccessionNumber = 0x00080050;
constexpr unsigned long Modality = 0x00080060;
constexpr unsigned long InstitutionName = 0x00080080;
constexpr unsigned long StudyDescription = 0x00081030;
constexpr unsigned long SeriesDescription = 0x0008103E;
constexpr unsigned long PatientName = 0x00100010;
constexpr unsigned long PatientID = 0x00100020;
constexpr unsigned long PatientBirthDate = 0x00100030;
constexpr unsigned long PatientSex = 0x00100040;
constexpr unsigned long PatientAge = 0x00101010;
constexpr unsigned long PatientComments = 0x00104000;
constexpr unsigned long BodyPartExamined = 0x00180015;
constexpr unsigned long SliceThickness = 0x00180050;
constexpr unsigned long PatientPosition = 0x00185100;
constexpr unsigned long StudyInstanceUID = 0x0020000D;
constexpr unsigned long SeriesInstanceUID = 0x0020000E;
constexpr unsigned long StudyID = 0x00200010;
constexpr unsigned long SeriesNumber = 0x00200011;
constexpr unsigned long InstanceNumber = 0x00200013;
constexpr unsigned long ImagePositionPatient = 0x00200032;
constexpr unsigned long ImageOrientationPatient = 0x00200037;
constexpr unsigned long PlanePositionSequence = 0x00209113;
constexpr unsigned long PlaneOrientationSequence = 0x00209116;
constexpr unsigned long SamplesPerPixel = 0x00280002;
constexpr unsigned long PhotometricInterpretation = 0x00280004;
constexpr unsigned long PlanarConfiguration = 0x00280006;
constexpr unsigned long NumberOfFrames = 0x00280008;
constexpr unsigned long Rows = 0x00280010;
constexpr unsigned long Columns = 0x00280011;
constexpr unsigned long PixelSpacing = 0x00280030;
constexpr unsigned long BitsAllocated = 0x00280100;
constexpr unsigned long BitsStored = 0x00280101;
constexpr unsigned long PixelRepresentation = 0x00280103;
constexpr unsigned long WindowCenter = 0x00281050;
constexpr unsigned long WindowWidth = 0x00281051;
constexpr unsigned long RescaleIntercept = 0x00281052;
constexpr unsigned long RescaleSlope = 0x00281053;
constexpr unsigned long PixelMeasuresSequence = 0x00289110;
constexpr unsigned long FrameVOILUTSequence = 0x00289132;
constexpr unsigned long PixelValueTransformationSequence = 0x00289145;
constexpr unsigned long SharedFunctionalGroupsSequence = 0x52009229;
constexpr unsigned long PerFrameFunctionalGroupsSequence = 0x52009230;
constexpr unsigned long PixelData = 0x7FE00010;
}  // namespace dcmtag
