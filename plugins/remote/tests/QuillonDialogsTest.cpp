// The consultation creation dialog and its parts, offscreen against the consultation service
// in process.

#include "TestSupport.h"
#include <filesystem>

#include <qrencode.h>

#include "DiagCreateDlg.h"
#include "HostWindow.h"
#include "LinkManager.h"
#include "TeamDialogs.h"
#include "MemberDialogs.h"
#include "TeamWnd.h"
#include "TeamLink.h"
#include "IKelvast.h"
#include "LikedTeams.h"
#include "OrderCreation.h"
#include "RemoteWebSupport.h"
#include "UITestDriver.h"
#include "Waiting.h"

using namespace DuiLib;

namespace {

void UseRuntimeSkins() {
  orvanta::test::EnsureQtApp();
  const auto skins =
      orvanta::test::SourceRoot() / "runtime" / "skin";
  CPaintManagerUI::SetResourcePath((skins.wstring() + L"/").c_str());
}

SeriesRecord Series(const std::string& uid, const std::string& modality, int images) {
  SeriesRecord s;
  s.seriesUID = uid;
  s.modality = modality;
  s.seriesNumber = uid.substr(uid.size() - 1);
  s.instances.resize(images);
  return s;
}

// Every message box is confirmed and its text kept.
std::vector<std::wstring> g_boxes;
void AnswerBoxes() {
  UITest::OnModal(L"CMessageBoxUI", [](CWindowWnd* box) {
    CControlUI* text = static_cast<WindowImplBase*>(box)->GetPaintManager()->FindControl(L"textText");
    g_boxes.push_back(text ? text->GetText().str() : L"");
    AnswerBoxes();
    box->Close(IDOK);
  });
}

}  // namespace

TEST(OrderCreationRules, ModalitiesAndTheRequestComeFromTheChosenSeries) {
  const struct {
    std::vector<std::string> modalities;
    std::string joined;
  } cases[] = {{{"CT", "CT", "MR", "OT"}, "CT,MR"}, {{"SR", "OT"}, ""}, {{"US", "CR", "US", "PT"}, "US,CR,PT"}};
  for (const auto& c : cases) {
    std::vector<SeriesRecord> series;
    for (const std::string& m : c.modalities) series.push_back(Series("1.1", m, 1));
    EXPECT_EQ(OrderCreation::Modalities(series), c.joined);
  }

  PatientRecord study;
  study.patientName = "Li^Na";
  study.patientID = "P7";
  study.patientSex = "F";
  study.patientAge = "045Y";
  study.studyUID = "1.2.3";
  study.series = {Series("1.2.3.1", "CT", 2), Series("1.2.3.2", "MR", 3)};
  TeamRecord team;
  DiagnosticCreateRequest request;
  EXPECT_FALSE(OrderCreation::BuildRequest(study, team, "", request));  // neither id nor sid
  team.sid = "T100";  // a liked team carries only its code
  ASSERT_TRUE(OrderCreation::BuildRequest(study, team, "please", request));
  EXPECT_EQ(request.teamSid, "T100");
  EXPECT_EQ(request.modalities, "CT,MR");
  EXPECT_EQ(request.seriesUIDs, (std::vector<std::string>{"1.2.3.1", "1.2.3.2"}));
  EXPECT_EQ(request.imageCount, 5);
  EXPECT_EQ(request.patientName, "Li^Na");
  EXPECT_EQ(request.patientAge, "045Y");
  EXPECT_EQ(request.comments, "please");
  study.series.clear();
  EXPECT_FALSE(OrderCreation::BuildRequest(study, team, "", request));
}

