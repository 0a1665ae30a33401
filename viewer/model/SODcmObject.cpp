#include "SODcmObject.h"

#include <algorithm>
#include <cstring>

#include "CImageData.h"
#include "FrameGroups.h"
#include "SODcmTags.h"
#include "SODcmUtil.h"
#include "SOString.h"

SODcmObject::SODcmObject() : SODcmObject(nullptr, 0) {}

SODcmObject::SODcmObject(SODcmFile* file, unsigned long frame) : m_(std::make_unique<SODcmObjectMembers>()) {
  ResetMemberValues();
  if (file) {
    SetDcmFile(file, frame);
    return;
  }
  m_->ownFile = std::make_unique<SODcmFile>();
  m_->file = m_->ownFile.get();
}

SODcmObject::~SODcmObject() = default;

void SODcmObject::ResetMemberValues() {
  SODcmObjectMembers& m = *m_;
  m.sopInstanceUID.clear();
  m.seriesInstanceUID.clear();
  m.studyInstanceUID.clear();
  m.patientPosition.clear();
  m.instanceNumber = 0;
  m.grey = {};
  m.rgb = {};
  m.frame = {};
  m.rows = m.columns = 0;
  m.rescaleIntercept = 0;
  m.rescaleSlope = 1.0;
  m.givenGeometry = 0;
}

void SODcmObject::SetDcmFile(SODcmFile* file, unsigned long frame) {
  if (!file) return;
  m_->file = file;
  m_->imageData.reset();
  // The colour pixels were the old file's.
  m_->rgb = {};
  ParseDcmDataset(file->GetDataset(), frame);
}

bool SODcmObject::ParseDcmFile(const char* path, bool loadAll) {
  ResetMemberValues();
  if (!path) return false;
  // Always into the own file: a file bound by SetDcmFile belongs to a series.
  m_->imageData.reset();
  if (!m_->ownFile) m_->ownFile = std::make_unique<SODcmFile>();
  m_->file = m_->ownFile.get();
  if (!m_->ownFile->LoadFile(path, loadAll)) return false;
  return ParseDcmDataset(m_->ownFile->GetDataset(), m_->frameIndex);
}

bool SODcmObject::ParseDcmDataset(const SODcmDataset* dataset, unsigned long frame) {
  if (!dataset) return false;
  SODcmObjectMembers& m = *m_;
  // Some fifteen attributes: one walk of the dataset instead of one each.
  SODcmDataset::Indexed indexed(*dataset);
  dataset->GetString(dcmtag::SOPInstanceUID, m.sopInstanceUID);
  dataset->GetString(dcmtag::SeriesInstanceUID, m.seriesInstanceUID);
  dataset->GetString(dcmtag::StudyInstanceUID, m.studyInstanceUID);
  dataset->GetString(dcmtag::PatientPosition, m.patientPosition);
  dataset->GetInt32(dcmtag::InstanceNumber, m.instanceNumber);
  dataset->GetUint16(dcmtag::Rows, m.rows);
  dataset->GetUint16(dcmtag::Columns, m.columns);

  int frames = 0;
  const bool multiFrame = dataset->GetInt32(dcmtag::NumberOfFrames, frames);
  m.numberOfFrames = multiFrame ? frames : 0;
  // The frame is taken only when the file has it.
  if (multiFrame && frames > 0 && frame < static_cast<unsigned long>(frames)) m.frameIndex = frame;
  // Enhanced objects keep rescale, window and geometry per frame or in the shared groups.
  FrameGroups groups(*dataset, m.frameIndex, multiFrame);
  ReadRescale(groups);
  ReadFrameValues(groups, m.frame);

  return !m.sopInstanceUID.empty() && !m.seriesInstanceUID.empty() && !m.studyInstanceUID.empty();
}

void SODcmObject::ReadRescale(const FrameGroups& groups) {
  double slope = 1.0, intercept = 0;
  bool found = groups.FindInMacro(dcmtag::PixelValueTransformationSequence, [&](const SODcmDataset& item) {
    item.GetFloat64(dcmtag::RescaleSlope, slope);
    return item.GetFloat64(dcmtag::RescaleIntercept, intercept);
  });
  m_->rescaleIntercept = found ? intercept : 0;
  m_->rescaleSlope = found ? slope : 1.0;
}

