// The account dialogs, the login state and the update check against the consultation service
// stand-in, in a running frame.

#include <gtest/gtest.h>
#include <httplib.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

#include <filesystem>
#include <functional>
#include <thread>

#include "AppUpdate.h"
#include "CFindPasswordDlg.h"
#include "CLoginDlg.h"
#include "CMainFrameWnd.h"
#include "CRegisterDlg.h"
#include "ConsultFixture.h"
#include "Gossamy.h"
#include "Jorvel.h"
#include "PersonalInfoDlg.h"
#include "SOAccountStore.h"
#include "SOCountdown.h"
#include "SOWinReg.h"
#include "ShellMessages.h"
#include "SOWinQt.h"
#include "ShellTestUtil.h"
#include "UITestDriver.h"

using namespace DuiLib;

namespace {

std::string Raw(const char* name) {
  std::string value;
  Gossamy::ReadHKCU(name, value);
  return value;
}

int Page(CPaintManagerUI& pm, const wchar_t* tabs) {
  auto* layout = dynamic_cast<CTabLayoutUI*>(pm.FindControl(tabs));
  return layout ? layout->GetCurSel() : -1;
}

std::wstring Text(CPaintManagerUI& pm, const wchar_t* name) {
  CControlUI* control = pm.FindControl(name);
  return control ? control->GetText().str() : L"<missing>";
}

// The index of the one visible child of a field's state layout.
int FieldState(CPaintManagerUI& pm, const wchar_t* layout) {
  auto* container = dynamic_cast<CContainerUI*>(pm.FindControl(layout));
  int shown = -1;
  for (int i = 0; container && i < container->GetCount(); ++i)
    if (container->GetItemAt(i)->IsVisible()) shown = shown == -1 ? i : -2;
  return shown;
}

// Every message box is counted, its text kept, and confirmed.
std::vector<std::wstring> g_boxes;
void AnswerBoxes() {
  UITest::OnModal(L"CMessageBoxUI", [](CWindowWnd* box) {
    g_boxes.push_back(Text(*static_cast<WindowImplBase*>(box)->GetPaintManager(), L"textText"));
    AnswerBoxes();
    box->Close(IDOK);
  });
}

size_t Requests(ConsultFixture& service, const std::string& operation) {
  size_t n = 0;
  const nlohmann::json log = service.Admin("Requests");
  for (const auto& r : log["requests"])
    if (r["operation"] == operation) ++n;
  return n;
}

// One service for a whole suite: stopping one waits for the client's idle connections.
class Account : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    shared = new ConsultFixture;
    ASSERT_GT(shared->Start(), 0);
    shared->AddUser("alice", "pw1", "13812345678", "");
    shared->AddUser("frank", "pw2", "13987654321", "");
  }
  static void TearDownTestSuite() {
    delete shared;
    shared = nullptr;
  }
  void SetUp() override {
    orvanta::test::EnsureQtApp();
    shelltest::FreshRegistry();
    Web_SetSettings({service.BaseUrl(), 2000, 5000});
    service.Admin("ClearRequests");
    g_boxes.clear();
    AnswerBoxes();
  }
  void TearDown() override {
    GetJorvel()->Logout();
    CloseFrame();
    SOWin::SetShellOpenHook({});
  }
  void CloseFrame() {
    if (frame && IsWindow(frame->GetHWND())) DestroyWindow(frame->GetHWND());
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    frame.reset();
  }

  void Open() {
    const auto dir = shelltest::MakeProgramDir({});
    CPaintManagerUI::SetResourcePath(SOWin::FromUtf8((dir / "skin").string() + "/").c_str());
    CMainFrameWnd::Options options;
    options.programDir = dir.string() + "/";
    options.startupDelayMs = 10;
    options.trayAvailable = 1;
    frame = std::make_unique<CMainFrameWnd>(options);
    ASSERT_NE(frame->CreateFrame(), nullptr);
    ASSERT_TRUE(SOWin::PumpUntil([&] { return frame->IsCreated(); }, 5000));
  }

  // Posts `message` to the frame and runs `act` inside the modal dialog of `windowClass`.
  void InDialog(const wchar_t* windowClass, UINT message, WPARAM wParam, LPARAM lParam,
                const std::function<void(WindowImplBase&, CPaintManagerUI&)>& act) {
    bool opened = false;
    UITest::OnModal(windowClass, [&](CWindowWnd* w) {
      opened = true;
      auto* dialog = static_cast<WindowImplBase*>(w);
      act(*dialog, *dialog->GetPaintManager());
      if (IsWindow(w->GetHWND())) w->Close(IDCANCEL);
    });
    PostMessageW(frame->GetHWND(), message, wParam, lParam);
    ASSERT_TRUE(SOWin::PumpUntil([&] { return opened && !frame->IsLoginOpen(); }, 10000));
    UITest::ProcessEvents(20);
  }

  static ConsultFixture* shared;
  ConsultFixture& service = *shared;
  std::unique_ptr<CMainFrameWnd> frame;
};

