#include "SOVisualWindow.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <thread>

#include "Engine3D.h"
#include "ISODcmStudy.h"
#include "SOBufferedPaint.h"
#include "SOGdi.h"
#include "SOGdiPlus.h"
#include "SOImageObjectEx.h"
#include "SOImageWindow3D.h"
#include "SOImageWindowMPR.h"
#include "SOPluginMPRInfo.h"
#include "TaskThread.h"

namespace lumexa {

namespace {

// Shared by every control of the process, as the cine has always been (UI thread only).
int g_cinePhase = 0;
// Set while a slab-line change is being handled; changes it raises meanwhile are ignored.
bool g_inSlabChange = false;

constexpr Gdiplus::ARGB kFrameColour = 0xFF505050;
constexpr Gdiplus::ARGB kSelectionColour = 0xFF16D9D6;
constexpr Gdiplus::ARGB kProgressColour = 0xFFBA68C8;

bool IsSlices(ISOGraphic* graphic) { return graphic && graphic->CheckType("SLICES"); }

}  // namespace

int SOVisualWindow::CinePhase() { return g_cinePhase; }

// Runs the newest job only (a build, or a palette's rendering); a cancelled build returns between
// its steps.
class SOVisualWindow::BuildThread : public task_thread<Job> {
 public:
  explicit BuildThread(SOVisualWindow& owner) : task_thread(true), owner_(owner) {}
  ~BuildThread() override { Stop(); }

 private:
  void Run(Job job) override {
    if (job.render)
      owner_.RunRendering(job);
    else
      owner_.RunBuild(job.id);
  }
  SOVisualWindow& owner_;
};

SOVisualWindow::SOVisualWindow() : dataCenter_(CreateDcmDataCenter()) {
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&gdiplusToken_, &input, nullptr);
  dataCenter_->RegisterCallback(this);
  mpr_.RegisterCallback(this);
  vr_.RegisterCallback(this);
  SeriesVolumeFile::RemoveStale();
  buildThread_ = std::make_unique<BuildThread>(*this);
}

SOVisualWindow::~SOVisualWindow() {
  // Deliveries stop first: no new ones, the window gone (which wakes a loader blocked in
  // SendMessageW), then the unregistering, which waits for the calls already inside.
  closing_ = true;
  ::KillTimer(GetWindow(), kCineTimer);
  DestroyOwnWindow();
  hwnd_ = nullptr;
  dataCenter_->UnRegisterCallback(this);
  while (delivering_.load() > 0) std::this_thread::yield();
  // A running build lets go of the volume and the engines before they go.
  CancelBuild();
  buildThread_.reset();
  // The builders stop borrowing the volume and the phase files before they go.
  ReleaseVolume();
  mpr_.UnRegisterCallback(this);
  vr_.UnRegisterCallback(this);
  dataCenter_.reset();
  window3D_.reset();
  axial_.reset();
  sagittal_.reset();
  coronal_.reset();
  oblique_.reset();
  Gdiplus::GdiplusShutdown(gdiplusToken_);
}

HWND SOVisualWindow::Create(HWND parent, int x, int y, int cx, int cy) {
  HWND hwnd = SOWindowBase::Create(parent, x, y, cx, cy);
  if (!hwnd) return nullptr;
  hwnd_ = hwnd;
  if (!window3D_) {
    window3D_ = std::make_unique<SOImageWindow3D>();
    window3D_->Create(hwnd, 0, 0, 0, 0);
    window3D_->RegisterCallback(this);
    window3D_->SetVRBuilder(&vr_);
    window3D_->SetUserData(&mpr_, 1);
  }
  for (auto* slot : {&axial_, &sagittal_, &coronal_}) {
    if (*slot) continue;
    *slot = std::make_unique<SOImageWindowMPR>();
    (*slot)->Create(hwnd, 0, 0, 0, 0);
    (*slot)->RegisterCallback(this);
    (*slot)->SetMPRCallback(this);
  }
  if (!oblique_) {
    oblique_ = std::make_unique<SOImageWindowMPR>();
    oblique_->Create(hwnd, 0, 0, 0, 0);
    SOPluginMgr& plugins = oblique_->GetPluginMgr();
    plugins.RemovePlugin("MPRCROSS");
    oblique_->RegisterCallback(this);
    oblique_->SetMPRCallback(this);
    plugins.RemovePlugin("OVERINFO");
    oblique_->InsertPlugin(1, new SOPluginMPRInfo);
  }
  // Only one window of the shared pane shows.
  oblique_->ShowWindow(show3D_ == 0);
  window3D_->ShowWindow(show3D_ != 0);
  Layout();
  return hwnd;
}

bool SOVisualWindow::Move(int x, int y, int cx, int cy) {
  if (!GetWindow()) return false;
  ::MoveWindow(GetWindow(), x, y, cx, cy, TRUE);
  return true;
}

// --- loading ---

bool SOVisualWindow::LoadFolder(const char* folder) {
  Clear();
  loadId_ = dataCenter_->LoadFolderAsync(folder);
  return true;
}

bool SOVisualWindow::LoadFiles(SOArray<SOString>* paths) {
  Clear();
  loadId_ = dataCenter_->LoadFilesAsync(paths ? *paths : SOArray<SOString>());
  return true;
}