// A refused order marks the study failed, but never the study of another consultation.
TEST_F(RemoteWebTest, ARefusedOrderMarksOnlyAStudyWithoutConsultation) {
  Login("reporter");
  TeamRecord team = CreateTeam("Private", "13800000002");
  ASSERT_TRUE(Web_TeamUpdateType(team.id, "PRIVATE", &team, nullptr));
  Login("client");
  StoreLocalStudy("1.2.840.77.1");
  StoreLocalStudy("1.2.840.77.2");
  IKelvast* store = Gossamy::LocalDB();
  PatientRecord fresh, taken;
  ASSERT_TRUE(store->GetPatientRecord("P1_1.2.840.77.1", fresh, true));
  ASSERT_TRUE(store->GetPatientRecord("P1_1.2.840.77.2", taken, true));
  store->SetPatientText(taken.id.c_str(), "remoteID", "DX-OTHER");
  store->SetPatientState(taken.id.c_str(), "remoteState", 2);

  DiagnosticRecord answer;
  WebError error;
  EXPECT_FALSE(OrderCreation::Create(fresh, team, "", &answer, &error));
  EXPECT_FALSE(error.code.empty());
  EXPECT_FALSE(OrderCreation::Create(taken, team, "", &answer, &error));
  PatientRecord after;
  ASSERT_TRUE(store->GetPatientRecord(fresh.id.c_str(), after, false));
  EXPECT_EQ(after.remoteState, 4);
  ASSERT_TRUE(store->GetPatientRecord(taken.id.c_str(), after, false));
  EXPECT_EQ(after.remoteState, 2);
  EXPECT_EQ(after.remoteID, "DX-OTHER");
}

TEST_F(RemoteWebTest, CreationDialogSendsTheCheckedSeriesOnceToTheSearchedTeam) {
  UseRuntimeSkins();
  UIX_Waiting::SetResultDelay(30);
  Login("reporter");
  const TeamRecord team = CreateTeam("Public", "13800000002");
  Login("client");
  MyLink::Instance()->Clear();
  for (const TeamRecord& liked : std::vector<TeamRecord>(LikedTeams::Instance().Teams())) LikedTeams::Instance().Unlike(liked);
  StoreLocalStudy("1.2.840.88.1");
  PatientRecord study;
  ASSERT_TRUE(Gossamy::LocalDB()->GetPatientRecord("P1_1.2.840.88.1", study, true));
  study.patientSex = "F";
  study.patientAge = "045Y";
  study.series.push_back(Series("1.2.840.88.9", "SR", 1));
  study.series.push_back(Series("1.2.840.88.2", "MR", 2));

  g_boxes.clear();
  AnswerBoxes();
  bool checked = false;
  UITest::OnModal(L"SOBuilderDlg", [&](CWindowWnd* window) {
    auto* dialog = static_cast<DiagCreateDlg*>(window);
    CPaintManagerUI& pm = *dialog->GetPaintManager();
    ASSERT_EQ(dialog->Entries().size(), 3u);
    EXPECT_TRUE(dialog->Entries()[0].checked);
    EXPECT_FALSE(dialog->Entries()[1].checked);  // the SR series
    EXPECT_EQ(static_cast<CComboUI*>(pm.FindControl(L"patientSexCombo"))->GetCurSel(), 1);
    EXPECT_STREQ(pm.FindControl(L"patientAgeEdit")->GetText(), L"45");
    EXPECT_EQ(static_cast<CComboUI*>(pm.FindControl(L"patientAgeCombo"))->GetCurSel(), 0);

    // No team yet: the message, nothing sent.
    UITest::Click(pm, L"confirmBtn");
    // The team found by its code is listed, selected and liked.
    UITest::SetText(pm, L"teamSearchEdit", RemoteUI::Wide(team.sid).c_str());
    UITest::Click(pm, L"teamSearchBtn");
    SOWin::PumpUntil([&] { return static_cast<CListUI*>(pm.FindControl(L"teamSearchList"))->GetCount() == 1; }, 3000);
    EXPECT_EQ(LikedTeams::Instance().Teams().size(), 1u);

    // A click in the check column of every row: the SR row is checked now, the others not.
    auto* list = static_cast<CListUI*>(pm.FindControl(L"seriesList"));
    const RECT column = list->GetListHeader()->GetItemAt(0)->GetPos();
    for (int row = 0; row < 3; ++row) {
      TNotifyUI msg;
      msg.sType = L"itemclick";
      msg.pSender = list->GetItemAt(row);
      msg.ptMouse = POINT{(column.left + column.right) / 2, list->GetItemAt(row)->GetPos().top + 5};
      dialog->Notify(msg);
    }
    EXPECT_TRUE(dialog->Entries()[1].checked);
    EXPECT_FALSE(dialog->Entries()[0].checked);
    // Only the SR row checked and unchecked again: nothing to send.
    TNotifyUI msg;
    msg.sType = L"itemclick";
    msg.pSender = list->GetItemAt(1);
    msg.ptMouse = POINT{(column.left + column.right) / 2, 0};
    dialog->Notify(msg);
    UITest::Click(pm, L"confirmBtn");
    // CT and MR again; two clicks in a row create one order.
    for (int row : {0, 2}) {
      msg.pSender = list->GetItemAt(row);
      dialog->Notify(msg);
    }
    UITest::Click(pm, L"confirmBtn");
    UITest::Click(pm, L"confirmBtn");
    EXPECT_TRUE(dialog->Busy());
    checked = true;
  });
  DiagCreateDlg::Run(study, nullptr, true);  // returns once the success closed it
  ASSERT_TRUE(checked);
  EXPECT_EQ(g_boxes, (std::vector<std::wstring>{L"One diagnostic team needs to be selected!",
                                                L"At least one series needs to be selected!"}));
  EXPECT_EQ(Count("DiagnosticCreate"), 1);
  const auto orders = MyLink::Instance()->Orders();
  ASSERT_EQ(orders.size(), 1u);
  const DiagnosticRecord created = orders[0]->Record();
  EXPECT_EQ(created.extraText, "CT,MR");
  EXPECT_EQ(created.infoText, "5 images");  // 3 CT slices and 2 MR images
  PatientRecord marked;
  ASSERT_TRUE(Gossamy::LocalDB()->GetPatientRecord(study.id.c_str(), marked, false));
  EXPECT_EQ(marked.remoteID, created.orderNumber);
  UIX_Waiting::SetResultDelay(1500);
}

