#pragma once

// The 3D viewer plug-in window: the 3D/MPR visual control in "lumexaPanel", the VR, MPR and VE
// pages of tools, the loading paths and the toolbar's buttons, menus and number fields.

#include "ISOPlugin.h"
#include "ISOVisualCtrl.h"
#include "UIlib.h"

#include <functional>
#include <string>
#include <vector>

class SOCorvideWnd : public DuiLib::WindowImplBase, public ISOPlugin, public ISOVisualCtrlCallback {
 public:
  using MakeCtrl = std::function<ISOVisualCtrl*()>;
  using FreeCtrl = std::function<void(ISOVisualCtrl*)>;
  // The visual control is made when the window initialises; by default the viewer library's.
  explicit SOCorvideWnd(MakeCtrl make = nullptr, FreeCtrl release = nullptr);
  ~SOCorvideWnd() override;

  // ISOPlugin
  const wchar_t* GetName() override { return SOPLUGIN_CORVIDE; }
  const wchar_t* GetTitle() override;
  const wchar_t* GetIcon() override { return L"3d/3D.png"; }
  void SetExecuter(ISOExecuter* host) override;
  ISOExecuter* GetExecuter() override { return m_host; }
  bool OnCommand(const char* command, void* data) override;
  bool OnMessage(int, void*, HWND) override { return false; }
  HWND CreateWnd(HWND parent, int x, int y, int cx, int cy) override;

  // ISOVisualCtrlCallback
  void OnSliceThicknessChanged(float thickness) override;

  void ShowVRPage();
  void ShowMPRPage();
  void ShowVEPage();

  // A click on a split button at a point in client coordinates: the direct action inside the
  // button's consulted control, else its menu.
  void OnSplitButton(const std::wstring& name, POINT point);
  // A number field left or confirmed with Enter: its text clamped, written back and applied.
  void OnFieldLeft(const std::wstring& name);
  // The capture of a view (0 axial, 1 coronal, 2 sagittal, 3 oblique, 4 3D, 5 the whole control).
  void CaptureView(int view);
  // The capture menu's entries (null for the separator): its fourth names the view the shared
  // pane shows, VR or the oblique MPR.
  std::vector<const wchar_t*> CaptureMenuItems();

  ISOVisualCtrl* Control() const { return m_ctrl; }
  float StepLength() const { return m_stepLength; }
  const V3Palette& KeptVRPalette() const { return m_keptVR; }
  const V3Palette& VEPalette() const { return m_ve; }

  const wchar_t* GetWindowClassName() const override { return L"SOCorvideWnd"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"3d/3d_main.xml"; }
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
  // The keyboard going to another window (a view, a dialog) leaves the focused field too.
  LRESULT OnKillFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  bool Load(const std::vector<std::string>& paths);
  void OnClick(DuiLib::CControlUI* sender, POINT point);
  void OnDropFiles(HDROP drop);
  void OpenFolder();
  void OpenFiles();
  void SetupGPU();
  void OnGPUChanged();
  int PopupMenu(DuiLib::CControlUI* below, const std::vector<const wchar_t*>& items);
  POINT BelowControl(DuiLib::CControlUI* control);
  void ToggleOption(const wchar_t* name);
  bool OptionSelected(const wchar_t* name);
  void OpenColorPanel(DuiLib::CControlUI* below);
  void AddLabels(std::initializer_list<const char*> labels);
  void PlaceControl();

  MakeCtrl m_make;
  FreeCtrl m_release;
  DuiLib::CEditUI* m_spacing = nullptr;
  DuiLib::CEditUI* m_thickness = nullptr;
  DuiLib::CEditUI* m_step = nullptr;
  DuiLib::CEditUI* m_angle = nullptr;
  DuiLib::COptionUI* m_gpuCheck = nullptr;
  DuiLib::COptionUI* m_gpuIcon = nullptr;
  float m_stepLength = 5.0f;
  DuiLib::CTabLayoutUI* m_tabs = nullptr;
  ISOExecuter* m_host = nullptr;
  ISOVisualCtrl* m_ctrl = nullptr;
  bool m_annotations = true;
  bool m_cross = true;
  V3Palette m_keptVR;
  V3Palette m_ve;
  std::wstring m_title;
  bool m_settingGPU = false;
};

// The host the plug-in was given (null before SetExecuter).
ISOExecuter* CorvideHost();
