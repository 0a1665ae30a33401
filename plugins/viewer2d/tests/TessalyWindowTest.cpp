// The 2D viewer window: loading paths, list refills, hand-offs and the toolbar, driven as a user
// and the host would.

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "Gossamy.h"
#include "ISODcmObject.h"
#include "PatientRecord.h"
#include "SOWinQt.h"
#include "TessalyTestUtil.h"

using namespace DuiLib;
using namespace tessalytest;
namespace fx = orvanta::fixtures;

namespace {

fx::WrittenSeries WriteCt(const fs::path& dir, int slices, const std::string& study = "") {
  fx::CtSeriesOptions options;
  options.slices = slices;
  options.rows = options.columns = 32;
  options.studyUid = study;
  return fx::WriteCtSeries(dir, options);
}

bool Enabled(CPaintManagerUI& pm, const wchar_t* name) {
  CControlUI* c = pm.FindControl(name);
  return c && c->IsEnabled();
}

ISOImageObject* ShownImage(ISOLumexa* lumexa, int seriesWnd = 0) {
  ISOSeriesWnd* s = lumexa->GetSeriesWnd(seriesWnd);
  ISOImageWnd* w = s ? s->GetImageWnd(0) : nullptr;
  return w ? w->GetImageObject() : nullptr;
}

}  // namespace

TEST_F(Viewer, CommandsAndViewFilesLoadOnlyWhatTheyNameAndKeepTheImagesOtherwise) {
  const fs::path dir = orvanta::test::MakeTempDir("ct");
  const auto ct = WriteCt(dir / "a" / "b", 6);  // found recursively
  LoadDir(dir);
  ASSERT_NE(ShownImage(Lumexa()), nullptr);

  struct {
    const char* command;
    const char* data;
  } refused[] = {{"LOADDIR", ct.files[0].c_str()}, {"LOADDIR", nullptr}, {"loaddir", dir.c_str()},
                 {"LOADFILES", dir.c_str()},     {nullptr, dir.c_str()},  {"LOADDIR", "/no/such/folder"}};
  for (const auto& c : refused)
    EXPECT_FALSE(window->OnCommand(c.command, const_cast<char*>(c.data))) << (c.command ? c.command : "null");
  std::vector<std::string> none;
  EXPECT_TRUE(window->OnMessage(SOMSG_VIEW_FILES, &none, nullptr));
  EXPECT_TRUE(window->OnMessage(SOMSG_VIEW_FILES, nullptr, nullptr));
  EXPECT_FALSE(window->OnMessage(SOMSG_FILM_FILES, &none, nullptr));
  SOWin::PumpEvents(50);
  ASSERT_EQ(List()->GetStudies().size(), 1u);
  EXPECT_EQ(List()->GetStudies()[0]->series[0]->objectCount, 6);

  // The broadcast replaces what is shown with its files, in order.
  const auto other = WriteCt(orvanta::test::MakeTempDir("mr"), 3);
  std::vector<std::string> files{other.files[0].string(), other.files[1].string()};
  const int before = waiter.finished;
  EXPECT_TRUE(window->OnMessage(SOMSG_VIEW_FILES, &files, nullptr));
  ASSERT_TRUE(SOWin::PumpUntil([&] { return waiter.finished > before; }, 10000));
  ASSERT_EQ(List()->GetStudies().size(), 1u);
  EXPECT_EQ(List()->GetStudies()[0]->studyUID, other.studyUid);
  EXPECT_EQ(List()->GetStudies()[0]->series[0]->objectCount, 2);
}

TEST_F(Viewer, TheListIsRefilledEveryTenFilesAndAtTheEnd) {
  struct {
    int files;
    int refills;
  } cases[] = {{25, 3}, {5, 1}, {9, 2}};
  for (const auto& c : cases) {
    const fs::path dir = orvanta::test::MakeTempDir("refill");
    WriteCt(dir, c.files);
    const int before = window->RefillCount();
    LoadDir(dir);
    EXPECT_EQ(window->RefillCount() - before, c.refills) << c.files << " files";
    ASSERT_EQ(List()->GetStudies().size(), 1u);
    EXPECT_EQ(List()->GetStudies()[0]->series[0]->objectCount, c.files);
  }
}

