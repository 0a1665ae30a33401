#pragma once

// The 3D/MPR control: a private data centre, one volume from its first series shown in three
// orthogonal MPR windows, an oblique MPR window and a 3D window (the last two share a pane), the
// MPR and VR builders behind them, and the phase cine of 4D loads. Loader events cross to the UI
// thread as messages to the control's window and are filtered there. The volume (its data and
// both engines' octrees and samplers) builds on the control's build thread behind the progress
// bar; the UI thread attaches the result when the build thread reports it. A palette change,
// whose first rendering re-prepares the octree, is rendered there too.

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ISODcmDataCenter.h"
#include "ISOGraphic.h"
#include "ISOMPRImageWindowCallback.h"
#include "ISOVisualCtrl.h"
#include "MPRBuilder.h"
#include "SOBufferedPaint.h"
#include "SOImageWindow.h"
#include "SOWindowBase.h"
#include "VRBuilder.h"
#include "VisualVolume.h"

class SOImageWindow3D;
class SOImageWindowMPR;

namespace lumexa {

class SOVisualWindow : public SOWindowBase,
                       public ISOVisualCtrl,
                       public ISODcmDataCenterCallback,
                       public IMPRBuilderCallback,
                       public ISOImageWindowCallback,
                       public ISOMPRImageWindowCallback,
                       public IVRBuilderCallback,
                       public ISOGraphicCallback {
 public:
  // Messages the control sends its own window: wParam the loader's event (the sender's, which
  // waits), lParam 0.
  static constexpr UINT kFileLoaded = 8045;
  static constexpr UINT kLoadFinished = 8046;
  static constexpr UINT kCleared = 8047;
  // From the build thread: wParam the build's id, lParam its kBuilt* bits.
  static constexpr UINT kVolumeBuilt = 8048;
  // Posted by the control after attaching a build's result: wParam the build's id. The windows
  // show (and paint) in a step of their own, so the UI thread handles input in between.
  static constexpr UINT kVolumeShown = 8049;
  // From the build thread: a rendering asked for by a palette change is made; wParam its id.
  static constexpr UINT kRendered = 8050;
  static constexpr UINT_PTR kCineTimer = 34;
  static constexpr UINT kCineMs = 100;

  SOVisualWindow();
  ~SOVisualWindow() override;

  const wchar_t* GetWindowClassName() override { return L"SOVisualWindowClass"; }
  DWORD GetWindowClassStyle() override { return CS_HREDRAW | CS_VREDRAW; }
  const wchar_t* GetWindowName() override { return L"SOVisualWindow"; }
  DWORD GetWndStyle() override { return WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN; }

  // ISOVisualCtrl
  HWND Create(HWND parent, int x, int y, int cx, int cy) override;
  bool Move(int x, int y, int cx, int cy) override;
  bool LoadFolder(const char* folder) override;
  bool LoadFiles(SOArray<SOString>* paths) override;
  bool LoadPhaseFiles(SOArray<SOString>* paths) override;
  bool StartCine() override;
  bool StopCine() override;
  void Clear() override;
  void RotateH(float radians) override;
  void RotateV(float radians) override;
  void RotateToSagittal() override;
  void RotateToCoronal() override;
  void RotateToAxial() override;
  void RotateToZ() override;
  void RotateToX() override;
  void RotateToY() override;
  void RotateToBack() override;
  void StepOrigin(float distance) override;
  void SetViewAngle(float degrees) override;
  void SetRenderQuality(int quality) override;
  void SetColorPreset(int preset) override;
  void SetPalette(const V3Palette* palette, bool render) override;
  bool GetPalette(V3Palette& palette) override;
  bool SetRenderMode(int mode) override;
  void RotateScreen(float degrees) override;
  void Show3DView(bool show) override;
  int Is3DViewShown() override { return show3D_; }
  void SetLayout(int layout) override;
  int GetLayout() override { return layout_; }
  void SetToolMode(int mode) override;
  void SetMouseLeft(const char* plugin) override;
  void Set3DMouseLeft(const char* plugin) override;
  void SetImagingType(int type) override;
  void ClearGraphics() override;
  Engine3D* GetEngine3D() override { return vr_.GetEngine(); }
  HBITMAP Capture(int view) override;
  void CopyToClipboard(bool whole) override;
  void ShowOverInfo(bool show) override;
  void Show3DMPR(bool show, bool redraw) override;
  void Show3DBox(bool show) override;
  void ResetVisibleBox() override;
  void ShowMPRCross(bool show) override;
  int GetObjectCount() override;
  ISODcmObject* GetObject(int index) override;
  ISOImageObject* GetImageObject(int view) override;
  void SetSlicesSpacing(float spacing) override;
  void SetSlicesThickness(float thickness) override;
  int AddSlices(int count) override;
  bool AddSlices(SOArray<SOString>* labels) override;
  bool SetSliceText(int index, const char* text) override;
  void DeleteAllSlices() override;
  void SetSlabType(int type) override;
  int GetSlabType() override { return mpr_.GetSlabType(); }
  bool SupportGPU() override;
  bool SetGPUEnabled(bool enabled) override;
  bool IsGPUEnabled() override;
  bool ClearCut() override;
  void RegisterCallback(ISOVisualCtrlCallback* callback) override;
  void UnRegisterCallback(ISOVisualCtrlCallback* callback) override;

  // Loader thread.
  void OnFileLoadedEvent(const SODcmLoadEvent* event) override;
  void OnLoadFinishedEvent(const SODcmLoadEvent* event) override;
  void OnClearedEvent() override;

  // IMPRBuilderCallback
  void OnMPRBuilt() override;
  void OnMPRCleared() override;
  void OnImageUpdated(ISOImageObject* image) override;
  void OnOriginChanged() override;
  void OnSliceThicknessChanged(float thickness) override;
  // ISOImageWindowCallback
  void OnImageWindowMessageEvent(SOImageWindow* sender, UINT msg, WPARAM wParam, LPARAM lParam) override;
  void OnImageObjectChangedEvent(SOImageWindow*, ISOImageObject*) override {}
  // ISOMPRImageWindowCallback
  void OnCrossMoved(SOImageWindow* window, const float point[3]) override;
  void OnSlabTypeChanged(SOImageWindow* window, int type) override;
  void OnSlabThicknessChanged(SOImageWindow* window, float thickness) override;
  // IVRBuilderCallback (the 3D window listens to the image itself)
  void OnVolumeBuilt() override {}
  void OnVolumeCleared() override {}
  void OnOriginMoved() override;
  void OnImagingTypeChanged(int) override {}
  void OnPhaseProgress(int, int) override {}
  void OnPhasesFinished() override {}
  // ISOGraphicCallback (slab lines of the orthogonal images)
  void OnGraphicObjectAddedEvent(SOImageObject* owner, ISOGraphic* graphic) override;
  void OnGraphicObjectDeletedEvent(SOImageObject* owner, ISOGraphic* graphic) override;
  void OnGraphicObjectChangedEvent(SOImageObject* owner, ISOGraphic* graphic) override;

  LRESULT OnPaint(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnSize(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT HandleCustomerMessage(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;

  // For tests and tools.
  struct Segment {
    int x1, y1, x2, y2;
  };
  const std::vector<Segment>& GetSeparators() const { return separators_; }
  // 0 axial, 1 sagittal, 2 coronal, 3 shared pane (x, y, cx, cy).
  RECT GetPaneRect(int pane) const { return panes_[pane]; }
  SOImageWindowMPR* GetAxialWindow() const { return axial_.get(); }
  SOImageWindowMPR* GetSagittalWindow() const { return sagittal_.get(); }
  SOImageWindowMPR* GetCoronalWindow() const { return coronal_.get(); }
  SOImageWindowMPR* GetObliqueWindow() const { return oblique_.get(); }
  SOImageWindow3D* Get3DWindow() const { return window3D_.get(); }
  MPRBuilder& GetMPRBuilder() { return mpr_; }
  VRBuilder& GetVRBuilder() { return vr_; }
  bool IsBuilding() const { return building_; }
  // True from the end of the load until the build thread's result is attached or dropped.
  bool IsVolumeBuilding() const { return volumeBuilding_; }
  // True while a palette change is being prepared and rendered on the build thread.
  bool IsRenderingInBackground() const { return renderingInBackground_; }
  // Volume builds finished and shown (whether the series made a volume or not).
  int GetVolumeBuilds() const { return volumeBuilds_; }
  bool IsSelected(int window) const { return selected_[window]; }
  // The cine's phase counter, shared by every control of the process.
  static int CinePhase();

 private:
  void Deliver(UINT msg, const SODcmLoadEvent* event);
  void Layout();
  void ShowPanes();
  void HideAll();
  ISODcmSeries* FirstSeries();
  // The build thread's work: a volume build, or the rendering of a palette change at rows x
  // columns (0 x 0: only the palette).
  struct Job {
    int id = 0;
    bool render = false;
    int rows = 0, columns = 0;
  };
  class BuildThread;
  enum : LPARAM { kBuiltVolume = 1, kBuiltVR = 2, kBuiltMPR = 4 };
  void BuildVolume();
  // Build thread: the volume and both engines for build id; reports with kVolumeBuilt.
  void RunBuild(int id);
  // Palette changes: the palette is kept by the VR builder and given to the engine on the build
  // thread, which makes the first rendering with it and reports with kRendered.
  void ChangePalette(const V3Palette& palette, bool render);
  void PostRendering();
  void RunRendering(const Job& job);
  void ShowRendering(int id);
  void FinishBuild(int id, LPARAM built);
  void ShowBuiltVolume(int id);
  // Drops the running build, waiting for the build thread to let go of the volume and engines.
  void CancelBuild();
  void BuildPhases();
  void ReleaseVolume();
  void RebuildSlabPlanes(SOImageObject* image, ISOGraphic* skip);
  void CineStep();
  // The three planes through the new cross point and the origin callbacks, with the 3D
  // window's plane overlay painted once at the end.
  void UpdatePlanes();
  void Render() { vr_.Render(); }
  // Drops op while a volume builds (the build starts camera and palette afresh anyway).
  template <typename Op>
  void WithEngine(Op op);
  // Waits for a running build: for state that outlives the build, and for answers.
  template <typename Op>
  void WithEngineWait(Op op);
  // The cross point as the 3D engine takes it (single precision), or 0 without planes.
  void EngineOrigin(double origin[3]);
  void SyncEngineOrigin();
  SOImageWindow* Window(int view) const;
  std::vector<SOImageWindowMPR*> OrthogonalWindows() const;
  std::vector<SOImageObject*> OrthogonalImages() const;

  ULONG_PTR gdiplusToken_ = 0;
  int loadId_ = 0;
  int phaseId_ = 0;
  ISODcmSeries* currentSeries_ = nullptr;
  SOImageObject* slabOwner_ = nullptr;
  RECT panes_[4] = {};
  bool selected_[5] = {false, false, false, false, false};  // axial, sagittal, coronal, oblique, 3D
  std::unique_ptr<ISODcmDataCenter> dataCenter_;
  VisualVolume volume_;
  int show3D_ = 1;
  int layout_ = 0;
  MPRBuilder mpr_;
  VRBuilder vr_;
  std::vector<Segment> separators_;
  bool building_ = false;
  bool volumeBuilding_ = false;
  bool phasesPending_ = false;
  int planeBatch_ = 0;
  bool show3DPlanes_ = false;  // the 3D window's MPR planes (off until Show3DMPR)
  bool planesChanged_ = false;  // a phase load finished while the volume was building
  ISODcmSeries* buildSeries_ = nullptr;  // set before a build is posted, read by the build thread
  std::atomic<int> buildId_{0};
  std::atomic<int> renderId_{0};
  bool renderingInBackground_ = false;
  std::optional<int> pendingMode_;  // a rendering mode asked for during a build
  int volumeBuilds_ = 0;
  int progressDone_ = 0, progressTotal_ = 0;
  std::wstring progressText_;
  std::vector<ISOVisualCtrlCallback*> callbacks_;
  SOPaintBitmap paintBitmap_;
  // After the builders: the windows go first and leave the builders' lists.
  std::unique_ptr<SOImageWindow3D> window3D_;
  std::unique_ptr<SOImageWindowMPR> axial_, sagittal_, coronal_, oblique_;
  // Read by the loader thread.
  std::atomic<HWND> hwnd_{nullptr};
  std::atomic<bool> closing_{false};
  std::atomic<int> delivering_{0};
  // Last: its thread stops before anything it touches goes.
  std::unique_ptr<BuildThread> buildThread_;
};

}  // namespace lumexa

using lumexa::SOVisualWindow;
