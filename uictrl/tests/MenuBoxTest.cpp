#include "ZarnetTestUtil.h"

#include <gtest/gtest.h>

using namespace DuiLib;

namespace {

// A window with the button that owns the menus; it records what the button receives.
class COwnerWnd : public WindowImplBase {
 public:
  struct Seen {
    std::wstring type;
    WPARAM wParam;
  };
  std::vector<Seen> seen;

  CControlUI* Button() { return m_PaintManager.FindControl(L"userNameBtn"); }
  void Notify(TNotifyUI& msg) override {
    if (msg.pSender && msg.pSender->GetName() == L"userNameBtn")
      seen.push_back({msg.sType.str(), msg.wParam});
  }

 protected:
  CDuiString GetSkinFolder() override { return L""; }
  CDuiString GetSkinFile() override {
    return LR"(<Window size="300,80"><HorizontalLayout bkcolor="#FFFFFFFF">
      <Button name="userNameBtn" text="User" width="120"/><Control/></HorizontalLayout></Window>)";
  }
  const wchar_t* GetWindowClassName() const override { return L"ZarnetMenuOwner"; }
};

std::wstring MenuSkin(int width, int height) {
  return L"<Window size=\"" + std::to_wstring(width) + L"," + std::to_wstring(height) +
         L"\"><VerticalLayout bkcolor=\"#FFFFFFFF\"><List name=\"menuList\">"
         L"<ListLabelElement name=\"menu_a\" text=\"A\" height=\"28\"/></List></VerticalLayout></Window>";
}

// The menu opened last (menus are topmost tool windows of their own class).
HWND OpenMenu(CControlUI* owner, const std::wstring& skin, POINT pt) {
  EXPECT_EQ(MenuBoxUI(owner, skin.c_str(), pt), 0);
  return FindWindowW(L"MenuWnd", nullptr);
}

SOMenuWnd* MenuOf(HWND menu) {
  return dynamic_cast<SOMenuWnd*>(reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(menu, GWLP_USERDATA)));
}

// A left click on a menu item as its messages: the tests below look between the press and the
// delivery of the choice, which real input (with its event loop) does not let them.
void PressItem(HWND menu, const wchar_t* item) {
  CPaintManagerUI& pm = MenuOf(menu)->GetPaintManager();
  // Laid out as its first paint would (offscreen windows are not exposed).
  pm.UpdateLayout();
  CControlUI* control = pm.FindControl(item);
  ASSERT_NE(control, nullptr);
  RECT rc = control->GetPos();
  LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
  SendMessageW(menu, WM_MOUSEMOVE, 0, at);
  SendMessageW(menu, WM_LBUTTONDOWN, MK_LBUTTON, at);
  if (IsWindow(menu)) SendMessageW(menu, WM_LBUTTONUP, 0, at);
}

class MenuBox : public testing::Test {
 protected:
  void SetUp() override {
    zarnettest::UseRuntimeSkins();
    ASSERT_NE(owner.Create(nullptr, L"", WS_POPUP, 0, 0, 0, 0, 0), nullptr);
    owner.ShowWindow();
    UITest::ProcessEvents(5);
    owner.seen.clear();
  }
  void TearDown() override {
    while (HWND menu = FindWindowW(L"MenuWnd", nullptr)) DestroyWindow(menu);
  }

  COwnerWnd owner;
};

}  // namespace

TEST_F(MenuBox, StaysInsideTheWorkAreaOnlyOnTheRightAndBottom) {
  SOWin::SetScreenForTest(RECT{0, 0, 1920, 1080}, RECT{0, 0, 1920, 1040});
  const struct {
    int width, height;
    POINT at;
    POINT expected;
  } cases[] = {
      {200, 300, {1850, 900}, {1720, 740}},  // bottom-right corner: shifted up and left
      {200, 1200, {100, 100}, {100, 0}},     // taller than the work area: top at 0
      {2000, 100, {50, 50}, {0, 50}},        // wider than the work area: left at 0
      {200, 300, {400, 300}, {400, 300}},    // fits: unchanged
      {200, 300, {-50, -20}, {-50, -20}},    // left and top are not corrected
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.at.x << "," << c.at.y);
    HWND menu = OpenMenu(owner.Button(), MenuSkin(c.width, c.height), c.at);
    ASSERT_NE(menu, nullptr);
    RECT rc;
    GetWindowRect(menu, &rc);
    EXPECT_EQ(rc.left, c.expected.x);
    EXPECT_EQ(rc.top, c.expected.y);
    EXPECT_EQ(rc.right - rc.left, c.width);
    DestroyWindow(menu);
  }
}

