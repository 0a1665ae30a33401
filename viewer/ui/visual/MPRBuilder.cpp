#include "MPRBuilder.h"

#include <algorithm>

#include "Engine3D.h"
#include "ResultObjects.h"

namespace {

constexpr std::initializer_list<unsigned long> kCopiedTags = {
    0x00080005,  // Specific Character Set
    0x00100010,  // Patient's Name
    0x0020000D,  // Study Instance UID
    0x00101010,  // Patient's Age
    0x00100040,  // Patient's Sex
    0x00100020,  // Patient ID
    0x00080080,  // Institution Name
    0x00080070,  // Manufacturer
    0x00080060,  // Modality
    0x00281051,  // Window Width
    0x00281050,  // Window Center
};
constexpr unsigned long kPixelData = 0x7FE00010;
constexpr unsigned long kInstanceNumber = 0x00200013;

void WriteGeometry(SODcmObject& object, const V3ImageData& data) {
  visual::SetObjectGeometry(object, data.corner, data.right, data.down, data.spacing[0], data.spacing[1]);
}

}  // namespace

void MPRBuilder::Result::Reset() {
  image.reset();
  object.reset();
  file.reset();
}

MPRBuilder::MPRBuilder() : builder4D_(&engine_, &engineMutex_) {}

MPRBuilder::~MPRBuilder() { Clear(); }

bool MPRBuilder::Build(const V3VolumeData& volume, SODcmFile* source) {
  Clear();
  if (!InitEngine(volume, source)) return false;
  Attach(volume);
  return true;
}

bool MPRBuilder::InitEngine(const V3VolumeData& volume, SODcmFile* source) {
  {
    std::lock_guard lock(engineMutex_);
    if (!engine_.InitData(volume)) return false;
  }
  // The images and their first planes are made here too: their fresh buffers cost page faults
  // at their first touch.
  for (Result& r : pending_) {
    visual::ResultImage made = visual::MakeResultImage(source, kCopiedTags);
    r.file = std::move(made.file);
    r.object = std::move(made.object);
    r.image = std::move(made.image);
  }
  pending_[3].file->GetDataset()->SetUint8Array(kPixelData, nullptr, 0);
  SamplePlane(V3MPR_AXIAL, pending_[0]);
  SamplePlane(V3MPR_CORONAL, pending_[1]);
  SamplePlane(V3MPR_SAGITTAL, pending_[2]);
  GetOrigin(sampledOrigin_);
  return true;
}

void MPRBuilder::Attach(const V3VolumeData& volume) {
  volume_ = volume;
  Result* results[4] = {&axial_, &coronal_, &sagittal_, &oblique_};
  for (int i = 0; i < 4; ++i) {
    *results[i] = std::move(pending_[i]);
    results[i]->image->RegisterCallback(this);
  }
  // The build thread's planes hold unless the cross point moved since.
  double origin[3] = {0, 0, 0};
  Refresh(!GetOrigin(origin) || !std::equal(origin, origin + 3, sampledOrigin_));
  for (IMPRBuilderCallback* c : std::vector(callbacks_)) c->OnMPRBuilt();
}

void MPRBuilder::Clear() {
  // The worker samples phases on this engine from volumes that are about to go.
  builder4D_.Clear();
  builder4D_.SetPhases({});
  volume_.slices = nullptr;
  for (Result& r : pending_) r.Reset();
  if (axial_.image)
    for (IMPRBuilderCallback* c : std::vector(callbacks_)) c->OnMPRCleared();
  for (Result* r : {&axial_, &coronal_, &sagittal_, &oblique_}) r->Reset();
  slabs_.clear();
}

void MPRBuilder::ShowPlane(Result& result, const V3ImageData& data) {
  double origin[3] = {0, 0, 0};
  GetOrigin(origin);
  std::copy_n(origin, 3, result.image->patientPoint);
  if (data.data.data && data.rows > 0 && data.columns > 0) {
    visual::SetGreyRecord(*result.image, data.data.data, data.rows, data.columns);
    visual::SetObjectGrey(*result.object, data.data.data, data.rows, data.columns);
  }
  WriteGeometry(*result.object, data);
}

bool MPRBuilder::SamplePlane(V3MPRType type, Result& result) {
  V3ImageData data;
  {
    std::lock_guard lock(engineMutex_);
    if (!engine_.Imaging(type, &data)) return false;
  }
  ShowPlane(result, data);
  return true;
}

void MPRBuilder::Update() { Refresh(true); }