ConsultFixture* Account::shared = nullptr;

TEST_F(Account, LoginTrimsTheNameStoresTheAccountSealedAndShowsTheUser) {
  Open();
  InDialog(L"CLoginDlg", WM_SO_LOGIN, 0, 0, [&](WindowImplBase& dialog, CPaintManagerUI& pm) {
    // Empty fields ask for them and send nothing.
    UITest::SetText(pm, L"userNameEdit", L"   ");
    UITest::Click(pm, L"loginBtn");
    EXPECT_EQ(Text(pm, L"errorLabel"), L"Please enter the username!");
    UITest::SetText(pm, L"userNameEdit", L"  alice  ");
    UITest::SetText(pm, L"passwordEdit", L"");
    UITest::Click(pm, L"loginBtn");
    EXPECT_EQ(Text(pm, L"errorLabel"), L"Please enter the password!");
    EXPECT_EQ(Requests(service, "Login"), 0u);

    UITest::SetText(pm, L"passwordEdit", L"pw1");
    UITest::Click(pm, L"autoLoginOpt");
    UITest::Click(pm, L"loginBtn");
    EXPECT_EQ(Text(pm, L"userNameEdit"), L"alice");
    EXPECT_EQ(Page(pm, L"tabLayout"), 1);
    // Waiting: the dialog does not close.
    SendMessageW(dialog.GetHWND(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(dialog.GetHWND()));
    SOWin::PumpUntil([&] { return !IsWindow(dialog.GetHWND()); }, 5000);
  });
  EXPECT_TRUE(GetJorvel()->IsLoggedIn());
  EXPECT_EQ(Raw("UserName"), "alice");
  EXPECT_EQ(Raw("AutoLogin"), "true");
  EXPECT_EQ(Raw("Password").find("pw1"), std::string::npos);
  EXPECT_EQ(orvanta::test::FileBytes(SOWinReg::RegistryPath()).find("\"pw1\""), std::string::npos);
  EXPECT_EQ(SOAccountStore::Password(), "pw1");
  ASSERT_TRUE(SOWin::PumpUntil([&] { return Page(*frame->GetPaintManager(), L"loginTabLayout") == 1; }, 2000));
  EXPECT_EQ(Text(*frame->GetPaintManager(), L"userNameBtn"), L"alice");

  // Logged in, a plug-in's request for a login changes nothing.
  frame->Broadcast(SOMSG_LOGIN_REQUIRED, nullptr, nullptr);
  UITest::ProcessEvents(30);
  EXPECT_FALSE(frame->IsLoginOpen());

  GetJorvel()->Logout();
  ASSERT_TRUE(SOWin::PumpUntil([&] { return Page(*frame->GetPaintManager(), L"loginTabLayout") == 0; }, 2000));
  EXPECT_EQ(Text(*frame->GetPaintManager(), L"userNameBtn"), L"");
}

TEST_F(Account, AFailedLoginShowsTheServicesReasonAndKeepsTheStoredAccount) {
  SOAccountStore::Save("bob", "old", false);
  Open();
  InDialog(L"CLoginDlg", WM_SO_LOGIN, 0, 0, [&](WindowImplBase& dialog, CPaintManagerUI& pm) {
    UITest::SetText(pm, L"userNameEdit", L"alice");
    UITest::SetText(pm, L"passwordEdit", L"wrong");
    UITest::Click(pm, L"loginBtn");
    ASSERT_TRUE(SOWin::PumpUntil([&] { return Page(pm, L"tabLayout") == 0; }, 5000));
    EXPECT_EQ(Text(pm, L"errorLabel"), L"Incorrect username or password!");
    // A second request while the dialog is open is ignored.
    PostMessageW(frame->GetHWND(), WM_SO_LOGIN, 0, 0);
    UITest::ProcessEvents(30);
  });
  EXPECT_FALSE(GetJorvel()->IsLoggedIn());
  EXPECT_EQ(Raw("UserName"), "bob");
  EXPECT_EQ(Raw("AutoLogin"), "false");
}

TEST_F(Account, StoredAccountLogsInAtStartUpAndLoginRequestsFindTheOwner) {
  SOAccountStore::Save("alice", "pw1", true);
  bool waitingAtOpen = false;
  UITest::OnModal(L"CLoginDlg", [&](CWindowWnd* w) {
    waitingAtOpen = Page(*static_cast<WindowImplBase*>(w)->GetPaintManager(), L"tabLayout") == 1;
  });
  Open();
  ASSERT_TRUE(SOWin::PumpUntil([&] { return GetJorvel()->IsLoggedIn() && !frame->IsLoginOpen(); }, 10000));
  EXPECT_TRUE(waitingAtOpen);
  GetJorvel()->Logout();

  // Logged out, a plug-in's request opens the dialog owned by the window it names.
  const HWND owner = frame->GetHWND();
  HWND ownerSeen = nullptr;
  UITest::OnModal(L"CLoginDlg", [&](CWindowWnd* w) {
    ownerSeen = GetWindow(w->GetHWND(), GW_OWNER);
    w->Close(IDCANCEL);
  });
  frame->Broadcast(SOMSG_LOGIN_REQUIRED, owner, nullptr);
  ASSERT_TRUE(SOWin::PumpUntil([&] { return ownerSeen != nullptr; }, 5000));
  EXPECT_EQ(ownerSeen, owner);
}

TEST_F(Account, RegistrationChecksEveryFieldAndCountsDownTheCodeButton) {
  Open();
  InDialog(L"CRegisterDlg", WM_SO_REGISTER, 0, 0, [&](WindowImplBase& dialog, CPaintManagerUI& pm) {
    // Focus shows the hint; leaving shows the state; an empty field left shows the hint again.
    UITest::Focus(pm, L"userNameEdit");
    EXPECT_EQ(FieldState(pm, L"userNameLabelLayout"), CRegisterDlg::kHint);
    UITest::SetText(pm, L"userNameEdit", L"  a1 ");
    UITest::KillFocus(pm);
    EXPECT_EQ(Text(pm, L"userNameEdit"), L"a1");
    EXPECT_EQ(FieldState(pm, L"userNameLabelLayout"), CRegisterDlg::kInvalid);
    UITest::SetText(pm, L"userNameEdit", L"carol");
    UITest::KillFocus(pm);
    EXPECT_EQ(FieldState(pm, L"userNameLabelLayout"), CRegisterDlg::kValid);
    UITest::SetText(pm, L"phoneEdit", L"");
    UITest::KillFocus(pm);
    EXPECT_EQ(FieldState(pm, L"phoneLabelLayout"), CRegisterDlg::kHint);

    // Registering with fields missing checks all four and sends nothing.
    UITest::Click(pm, L"registerBtn");
    EXPECT_EQ(FieldState(pm, L"userNameLabelLayout"), CRegisterDlg::kValid);
    EXPECT_EQ(FieldState(pm, L"passwordLabelLayout"), CRegisterDlg::kEmpty);
    EXPECT_EQ(FieldState(pm, L"phoneLabelLayout"), CRegisterDlg::kEmpty);
    EXPECT_EQ(FieldState(pm, L"verifyCodeLabelLayout"), CRegisterDlg::kEmpty);
    EXPECT_EQ(Requests(service, "UserRegister"), 0u);

    // The code: the button counts down 60 ticks, then may be pressed again.
    UITest::SetText(pm, L"phoneEdit", L" 13900000002 ");
    const std::wstring label = Text(pm, L"verifyCodeSendBtn");
    UITest::Click(pm, L"verifyCodeSendBtn");
    EXPECT_EQ(Text(pm, L"verifyCodeSendBtn"), L"(60S)");
    EXPECT_FALSE(pm.FindControl(L"verifyCodeSendBtn")->IsEnabled());
    for (int tick = 0; tick < 59; ++tick) SendMessageW(dialog.GetHWND(), WM_TIMER, SOCountdown::kTimerId, 0);
    EXPECT_EQ(Text(pm, L"verifyCodeSendBtn"), L"(1S)");
    EXPECT_FALSE(pm.FindControl(L"verifyCodeSendBtn")->IsEnabled());
    SendMessageW(dialog.GetHWND(), WM_TIMER, SOCountdown::kTimerId, 0);
    EXPECT_EQ(Text(pm, L"verifyCodeSendBtn"), label);
    EXPECT_TRUE(pm.FindControl(L"verifyCodeSendBtn")->IsEnabled());

    // A taken name is the service's error; a free one finishes on page 1.
    UITest::SetText(pm, L"userNameEdit", L"alice");
    UITest::SetText(pm, L"passwordEdit", L"secret");
    UITest::SetText(pm, L"verifyCodeEdit", SOWin::FromUtf8(service.SmsCode("13900000002")).c_str());
    UITest::Click(pm, L"registerBtn");
    EXPECT_EQ(Text(pm, L"webErrorLabel"), L"The username already exists!");
    UITest::SetText(pm, L"userNameEdit", L" carol ");
    UITest::Click(pm, L"registerBtn");
    EXPECT_EQ(Page(pm, L"registerTabLayout"), 1);
    EXPECT_EQ(Text(pm, L"webErrorLabel"), L"");
  });
  WebError error;
  EXPECT_TRUE(GetJorvel()->Login("carol", "secret", &error));
}

TEST_F(Account, FindPasswordWalksFourPagesWithTheTokenOfTheCode) {
  Open();
  Gossamy::WriteHKCU("UserName", "frank");
  InDialog(L"CFindPasswordDlg", WM_SO_FINDPASSWORD, 0, 0, [&](WindowImplBase&, CPaintManagerUI& pm) {
    EXPECT_EQ(Text(pm, L"userNameEdit"), L"frank");
    UITest::Click(pm, L"userConfirmBtn");
    ASSERT_EQ(Page(pm, L"tabLayout"), 1);
    EXPECT_EQ(Text(pm, L"phoneEdit"), L"*******4321");

    UITest::Click(pm, L"verifyConfirmBtn");
    EXPECT_EQ(Text(pm, L"errorVerifyCodeLabel"), L"Please enter the verification code!");
    EXPECT_EQ(Requests(service, "TokenByMobile"), 0u);
    UITest::Click(pm, L"verifyCodeSendBtn");
    EXPECT_EQ(Text(pm, L"verifyCodeSendBtn"), L"(60S)");
    UITest::SetText(pm, L"verifyCodeEdit", SOWin::FromUtf8(" " + service.SmsCode("13987654321") + " ").c_str());
    UITest::Click(pm, L"verifyConfirmBtn");
    ASSERT_EQ(Page(pm, L"tabLayout"), 2);

    struct {
      const wchar_t* first;
      const wchar_t* second;
      const wchar_t* error;
    } checks[] = {{L"", L"", L"The password cannot be empty!"},
                  {L"ab", L"ab", L"The password format is incorrect!"},
                  {L"abc", L"", L"The two passwords are not the same!"}};
    for (const auto& c : checks) {
      UITest::SetText(pm, L"passwordEdit", c.first);
      UITest::SetText(pm, L"password2Edit", c.second);
      UITest::Click(pm, L"passwordConfirmBtn");
      EXPECT_EQ(Text(pm, L"errorPasswordLabel"), c.error);
    }
    UITest::SetText(pm, L"passwordEdit", L"newpw");
    UITest::SetText(pm, L"password2Edit", L"newpw");
    UITest::Click(pm, L"passwordConfirmBtn");
    EXPECT_EQ(Page(pm, L"tabLayout"), 3);
  });
  WebError error;
  EXPECT_TRUE(GetJorvel()->Login("frank", "newpw", &error));
}

TEST_F(Account, NicknameChangesOnceAndAFailureShowsTheStoredOne) {
  WebError error;
  ASSERT_TRUE(GetJorvel()->Login("alice", "pw1", &error));
  Open();
  UITest::OnModal(L"PersonalInfoDlg", [&](CWindowWnd* w) {
    CPaintManagerUI& pm = *static_cast<WindowImplBase*>(w)->GetPaintManager();
    // No nickname: the title is the user name.
    EXPECT_EQ(Text(pm, L"personal_info_userTitleLabel"), L"alice");
    EXPECT_EQ(Text(pm, L"personal_info_nickNameEdit"), L"");
    EXPECT_EQ(Text(pm, L"personal_info_mobileLabel"), L"13812345678");
    UITest::SetText(pm, L"personal_info_nickNameEdit", L"Dr. A");
    UITest::PressReturn(pm, L"personal_info_nickNameEdit");
    UITest::KillFocus(pm);
    EXPECT_EQ(Requests(service, "UpdateNickName"), 1u);
    EXPECT_EQ(Text(pm, L"personal_info_userTitleLabel"), L"Dr. A");

    // The service refuses: the edit shows the stored name again and the reason comes up.
    service.Admin("ScriptNext", {{"operation", "UpdateNickName"},
                                 {"body", R"({"ok":false,"error":{"code":"10020","message":"refused"}})"}});
    UITest::SetText(pm, L"personal_info_nickNameEdit", L"Nope");
    UITest::PressReturn(pm, L"personal_info_nickNameEdit");
    EXPECT_EQ(Text(pm, L"personal_info_nickNameEdit"), L"Dr. A");
    UITest::KillFocus(pm);
    EXPECT_EQ(Requests(service, "UpdateNickName"), 2u);
    w->Close(IDOK);
  });
  PersonalInfoDlg::Run(frame->GetHWND());
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0], L"Operation refused!");
}