bool SOVisualWindow::LoadPhaseFiles(SOArray<SOString>* paths) {
  phaseId_ = dataCenter_->LoadFilesAsync(paths ? *paths : SOArray<SOString>());
  return true;
}

void SOVisualWindow::Clear() {
  // A running build reads the data centre's pixels into the engines, and the engines borrow
  // them: the build stops first, then the engines let go.
  const bool wasBuilding = building_;
  CancelBuild();
  mpr_.Clear();
  vr_.Clear();
  dataCenter_->Clear();
  if (wasBuilding) {
    building_ = false;
    progressText_.clear();
    ShowPanes();
    UpdateWindow();
  }
}

void SOVisualWindow::Deliver(UINT msg, const SODcmLoadEvent* event) {
  ++delivering_;
  const HWND hwnd = hwnd_.load();
  // The event stays the sender's: SendMessageW returns once the UI thread handled it, or at
  // once with 0 when the window is gone. Which request it belongs to is decided there.
  if (!closing_ && hwnd) ::SendMessageW(hwnd, msg, reinterpret_cast<WPARAM>(event), 0);
  --delivering_;
}

void SOVisualWindow::OnFileLoadedEvent(const SODcmLoadEvent* event) { Deliver(kFileLoaded, event); }
void SOVisualWindow::OnLoadFinishedEvent(const SODcmLoadEvent* event) { Deliver(kLoadFinished, event); }
void SOVisualWindow::OnClearedEvent() {}

LRESULT SOVisualWindow::HandleCustomerMessage(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
  const auto* event = reinterpret_cast<const SODcmLoadEvent*>(wParam);
  handled = TRUE;
  switch (msg) {
    case kFileLoaded:
      if (!event || event->id != loadId_ || loadId_ == 0) return 0;
      building_ = true;
      HideAll();
      if (event->done >= 0 && event->total >= 0) progressDone_ = event->done, progressTotal_ = event->total;
      progressText_.clear();
      UpdateWindow();
      return 0;
    case kLoadFinished:
      if (!event) return 0;
      if (event->id == loadId_ && loadId_ != 0)
        BuildVolume();
      else if (event->id == phaseId_ && phaseId_ != 0)
        BuildPhases();
      return 0;
    case kCleared:
      return 0;
    case kVolumeBuilt:
      FinishBuild(static_cast<int>(wParam), lParam);
      return 0;
    case kVolumeShown:
      ShowBuiltVolume(static_cast<int>(wParam));
      return 0;
    case kRendered:
      ShowRendering(static_cast<int>(wParam));
      return 0;
    case WM_TIMER:
      if (wParam != kCineTimer) break;
      CineStep();
      return 0;
    default:
      break;
  }
  handled = FALSE;
  return SOWindowBase::HandleCustomerMessage(msg, wParam, lParam, handled);
}

ISODcmSeries* SOVisualWindow::FirstSeries() {
  if (dataCenter_->GetStudyCount() < 1) return nullptr;
  ISODcmStudy* study = dataCenter_->GetStudyAt(0);
  if (!study || study->GetSeriesCount() < 1) return nullptr;
  return study->GetSeriesAt(0);
}

void SOVisualWindow::ReleaseVolume() {
  // Both clears cancel their phase workers, so the phase files can go afterwards.
  vr_.Clear();
  mpr_.Clear();
  currentSeries_ = nullptr;
  volume_.Release();
  volume_.ReleasePhases();
}

void SOVisualWindow::BuildVolume() {
  CancelBuild();
  building_ = true;
  HideAll();
  progressText_ = L"Initializing...";
  UpdateWindow();
  ReleaseVolume();
  ISODcmSeries* series = FirstSeries();
  buildSeries_ = series && series->GetObjectCount() > 0 ? series : nullptr;
  // The 3D window renders at its size as soon as it holds the image: the build thread makes
  // that rendering too.
  RECT pane{};
  if (window3D_ && ::GetClientRect(window3D_->GetWindow(), &pane) && pane.right > 2 && pane.bottom > 2)
    vr_.PrepareFirstRendering(pane.bottom - 2, pane.right - 2);
  else
    vr_.PrepareFirstRendering(0, 0);
  volumeBuilding_ = true;
  buildThread_->Post(Job{++buildId_});
}

void SOVisualWindow::RunBuild(int id) {
  auto stale = [&] { return buildThread_->IsCancelled() || id != buildId_.load(); };
  if (stale()) return;
  LPARAM built = 0;
  if (buildSeries_ && volume_.Build(buildSeries_)) {
    built |= kBuiltVolume;
    SODcmFile* source = buildSeries_->GetObjectAt(0)->GetDcmFile();
    if (!stale() && vr_.InitEngine(volume_.GetVolume(), source)) built |= kBuiltVR;
    if (!stale() && mpr_.InitEngine(volume_.GetVolume(), source)) built |= kBuiltMPR;
  }
  if (stale()) return;
  if (HWND hwnd = hwnd_.load()) ::PostMessageW(hwnd, kVolumeBuilt, static_cast<WPARAM>(id), built);
}