TEST_F(MenuBox, ChoiceReachesTheOwnerAfterTheClickWithTheHexUserData) {
  const struct {
    const wchar_t* item;
    WPARAM wParam;
  } cases[] = {{L"menu_logout", 26}, {L"menu_bad", 0}, {L"menu_info", 0}};
  const std::wstring skin = zarnettest::TestSkin("menu.xml").wstring();
  for (const auto& c : cases) {
    SCOPED_TRACE(SOWin::ToUtf8(c.item));
    owner.seen.clear();
    HWND menu = OpenMenu(owner.Button(), skin, POINT{200, 200});
    ASSERT_NE(menu, nullptr);
    if (c.wParam) EXPECT_TRUE(zarnettest::Screenshot(menu, "menu"));
    PressItem(menu, c.item);
    EXPECT_TRUE(owner.seen.empty()) << "delivered while the click was handled";
    SOWin::PumpUntil([&] { return !IsWindow(menu) && !owner.seen.empty(); }, 3000);
    ASSERT_EQ(owner.seen.size(), 1u);
    EXPECT_EQ(owner.seen[0].type, c.item);
    EXPECT_EQ(owner.seen[0].wParam, c.wParam);
    EXPECT_FALSE(IsWindow(menu));
  }
}

TEST_F(MenuBox, EscapeAndFocusLossCloseWithoutNotifying) {
  const std::wstring skin = zarnettest::TestSkin("menu.xml").wstring();
  const struct {
    const char* how;
    void (*close)(HWND menu, HWND other);
  } closings[] = {
      {"escape", [](HWND menu, HWND) { SendMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0); }},
      {"focus loss", [](HWND menu, HWND other) { SendMessageW(menu, WM_KILLFOCUS, WPARAM(other), 0); }},
  };
  for (const auto& closing : closings) {
    SCOPED_TRACE(closing.how);
    HWND menu = OpenMenu(owner.Button(), skin, POINT{200, 200});
    ASSERT_NE(menu, nullptr);
    // Other keys and the wheel leave it open.
    SendMessageW(menu, WM_KEYDOWN, 'A', 0);
    SendMessageW(menu, WM_MOUSEWHEEL, MAKEWPARAM(0, -120), 0);
    UITest::ProcessEvents(10);
    ASSERT_TRUE(IsWindow(menu));
    closing.close(menu, owner.GetHWND());
    SOWin::PumpUntil([&] { return !IsWindow(menu); }, 3000);
    UITest::ProcessEvents(20);
    EXPECT_FALSE(IsWindow(menu));
  }
  EXPECT_TRUE(owner.seen.empty());
}

TEST_F(MenuBox, NullOwnerShowsNothing) {
  EXPECT_EQ(MenuBoxUI(nullptr, zarnettest::TestSkin("menu.xml").wstring().c_str(), POINT{10, 10}), 0);
  EXPECT_EQ(FindWindowW(L"MenuWnd", nullptr), nullptr);
}

TEST_F(MenuBox, ChoiceForAnOwnerDestroyedMeanwhileIsDropped) {
  for (bool beforeThePress : {true, false}) {
    SCOPED_TRACE(beforeThePress ? "owner gone before the press" : "owner gone before delivery");
    COwnerWnd other;
    ASSERT_NE(other.Create(nullptr, L"", WS_POPUP, 0, 0, 0, 0, 0), nullptr);
    HWND menu = OpenMenu(other.Button(), zarnettest::TestSkin("menu.xml").wstring(), POINT{200, 200});
    ASSERT_NE(menu, nullptr);
    auto removeOwner = [&] {
      static_cast<CContainerUI*>(other.Button()->GetParent())->Remove(other.Button());
    };
    if (beforeThePress) removeOwner();
    PressItem(menu, L"menu_logout");
    if (!beforeThePress) removeOwner();
    SOWin::PumpUntil([&] { return !IsWindow(menu); }, 3000);
    UITest::ProcessEvents(20);
    EXPECT_TRUE(other.seen.empty());
    EXPECT_FALSE(IsWindow(menu));
  }
}