TEST_F(Account, FeedbackNeedsTextAndShowsTheOutcome) {
  Open();
  UITest::OnModal(L"FeedbackDlg", [&](CWindowWnd* w) {
    CPaintManagerUI& pm = *static_cast<WindowImplBase*>(w)->GetPaintManager();
    UITest::Click(pm, L"sendBtn");
    EXPECT_EQ(Requests(service, "Feedback"), 0u);
    UITest::SetText(pm, L"feedbackEdit", L"The ruler is great");
    // The service away: the failed page, from which the form comes back with the text.
    service.Stop();
    UITest::Click(pm, L"sendBtn");
    EXPECT_EQ(Page(pm, L"switch"), 2);
    UITest::Click(pm, L"retryBtn");
    EXPECT_EQ(Page(pm, L"switch"), 0);
    EXPECT_EQ(Text(pm, L"feedbackEdit"), L"The ruler is great");
    ASSERT_GT(service.Start(), 0);
    Web_SetSettings({service.BaseUrl(), 2000, 5000});
    UITest::Click(pm, L"sendBtn");
    EXPECT_EQ(Page(pm, L"switch"), 1);
    UITest::Click(pm, L"successCloseBtn");
  });
  FeedbackDlg::Run(frame->GetHWND());
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0], L"Feedback can not be empty!");
  EXPECT_EQ(service.Admin("Feedback")["texts"], nlohmann::json::array({"The ruler is great"}));
}

