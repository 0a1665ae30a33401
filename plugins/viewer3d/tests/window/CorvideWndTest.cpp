#include "SOCorvideWnd.h"

#include "DicomFixtures.h"
#include "Gossamy.h"
#include "ISODcmDataCenter.h"
#include "SOWinQt.h"
#include "TestSupport.h"
#include "TissuePresetStore.h"
#include "UIGettext.h"
#include "UITestDriver.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QWidget>
#include <QMimeData>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;
using namespace DuiLib;

namespace {

// Records what the window asks of its visual control.
class FakeVisual : public ISOVisualCtrl {
 public:
  std::vector<std::string> calls;
  std::vector<std::string> loaded;
  std::vector<std::string> labels;
  V3Palette palette;  // the palette in use
  std::vector<std::pair<V3Palette, bool>> palettes;
  bool gpu = false;
  bool shown3D = true;
  int layout = 0;
  ISODcmObject* object = nullptr;
  std::vector<int> captured;

  void Log(const std::string& call) { calls.push_back(call); }
  HWND Create(HWND, int, int, int, int) override { return nullptr; }
  bool Move(int, int, int, int) override { return true; }
  bool LoadFolder(const char*) override { return true; }
  bool LoadFiles(SOArray<SOString>* paths) override {
    Log("LoadFiles");
    loaded.clear();
    for (int i = 0; i < paths->GetLength(); ++i) loaded.emplace_back((*paths)[i].c_str());
    return true;
  }
  bool LoadPhaseFiles(SOArray<SOString>*) override { return true; }
  bool StartCine() override { return false; }
  bool StopCine() override { return false; }
  void Clear() override { Log("Clear"); }
  void RotateH(float a) override { Log("RotateH " + std::to_string(a)); }
  void RotateV(float a) override { Log("RotateV " + std::to_string(a)); }
  void RotateToSagittal() override { Log("RotateToSagittal"); }
  void RotateToCoronal() override { Log("RotateToCoronal"); }
  void RotateToAxial() override { Log("RotateToAxial"); }
  void RotateToZ() override {}
  void RotateToX() override {}
  void RotateToY() override {}
  void RotateToBack() override { Log("RotateToBack"); }
  void StepOrigin(float d) override { Log("StepOrigin " + std::to_string(d)); }
  void SetViewAngle(float a) override { Log("SetViewAngle " + std::to_string(a)); }
  void SetRenderQuality(int q) override { Log("SetRenderQuality " + std::to_string(q)); }
  void SetColorPreset(int) override {}
  void SetPalette(const V3Palette* p, bool render) override {
    palette = *p;
    palettes.emplace_back(*p, render);
  }
  bool GetPalette(V3Palette& p) override {
    p = palette;
    return true;
  }
  bool SetRenderMode(int mode) override {
    Log("SetRenderMode " + std::to_string(mode));
    return true;
  }
  void RotateScreen(float d) override { Log("RotateScreen " + std::to_string(d)); }
  void Show3DView(bool show) override {
    shown3D = show;
    Log(std::string("Show3DView ") + (show ? "1" : "0"));
  }
  int Is3DViewShown() override { return shown3D; }
  void SetLayout(int l) override {
    layout = l;
    Log("SetLayout " + std::to_string(l));
  }
  int GetLayout() override { return layout; }
  void SetToolMode(int) override {}
  void SetMouseLeft(const char*) override {}
  void Set3DMouseLeft(const char* p) override { Log(std::string("Set3DMouseLeft ") + p); }
  void SetImagingType(int) override {}
  void ClearGraphics() override {}
  Engine3D* GetEngine3D() override { return nullptr; }
  HBITMAP Capture(int view) override {
    captured.push_back(view);
    return nullptr;
  }
  void CopyToClipboard(bool) override {}
  void ShowOverInfo(bool s) override { Log(std::string("ShowOverInfo ") + (s ? "1" : "0")); }
  void Show3DMPR(bool s, bool redraw) override {
    Log(std::string("Show3DMPR ") + (s ? "1" : "0") + (redraw ? "1" : "0"));
  }
  void Show3DBox(bool s) override { Log(std::string("Show3DBox ") + (s ? "1" : "0")); }
  void ResetVisibleBox() override { Log("ResetVisibleBox"); }
  void ShowMPRCross(bool s) override { Log(std::string("ShowMPRCross ") + (s ? "1" : "0")); }
  int GetObjectCount() override { return object ? 1 : 0; }
  ISODcmObject* GetObject(int) override { return object; }
  ISOImageObject* GetImageObject(int) override { return nullptr; }
  void SetSlicesSpacing(float s) override { Log("SetSlicesSpacing " + std::to_string(s)); }
  void SetSlicesThickness(float t) override { Log("SetSlicesThickness " + std::to_string(t)); }
  int AddSlices(int) override { return -1; }
  bool AddSlices(SOArray<SOString>* l) override {
    Log("AddSlices");
    for (int i = 0; i < l->GetLength(); ++i) labels.emplace_back((*l)[i].c_str());
    return true;
  }
  bool SetSliceText(int, const char*) override { return false; }
  void DeleteAllSlices() override { Log("DeleteAllSlices"); }
  void SetSlabType(int) override {}
  int GetSlabType() override { return 0; }
  bool SupportGPU() override { return gpu; }
  bool SetGPUEnabled(bool on) override {
    Log(std::string("SetGPUEnabled ") + (on ? "1" : "0"));
    return true;
  }
  bool IsGPUEnabled() override { return false; }
  bool ClearCut() override {
    Log("ClearCut");
    return true;
  }
  void RegisterCallback(ISOVisualCtrlCallback*) override {}
  void UnRegisterCallback(ISOVisualCtrlCallback*) override {}
};

bool Has(const std::vector<std::string>& calls, const std::string& call) {
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

class CorvideWndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orvanta::test::EnsureQtApp();
    const fs::path bin = orvanta::test::ProgramFolder();
    CPaintManagerUI::SetResourcePath(SOWin::FromUtf8((bin / "skin").string() + "/").c_str());
    ::setenv("XDG_CONFIG_HOME", orvanta::test::MakeTempDir("config").c_str(), 1);
  }
  void TearDown() override {
    SOWin::SetPopupMenuHook(nullptr);
    SOWin::SetFileChooserHook({});
  }

