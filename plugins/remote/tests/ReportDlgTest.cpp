// The consultation report editor and its content panel, offscreen against the consultation
// service in process, with a receiving node of our own as the order's DICOM node.

#include "TestSupport.h"
#include <atomic>
#include <filesystem>
#include <thread>

#include "Gossamy.h"
#include "HostWindow.h"
#include "IArchiveDB.h"
#include "IKelvast.h"
#include "ISOPlugin.h"
#include "OrderItems.h"
#include "RemoteWebSupport.h"
#include "ReportDlg.h"
#include "SODcmSCP.h"
#include "SODcmSR.h"
#include "SkinTextCheck.h"
#include "TeamOrder.h"
#include "UITestDriver.h"

using namespace DuiLib;

namespace {

constexpr DWORD kSex = 0x00100040;
constexpr DWORD kAge = 0x00101010;
constexpr DWORD kStudyDate = 0x00080020;
constexpr DWORD kFinding = 0x07211001;
constexpr DWORD kConclusion = 0x07211002;

void UseRuntimeSkins() {
  orvanta::test::EnsureQtApp();
  const auto skins =
      orvanta::test::SourceRoot() / "runtime" / "skin";
  CPaintManagerUI::SetResourcePath((skins.wstring() + L"/").c_str());
}

struct Reported : ISRContentCallback {
  void OnContentValueChanged(DWORD tag, const wchar_t* text) override { seen.emplace_back(tag, text); }
  std::vector<std::pair<DWORD, std::wstring>> seen;
};

std::wstring Text(CPaintManagerUI& pm, const wchar_t* name) {
  CControlUI* c = pm.FindControl(name);
  return c ? c->GetText().str() : L"<missing>";
}

bool Visible(CPaintManagerUI& pm, const wchar_t* name) {
  CControlUI* c = pm.FindControl(name);
  return c && c->IsVisible();
}

bool Enabled(CPaintManagerUI& pm, const wchar_t* name) {
  CControlUI* c = pm.FindControl(name);
  return c && c->IsEnabled();
}

// The shell as far as the editor uses it: the case library answers with set texts, and the
// report plug-in's open request is kept.
struct FakeHost : ISOExecuter {
  bool HasPlugin(const wchar_t*) override { return true; }
  bool ActivatePlugin(const wchar_t* name) override {
    activated.push_back(name);
    return true;
  }
  bool SetStatusText(const char*) override { return true; }
  bool SendCommand(const wchar_t*, const char* command, void* data) override {
    commands.push_back(command);
    if (std::string(command) == SOCMD_CASELIB_DIALOG) {
      auto* request = static_cast<CaseLibRequest*>(data);
      request->append = caseAppend;
      request->finding = caseFinding;
      request->conclusion = caseConclusion;
    } else if (std::string(command) == SOCMD_OPEN_SR_FILEG) {
      const auto* request = static_cast<SROpenRequest*>(data);
      openedPath = request->path;
      openedReadOnly = request->readOnly;
      openedFinding.clear();
      request->sr->GetFinding(openedFinding);
    }
    return false;
  }
  bool Broadcast(int, void*, HWND) override { return true; }
  void SetBadge(ISOPlugin*, int) override {}

  bool caseAppend = true;
  std::wstring caseFinding, caseConclusion;
  std::vector<std::string> commands;
  std::vector<std::wstring> activated;
  std::string openedPath;
  bool openedReadOnly = false;
  std::wstring openedFinding;
};

// The order's DICOM node: keeps every object it is sent.
struct Node : ISODcmSCPCallback {
  bool OnStore(SODcmAssociationParams&, SODcmFile*) override {
    ++stored;
    return true;
  }
  std::atomic<int> stored{0};
};

// Answers the next save box with one of its buttons and keeps count.
int g_saveBoxes = 0;
void AnswerSaveBox(const wchar_t* button) {
  UITest::OnModal(L"CSaveBoxUI", [button](CWindowWnd* box) {
    ++g_saveBoxes;
    UITest::Click(*static_cast<WindowImplBase*>(box)->GetPaintManager(), button);
  });
}

}  // namespace

