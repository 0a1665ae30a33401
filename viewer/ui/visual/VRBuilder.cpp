#include "VRBuilder.h"

#include <algorithm>

#include "ResultObjects.h"
#include "SOContour.h"
#include "SOImageWindow.h"

namespace {

constexpr std::initializer_list<unsigned long> kCopiedTags = {
    0x00080005,  // Specific Character Set
    0x00100010,  // Patient's Name
    0x00101010,  // Patient's Age
    0x00100040,  // Patient's Sex
    0x00100020,  // Patient ID
    0x00080080,  // Institution Name
    0x00080070,  // Manufacturer
    0x00080060,  // Modality
};

// A colour rendering into the image's record and the object.
// Fresh buffers of a few megabytes cost more than the copies (their page faults), so they are
// kept. With keep (the UI thread's renderings) the record and the object borrow keep's buffers,
// which stay at the largest size rendered: a drag renders at a quarter of the size and its
// release at the full size, and the release, which the user waits for, finds its buffers ready.
// Without keep (a build thread's result image) they own theirs, kept while the size holds.
void WriteColour(SOImageObjectEx& image, SODcmObject& object, const uint32_t* pixels, int rows, int columns,
                 ColourBuffers* keep) {
  // The engine's words (B << 24 | G << 16 | R << 8 | A) lie in memory as A, R, G, B: the
  // image record's 32-bit format. The object keeps 0x00RRGGBB words.
  const size_t n = size_t(rows) * columns;
  DcmImageInputData* record = image.GetOriginalImagePixelData();
  SODcmObjectMembers& m = *object.GetMembers();
  if (keep) {
    if (keep->record.size() < n) keep->record.resize(n);
    if (keep->rgb.size() < n) keep->rgb.resize(n);
    auto* bytes = reinterpret_cast<unsigned char*>(keep->record.data());
    if (record->type != DCM_PIXEL_ARGB32 || record->data.data != bytes || record->data.count != n * 4) {
      record->Clear();
      record->type = DCM_PIXEL_ARGB32;
      record->data = SOData<unsigned char>(bytes, static_cast<uint32_t>(n * 4));
    }
    if (m.rgb.pixels.data != keep->rgb.data() || m.rgb.pixels.count != n)
      m.rgb.pixels = SOData<unsigned long>(keep->rgb.data(), static_cast<uint32_t>(n));
  } else {
    if (record->type != DCM_PIXEL_ARGB32 || record->data.count != n * 4 || !record->data.owned) {
      record->Clear();
      record->type = DCM_PIXEL_ARGB32;
      record->data.Resize(static_cast<uint32_t>(n * 4));
    }
    if (m.rgb.pixels.count != n || !m.rgb.pixels.owned) m.rgb.pixels.Resize(static_cast<uint32_t>(n));
  }
  record->rows = static_cast<unsigned short>(rows);
  record->columns = static_cast<unsigned short>(columns);
  // Render's frames are made in the record's own buffer already.
  if (reinterpret_cast<const unsigned char*>(pixels) != record->data.data)
    std::copy_n(reinterpret_cast<const unsigned char*>(pixels), n * 4, record->data.data);
  m.rows = record->rows;
  m.columns = record->columns;
  m.rgb.rows = rows;
  m.rgb.columns = columns;
  unsigned long* rgb = m.rgb.pixels.data;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t w = pixels[i];
    rgb[i] = ((w >> 8) & 0xFFu) << 16 | ((w >> 16) & 0xFFu) << 8 | (w >> 24);
  }
}

template <typename Frame>
void WriteGeometry(SODcmObject& object, const Frame& frame) {
  visual::SetObjectGeometry(object, frame.corner, frame.right, frame.down, frame.rowSpacing, frame.columnSpacing);
}

}  // namespace

VRBuilder::VRBuilder() : builder4D_(&engine_, &engineMutex_, this) {}

VRBuilder::~VRBuilder() { Clear(); }

