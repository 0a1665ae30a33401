#include "SOTessalyWnd.h"

#include <dlfcn.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "CCaptureDlg.h"
#include "SODialog.h"
#include "Gossamy.h"
#include "ISODcmObject.h"
#include "Lumexa.h"
#include "PatientRecord.h"
#include "SODcmFile.h"
#include "SOUtil.h"
#include "StoreUtil.h"
#include "StudySeriesList.h"
#include "ViewerLayout.h"

using namespace DuiLib;

extern char** environ;

namespace {

// The host of this plug-in library, for the 3D hand-off and the capture dialog.
ISOExecuter* g_host = nullptr;

bool IsFolder(const char* path) {
  struct stat st {};
  return path && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

TNotifyUI* ClickOf(void* param) {
  auto* msg = static_cast<TNotifyUI*>(param);
  return msg && msg->sType == L"click" ? msg : nullptr;
}

bool Inside(const RECT& rc, POINT pt) {
  return pt.x >= rc.left && pt.x < rc.right && pt.y >= rc.top && pt.y < rc.bottom;
}

}  // namespace

std::vector<std::string> TagViewerArguments(const std::string& path) {
  std::vector<std::string> args{"ORVANTA_DICOM_TAGS"};
  if (!path.empty()) args.push_back(path);
  return args;
}

bool StartTagViewer(const std::string& program, const std::string& path) {
  if (::access(program.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "tag viewer %s cannot be started: it is missing or not executable\n", program.c_str());
    return false;
  }
  std::vector<std::string> args = TagViewerArguments(path);
  args.insert(args.begin(), program);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string folder = std::filesystem::path(program).parent_path().string();
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = 0;
  const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    std::fprintf(stderr, "tag viewer %s cannot be started: %s\n", program.c_str(), std::strerror(error));
    return false;
  }
  // Reaped in the background so no finished viewer lingers.
  std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
  return true;
}

std::string PluginFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&PluginFolder), &info) && info.dli_fname) {
    std::string folder = std::filesystem::path(info.dli_fname).parent_path().string();
    return folder.empty() ? SOUtil::GetModulePath() : folder + "/";
  }
  return SOUtil::GetModulePath();
}

const std::vector<WindowPreset>& WindowPresets() {
  static const std::vector<WindowPreset> presets{
      {3, L"CT Abdomen", 40, 300}, {4, L"CT Angio", 60, 300}, {5, L"CT Bone", 300, 2000},
      {6, L"CT Brain", 35, 90},    {7, L"CT Chest", 40, 350}, {8, L"CT Lung", -500, 1500},
  };
  return presets;
}

SOTessalyWnd::SOTessalyWnd() = default;

SOTessalyWnd::~SOTessalyWnd() {
  if (m_lumexa) {
    m_lumexa->UnRegisterCallback(this);
    ReleaseLumexa(m_lumexa);
  }
}

void SOTessalyWnd::SetExecuter(ISOExecuter* host) {
  m_host = host;
  g_host = host;
}

HWND SOTessalyWnd::CreateWnd(HWND parent, int x, int y, int cx, int cy) {
  return Create(parent, L"SOTessalyWnd", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, WS_EX_ACCEPTFILES,
                x, y, cx, cy);
}

CControlUI* SOTessalyWnd::CreateControl(const wchar_t* className) {
  if (className && std::wstring(className) == L"StudySeriesList") return new CStudySeriesListUI;
  return nullptr;
}

void SOTessalyWnd::Subscribe(const wchar_t* name, bool (SOTessalyWnd::*handler)(void*)) {
  if (CControlUI* control = m_PaintManager.FindControl(name))
    control->OnNotify += MakeDelegate(this, handler);
  else
    std::fprintf(stderr, "2D viewer skin lacks the control %ls\n", name);
}