// The panel on its own: what a fill shows, what the user's changes report and what a single
// value write does.
TEST(ReportContentPanel, FillsByTheRulesReportsOnlyTheUsersEditsAndWritesPlainTexts) {
  UseRuntimeSkins();
  HWND host = MakeHostWindow(900, 700);
  CSRContentWnd panel;
  ASSERT_TRUE(panel.Create(host, L"CSRContentWnd", 0x00CF0000, 0, 0, 0, 0, 0));
  panel.ShowWindow();
  CPaintManagerUI& pm = *panel.GetPaintManager();
  ASSERT_NE(panel.AttributePanel(), nullptr);
  Reported reported;
  panel.AddListener(&reported);
  panel.AddListener(&reported);  // once only
  panel.BindEvents(panel.AttributePanel());

  SODcmSR sr;
  SODcmDataset* ds = sr.GetDataset();
  ds->SetString(0x00100010, L"Li^Na 李娜");
  ds->SetString(kSex, "F");
  ds->SetString(kAge, "045Y");
  ds->SetString(kStudyDate, "20251210");
  ds->SetString(0x0040A030, "20251211093000");
  sr.SetFinding(L"Nodule in the right upper lobe.");
  sr.SetAuthorObserverName(L"Dr. B");
  ASSERT_TRUE(panel.FillFromSR(panel.AttributePanel(), &sr));
  EXPECT_TRUE(reported.seen.empty()) << "a fill reports nothing";
  EXPECT_EQ(Text(pm, L"patientNameEdit"), L"Li^Na 李娜");
  EXPECT_EQ(static_cast<CComboUI*>(pm.FindControl(L"patientSexCombo"))->GetCurSel(), 1);
  EXPECT_EQ(Text(pm, L"patientAgeEdit"), L"45");
  EXPECT_EQ(static_cast<CComboUI*>(pm.FindControl(L"patientAgeCombo"))->GetCurSel(), 0);
  int y = 0, m = 0, d = 0;
  ASSERT_TRUE(static_cast<CDateTimeUI*>(pm.FindControl(L"studyDateCtrl"))->GetTime(y, m, d));
  EXPECT_EQ(y * 10000 + m * 100 + d, 20251210);
  EXPECT_EQ(Text(pm, L"findingEdit"), L"Nodule in the right upper lobe.");
  EXPECT_EQ(Text(pm, L"authorEdit"), L"Dr. B");
  EXPECT_EQ(Text(pm, L"verifyTimeLabel"), L"20251211093000");
  EXPECT_EQ(Text(pm, L"conclusionEdit"), L"");

  // The user's edits: typed texts as they are (reported after every key), the age joined, the
  // sex by its code; a date control that loses the focus reports nothing.
  using Report = std::pair<DWORD, std::wstring>;
  ASSERT_TRUE(UITest::SetText(pm, L"patientNameEdit", L"Li^Na"));
  ASSERT_FALSE(reported.seen.empty());
  EXPECT_EQ(reported.seen.back(), Report(0x00100010, L"Li^Na"));
  ASSERT_TRUE(UITest::SetText(pm, L"patientAgeEdit", L"46"));
  EXPECT_EQ(reported.seen.back(), Report(kAge, L"046Y"));
  reported.seen.clear();
  ASSERT_TRUE(UITest::SelectItem(pm, L"patientSexCombo", 0));
  ASSERT_TRUE(UITest::Focus(pm, L"studyDateCtrl"));
  UITest::KillFocus(pm);
  EXPECT_EQ(reported.seen, (std::vector<Report>{{kSex, L"M"}}));

  // Single values: plain texts, a date only when it is one.
  reported.seen.clear();
  auto* sex = static_cast<CComboUI*>(pm.FindControl(L"patientSexCombo"));
  EXPECT_TRUE(panel.SetValue(kSex, L"F"));
  EXPECT_EQ(sex->GetCurSel(), 0) << "the combo's text is set, not its selection";
  EXPECT_EQ(sex->CControlUI::GetText().str(), L"F");
  EXPECT_FALSE(panel.SetValue(kStudyDate, L"not a date"));
  ASSERT_TRUE(static_cast<CDateTimeUI*>(pm.FindControl(L"studyDateCtrl"))->GetTime(y, m, d));
  EXPECT_EQ(y * 10000 + m * 100 + d, 20251210);
  EXPECT_TRUE(panel.SetValue(kStudyDate, L"20240229"));
  ASSERT_TRUE(static_cast<CDateTimeUI*>(pm.FindControl(L"studyDateCtrl"))->GetTime(y, m, d));
  EXPECT_EQ(y * 10000 + m * 100 + d, 20240229);
  EXPECT_TRUE(panel.SetValue(kConclusion, L"Benign."));
  EXPECT_FALSE(panel.SetValue(0x00321060, L"no such control"));
  EXPECT_FALSE(panel.SetValue(kConclusion, nullptr));
  EXPECT_EQ(reported.seen, (std::vector<std::pair<DWORD, std::wstring>>{{kConclusion, L"Benign."}}));

  panel.EnableUI(panel.AttributePanel(), false);
  for (const wchar_t* name : {L"patientNameEdit", L"patientSexCombo", L"studyDateCtrl", L"findingEdit"})
    EXPECT_FALSE(Enabled(pm, name)) << testing::PrintToString(std::wstring(name));
  panel.Close();
  UITest::ProcessEvents(0);
  DestroyWindow(host);
}

