#include "SOImageObject.h"

#include <algorithm>
#include <cmath>

#include "IImageData.h"
#include "ISODcmObject.h"
#include "SOGraphicMgr.h"
#include "SOImageObjectMembers.h"
#include "SODcmUtil.h"
#include "SOMatrixProc.h"

SOImageObject::SOImageObject() : m_(std::make_unique<SOImageObjectMembers>()) {
  m_->graphicMgr = std::make_unique<SOGraphicMgr>();
  m_->graphicMgr->SetImageObject(this);
  SOMatrixProc::Reset(m_->state.matrix);
}

SOImageObject::~SOImageObject() = default;

ISODcmObject* SOImageObject::GetDcmObject() {
  return m_->dcmObject;
}

const SOImagePresentationState& SOImageObject::GetImagePresentationState() {
  return m_->state;
}

SOImagePresentationState& SOImageObject::State() {
  return m_->state;
}

std::unique_ptr<DcmImageInputData>& SOImageObject::OriginalRecord() {
  return m_->original;
}

unsigned long SOImageObject::GetFrameIndex() const {
  return m_->frame;
}

SOGraphicMgr* SOImageObject::GetGraphicManager() {
  return m_->graphicMgr.get();
}

ISOGraphicMgr* SOImageObject::GetGraphicMgr() {
  return m_->graphicMgr.get();
}

ISOOverlayMgr* SOImageObject::GetOverlayMgr() {
  return &m_->overlayMgr;
}

void SOImageObject::SetDcmObject(ISODcmObject* object, unsigned long frame) {
  if (object != m_->dcmObject || frame != m_->frame) DiscardPixelCaches();
  m_->dcmObject = object;
  m_->frame = frame;
  ResetImagePresentationState();
}

bool SOImageObject::HoldsPixels() const {
  return m_->original != nullptr;
}

void SOImageObject::DiscardPixelCaches() {
  m_->primary.reset();
  m_->origin.reset();
  m_->zoomed.reset();
  m_->original.reset();
  ActiveUpdateBitmapFlag();
}

void SOImageObject::ActiveUpdateBitmapFlag() {
  m_->primaryStale = m_->originStale = true;
}

void SOImageObject::ResetImagePresentationState() {
  SOImagePresentationState& s = m_->state;
  s.invert = false;
  SOMatrixProc::Reset(s.matrix);
  s.windowWidth = s.windowCenter = 0;
  s.zoom = 1;
  s.panX = s.panY = 0;
  s.palette = SOColorPaletteGray;
  const double* spacing = GetPixelSpacing();
  if (spacing && spacing[0] != 0 && spacing[1] != 0)
    s.matrix.m00 = static_cast<float>(s.matrix.m00 * (spacing[1] / spacing[0]));
  if (m_->dcmObject && m_->dcmObject->GetWindowWidth() > 0) {
    s.windowCenter = m_->dcmObject->GetWindowCenter();
    s.windowWidth = m_->dcmObject->GetWindowWidth();
  }
  ActiveUpdateBitmapFlag();
  TriggerImageObjectDataUpdateEvent();
}

void SOImageObject::SetZoom(float zoom, bool notify) {
  double clamped = std::clamp(static_cast<double>(zoom), 0.1, 20.0);
  zoom = static_cast<float>(clamped);
  if (zoom == m_->state.zoom) return;
  m_->state.zoom = zoom;
  TriggerImageObjectDataUpdateEvent();
  if (notify) TriggerImageOjbectZoomUpdateEvent();
}

void SOImageObject::SetRotate(bool anticlockwise, bool notify) {
  if (anticlockwise)
    SOMatrixProc::RotateAntiCW(m_->state.matrix);
  else
    SOMatrixProc::RotateCW(m_->state.matrix);
  TriggerImageObjectDataUpdateEvent();
  if (notify) TriggerImageOjbectRotateUpdateEvent(anticlockwise);
}

void SOImageObject::SetFlipX(bool notify) {
  SOMatrixProc::FlipX(m_->state.matrix);
  TriggerImageObjectDataUpdateEvent();
  if (notify) TriggerImageOjbectFlipXUpdateEvent();
}