namespace {
class OverlayDialog : public WndDialog {
 public:
  const wchar_t* GetWindowClassName() const override { return L"OverlayDialog"; }
  void InitWindow() override { waiting.Init(m_hWnd, &m_PaintManager); }
  UIX_Waiting waiting;

 protected:
  CDuiString GetSkinFolder() override { return L"skin/"; }
  CDuiString GetSkinFile() override {
    return L"<Window size=\"300,200\"><Container><Control/><TabLayout name=\"waitingLayout\" visible=\"false\">"
           L"<Control/><Control/><Label name=\"waitingErrorLabel\"/></TabLayout></Container></Window>";
  }
};
}  // namespace

// A result page stays up for the delay; a result delay that a later Show made stale leaves the
// new waiting page alone; a success closes the dialog.
TEST(WaitingOverlay, StaleResultsLeaveTheOverlayAndSuccessCloses) {
  UseRuntimeSkins();
  UIX_Waiting::SetResultDelay(30);
  OverlayDialog dialog;
  ASSERT_TRUE(dialog.Create(nullptr, L"OverlayDialog", 0x00C80000, 0, 0, 0, 300, 200));
  auto* layout = static_cast<CTabLayoutUI*>(dialog.GetPaintManager()->FindControl(L"waitingLayout"));
  dialog.waiting.Error(L"Report upload failed!");
  EXPECT_TRUE(layout->IsVisible());
  EXPECT_EQ(layout->GetCurSel(), 2);
  EXPECT_STREQ(dialog.GetPaintManager()->FindControl(L"waitingErrorLabel")->GetText(), L"Report upload failed!");
  dialog.waiting.Show();
  SOWin::PumpEvents(120);
  EXPECT_TRUE(layout->IsVisible());
  EXPECT_EQ(layout->GetCurSel(), 0);

  dialog.waiting.Error(L"again");
  EXPECT_TRUE(SOWin::PumpUntil([&] { return !layout->IsVisible(); }, 2000));
  EXPECT_TRUE(IsWindow(dialog.GetHWND()));

  const HWND hwnd = dialog.GetHWND();
  dialog.waiting.Success();
  EXPECT_TRUE(SOWin::PumpUntil([&] { return !IsWindow(hwnd); }, 2000));
  UIX_Waiting::SetResultDelay(1500);
}