class ReportEditorTest : public RemoteWebTest {
 protected:
  void SetUp() override {
    RemoteWebTest::SetUp();
    UseRuntimeSkins();
    UIX_Waiting::SetResultDelay(20);
    CReportDlg::SetBindDelay(0);
    RemoteUI::SetHost(&shell);
    host = MakeHostWindow(900, 700);
  }

  void TearDown() override {
    RemoteUI::SetHost(nullptr);
    node.Stop();
    if (nodeThread.joinable()) nodeThread.join();
    DestroyWindow(host);
    RemoteWebTest::TearDown();
  }

  // Orders point to a node of ours from here on.
  void StartNode() {
    const int port = orvanta::test::FreeLoopbackPort();
    ASSERT_TRUE(node.InitSCP("CONSULT", port));
    node.SetCallback(&received);
    nodeThread = std::thread([this] { node.StartSCP(); });
    ASSERT_TRUE(WaitUntil([this] { return node.IsRunning(); }));
    service.Admin("SetNode", {{"aeTitle", "CONSULT"}, {"host", "127.0.0.1"}, {"port", port}});
  }

  // Reporter B's team (B signs as "Dr. B"; verifier C may verify only), a WAITING order of
  // client A with its images in the team's store; B is logged in and holds the team order.
  std::shared_ptr<TeamOrder> TeamOrderOfB(const std::string& studyUID) {
    Login("reporter");
    const TeamRecord team = CreateTeam("Reading", "13800000002");
    TeamRecord answer;
    WebError error;
    JorvelUserInfo verifier = FindUser("verifier");
    std::vector<JorvelUserInfo> users{verifier};
    EXPECT_TRUE(Web_TeamMemberAdd(team.id, &users, &answer, &error)) << error.code;
    for (const MemberRecord& member : std::vector<MemberRecord>(answer.members)) {
      if (member.user.id == verifier.id) {
        EXPECT_TRUE(Web_MemberSetPermission(member.id, false, true, &answer, &error));
      } else if (member.user.userName == "reporter") {
        EXPECT_TRUE(Web_MemberSetSignedName(member.id, "Dr. B", &answer, &error));
      }
    }
    Login("client");
    DiagnosticCreateRequest request;
    request.teamId = team.id;
    request.patientID = "P1";
    request.patientName = "Li^Na";
    request.patientAge = "045Y";
    request.studyDate = "20251210";
    request.studyUID = studyUID;
    request.seriesUIDs = {studyUID + ".1"};
    DiagnosticRecord order;
    EXPECT_TRUE(Web_DiagnosticCreate(&request, &order, &error)) << error.code;
    EXPECT_TRUE(Web_DiagnosticActivate(order.id, &order, &error)) << error.code;

    IKelvast* store = Gossamy::ArchiveDB()->OpenStore("CONSULT", nullptr);
    StoreLocalStudy(studyUID, store);
    Gossamy::ArchiveDB()->ReleaseStore(store);
    return PollAs("reporter");
  }