bool VRBuilder::Build(const V3VolumeData& volume, SODcmFile* source) {
  Clear();
  if (!InitEngine(volume, source)) return false;
  Attach(volume);
  return true;
}

bool VRBuilder::InitEngine(const V3VolumeData& volume, SODcmFile* source) {
  std::lock_guard lock(engineMutex_);
  prepared_ = false;
  if (!engine_.InitData(volume)) return false;
  // The first rendering (and the octree's first preparation for the palette, which costs more)
  // is made here, at the owner window's size when it is known; so is the result image, whose
  // fresh buffers of a few megabytes cost page faults at their first touch.
  const bool sized = readyRows_ > 0 && readyColumns_ > 0;
  firstRows_ = sized ? readyRows_ : kDefaultSize;
  firstColumns_ = sized ? readyColumns_ : kDefaultSize;
  std::vector<uint32_t> pixels(size_t(firstRows_) * firstColumns_, 0u);
  V3ImageRGB frame{};
  engine_.Imaging(firstRows_, firstColumns_, pixels.data(), false, &frame, 0);
  visual::ResultImage result = visual::MakeResultImage(source, kCopiedTags);
  WriteColour(*result.image, *result.object, pixels.data(), firstRows_, firstColumns_, nullptr);
  WriteGeometry(*result.object, frame);
  pendingFile_ = std::move(result.file);
  pendingObject_ = std::move(result.object);
  pendingImage_ = std::move(result.image);
  prepared_ = true;
  return true;
}

void VRBuilder::Attach(const V3VolumeData& volume) {
  volume_ = volume;
  file_ = std::move(pendingFile_);
  object_ = std::move(pendingObject_);
  image_ = std::move(pendingImage_);
  image_->RegisterCallback(this);
  const bool current = prepared_;
  if (imagingType_ == 0) {
    ColourShown();
    ShowResult();
  } else {
    Render();
  }
  const int shown = renderStamp_;
  for (IVRBuilderCallback* c : GetCallbacks()) c->OnVolumeBuilt();
  // Only the owner window's first rendering, from the callbacks above, may reuse it.
  prepared_ = false;
  // A frame made before the view changed is still showing when no owner rendered afresh.
  if (imagingType_ == 0 && !current && renderStamp_ == shown) Render();
}

void VRBuilder::Clear() {
  // The worker renders phases on this engine from volumes that are about to go.
  builder4D_.Clear();
  builder4D_.SetPhases({});
  volume_.slices = nullptr;
  pendingImage_.reset();
  pendingObject_.reset();
  pendingFile_.reset();
  if (image_)
    for (IVRBuilderCallback* c : GetCallbacks()) c->OnVolumeCleared();
  {
    std::lock_guard lock(engineMutex_);
    engine_.Clear();
    backgroundFrame_ = {};
    std::lock_guard request(requestMutex_);
    requestedPalette_.reset();
    requestedMode_.reset();
    requestedOrigin_.reset();
    renderRequested_ = false;
  }
  image_.reset();
  object_.reset();
  file_.reset();
  shown_ = {};
  zoom_ = 1.0f;
}

void VRBuilder::RenderSize(int& rows, int& columns) {
  rows = columns = kDefaultSize;
  if (SOImageWindow* owner = image_->ownerWindow) {
    RECT rc{};
    if (owner->GetWindow() && GetClientRect(owner->GetWindow(), &rc)) {
      const int w = rc.right - rc.left - 2, h = rc.bottom - rc.top - 2;
      if (w > 0 && h > 0) rows = h, columns = w;
    }
  }
  // While the build thread holds the engine (preparing a palette), the device it last reported:
  // waiting for it here would freeze the UI thread for that preparation.
  if (std::unique_lock lock(engineMutex_, std::try_to_lock); lock) gpuSeen_ = engine_.IsGPUEnabled();
  if (!gpuSeen_ && interacting_) rows /= 4, columns /= 4;
}

void VRBuilder::PrepareFirstRendering(int rows, int columns) {
  readyRows_ = rows;
  readyColumns_ = columns;
}