TEST(TeamCreationRules, MobileNumbers) {
  const struct {
    const wchar_t* text;
    bool ok;
  } cases[] = {{L"13812345678", true},  {L"19912345678", true},  {L"12812345678", false},
               {L"1381234567", false},  {L"138123456789", false}, {L"1381234567a", false},
               {L"23812345678", false}, {L"", false}};
  for (const auto& c : cases) EXPECT_EQ(CTeamCreateDlg::IsMobileNumber(c.text), c.ok) << c.text;
}

namespace {
std::wstring TextOf(CPaintManagerUI& pm, const wchar_t* name) {
  CControlUI* control = pm.FindControl(name);
  return control ? control->GetText().str() : L"<missing>";
}
}  // namespace

TEST_F(RemoteWebTest, TeamCreationCountsDownAndKeepsTheFieldsOnAFailure) {
  UseRuntimeSkins();
  UIX_Waiting::SetResultDelay(30);
  Login("reporter");
  bool checked = false;
  UITest::OnModal(L"CTeamCreateDlg", [&](CWindowWnd* window) {
    auto* dialog = static_cast<CTeamCreateDlg*>(window);
    CPaintManagerUI& pm = *dialog->GetPaintManager();
    UITest::SetText(pm, L"phoneEdit", L"12812345678");
    UITest::Click(pm, L"verifyCodeSendBtn");
    EXPECT_EQ(TextOf(pm, L"webErrorLabel"), ui_gettext(L"The mobile number format is incorrect!"));
    UITest::SetText(pm, L"phoneEdit", L" 13800000002 ");
    UITest::Click(pm, L"verifyCodeSendBtn");
    EXPECT_EQ(TextOf(pm, L"phoneEdit"), L"13800000002");
    EXPECT_EQ(TextOf(pm, L"webErrorLabel"), L"");
    CControlUI* send = pm.FindControl(L"verifyCodeSendBtn");
    EXPECT_EQ(TextOf(pm, L"verifyCodeSendBtn"), L"(60S)");
    EXPECT_FALSE(send->IsEnabled());
    for (int i = 0; i < 59; ++i) dialog->OnTick();
    EXPECT_EQ(TextOf(pm, L"verifyCodeSendBtn"), L"(1S)");
    EXPECT_FALSE(send->IsEnabled());
    dialog->OnTick();
    EXPECT_EQ(TextOf(pm, L"verifyCodeSendBtn"), ui_gettext(L"获取短信验证码"));
    EXPECT_TRUE(send->IsEnabled());

    // A field left empty; then a wrong code: the service's message, the fields kept.
    UITest::SetText(pm, L"teamNameEdit", L"Neuro");
    UITest::SetText(pm, L"verifyCodeEdit", L"000000");
    UITest::Click(pm, L"createBtn");
    EXPECT_EQ(TextOf(pm, L"webErrorLabel"), ui_gettext(L"Input fields cannot be empty!"));
    UITest::SetText(pm, L"teamDescEdit", L"Brain MR");
    const std::string code = service.SmsCode("13800000002");
    UITest::SetText(pm, L"verifyCodeEdit", code == "000000" ? L"111111" : L"000000");
    UITest::Click(pm, L"createBtn");
    EXPECT_NE(TextOf(pm, L"webErrorLabel"), L"");
    EXPECT_FALSE(pm.FindControl(L"waitingLayout")->IsVisible());
    EXPECT_EQ(TextOf(pm, L"teamNameEdit"), L"Neuro");
    // The right code: created, and the dialog closes after its success page.
    UITest::SetText(pm, L"verifyCodeEdit", RemoteUI::Wide(code).c_str());
    UITest::Click(pm, L"createBtn");
    EXPECT_TRUE(pm.FindControl(L"waitingLayout")->IsVisible());
    checked = true;
  });
  CTeamCreateDlg::Run(nullptr);
  ASSERT_TRUE(checked);
  std::vector<TeamRecord> teams;
  ASSERT_TRUE(Web_TeamListOfMine(&teams, nullptr));
  ASSERT_EQ(teams.size(), 1u);
  EXPECT_EQ(teams[0].name, "Neuro");
  UIX_Waiting::SetResultDelay(1500);
}

