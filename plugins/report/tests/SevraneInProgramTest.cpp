// The report plug-in as the program runs it: loaded by the shell from the program folder and
// reached only through the host's commands.

#include <gtest/gtest.h>

#include <fstream>

#include "CMainFrameWnd.h"
#include "FrameTestSupport.h"
#include "IKelvast.h"
#include "ReportWindowTestUtil.h"
#include "SOReportWindow.h"

using namespace DuiLib;
using namespace reportwnd;

TEST(SevraneInProgram, OpenEditAndSaveAReportThroughTheHost) {
  FreshUser();
  const fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  if (ct.empty()) GTEST_SKIP() << "pydicom test files missing";

  const fs::path dir = orvanta::test::ProgramWithPlugins({"libSevrane.so"});
  auto frame = orvanta::test::StartFrame(dir, {"libSevrane.so"}, 20);
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(frame->GetPlugins().size(), 1u);
  const SOPluginItem& item = frame->GetPlugins()[0];
  EXPECT_EQ(item.name, L"Sevrane");
  EXPECT_EQ(item.icon, L"sr/SR.png");
  ASSERT_NE(item.window, nullptr);
  auto* window = dynamic_cast<WindowImplBase*>(reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(item.window, GWLP_USERDATA)));
  ASSERT_NE(window, nullptr);
  CPaintManagerUI& pm = *window->GetPaintManager();

  // The study database's road: a new report from an image, sent unsaved, then the plug-in shown.
  IWendrel* maker = CreateWendrel();
  maker->Create(frame->GetHWND(), 0, 0, 300, 200);
  ShowWindow(maker->GetHWND(), SW_HIDE);
  ISOReport* made = maker->NewReportFromImage(ct.string().c_str());
  ASSERT_NE(made, nullptr);
  SROpenRequest request;
  request.sr = made->GetSR();
  request.modified = true;
  EXPECT_TRUE(frame->SendCommand(L"Sevrane", SOCMD_OPEN_SR_FILEG, &request));
  EXPECT_TRUE(frame->ActivatePlugin(L"Sevrane"));
  ReleaseWendrel(maker);

  auto* header = dynamic_cast<CContainerUI*>(pm.FindControl(L"reportTabHeader"));
  ASSERT_NE(header, nullptr);
  ASSERT_EQ(header->GetCount(), 1);
  auto* report = reinterpret_cast<ISOReport*>(header->GetItemAt(0)->GetTag());
  ASSERT_TRUE(report->IsModified());

  // The page opens fitted into the window; a click on Department types into Department.
  auto* page = dynamic_cast<wendrel::SOReportWindow*>(report);
  ASSERT_NE(page, nullptr);
  std::vector<CControlUI*> fields;
  PageFields(page->GetPaintManager()->FindControl(L"pagePanel"), fields);
  CControlUI* department = nullptr;
  for (CControlUI* field : fields)
    if (TagOf(field) == 0x00081040) department = field;
  ASSERT_NE(department, nullptr);
  UITest::ProcessEvents(100);  // the window shows before the user clicks in it
  ASSERT_TRUE(UITest::ClickWindow(page->GetHWND(), Centre(department)));
  ASSERT_TRUE(UITest::TypeWindow(page->GetHWND(), L"Radiology"));
  std::wstring typed;
  report->GetValue(0x00081040, typed);
  EXPECT_EQ(typed, L"Radiology");

  // The side panel writes the report.
  ASSERT_TRUE(UITest::Click(pm, L"editModeOpt"));
  ASSERT_NE(SideControl(pm, L"0721,1002", L"sideConclusion"), nullptr);
  ASSERT_TRUE(UITest::SetText(pm, L"sideConclusion", L"Normal study. 未见异常。"));
  std::wstring conclusion;
  report->GetValue(0x07211002, conclusion);
  EXPECT_EQ(conclusion, L"Normal study. 未见异常。");

  // Saved into the local store, twice: one row.
  for (int i = 0; i < 2; ++i) {
    AnswerBox(nullptr);
    ASSERT_TRUE(UITest::Click(pm, L"saveFileBtn"));
  }
  EXPECT_FALSE(report->IsModified());
  std::vector<InstanceRecord> rows;
  Gossamy::LocalDB()->GetAllInstanceRecords(rows);
  EXPECT_EQ(rows.size(), 1u);

  DestroyWindow(frame->GetHWND());
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  frame.reset();
}
