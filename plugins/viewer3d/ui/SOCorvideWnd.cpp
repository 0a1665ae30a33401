#include "SOCorvideWnd.h"

#include "CCaptureDlg.h"
#include "ColorPanel.h"
#include "FieldClamp.h"
#include "Gossamy.h"
#include "Lumexa.h"
#include "SODialog.h"
#include "SOUtil.h"
#include "TissuePresetStore.h"
#include "UIGettext.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace DuiLib;

namespace {

ISOExecuter* g_host = nullptr;

std::string TextOf(CControlUI* control) {
  return control ? SOWin::ToUtf8(control->GetText().GetData()) : std::string();
}

// Every file below a folder, sorted so that a load is the same from run to run.
std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> files;
  SOUtil::FindFiles(folder.c_str(), files, true);
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

ISOExecuter* CorvideHost() { return g_host; }

SOCorvideWnd::SOCorvideWnd(MakeCtrl make, FreeCtrl release)
    : m_make(make ? std::move(make) : MakeCtrl(&CreateVisualCtrl)),
      m_release(release ? std::move(release) : FreeCtrl(&ReleaseVisualCtrl)) {}

SOCorvideWnd::~SOCorvideWnd() {
  if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
  if (m_ctrl) m_release(m_ctrl);
}

const wchar_t* SOCorvideWnd::GetTitle() {
  m_title = m_PaintManager.GetTitle() ? m_PaintManager.GetTitle() : L"";
  return m_title.c_str();
}

void SOCorvideWnd::SetExecuter(ISOExecuter* host) {
  m_host = host;
  g_host = host;
}

HWND SOCorvideWnd::CreateWnd(HWND parent, int x, int y, int cx, int cy) {
  return Create(parent, L"SOCorvideWnd", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                WS_EX_ACCEPTFILES, x, y, cx, cy);
}

void SOCorvideWnd::PlaceControl() {
  CControlUI* panel = m_PaintManager.FindControl(L"lumexaPanel");
  if (!panel || !m_ctrl) return;
  const RECT r = panel->GetPos();
  m_ctrl->Move(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void SOCorvideWnd::InitWindow() {
  CControlUI* panel = m_PaintManager.FindControl(L"lumexaPanel");
  if (panel)
    panel->OnSize += CDelegateBase(
        [this](void*) {
          PlaceControl();
          return true;
        },
        this, "lumexaPanelSize");
  m_ctrl = m_make ? m_make() : nullptr;
  if (m_ctrl) {
    const RECT r = panel ? panel->GetPos() : RECT{};
    m_ctrl->Create(m_hWnd, r.left, r.top, r.right - r.left, r.bottom - r.top);
    m_ctrl->RegisterCallback(this);
  }
  m_tabs = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"tabLayout"));
  m_spacing = dynamic_cast<CEditUI*>(m_PaintManager.FindControl(L"sliceSpacingEditCombo"));
  m_thickness = dynamic_cast<CEditUI*>(m_PaintManager.FindControl(L"sliceThicknessEditCombo"));
  m_step = dynamic_cast<CEditUI*>(m_PaintManager.FindControl(L"stepLengthEditCombo"));
  m_angle = dynamic_cast<CEditUI*>(m_PaintManager.FindControl(L"viewAngleEditCombo"));
  if (m_ctrl) {
    m_ctrl->SetSlicesSpacing(static_cast<float>(std::strtol(TextOf(m_spacing).c_str(), nullptr, 10)));
    m_ctrl->SetSlicesThickness(static_cast<float>(std::strtod(TextOf(m_thickness).c_str(), nullptr)));
  }
  m_stepLength = static_cast<float>(std::strtod(TextOf(m_step).c_str(), nullptr));
  if (m_ctrl) m_ctrl->SetViewAngle(static_cast<float>(std::strtod(TextOf(m_angle).c_str(), nullptr)));
  SetupGPU();
}

void SOCorvideWnd::SetupGPU() {
  m_gpuCheck = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(L"GPUCheckOption"));
  m_gpuIcon = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(L"GPUIconOption"));
  m_settingGPU = true;
  if (m_ctrl && m_ctrl->SupportGPU()) {
    if (m_gpuCheck) m_gpuCheck->SetEnabled(true);
    std::wstring value;
    const bool on = Gossamy::ReadHKCU(L"GPUEnable", value) && value == L"true";
    if (m_gpuCheck) m_gpuCheck->Selected(on);
    if (m_gpuIcon) m_gpuIcon->Selected(on);
    m_ctrl->SetGPUEnabled(on);
  } else {
    // Without a device the option stays off and its stored value is left alone.
    if (m_gpuCheck) {
      m_gpuCheck->SetEnabled(false);
      m_gpuCheck->Selected(false);
    }
    if (m_gpuIcon) m_gpuIcon->Selected(false);
  }
  m_settingGPU = false;
}