void SOImageObject::SetFlipY(bool notify) {
  SOMatrixProc::FlipY(m_->state.matrix);
  TriggerImageObjectDataUpdateEvent();
  if (notify) TriggerImageOjbectFlipYUpdateEvent();
}

void SOImageObject::SetPan(float x, float y, bool notify) {
  if (x == m_->state.panX && y == m_->state.panY) return;
  m_->state.panX = x;
  m_->state.panY = y;
  TriggerImageObjectDataUpdateEvent();
  if (notify) TriggerImageOjbectPanUpdateEvent();
}

void SOImageObject::SetWW(double center, double width, bool notify) {
  width = std::max(width, 1.0);
  if (center == m_->state.windowCenter && width == m_->state.windowWidth) return;
  m_->state.windowCenter = center;
  m_->state.windowWidth = width;
  ActiveUpdateBitmapFlag();
  TriggerImageObjectDataUpdateEvent();
  if (notify) TriggerImageOjbectWWUpdateEvent();
}

void SOImageObject::Inverse() {
  m_->state.invert = !m_->state.invert;
  ActiveUpdateBitmapFlag();
  TriggerImageObjectDataUpdateEvent();
}

void SOImageObject::SetColorPalette(SOColorPalette palette) {
  if (palette == m_->state.palette) return;
  m_->state.palette = palette;
  ActiveUpdateBitmapFlag();
  TriggerImageObjectDataUpdateEvent();
}

void SOImageObject::ResetWW() {
  if (m_->dcmObject && m_->dcmObject->GetWindowWidth() > 0) {
    SetWW(m_->dcmObject->GetWindowCenter(), m_->dcmObject->GetWindowWidth(), true);
    return;
  }
  // Without a stored window the default is the automatic one, which a width of 0 stands for.
  SOImagePresentationState& s = m_->state;
  if (s.windowCenter == 0 && s.windowWidth == 0) return;
  s.windowCenter = s.windowWidth = 0;
  ActiveUpdateBitmapFlag();
  TriggerImageObjectDataUpdateEvent();
  TriggerImageOjbectWWUpdateEvent();
}

void SOImageObject::FollowWW(double center, double width) {
  if (width < 1)
    ResetWW();
  else
    WW(center, width);
}

bool SOImageObject::GetShownWindow(double& center, double& width) {
  const SOImagePresentationState& s = m_->state;
  if (s.windowWidth >= 1) {
    center = s.windowCenter;
    width = s.windowWidth;
    return true;
  }
  DcmImageInputData* record = GetOriginalImagePixelData();
  return record && SODcmUtil::GetAutomaticWindow(*record, center, width);
}

void SOImageObject::ResetTransfer() {
  if (!m_->dcmObject) return;
  SOMatrixProc::Reset(m_->state.matrix);
  TriggerImageObjectDataUpdateEvent();
}

void SOImageObject::SetSelected(bool selected) {
  if (selected == m_->selected) return;
  m_->selected = selected;
  TriggerImageObjectDataUpdateEvent();
}

bool SOImageObject::IsSelected() {
  return m_->selected;
}

unsigned short SOImageObject::GetColumns() const {
  return m_->dcmObject ? m_->dcmObject->GetColumns() : 0;
}

unsigned short SOImageObject::GetRows() const {
  return m_->dcmObject ? m_->dcmObject->GetRows() : 0;
}

const double* SOImageObject::GetImageOrientationPatient() {
  return m_->dcmObject ? m_->dcmObject->GetImageOrientationPatient() : nullptr;
}

const double* SOImageObject::GetImagePositionPatient() {
  return m_->dcmObject ? m_->dcmObject->GetImagePositionPatient() : nullptr;
}

const double* SOImageObject::GetPixelSpacing() {
  return m_->dcmObject ? m_->dcmObject->GetPixelSpacing() : nullptr;
}