void SOVisualWindow::FinishBuild(int id, LPARAM built) {
  // A result that arrives after its build was cancelled or replaced is dropped.
  if (!volumeBuilding_ || id != buildId_.load()) return;
  volumeBuilding_ = false;
  const std::optional<int> mode = pendingMode_;
  pendingMode_.reset();
  if (built & kBuiltVolume) {
    currentSeries_ = buildSeries_;
    if (built & kBuiltMPR) mpr_.Attach(volume_.GetVolume());
    // Before the 3D window's first rendering, which then shows the mode.
    if (mode) SetRenderMode(*mode);
    if (built & kBuiltVR) vr_.Attach(volume_.GetVolume());
    mpr_.SetProjectionEngine(vr_.GetEngine(), &vr_.GetEngineLock());
  }
  if (HWND hwnd = GetWindow()) ::PostMessageW(hwnd, kVolumeShown, static_cast<WPARAM>(id), 0);
  // A palette asked for during the build.
  V3Palette palette;
  if (vr_.GetResultImage() && vr_.RequestedPalette(palette)) PostRendering();
}

void SOVisualWindow::ShowBuiltVolume(int id) {
  // Dropped when a Clear or a new load came in between.
  if (!building_ || volumeBuilding_ || id != buildId_.load()) return;
  building_ = false;
  ++volumeBuilds_;
  progressText_.clear();
  ShowPanes();
  UpdateWindow();
  if (phasesPending_) {
    phasesPending_ = false;
    BuildPhases();
  }
}

void SOVisualWindow::CancelBuild() {
  ++buildId_;
  ++renderId_;
  buildThread_->Cancel();
  volumeBuilding_ = false;
  renderingInBackground_ = false;
  phasesPending_ = false;
  pendingMode_.reset();
}

void SOVisualWindow::ChangePalette(const V3Palette& palette, bool render) {
  vr_.RequestPalette(palette, render);
  // During a build it waits for the build's end (which starts the palette afresh).
  if (!volumeBuilding_) PostRendering();
}

void SOVisualWindow::PostRendering() {
  Job job{++renderId_, true};
  vr_.GetRenderSize(job.rows, job.columns);
  renderingInBackground_ = true;
  buildThread_->Post(job);
}

void SOVisualWindow::RunRendering(const Job& job) {
  vr_.RenderRequested(job.rows, job.columns);
  if (buildThread_->IsCancelled()) return;
  if (HWND hwnd = hwnd_.load()) ::PostMessageW(hwnd, kRendered, static_cast<WPARAM>(job.id), 0);
}

void SOVisualWindow::ShowRendering(int id) {
  // Only the newest request's report shows; an older one's frame is either its or stale.
  if (id != renderId_.load()) return;
  renderingInBackground_ = false;
  vr_.ShowBackgroundRendering();
}

void SOVisualWindow::BuildPhases() {
  // The phases need the volume's size: they wait for a running build.
  if (volumeBuilding_) {
    phasesPending_ = true;
    return;
  }
  if (dataCenter_->GetStudyCount() < 1) return;
  ISODcmStudy* study = dataCenter_->GetStudyAt(0);
  if (!study || study->GetSeriesCount() < 1) return;
  // The workers stop before the files they read are replaced.
  vr_.CancelPhases();
  mpr_.Builder4D().Clear();
  volume_.ReleasePhases();
  std::vector<V3VolumeData> phases = volume_.HasVolume() ? volume_.BuildPhases(study) : std::vector<V3VolumeData>();
  vr_.Builder4D().SetPhases(phases);
  vr_.Set4D(true);
  vr_.Builder4D().Submit(static_cast<unsigned long>(vr_.GetRenderStamp()));
  mpr_.Builder4D().SetPhases(phases);
  mpr_.Set4D(true);
  mpr_.Builder4D().SetCurrentId(static_cast<unsigned long>(mpr_.GetStamp()));
  mpr_.Builder4D().Post(static_cast<unsigned long>(mpr_.GetStamp()));
  for (ISOVisualCtrlCallback* c : std::vector(callbacks_)) c->OnVolumeReady();
}

// --- cine ---

bool SOVisualWindow::StartCine() {
  ::SetTimer(GetWindow(), kCineTimer, kCineMs, nullptr);
  return false;
}

bool SOVisualWindow::StopCine() {
  ::KillTimer(GetWindow(), kCineTimer);
  return false;
}

void SOVisualWindow::CineStep() {
  ::KillTimer(GetWindow(), kCineTimer);
  ::SetTimer(GetWindow(), kCineTimer, kCineMs, nullptr);
  ++g_cinePhase;
  const int phase = static_cast<uint16_t>(g_cinePhase);
  mpr_.ShowPhase(phase);
  if (!vr_.ShowPhase(phase)) g_cinePhase = 0;
}

// --- layout and paint ---