void SOCorvideWnd::OnGPUChanged() {
  if (m_settingGPU || !m_gpuCheck || !m_ctrl || !m_ctrl->SupportGPU()) return;
  const bool on = m_gpuCheck->IsSelected();
  Gossamy::WriteHKCU(L"GPUEnable", on ? L"true" : L"false");
  if (m_gpuIcon) m_gpuIcon->Selected(on);
  m_ctrl->SetGPUEnabled(on);
}

bool SOCorvideWnd::Load(const std::vector<std::string>& paths) {
  // Nothing is loaded without a control, and the sender learns it.
  if (!m_ctrl) return false;
  SOArray<SOString> list;
  for (const std::string& path : paths) list.Add(SOString(path.c_str()));
  m_ctrl->Clear();
  m_ctrl->LoadFiles(&list);
  ShowVRPage();
  return true;
}

bool SOCorvideWnd::OnCommand(const char* command, void* data) {
  if (!command || !data) return false;
  const char* text = static_cast<const char*>(data);
  if (std::string(command) == SOCMD_LOADDIR) {
    std::error_code ec;
    if (!std::filesystem::is_directory(text, ec)) return false;
    return Load(FilesBelow(text));
  }
  if (std::string(command) == SOCMD_LOADFILES) {
    std::vector<std::string> paths;
    SOArray<SOString> parts = SOUtil::Split(text, '|');
    for (int i = 0; i < parts.GetLength(); ++i) paths.emplace_back(parts[i].c_str());
    return Load(paths);
  }
  return false;
}

void SOCorvideWnd::OnSliceThicknessChanged(float thickness) {
  if (!m_thickness) return;
  wchar_t text[32];
  std::swprintf(text, 32, L"%.1f", thickness);
  m_thickness->SetText(text);
}

void SOCorvideWnd::ShowVRPage() {
  auto* icon = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(L"vrIcon"));
  if (!icon) return;
  icon->Selected(true);
  if (m_tabs) m_tabs->SelectItem(0);
  if (!m_ctrl) return;
  if (m_keptVR.points.count > 1) m_ctrl->SetPalette(&m_keptVR, false);
  m_ctrl->Show3DView(true);
  m_ctrl->SetRenderMode(0);
}

void SOCorvideWnd::ShowMPRPage() {
  auto* icon = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(L"mprIcon"));
  if (!icon) return;
  icon->Selected(true);
  if (m_tabs) m_tabs->SelectItem(1);
  if (m_ctrl) m_ctrl->Show3DView(false);
}

void SOCorvideWnd::ShowVEPage() {
  auto* icon = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(L"veIcon"));
  if (!icon) return;
  icon->Selected(true);
  if (m_tabs) m_tabs->SelectItem(2);
  if (!m_ctrl) return;
  m_ctrl->GetPalette(m_keptVR);
  if (m_ve.points.count < 2) m_ve = TissuePresetStore::Instance()->Endoscopy().at(0).palette;
  m_ctrl->SetPalette(&m_ve, false);
  m_ctrl->Show3DView(true);
  m_ctrl->SetRenderMode(1);
}

LRESULT SOCorvideWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (uMsg == WM_DROPFILES) {
    OnDropFiles(reinterpret_cast<HDROP>(wParam));
    bHandled = TRUE;
    return 0;
  }
  return WindowImplBase::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

LRESULT SOCorvideWnd::OnKillFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  if (CControlUI* focused = m_PaintManager.GetFocus()) OnFieldLeft(focused->GetName().GetData());
  return WindowImplBase::OnKillFocus(uMsg, wParam, lParam, bHandled);
}

