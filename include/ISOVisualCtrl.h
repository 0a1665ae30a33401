#pragma once

// The 3D/MPR control: three orthogonal MPR panes with a draggable cross, an oblique pane with
// thick-slab projections of slab lines, and a volume-rendered pane, all fed from a data centre of
// its own. UI thread only; made by CreateVisualCtrl and freed by ReleaseVisualCtrl (Lumexa.h).

#include "ISODcmObject.h"
#include "ISOImageObject.h"
#include "SOArray.h"
#include "SOString.h"
#include "SOWin32.h"
#include "V3VolumeData.h"

class Engine3D;

// What the control tells its host, on the UI thread.
class ISOVisualCtrlCallback {
 public:
  virtual void OnVisualNotify() {}
  // The slab lines changed the oblique slab thickness.
  virtual void OnSliceThicknessChanged(float thickness) { (void)thickness; }
  // The phases of a LoadPhaseFiles request went to the background builders.
  virtual void OnVolumeReady() {}

 protected:
  ~ISOVisualCtrlCallback() = default;
};

class ISOVisualCtrl {
 public:
  virtual ~ISOVisualCtrl() = default;
  // The control window and its five image windows; null when the window cannot be made.
  virtual HWND Create(HWND parent, int x, int y, int cx, int cy) = 0;
  virtual bool Move(int x, int y, int cx, int cy) = 0;
  // Empties the control and loads in the background; the first series becomes the volume.
  virtual bool LoadFolder(const char* folder) = 0;
  virtual bool LoadFiles(SOArray<SOString>* paths) = 0;
  // Loads the series of a 4D study beside the volume; each becomes one phase of the cine.
  virtual bool LoadPhaseFiles(SOArray<SOString>* paths) = 0;
  // Start and stop the phase cine (100 ms a phase); both return false.
  virtual bool StartCine() = 0;
  virtual bool StopCine() = 0;
  virtual void Clear() = 0;
  virtual void RotateH(float radians) = 0;
  virtual void RotateV(float radians) = 0;
  virtual void RotateToSagittal() = 0;
  virtual void RotateToCoronal() = 0;
  virtual void RotateToAxial() = 0;
  virtual void RotateToZ() = 0;
  virtual void RotateToX() = 0;
  virtual void RotateToY() = 0;
  virtual void RotateToBack() = 0;
  virtual void StepOrigin(float distance) = 0;
  virtual void SetViewAngle(float degrees) = 0;
  virtual void SetRenderQuality(int quality) = 0;
  // Built-in palettes 0 to 3; other numbers do nothing.
  virtual void SetColorPreset(int preset) = 0;
  virtual void SetPalette(const V3Palette* palette, bool render) = 0;
  virtual bool GetPalette(V3Palette& palette) = 0;
  // 0 orthographic, 1 perspective, 2 to 7 clipped at the cross point.
  virtual bool SetRenderMode(int mode) = 0;
  virtual void RotateScreen(float degrees) = 0;
  // Which window fills the shared pane: the 3D window (true) or the oblique one.
  virtual void Show3DView(bool show) = 0;
  virtual int Is3DViewShown() = 0;
  // 0: three MPR panes left of the shared pane; 1: two by two; 2: the shared pane alone.
  virtual void SetLayout(int layout) = 0;
  virtual int GetLayout() = 0;
  // 1 window, 2 length, 3 angle; anything else none (rotation in the 3D window).
  virtual void SetToolMode(int mode) = 0;
  virtual void SetMouseLeft(const char* plugin) = 0;
  virtual void Set3DMouseLeft(const char* plugin) = 0;
  // 0 colour, 1 MIP, 2 AIP, 3 MinIP.
  virtual void SetImagingType(int type) = 0;
  virtual void ClearGraphics() = 0;
  // Owned by the control; shared with its phase worker.
  virtual Engine3D* GetEngine3D() = 0;
  // 0 axial, 1 coronal, 2 sagittal, 3 oblique, 4 3D, 5 the whole control; the caller owns it.
  virtual HBITMAP Capture(int view) = 0;
  virtual void CopyToClipboard(bool whole) = 0;
  virtual void ShowOverInfo(bool show) = 0;
  virtual void Show3DMPR(bool show, bool redraw) = 0;
  virtual void Show3DBox(bool show) = 0;
  virtual void ResetVisibleBox() = 0;
  virtual void ShowMPRCross(bool show) = 0;
  // Objects of the first series of the first study.
  virtual int GetObjectCount() = 0;
  virtual ISODcmObject* GetObject(int index) = 0;
  // The image of a window, numbered as for Capture (0 to 4).
  virtual ISOImageObject* GetImageObject(int view) = 0;
  virtual void SetSlicesSpacing(float spacing) = 0;
  virtual void SetSlicesThickness(float thickness) = 0;
  // Slab lines on the sagittal image: the index of the first added, -1 when none.
  virtual int AddSlices(int count) = 0;
  virtual bool AddSlices(SOArray<SOString>* labels) = 0;
  virtual bool SetSliceText(int index, const char* text) = 0;
  virtual void DeleteAllSlices() = 0;
  // 0 plane, 1 average, 2 MIP, 3 MinIP.
  virtual void SetSlabType(int type) = 0;
  virtual int GetSlabType() = 0;
  virtual bool SupportGPU() = 0;
  virtual bool SetGPUEnabled(bool enabled) = 0;
  virtual bool IsGPUEnabled() = 0;
  virtual bool ClearCut() = 0;
  virtual void RegisterCallback(ISOVisualCtrlCallback* callback) = 0;
  virtual void UnRegisterCallback(ISOVisualCtrlCallback* callback) = 0;
};