void SOVisualWindow::Layout() {
  if (!window3D_ || !axial_ || !sagittal_ || !coronal_ || !oblique_) return;
  RECT c{};
  ::GetClientRect(GetWindow(), &c);
  const int l1 = c.left + 1, t1 = c.top + 1, b2 = c.bottom - 2;
  separators_.clear();
  auto set = [&](int pane, int x, int y, int cx, int cy) { panes_[pane] = RECT{x, y, cx, cy}; };
  if (layout_ == 1) {
    const int w = (c.right - 3) / 2, h = (c.bottom - 3) / 2;
    set(0, l1, t1, w, h);
    set(1, l1, t1 + h + 1, w, c.bottom - h - 3);
    set(2, l1 + w + 1, t1, c.right - w - 3, h);
    set(3, l1 + w + 1, t1 + h + 1, c.right - w - 3, c.bottom - h - 3);
    separators_.push_back({l1, t1 + h, l1 + 2 * w + 2, t1 + h});
    separators_.push_back({l1 + w, t1, l1 + w, t1 + h + 1 + (c.bottom - h - 3) + 1});
  } else if (layout_ == 2) {
    set(3, c.left, c.top, c.right, c.bottom);
  } else {
    const int h = (c.bottom - 4) / 3;
    const int w = static_cast<int>((c.right - 3) * 0.382);
    set(0, l1, t1, w, h);
    set(1, l1, t1 + h + 1, w, h);
    set(2, l1, t1 + 2 * h + 2, w, b2 - 2 * h - 2);
    set(3, l1 + w + 1, t1, c.right - w - 3, b2);
    separators_.push_back({l1, t1 + h, l1 + w + 1, t1 + h});
    separators_.push_back({l1, t1 + 2 * h + 1, l1 + w + 1, t1 + 2 * h + 1});
    separators_.push_back({l1 + w, t1, l1 + w, t1 + b2 + 1});
  }
  if (layout_ != 2) {
    SOImageWindowMPR* ortho[3] = {axial_.get(), sagittal_.get(), coronal_.get()};
    for (int i = 0; i < 3; ++i) {
      const RECT& r = panes_[i];
      ortho[i]->MoveWindow(r.left, r.top, r.right, r.bottom);
    }
  }
  const RECT& p = panes_[3];
  oblique_->MoveWindow(p.left, p.top, p.right, p.bottom);
  window3D_->MoveWindow(p.left, p.top, p.right, p.bottom);
  UpdateWindow();
}

void SOVisualWindow::SetLayout(int layout) {
  if (layout == layout_) return;
  layout_ = layout;
  if (!building_)
    for (SOImageWindowMPR* w : OrthogonalWindows()) w->ShowWindow(layout != 2);
  Layout();
}

void SOVisualWindow::HideAll() {
  for (SOImageWindow* w : {Window(0), Window(1), Window(2), Window(3), Window(4)})
    if (w) w->ShowWindow(false);
}

void SOVisualWindow::ShowPanes() {
  if (!window3D_) return;
  // The orthogonal windows stay hidden while the shared pane fills the control.
  for (SOImageWindowMPR* w : OrthogonalWindows()) w->ShowWindow(layout_ != 2);
  window3D_->ShowWindow(show3D_ != 0);
  oblique_->ShowWindow(show3D_ == 0);
}

LRESULT SOVisualWindow::OnSize(WPARAM, LPARAM, BOOL& handled) {
  Layout();
  handled = TRUE;
  return 0;
}