void SOCorvideWnd::OnDropFiles(HDROP drop) {
  std::vector<std::string> paths;
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    // The whole path, however long.
    const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    ::DragQueryFileW(drop, i, path.data(), length + 1);
    path.resize(length);
    const std::string utf8 = SOWin::ToUtf8(path);
    std::error_code ec;
    if (std::filesystem::is_directory(utf8, ec)) {
      for (std::string& file : FilesBelow(utf8)) paths.push_back(std::move(file));
    } else {
      paths.push_back(utf8);
    }
  }
  ::DragFinish(drop);
  Load(paths);
}

void SOCorvideWnd::OpenFolder() {
  std::string start, folder;
  Gossamy::ReadHKCU("FolderOpenPath", start);
  if (!SODialog::BrowseForFolder(m_hWnd, ui_gettext(L"Select folder"), start, folder)) return;
  Gossamy::WriteHKCU("FolderOpenPath", folder.c_str());
  Load(FilesBelow(folder));
}

void SOCorvideWnd::OpenFiles() {
  std::vector<std::string> paths;
  if (SODialog::ChooseFiles(m_hWnd, L"DICOM \0*.*\0\0", 41600, paths)) Load(paths);
}

POINT SOCorvideWnd::BelowControl(CControlUI* control) {
  const RECT pos = control->GetPos();
  POINT at{pos.left, pos.bottom};
  ::ClientToScreen(m_hWnd, &at);
  return at;
}

int SOCorvideWnd::PopupMenu(CControlUI* below, const std::vector<const wchar_t*>& items) {
  HMENU menu = ::CreatePopupMenu();
  UINT id = 1;
  for (const wchar_t* item : items) {
    if (item)
      ::AppendMenuW(menu, MF_STRING, id++, ui_gettext(item));
    else
      ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  }
  const POINT at = BelowControl(below);
  const int chosen = ::TrackPopupMenu(menu, TPM_RETURNCMD, at.x, at.y, 0, m_hWnd, nullptr);
  ::DestroyMenu(menu);
  return chosen;
}

void SOCorvideWnd::ToggleOption(const wchar_t* name) {
  if (auto* option = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(name)))
    option->Selected(!option->IsSelected());
}

bool SOCorvideWnd::OptionSelected(const wchar_t* name) {
  auto* option = dynamic_cast<COptionUI*>(m_PaintManager.FindControl(name));
  return option && option->IsSelected();
}

