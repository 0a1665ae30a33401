#pragma once

#include <cstdint>

#include "SOArray.h"
#include "SOPointF.h"
#include "SOString.h"
#include "SOWin32.h"

class ISOGraphic;
class ISOImageObject;
class SOImageObject;

// Measured values of a graphic; each kind fills its own fields. Slab lines keep their
// geometry here in patient millimetres.
struct SOGraphicValues {
  int64_t count = 0;  // pixels inside a region
  float max = -10000.0f;
  float min = -10000.0f;
  float mean = 0;  // region statistics are modality values (rescale applied)
  float sd = -10000.0f;
  float length = 0;                  // mm
  float angle = 0;                   // degrees
  float area = 0;                    // mm^2
  double slabCenter[3] = {0, 0, 0};  // centre of the first slab line
  double lineDirection[3] = {0, 0, 0};
  double planeNormal[3] = {0, 0, 0};
  double stepDirection[3] = {0, 0, 0};  // from one slab line to the next
  int32_t fov = 0;                      // length of every slab line, mm
  double thickness = 0;
  double spacing = 0;
  uint16_t lineCount = 0;
};

// A graphic's description; begins with the type so GetType and GetData share an address.
struct SOGraphicData {
  SOString type;  // "LENGTH", "ANGLE", "ELLIPSE", "RECTANGLE" or "SLICES"
  SOString title;
  SOArray<SOPointF> points;  // image coordinates
  SOGraphicValues values;
};

// Parts of a graphic found by a hit test; also the drag modes.
enum SOGraphicPart {
  SOGraphicPartNone = 0,
  SOGraphicPartLabel,
  SOGraphicPartBody,
  SOGraphicPartHandle,
  SOGraphicPartTurn
};

// What a graphic needs from the window that shows its image.
class ISOGraphicWindow {
 public:
  virtual void UpdateWindow() = 0;
  virtual bool ImageToScreenCoords(const SOPointF& image, SOPointF& screen) = 0;
  virtual bool ScreenToImageCoords(const SOPointF& screen, SOPointF& image) = 0;

 protected:
  ~ISOGraphicWindow() = default;
};

// A graphic tells its manager that it changed (slab lines only).
class ISOGraphicObjectCallback {
 public:
  virtual void OnGraphicObjectChangedEvent(ISOGraphic* graphic) = 0;

 protected:
  ~ISOGraphicObjectCallback() = default;
};

// A graphic manager's listeners.
class ISOGraphicCallback {
 public:
  virtual void OnGraphicObjectAddedEvent(SOImageObject* owner, ISOGraphic* graphic) = 0;
  // Before the graphic is deleted.
  virtual void OnGraphicObjectDeletedEvent(SOImageObject* owner, ISOGraphic* graphic) = 0;
  virtual void OnGraphicObjectChangedEvent(SOImageObject* owner, ISOGraphic* graphic) = 0;

 protected:
  ~ISOGraphicCallback() = default;
};

// One measurement graphic over one frame.
class ISOGraphic {
 public:
  virtual ~ISOGraphic() = default;
  virtual SOString* GetType() = 0;
  virtual SOArray<SOPointF>* GetPoints() = 0;
  virtual bool SetPoints(const SOArray<SOPointF>& points) = 0;
  virtual SOString* GetTitle() = 0;
  virtual void SetTitle(const char* title) = 0;
  virtual SOGraphicValues* GetValues() = 0;
  virtual SOGraphicData* GetData() = 0;
  virtual void SetImageObject(ISOImageObject* imageObject) = 0;
  virtual bool SetData(const SOGraphicData& data) = 0;
  virtual bool CheckType(const char* type) = 0;
  virtual bool CheckPoints(const SOArray<SOPointF>& points) = 0;
  virtual void Calculate() = 0;
  virtual bool UpdateLabel() = 0;
  virtual bool UpdateHitRegions() = 0;
  virtual bool MovePoints(int part, int handle, float startX, float startY, float lastX, float lastY, float x,
                          float y, SOGraphicData* out) = 0;
  virtual void OnDragStart(int part, int handle, float startX, float startY) = 0;
  virtual void OnDragEnd(int part, int handle, float startX, float startY) = 0;
  virtual void DrawShape(HDC hdc) = 0;
  virtual bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
  virtual void DrawTitle(HDC hdc) = 0;
  virtual void DrawLabel(HDC hdc) = 0;
};

// The graphics of one image object.
class ISOGraphicMgr {
 public:
  virtual ISOGraphic* AddGraphic(const char* type, const SOArray<SOPointF>& points, bool select) = 0;
  virtual ISOGraphic* GetGraphicAt(int index) = 0;
  virtual ISOGraphic* GetGraphicByTitle(char* title) = 0;
  virtual int GetGraphicIndex(ISOGraphic* graphic) = 0;
  virtual void DeleteAt(int index) = 0;
  virtual bool DeleteSelected() = 0;
  virtual void ClearAll() = 0;
  virtual ISOGraphic* AddRangeLine(SOPointF a, SOPointF b) = 0;
  virtual ISOGraphic* AddRectangle(SOPointF corner, int width, int height) = 0;
  virtual ISOGraphic* AddCircle(SOPointF center, int radius) = 0;
  virtual int GetCount() = 0;
  virtual ISOGraphic* GetSelected() = 0;
  virtual void SetSelectedAt(int index) = 0;
  virtual void SetSelectedByTitle(char* title) = 0;
  virtual void CancelSelected() = 0;
  virtual ISOGraphic* AddSlices(SOPointF point, bool select) = 0;
  virtual ISOGraphic* AddSlices(SOPointF a, SOPointF b) = 0;
  virtual void RegisterCallback(ISOGraphicCallback* callback) = 0;
  virtual void UnRegisterCallback(ISOGraphicCallback* callback) = 0;
  virtual void SetDefaultSlicesParam(double thickness, double spacing) = 0;
  virtual void DeleteAllSlices() = 0;
  virtual void SetSlicesSpacing(float spacing) = 0;
  virtual float GetSliceSpacing() = 0;
  virtual void SetSlicesFOV(int fov) = 0;
  virtual void SetSlicesThickness(float thickness) = 0;
  virtual float GetSliceThickness() = 0;
  virtual void SetSlicesVisible(bool visible) = 0;

 protected:
  ~ISOGraphicMgr() = default;
};