void VRBuilder::GetRenderSize(int& rows, int& columns) {
  rows = columns = 0;
  if (image_) RenderSize(rows, columns);
}

void VRBuilder::RequestPalette(const V3Palette& palette, bool render) {
  std::lock_guard lock(requestMutex_);
  requestedPalette_ = palette;
  renderRequested_ = renderRequested_ || render;
}

bool VRBuilder::RequestedPalette(V3Palette& palette) {
  std::lock_guard lock(requestMutex_);
  if (!requestedPalette_) return false;
  palette = *requestedPalette_;
  return true;
}

void VRBuilder::GiveRequests() {
  std::optional<V3Palette> palette;
  std::optional<int> mode;
  std::optional<std::array<double, 3>> origin;
  {
    std::lock_guard request(requestMutex_);
    palette.swap(requestedPalette_);
    mode.swap(requestedMode_);
    origin.swap(requestedOrigin_);
  }
  if (origin) engine_.SetOrigin(origin->data());
  if (mode) ApplyRenderMode(*mode);
  if (palette) engine_.SetPalette(*palette);
}

bool VRBuilder::RequestRenderMode(int mode, const double* origin) {
  if (mode < 0 || mode > 7) return false;
  renderMode_ = mode;
  std::lock_guard request(requestMutex_);
  requestedMode_ = mode;
  if (origin) requestedOrigin_ = std::array<double, 3>{origin[0], origin[1], origin[2]};
  renderRequested_ = true;
  return true;
}

void VRBuilder::GiveOrigin(const double origin[3]) {
  engine_.SetOrigin(origin);
  std::lock_guard request(requestMutex_);
  requestedOrigin_.reset();
}

void VRBuilder::RenderRequested(int rows, int columns) {
  std::lock_guard lock(engineMutex_);
  bool render;
  {
    std::lock_guard request(requestMutex_);
    if (!requestedPalette_ && !requestedMode_ && !renderRequested_) return;
    render = renderRequested_ && rows > 0 && columns > 0;
    renderRequested_ = false;
  }
  GiveRequests();
  prepared_ = false;
  if (!render) rows = columns = 1;
  std::vector<uint32_t> pixels(size_t(rows) * columns, 0u);
  V3ImageRGB frame{};
  engine_.Imaging(rows, columns, pixels.data(), false, &frame, 0);
  backgroundFrame_ = {};
  if (!render) return;
  backgroundFrame_ = std::move(pixels);
  backgroundGeometry_ = frame;
  backgroundRows_ = rows;
  backgroundColumns_ = columns;
  backgroundAt_ = renderings_;
}

bool VRBuilder::ShowBackgroundRendering() {
  std::vector<uint32_t> pixels;
  V3ImageRGB frame{};
  {
    std::lock_guard lock(engineMutex_);
    pixels = std::move(backgroundFrame_);
    backgroundFrame_ = {};
    frame = backgroundGeometry_;
    if (backgroundAt_ != renderings_) return false;
  }
  int rows, columns;
  GetRenderSize(rows, columns);
  if (!object_ || imagingType_ != 0 || pixels.empty() || rows != backgroundRows_ || columns != backgroundColumns_)
    return false;
  ShowColour(pixels.data(), rows, columns, frame);
  ShowResult();
  return true;
}