void MPRBuilder::Refresh(bool sample) {
  ++stamp_;
  const std::pair<V3MPRType, Result*> planes[3] = {
      {V3MPR_AXIAL, &axial_}, {V3MPR_CORONAL, &coronal_}, {V3MPR_SAGITTAL, &sagittal_}};
  for (const auto& [type, result] : planes) {
    if (!result->image || (sample && !SamplePlane(type, *result))) continue;
    result->image->UpdateImage();
  }
  if (is4D_) {
    builder4D_.SetCurrentId(static_cast<unsigned long>(stamp_));
    builder4D_.Post(static_cast<unsigned long>(stamp_));
  }
}

void MPRBuilder::UpdateOblique() {
  if (slabIndex_ < 0 || slabIndex_ >= static_cast<int>(slabs_.size())) slabIndex_ = 0;
  if (!oblique_.image || slabs_.empty()) return;
  const V3SliceParam& slab = slabs_[slabIndex_];
  V3ImageData data;
  bool ok = false;
  if (slabType_ == kSlabPlane) {
    std::lock_guard lock(engineMutex_);
    ok = engine_.Imaging(slab, &data);
  } else if (slabType_ >= kSlabAIP && slabType_ <= kSlabMinIP) {
    // Projections run on the VR builder's engine; until the control has set it there is none.
    if (!projection_ || !projectionMutex_) return;
    std::lock_guard lock(*projectionMutex_);
    if (slabType_ == kSlabAIP)
      ok = projection_->ImagingAIP(slab, thickness_, &data);
    else if (slabType_ == kSlabMIP)
      ok = projection_->ImagingMIP(slab, thickness_, &data);
    else
      ok = projection_->ImagingMinIP(slab, thickness_, &data);
  }
  if (!ok) return;
  SOImageObjectEx& image = *oblique_.image;
  image.slabType = slabType_;
  image.slabThickness = thickness_;
  if (data.data.data && data.rows > 0 && data.columns > 0) {
    visual::SetGreyRecord(image, data.data.data, data.rows, data.columns);
    oblique_.object->SetPixelData(data.data.data, data.rows, data.columns);
  }
  WriteGeometry(*oblique_.object, data);
  oblique_.file->GetDataset()->SetInt32(kInstanceNumber, slabIndex_ + 1);
  image.UpdateImage();
}

bool MPRBuilder::PrevSlab() {
  if (slabs_.empty()) {
    slabIndex_ = -1;
    return false;
  }
  slabIndex_ = slabIndex_ <= 0 ? static_cast<int>(slabs_.size()) - 1 : slabIndex_ - 1;
  UpdateOblique();
  return true;
}

bool MPRBuilder::NextSlab() {
  if (slabs_.empty()) {
    slabIndex_ = -1;
    return false;
  }
  slabIndex_ = slabIndex_ + 1 >= static_cast<int>(slabs_.size()) ? 0 : slabIndex_ + 1;
  UpdateOblique();
  return true;
}

bool MPRBuilder::ShowPhase(int phase) {
  const std::pair<int, Result*> planes[3] = {{0, &axial_}, {2, &coronal_}, {1, &sagittal_}};
  for (const auto& [type, result] : planes) {
    if (!result->image) continue;
    V3ImageData data;
    if (!builder4D_.GetImage(phase, type, &data)) continue;
    ShowPlane(*result, data);
    result->image->UpdateImage();
  }
  return true;
}

bool MPRBuilder::GetOrigin(double origin[3]) {
  std::lock_guard lock(engineMutex_);
  return engine_.GetOrigin(origin);
}

bool MPRBuilder::SetOrigin(const double origin[3]) {
  std::lock_guard lock(engineMutex_);
  return engine_.SetOrigin(origin);
}

void MPRBuilder::RegisterCallback(IMPRBuilderCallback* callback) {
  if (callback && std::find(callbacks_.begin(), callbacks_.end(), callback) == callbacks_.end())
    callbacks_.push_back(callback);
}

void MPRBuilder::UnRegisterCallback(IMPRBuilderCallback* callback) {
  callbacks_.erase(std::remove(callbacks_.begin(), callbacks_.end(), callback), callbacks_.end());
}

void MPRBuilder::OnImageObjectUpdated(SOImageObject* sender, unsigned int event, long) {
  if (event == SOImageDataUpdated) {
    for (IMPRBuilderCallback* c : std::vector(callbacks_)) c->OnImageUpdated(sender);
  } else if (event == SOImageWWUpdated) {
    const SOImagePresentationState& state = sender->GetImagePresentationState();
    const double center = state.windowCenter, width = state.windowWidth;
    for (SOImageObjectEx* other : {axial_.image.get(), coronal_.image.get(), sagittal_.image.get()})
      if (other && other != sender) other->FollowWW(center, width);
  }
}
