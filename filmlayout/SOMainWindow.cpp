#include "SOMainWindow.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "ISOGraphic.h"
#include "SODcmFile.h"
#include "SOFilmWindowPaint.h"
#include "SOImageObject.h"

// The control's end of its data centre. The loader thread's events become blocking sends to
// the control's window, each with a copy of the event that the window frees; a send the window
// does not take (no window yet, or gone) frees its copy here. Shared by the control and its
// export snapshots: the last one to let go releases the data centre (and so its objects).
class SOLoaderLink : public ISODcmDataCenterCallback, public ISODcmDataCenterFilter {
 public:
  SOLoaderLink() : center(CreateDcmDataCenter()) {
    center->RegisterCallback(this);
    center->SetFilter(this);
  }
  ~SOLoaderLink() {
    center->UnRegisterCallback(this);
    ReleaseDcmDataCenter(center);
  }

  void OnFileLoadedEvent(const SODcmLoadEvent* event) override { Forward(SO_MSG_DCM_FILE_LOADED, event, true); }
  void OnLoadFinishedEvent(const SODcmLoadEvent* event) override {
    Forward(SO_MSG_DCM_LOAD_FINISHED, event, false);
  }
  void OnClearedEvent() override {
    if (HWND hwnd = target.load()) SendMessageW(hwnd, SO_MSG_DCM_CLEARED, 0, 0);
  }
  // Objects without pixels (reports, key object notes) are no films' images.
  bool AcceptObject(ISODcmObject* object) override { return object && object->AttributeExistsWithValue(0x7FE00010); }

  ISODcmDataCenter* const center;
  // The control's window while it takes events; written on the UI thread, read on the loader's.
  std::atomic<HWND> target{nullptr};

 private:
  void Forward(UINT msg, const SODcmLoadEvent* event, bool withPath) {
    HWND hwnd = target.load();
    if (!hwnd || !event) return;
    auto* copy = new SODcmLoadEvent;
    copy->id = event->id;
    copy->total = event->total;
    copy->done = event->done;
    copy->stamp = event->stamp;
    copy->objects = event->objects;
    if (!SendMessageW(hwnd, msg, reinterpret_cast<WPARAM>(copy), 0)) delete copy;
  }
};

SOMainWindow::SOMainWindow() : link_(std::make_shared<SOLoaderLink>()) {}

SOMainWindow::~SOMainWindow() {
  // The window goes first: a loader blocked in a send to it is released, and later events
  // find no window.
  link_->target.store(nullptr);
  DestroyOwnWindow();
  sessions_.clear();
  link_.reset();
}

HWND SOMainWindow::Create(HWND parent, int x, int y, int cx, int cy) {
  HWND hwnd = SOWindowBase::Create(parent, x, y, cx, cy);
  link_->target.store(hwnd);
  return hwnd;
}

bool SOMainWindow::Move(int x, int y, int cx, int cy) {
  if (!GetWindow()) return false;
  MoveWindow(x, y, cx, cy);
  return true;
}

bool SOMainWindow::LoadDir(const char* folder) {
  // Before Create no window could take the results.
  if (!GetWindow() || !folder) return false;
  link_->center->LoadFolderAsync(folder);
  return true;
}

bool SOMainWindow::LoadFiles(SOPtrArray* paths) {
  if (!GetWindow() || !paths) return false;
  SOArray<SOString> copies;
  for (int i = 0; i < paths->GetLength(); ++i)
    if (auto* path = static_cast<SOString*>(paths->GetValue(i))) copies.Add(*path);
  link_->center->LoadFilesAsync(copies);
  return true;
}

int SOMainWindow::StopLoading(int) {
  loadStamp_ = link_->center->NextStamp();
  return 0;
}

int SOMainWindow::GetSessionCount() {
  return static_cast<int>(sessions_.size());
}

SOFilmSessionWindow* SOMainWindow::GetSessionWindow(int index) {
  return index >= 0 && index < GetSessionCount() ? sessions_[index].get() : nullptr;
}

ISOFilmSession* SOMainWindow::GetSession(int index) {
  SOFilmSessionWindow* window = GetSessionWindow(index);
  return window ? &window->GetSession() : nullptr;
}

SOFilmSessionWindow* SOMainWindow::Current() {
  return GetSessionWindow(current_);
}

ISOFilmSession* SOMainWindow::GetCurrentSession() {
  return GetSession(current_);
}

bool SOMainWindow::SelectSessionByStudyUID(const char* studyInstanceUID) {
  return SelectSessionAt(FindSessionByStudyUID(studyInstanceUID));
}

bool SOMainWindow::SelectSession(ISOFilmSession* session) {
  return SelectSessionAt(GetSessionIndex(session));
}