  std::shared_ptr<TeamOrder> PollAs(const std::string& user) {
    Login(user);
    MServer::Instance().Poll();
    auto teams = LinkManager::Instance().Teams();
    if (teams.empty() || teams[0]->Orders().empty()) return nullptr;
    return std::dynamic_pointer_cast<TeamOrder>(teams[0]->Orders()[0]);
  }

  // Runs the UI thread until the window is gone (bounded).
  bool WaitClosed(HWND hwnd) {
    return WaitUntil([hwnd] {
      UITest::ProcessEvents(5);
      return !IsWindow(hwnd);
    });
  }

  FakeHost shell;
  HWND host = nullptr;
  SODcmSCP node;
  Node received;
  std::thread nodeThread;
};

// Writing: the editor takes the lock, signs as the member, sends the report to the node and
// the service, and the lock goes when it closes.
TEST_F(ReportEditorTest, WriterLocksSignsSubmitsAndUnlocksOnClose) {
  StartNode();
  std::shared_ptr<TeamOrder> order = TeamOrderOfB("1.2.826.0.1.3680043.2.1125.91.1");
  ASSERT_TRUE(order);
  ASSERT_EQ(order->GetLockState(), 0);
  const DiagnosticRecord record = order->Record();

  CReportDlg* editor = CReportDlg::Open(CReportDlg::kWrite, order, host, L"CReportDlg");
  ASSERT_NE(editor, nullptr);
  const HWND hwnd = editor->GetHWND();
  CPaintManagerUI& pm = *editor->GetPaintManager();
  EXPECT_EQ(std::wstring(editor->GetTitle().str()), L"Submit - [" + RemoteUI::Wide(record.orderNumber) +
                                                         L"] - Li^Na (045Y) - 2025/12/10 - " +
                                                         RemoteUI::Wide(record.titleSuffix));
  EXPECT_EQ(order->GetLockState(), 1);
  EXPECT_TRUE(Visible(pm, L"lockByMe"));
  EXPECT_FALSE(Visible(pm, L"lockByNone"));
  EXPECT_EQ(Text(pm, L"lockerName"), L"Me");
  EXPECT_FALSE(editor->ReadOnly());
  EXPECT_TRUE(editor->Modified()) << "a new report is not stored yet";
  EXPECT_TRUE(Enabled(pm, L"saveBtn"));
  EXPECT_TRUE(Visible(pm, L"submitBtn"));
  EXPECT_FALSE(Visible(pm, L"verifyBtn"));
  EXPECT_FALSE(Visible(pm, L"feedbackBtn"));
  EXPECT_EQ(Text(pm, L"authorEdit"), L"Dr. B");
  EXPECT_EQ(CReportDlg::Open(CReportDlg::kWrite, order, host, L"CReportDlg"), editor) << "one writer per order";

  // The case library appends to what the report says; its texts reach the document.
  UITest::ProcessEvents(20);  // the edits are taken from here on
  UITest::SetText(pm, L"findingEdit", L"A");
  const struct {
    bool append;
    const wchar_t* finding;
    const wchar_t* expected;
  } cases[] = {{true, L"B", L"A\nB"}, {false, L"C", L"C"}, {true, L"D", L"C\nD"}};
  for (const auto& c : cases) {
    shell.caseAppend = c.append;
    shell.caseFinding = c.finding;
    shell.caseConclusion = L"";
    UITest::Click(pm, L"caseLibBtn");
    std::wstring finding;
    editor->Document().GetFinding(finding);
    EXPECT_EQ(finding, c.expected);
    EXPECT_EQ(Text(pm, L"findingEdit"), c.expected);
  }
  std::wstring conclusion;
  editor->Document().GetConclusion(conclusion);
  EXPECT_EQ(conclusion, L"") << "an empty case conclusion replaced nothing when appending";

  UITest::Click(pm, L"submitBtn");
  EXPECT_TRUE(editor->Busy());
  ASSERT_TRUE(WaitClosed(hwnd));
  EXPECT_EQ(received.stored.load(), 1);
  const DiagnosticRecord after = order->Record();
  EXPECT_EQ(after.state, "REPORTED");
  EXPECT_EQ(after.reportFinding, "C\nD");
  EXPECT_EQ(after.reportAuthorName, "Dr. B");
  EXPECT_FALSE(after.locked) << "closing the writer released its lock";
  std::string path;
  ASSERT_TRUE(order->GetReportPath(path));
  SODcmSR stored;
  ASSERT_TRUE(stored.LoadFile(path.c_str(), true));
  EXPECT_TRUE(stored.IsCompleted());
  EXPECT_FALSE(order->NeedsReportDownload()) << "the member's own submit is the current report";

  // The sender, with the report fetched into the local store, opens it read-only from the row.
  Login("client");
  MServer::Instance().Poll();
  ASSERT_EQ(MyLink::Instance()->Orders().size(), 1u);
  std::shared_ptr<OrderObject> mine = MyLink::Instance()->Orders()[0];
  IKelvast* local = Gossamy::LocalDB();
  local->QueueFilePath(path.c_str());
  local->CommitQueue();
  const DiagnosticRecord sent = mine->Record();
  local->SetValue(sent.study.reportSeriesUID.c_str(), std::to_string(sent.reportUpdatedTime).c_str());
  ASSERT_FALSE(mine->NeedsReportDownload());
  CSRContentWnd window;  // any skinned window hosts the row's controls
  ASSERT_TRUE(window.Create(host, L"CSRContentWnd", 0x00CF0000, 0, 0, 0, 0, 0));
  ClientOrderUI row(window.GetPaintManager(), window.GetHWND());
  ASSERT_NE(row.Root(), nullptr);
  window.AttributePanel()->Add(row.Root());
  ASSERT_TRUE(row.SetOrder(mine));
  auto* cells = static_cast<CContainerUI*>(static_cast<CContainerUI*>(row.Root())->GetItemAt(0));
  CControlUI* openReport = static_cast<CContainerUI*>(cells->GetItemAt(10))->GetItemAt(2);
  TNotifyUI click;
  click.sType = L"click";
  click.pSender = openReport;
  openReport->OnNotify(&click);
  const HWND reader = FindWindowW(L"CReportDlg", nullptr);
  ASSERT_NE(reader, nullptr);
  wchar_t title[256] = {};
  GetWindowTextW(reader, title, 256);
  EXPECT_EQ(std::wstring(title).rfind(L"Report - [" + RemoteUI::Wide(sent.orderNumber) + L"]", 0), 0u) << title;
  PostMessageW(reader, WM_CLOSE, 0, 0);  // nothing to store: no question
  ASSERT_TRUE(WaitClosed(reader));
  window.AttributePanel()->Remove(row.Root());
  DestroyWindow(window.GetHWND());
}