  // A window over a fake control; gpu says whether the control has a device.
  std::unique_ptr<SOCorvideWnd> Open(bool gpu = false) {
    fake = new FakeVisual;
    fake->gpu = gpu;
    auto window = std::make_unique<SOCorvideWnd>([this] { return fake; }, [](ISOVisualCtrl* c) { delete c; });
    window->Create(nullptr, L"SOCorvideWnd", WS_POPUP | WS_VISIBLE, WS_EX_ACCEPTFILES, 0, 0, 1200, 760);
    UITest::ProcessEvents(20);
    return window;
  }
  CPaintManagerUI& PM(SOCorvideWnd& w) { return *w.GetPaintManager(); }
  void Click(SOCorvideWnd& w, const wchar_t* name) {
    ASSERT_TRUE(UITest::Click(PM(w), name)) << SOWin::ToUtf8(name);
    UITest::ProcessEvents(20);
  }
  POINT Inside(SOCorvideWnd& w, const wchar_t* name) {
    const RECT r = PM(w).FindControl(name)->GetPos();
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  POINT Outside(SOCorvideWnd& w, const wchar_t* name) {
    const RECT r = PM(w).FindControl(name)->GetPos();
    return POINT{r.right - 3, (r.top + r.bottom) / 2};
  }
  // The next menu answers `id` and keeps its texts.
  void AnswerMenu(UINT id) {
    SOWin::SetPopupMenuHook([id](HMENU, int, int, HWND) { return id; });
  }

  FakeVisual* fake = nullptr;
};

}  // namespace

TEST_F(CorvideWndTest, CommandsLoadAndAnswer) {
  auto w = Open();
  const fs::path dir = orvanta::test::MakeTempDir("ct");
  fs::create_directories(dir / "sub");
  std::ofstream(dir / "a.dcm") << "x";
  std::ofstream(dir / "sub" / "b.dcm") << "x";

  EXPECT_TRUE(w->OnCommand("LOADFILES", const_cast<char*>("/d/a|/d/b|/d/c")));
  EXPECT_EQ(fake->loaded, (std::vector<std::string>{"/d/a", "/d/b", "/d/c"}));
  EXPECT_EQ(fake->calls.at(fake->calls.size() - 4), "Clear");
  EXPECT_TRUE(dynamic_cast<COptionUI*>(PM(*w).FindControl(L"vrIcon"))->IsSelected());

  fake->loaded.clear();
  EXPECT_TRUE(w->OnCommand("LOADDIR", const_cast<char*>(dir.c_str())));
  EXPECT_EQ(fake->loaded.size(), 2u);

  fake->calls.clear();
  EXPECT_FALSE(w->OnCommand("LOADFILES", nullptr));
  EXPECT_FALSE(w->OnCommand("LOADDIR", const_cast<char*>((dir / "missing").c_str())));
  EXPECT_FALSE(w->OnCommand("loaddir", const_cast<char*>(dir.c_str())));
  EXPECT_FALSE(w->OnMessage(SOMSG_VIEW_FILES, nullptr, nullptr));
  EXPECT_TRUE(fake->calls.empty());

  // No control: nothing can be loaded, and the answer says so.
  SOCorvideWnd bare([] { return nullptr; }, [](ISOVisualCtrl*) {});
  EXPECT_FALSE(bare.OnCommand("LOADFILES", const_cast<char*>("/d/a")));
}