LRESULT SOVisualWindow::OnPaint(WPARAM, LPARAM, BOOL& handled) {
  handled = TRUE;
  RECT client{};
  ::GetClientRect(GetWindow(), &client);
  const int w = std::max<int>(1, client.right), h = std::max<int>(1, client.bottom);
  SOBufferedPaint paint(GetWindow(), w, h, paintBitmap_);
  Gdiplus::Graphics g(paint.dc());
  Gdiplus::Pen frame(Gdiplus::Color(kFrameColour), 1);
  g.DrawRectangle(&frame, 0, 0, client.right - 1, client.bottom - 1);
  if (building_) {
    const int x0 = (client.left + client.right) / 2 - 150, y0 = (client.top + client.bottom) / 2 - 8;
    const float ratio = progressTotal_ > 0 ? float(progressDone_) / float(progressTotal_) : 0.0f;
    Gdiplus::Pen outline(Gdiplus::Color(0xFFFFFFFF), 1);
    g.DrawRectangle(&outline, x0, y0, 300, 16);
    Gdiplus::SolidBrush fill{Gdiplus::Color(kProgressColour)};
    g.FillRectangle(&fill, x0 + 1, y0 + 1, static_cast<int>(ratio * 299), 14);
    std::wstring text = progressText_;
    if (text.empty()) {
      wchar_t percent[16];
      std::swprintf(percent, 16, L"%d%%", static_cast<int>(ratio * 100));
      text = percent;
    }
    Gdiplus::Font font(L"Microsoft YaHei", 16, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    Gdiplus::StringFormat format;
    format.SetAlignment(Gdiplus::StringAlignmentCenter);
    format.SetLineAlignment(Gdiplus::StringAlignmentFar);
    const Gdiplus::RectF box(float(x0), float(y0 - 20), 300, 20);
    g.DrawString(text.c_str(), -1, &font, box, &format, &fill);
    return 0;
  }
  Gdiplus::Pen separator(Gdiplus::Color(kFrameColour), 1);
  separator.SetDashStyle(Gdiplus::DashStyleDash);
  for (const Segment& s : separators_) g.DrawLine(&separator, s.x1, s.y1, s.x2, s.y2);
  Gdiplus::Pen selection(Gdiplus::Color(kSelectionColour), 1);
  // The oblique window's selection draws no border.
  const std::pair<int, int> bordered[4] = {{0, 0}, {1, 1}, {2, 2}, {4, 3}};
  for (const auto& [flag, pane] : bordered) {
    if (!selected_[flag]) continue;
    if (pane < 3 && layout_ == 2) continue;
    const RECT& r = panes_[pane];
    g.DrawRectangle(&selection, r.left - 1, r.top - 1, r.right + 1, r.bottom + 1);
  }
  return 0;
}

// --- windows ---

SOImageWindow* SOVisualWindow::Window(int view) const {
  switch (view) {
    case 0: return axial_.get();
    case 1: return coronal_.get();
    case 2: return sagittal_.get();
    case 3: return oblique_.get();
    case 4: return window3D_.get();
    default: return nullptr;
  }
}

std::vector<SOImageWindowMPR*> SOVisualWindow::OrthogonalWindows() const {
  if (!axial_) return {};
  return {axial_.get(), sagittal_.get(), coronal_.get()};
}

std::vector<SOImageObject*> SOVisualWindow::OrthogonalImages() const {
  std::vector<SOImageObject*> images;
  for (SOImageWindowMPR* w : OrthogonalWindows())
    if (SOImageObject* image = w->GetSOImageObject()) images.push_back(image);
  return images;
}

void SOVisualWindow::Show3DView(bool show) {
  show3D_ = show ? 1 : 0;
  if (building_ || !window3D_) return;
  oblique_->ShowWindow(!show);
  window3D_->ShowWindow(show);
  for (SOImageWindowMPR* w : OrthogonalWindows()) {
    w->SetMouseLeft(show ? nullptr : "SLICES");
    w->EnablePlugin("LOC", !show, true);
    if (SOImageObject* image = w->GetSOImageObject())
      if (ISOGraphicMgr* graphics = image->GetGraphicMgr()) graphics->SetSlicesVisible(!show);
  }
}

void SOVisualWindow::SetToolMode(int mode) {
  const SOMouseMode2D mouse = mode == 1 ? SOMouseMode2D(1) : mode == 2 ? SOMouseMode2D(7)
                              : mode == 3 ? SOMouseMode2D(8) : SOMouseMode2D(0);
  for (SOImageWindow* w : {Window(0), Window(1), Window(2), Window(3)})
    if (w) w->SetMouseMode2D(mouse);
  if (!window3D_) return;
  if (mouse == SOMouseMode2D(0))
    window3D_->SetMouseLeft("ROTATE");
  else
    window3D_->SetMouseMode2D(mouse);
}

void SOVisualWindow::SetMouseLeft(const char* plugin) {
  if (!plugin) return;
  for (SOImageWindow* w : {Window(0), Window(1), Window(2), Window(3), Window(4)})
    if (w) w->SetMouseLeft(plugin);
}

void SOVisualWindow::Set3DMouseLeft(const char* plugin) {
  if (plugin && window3D_) window3D_->SetMouseLeft(plugin);
}

HBITMAP SOVisualWindow::Capture(int view) {
  if (view == 5) return CaptureWindowBitmap(GetWindow(), 0);
  SOImageWindow* w = Window(view);
  return w ? CaptureWindowBitmap(w->GetWindow(), 0) : nullptr;
}

void SOVisualWindow::CopyToClipboard(bool whole) {
  HWND source = GetWindow();
  if (!whole) {
    // Axial, sagittal, coronal, 3D, oblique: the first selected, else the whole control.
    const std::pair<int, int> order[5] = {{0, 0}, {1, 2}, {2, 1}, {4, 4}, {3, 3}};
    for (const auto& [flag, view] : order)
      if (selected_[flag] && Window(view)) {
        source = Window(view)->GetWindow();
        break;
      }
  }
  if (HBITMAP bitmap = CaptureWindowBitmap(source, 0)) CopyBitmapToClipboard(bitmap);
}

void SOVisualWindow::ShowOverInfo(bool show) {
  for (SOImageWindow* w : {Window(0), Window(1), Window(2), Window(3), Window(4)})
    if (w && w->GetPluginMgr().GetPlugin("OVERINFO")) w->EnablePlugin("OVERINFO", show, true);
}

void SOVisualWindow::Show3DMPR(bool show, bool redraw) {
  show3DPlanes_ = show;
  if (window3D_) window3D_->EnablePlugin("3DMPR", show, redraw);
}

void SOVisualWindow::Show3DBox(bool show) {
  if (window3D_) window3D_->EnablePlugin("3DBox", show, true);
}

void SOVisualWindow::ShowMPRCross(bool show) {
  for (SOImageWindowMPR* w : OrthogonalWindows()) w->EnablePlugin("MPRCROSS", show, true);
}

int SOVisualWindow::GetObjectCount() {
  ISODcmSeries* series = FirstSeries();
  return series ? series->GetObjectCount() : 0;
}

ISODcmObject* SOVisualWindow::GetObject(int index) {
  ISODcmSeries* series = FirstSeries();
  return series ? series->GetObjectAt(index) : nullptr;
}

ISOImageObject* SOVisualWindow::GetImageObject(int view) {
  SOImageWindow* w = view >= 0 && view <= 4 ? Window(view) : nullptr;
  return w ? w->GetImageObject() : nullptr;
}

void SOVisualWindow::ClearGraphics() {
  for (SOImageWindow* w : {Window(0), Window(1), Window(2), Window(3), Window(4)})
    if (w && w->GetImageObject())
      if (ISOGraphicMgr* graphics = w->GetImageObject()->GetGraphicMgr()) graphics->ClearAll();
}

// --- slab lines ---

void SOVisualWindow::SetSlicesSpacing(float spacing) {
  for (SOImageObject* image : OrthogonalImages()) image->GetGraphicMgr()->SetSlicesSpacing(spacing);
}

void SOVisualWindow::SetSlicesThickness(float thickness) {
  for (SOImageObject* image : OrthogonalImages()) image->GetGraphicMgr()->SetSlicesThickness(thickness);
}

void SOVisualWindow::DeleteAllSlices() {
  for (SOImageObject* image : OrthogonalImages()) image->GetGraphicMgr()->DeleteAllSlices();
}

int SOVisualWindow::AddSlices(int count) {
  return VisualVolume::AddSlices(sagittal_ ? sagittal_->GetImageObject() : nullptr, count);
}

bool SOVisualWindow::AddSlices(SOArray<SOString>* labels) {
  std::vector<std::string> texts;
  if (labels)
    for (int i = 0; i < labels->GetLength(); ++i) texts.emplace_back((*labels)[i].c_str());
  return VisualVolume::AddSlices(sagittal_ ? sagittal_->GetImageObject() : nullptr, texts);
}

bool SOVisualWindow::SetSliceText(int index, const char* text) {
  ISOImageObject* image = sagittal_ ? sagittal_->GetImageObject() : nullptr;
  ISOGraphic* graphic = image && image->GetGraphicMgr() ? image->GetGraphicMgr()->GetGraphicAt(index) : nullptr;
  if (!graphic) return false;
  graphic->SetTitle(text ? text : "");
  return true;
}

void SOVisualWindow::RebuildSlabPlanes(SOImageObject* image, ISOGraphic* skip) {
  slabOwner_ = image;
  float thickness = 1.0f;
  std::vector<V3SliceParam> planes = VisualVolume::SlabPlanes(image, thickness, skip);
  if (oblique_) {
    if (!planes.empty()) {
      oblique_->SetImageObject(mpr_.GetObliqueImage(), 0);
    } else {
      oblique_->SetImageObject(nullptr, 0);
      for (SOImageWindowMPR* w : OrthogonalWindows()) w->SetLocationLine(nullptr);
    }
  }
  mpr_.SetSlabThickness(thickness);
  for (IMPRBuilderCallback* c : std::vector(mpr_.GetCallbacks())) c->OnSliceThicknessChanged(thickness);
  mpr_.SlabList() = std::move(planes);
  mpr_.UpdateOblique();
}

void SOVisualWindow::OnGraphicObjectAddedEvent(SOImageObject* owner, ISOGraphic* graphic) {
  if (!IsSlices(graphic)) return;
  for (SOImageObject* image : OrthogonalImages())
    if (image != owner) image->GetGraphicMgr()->DeleteAllSlices();
  RebuildSlabPlanes(owner, nullptr);
}

void SOVisualWindow::OnGraphicObjectDeletedEvent(SOImageObject* owner, ISOGraphic* graphic) {
  // Raised before the graphic goes: it no longer counts.
  if (IsSlices(graphic)) RebuildSlabPlanes(owner, graphic);
}

void SOVisualWindow::OnGraphicObjectChangedEvent(SOImageObject* owner, ISOGraphic* graphic) {
  if (!IsSlices(graphic) || g_inSlabChange) return;
  g_inSlabChange = true;
  owner->GetGraphicMgr()->SetSlicesFOV(graphic->GetData()->values.fov);
  RebuildSlabPlanes(owner, nullptr);
  g_inSlabChange = false;
}

void SOVisualWindow::SetSlabType(int type) {
  if (type == mpr_.GetSlabType()) return;
  mpr_.SetSlabType(type);
  mpr_.UpdateOblique();
}

// --- builder callbacks ---

void SOVisualWindow::OnMPRBuilt() {
  if (!axial_) return;
  axial_->SetImageObject(mpr_.GetAxialImage(), 0);
  coronal_->SetImageObject(mpr_.GetCoronalImage(), 0);
  sagittal_->SetImageObject(mpr_.GetSagittalImage(), 0);
  for (SOImageObject* image : OrthogonalImages()) image->GetGraphicMgr()->RegisterCallback(this);
  window3D_->SetPlaneImages(mpr_.GetAxialImage(), mpr_.GetCoronalImage(), mpr_.GetSagittalImage());
  window3D_->UpdateWindow();
}

void SOVisualWindow::OnMPRCleared() {
  slabOwner_ = nullptr;
  if (!axial_) return;
  for (SOImageWindowMPR* w : {axial_.get(), sagittal_.get(), coronal_.get(), oblique_.get()}) {
    w->SetImageObject(nullptr, 0);
    w->SetLocationLine(nullptr);
  }
  // The 3D window must not keep the planes that are about to go.
  window3D_->SetPlaneImages(nullptr, nullptr, nullptr);
}

void SOVisualWindow::OnImageUpdated(ISOImageObject* image) {
  // Both builders call this. A window repaints on its own image's data event, which raised
  // this call, so only what shows another window's image is painted here: the plane overlay
  // of the 3D window when it is shown, once per batch of planes.
  if (!axial_ || image == vr_.GetResultImage()) return;
  if (oblique_->GetImageObject() == image)
    for (SOImageWindowMPR* w : OrthogonalWindows())
      w->SetLocationLine(w->GetImageObject() == slabOwner_ && slabOwner_ ? image : nullptr);
  window3D_->SetPlaneImages(mpr_.GetAxialImage(), mpr_.GetCoronalImage(), mpr_.GetSagittalImage());
  if (!show3DPlanes_) return;
  if (planeBatch_ > 0)
    planesChanged_ = true;
  else
    window3D_->UpdateWindow();
}

void SOVisualWindow::UpdatePlanes() {
  ++planeBatch_;
  mpr_.Update();
  for (IMPRBuilderCallback* c : std::vector(mpr_.GetCallbacks())) c->OnOriginChanged();
  if (--planeBatch_ == 0 && planesChanged_) {
    planesChanged_ = false;
    window3D_->UpdateWindow();
  }
}

template <typename Op>
void SOVisualWindow::WithEngine(Op op) {
  // The build thread holds the engine while it takes the volume, and the build resets the
  // camera and the palette: waiting for it would only freeze the UI for nothing.
  if (volumeBuilding_) return;
  WithEngineWait(op);
}

template <typename Op>
void SOVisualWindow::WithEngineWait(Op op) {
  std::lock_guard lock(vr_.GetEngineLock());
  vr_.DropPreparedRendering();
  op(*vr_.GetEngine());
}

void SOVisualWindow::EngineOrigin(double origin[3]) {
  double cross[3] = {0, 0, 0};
  if (!mpr_.GetOrigin(cross)) cross[0] = cross[1] = cross[2] = 0;
  for (int i = 0; i < 3; ++i) origin[i] = float(cross[i]);
}

void SOVisualWindow::SyncEngineOrigin() {
  double origin[3];
  EngineOrigin(origin);
  WithEngine([&](Engine3D&) { vr_.GiveOrigin(origin); });
}

void SOVisualWindow::OnOriginChanged() {
  SyncEngineOrigin();
  if (vr_.GetRenderMode() != 0) Render();
}

void SOVisualWindow::OnSliceThicknessChanged(float thickness) {
  for (ISOVisualCtrlCallback* c : std::vector(callbacks_)) c->OnSliceThicknessChanged(thickness);
}

void SOVisualWindow::OnImageWindowMessageEvent(SOImageWindow* sender, UINT msg, WPARAM wParam, LPARAM) {
  // Flags: axial, sagittal, coronal, oblique, 3D.
  SOImageWindow* byFlag[5] = {axial_.get(), sagittal_.get(), coronal_.get(), oblique_.get(), window3D_.get()};
  const int flag = static_cast<int>(std::find(byFlag, byFlag + 5, sender) - byFlag);
  if (flag == 5) return;
  if (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN) {
    bool changed = !selected_[flag];
    selected_[flag] = true;
    if (!(wParam & MK_CONTROL))
      for (int i = 0; i < 5; ++i)
        if (i != flag && selected_[i]) selected_[i] = false, changed = true;
    if (changed) UpdateWindow();
  } else if (msg == WM_MOUSEWHEEL) {
    const bool up = GET_WHEEL_DELTA_WPARAM(wParam) > 0;
    if (flag == 3) {
      up ? mpr_.PrevSlab() : mpr_.NextSlab();
      return;
    }
    if (flag > 2) return;
    double origin[3];
    if (!mpr_.GetOrigin(origin)) return;
    // Axial moves along z, sagittal along x, coronal along y.
    const int axis = flag == 0 ? 2 : flag == 1 ? 0 : 1;
    origin[axis] += up ? 1.0 : -1.0;
    mpr_.SetOrigin(origin);
    UpdatePlanes();
  }
}

void SOVisualWindow::OnCrossMoved(SOImageWindow*, const float point[3]) {
  const double origin[3] = {point[0], point[1], point[2]};
  if (!mpr_.SetOrigin(origin)) return;
  UpdatePlanes();
}

void SOVisualWindow::OnSlabTypeChanged(SOImageWindow* window, int type) {
  if (window != oblique_.get() || type == mpr_.GetSlabType()) return;
  mpr_.SetSlabType(type);
  mpr_.UpdateOblique();
}

void SOVisualWindow::OnSlabThicknessChanged(SOImageWindow* window, float thickness) {
  if (window == oblique_.get()) SetSlicesThickness(thickness);
}

void SOVisualWindow::OnOriginMoved() {
  double origin[3] = {0, 0, 0};
  WithEngine([&](Engine3D& e) { e.GetOrigin(origin); });
  if (mpr_.SetOrigin(origin)) {
    mpr_.Update();
    return;
  }
  double back[3] = {0, 0, 0};
  if (!mpr_.GetOrigin(back)) std::copy_n(origin, 3, back);
  WithEngine([&](Engine3D& e) { e.SetOrigin(back); });
  if (vr_.GetRenderMode() != 0) Render();
}

// --- the 3D view ---

void SOVisualWindow::RotateH(float radians) {
  WithEngine([&](Engine3D& e) { e.RotateH(radians); });
  Render();
}
void SOVisualWindow::RotateV(float radians) {
  WithEngine([&](Engine3D& e) { e.RotateV(radians); });
  Render();
}
void SOVisualWindow::RotateToSagittal() {
  WithEngine([](Engine3D& e) { e.RotateToSagittal(); });
  Render();
}
void SOVisualWindow::RotateToCoronal() {
  WithEngine([](Engine3D& e) { e.RotateToCoronal(); });
  Render();
}
void SOVisualWindow::RotateToAxial() {
  WithEngine([](Engine3D& e) { e.RotateToAxial(); });
  Render();
}
void SOVisualWindow::RotateToZ() {
  WithEngine([](Engine3D& e) { e.RotateToZ(); });
  Render();
}
void SOVisualWindow::RotateToX() {
  WithEngine([](Engine3D& e) { e.RotateToX(); });
  Render();
}
void SOVisualWindow::RotateToY() {
  WithEngine([](Engine3D& e) { e.RotateToY(); });
  Render();
}
void SOVisualWindow::RotateToBack() {
  WithEngine([](Engine3D& e) { e.RotateToBack(); });
  Render();
}
void SOVisualWindow::StepOrigin(float distance) {
  WithEngine([&](Engine3D& e) { e.Step(distance); });
  Render();
}
void SOVisualWindow::SetViewAngle(float degrees) {
  WithEngineWait([&](Engine3D& e) { e.SetViewAngle(degrees); });
  if (vr_.GetRenderMode() == 1) Render();
}
void SOVisualWindow::SetRenderQuality(int quality) {
  vr_.SetRenderQuality(quality);
  Render();
}
void SOVisualWindow::SetColorPreset(int preset) {
  V3Palette palette;
  if (VisualVolume::ColorPreset(preset, palette)) ChangePalette(palette, true);
}
void SOVisualWindow::SetPalette(const V3Palette* palette, bool render) {
  if (palette) ChangePalette(*palette, render);
}
bool SOVisualWindow::GetPalette(V3Palette& palette) {
  if (vr_.RequestedPalette(palette)) return true;
  bool ok = false;
  WithEngineWait([&](Engine3D& e) { ok = e.GetPalette(palette); });
  return ok;
}
bool SOVisualWindow::SetRenderMode(int mode) {
  // The engine is the build's until it ends: the mode is given then.
  if (volumeBuilding_) {
    pendingMode_ = mode;
    return true;
  }
  // While the build thread prepares a new palette, the mode (and the eye's origin) go with the
  // next background rendering: setting them here would wait for that preparation.
  if (renderingInBackground_ && vr_.GetImagingType() == 0) {
    double origin[3];
    EngineOrigin(origin);
    if (vr_.RequestRenderMode(mode, mode != 0 ? origin : nullptr)) PostRendering();
    return true;
  }
  if (mode != 0) SyncEngineOrigin();
  return vr_.SetRenderMode(mode);
}
void SOVisualWindow::RotateScreen(float degrees) {
  WithEngine([&](Engine3D& e) { e.RotateScreen(degrees / 180.0f * 3.1415927f); });
  Render();
}
void SOVisualWindow::SetImagingType(int type) {
  if (type == vr_.GetImagingType()) return;
  vr_.SetImagingTypeValue(type);
  for (IVRBuilderCallback* c : vr_.GetCallbacks()) c->OnImagingTypeChanged(type);
  Render();
}
void SOVisualWindow::ResetVisibleBox() {
  WithEngine([](Engine3D& e) {
    float lo[3], hi[3];
    if (e.GetBoundingBox(lo, hi)) e.SetVisibleBox(lo, hi);
  });
  Render();
}
bool SOVisualWindow::SupportGPU() {
  bool ok = false;
  WithEngineWait([&](Engine3D& e) { ok = e.SupportGPU(); });
  return ok;
}
bool SOVisualWindow::SetGPUEnabled(bool enabled) {
  bool ok = false;
  WithEngineWait([&](Engine3D& e) { ok = e.SetGPUEnabled(enabled); });
  return ok;
}
bool SOVisualWindow::IsGPUEnabled() {
  bool ok = false;
  WithEngineWait([&](Engine3D& e) { ok = e.IsGPUEnabled(); });
  return ok;
}
bool SOVisualWindow::ClearCut() {
  vr_.ClearCut();
  return true;
}

void SOVisualWindow::RegisterCallback(ISOVisualCtrlCallback* callback) {
  if (callback && std::find(callbacks_.begin(), callbacks_.end(), callback) == callbacks_.end())
    callbacks_.push_back(callback);
}

void SOVisualWindow::UnRegisterCallback(ISOVisualCtrlCallback* callback) {
  callbacks_.erase(std::remove(callbacks_.begin(), callbacks_.end(), callback), callbacks_.end());
}

}  // namespace lumexa