TEST(RechargeRules, AmountsAndTheQRCodeModules) {
  const struct {
    const char* text;
    int amount;
  } cases[] = {{"12.5", 12}, {"", 0}, {"abc", 0}, {"-3", -3}, {" 7", 7}, {"99999999999", 0}, {"0012", 12}};
  for (const auto& c : cases) EXPECT_EQ(CRechargeDlg::ParseAmount(c.text), c.amount) << c.text;

  const std::string text = "orvanta-pay://P123456?fee=12.00";
  int width = 0;
  HBITMAP bitmap = CRechargeDlg::MakeQRBitmap(text, width);
  ASSERT_NE(bitmap, nullptr);
  QRcode* code = QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_H, QR_MODE_8, 1);
  ASSERT_NE(code, nullptr);
  EXPECT_EQ(width, code->width);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  int wrong = 0;
  for (int y = 0; y < width; ++y)
    for (int x = 0; x < width; ++x) {
      const bool black = (GetPixel(dc, x, y) & 0xFFFFFF) == 0;
      wrong += black != bool(code->data[y * width + x] & 1);
    }
  EXPECT_EQ(wrong, 0);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bitmap);
  QRcode_free(code);
}

TEST_F(RemoteWebTest, RechargeShowsTheCodeAndThePaidTeamUpdatesItsLink) {
  UseRuntimeSkins();
  CRechargeDlg::SetPollInterval(20);
  Login("reporter");
  const TeamRecord created = CreateTeam("Paid", "13800000002");
  service.Admin("SetTeam", {{"teamId", created.id}, {"chargeMode", "PAID"}, {"platformFee", "15"}, {"totalAmount", "5"}});
  ASSERT_TRUE(LinkManager::Instance().RefreshTeams());
  auto link = LinkManager::Instance().Find(created.id);
  ASSERT_NE(link, nullptr);
  EXPECT_TRUE(link->NeedsRecharge());

  g_boxes.clear();
  AnswerBoxes();
  bool checked = false;
  UITest::OnModal(L"CRechargeDlg", [&](CWindowWnd* window) {
    CPaintManagerUI& pm = *static_cast<WindowImplBase*>(window)->GetPaintManager();
    auto* tabs = static_cast<CTabLayoutUI*>(pm.FindControl(L"tabLayout"));
    EXPECT_EQ(TextOf(pm, L"totalAmountLabel"), L"5");
    UITest::Click(pm, L"nextStepBtn");  // nothing typed
    EXPECT_EQ(tabs->GetCurSel(), 0);
    EXPECT_EQ(TextOf(pm, L"chargeAmountEdit"), L"0");

    // A refused payment order: no code, the refresh asks again for the same amount.
    service.Admin("ScriptNext", {{"operation", "PayOrvantaTeam"}, {"body", R"({"ok":false,"error":{"code":"10011"}})"}});
    UITest::SetText(pm, L"chargeAmountEdit", L"12.5");
    UITest::Click(pm, L"nextStepBtn");
    EXPECT_EQ(TextOf(pm, L"chargeAmountEdit"), L"12");
    EXPECT_EQ(tabs->GetCurSel(), 1);
    EXPECT_TRUE(pm.FindControl(L"refreshLayout")->IsVisible());
    UITest::Click(pm, L"refreshQRBtn");
    EXPECT_FALSE(pm.FindControl(L"refreshLayout")->IsVisible());
    const nlohmann::json requests = service.Admin("Requests").at("requests");
    std::vector<std::string> amounts;
    for (const auto& r : requests)
      if (r.at("operation") == "PayOrvantaTeam") amounts.push_back(r.at("args").at("amount"));
    EXPECT_EQ(amounts, (std::vector<std::string>{"12", "12"}));

    // The code shown is the order's; once paid, the paid page and the link's new balance.
    const std::wstring image = pm.FindControl(L"QRCodeCtrl")->GetBkImage();
    ASSERT_FALSE(image.empty());
    EXPECT_NE(pm.GetImage(image.c_str()), nullptr);
    service.Admin("MarkPaid", {{"tradeNo", RemoteUI::Utf8(image)}});
    EXPECT_TRUE(SOWin::PumpUntil([&] { return tabs->GetCurSel() == 2; }, 3000));
    checked = true;
    window->Close(IDOK);
  });
  CRechargeDlg::Run(link->Team(), nullptr);
  ASSERT_TRUE(checked);
  EXPECT_EQ(g_boxes, (std::vector<std::wstring>{ui_gettext(L"充值额度需要大于等于1元")}));
  EXPECT_FALSE(link->NeedsRecharge());
  EXPECT_EQ(std::stod(link->Team().totalAmount), 17.0);
  CRechargeDlg::SetPollInterval(1500);
}