void SOTessalyWnd::InitWindow() {
  m_list = dynamic_cast<CStudySeriesListUI*>(m_PaintManager.FindControl(L"studySeriesList"));
  if (m_list) m_list->OnSelect += MakeDelegate(this, &SOTessalyWnd::OnSeriesSelected);
  Subscribe(L"openFolderBtn", &SOTessalyWnd::OnOpenFolderClick);
  Subscribe(L"openFileBtn", &SOTessalyWnd::OnOpenFileClick);
  Subscribe(L"3DBtn", &SOTessalyWnd::On3DClick);
  Subscribe(L"reportBtn", &SOTessalyWnd::OnReportClick);
  Subscribe(L"filmBtn", &SOTessalyWnd::OnFilmClick);
  m_3dBtn = m_PaintManager.FindControl(L"3DBtn");
  m_reportBtn = m_PaintManager.FindControl(L"reportBtn");
  m_filmBtn = m_PaintManager.FindControl(L"filmBtn");
  Subscribe(L"seriesLayoutDownBtn", &SOTessalyWnd::OnSeriesLayoutClick);
  Subscribe(L"imageLayoutDownBtn", &SOTessalyWnd::OnImageLayoutClick);
  Subscribe(L"tagDownBtn", &SOTessalyWnd::OnTagClick);
  Subscribe(L"rotateDownBtn", &SOTessalyWnd::OnRotateClick);
  Subscribe(L"wwDownBtn", &SOTessalyWnd::OnWWClick);
  Subscribe(L"panBtn", &SOTessalyWnd::OnPanClick);
  Subscribe(L"zoomBtn", &SOTessalyWnd::OnZoomClick);
  Subscribe(L"valueBtn", &SOTessalyWnd::OnValueClick);
  Subscribe(L"graphicDownBtn", &SOTessalyWnd::OnGraphicClick);
  Subscribe(L"cameraDownBtn", &SOTessalyWnd::OnCaptureClick);

  CControlUI* panel = m_PaintManager.FindControl(L"lumexaPanel");
  if (panel) panel->OnSize += MakeDelegate(this, &SOTessalyWnd::OnLumexaPanelSize);
  const RECT rc = panel ? panel->GetPos() : RECT{};
  m_panel = rc;
  m_lumexa = CreateLumexa();
  m_lumexa->Create(m_hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, true);
  m_lumexa->RegisterCallback(this);
  UpdateButtons(nullptr);
}

void SOTessalyWnd::OnFinalMessage(HWND hWnd) {
  WindowImplBase::OnFinalMessage(hWnd);
  m_list = nullptr;  // the tree is gone
  m_3dBtn = m_reportBtn = m_filmBtn = nullptr;
}

bool SOTessalyWnd::OnLumexaPanelSize(void* param) {
  auto* panel = static_cast<CControlUI*>(param);
  if (!m_lumexa || !panel) return true;
  // A relayout of the window (a new list row) leaves the panel where it was: moving the control
  // to the same place would lay out and repaint all its views again.
  const RECT rc = panel->GetPos();
  if (rc.left == m_panel.left && rc.top == m_panel.top && rc.right == m_panel.right && rc.bottom == m_panel.bottom)
    return true;
  m_panel = rc;
  m_lumexa->Move(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
  return true;
}

void SOTessalyWnd::Load(SOArray<SOString>& paths) {
  if (!m_lumexa) return;
  m_lumexa->CloseAll();
  m_lumexa->LoadFiles(&paths);
}

bool SOTessalyWnd::OnCommand(const char* command, void* data) {
  if (!command || std::string(command) != SOCMD_LOADDIR) return false;
  const char* folder = static_cast<const char*>(data);
  if (!IsFolder(folder) || !m_lumexa) return false;
  SOArray<SOString> paths;
  SOUtil::FindFiles(folder, paths, true);
  Load(paths);
  return true;
}

bool SOTessalyWnd::OnMessage(int id, void* data, HWND) {
  if (id != SOMSG_VIEW_FILES) return false;
  auto* files = static_cast<std::vector<std::string>*>(data);
  if (!files || files->empty()) return true;
  SOArray<SOString> paths;
  for (const auto& f : *files) paths.Add(SOString(f.c_str()));
  Load(paths);
  return true;
}

void SOTessalyWnd::OnDropFiles(HDROP drop) {
  SOArray<SOString> paths;
  const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    // The whole path, however long.
    std::string path(DragQueryFileA(drop, i, nullptr, 0), '\0');
    DragQueryFileA(drop, i, path.data(), static_cast<UINT>(path.size() + 1));
    if (IsFolder(path.c_str()))
      SOUtil::FindFiles(path.c_str(), paths, true);
    else
      paths.Add(SOString(path.c_str()));
  }
  DragFinish(drop);
  Load(paths);
}