TEST_F(Viewer, DroppedFoldersAndFilesReplaceTheImagesInDropOrder) {
  const auto first = WriteCt(orvanta::test::MakeTempDir("drop1"), 4);
  const fs::path loose = orvanta::test::MakeTempDir("drop2");
  const auto second = WriteCt(loose, 2);
  LoadDir(loose);
  // One folder, then two files of another study.
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(first.files[0].parent_path().string())),
                QUrl::fromLocalFile(QString::fromStdString(second.files[0].string())),
                QUrl::fromLocalFile(QString::fromStdString(second.files[1].string()))});
  // As the desktop delivers a drag: it enters, then drops.
  QWidget* target = SOWin::WidgetOf(window->GetHWND());
  QDragEnterEvent enter(QPoint(400, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &enter);
  QDropEvent drop(QPointF(400, 300), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  const int before = waiter.finished;
  QCoreApplication::sendEvent(target, &drop);
  ASSERT_TRUE(SOWin::PumpUntil([&] { return waiter.finished > before; }, 10000));
  ASSERT_EQ(List()->GetStudies().size(), 2u);
  EXPECT_EQ(List()->GetStudies()[0]->studyUID, first.studyUid);
  EXPECT_EQ(List()->GetStudies()[0]->series[0]->objectCount, 4);
  EXPECT_EQ(List()->GetStudies()[1]->series[0]->objectCount, 2);
}

// The open buttons go through the desktop's choosers; the folder is remembered for next time.
TEST_F(Viewer, OpenFolderAndOpenFilesLoadWhatWasChosen) {
  const fs::path dir = orvanta::test::MakeTempDir("open");
  WriteCt(dir / "f", 4);
  const auto loose = WriteCt(dir / "l", 3);
  struct {
    const wchar_t* button;
    std::string chosen;  // one path a line
    int objects;
  } cases[] = {{L"openFolderBtn", (dir / "f").string(), 4},
               {L"openFileBtn", loose.files[0].string() + "\n" + loose.files[1].string(), 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(SOWin::ToUtf8(c.button));
    int asked = 0;
    SOWin::SetFileChooserHook([&](const std::string&, const std::string&) { ++asked; return c.chosen; });
    const int before = waiter.finished;
    ASSERT_TRUE(UITest::Click(PM(), c.button));
    SOWin::SetFileChooserHook({});
    ASSERT_EQ(asked, 1);
    ASSERT_TRUE(SOWin::PumpUntil([&] { return waiter.finished > before; }, 10000));
    ASSERT_EQ(List()->GetStudies().size(), 1u);
    EXPECT_EQ(List()->GetStudies()[0]->series[0]->objectCount, c.objects);
  }
  std::string remembered;
  ASSERT_TRUE(Gossamy::ReadHKCU("FolderOpenPath", remembered));
  EXPECT_EQ(remembered, (dir / "f").string());
}

TEST_F(Viewer, HandOffButtonsFollowTheSeriesAndSendTheRightThings) {
  const fs::path dir = orvanta::test::MakeTempDir("handoff");
  const auto volume = WriteCt(dir / "v", 5);
  const auto thin = WriteCt(dir / "t", 3, volume.studyUid);
  fx::SrOptions sr;
  sr.studyUid = volume.studyUid;
  fx::WriteBasicTextSr(dir / "s", sr);
  EXPECT_FALSE(Enabled(PM(), L"3DBtn") || Enabled(PM(), L"reportBtn") || Enabled(PM(), L"filmBtn"));
  LoadDir(dir);
  ASSERT_EQ(List()->GetStudies().size(), 1u);
  const auto& rows = List()->GetStudies()[0]->series;
  ASSERT_EQ(rows.size(), 3u);

  struct {
    const char* what;
    std::string uid;
    bool threeD, report, film;
  } cases[] = {{"volume", volume.seriesUid, true, true, true},
               {"three slices", thin.seriesUid, false, true, true},
               {"report", "", false, true, false}};
  for (const auto& c : cases) {
    SeriesListItem* row = nullptr;
    for (auto* r : rows)
      if (c.uid.empty() ? IsImageSeries(r->series) == false : r->seriesUID == c.uid) row = r;
    ASSERT_NE(row, nullptr) << c.what;
    List()->SelectSeries(row->series);
    window->UpdateButtons(nullptr);
    EXPECT_EQ(Enabled(PM(), L"3DBtn"), c.threeD) << c.what;
    EXPECT_EQ(Enabled(PM(), L"reportBtn"), c.report) << c.what;
    EXPECT_EQ(Enabled(PM(), L"filmBtn"), c.film) << c.what;
  }

  // 3D: the files in instance order, joined by '|'; activated only when the viewer took them.
  for (SeriesListItem* r : rows)
    if (r->seriesUID == volume.seriesUid) List()->SelectSeries(r->series);
  window->UpdateButtons(nullptr);
  std::vector<std::pair<int, std::string>> byNumber;
  for (size_t k = 0; k < volume.files.size(); ++k) byNumber.emplace_back(volume.instanceNumbers[k], volume.files[k]);
  std::sort(byNumber.begin(), byNumber.end());
  std::string expected;
  for (const auto& [n, f] : byNumber) expected += (expected.empty() ? "" : "|") + f;
  host.answer = false;
  Click(L"3DBtn");
  host.answer = true;
  Click(L"3DBtn");
  ASSERT_EQ(host.commands.size(), 2u);
  EXPECT_EQ(host.commands[1].plugin, L"Corvide");
  EXPECT_EQ(host.commands[1].command, "LOADFILES");
  EXPECT_EQ(host.commands[1].text, expected);
  EXPECT_EQ(host.activated, std::vector<std::wstring>{L"Corvide"});

  // Film: one series whose instances point at their files.
  PatientRecord sent;
  host.onBroadcast = [&](int id, void* data) {
    if (id == SOMSG_STUDY_FILM) sent = *static_cast<PatientRecord*>(data);
  };
  Click(L"filmBtn");
  ASSERT_EQ(sent.series.size(), 1u);
  ASSERT_EQ(sent.series[0].instances.size(), 5u);
  for (const auto& instance : sent.series[0].instances)
    EXPECT_NE(std::find(volume.files.begin(), volume.files.end(), fs::path(instance.storePath)), volume.files.end());
  std::string reported;
  host.onBroadcast = [&](int id, void* data) {
    if (id == SOMSG_STUDY_REPORT) reported = static_cast<const char*>(data);
  };
  Click(L"reportBtn");
  EXPECT_NE(std::find(volume.files.begin(), volume.files.end(), fs::path(reported)), volume.files.end());

  // Clearing disables all three until something is selected again.
  Lumexa()->CloseAll();
  EXPECT_TRUE(List()->GetStudies().empty());
  EXPECT_FALSE(Enabled(PM(), L"3DBtn") || Enabled(PM(), L"reportBtn") || Enabled(PM(), L"filmBtn"));
}

TEST_F(Viewer, WindowPresetsAndToolTogglesActOnTheControl) {
  const fs::path dir = orvanta::test::MakeTempDir("tools");
  WriteCt(dir, 4);
  LoadDir(dir);
  Lumexa()->ActivateSeriesWnd(0);
  ISOImageObject* image = ShownImage(Lumexa());
  ASSERT_NE(image, nullptr);
  image->SetSelected(true);
  for (const auto& preset : WindowPresets()) {
    EXPECT_EQ(ChooseFromMenu(L"wwDownBtn", preset.id), 1);
    EXPECT_EQ(image->GetImagePresentationState().windowCenter, preset.center) << SOWin::ToUtf8(preset.text);
    EXPECT_EQ(image->GetImagePresentationState().windowWidth, preset.width) << SOWin::ToUtf8(preset.text);
  }
  EXPECT_EQ(WindowPresets().back().center, -500);  // "CT Lung"
  EXPECT_EQ(WindowPresets().back().width, 1500);

  // A click on an icon acts at once, without a menu.
  int menus = 0;
  SOWin::SetPopupMenuHook([&](HMENU, int, int, HWND) {
    ++menus;
    return 0u;
  });
  // The toolbar highlights the one tool in use, or none.
  auto lit = [&] {
    std::vector<std::wstring> on;
    for (const wchar_t* name : {L"wwIcon", L"zoomIcon", L"panIcon", L"valueIcon"})
      if (dynamic_cast<COptionUI*>(PM().FindControl(name))->IsSelected()) on.emplace_back(name);
    auto* tab = dynamic_cast<CTabLayoutUI*>(PM().FindControl(L"graphicTab"));
    for (int page = 0; page < tab->GetCount(); ++page)
      if (dynamic_cast<COptionUI*>(tab->GetItemAt(page))->IsSelected()) on.push_back(L"graphic" + std::to_wstring(page));
    return on;
  };
  using Lit = std::vector<std::wstring>;
  Click(L"wwIcon");
  EXPECT_EQ(Lumexa()->GetMouseMode2D(), SOMouseModeWW);
  Click(L"wwIcon");
  EXPECT_EQ(Lumexa()->GetMouseMode2D(), SOMouseModeNone);
  EXPECT_EQ(lit(), Lit{});
  Click(L"wwIcon");
  Click(L"zoomBtn");
  EXPECT_EQ(Lumexa()->GetMouseMode2D(), SOMouseModeZoom);
  EXPECT_EQ(lit(), Lit{L"zoomIcon"});
  Click(L"panBtn");
  EXPECT_EQ(Lumexa()->GetMouseMode2D(), SOMouseModePan);
  EXPECT_EQ(lit(), Lit{L"panIcon"});
  Click(L"panBtn");
  EXPECT_EQ(Lumexa()->GetMouseMode2D(), SOMouseModeNone);
  EXPECT_EQ(lit(), Lit{});
  Click(L"valueBtn");
  Click(L"graphicTab");
  EXPECT_EQ(Lumexa()->GetMouseMode2D(), SOMouseModeLength);
  EXPECT_EQ(lit(), Lit{L"graphic0"});
  EXPECT_EQ(menus, 0);
  SOWin::SetPopupMenuHook({});
  struct {
    UINT id;
    SOMouseMode2D mode;
    int page;
  } measures[] = {{4, SOMouseModeAngle, 3}, {2, SOMouseModeEllipse, 1}, {3, SOMouseModeRectangle, 2}};
  for (const auto& m : measures) {
    EXPECT_EQ(ChooseFromMenu(L"graphicDownBtn", m.id), 1);
    EXPECT_EQ(Lumexa()->GetMouseMode2D(), m.mode);
    EXPECT_EQ(dynamic_cast<CTabLayoutUI*>(PM().FindControl(L"graphicTab"))->GetCurSel(), m.page);
    EXPECT_EQ(lit(), Lit{L"graphic" + std::to_wstring(m.page)});
  }
  // Dismissing a menu changes nothing.
  EXPECT_EQ(ChooseFromMenu(L"graphicDownBtn", 0), 1);
  EXPECT_EQ(Lumexa()->GetMouseMode2D(), SOMouseModeRectangle);

  const bool shown = window->AnnotationsShown();
  Click(L"tagIcon");
  EXPECT_NE(window->AnnotationsShown(), shown);
  EXPECT_EQ(ChooseFromMenu(L"tagDownBtn", 1), 1);
  EXPECT_EQ(window->AnnotationsShown(), shown);
}

TEST_F(Viewer, GridMenusAndTheLayoutMessagesShapeTheControl) {
  const fs::path dir = orvanta::test::MakeTempDir("grid");
  WriteCt(dir, 4);
  LoadDir(dir);
  ChooseFromMenu(L"seriesLayoutDownBtn", 4);  // 2x2
  EXPECT_EQ(Lumexa()->GetSeriesWndCount(), 4);
  // No active series window: the image grid goes to window 0.
  for (int i = 0; i < Lumexa()->GetSeriesWndCount(); ++i) Lumexa()->GetSeriesWnd(i)->SetActive(false);
  ASSERT_EQ(Lumexa()->GetActiveSeriesWnd(), nullptr);
  ChooseFromMenu(L"imageLayoutDownBtn", 3);  // 2x3
  EXPECT_EQ(Lumexa()->GetSeriesWnd(0)->GetImageWndCount(), 6);
  SendMessageW(window->GetHWND(), WM_SO_SERIES_LAYOUT, 1, 3);
  EXPECT_EQ(Lumexa()->GetSeriesWndCount(), 3);
  EXPECT_NE(Lumexa()->GetActiveSeriesWnd(), nullptr);
  SendMessageW(window->GetHWND(), WM_SO_IMAGE_LAYOUT, 3, 3);
  EXPECT_EQ(Lumexa()->GetActiveSeriesWnd()->GetImageWndCount(), 9);
}

TEST(TagViewer, StartsTheProgramWithTheFileAsOneArgumentAndNoShell) {
  EXPECT_EQ(TagViewerArguments(""), std::vector<std::string>{"ORVANTA_DICOM_TAGS"});
  const fs::path dir = orvanta::test::MakeTempDir("velstrom");
  const fs::path program = dir / "Velstrom";
  const fs::path out = dir / "args.txt";
  {
    std::ofstream script(program);
    script << "#!/bin/sh\nprintf '%s\\n' \"$PWD\" \"$#\" \"$@\" > '" << out.string() << ".part'\nmv '" << out.string()
           << ".part' '" << out.string() << "'\n";
  }
  fs::permissions(program, fs::perms::owner_all);
  const std::string hostile = (dir / "a \"b\" $(touch pwned) ;c.dcm").string();
  ASSERT_TRUE(StartTagViewer(program.string(), hostile));
  for (int i = 0; i < 200 && !fs::exists(out); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::ifstream in(out);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{dir.string(), "2", "ORVANTA_DICOM_TAGS", hostile}));
  EXPECT_FALSE(fs::exists(dir / "pwned"));
  EXPECT_FALSE(StartTagViewer((dir / "Missing").string(), ""));
}