void SOCorvideWnd::OnSplitButton(const std::wstring& name, POINT point) {
  static const std::pair<const wchar_t*, const wchar_t*> kConsulted[] = {
      {L"layoutDownBtn", L"layoutIcon"}, {L"cameraDownBtn", L"cameraIcon"}, {L"tagDownBtn", L"tagIcon"},
      {L"rotateDownBtn", L"rotateOpt"},  {L"cutDownBtn", L"cutOpt"},        {L"boxDownBtn", L"boxOpt"},
      {L"effectDownBtn", L"effectTab"},  {L"mprDownBtn", L"mprTab"}};
  CControlUI* button = m_PaintManager.FindControl(name.c_str());
  CControlUI* consulted = nullptr;
  for (const auto& [b, c] : kConsulted)
    if (name == b) consulted = m_PaintManager.FindControl(c);
  if (!button || !consulted) return;
  const RECT r = consulted->GetPos();
  const bool direct = ::PtInRect(&r, point);
  ISOVisualCtrl* v = m_ctrl;

  if (name == L"layoutDownBtn") {
    if (!v) return;
    if (direct) {
      v->SetLayout(v->GetLayout() == 0 ? 1 : 0);
    } else {
      const int id = PopupMenu(button, {L"[3|1] MPR,3D", L"[2|2] MPR,3D"});
      if (id == 1) v->SetLayout(0);
      if (id == 2) v->SetLayout(1);
    }
  } else if (name == L"cameraDownBtn") {
    if (direct) {
      CaptureView(5);
      return;
    }
    const bool shown = v && v->Is3DViewShown();
    const int id = PopupMenu(button, CaptureMenuItems());
    // Identifiers: 1-3 the planes, 4 oblique or 5 3D in the fourth place, 6 the whole control.
    if (id >= 1 && id <= 3) CaptureView(id - 1);
    if (id == 4) CaptureView(shown ? 4 : 3);
    if (id == 5) CaptureView(5);
  } else if (name == L"tagDownBtn") {
    if (direct || PopupMenu(button, {L"Annotations"}) == 1) {
      m_annotations = !m_annotations;
      if (v) v->ShowOverInfo(m_annotations);
    }
  } else if (name == L"rotateDownBtn") {
    if (direct) {
      ToggleOption(L"rotateOpt");
      if (v) v->Set3DMouseLeft("ROTATE");
      return;
    }
    const int id = PopupMenu(button, {L"Sagittal", L"Axial", L"Coronal", L"Turn back", nullptr, L"Screen 10° CCW",
                                      L"Screen 10° CW"});
    if (!v) return;
    switch (id) {
      case 1: v->RotateToSagittal(); break;
      case 2: v->RotateToAxial(); break;
      case 3: v->RotateToCoronal(); break;
      case 4: v->RotateToBack(); break;
      case 5: v->RotateScreen(10); break;
      case 6: v->RotateScreen(-10); break;
      default: break;
    }
  } else if (name == L"cutDownBtn") {
    if (direct) {
      ToggleOption(L"cutOpt");
      if (v) v->Set3DMouseLeft(OptionSelected(L"cutOpt") ? "CUT" : "ROTATE");
    } else if (PopupMenu(button, {L"Revert"}) == 1 && v) {
      v->ClearCut();
    }
  } else if (name == L"boxDownBtn") {
    if (direct) {
      ToggleOption(L"boxOpt");
      if (v) v->Show3DBox(OptionSelected(L"boxOpt"));
    } else if (PopupMenu(button, {L"Default Size"}) == 1 && v) {
      v->ResetVisibleBox();
    }
  } else if (name == L"effectDownBtn") {
    auto* tab = dynamic_cast<CTabLayoutUI*>(consulted);
    if (!tab) return;
    int page = -1;
    if (direct)
      page = tab->GetCurSel() != 0 ? 0 : 1;
    else
      page = PopupMenu(button, {L"Normal fast", L"HD(1024)"}) - 1;
    if (page < 0 || page > 1) return;
    tab->SelectItem(page);
    if (v) v->SetRenderQuality(page + 1);
  } else if (name == L"mprDownBtn") {
    auto* tab = dynamic_cast<CTabLayoutUI*>(consulted);
    if (!tab) return;
    static const int kDirectModes[] = {0, 2, 4, 3};
    static const int kMenuModes[] = {0, 5, 7, 6};
    if (direct) {
      auto* option = dynamic_cast<COptionUI*>(tab->GetItemAt(tab->GetCurSel()));
      if (!option) return;
      option->Selected(!option->IsSelected());
      if (!v) return;
      if (option->IsSelected()) {
        v->Show3DMPR(true, false);
        v->SetRenderMode(kDirectModes[tab->GetCurSel() & 3]);
      } else {
        v->Show3DMPR(false, false);
        v->SetRenderMode(0);
      }
      return;
    }
    const int id = PopupMenu(button, {L"MPR-3D", L"Axial-3D", L"Coronal-3D", L"Sagittal-3D"});
    if (id < 1 || id > 4) return;
    tab->SelectItem(id - 1);
    if (auto* option = dynamic_cast<COptionUI*>(tab->GetItemAt(id - 1))) option->Selected(true);
    if (!v) return;
    v->Show3DMPR(true, false);
    v->SetRenderMode(kMenuModes[id - 1]);
  }
}

std::vector<const wchar_t*> SOCorvideWnd::CaptureMenuItems() {
  const bool shown = m_ctrl && m_ctrl->Is3DViewShown();
  return {L"Capture Axial", L"Capture Coronal", L"Capture Sagittal", shown ? L"Capture VR" : L"Capture MPR", nullptr,
          L"Capture All"};
}

void SOCorvideWnd::CaptureView(int view) {
  ISODcmObject* source = m_ctrl ? m_ctrl->GetObject(0) : nullptr;
  if (!source) return;
  HBITMAP bitmap = m_ctrl->Capture(view);
  if (!bitmap) return;
  // The capture belongs to the loaded series' study, whichever view it shows.
  CCaptureDlg::Run(m_hWnd, bitmap, source, g_host, L"3d/capture_dlg.xml");
  ::DeleteObject(bitmap);
}

void SOCorvideWnd::AddLabels(std::initializer_list<const char*> labels) {
  if (!m_ctrl) return;
  SOArray<SOString> list;
  for (const char* label : labels) list.Add(SOString(label));
  m_ctrl->AddSlices(&list);
}