TEST_F(Account, StartUpNoticeOpensOnlyWebPagesOrShowsTheMessage) {
  struct Case {
    const char* type;
    const char* content;
    bool opened;
    size_t boxes;
  } cases[] = {{"web", "https://example.org/news", true, 0},
               {"web", "file:///etc/passwd", false, 0},
               {"msg", "Maintenance tonight", false, 1},
               {"other", "x", false, 0}};
  for (const auto& c : cases) {
    service.Admin("SetNotice", {{"noticeType", c.type}, {"noticeContent", c.content}});
    g_boxes.clear();
    std::vector<std::string> opened;
    SOWin::SetShellOpenHook([&](const std::string&, const std::string& file, const std::string&, const std::string&) {
      opened.push_back(file);
      return true;
    });
    Open();
    CControlUI* button = frame->GetPaintManager()->FindControl(L"notifyBtn");
    ASSERT_TRUE(SOWin::PumpUntil([&] { return Requests(service, "UpdateCheck") > 0; }, 5000));
    UITest::ProcessEvents(50);
    UITest::Click(*frame->GetPaintManager(), L"notifyBtn");
    EXPECT_EQ(opened.size(), c.opened ? 1u : 0u) << c.type << " " << c.content;
    EXPECT_EQ(g_boxes.size(), c.boxes) << c.type;
    EXPECT_FALSE(button->IsVisible());
    CloseFrame();
    service.Admin("ClearRequests");
  }
}