// Verifying under another member's lock is read-only and leaves the lock alone; a failed
// verify keeps the window with the service's text and the verified report stored.
TEST_F(ReportEditorTest, AnotherMembersLockMakesItReadOnlyAndAFailedVerifyKeepsTheWindow) {
  std::shared_ptr<TeamOrder> order = TeamOrderOfB("1.2.826.0.1.3680043.2.1125.92.1");
  ASSERT_TRUE(order);
  ASSERT_TRUE(order->Lock());

  // C, the verifier, while B holds the lock.
  order = PollAs("verifier");
  ASSERT_TRUE(order);
  ASSERT_EQ(order->GetLockState(), 2);
  CReportDlg* editor = CReportDlg::Open(CReportDlg::kVerify, order, host, L"CReportDlg");
  ASSERT_NE(editor, nullptr);
  HWND hwnd = editor->GetHWND();
  CPaintManagerUI* pm = editor->GetPaintManager();
  EXPECT_TRUE(editor->ReadOnly());
  EXPECT_TRUE(Visible(*pm, L"lockByOther"));
  EXPECT_EQ(Text(*pm, L"lockerName"), L"Dr. B");
  for (const wchar_t* name : {L"verifyBtn", L"caseLibBtn", L"findingEdit", L"authorEdit", L"patientSexCombo"})
    EXPECT_FALSE(Enabled(*pm, name)) << testing::PrintToString(std::wstring(name));
  g_saveBoxes = 0;
  AnswerSaveBox(L"noBtn");  // the new, unsaved report
  editor->Close();
  ASSERT_TRUE(WaitClosed(hwnd));
  EXPECT_EQ(g_saveBoxes, 1);
  EXPECT_EQ(order->GetLockState(), 2) << "a window that did not take the lock leaves it";

  // B reads the report of the order B has locked: reading leaves the lock too.
  order = PollAs("reporter");
  editor = CReportDlg::Open(CReportDlg::kRead, order, host, L"Report");
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(editor->ReadOnly());
  EXPECT_FALSE(Visible(*editor->GetPaintManager(), L"saveBtn"));
  EXPECT_FALSE(Visible(*editor->GetPaintManager(), L"caseLibBtn"));
  hwnd = editor->GetHWND();
  AnswerSaveBox(L"noBtn");
  editor->Close();
  ASSERT_TRUE(WaitClosed(hwnd));
  EXPECT_EQ(order->GetLockState(), 1);
  ASSERT_TRUE(order->UnLock());

  // C again, the order free: the verifier takes the lock; the node is closed, so the verify
  // fails with the upload message, the window stays, and the stored report is verified.
  order = PollAs("verifier");
  editor = CReportDlg::Open(CReportDlg::kVerify, order, host, L"CReportDlg");
  ASSERT_NE(editor, nullptr);
  hwnd = editor->GetHWND();
  pm = editor->GetPaintManager();
  EXPECT_FALSE(editor->ReadOnly());
  EXPECT_EQ(order->GetLockState(), 1);
  UITest::Click(*pm, L"verifyBtn");
  ASSERT_TRUE(WaitUntil([&] {
    UITest::ProcessEvents(5);
    return !editor->Busy();
  }));
  EXPECT_EQ(Text(*pm, L"waitingErrorLabel"), ui_gettext(Gossamy::GetString("20001").c_str()));
  UITest::ProcessEvents(60);
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_FALSE(Visible(*pm, L"waitingLayout"));
  std::string path;
  ASSERT_TRUE(order->GetReportPath(path));
  SODcmSR stored;
  ASSERT_TRUE(stored.LoadFile(path.c_str(), true));
  EXPECT_TRUE(stored.IsVerified());
  // C has no signed name: the document still names its verifier.
  std::wstring verifiedBy;
  EXPECT_TRUE(stored.GetVerifyingObserverName(verifiedBy));
  EXPECT_EQ(verifiedBy, L"Verifier C");

  // An edit is asked about at close: cancel stays, no closes without storing; the report
  // plug-in gets the stored report writable.
  UITest::SetText(*pm, L"conclusionEdit", L"Not stored");
  ASSERT_TRUE(editor->Modified());
  AnswerSaveBox(L"noBtn");
  UITest::Click(*pm, L"reportViewerBtn");
  EXPECT_EQ(shell.openedPath, path);
  EXPECT_FALSE(shell.openedReadOnly);
  EXPECT_EQ(shell.activated.back(), SOPLUGIN_SEVRANE);
  g_saveBoxes = 0;
  AnswerSaveBox(L"cancelBtn");
  editor->Close();
  UITest::ProcessEvents(20);
  EXPECT_EQ(g_saveBoxes, 1);
  EXPECT_TRUE(IsWindow(hwnd));
  AnswerSaveBox(L"noBtn");
  editor->Close();
  ASSERT_TRUE(WaitClosed(hwnd));
  EXPECT_EQ(order->GetLockState(), 0);
  ASSERT_TRUE(stored.LoadFile(path.c_str(), true));
  std::wstring conclusion;
  stored.GetConclusion(conclusion);
  EXPECT_EQ(conclusion, L"");
}

