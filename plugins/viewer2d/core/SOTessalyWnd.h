#pragma once

#include <string>
#include <vector>

#include "ISOLumexa.h"
#include "ISOPlugin.h"
#include "UIlib.h"

class CStudySeriesListUI;

// Grid messages the toolbar posts to the window: wParam rows, lParam columns.
constexpr UINT WM_SO_SERIES_LAYOUT = 1025;
constexpr UINT WM_SO_IMAGE_LAYOUT = 1026;

// The 2D viewer plug-in: the 2D view control in "lumexaPanel" beside the study/series list,
// with the toolbar that drives the control. Every loading path (the "LOADDIR" command, the
// view-files broadcast, drops, the open buttons) replaces what is shown. UI thread only, except
// CreatePlugin and SetExecuter.
class SOTessalyWnd : public DuiLib::WindowImplBase, public ISOViewerCtrlCallback, public ISOPlugin {
 public:
  SOTessalyWnd();
  ~SOTessalyWnd() override;

  // ISOPlugin
  const wchar_t* GetName() override { return SOPLUGIN_TESSALY; }
  const wchar_t* GetTitle() override { return m_PaintManager.GetTitle(); }
  const wchar_t* GetIcon() override { return L"2d/2D.png"; }
  void SetExecuter(ISOExecuter* host) override;
  ISOExecuter* GetExecuter() override { return m_host; }
  bool OnCommand(const char* command, void* data) override;
  bool OnMessage(int id, void* data, HWND owner) override;
  HWND CreateWnd(HWND parent, int x, int y, int cx, int cy) override;

  // ISOViewerCtrlCallback
  void OnFileLoaded(const SOViewerFileEvent* event) override;
  void OnLoadFinished(const SOViewerFinishEvent* event) override;
  void OnCleared() override;
  void OnSeriesActivated(ISOSeriesWnd* seriesWnd) override;

  // Hands the series' files, in instance order, to the 3D viewer and brings it to the front
  // when it takes them. False without a host or a series.
  static bool OpenSeriesIn3D(ISODcmSeries* series);
  void UpdateButtons(const char* seriesUID);

  ISOLumexa* GetLumexa() const { return m_lumexa; }
  CStudySeriesListUI* GetList() const { return m_list; }
  bool AnnotationsShown() const { return m_annotations; }
  // How often the list was refilled from the data centre (load progress checks).
  int RefillCount() const { return m_refills; }

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"2d/2d_main.xml"; }
  const wchar_t* GetWindowClassName() const override { return L"SOTessalyWnd"; }
  DuiLib::CControlUI* CreateControl(const wchar_t* className) override;
  void InitWindow() override;
  void OnFinalMessage(HWND hWnd) override;
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  void Subscribe(const wchar_t* name, bool (SOTessalyWnd::*handler)(void*));
  void Load(SOArray<SOString>& paths);
  void Refill();
  void OnDropFiles(HDROP drop);

  bool OnSeriesSelected(void* uid);
  bool OnLumexaPanelSize(void* control);
  bool OnOpenFolderClick(void* msg);
  bool OnOpenFileClick(void* msg);
  bool On3DClick(void* msg);
  bool OnReportClick(void* msg);
  bool OnFilmClick(void* msg);
  bool OnSeriesLayoutClick(void* msg);
  bool OnImageLayoutClick(void* msg);
  bool OnTagClick(void* msg);
  bool OnRotateClick(void* msg);
  bool OnWWClick(void* msg);
  bool OnPanClick(void* msg);
  bool OnZoomClick(void* msg);
  bool OnValueClick(void* msg);
  bool OnGraphicClick(void* msg);
  bool OnCaptureClick(void* msg);

  // The split-button rule: 0 when the click is not one to act on, -1 for the direct action,
  // else the chosen menu entry (or 0 when the menu was dismissed).
  int SplitChoice(void* msg, const wchar_t* icon, const std::vector<std::pair<UINT, const wchar_t*>>& entries);
  // Toggles an option with notification and sets mode when it is now selected, none when not.
  void ToggleTool(const wchar_t* icon, SOMouseMode2D mode);
  void OpenLayoutPicker(DuiLib::CControlUI* button, UINT message);
  ISOSeriesWnd* ActiveOrFirstSeriesWnd();
  std::string ShownFilePath();

  DuiLib::CControlUI* m_3dBtn = nullptr;
  DuiLib::CControlUI* m_reportBtn = nullptr;
  DuiLib::CControlUI* m_filmBtn = nullptr;
  ISOExecuter* m_host = nullptr;
  ISOLumexa* m_lumexa = nullptr;
  CStudySeriesListUI* m_list = nullptr;
  RECT m_panel{};  // where the control was last placed
  bool m_annotations = true;
  int m_refills = 0;
};

// "ORVANTA_DICOM_TAGS", then the file when there is one: the tag viewer's arguments.
std::vector<std::string> TagViewerArguments(const std::string& path);
// Starts the tag viewer program `program` with those arguments in its own folder, without a
// shell; false (and the reason on stderr) when it is missing or cannot start.
bool StartTagViewer(const std::string& program, const std::string& path);
// The folder of this plug-in library, ending in '/': the program folder.
std::string PluginFolder();
// The window presets of the window-tool menu: entry id -> centre and width.
struct WindowPreset {
  UINT id;
  const wchar_t* text;
  double center;
  double width;
};
const std::vector<WindowPreset>& WindowPresets();