// What the owner and a member see, and the value dialogs: a refused value keeps its dialog open
// with the service's message; the signed name goes to the user's membership.
TEST_F(RemoteWebTest, TeamWindowShowsOwnerControlsOnlyToTheOwner) {
  UseRuntimeSkins();
  const JorvelUserInfo verifier = Login("verifier");
  Login("reporter");
  const TeamRecord created = CreateTeam("Thorax", "13800000002");
  ASSERT_TRUE(LinkManager::Instance().RefreshTeams());
  auto link = LinkManager::Instance().Find(created.id);
  ASSERT_NE(link, nullptr);
  ASSERT_TRUE(link->AddMember(&verifier));
  ASSERT_TRUE(link->LoadLists());
  HWND host = MakeHostWindow(800, 700);

  struct Case {
    const char* user;
    bool owner;
  } cases[] = {{"reporter", true}, {"verifier", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user);
    Login(c.user);
    auto* window = new CTeamWnd(link);
    ASSERT_NE(window->Create(host, L"TeamInfoWnd", 0x50000000, 0), nullptr);
    CPaintManagerUI& pm = *window->GetPaintManager();
    for (const wchar_t* name : {L"memberAddLayout", L"serviceLayout", L"teamNameEditBtn", L"teamDescEditBtn",
                                L"instNameEditBtn", L"totalAmountLayout"})
      EXPECT_EQ(pm.FindControl(name)->IsVisible(), c.owner) << RemoteUI::Utf8(name);
    EXPECT_TRUE(pm.FindControl(L"signedNameEditBtn")->IsVisible());
    auto* members = static_cast<CContainerUI*>(pm.FindControl(L"memberList"));
    ASSERT_EQ(members->GetCount(), 2);
    for (int i = 0; i < 2; ++i)
      EXPECT_EQ(static_cast<CContainerUI*>(members->GetItemAt(i))->GetItemAt(2)->IsVisible(), c.owner);
    // A new team is public: only its black list applies; the white list is empty.
    EXPECT_FALSE(pm.FindControl(L"whiteListBtn")->IsEnabled());
    EXPECT_TRUE(pm.FindControl(L"blackListBtn")->IsEnabled());
    EXPECT_EQ(TextOf(pm, L"whiteListLabel"), L"0");
    EXPECT_FALSE(pm.FindControl(L"whiteList")->IsVisible());
    DestroyWindow(window->GetHWND());
  }

  // The verifier's signed name goes to his membership; an empty team name is refused and the
  // dialog stays with the message.
  g_boxes.clear();
  AnswerBoxes();
  link->SetTeam(link->Team());  // the membership of the verifier, now logged in
  UITest::OnModal(L"CValueUpdateDlg", [](CWindowWnd* window) {
    CPaintManagerUI& pm = *static_cast<WindowImplBase*>(window)->GetPaintManager();
    UITest::SetText(pm, L"valueControlUI", L"Dr. C");
    UITest::Click(pm, L"saveBtn");
    SOWin::PumpEvents(10);
    if (IsWindow(window->GetHWND())) window->Close(IDCANCEL);
  });
  CValueUpdateDlg_MemberSignedName signedName(link);
  signedName.Create(host, L"CValueUpdateDlg_MemberSignedName", 0x86C80000, 0, 0, 0, 0, 0);
  signedName.ShowModal();
  EXPECT_EQ(link->Me().signedName, "Dr. C");
  EXPECT_TRUE(g_boxes.empty());

  Login("reporter");
  link->SetTeam(link->Team());
  bool stayed = false;
  UITest::OnModal(L"CValueUpdateDlg", [&](CWindowWnd* window) {
    CPaintManagerUI& pm = *static_cast<WindowImplBase*>(window)->GetPaintManager();
    EXPECT_EQ(TextOf(pm, L"valueControlUI"), L"Thorax");
    UITest::SetText(pm, L"valueControlUI", L"");
    UITest::Click(pm, L"saveBtn");
    SOWin::PumpEvents(20);
    stayed = IsWindow(window->GetHWND());
    window->Close(IDCANCEL);
  });
  CValueUpdateDlg_TeamName name(link);
  name.Create(host, L"CValueUpdateDlg_TeamName", 0x86C80000, 0, 0, 0, 0, 0);
  name.ShowModal();
  EXPECT_TRUE(stayed);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_FALSE(g_boxes[0].empty());
  EXPECT_EQ(link->Team().name, "Thorax");

  // A service type the list does not know: nothing selected.
  service.Admin("SetTeam", {{"teamId", created.id}, {"serviceType", "OTHER"}});
  ASSERT_TRUE(LinkManager::Instance().RefreshTeams());
  link = LinkManager::Instance().Find(created.id);  // the logins in between made the links anew
  ASSERT_EQ(link->Team().serviceType, "OTHER");
  UITest::OnModal(L"CValueUpdateDlg", [](CWindowWnd* window) {
    CPaintManagerUI& pm = *static_cast<WindowImplBase*>(window)->GetPaintManager();
    EXPECT_EQ(static_cast<CComboUI*>(pm.FindControl(L"valueControlUI"))->GetCurSel(), -1);
    window->Close(IDCANCEL);
  });
  CValueUpdateDlg_TeamType type(link);
  type.Create(host, L"CValueUpdateDlg_TeamType", 0x86C80000, 0, 0, 0, 0, 0);
  type.ShowModal();
  DestroyWindow(host);
}