bool SOTessalyWnd::OnOpenFolderClick(void* param) {
  if (!ClickOf(param) || !m_lumexa) return true;
  std::string start, folder;
  Gossamy::ReadHKCU("FolderOpenPath", start);
  if (!SODialog::BrowseForFolder(m_hWnd, ui_gettext(L"Select folder"), start, folder)) return true;
  Gossamy::WriteHKCU("FolderOpenPath", folder.c_str());
  m_lumexa->CloseAll();
  m_lumexa->LoadFolder(folder.c_str(), -1);
  return true;
}

bool SOTessalyWnd::OnOpenFileClick(void* param) {
  if (!ClickOf(param) || !m_lumexa) return true;
  std::vector<std::string> chosen;
  if (!SODialog::ChooseFiles(m_hWnd, L"DICOM \0*.*\0\0", 41600, chosen)) return true;
  SOArray<SOString> paths;
  for (const std::string& path : chosen) paths.Add(SOString(path.c_str()));
  Load(paths);
  return true;
}

void SOTessalyWnd::Refill() {
  ISODcmDataCenter* center = m_lumexa ? m_lumexa->GetDataCenter() : nullptr;
  if (!center || !m_list) return;
  ++m_refills;
  for (int i = 0; i < center->GetStudyCount(); ++i) {
    ISODcmStudy* study = center->GetStudyAt(i);
    if (!study) continue;
    for (int j = 0; j < study->GetSeriesCount(); ++j) m_list->AddSeries(study->GetSeriesAt(j));
  }
}

void SOTessalyWnd::OnFileLoaded(const SOViewerFileEvent* event) {
  if (event && event->done % 10 == 9) Refill();
}

void SOTessalyWnd::OnLoadFinished(const SOViewerFinishEvent*) {
  Refill();
}

void SOTessalyWnd::OnCleared() {
  if (m_list) m_list->RemoveAll();
  UpdateButtons(nullptr);
}

void SOTessalyWnd::OnSeriesActivated(ISOSeriesWnd* seriesWnd) {
  ISOImageWnd* imageWnd = seriesWnd ? seriesWnd->GetImageWnd(0) : nullptr;
  ISOImageObject* image = imageWnd ? imageWnd->GetImageObject() : nullptr;
  ISODcmObject* object = image ? image->GetDcmObject() : nullptr;
  ISODcmSeries* series = object ? object->GetSeries() : nullptr;
  if (series && m_list) m_list->SelectSeries(series);
  UpdateButtons(nullptr);
}

bool SOTessalyWnd::OnSeriesSelected(void* param) {
  const char* uid = static_cast<const char*>(param);
  if (uid && m_lumexa) m_lumexa->ShowSeries(uid);
  UpdateButtons(uid);
  return true;
}

void SOTessalyWnd::UpdateButtons(const char* uid) {
  ISODcmSeries* series = nullptr;
  ISODcmDataCenter* center = m_lumexa ? m_lumexa->GetDataCenter() : nullptr;
  if (uid && center) series = center->FindSeries(uid);
  if (!series && m_list) series = m_list->GetSelectedSeries();
  if (m_3dBtn) m_3dBtn->SetEnabled(series && IsVolumeSeries(series));
  if (m_reportBtn) m_reportBtn->SetEnabled(series != nullptr);
  if (m_filmBtn) m_filmBtn->SetEnabled(series && IsImageSeries(series));
}

bool SOTessalyWnd::OpenSeriesIn3D(ISODcmSeries* series) {
  if (!g_host || !series) return false;
  std::string text;
  for (int i = 0; i < series->GetObjectCount(); ++i) {
    ISODcmObject* object = series->GetObjectAt(i);
    const char* path = object ? object->GetFilePath() : nullptr;
    if (!path || !*path) continue;
    // The receiver splits at '|': a path holding one cannot travel in this list.
    if (std::strchr(path, '|')) {
      std::fprintf(stderr, "3D hand-off skips %s: '|' separates the paths\n", path);
      continue;
    }
    if (!text.empty()) text += '|';
    text += path;
  }
  if (!text.empty() && g_host->SendCommand(SOPLUGIN_CORVIDE, SOCMD_LOADFILES, text.data()))
    g_host->ActivatePlugin(SOPLUGIN_CORVIDE);
  return true;
}