short* SOImageObject::GetPixelData() {
  IImageData* data = m_->dcmObject ? m_->dcmObject->GetImageData() : nullptr;
  return data ? data->GetFramePixelData(static_cast<int>(m_->frame)) : nullptr;
}

void SOImageObject::UpdateImage() {
  ActiveUpdateBitmapFlag();
  m_->zoomed.reset();
  // One paint per update: the window showing the image repaints on the data event.
  m_->graphicMgr->CalculateGraphics();
  TriggerImageObjectDataUpdateEvent();
}

void SOImageObject::RegisterCallback(ISOImageObjectCallback* callback) {
  auto& list = m_->callbacks;
  if (callback && std::find(list.begin(), list.end(), callback) == list.end()) list.push_back(callback);
}

void SOImageObject::UnRegisterCallback(ISOImageObjectCallback* callback) {
  auto& list = m_->callbacks;
  auto found = std::find(list.begin(), list.end(), callback);
  if (found != list.end()) list.erase(found);
}

void SOImageObject::Trigger(unsigned int event, long parameter) {
  // A callback may register or unregister while it is told.
  std::vector<ISOImageObjectCallback*> callbacks = m_->callbacks;
  for (ISOImageObjectCallback* callback : callbacks) callback->OnImageObjectUpdated(this, event, parameter);
}

void SOImageObject::TriggerImageObjectDataUpdateEvent() {
  Trigger(SOImageDataUpdated, 0);
}
void SOImageObject::TriggerImageOjbectWWUpdateEvent() {
  Trigger(SOImageWWUpdated, 0);
}
void SOImageObject::TriggerImageOjbectZoomUpdateEvent() {
  Trigger(SOImageZoomUpdated, 0);
}
void SOImageObject::TriggerImageOjbectPanUpdateEvent() {
  Trigger(SOImagePanUpdated, 0);
}
void SOImageObject::TriggerImageOjbectRotateUpdateEvent(bool anticlockwise) {
  Trigger(SOImageRotateUpdated, anticlockwise ? 1 : 0);
}
void SOImageObject::TriggerImageOjbectFlipXUpdateEvent() {
  Trigger(SOImageFlipXUpdated, 0);
}
void SOImageObject::TriggerImageOjbectFlipYUpdateEvent() {
  Trigger(SOImageFlipYUpdated, 0);
}

void SOImageObject::GetAffineMatrix(SOMatrix3R3C& matrix, SORectF rect) {
  const float cols = GetColumns(), rows = GetRows();
  const float w = rect.width, h = rect.height;
  float fitW = w, fitH = h;
  if (cols > 0 && rows > 0 && w > 0 && h > 0) {
    float aspect = cols / rows;
    if (aspect >= w / h) {
      fitW = w;
      fitH = std::trunc(w / aspect);
    } else {
      fitW = std::trunc(h * aspect);
      fitH = h;
    }
  }
  const float s0 = cols > 0 ? fitW / cols : 1.0f;

  // Zoomed sizes whose parity differs from the fitted side's would put the image half a
  // pixel off the painted bitmap, so the zoom is nudged to the next size of equal parity.
  const float zoom = m_->state.zoom;
  const float side = fitH >= fitW ? fitW : fitH;
  const int t = static_cast<int>(side);
  const int u = static_cast<int>(zoom * side + 0.001f);
  float effective = zoom;
  if (t > 0 && (u % 2 != t % 2)) effective = static_cast<float>(u + 1) / t;
  const float s = effective * s0;

  const SOMatrix2R2C& m = m_->state.matrix;
  const float cx = cols / 2, cy = rows / 2;
  matrix.a11 = m.m00 * s;
  matrix.a12 = m.m01 * s;
  matrix.a13 = 0;
  matrix.a21 = m.m10 * s;
  matrix.a22 = m.m11 * s;
  matrix.a23 = 0;
  matrix.a31 = cx - (m.m00 * cx + m.m10 * cy) * s + m_->state.panX * w + rect.x + (w - cols) / 2;
  matrix.a32 = cy - (m.m01 * cx + m.m11 * cy) * s + m_->state.panY * h + rect.y + (h - rows) / 2;
  matrix.a33 = 1;
}