void VRBuilder::Render() {
  if (!object_) return;
  int rows, columns;
  RenderSize(rows, columns);
  // While the user drags, stale phase work only competes for the engine.
  if (interacting_) builder4D_.Cancel();
  if (imagingType_ == 0 && !interacting_ && prepared_ && rows == firstRows_ && columns == firstColumns_) {
    // The build thread's frame is already in the result image.
    prepared_ = false;
  } else if (imagingType_ == 0) {
    // Made straight in the buffer the result's record borrows (nothing reads the record before
    // ShowColour points it at this frame).
    const size_t n = size_t(rows) * columns;
    if (shown_.record.size() < n) shown_.record.resize(n);
    std::fill_n(shown_.record.data(), n, 0u);
    V3ImageRGB frame{};
    {
      std::lock_guard lock(engineMutex_);
      // A palette still waiting for the build thread shows here already (paying its preparation).
      GiveRequests();
      ++renderings_;
      engine_.Imaging(rows, columns, shown_.record.data(), false, &frame, 0);
    }
    ShowColour(shown_.record.data(), rows, columns, frame);
  } else {
    DcmImageInputData* record = image_->GetOriginalImagePixelData();
    // The size of the last colour rendering; the computed one before any.
    if (record->rows > 0 && record->columns > 0) rows = record->rows, columns = record->columns;
    std::vector<int16_t> pixels(size_t(rows) * columns, 0);
    V3ImageVAL frame{};
    {
      std::lock_guard lock(engineMutex_);
      GiveRequests();
      ++renderings_;
      if (imagingType_ == 1)
        engine_.ImagingMIP(rows, columns, pixels.data(), false, &frame);
      else if (imagingType_ == 2)
        engine_.ImagingAIP(rows, columns, pixels.data(), false, &frame);
      else if (imagingType_ == 3)
        engine_.ImagingMinIP(rows, columns, pixels.data(), false, &frame);
    }
    visual::SetGreyRecord(*image_, pixels.data(), rows, columns);
    object_->SetPixelData(pixels.data(), rows, columns);
    WriteGeometry(*object_, frame);
  }
  ShowResult();
}

void VRBuilder::ShowColour(const uint32_t* pixels, int rows, int columns, const V3ImageRGB& frame) {
  WriteColour(*image_, *object_, pixels, rows, columns, &shown_);
  WriteGeometry(*object_, frame);
  ColourShown();
}

void VRBuilder::ColourShown() {
  ++renderStamp_;
  if (is4D_ && !interacting_) builder4D_.Submit(renderStamp_);
}

void VRBuilder::ShowResult() {
  double origin[3] = {0, 0, 0};
  {
    std::lock_guard lock(engineMutex_);
    engine_.GetOrigin(origin);
  }
  std::copy_n(origin, 3, image_->patientPoint);
  image_->UpdateImage();
}

void VRBuilder::Zoom(float delta) {
  {
    std::lock_guard lock(engineMutex_);
    if (renderMode_ == 1) {
      engine_.Step(delta > 0 ? 10.0f : delta < 0 ? -10.0f : 0.0f);
    } else {
      if (delta > 0) zoom_ += 0.1f;
      if (delta < 0) zoom_ -= 0.1f;
      zoom_ = std::clamp(zoom_, 0.1f, 10.0f);
      engine_.Zoom(zoom_);
    }
  }
  Render();
  if (renderMode_ == 1)
    for (IVRBuilderCallback* c : GetCallbacks()) c->OnOriginMoved();
}

void VRBuilder::CutContour(const std::vector<SOPoint>& contour) {
  if (!object_) return;
  const int rows = object_->GetRows(), cols = object_->GetColumns();
  if (rows <= 0 || cols <= 0) return;
  {
    std::lock_guard lock(engineMutex_);
    V3VolumeData v{};
    if (!engine_.GetVolumeData(v)) return;
    const size_t sliceBytes = size_t(v.dims[0]) * v.dims[1];
    std::vector<uint8_t> bytes(sliceBytes * v.dims[2]);
    std::vector<uint8_t*> slices(v.dims[2]);
    for (int z = 0; z < v.dims[2]; ++z) slices[z] = bytes.data() + sliceBytes * z;
    V3VolumeMark volumeMark{slices.data(), {v.dims[0], v.dims[1], v.dims[2]}};

    std::vector<uint8_t> mask(size_t(rows) * cols, 0);
    V3ImageMark imageMark{};
    imageMark.pixels = mask.data();
    imageMark.width = cols;
    imageMark.height = rows;
    const double* spacing = object_->GetPixelSpacing();
    const double* orientation = object_->GetImageOrientationPatient();
    const double* position = object_->GetImagePositionPatient();
    imageMark.rowSpacing = spacing[0];
    imageMark.columnSpacing = spacing[1];
    for (int i = 0; i < 3; ++i) {
      imageMark.right[i] = orientation[i];
      imageMark.down[i] = orientation[3 + i];
      imageMark.corner[i] = position[i];
    }
    SOContour::FillContour(mask.data(), rows, cols, contour, 1);
    engine_.CutFill(imageMark, volumeMark, 1);
    engine_.CutAppend(volumeMark);
  }
  Render();
}