// Users found by name are added by the owner; the permission dialog changes one member's rights.
TEST_F(RemoteWebTest, MemberDialogsAddTheChosenUserAndSetPermissions) {
  UseRuntimeSkins();
  Login("reporter");
  const TeamRecord created = CreateTeam("Spine", "13800000002");
  ASSERT_TRUE(LinkManager::Instance().RefreshTeams());
  auto link = LinkManager::Instance().Find(created.id);
  ASSERT_NE(link, nullptr);
  HWND host = MakeHostWindow(600, 500);

  UITest::OnModal(L"CMemberAddDlg", [](CWindowWnd* window) {
    auto* dialog = static_cast<CMemberAddDlg*>(window);
    CPaintManagerUI& pm = *dialog->GetPaintManager();
    CControlUI* add = pm.FindControl(L"addBtn");
    UITest::Click(pm, L"searchBtn");  // no text: no rows
    EXPECT_FALSE(add->IsEnabled());
    UITest::Click(pm, L"addBtn");
    EXPECT_TRUE(IsWindow(window->GetHWND()));
    UITest::SetText(pm, L"searchEdit", L"verifier");
    UITest::Click(pm, L"searchBtn");
    ASSERT_EQ(dialog->Results().size(), 1u);
    EXPECT_EQ(static_cast<CListUI*>(pm.FindControl(L"resultList"))->GetCurSel(), 0);
    EXPECT_TRUE(add->IsEnabled());
    UITest::Click(pm, L"addBtn");
  });
  CMemberAddDlg add(link);
  add.Create(host, L"CMemberAddDlg", 0x86C80000, 0, 0, 0, 0, 0);
  add.ShowModal();
  const std::vector<MemberRecord> members = link->Team().members;
  ASSERT_EQ(members.size(), 2u);
  const MemberRecord verifier = members[0].user.userName == "verifier" ? members[0] : members[1];
  EXPECT_EQ(verifier.user.userName, "verifier");

  UITest::OnModal(L"CMemberPermitDlg", [](CWindowWnd* window) {
    CPaintManagerUI& pm = *static_cast<WindowImplBase*>(window)->GetPaintManager();
    static_cast<COptionUI*>(pm.FindControl(L"verifyCheck"))->Selected(true, false);
    static_cast<COptionUI*>(pm.FindControl(L"editCheck"))->Selected(false, false);
    UITest::Click(pm, L"saveBtn");
  });
  CMemberPermitDlg permit(link, verifier);
  permit.Create(host, L"CMemberPermitDlg", 0x86C80000, 0, 0, 0, 0, 0);
  permit.ShowModal();
  for (const MemberRecord& m : link->Team().members)
    if (m.user.userName == "verifier") {
      EXPECT_TRUE(m.verifyPermit);
      EXPECT_FALSE(m.editPermit);
    }
  DestroyWindow(host);
}