bool SOTessalyWnd::On3DClick(void* param) {
  if (!ClickOf(param) || !m_list) return true;
  if (ISODcmSeries* series = m_list->GetSelectedSeries()) OpenSeriesIn3D(series);
  return true;
}

bool SOTessalyWnd::OnReportClick(void* param) {
  if (!ClickOf(param) || !m_list || !m_host) return true;
  ISODcmSeries* series = m_list->GetSelectedSeries();
  ISODcmObject* object = series && series->GetObjectCount() > 0 ? series->GetObjectAt(0) : nullptr;
  if (!object || !object->GetFilePath()) return true;
  m_host->Broadcast(SOMSG_STUDY_REPORT, const_cast<char*>(object->GetFilePath()), m_hWnd);
  return true;
}

bool SOTessalyWnd::OnFilmClick(void* param) {
  if (!ClickOf(param) || !m_list || !m_host) return true;
  ISODcmSeries* series = m_list->GetSelectedSeries();
  ISODcmObject* first = series && series->GetObjectCount() > 0 ? series->GetObjectAt(0) : nullptr;
  SODcmFile* file = first ? first->GetDcmFile() : nullptr;
  if (!file) return true;
  PatientRecord patient;
  SeriesRecord record;
  if (!StoreUtil::GetPatientRecord(file, patient) || !StoreUtil::GetSeriesRecord(file, record)) return true;
  for (int i = 0; i < series->GetObjectCount(); ++i) {
    ISODcmObject* object = series->GetObjectAt(i);
    SODcmFile* own = object ? object->GetDcmFile() : nullptr;
    InstanceRecord instance;
    if (!own || !StoreUtil::GetInstanceRecord(own, instance)) continue;
    instance.storePath = own->GetFilePath();
    record.instances.push_back(std::move(instance));
  }
  patient.series.push_back(std::move(record));
  m_host->Broadcast(SOMSG_STUDY_FILM, &patient, m_hWnd);
  return true;
}

LRESULT SOTessalyWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  switch (uMsg) {
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wParam));
      bHandled = TRUE;
      return 0;
    case WM_SO_SERIES_LAYOUT:
      if (m_lumexa) {
        m_lumexa->SetSeriesLayout(static_cast<int>(wParam), static_cast<int>(lParam));
        if (!m_lumexa->GetActiveSeriesWnd())
          if (ISOSeriesWnd* first = m_lumexa->GetSeriesWnd(0)) first->SetActive(true);
      }
      bHandled = TRUE;
      return 0;
    case WM_SO_IMAGE_LAYOUT:
      if (ISOSeriesWnd* target = ActiveOrFirstSeriesWnd())
        target->SetImageLayout(static_cast<int>(wParam), static_cast<int>(lParam));
      bHandled = TRUE;
      return 0;
    default:
      return WindowImplBase::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
  }
}

// ---- Toolbar ------------------------------------------------------------------------------

ISOSeriesWnd* SOTessalyWnd::ActiveOrFirstSeriesWnd() {
  if (!m_lumexa) return nullptr;
  ISOSeriesWnd* active = m_lumexa->GetActiveSeriesWnd();
  return active ? active : m_lumexa->GetSeriesWnd(0);
}

int SOTessalyWnd::SplitChoice(void* param, const wchar_t* icon,
                              const std::vector<std::pair<UINT, const wchar_t*>>& entries) {
  TNotifyUI* msg = ClickOf(param);
  if (!msg) return 0;
  CControlUI* consulted = m_PaintManager.FindControl(icon);
  if (!consulted) return 0;
  if (Inside(consulted->GetPos(), msg->ptMouse)) return -1;
  HMENU menu = CreatePopupMenu();
  for (const auto& [id, text] : entries)
    AppendMenuW(menu, id ? MF_STRING : MF_SEPARATOR, id, id ? ui_gettext(text) : nullptr);
  const RECT button = msg->pSender->GetPos();
  RECT window{};
  GetWindowRect(m_hWnd, &window);
  const UINT chosen =
      TrackPopupMenu(menu, TPM_RETURNCMD, window.left + button.left, window.top + button.bottom, 0, m_hWnd, nullptr);
  DestroyMenu(menu);
  return static_cast<int>(chosen);
}