void SODcmObject::SetPixelData(const short* pixels, int rows, int columns) {
  if (!pixels || rows <= 0 || columns <= 0) return;
  m_->rows = static_cast<unsigned short>(rows);
  m_->columns = static_cast<unsigned short>(columns);
  m_->grey.rows = rows;
  m_->grey.columns = columns;
  m_->grey.pixels.Resize(static_cast<uint32_t>(rows) * columns);
  std::copy(pixels, pixels + m_->grey.pixels.count, m_->grey.pixels.data);
}

void SODcmObject::SetPixelDataRGB(const unsigned long* pixels, int rows, int columns) {
  if (!pixels || rows <= 0 || columns <= 0) return;
  m_->rows = static_cast<unsigned short>(rows);
  m_->columns = static_cast<unsigned short>(columns);
  m_->rgb.rows = rows;
  m_->rgb.columns = columns;
  m_->rgb.pixels.Resize(static_cast<uint32_t>(rows) * columns);
  std::copy(pixels, pixels + m_->rgb.pixels.count, m_->rgb.pixels.data);
}

void SODcmObject::SetImageOrientationPatient(const double orientation[6]) {
  std::copy(orientation, orientation + 6, m_->frame.orientation);
  m_->givenGeometry |= kGivenOrientation;
}

void SODcmObject::SetImagePositionPatient(const double position[3]) {
  std::copy(position, position + 3, m_->frame.position);
  m_->givenGeometry |= kGivenPosition;
}

void SODcmObject::SetPixelSpacing(const double spacing[2]) {
  std::copy(spacing, spacing + 2, m_->frame.spacing);
  m_->givenGeometry |= kGivenSpacing;
}

const char* SODcmObject::GetFilePath() {
  return m_->file ? m_->file->GetFilePath() : nullptr;
}

const unsigned long* SODcmObject::GetPixelDataRGB() {
  SODcmObjectMembers& m = *m_;
  if (m.rgb.pixels.count) return m.rgb.pixels.data;
  SODcmDataset* dataset = m.file->GetDataset();
  unsigned short samples = 0, rows = 0, columns = 0, bitsAllocated = 0, representation = 0, bitsStored = 0;
  if (!dataset->GetUint16(dcmtag::SamplesPerPixel, samples) || !dataset->GetUint16(dcmtag::Rows, rows) ||
      !dataset->GetUint16(dcmtag::Columns, columns) ||
      !dataset->GetUint16(dcmtag::BitsAllocated, bitsAllocated) ||
      !dataset->GetUint16(dcmtag::PixelRepresentation, representation) ||
      !dataset->GetUint16(dcmtag::BitsStored, bitsStored))
    return nullptr;
  if (samples != 3 || bitsAllocated != 8 || rows == 0 || columns == 0) return nullptr;
  unsigned short planar = 0;
  dataset->GetUint16(dcmtag::PlanarConfiguration, planar);

  const unsigned char* bytes = nullptr;
  unsigned long count = 0;
  if (!dataset->GetUint8Array(dcmtag::PixelData, bytes, count) || !bytes) return nullptr;
  const uint64_t pixels = static_cast<uint64_t>(rows) * columns;
  const uint64_t frameBytes = pixels * 3;
  const uint64_t offset = count > frameBytes ? frameBytes * m.frameIndex : 0;
  if (offset >= count) return nullptr;

  // Planar configuration 1 keeps the red, green and blue planes one after another.
  const uint64_t sampleStep = planar == 1 ? pixels : 1;
  const uint64_t pixelStep = planar == 1 ? 1 : 3;
  m.rgb.pixels.Resize(static_cast<uint32_t>(pixels));
  for (uint64_t i = 0; i < pixels; ++i) {
    uint64_t red = offset + i * pixelStep;
    uint64_t blue = red + 2 * sampleStep;
    if (blue >= count) break;  // truncated data: only what is there is converted
    m.rgb.pixels.data[i] = (static_cast<unsigned long>(bytes[red]) << 16) |
                           (static_cast<unsigned long>(bytes[red + sampleStep]) << 8) | bytes[blue];
  }
  m.rgb.rows = rows;
  m.rgb.columns = columns;
  dataset->Compact();
  return m.rgb.pixels.data;
}