TEST(MemberCard, TitleFallsBackAndPermissionsShowAsLabels) {
  UseRuntimeSkins();
  const struct {
    bool edit, verify;
    const char* signedName;
    const char* nickName;
    const wchar_t* title;
  } cases[] = {{true, true, "Dr. Li", "Li", L"Dr. Li"}, {false, false, "", "", L"liwei"}, {true, false, "", "Li", L"Li"}};
  for (const auto& c : cases) {
    MemberRecord member;
    member.editPermit = c.edit;
    member.verifyPermit = c.verify;
    member.signedName = c.signedName;
    member.user.nickName = c.nickName;
    member.user.userName = "liwei";
    CMemberWnd card(member);
    ASSERT_NE(card.Create(nullptr, L"CMemberWnd", 0x80880000, 0, 0, 0, 0, 0), nullptr);
    CPaintManagerUI& pm = *card.GetPaintManager();
    EXPECT_EQ(TextOf(pm, L"userTitleLabel"), c.title);
    EXPECT_EQ(pm.FindControl(L"readOnlyLabel")->IsVisible(), !c.edit && !c.verify);
    EXPECT_EQ(pm.FindControl(L"editPermitLabel")->IsVisible(), c.edit);
    EXPECT_EQ(pm.FindControl(L"verifyPermitLabel")->IsVisible(), c.verify);
    DestroyWindow(card.GetHWND());
  }
}