void SOTessalyWnd::OpenLayoutPicker(CControlUI* button, UINT message) {
  RECT window{};
  GetWindowRect(m_hWnd, &window);
  const RECT rc = button->GetPos();
  auto* picker = new ViewerLayout;
  const HWND owner = m_hWnd;
  if (!picker->Create(owner, nullptr, WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW, window.left + rc.left,
                      window.top + rc.bottom, 100, 120)) {
    delete picker;
    return;
  }
  picker->OnPick += CDelegateBase(
      [owner, message](void* param) {
        const auto* grid = static_cast<const ViewerLayout::Grid*>(param);
        PostMessageW(owner, message, static_cast<WPARAM>(grid->rows), static_cast<LPARAM>(grid->columns));
        return true;
      },
      picker, "pick");
}

bool SOTessalyWnd::OnSeriesLayoutClick(void* param) {
  const int choice = SplitChoice(param, L"seriesLayoutIcon", {{1, L"1x1"}, {2, L"1x2"}, {3, L"1x3"}, {4, L"2x2"}});
  if (choice == -1) {
    OpenLayoutPicker(static_cast<TNotifyUI*>(param)->pSender, WM_SO_SERIES_LAYOUT);
  } else if (choice >= 1 && choice <= 4 && m_lumexa) {
    static const int grids[][2] = {{1, 1}, {1, 2}, {1, 3}, {2, 2}};
    m_lumexa->SetSeriesLayout(grids[choice - 1][0], grids[choice - 1][1]);
  }
  return true;
}

bool SOTessalyWnd::OnImageLayoutClick(void* param) {
  const int choice =
      SplitChoice(param, L"imageLayoutIcon", {{1, L"1x1"}, {2, L"2x2"}, {3, L"2x3"}, {4, L"3x3"}, {5, L"4x4"}});
  if (choice == -1) {
    OpenLayoutPicker(static_cast<TNotifyUI*>(param)->pSender, WM_SO_IMAGE_LAYOUT);
  } else if (choice >= 1 && choice <= 5) {
    static const int grids[][2] = {{1, 1}, {2, 2}, {2, 3}, {3, 3}, {4, 4}};
    if (ISOSeriesWnd* target = ActiveOrFirstSeriesWnd())
      target->SetImageLayout(grids[choice - 1][0], grids[choice - 1][1]);
  }
  return true;
}

std::string SOTessalyWnd::ShownFilePath() {
  if (!m_lumexa) return {};
  ISOSeriesWnd* series = m_lumexa->GetActiveSeriesWnd();
  if (!series || series->GetImageObjectCount() < 1) series = m_lumexa->GetSeriesWnd(0);
  ISOImageWnd* imageWnd = series ? series->GetImageWnd(0) : nullptr;
  ISOImageObject* image = imageWnd ? imageWnd->GetImageObject() : nullptr;
  ISODcmObject* object = image ? image->GetDcmObject() : nullptr;
  const char* path = object ? object->GetFilePath() : nullptr;
  return path ? path : "";
}

bool SOTessalyWnd::OnTagClick(void* param) {
  const int choice = SplitChoice(param, L"tagIcon", {{1, L"Annotations"}, {2, L"Show DICOM tags"}});
  if (choice == -1 || choice == 1) {
    m_annotations = !m_annotations;
    if (m_lumexa) m_lumexa->ShowOverInfo(m_annotations);
  } else if (choice == 2) {
    StartTagViewer(PluginFolder() + "Velstrom", ShownFilePath());
  }
  return true;
}

bool SOTessalyWnd::OnRotateClick(void* param) {
  const int choice = SplitChoice(param, L"rotateIcon",
                                 {{1, L"Rotate 90°CCW"},
                                  {2, L"Rotate 90°CW"},
                                  {0, nullptr},
                                  {3, L"Flip horizontal"},
                                  {4, L"Flip vertical"},
                                  {0, nullptr},
                                  {5, L"Clear transformations"}});
  if (!m_lumexa) return true;
  switch (choice) {
    case -1:
    case 1:
      m_lumexa->Rotate(true);
      break;
    case 2:
      m_lumexa->Rotate(false);
      break;
    case 3:
      m_lumexa->FlipX();
      break;
    case 4:
      m_lumexa->FlipY();
      break;
    case 5:
      m_lumexa->ResetTransfer();
      break;
    default:
      break;
  }
  return true;
}

