#pragma once

#include <memory>
#include <vector>

#include "DcmImageInputData.h"
#include "ISOImageObject.h"
#include "SOMatrix3R3C.h"
#include "SOPointF.h"
#include "SORectF.h"
#include "SOWin32.h"

namespace Gdiplus {
class Bitmap;
}
class SOGraphicMgr;
class SOOverlayMgr;

// The state of one SOImageObject.
struct SOImageObjectMembers;

// One displayable frame: a DICOM object (borrowed) and a frame index with its presentation
// state, measurement graphics, overlays and cached pixels and bitmaps. Belongs to the UI thread;
// callbacks run synchronously on the thread that changed it.
//
// Geometry: an affine map from image pixel coordinates (x along a row, (0, 0) the top-left
// corner of the first pixel) into a render rectangle; painting, graphics and mouse positions
// all use it, and the image turns about the rectangle's centre.
class SOImageObject : public ISOImageObject {
 public:
  SOImageObject();
  SOImageObject(const SOImageObject&) = delete;
  SOImageObject& operator=(const SOImageObject&) = delete;
  virtual ~SOImageObject();

  ISODcmObject* GetDcmObject() override;
  const SOImagePresentationState& GetImagePresentationState() override;
  void Reset() override { ResetImagePresentationState(); }
  void Zoom(float zoom) override { SetZoom(zoom, true); }
  void Rotate(bool anticlockwise) override { SetRotate(anticlockwise, true); }
  void FlipX() override { SetFlipX(true); }
  void FlipY() override { SetFlipY(true); }
  void Pan(float x, float y) override { SetPan(x, y, true); }
  void Inverse() override;
  void SetColorPalette(SOColorPalette palette) override;
  void WW(double center, double width) override { SetWW(center, width, true); }
  void ResetWW() override;
  void ResetTransfer() override;
  void SetSelected(bool selected) override;
  bool IsSelected() override;
  unsigned short GetColumns() const override;
  unsigned short GetRows() const override;
  const double* GetImageOrientationPatient() override;
  const double* GetImagePositionPatient() override;
  const double* GetPixelSpacing() override;
  short* GetPixelData() override;
  bool HasPixelData() override { return GetOriginalImagePixelData() != nullptr; }
  ISOGraphicMgr* GetGraphicMgr() override;
  ISOOverlayMgr* GetOverlayMgr() override;
  void ResetImagePresentationState() override;
  DcmImageInputData* GetOriginalImagePixelData() override;

  // Binds and resets; cached pixels and bitmaps go when the object or frame changes.
  void SetDcmObject(ISODcmObject* object, unsigned long frame);
  unsigned long GetFrameIndex() const;
  SOGraphicMgr* GetGraphicManager();

  // With notify false only the repaint event (1) is sent.
  void SetZoom(float zoom, bool notify);
  void SetRotate(bool anticlockwise, bool notify);
  void SetFlipX(bool notify);
  void SetFlipY(bool notify);
  void SetPan(float x, float y, bool notify);
  void SetWW(double center, double width, bool notify);
  // Takes the window another linked image shows: a width below 1 is the automatic window, which
  // this image works out over its own values (as ResetWW does).
  void FollowWW(double center, double width);
  // The window the frame is drawn with: the state's, or without one (width below 1) the
  // automatic window over the frame's values. False when neither is known (no grey pixels).
  bool GetShownWindow(double& center, double& width);
  // After the pixels of the original record or the DICOM object were rewritten.
  void UpdateImage();

  void RegisterCallback(ISOImageObjectCallback* callback);
  void UnRegisterCallback(ISOImageObjectCallback* callback);

  // The render map and its inverse; the inverse is false when the map is singular (empty
  // rectangle).
  bool ImageToRenderRectCoords(const SORectF& rect, const SOPointF& image, SOPointF& render);
  bool ImageToRenderRectCoords(const SORectF& rect, const double* image, double* render);
  bool RenderRectToImageCoords(const SORectF& rect, const SOPointF& render, SOPointF& image);
  bool RenderRectToImageCoords(const SORectF& rect, const double* render, double* image);
  // Between image coordinates and those of the image turned by the view matrix.
  bool ImageToBitmapCoords(const SOPointF& image, SOPointF& bitmap);
  bool BitmapToImageCoords(const SOPointF& bitmap, SOPointF& image);
  // Patient positions of the four corners (top left, top right, bottom left, bottom right).
  bool GetImageCornerPosition(double* topLeft, double* topRight, double* bottomLeft, double* bottomRight);

  // Paints the frame into rect of the device context; false when there is nothing to draw.
  bool DrawImage(HDC hdc, RECT rect, bool reserved);
  // While on, DrawImage on this thread scales with the nearest pixel instead of bicubic: a
  // cheaper picture for the moves of a drag, which its caller repaints in full when it ends.
  static void SetQuickScaling(bool on);
  static bool IsQuickScaling();
  // The frame at native size with the current window, invert and palette; owned here.
  Gdiplus::Bitmap* GetOriginBitmapData();
  // Frees the decoded frame and the bitmaps made from it; they are made again from the file
  // when next asked for. Not for images whose record is filled by hand.
  void ReleasePixelCaches() { DiscardPixelCaches(); }
  // True while the decoded frame is held.
  bool HoldsPixels() const;

 protected:
  void ActiveUpdateBitmapFlag();
  void DiscardPixelCaches();
  // For variants that make their own record (report pages).
  std::unique_ptr<DcmImageInputData>& OriginalRecord();
  SOImagePresentationState& State();

  void GetAffineMatrix(SOMatrix3R3C& matrix, SORectF rect);
  DcmImageInputData* GetOptimizedPixelData(int width, int height);
  Gdiplus::Bitmap* GetPrimaryBitmap2(int width, int height);
  // Grey records give 8-bit bitmaps with the palette, or with `drawn` 32-bit bitmaps of the
  // palette's colours, as painting takes them.
  Gdiplus::Bitmap* CreateBitmapByPixelData(DcmImageInputData* record, bool drawn = false);
  // Writes the record into a bitmap of its size and format (windowed, for grey records).
  bool WriteBitmapPixels(Gdiplus::Bitmap& bitmap, DcmImageInputData* record);

  void TriggerImageObjectDataUpdateEvent();
  void TriggerImageOjbectWWUpdateEvent();
  void TriggerImageOjbectZoomUpdateEvent();
  void TriggerImageOjbectPanUpdateEvent();
  void TriggerImageOjbectRotateUpdateEvent(bool anticlockwise);
  void TriggerImageOjbectFlipXUpdateEvent();
  void TriggerImageOjbectFlipYUpdateEvent();

 private:
  void Trigger(unsigned int event, long parameter);

  std::unique_ptr<SOImageObjectMembers> m_;
};