// Without a device the option is disabled and its stored value neither read nor written; with
// one, only the exact text "true" turns it on.
TEST_F(CorvideWndTest, GPUOption) {
  struct Case {
    bool device;
    const wchar_t* stored;
    bool on;
  };
  const Case cases[] = {{true, L"true", true}, {true, L"TRUE", false}, {true, nullptr, false}, {false, L"true", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored ? SOWin::ToUtf8(c.stored) : "absent");
    ::setenv("XDG_CONFIG_HOME", orvanta::test::MakeTempDir("config").c_str(), 1);
    if (c.stored) Gossamy::WriteHKCU(L"GPUEnable", c.stored);
    auto w = Open(c.device);
    auto* check = dynamic_cast<COptionUI*>(PM(*w).FindControl(L"GPUCheckOption"));
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->IsEnabled(), c.device);
    EXPECT_EQ(check->IsSelected(), c.on);
    EXPECT_EQ(Has(fake->calls, "SetGPUEnabled 1"), c.on);
    EXPECT_EQ(Has(fake->calls, "SetGPUEnabled 0"), c.device && !c.on);
    if (!c.device) {
      EXPECT_FALSE(UITest::Click(PM(*w), L"GPUCheckOption"));  // disabled
      UITest::ProcessEvents(20);
      std::wstring value;
      ASSERT_TRUE(Gossamy::ReadHKCU(L"GPUEnable", value));
      EXPECT_EQ(value, L"true");  // untouched
      EXPECT_FALSE(Has(fake->calls, "SetGPUEnabled 1"));
    }
  }
  ::setenv("XDG_CONFIG_HOME", orvanta::test::MakeTempDir("config").c_str(), 1);
  auto w = Open(true);
  Click(*w, L"GPUCheckOption");
  std::wstring value;
  ASSERT_TRUE(Gossamy::ReadHKCU(L"GPUEnable", value));
  EXPECT_EQ(value, L"true");
  EXPECT_TRUE(dynamic_cast<COptionUI*>(PM(*w).FindControl(L"GPUIconOption"))->IsSelected());
}

TEST_F(CorvideWndTest, EndoscopyKeepsAndRestoresThePalette) {
  auto w = Open();
  const TissuePreset bone = TissuePresetStore::BuiltIn("Bone");
  fake->palette = bone.palette;
  w->ShowVEPage();
  ASSERT_EQ(fake->palette.points.count, 4u);
  EXPECT_EQ(fake->palette.points.data[0].value, -769);  // "Endo"
  EXPECT_EQ(Has(fake->calls, "SetRenderMode 1"), true);
  w->ShowVRPage();
  EXPECT_EQ(fake->palette.points.data[0].value, 145);  // Bone again
  EXPECT_FALSE(fake->palettes.back().second);          // no render of its own
  // VE twice: what VR restores is the VE palette.
  w->ShowVEPage();
  w->ShowVEPage();
  EXPECT_EQ(w->KeptVRPalette().points.data[0].value, -769);
}