namespace {

// An order of no team: the editor opens on it read-only, with every control in place.
class LocalOrder : public OrderObject {
 public:
  LocalOrder() : OrderObject(nullptr) {}
  bool GetReportPath(std::string&) override { return false; }
  void ReceiveReport() override {}
};

class ReportTexts : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    UseRuntimeSkins();
    ui_bindtextdomain("orvanta", (orvanta::test::ProgramFolder() / "locale").c_str());
    ui_textdomain("orvanta");
    ui_setlocal(0, GetParam());
  }
  void TearDown() override { ui_setlocal(0, "en_US"); }
};

}  // namespace

TEST_P(ReportTexts, FitTheirControls) {
  HWND host = MakeHostWindow(900, 700);
  CSRContentWnd panel;
  ASSERT_TRUE(panel.Create(host, L"CSRContentWnd", 0x00CF0000, 0, 0, 0, 0, 0));
  panel.GetPaintManager()->UpdateLayout();
  EXPECT_EQ(shelltest::OverflowingTexts(*panel.GetPaintManager()), std::vector<std::string>{});
  DestroyWindow(panel.GetHWND());

  CReportDlg* editor = CReportDlg::Open(CReportDlg::kWrite, std::make_shared<LocalOrder>(), host, L"CReportDlg");
  ASSERT_NE(editor, nullptr);
  CPaintManagerUI& pm = *editor->GetPaintManager();
  for (const wchar_t* shown : {L"lockByNone", L"lockByMe", L"lockByOther"}) {
    for (const wchar_t* name : {L"lockByNone", L"lockByMe", L"lockByOther"}) pm.FindControl(name)->SetVisible(name == shown);
    pm.UpdateLayout();
    EXPECT_EQ(shelltest::OverflowingTexts(pm), std::vector<std::string>{}) << testing::PrintToString(std::wstring(shown));
  }
  for (const wchar_t* name : {L"verifyBtn", L"reviseBtn"}) {
    pm.FindControl(name)->SetVisible(true);
    pm.UpdateLayout();
    EXPECT_EQ(shelltest::OverflowingTexts(pm), std::vector<std::string>{}) << testing::PrintToString(std::wstring(name));
  }
  DestroyWindow(editor->GetHWND());
  UITest::ProcessEvents(0);
  DestroyWindow(host);
}