// A plane made by a builder has no geometry in its file: what the builder set is its frame's
// geometry, so the tools that ask per frame see the same plane as those that read the fields.
bool SODcmObject::GivenGeometry(unsigned kind, const double* values, int count, double* out, int frame) const {
  if (!(m_->givenGeometry & kind) || frame != static_cast<int>(m_->frameIndex)) return false;
  std::copy(values, values + count, out);
  return true;
}

bool SODcmObject::GetImageOrientationPatient(double* out6, int frame) {
  if (!out6) return false;
  if (GivenGeometry(kGivenOrientation, m_->frame.orientation, 6, out6, frame)) return true;
  IImageData* data = GetImageData();
  return data && data->GetFrameImageOrientationPatient(out6, frame);
}

bool SODcmObject::GetImagePositionPatient(double* out3, int frame) {
  if (!out3) return false;
  if (GivenGeometry(kGivenPosition, m_->frame.position, 3, out3, frame)) return true;
  IImageData* data = GetImageData();
  return data && data->GetFrameImagePositionPatient(out3, frame);
}

bool SODcmObject::GetPixelSpacing(double* out2, int frame) {
  if (!out2) return false;
  if (GivenGeometry(kGivenSpacing, m_->frame.spacing, 2, out2, frame)) return true;
  IImageData* data = GetImageData();
  return data && data->GetFramePixelSpacing(out2, frame);
}

template <typename Read>
bool SODcmObject::LookUp(Read read) {
  const SODcmDataset& dataset = *m_->file->GetDataset();
  int frames = 0;
  const bool multiFrame = dataset.GetInt32(dcmtag::NumberOfFrames, frames);
  if (multiFrame) m_->numberOfFrames = frames;
  return FrameGroups(dataset, m_->frameIndex, multiFrame).Find(read);
}

bool SODcmObject::GetAttributeValue(unsigned long tag, std::string& value, unsigned long index) {
  return LookUp([&](const SODcmDataset& d) { return d.GetString(tag, value, index); });
}

bool SODcmObject::GetAttributeValue(unsigned long tag, std::wstring& value, unsigned long index) {
  return LookUp([&](const SODcmDataset& d) { return d.GetString(tag, value, index); });
}

bool SODcmObject::GetAttributeValue(unsigned long tag, SOString& value, unsigned long index) {
  return LookUp([&](const SODcmDataset& d) { return d.GetString(tag, value, index); });
}

bool SODcmObject::GetAttributeValue(unsigned long tag, double& value, unsigned long index) {
  return LookUp([&](const SODcmDataset& d) { return d.GetFloat64(tag, value, index); });
}

bool SODcmObject::GetAttributeValue(unsigned long tag, int& value, unsigned long index) {
  return LookUp([&](const SODcmDataset& d) { return d.GetInt32(tag, value, index); });
}

bool SODcmObject::GetAttributeValue(unsigned long tag, std::string& value) {
  return GetAttributeValue(tag, value, 0);
}

bool SODcmObject::GetAttributeValue(unsigned long tag, std::wstring& value) {
  return GetAttributeValue(tag, value, 0);
}

bool SODcmObject::GetAttributeValue(unsigned long tag, const char*& value) {
  return LookUp([&](const SODcmDataset& d) { return d.GetString(tag, value); });
}

bool SODcmObject::GetAttributeVR(unsigned long tag, const char*& vr) {
  return m_->file->GetDataset()->GetVR(tag, vr);
}

bool SODcmObject::AttributeExists(unsigned long tag) const {
  return m_->file->GetDataset()->TagExists(tag);
}

bool SODcmObject::AttributeExistsWithValue(unsigned long tag) const {
  return m_->file->GetDataset()->TagExistsWithValue(tag);
}

bool SODcmObject::GetImagePixelData(DcmImageInputData* out, unsigned long frame, bool) {
  if (!out || !m_->file) return false;
  return SODcmUtil::GetImageInputData(m_->file->GetDataset(), *out, frame);
}

bool SODcmObject::GetFrameNumber(int& frames) {
  return m_->file->GetDataset()->GetInt32(dcmtag::NumberOfFrames, frames);
}

IImageData* SODcmObject::GetImageData() {
  if (!m_->imageData && m_->file->GetDataset()->TagExists(dcmtag::PixelData))
    m_->imageData = std::make_unique<CImageData>(m_->file->GetDataset());
  return m_->imageData.get();
}