void VRBuilder::ClearCut() {
  if (!object_) return;
  {
    std::lock_guard lock(engineMutex_);
    V3VolumeMark* mark = engine_.GetMarkData();
    if (!mark || !mark->slices) return;
    const size_t sliceBytes = size_t(mark->dims[0]) * mark->dims[1];
    for (int z = 0; z < mark->dims[2]; ++z)
      if (mark->slices[z]) std::fill_n(mark->slices[z], sliceBytes, uint8_t(0));
    engine_.UpdateMarkData();
  }
  Render();
}

bool VRBuilder::SetRenderMode(int mode) {
  if (mode >= 0 && mode <= 7) {
    renderMode_ = mode;
    std::lock_guard lock(engineMutex_);
    prepared_ = false;
    {
      // An earlier mode still waiting for the build thread would undo this one.
      std::lock_guard request(requestMutex_);
      requestedMode_.reset();
    }
    ApplyRenderMode(mode);
  }
  Render();
  return true;
}

void VRBuilder::ApplyRenderMode(int mode) {
  if (mode <= 1) {
    engine_.SetAnatomicalRenderEnable(false);
    engine_.SetRenderType(mode == 1 ? V3RENDER_VE : V3RENDER_VR);
  } else {
    static const V3AnatomicalPlane kPlanes[3] = {V3PLANE_AXIAL, V3PLANE_SAGITTAL, V3PLANE_CORONAL};
    engine_.SetAnatomicalRenderEnable(true);
    engine_.SetAnatomicalPlane(kPlanes[(mode - 2) % 3]);
    engine_.SetAnatomicalPart(mode <= 4 ? V3PART_LOWER : V3PART_UPPER);
    engine_.SetRenderType(V3RENDER_VR);
  }
}

bool VRBuilder::ShowPhase(int phase) {
  if (!image_) return false;
  V3PixelsRGB pixels;
  V3ImageRGB frame{};
  if (!builder4D_.GetFrame(phase, &pixels, &frame)) return false;
  WriteColour(*image_, *object_, pixels.data.data, pixels.rows, pixels.columns, &shown_);
  WriteGeometry(*object_, frame);
  image_->UpdateImage();
  return true;
}

void VRBuilder::RegisterCallback(IVRBuilderCallback* callback) {
  std::lock_guard lock(callbacksMutex_);
  if (callback && std::find(callbacks_.begin(), callbacks_.end(), callback) == callbacks_.end())
    callbacks_.push_back(callback);
}

void VRBuilder::UnRegisterCallback(IVRBuilderCallback* callback) {
  std::lock_guard lock(callbacksMutex_);
  callbacks_.erase(std::remove(callbacks_.begin(), callbacks_.end(), callback), callbacks_.end());
}

std::vector<IVRBuilderCallback*> VRBuilder::GetCallbacks() const {
  std::lock_guard lock(callbacksMutex_);
  return callbacks_;
}

void VRBuilder::OnImageObjectUpdated(SOImageObject* sender, unsigned int event, long) {
  if (event != SOImageDataUpdated) return;
  for (IVRBuilderCallback* c : GetCallbacks()) c->OnImageUpdated(sender);
}

void VRBuilder::OnPhaseProgress(int total, int done) {
  for (IVRBuilderCallback* c : GetCallbacks()) c->OnPhaseProgress(total, done);
}

void VRBuilder::OnPhasesFinished() {
  for (IVRBuilderCallback* c : GetCallbacks()) c->OnPhasesFinished();
}