void SOTessalyWnd::ToggleTool(const wchar_t* icon, SOMouseMode2D mode) {
  auto* option = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(icon));
  if (!option || !m_lumexa) return;
  option->Selected(!option->IsSelected(), true);
  m_lumexa->SetMouseMode2D(option->IsSelected() ? mode : SOMouseModeNone);
}

bool SOTessalyWnd::OnWWClick(void* param) {
  std::vector<std::pair<UINT, const wchar_t*>> entries{{1, L"Default window"}, {0, nullptr}};
  for (const auto& preset : WindowPresets()) entries.emplace_back(preset.id, preset.text);
  entries.emplace_back(0, nullptr);
  entries.emplace_back(9, L"Negative");
  const int choice = SplitChoice(param, L"wwIcon", entries);
  if (choice == -1) {
    ToggleTool(L"wwIcon", SOMouseModeWW);
  } else if (m_lumexa && choice == 1) {
    m_lumexa->ResetWW();
  } else if (m_lumexa && choice == 9) {
    m_lumexa->Inverse();
  } else if (m_lumexa) {
    for (const auto& preset : WindowPresets())
      if (static_cast<int>(preset.id) == choice) m_lumexa->WW(preset.center, preset.width);
  }
  return true;
}

bool SOTessalyWnd::OnZoomClick(void* param) {
  if (ClickOf(param)) ToggleTool(L"zoomIcon", SOMouseModeZoom);
  return true;
}

bool SOTessalyWnd::OnValueClick(void* param) {
  if (ClickOf(param)) ToggleTool(L"valueIcon", SOMouseModeValue);
  return true;
}

bool SOTessalyWnd::OnPanClick(void* param) {
  if (ClickOf(param)) ToggleTool(L"panIcon", SOMouseModePan);
  return true;
}

bool SOTessalyWnd::OnGraphicClick(void* param) {
  static const SOMouseMode2D kModes[] = {SOMouseModeLength, SOMouseModeEllipse, SOMouseModeRectangle,
                                         SOMouseModeAngle};
  const int choice = SplitChoice(
      param, L"graphicTab",
      {{1, L"Length"}, {2, L"Ellipse"}, {3, L"Rectangle"}, {4, L"Angle"}, {0, nullptr}, {5, L"Remove all"}});
  auto* tab = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"graphicTab"));
  if (!tab || !m_lumexa) return true;
  if (choice == -1) {
    const int page = tab->GetCurSel();
    auto* option = dynamic_cast<COptionUI*>(tab->GetItemAt(page));
    if (!option || page < 0 || page > 3) return true;
    option->Selected(!option->IsSelected(), true);
    m_lumexa->SetMouseMode2D(option->IsSelected() ? kModes[page] : SOMouseModeNone);
  } else if (choice >= 1 && choice <= 4) {
    tab->SelectItem(choice - 1);
    if (auto* option = dynamic_cast<COptionUI*>(tab->GetItemAt(choice - 1))) option->Selected(true, true);
    m_lumexa->SetMouseMode2D(kModes[choice - 1]);
  } else if (choice == 5) {
    m_lumexa->ClearGraphics();
  }
  return true;
}

bool SOTessalyWnd::OnCaptureClick(void* param) {
  const int choice = SplitChoice(
      param, L"cameraIcon", {{1, L"Capture Image"}, {2, L"Capture Series"}, {3, L"Capture All"}});
  if (choice == 0 || !m_lumexa) return true;
  const int kind = choice == -1 ? 0 : choice - 1;
  ISOImageObject* image = nullptr;
  HBITMAP bitmap = m_lumexa->Capture(kind, &image);
  if (!bitmap) return true;
  CCaptureDlg::Run(m_hWnd, bitmap, image ? image->GetDcmObject() : nullptr, g_host, L"2d/capture_dlg.xml");
  DeleteObject(bitmap);
  return true;
}