void SOCorvideWnd::OpenColorPanel(CControlUI* below) {
  ISOVisualCtrl* v = m_ctrl;
  corvide::ColorPanel::Open(m_hWnd, BelowControl(below), [v](const V3Palette& palette) {
    if (v) v->SetPalette(&palette, true);
  });
}

void SOCorvideWnd::OnFieldLeft(const std::wstring& name) {
  struct Rule {
    const wchar_t* name;
    bool integer;
    double low, high;
  };
  static const Rule kRules[] = {{L"sliceSpacingEditCombo", true, 1, 100},
                                {L"sliceThicknessEditCombo", false, 0.1, 10.0},
                                {L"stepLengthEditCombo", false, 0.1, 100.0},
                                {L"viewAngleEditCombo", true, 5, 175}};
  for (const Rule& rule : kRules) {
    if (name != rule.name) continue;
    CControlUI* field = m_PaintManager.FindControl(rule.name);
    if (!field) return;
    const std::string written = ClampField(TextOf(field), rule.integer, rule.low, rule.high);
    field->SetText(SOWin::FromUtf8(written).c_str());
    const double value = std::strtod(written.c_str(), nullptr);
    if (name == L"stepLengthEditCombo") {
      m_stepLength = static_cast<float>(value);
    } else if (m_ctrl) {
      if (name == L"sliceSpacingEditCombo") m_ctrl->SetSlicesSpacing(static_cast<float>(value));
      if (name == L"sliceThicknessEditCombo") m_ctrl->SetSlicesThickness(static_cast<float>(value));
      if (name == L"viewAngleEditCombo") m_ctrl->SetViewAngle(static_cast<float>(value));
    }
    return;
  }
}

void SOCorvideWnd::OnClick(CControlUI* sender, POINT point) {
  const std::wstring name = sender->GetName().GetData();
  if (name.size() > 7 && name.compare(name.size() - 7, 7, L"DownBtn") == 0) {
    OnSplitButton(name, point);
    return;
  }
  ISOVisualCtrl* v = m_ctrl;
  if (name == L"vrBtn") ShowVRPage();
  else if (name == L"mprBtn") ShowMPRPage();
  else if (name == L"veBtn") ShowVEPage();
  else if (name == L"openFolderBtn") OpenFolder();
  else if (name == L"openFileBtn") OpenFiles();
  else if (name == L"colorBtn") OpenColorPanel(sender);
  else if (name == L"C1C7Btn") AddLabels({"C1", "C2", "C3", "C4", "C5", "C6", "C7"});
  else if (name == L"L1S1Btn") AddLabels({"L1", "L2", "L3", "L4", "L5", "S1"});
  else if (!v) return;
  else if (name == L"axisBtn") {
    m_cross = !m_cross;
    v->ShowMPRCross(m_cross);
  } else if (name == L"zoomBtn") {
    ToggleOption(L"zoomOpt");
    v->Set3DMouseLeft(OptionSelected(L"zoomOpt") ? "ZOOM" : "ROTATE");
  } else if (name == L"clearSlicesBtn") v->DeleteAllSlices();
  else if (name == L"viewUpBtn") v->RotateV(0.1f);
  else if (name == L"viewDownBtn") v->RotateV(-0.1f);
  else if (name == L"viewLeftBtn") v->RotateH(-0.1f);
  else if (name == L"viewRightBtn") v->RotateH(0.1f);
  else if (name == L"viewRotateBtn") v->RotateScreen(-1);
  else if (name == L"viewReturnBtn") v->RotateToBack();
  else if (name == L"viewInBtn") v->StepOrigin(m_stepLength);
  else if (name == L"viewOutBtn") v->StepOrigin(-m_stepLength);
}

void SOCorvideWnd::Notify(TNotifyUI& msg) {
  if (!msg.pSender) return;
  if (msg.sType == L"click") {
    OnClick(msg.pSender, msg.ptMouse);
    return;
  }
  if (msg.sType == L"killfocus" || msg.sType == L"return") {
    OnFieldLeft(msg.pSender->GetName().GetData());
    return;
  }
  if (msg.sType == L"selectchanged" && msg.pSender == m_gpuCheck) {
    OnGPUChanged();
    return;
  }
  WindowImplBase::Notify(msg);
}