bool SOImageObject::ImageToRenderRectCoords(const SORectF& rect, const SOPointF& image, SOPointF& render) {
  SOMatrix3R3C matrix;
  GetAffineMatrix(matrix, rect);
  render = SOMatrixProc::Mul(matrix, image);
  return true;
}

bool SOImageObject::ImageToRenderRectCoords(const SORectF& rect, const double* image, double* render) {
  SOPointF out;
  ImageToRenderRectCoords(rect, SOPointF{static_cast<float>(image[0]), static_cast<float>(image[1])}, out);
  render[0] = out.x;
  render[1] = out.y;
  return true;
}

bool SOImageObject::RenderRectToImageCoords(const SORectF& rect, const SOPointF& render, SOPointF& image) {
  SOMatrix3R3C matrix;
  GetAffineMatrix(matrix, rect);
  if (!SOMatrixProc::Invert(matrix)) return false;
  image = SOMatrixProc::Mul(matrix, render);
  return true;
}

bool SOImageObject::RenderRectToImageCoords(const SORectF& rect, const double* render, double* image) {
  SOPointF out;
  if (!RenderRectToImageCoords(rect, SOPointF{static_cast<float>(render[0]), static_cast<float>(render[1])},
                               out))
    return false;
  image[0] = out.x;
  image[1] = out.y;
  return true;
}

namespace {

// The shift that keeps a turned image in the positive quadrant.
SOPointF BitmapShift(const SOMatrix2R2C& m, const DcmImageInputData& record) {
  SOPointF c = SOMatrixProc::Mul(m, SOPointF{record.columns - 1.0f, record.rows - 1.0f});
  return {c.x > 0 ? 0 : -c.x, c.y > 0 ? 0 : -c.y};
}

bool IsColorRecord(const DcmImageInputData& record) {
  return record.type == DCM_PIXEL_RGB24 || record.type == DCM_PIXEL_ARGB32;
}

}  // namespace

bool SOImageObject::ImageToBitmapCoords(const SOPointF& image, SOPointF& bitmap) {
  DcmImageInputData* record = GetOriginalImagePixelData();
  if (!record || record->rows == 0 || record->columns == 0) return false;
  if (IsColorRecord(*record)) {
    bitmap = image;
    return true;
  }
  SOPointF d = BitmapShift(m_->state.matrix, *record);
  SOPointF p = SOMatrixProc::Mul(m_->state.matrix, image);
  bitmap = {p.x + d.x, p.y + d.y};
  return true;
}

bool SOImageObject::BitmapToImageCoords(const SOPointF& bitmap, SOPointF& image) {
  DcmImageInputData* record = GetOriginalImagePixelData();
  if (!record || record->rows == 0 || record->columns == 0) return false;
  if (IsColorRecord(*record)) {
    image = bitmap;
    return true;
  }
  SOPointF d = BitmapShift(m_->state.matrix, *record);
  SOMatrix2R2C inverse = m_->state.matrix;
  if (!SOMatrixProc::Invert(inverse)) return false;
  image = SOMatrixProc::Mul(inverse, SOPointF{bitmap.x - d.x, bitmap.y - d.y});
  return true;
}

bool SOImageObject::GetImageCornerPosition(double* topLeft, double* topRight, double* bottomLeft,
                                           double* bottomRight) {
  ISODcmObject* object = m_->dcmObject;
  if (!object) return false;
  const double* p = object->GetImagePositionPatient();
  const double* o = object->GetImageOrientationPatient();
  const double* ps = object->GetPixelSpacing();
  const double across = object->GetColumns() * ps[1], down = object->GetRows() * ps[0];
  for (int i = 0; i < 3; ++i) {
    if (topLeft) topLeft[i] = p[i];
    if (topRight) topRight[i] = p[i] + o[i] * across;
    if (bottomLeft) bottomLeft[i] = p[i] + o[3 + i] * down;
    if (bottomRight) bottomRight[i] = p[i] + o[i] * across + o[3 + i] * down;
  }
  return true;
}