bool SOMainWindow::SelectSessionAt(int index) {
  if (index < 0 || index >= GetSessionCount()) return false;
  if (SOFilmSessionWindow* shown = Current()) shown->ShowWindow(false);
  current_ = index;
  sessions_[index]->ShowWindow(true);
  ISOFilmSession* session = &sessions_[index]->GetSession();
  Notify([session](ISOOstrelCallback* c) { c->OnSessionSelected(session); });
  return true;
}

int SOMainWindow::FindSessionByStudyUID(const char* studyInstanceUID) {
  if (!studyInstanceUID) return -1;
  for (int i = 0; i < GetSessionCount(); ++i)
    if (sessions_[i]->GetSession().GetStudyInstanceUID().str() == studyInstanceUID) return i;
  return -1;
}

int SOMainWindow::GetSessionIndex(ISOFilmSession* session) {
  for (int i = 0; i < GetSessionCount(); ++i)
    if (&sessions_[i]->GetSession() == session) return i;
  return -1;
}

void SOMainWindow::RemoveSessionAt(int index) {
  if (index < 0 || index >= GetSessionCount()) return;
  std::unique_ptr<SOFilmSessionWindow> removed = std::move(sessions_[index]);
  sessions_.erase(sessions_.begin() + index);
  ISOFilmSession* session = &removed->GetSession();
  Notify([session](ISOOstrelCallback* c) { c->OnSessionRemoved(session); });
  removed.reset();
  if (index == current_) {
    current_ = -1;
    if (!sessions_.empty()) SelectSessionAt(std::min(index, GetSessionCount() - 1));
  } else if (index < current_) {
    --current_;
  }
}

void SOMainWindow::RemoveCurrentSession() {
  RemoveSessionAt(current_);
}

void SOMainWindow::RemoveSession(ISOFilmSession* session) {
  RemoveSessionAt(GetSessionIndex(session));
}

bool SOMainWindow::SetDefaultImageLayout(int rows, int cols) {
  if (rows < 1 || cols < 1) return false;
  defaultRows_ = rows;
  defaultCols_ = cols;
  return true;
}

void SOMainWindow::GetDefaultImageLayout(int* rows, int* cols) {
  if (rows) *rows = defaultRows_;
  if (cols) *cols = defaultCols_;
}

void SOMainWindow::SetImageLayout(int rows, int cols, bool allFilms) {
  if (SOFilmSessionWindow* window = Current()) window->GetSession().SetImageLayout(rows, cols, allFilms);
}

void SOMainWindow::SetCurrentFilmOrientation(int orientation) {
  SetOrientation(orientation, false);
}

void SOMainWindow::SetOrientation(int orientation, bool allFilms) {
  if (SOFilmSessionWindow* window = Current()) window->GetSession().SetOrientation(orientation, allFilms);
}

void SOMainWindow::DeleteFilm() {
  if (SOFilmSessionWindow* window = Current()) window->GetSession().DeleteFilm();
}

void SOMainWindow::DeleteImage() {
  if (SOFilmSessionWindow* window = Current()) window->GetSession().DeleteImage();
}

void SOMainWindow::RecoverFilm() {
  if (SOFilmSessionWindow* window = Current()) window->GetSession().RecoverFilm();
}

void SOMainWindow::SetMouseTool(int tool) {
  tool_ = tool;
  for (auto& window : sessions_) window->SetMouseTool(tool);
}

void SOMainWindow::ClearGraphics() {
  SOFilmSessionWindow* window = Current();
  if (!window) return;
  SOFilmSession& session = window->GetSession();
  for (int i = 0; i < session.GetImageCount(); ++i)
    if (ISOGraphicMgr* graphics = session.GetImage(i)->GetGraphicMgr()) graphics->ClearAll();
  window->UpdateWindow();
}

void SOMainWindow::SetHeaderVisible(bool visible) {
  if (visible == headerVisible_) return;
  headerVisible_ = visible;
  for (auto& window : sessions_) window->GetSession().SetHeaderVisible(visible);
}

bool SOMainWindow::SetHeaderRatio(float ratio) {
  if (!(ratio > 0 && ratio < 1)) return false;
  headerRatio_ = ratio;
  for (auto& window : sessions_) window->GetSession().SetHeaderRatio(ratio);
  return true;
}

bool SOMainWindow::SetFilmLayout(int rows, int cols) {
  SOFilmSessionWindow* window = Current();
  return window && window->SetFilmLayout(rows, cols);
}

void SOMainWindow::SetBackgroundColor(DWORD argb) {
  background_ = argb;
  for (auto& window : sessions_) window->SetBackgroundColor(argb);
}