INSTANTIATE_TEST_SUITE_P(Languages, ReportTexts, testing::Values("zh_CN", "zh_TW", "en_US"));

// The team row's buttons open the editor: writing locks the order for a member who may edit;
// one who may not gets the message and no editor.
TEST_F(ReportEditorTest, RowButtonsOpenTheEditorOnlyForAPermittedWriter) {
  std::shared_ptr<TeamOrder> order = TeamOrderOfB("1.2.826.0.1.3680043.2.1125.93.1");
  ASSERT_TRUE(order);
  // The images count as downloaded for this test only (the store is the process's).
  order->Store()->SetValue("HasDownload", "true");
  order->RefreshAnswers();  // as the end of a download does
  struct Restore {
    IKelvast* store;
    ~Restore() { store->SetValue("HasDownload", ""); }
  } restore{order->Store()};
  CSRContentWnd window;  // any skinned window hosts the row's controls
  ASSERT_TRUE(window.Create(host, L"CSRContentWnd", 0x00CF0000, 0, 0, 0, 0, 0));
  auto click = [](OrderUI& row, int button) {
    auto* cells = static_cast<CContainerUI*>(static_cast<CContainerUI*>(row.Root())->GetItemAt(0));
    CControlUI* control = static_cast<CContainerUI*>(cells->GetItemAt(13))->GetItemAt(button);
    TNotifyUI msg;
    msg.sType = L"click";
    msg.pSender = control;
    control->OnNotify(&msg);
  };
  std::vector<std::wstring> boxes;
  auto answerBox = [&boxes] {
    UITest::OnModal(L"CMessageBoxUI", [&boxes](CWindowWnd* box) {
      CControlUI* text = static_cast<WindowImplBase*>(box)->GetPaintManager()->FindControl(L"textText");
      boxes.push_back(text ? text->GetText().str() : L"");
      box->Close(IDOK);
    });
  };

  {
    TeamOrderUI row(window.GetPaintManager(), window.GetHWND());
    ASSERT_NE(row.Root(), nullptr);
    window.AttributePanel()->Add(row.Root());  // the window owns the row's controls
    ASSERT_TRUE(row.SetOrder(order));
    EXPECT_EQ(row.DisplayState(), 4) << "the write button shows";
    click(row, 2);
    const HWND editor = FindWindowW(L"CReportDlg", nullptr);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(order->GetLockState(), 1);
    click(row, 3);  // continue: only in its own state
    click(row, 4);  // verify: likewise
    EXPECT_EQ(CReportDlg::Open(CReportDlg::kWrite, order, host, L"CReportDlg")->GetHWND(), editor);
    AnswerSaveBox(L"noBtn");
    PostMessageW(editor, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitClosed(editor));
    EXPECT_EQ(order->GetLockState(), 0);
    window.AttributePanel()->Remove(row.Root());
  }

  order = PollAs("verifier");
  ASSERT_TRUE(order);
  TeamOrderUI row(window.GetPaintManager(), window.GetHWND());
  ASSERT_NE(row.Root(), nullptr);
  window.AttributePanel()->Add(row.Root());
  ASSERT_TRUE(row.SetOrder(order));
  answerBox();
  click(row, 2);
  EXPECT_EQ(boxes, std::vector<std::wstring>{ui_gettext(L"You don't have edit permission!")});
  EXPECT_EQ(FindWindowW(L"CReportDlg", nullptr), nullptr);
  EXPECT_EQ(order->GetLockState(), 0);
  DestroyWindow(window.GetHWND());
}

