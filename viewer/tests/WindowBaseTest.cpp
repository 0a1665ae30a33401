#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SOWindowBase.h"
#include "ViewerUiTestUtil.h"

namespace {

// Records which handler each message reached.
class Probe : public SOWindowBase {
 public:
  explicit Probe(DWORD classStyle = CS_DBLCLKS) : classStyle_(classStyle) {}
  const wchar_t* GetWindowClassName() override { return L"WindowBaseProbe"; }
  DWORD GetWindowClassStyle() override { return classStyle_; }
  const wchar_t* GetWindowName() override { return L"Probe"; }
  DWORD GetWndStyle() override { return WS_CHILD | WS_VISIBLE; }

  LRESULT OnKeyDown(WPARAM key, LPARAM, BOOL& handled) override {
    log.push_back("keydown " + std::to_string(key));
    handled = TRUE;
    return 0;
  }
  LRESULT OnCommand(WPARAM, LPARAM, BOOL& handled) override {
    handled = TRUE;
    return 5;
  }
  LRESULT HandleCustomerMessage(UINT msg, WPARAM wParam, LPARAM, BOOL& handled) override {
    log.push_back("custom " + std::to_string(msg) + " " + std::to_string(wParam));
    if (msg == WM_NCDESTROY) ncDestroyed = true;
    else if (ncDestroyed) lateMessage = true;
    handled = FALSE;
    return 0;
  }

  std::vector<std::string> log;
  bool ncDestroyed = false;
  bool lateMessage = false;

 private:
  DWORD classStyle_;
};

}  // namespace

TEST(WindowBase, ClassRegisteredOnceFirstStyleWins) {
  viewer_ui_test::Frame frame;
  Probe first(CS_DBLCLKS);
  Probe second(CS_HREDRAW);
  ASSERT_NE(first.Create(frame.GetWindow(), 0, 0, 10, 10), nullptr);
  ASSERT_NE(second.Create(frame.GetWindow(), 0, 0, 10, 10), nullptr);
  WNDCLASSEXW wc{};
  ASSERT_TRUE(GetClassInfoExW(nullptr, L"WindowBaseProbe", &wc));
  EXPECT_EQ(wc.style, static_cast<UINT>(CS_DBLCLKS));
}

TEST(WindowBase, KeysAndUnroutedMessagesReachTheirHandlers) {
  viewer_ui_test::Frame frame;
  Probe probe;
  probe.Create(frame.GetWindow(), 0, 0, 10, 10);
  struct Case {
    UINT msg;
    WPARAM key;
    std::string reached;
  };
  const Case cases[] = {
      {WM_KEYDOWN, 'A', "custom 256 65"},
      {WM_KEYDOWN, 0x10, "keydown 16"},
      {WM_KEYDOWN, 0x2E, "keydown 46"},
      {WM_KEYDOWN, 0x74, "keydown 116"},
      {WM_KEYDOWN, 0x7C, "custom 256 124"},
      {WM_SYSKEYDOWN, 0x79, "keydown 121"},
      {WM_SYSKEYDOWN, 'A', "custom 260 65"},
      {WM_CTLCOLORSTATIC, 0, "custom 312 0"},
  };
  for (const Case& c : cases) {
    probe.log.clear();
    SendMessageW(probe.GetWindow(), c.msg, c.key, 0);
    ASSERT_EQ(probe.log.size(), 1u) << c.reached;
    EXPECT_EQ(probe.log[0], c.reached);
  }
}

TEST(WindowBase, HandledResultIsTheProceduresAndRectangleOnlyFromMoveWindow) {
  viewer_ui_test::Frame frame;
  Probe probe;
  probe.Create(frame.GetWindow(), 3, 4, 10, 10);
  EXPECT_EQ(SendMessageW(probe.GetWindow(), WM_COMMAND, 0, 0), 5);
  RECT r = probe.GetWindowRect();
  EXPECT_EQ(r.left | r.top | r.right | r.bottom, 0);
  probe.MoveWindow(5, 6, 20, 30);
  r = probe.GetWindowRect();
  EXPECT_EQ(r.left, 5);
  EXPECT_EQ(r.top, 6);
  EXPECT_EQ(r.right, 25);
  EXPECT_EQ(r.bottom, 36);
}

TEST(WindowBase, ParentDestroyedFirstLeavesTheObjectUnbound) {
  Probe probe;
  HWND child = nullptr;
  {
    viewer_ui_test::Frame frame;
    child = probe.Create(frame.GetWindow(), 0, 0, 10, 10);
    ASSERT_NE(child, nullptr);
  }
  EXPECT_TRUE(probe.ncDestroyed);
  EXPECT_FALSE(probe.lateMessage);
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(probe.GetWindow(), nullptr);
  EXPECT_EQ(SendMessageW(child, WM_KEYDOWN, 0x10, 0), 0);
}