bool SOMainWindow::ExportFilms(SODcmFile* out, bool allFilms, const char* caption) {
  if (!out) return false;
  // Taken on the UI thread; what follows reads only the snapshot, so the session may be edited
  // or closed meanwhile.
  std::unique_ptr<SOFilmSnapshot> snapshot;
  ISOFilmSession* session = nullptr;
  std::vector<ISOOstrelCallback*> callbacks;
  SOWin::InvokeOnUiThread(
      [&] {
        SOFilmSessionWindow* window = Current();
        if (!window) return;
        session = &window->GetSession();
        snapshot = window->GetSession().TakeSnapshot(allFilms);
        callbacks = callbacks_;
      },
      true);
  if (!snapshot) return false;
  return snapshot->Export(out, caption, [&](int done, int total, bool finished) {
    for (ISOOstrelCallback* callback : callbacks) {
      if (finished)
        callback->OnExportFinished(session, out, done, total);
      else
        callback->OnExportProgress(session, out, done, total);
    }
  });
}

void SOMainWindow::RegisterCallback(ISOOstrelCallback* callback) {
  if (callback && std::find(callbacks_.begin(), callbacks_.end(), callback) == callbacks_.end())
    callbacks_.push_back(callback);
}

void SOMainWindow::UnRegisterCallback(ISOOstrelCallback* callback) {
  std::erase(callbacks_, callback);
}

template <typename Call>
void SOMainWindow::Notify(Call call) {
  for (ISOOstrelCallback* callback : std::vector(callbacks_)) call(callback);
}

SOFilmSessionWindow* SOMainWindow::AddSession(ISODcmObject* object) {
  auto window = std::make_unique<SOFilmSessionWindow>();
  SOFilmSession& session = window->GetSession();
  session.SetStudyInstanceUID(object->GetStudyInstanceUID());
  std::string name;
  object->GetAttributeValue(0x00100010, name);
  session.SetTitle(name);
  session.SetHeaderVisible(headerVisible_);
  session.SetHeaderRatio(headerRatio_);
  session.SetObjectKeeper(link_);
  session.RegisterCallback(this);
  RECT client{};
  GetClientRect(GetWindow(), &client);
  if (window->Create(GetWindow(), 0, 0, client.right, client.bottom)) window->SetFilmLayout(1, 1);
  window->SetMouseTool(tool_);
  window->SetBackgroundColor(background_);
  SOFilmSessionWindow* added = window.get();
  sessions_.push_back(std::move(window));
  Notify([&session](ISOOstrelCallback* c) { c->OnSessionAdded(&session); });
  SelectSessionAt(GetSessionCount() - 1);
  return added;
}

void SOMainWindow::OnFileLoaded(const SODcmLoadEvent& event) {
  if (event.stamp > loadStamp_) {
    for (int i = 0; i < event.objects.GetLength(); ++i) {
      ISODcmObject* object = event.objects.GetValue(i);
      if (!link_->AcceptObject(object)) continue;
      int index = FindSessionByStudyUID(object->GetStudyInstanceUID());
      SOFilmSessionWindow* window = index >= 0 ? sessions_[index].get() : AddSession(object);
      window->GetSession().AddImage(object);
    }
  }
  Notify([&event](ISOOstrelCallback* c) { c->OnLoadProgress(event.done, event.total); });
}

LRESULT SOMainWindow::HandleCustomerMessage(UINT msg, WPARAM wParam, LPARAM, BOOL& handled) {
  if (msg != SO_MSG_DCM_FILE_LOADED && msg != SO_MSG_DCM_LOAD_FINISHED && msg != SO_MSG_DCM_CLEARED) return 0;
  handled = TRUE;
  if (msg == SO_MSG_DCM_CLEARED) return 1;
  std::unique_ptr<SODcmLoadEvent> event(reinterpret_cast<SODcmLoadEvent*>(wParam));
  if (!event) return 1;
  if (msg == SO_MSG_DCM_FILE_LOADED)
    OnFileLoaded(*event);
  else
    Notify([&event](ISOOstrelCallback* c) { c->OnLoadFinished(event->done, event->total); });
  return 1;
}

LRESULT SOMainWindow::OnPaint(WPARAM, LPARAM, BOOL& handled) {
  handled = TRUE;
  PaintBuffered(GetWindow(), [this](HDC hdc, const RECT& client) { FillArgb(hdc, client, background_); });
  return 0;
}

LRESULT SOMainWindow::OnSize(WPARAM, LPARAM, BOOL& handled) {
  handled = TRUE;
  RECT client{};
  if (GetClientRect(GetWindow(), &client))
    for (auto& window : sessions_) window->MoveWindow(0, 0, client.right, client.bottom);
  UpdateWindow();
  return 0;
}

ISOOstrel* CreateOstrel() {
  return new SOMainWindow();
}

void ReleaseOstrel(ISOOstrel* ostrel) {
  delete ostrel;
}

extern "C" ISOOstrel* CreateOstrel_C() {
  return CreateOstrel();
}

extern "C" void ReleaseOstrel_C(ISOOstrel* ostrel) {
  ReleaseOstrel(ostrel);
}