// A team download that fails (the node is not there) leaves the row's button offering it
// again, and the button says why.
TEST_F(ReportEditorTest, AFailedDownloadSaysWhyOnTheRowsButton) {
  std::shared_ptr<TeamOrder> order = TeamOrderOfB("1.2.826.0.1.3680043.2.1125.93.9");
  ASSERT_TRUE(order);
  CSRContentWnd window;
  ASSERT_TRUE(window.Create(host, L"CSRContentWnd", 0x00CF0000, 0, 0, 0, 0, 0));
  RemoteUI::Invoker().Create(window.GetHWND());  // the order's news reach the row through it
  TeamOrderUI row(window.GetPaintManager(), window.GetHWND());
  ASSERT_NE(row.Root(), nullptr);
  window.AttributePanel()->Add(row.Root());
  ASSERT_TRUE(row.SetOrder(order));
  ASSERT_EQ(row.DisplayState(), 2);
  auto* cells = static_cast<CContainerUI*>(static_cast<CContainerUI*>(row.Root())->GetItemAt(0));
  CControlUI* download = static_cast<CContainerUI*>(cells->GetItemAt(13))->GetItemAt(0);
  EXPECT_EQ(std::wstring(download->GetText().GetData()), L"Download");
  EXPECT_TRUE(download->GetToolTip().IsEmpty());

  ASSERT_TRUE(order->DownloadImages(false));
  ASSERT_TRUE(WaitUntil(
      [&] {
        UITest::ProcessEvents(5);
        return std::wstring(download->GetText().GetData()) == L"Retry";
      },
      30000));
  EXPECT_TRUE(download->IsVisible());
  EXPECT_EQ(std::wstring(download->GetToolTip().GetData()),
            L"The node listed no image of this study, or could not be reached.");
  RemoteUI::Invoker().Release();
  DestroyWindow(window.GetHWND());
}