TEST_F(CorvideWndTest, FieldsClampAndApply) {
  auto w = Open();
  struct Case {
    const wchar_t* field;
    const wchar_t* typed;
    const wchar_t* shown;
    std::string call;
  };
  const Case cases[] = {
      {L"sliceSpacingEditCombo", L"250", L"100", "SetSlicesSpacing 100.000000"},
      {L"sliceSpacingEditCombo", L"0", L"1", "SetSlicesSpacing 1.000000"},
      {L"sliceThicknessEditCombo", L"0.04", L"0.1", "SetSlicesThickness 0.100000"},
      {L"sliceThicknessEditCombo", L"12", L"10.0", "SetSlicesThickness 10.000000"},
      {L"viewAngleEditCombo", L"200", L"175", "SetViewAngle 175.000000"},
      {L"stepLengthEditCombo", L"3.14159", L"3.1", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(SOWin::ToUtf8(c.typed));
    fake->calls.clear();
    PM(*w).FindControl(c.field)->SetText(c.typed);
    w->OnFieldLeft(c.field);
    EXPECT_EQ(std::wstring(PM(*w).FindControl(c.field)->GetText()), c.shown);
    if (!c.call.empty()) {
      EXPECT_EQ(fake->calls, std::vector<std::string>{c.call});
    }
  }
  // A typed value is applied on Enter, and when the keyboard goes to another window: a view
  // takes it when clicked, as the image windows do.
  w->ShowVEPage();
  fake->calls.clear();
  ASSERT_TRUE(UITest::SetText(PM(*w), L"viewAngleEditCombo", L"30"));
  ASSERT_TRUE(UITest::PressReturn(PM(*w), L"viewAngleEditCombo"));
  EXPECT_EQ(fake->calls, std::vector<std::string>{"SetViewAngle 30.000000"});
  WNDCLASSEXW viewClass{};
  viewClass.cbSize = sizeof(viewClass);
  viewClass.lpfnWndProc = [](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (msg == WM_LBUTTONDOWN) ::SetFocus(hwnd);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  };
  viewClass.lpszClassName = L"CorvideTestView";
  RegisterClassExW(&viewClass);
  HWND view = CreateWindowExW(0, L"CorvideTestView", L"", WS_CHILD | WS_VISIBLE, 500, 400, 200, 200, w->GetHWND(),
                              nullptr, nullptr, nullptr);
  ASSERT_NE(view, nullptr);
  w->ShowMPRPage();
  ASSERT_TRUE(UITest::SetText(PM(*w), L"sliceSpacingEditCombo", L"7"));
  fake->calls.clear();
  ASSERT_TRUE(UITest::ClickWindow(view, POINT{100, 100}));
  EXPECT_EQ(fake->calls, std::vector<std::string>{"SetSlicesSpacing 7.000000"});
  DestroyWindow(view);

  // The control's slab lines report their thickness into the field.
  w->OnSliceThicknessChanged(2.46f);
  EXPECT_EQ(std::wstring(PM(*w).FindControl(L"sliceThicknessEditCombo")->GetText()), L"2.5");
  w->ShowVEPage();
  fake->calls.clear();
  Click(*w, L"viewInBtn");
  EXPECT_EQ(fake->calls, std::vector<std::string>{"StepOrigin " + std::to_string(3.1f)});
}

TEST_F(CorvideWndTest, SplitButtonsAndMenus) {
  auto w = Open();
  // MPR planes: the direct toggle clips on one side, the menu on the other.
  dynamic_cast<CTabLayoutUI*>(PM(*w).FindControl(L"mprTab"))->SelectItem(1);
  fake->calls.clear();
  w->OnSplitButton(L"mprDownBtn", Inside(*w, L"mprTab"));
  EXPECT_EQ(fake->calls, (std::vector<std::string>{"Show3DMPR 10", "SetRenderMode 2"}));
  fake->calls.clear();
  w->OnSplitButton(L"mprDownBtn", Inside(*w, L"mprTab"));
  EXPECT_EQ(fake->calls, (std::vector<std::string>{"Show3DMPR 00", "SetRenderMode 0"}));
  const std::pair<UINT, std::string> menuModes[] = {{2, "SetRenderMode 5"}, {3, "SetRenderMode 7"}, {4, "SetRenderMode 6"}};
  for (const auto& [id, mode] : menuModes) {
    fake->calls.clear();
    AnswerMenu(id);
    w->OnSplitButton(L"mprDownBtn", Outside(*w, L"mprDownBtn"));
    EXPECT_EQ(fake->calls, (std::vector<std::string>{"Show3DMPR 10", mode}));
  }
  // The capture menu names the view the shared pane shows.
  fake->shown3D = true;
  EXPECT_EQ(std::wstring(w->CaptureMenuItems().at(3)), L"Capture VR");
  fake->shown3D = false;
  EXPECT_EQ(std::wstring(w->CaptureMenuItems().at(3)), L"Capture MPR");
  // Each entry captures its view; without a loaded object nothing is captured.
  w->OnSplitButton(L"cameraDownBtn", Inside(*w, L"cameraIcon"));
  EXPECT_TRUE(fake->captured.empty());
  fx::CtSeriesOptions ct;
  ct.slices = 1;
  ct.rows = ct.columns = 8;
  const auto one = fx::WriteCtSeries(orvanta::test::MakeTempDir("one"), ct);
  ISODcmDataCenter* center = CreateDcmDataCenter();
  SOArray<ISODcmObject*> objects;
  ASSERT_TRUE(center->LoadFile(one.files[0].c_str(), objects));
  fake->object = objects[0];
  struct {
    UINT id;  // 0: a click on the icon
    bool shown3D;
    int view;
  } captures[] = {{0, true, 5}, {1, true, 0}, {2, true, 1}, {3, false, 2}, {4, true, 4}, {4, false, 3}, {5, false, 5}};
  for (const auto& c : captures) {
    fake->captured.clear();
    fake->shown3D = c.shown3D;
    if (c.id) {
      AnswerMenu(c.id);
      w->OnSplitButton(L"cameraDownBtn", Outside(*w, L"cameraDownBtn"));
    } else {
      w->OnSplitButton(L"cameraDownBtn", Inside(*w, L"cameraIcon"));
    }
    EXPECT_EQ(fake->captured, std::vector<int>{c.view}) << c.id << " " << c.shown3D;
  }
  fake->object = nullptr;
  ReleaseDcmDataCenter(center);
  // Layout: direct toggles between the two, the menu picks.
  fake->calls.clear();
  w->OnSplitButton(L"layoutDownBtn", Inside(*w, L"layoutIcon"));
  AnswerMenu(1);
  w->OnSplitButton(L"layoutDownBtn", Outside(*w, L"layoutDownBtn"));
  EXPECT_EQ(fake->calls, (std::vector<std::string>{"SetLayout 1", "SetLayout 0"}));
  // Cut on, cut off.
  fake->calls.clear();
  w->OnSplitButton(L"cutDownBtn", Inside(*w, L"cutOpt"));
  w->OnSplitButton(L"cutDownBtn", Inside(*w, L"cutOpt"));
  EXPECT_EQ(fake->calls, (std::vector<std::string>{"Set3DMouseLeft CUT", "Set3DMouseLeft ROTATE"}));
  // Spine labels at once.
  w->ShowMPRPage();
  Click(*w, L"C1C7Btn");
  EXPECT_EQ(fake->labels, (std::vector<std::string>{"C1", "C2", "C3", "C4", "C5", "C6", "C7"}));
}

// The open-folder and open-files buttons and drops each replace what is loaded; the folder
// chooser starts from and remembers the folder the 2D viewer shares.
TEST_F(CorvideWndTest, OpenersAndDropsLoadTheirFiles) {
  auto w = Open();
  const fs::path dir = orvanta::test::MakeTempDir("open");
  fs::create_directories(dir / "series" / "sub");
  for (const fs::path& f : {dir / "series" / "a.dcm", dir / "series" / "sub" / "b.dcm", dir / "c.dcm", dir / "d e.dcm"})
    std::ofstream(f) << "x";
  const std::string series = (dir / "series").string(), c = (dir / "c.dcm").string(), d = (dir / "d e.dcm").string();
  const std::vector<std::string> below = {series + "/a.dcm", series + "/sub/b.dcm"};
  Gossamy::WriteHKCU("FolderOpenPath", "/before");

  struct Case {
    const char* name;
    const wchar_t* button;  // null: a drop of the paths in `answer`, one a line
    std::string answer;     // what the chooser gives; empty cancels
    std::vector<std::string> loaded;
  };
  const Case cases[] = {
      {"folder", L"openFolderBtn", series, below},
      {"folder cancelled", L"openFolderBtn", "", {}},
      {"two files", L"openFileBtn", c + "\n" + d, {c, d}},
      {"one file", L"openFileBtn", d, {d}},
      {"files cancelled", L"openFileBtn", "", {}},
      {"drop of a folder and a file", nullptr, series + "\n" + c, {below[0], below[1], c}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    fake->calls.clear();
    fake->loaded.clear();
    std::vector<std::string> asked;
    SOWin::SetFileChooserHook([&](const std::string& kind, const std::string& title) {
      asked.push_back(kind + ":" + title);
      return k.answer;
    });
    if (k.button) {
      Click(*w, k.button);
      EXPECT_EQ(asked, std::vector<std::string>{std::string(k.button == std::wstring(L"openFolderBtn")
                                                                ? "folder:Select folder"
                                                                : "open:")});
    } else {
      QMimeData mime;
      QList<QUrl> urls;
      std::stringstream lines(k.answer);
      for (std::string line; std::getline(lines, line);) urls << QUrl::fromLocalFile(QString::fromStdString(line));
      mime.setUrls(urls);
      QWidget* target = SOWin::WidgetOf(w->GetHWND());
      QDragEnterEvent enter(QPoint(600, 400), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(target, &enter);
      QDropEvent drop(QPointF(600, 400), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(target, &drop);
      UITest::ProcessEvents(20);
    }
    EXPECT_EQ(fake->loaded, k.loaded);
    EXPECT_EQ(Has(fake->calls, "Clear"), !k.loaded.empty());
  }
  std::string remembered;
  ASSERT_TRUE(Gossamy::ReadHKCU("FolderOpenPath", remembered));
  EXPECT_EQ(remembered, series);
}