// The installer's server: 3 MB at /setup.
class Update : public Account {
 protected:
  void SetUp() override {
    Account::SetUp();
    body.assign(3 * 1024 * 1024, 'x');
    files.Get("/setup", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(body, "application/octet-stream");
    });
    // 3 MB announced, 2 bytes every 0.2 s.
    files.Get("/crawl", [](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(3 * 1024 * 1024, "application/octet-stream",
                               [](size_t, size_t, httplib::DataSink& sink) {
                                 std::this_thread::sleep_for(std::chrono::milliseconds(200));
                                 return sink.write("xx", 2);
                               });
    });
    port = files.bind_to_any_port("127.0.0.1");
    thread = std::thread([this] { files.listen_after_bind(); });
    while (!files.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void TearDown() override {
    Account::TearDown();
    files.stop();
    thread.join();
  }
  void Offer(const std::string& fileName, const std::string& path) {
    service.Admin("SetUpdate", {{"info",
                                 {{"version", "2.0"},
                                  {"fileName", fileName},
                                  {"checksum", ""},
                                  {"url", "http://127.0.0.1:" + std::to_string(port) + path},
                                  {"message", "Version 2.0 is out"}}}});
  }

  httplib::Server files;
  std::thread thread;
  int port = 0;
  std::string body;
};

TEST_F(Update, AnnouncedUpdateDownloadsIntoDownloadsAndShowsTheFolder) {
  const auto home = orvanta::test::MakeTempDir("home");
  const std::string oldHome = std::getenv("HOME");
  ::setenv("HOME", home.c_str(), 1);
  Offer("../Orvanta-2.0.run", "/setup");
  // Seen as its loop starts, before any of the download's messages is handled.
  static CPaintManagerUI* updateWindow = nullptr;
  static const bool watching = [] {
    CWindowWnd::AddModalObserver([](CWindowWnd* w) {
      if (std::wstring(w->GetWindowClassName()) == L"AppUpdateWindow")
        updateWindow = static_cast<WindowImplBase*>(w)->GetPaintManager();
    });
    return true;
  }();
  ASSERT_TRUE(watching);
  // The folder is shown once the download is whole; the window's labels are read then.
  std::vector<std::string> opened;
  std::wstring label;
  int percent = -1;
  SOWin::SetShellOpenHook([&](const std::string&, const std::string& file, const std::string&, const std::string&) {
    opened.push_back(file);
    if (updateWindow) {
      label = Text(*updateWindow, L"progressValueLabel");
      percent = dynamic_cast<CProgressUI*>(updateWindow->FindControl(L"progress"))->GetValue();
    }
    return true;
  });
  Open();
  MoveWindow(frame->GetHWND(), 100, 100, 1200, 800, TRUE);
  const HWND notify = frame->GetNotifyWindow().GetHWND();
  ASSERT_TRUE(SOWin::PumpUntil([&] { return IsWindowVisible(notify) != 0; }, 5000));
  RECT rc;
  GetWindowRect(notify, &rc);
  EXPECT_EQ(rc.left, 932);
  EXPECT_EQ(rc.top, 718);
  EXPECT_EQ(rc.right - rc.left, 360);
  EXPECT_EQ(rc.bottom - rc.top, 150);
  EXPECT_EQ(Text(*frame->GetNotifyWindow().GetPaintManager(), L"textLabel"), L"Version 2.0 is out");
  // Kept above the frame by the desktop: its transient parent is the frame, told as a dialog's.
  QWindow* announcement = SOWin::WidgetOf(notify)->windowHandle();
  EXPECT_EQ(announcement->transientParent(), SOWin::WidgetOf(frame->GetHWND())->windowHandle());
  EXPECT_EQ(announcement->type(), Qt::Dialog);
  // The frame carries the program's icon for the task bar.
  EXPECT_FALSE(SOWin::WidgetOf(frame->GetHWND())->windowIcon().isNull());

  UITest::Click(*frame->GetNotifyWindow().GetPaintManager(), L"updateBtn");
  EXPECT_FALSE(IsWindowVisible(notify));
  ASSERT_TRUE(SOWin::PumpUntil([&] { return !opened.empty(); }, 10000));
  ::setenv("HOME", oldHome.c_str(), 1);

  EXPECT_EQ(orvanta::test::FileBytes(home / "Downloads" / "Orvanta-2.0.run"), body);
  EXPECT_EQ(opened, std::vector<std::string>{(home / "Downloads").string()});
  EXPECT_EQ(label, L"3.00 MB/3.00 MB");
  EXPECT_EQ(percent, 100);
}

TEST_F(Update, TheDownloadWindowsCloseControlAndEscapeCancelTheDownload) {
  const auto home = orvanta::test::MakeTempDir("home-cancel");
  const std::string oldHome = std::getenv("HOME");
  ::setenv("HOME", home.c_str(), 1);
  Offer("Orvanta-2.0.run", "/crawl");
  int opened = 0;
  SOWin::SetShellOpenHook([&](const std::string&, const std::string&, const std::string&, const std::string&) {
    ++opened;
    return true;
  });
  const std::function<void(CWindowWnd*)> ways[] = {
      [](CWindowWnd* window) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(static_cast<QObject*>(SOWin::WidgetOf(window->GetHWND())), &escape);
      },
      [](CWindowWnd* window) {
        UITest::Click(*static_cast<WindowImplBase*>(window)->GetPaintManager(), L"closeBtn");
      },
  };
  for (const auto& cancel : ways) {
    Open();
    const HWND notify = frame->GetNotifyWindow().GetHWND();
    ASSERT_TRUE(SOWin::PumpUntil([&] { return IsWindowVisible(notify) != 0; }, 5000));
    bool downloading = false;
    std::chrono::steady_clock::time_point cancelled;
    UITest::OnModal(L"AppUpdateWindow", [&](CWindowWnd* window) {
      UITest::ProcessEvents(300);
      downloading = IsWindow(window->GetHWND());
      cancelled = std::chrono::steady_clock::now();
      cancel(window);
    });
    UITest::Click(*frame->GetNotifyWindow().GetPaintManager(), L"updateBtn");
    ASSERT_TRUE(SOWin::PumpUntil([&] { return downloading; }, 5000));
    // Closed at once; the download gives up within about a second and leaves nothing.
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::milliseconds(500));
    const auto part = home / "Downloads" / "Orvanta-2.0.run.part";
    EXPECT_TRUE(SOWin::PumpUntil([&] { return !std::filesystem::exists(part); }, 3000));
    EXPECT_FALSE(std::filesystem::exists(home / "Downloads" / "Orvanta-2.0.run"));
    CloseFrame();
    service.Admin("ClearRequests");
  }
  ::setenv("HOME", oldHome.c_str(), 1);
  SOWin::SetShellOpenHook(nullptr);
  EXPECT_EQ(opened, 0);
}

TEST_F(Update, NoNoticeWithoutAUsableFileName) {
  for (const char* name : {"", ".."}) {
    Offer(name, "/setup");
    Open();
    ASSERT_TRUE(SOWin::PumpUntil([&] { return Requests(service, "UpdateCheck") > 0; }, 5000));
    UITest::ProcessEvents(50);
    EXPECT_FALSE(IsWindowVisible(frame->GetNotifyWindow().GetHWND())) << name;
    CloseFrame();
    service.Admin("ClearRequests");
  }
}

}  // namespace
