// Windows and messages: creation and destruction order, cross-thread sends, queues, timers,
// modal loops and the input routing the viewer relies on.

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>
#include <atomic>
#include <thread>

#include "SOGdi.h"
#include "SOWin32.h"
#include "SOWinQt.h"
#include "WinTestUtil.h"

using namespace wintest;

namespace {

class Messaging : public ::testing::Test {
 protected:
  void SetUp() override {
    orvanta::test::EnsureQtApp();
    Rec().Clear();
    Rec().handler = nullptr;
  }
  void TearDown() override {
    Rec().handler = nullptr;
    for (HWND h : made)
      if (IsWindow(h)) DestroyWindow(h);
    SOWin::PumpEvents(0);
  }
  HWND Top(DWORD style = WS_POPUP, HWND owner = nullptr) {
    HWND h = MakeTop(200, 150, style, owner);
    made.push_back(h);
    return h;
  }
  std::vector<HWND> made;
};

TEST_F(Messaging, CreationSendsNcCreateCreateThenSizeWithCreateParams) {
  int marker = 0;
  void* seenParam = nullptr;
  Rec().handler = [&](HWND, UINT msg, WPARAM, LPARAM lp, LRESULT&) {
    if (msg == WM_NCCREATE) seenParam = reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams;
    return false;
  };
  HWND h = CreateWindowExW(0, RecClass(), L"t", WS_POPUP, 0, 0, 120, 80, nullptr, nullptr, nullptr, &marker);
  made.push_back(h);
  ASSERT_TRUE(IsWindow(h));
  EXPECT_EQ(seenParam, &marker);
  EXPECT_EQ(Rec().Messages(h, {WM_NCCREATE, WM_CREATE, WM_SIZE}),
            (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_SIZE}));
  std::lock_guard lock(Rec().m);
  for (auto& s : Rec().seen) {
    if (s.hwnd == h && s.msg == WM_SIZE) {
      EXPECT_EQ(s.lp, MAKELPARAM(120, 80));
    }
  }
}

TEST_F(Messaging, CreateFailingInWmCreateGivesNullAndDeadHandle) {
  HWND seen = nullptr;
  Rec().handler = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT& r) {
    if (msg != WM_CREATE) return false;
    seen = h;
    r = -1;
    return true;
  };
  EXPECT_EQ(CreateWindowExW(0, RecClass(), L"t", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  ASSERT_NE(seen, nullptr);
  EXPECT_FALSE(IsWindow(seen));
  EXPECT_EQ(Rec().Count(seen, WM_NCDESTROY), 1);
}

TEST_F(Messaging, DestroyOrderParentFirstThenChildrenFirstAndHandlesNeverReused) {
  HWND top = Top();
  HWND child = MakeChild(top, 0, 0, 50, 50);
  HWND grandchild = MakeChild(child, 0, 0, 10, 10);
  Rec().Clear();
  ASSERT_TRUE(DestroyWindow(top));
  std::vector<std::pair<HWND, UINT>> order;
  {
    std::lock_guard lock(Rec().m);
    for (auto& s : Rec().seen)
      if (s.msg == WM_DESTROY || s.msg == WM_NCDESTROY) order.push_back({s.hwnd, s.msg});
  }
  const std::vector<std::pair<HWND, UINT>> expected = {{top, WM_DESTROY},        {child, WM_DESTROY},
                                                       {grandchild, WM_DESTROY}, {grandchild, WM_NCDESTROY},
                                                       {child, WM_NCDESTROY},    {top, WM_NCDESTROY}};
  EXPECT_EQ(order, expected);
  for (HWND h : {top, child, grandchild}) EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(DestroyWindow(top));
  EXPECT_EQ(SendMessageW(child, WM_USER, 0, 0), 0);
  EXPECT_FALSE(PostMessageW(top, WM_USER, 0, 0));
  HWND again = Top();
  EXPECT_NE(again, top);
  EXPECT_NE(again, child);
  EXPECT_NE(again, grandchild);
}

TEST_F(Messaging, DestroyingAnOwnerDestroysOwnedWindowsFirst) {
  HWND owner = Top();
  HWND owned = Top(WS_POPUP, owner);
  EXPECT_EQ(GetParent(owned), owner);
  Rec().Clear();
  DestroyWindow(owner);
  EXPECT_FALSE(IsWindow(owned));
  std::lock_guard lock(Rec().m);
  ASSERT_FALSE(Rec().seen.empty());
  EXPECT_EQ(Rec().seen.front().hwnd, owned);
}

TEST_F(Messaging, DisablingAnOwnerLeavesItsOwnedWindowsUsable) {
  HWND owner = Top();
  HWND dialog = Top(WS_POPUP, owner);
  EXPECT_FALSE(EnableWindow(owner, FALSE));
  EXPECT_FALSE(IsWindowEnabled(owner));
  EXPECT_FALSE(SOWin::WidgetOf(owner)->isEnabled());
  EXPECT_TRUE(IsWindowEnabled(dialog));
  EXPECT_TRUE(SOWin::WidgetOf(dialog)->isEnabled())
      << "a modal dialog over a disabled owner still takes input";
  EXPECT_EQ(SOWin::WidgetOf(dialog)->windowHandle()->transientParent(),
            SOWin::WidgetOf(owner)->windowHandle())
      << "and stays above it";
  EXPECT_EQ(SOWin::WidgetOf(dialog)->windowHandle()->type(), Qt::Dialog)
      << "as a type whose transient parent the window manager is told";
  EXPECT_EQ(SOWin::WidgetOf(owner)->windowHandle()->type(), Qt::Window);
  EnableWindow(owner, TRUE);
}

TEST_F(Messaging, UserDataAndResultsArePointerSized) {
  HWND h = Top();
  const LONG_PTR big = static_cast<LONG_PTR>(0x7FFF123456789ABCLL);
  SetWindowLongPtrW(h, GWLP_USERDATA, big);
  EXPECT_EQ(GetWindowLongPtrW(h, GWLP_USERDATA), big);
  EXPECT_EQ(GetWindowLongW(h, GWL_USERDATA), big);
  Rec().handler = [&](HWND, UINT msg, WPARAM wp, LPARAM, LRESULT& r) {
    if (msg != WM_USER + 45) return false;
    r = static_cast<LRESULT>(wp);
    return true;
  };
  EXPECT_EQ(SendMessageW(h, WM_USER + 45, static_cast<WPARAM>(big), 0), big);
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(MAKEWPARAM(0, -120)), -120);
  EXPECT_EQ(GET_X_LPARAM(MAKELPARAM(-5, 7)), -5);
  EXPECT_EQ(GET_Y_LPARAM(MAKELPARAM(-5, -7)), -7);
}

TEST_F(Messaging, WorkerSendBlocksUntilTheUiThreadHandledIt) {
  HWND h = Top();
  std::atomic<bool> handled{false};
  Rec().handler = [&](HWND, UINT msg, WPARAM wp, LPARAM, LRESULT& r) {
    if (msg != WM_USER + 1) return false;
    handled = true;
    r = static_cast<LRESULT>(wp * 2);
    return true;
  };
  std::atomic<bool> returned{false};
  LRESULT result = 0;
  bool handledBeforeReturn = false;
  std::thread worker([&] {
    result = SendMessageW(h, WM_USER + 1, 21, 0);
    handledBeforeReturn = handled.load();
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(returned.load()) << "the sender must wait while the UI thread is busy";
  EXPECT_TRUE(SOWin::PumpUntil([&] { return returned.load(); }, 5000));
  worker.join();
  EXPECT_TRUE(handledBeforeReturn);
  EXPECT_EQ(result, 42);
}

TEST_F(Messaging, WorkerSendToAWindowDestroyedMeanwhileReturnsZero) {
  HWND h = Top();
  std::atomic<bool> returned{false};
  LRESULT result = -1;
  Rec().handler = [&](HWND, UINT msg, WPARAM, LPARAM, LRESULT& r) {
    if (msg != WM_USER + 2) return false;
    r = 99;
    return true;
  };
  std::thread worker([&] {
    result = SendMessageW(h, WM_USER + 2, 0, 0);
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  // The send waits in the UI queue; the window dies before the queue is pumped, and the
  // sender goes free without any further pumping.
  DestroyWindow(h);
  for (int i = 0; i < 500 && !returned; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_TRUE(returned.load());
  worker.join();
  SOWin::PumpEvents(5);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Rec().Count(h, WM_USER + 2), 0);
}

TEST_F(Messaging, PostsFromFourThreadsArriveInOrderPerThread) {
  HWND h = Top();
  std::vector<LPARAM> got[4];
  Rec().handler = [&](HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT&) {
    if (msg == WM_USER + 3) got[wp].push_back(lp);
    return msg == WM_USER + 3;
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([h, t] {
      for (int i = 0; i < 250; ++i) EXPECT_TRUE(PostMessageW(h, WM_USER + 3, static_cast<WPARAM>(t), i));
    });
  for (auto& t : threads) t.join();
  EXPECT_TRUE(SOWin::PumpUntil(
      [&] { return got[0].size() + got[1].size() + got[2].size() + got[3].size() == 1000; }, 5000));
  for (auto& g : got) {
    ASSERT_EQ(g.size(), 250u);
    for (int i = 0; i < 250; ++i) EXPECT_EQ(g[i], i);
  }
}

TEST_F(Messaging, WorkerThreadQueueDeliversInOrderAndEndsOnQuit) {
  std::atomic<DWORD> tid{0};
  std::vector<UINT> got;
  std::atomic<bool> peeked{false};
  std::thread worker([&] {
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "nothing queued yet";
    tid = GetCurrentThreadId();
    while (!PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) std::this_thread::yield();
    peeked = msg.message == 8123;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
      EXPECT_EQ(msg.hwnd, nullptr);
      got.push_back(msg.message);
      if (msg.message == 8123 + 2) PostQuitMessage(0);
    }
  });
  while (!tid) std::this_thread::yield();
  for (UINT m : {8123u, 8124u, 8125u}) EXPECT_TRUE(PostThreadMessageW(tid, m, 0, 0));
  worker.join();
  EXPECT_TRUE(peeked.load());
  EXPECT_EQ(got, (std::vector<UINT>{8123, 8124, 8125})) << "a peek without PM_REMOVE leaves the message";
  EXPECT_FALSE(PostThreadMessageW(tid, 8123, 0, 0)) << "the queue goes with its thread";
  EXPECT_FALSE(PostThreadMessageW(0xFFFFFFF0u, 8123, 0, 0));
}

TEST_F(Messaging, TimerFiresAtItsIntervalAndSameIdReplaces) {
  HWND h = Top();
  ASSERT_EQ(SetTimer(h, 34, 100, nullptr), 34u);
  SOWin::PumpEvents(600);
  const int n = Rec().Count(h, WM_TIMER);
  EXPECT_GE(n, 5);
  EXPECT_LE(n, 7);
  // Replacing with a long interval: no more ticks within 300 ms.
  SetTimer(h, 34, 5000, nullptr);
  Rec().Clear();
  SOWin::PumpEvents(300);
  EXPECT_EQ(Rec().Count(h, WM_TIMER), 0);
  EXPECT_TRUE(KillTimer(h, 34));
  EXPECT_FALSE(KillTimer(h, 34));
}

TEST_F(Messaging, TimerWaitsForPostedMessages) {
  HWND h = Top();
  SetTimer(h, 7, 10, nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  for (int i = 0; i < 3; ++i) PostMessageW(h, WM_USER + 30, 0, 0);
  SOWin::PumpEvents(15);
  KillTimer(h, 7);
  const std::vector<UINT> seen = Rec().Messages(h, {WM_TIMER, WM_USER + 30});
  ASSERT_GE(seen.size(), 4u);
  EXPECT_EQ(std::vector<UINT>(seen.begin(), seen.begin() + 4),
            (std::vector<UINT>{WM_USER + 30, WM_USER + 30, WM_USER + 30, WM_TIMER}));
}

TEST_F(Messaging, TimerStopsWithItsWindow) {
  HWND h = Top();
  SetTimer(h, 1, 20, nullptr);
  DestroyWindow(h);
  Rec().Clear();
  SOWin::PumpEvents(120);
  EXPECT_EQ(Rec().Count(h, WM_TIMER), 0);
}

TEST_F(Messaging, ModalLoopKeepsDispatchingAndNestedLoopsReturnInOrder) {
  HWND outer = Top();
  HWND inner = Top(WS_POPUP, outer);
  std::vector<UINT> results;
  int ticks = 0;
  Rec().handler = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT&) {
    if (msg == WM_TIMER && h == inner && ++ticks == 3) {
      KillTimer(inner, 1);
      SOWin::EndModalLoop(inner, 11);
    }
    if (msg == WM_USER + 5 && h == outer) {
      // Opened from inside the outer loop by a posted message.
      SetTimer(inner, 1, 10, nullptr);
      results.push_back(SOWin::RunModalLoop(inner));
      PostMessageW(outer, WM_USER + 6, 0, 0);
    }
    if (msg == WM_USER + 6 && h == outer) SOWin::EndModalLoop(outer, 22);
    return false;
  };
  PostMessageW(outer, WM_USER + 5, 0, 0);
  results.push_back(SOWin::RunModalLoop(outer));
  EXPECT_EQ(results, (std::vector<UINT>{11, 22}));
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(SOWin::ModalDepth(), 0);
}

TEST_F(Messaging, QuitWithTwoLoopsOpenUnwindsBoth) {
  HWND outer = Top();
  HWND inner = Top(WS_POPUP, outer);
  std::vector<UINT> results;
  Rec().handler = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT&) {
    if (msg == WM_USER + 7 && h == outer) {
      PostMessageW(inner, WM_USER + 8, 0, 0);
      results.push_back(SOWin::RunModalLoop(inner));
    }
    if (msg == WM_USER + 8 && h == inner) PostQuitMessage(3);
    return false;
  };
  PostMessageW(outer, WM_USER + 7, 0, 0);
  results.push_back(SOWin::RunModalLoop(outer));
  EXPECT_EQ(results, (std::vector<UINT>{0, 0}));
  // The quit is used up: a new loop runs until it is ended.
  HWND third = Top();
  PostMessageW(third, WM_USER + 9, 0, 0);
  Rec().handler = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT&) {
    if (msg == WM_USER + 9) SOWin::EndModalLoop(h, 5);
    return false;
  };
  EXPECT_EQ(SOWin::RunModalLoop(third), 5u);
}

TEST_F(Messaging, ModalLoopEndsWithCancelWhenItsOwnerIsDestroyed) {
  HWND owner = Top();
  HWND dialog = Top(WS_POPUP, owner);
  Rec().handler = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT&) {
    if (msg == WM_USER + 10 && h == dialog) DestroyWindow(owner);
    return false;
  };
  PostMessageW(dialog, WM_USER + 10, 0, 0);
  EXPECT_EQ(SOWin::RunModalLoop(dialog), static_cast<UINT>(IDCANCEL));
  EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(Messaging, ModalLoopServesCrossThreadSends) {
  HWND dialog = Top();
  std::atomic<LRESULT> got{0};
  Rec().handler = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT& r) {
    if (msg != WM_USER + 11) return false;
    SOWin::EndModalLoop(h, 1);
    r = 7;
    return true;
  };
  std::thread worker([&] { got = SendMessageW(dialog, WM_USER + 11, 0, 0); });
  EXPECT_EQ(SOWin::RunModalLoop(dialog), 1u);
  worker.join();
  EXPECT_EQ(got.load(), 7);
}

TEST_F(Messaging, InvokeRunsOnTheUiThreadAndCanWait) {
  std::atomic<bool> ran{false};
  std::thread::id where;
  std::thread worker([&] {
    SOWin::InvokeOnUiThread(
        [&] {
          where = std::this_thread::get_id();
          ran = true;
        },
        true);
    EXPECT_TRUE(ran.load());
  });
  EXPECT_TRUE(SOWin::PumpUntil([&] { return ran.load(); }, 5000));
  worker.join();
  EXPECT_EQ(where, std::this_thread::get_id());
}

TEST_F(Messaging, MoveWindowSendsSizeAtOnceEvenWhenHidden) {
  HWND h = Top();
  HWND child = MakeChild(h, 0, 0, 10, 10);
  ShowWindow(child, SW_HIDE);
  ASSERT_FALSE(IsWindowVisible(h));
  Rec().Clear();
  MoveWindow(child, 5, 6, 70, 40, TRUE);
  {
    std::lock_guard lock(Rec().m);
    bool found = false;
    for (auto& s : Rec().seen)
      if (s.hwnd == child && s.msg == WM_SIZE) found = s.lp == MAKELPARAM(70, 40);
    EXPECT_TRUE(found);
  }
  RECT rc;
  GetClientRect(child, &rc);
  EXPECT_EQ(rc.right, 70);
  EXPECT_EQ(rc.bottom, 40);
  // The same size again is no news.
  Rec().Clear();
  MoveWindow(child, 1, 1, 70, 40, TRUE);
  EXPECT_EQ(Rec().Count(child, WM_SIZE), 0);
}

TEST_F(Messaging, WheelAndSetCursorBubbleToTheParent) {
  HWND top = Top();
  HWND child = MakeChild(top, 0, 0, 50, 50);
  Rec().Clear();
  SendMessageW(child, WM_MOUSEWHEEL, MAKEWPARAM(0, -120), MAKELPARAM(5, 5));
  EXPECT_EQ(Rec().Count(top, WM_MOUSEWHEEL), 1);
  // The parent that handles WM_SETCURSOR stops the child's default cursor.
  Rec().handler = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT& r) {
    if (h != top || msg != WM_SETCURSOR) return false;
    r = TRUE;
    return true;
  };
  HCURSOR before = SetCursor(LoadCursorW(nullptr, IDC_HAND));
  EXPECT_EQ(SendMessageW(child, WM_SETCURSOR, reinterpret_cast<WPARAM>(child),
                         MAKELPARAM(int(HTCLIENT), int(WM_MOUSEMOVE))),
            TRUE);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
  Rec().handler = nullptr;
  SendMessageW(child, WM_SETCURSOR, reinterpret_cast<WPARAM>(child),
               MAKELPARAM(int(HTCLIENT), int(WM_MOUSEMOVE)));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
  SetCursor(before);
}

TEST_F(Messaging, HoverArrivesOnceAfterRestAndLeaveCanBeRequested) {
  HWND h = Top();
  TRACKMOUSEEVENT tme;
  tme.dwFlags = TME_HOVER | TME_LEAVE;
  tme.hwndTrack = h;
  tme.dwHoverTime = HOVER_DEFAULT;
  ASSERT_TRUE(TrackMouseEvent(&tme));
  // Moves keep restarting the wait.
  for (int i = 0; i < 4; ++i) {
    SendMessageW(h, WM_MOUSEMOVE, 0, MAKELPARAM(i, i));
    SOWin::PumpEvents(40);
  }
  EXPECT_EQ(Rec().Count(h, WM_MOUSEHOVER), 0);
  SOWin::PumpEvents(250);
  EXPECT_EQ(Rec().Count(h, WM_MOUSEHOVER), 1);
  SOWin::PumpEvents(200);
  EXPECT_EQ(Rec().Count(h, WM_MOUSEHOVER), 1) << "one hover per request";
}

TEST_F(Messaging, FindWindowByClassAndTitleAndFocusMessages) {
  HWND a = Top();
  SetWindowTextW(a, L"Orvanta main");
  wchar_t buf[32];
  EXPECT_EQ(GetWindowTextW(a, buf, 32), 12);
  EXPECT_STREQ(buf, L"Orvanta main");
  EXPECT_EQ(FindWindowW(RecClass(), L"Orvanta main"), a);
  EXPECT_EQ(FindWindowW(nullptr, L"nobody"), nullptr);
  HWND b = MakeChild(a, 0, 0, 5, 5);
  SetFocus(a);
  Rec().Clear();
  EXPECT_EQ(SetFocus(b), a);
  EXPECT_EQ(GetFocus(), b);
  EXPECT_EQ(Rec().Messages(a, {WM_KILLFOCUS}).size(), 1u);
  EXPECT_EQ(Rec().Messages(b, {WM_SETFOCUS}).size(), 1u);
  DestroyWindow(b);
  EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(Messaging, ShowWindowAndVisibility) {
  HWND h = Top();
  HWND child = MakeChild(h, 0, 0, 5, 5);
  EXPECT_FALSE(IsWindowVisible(child)) << "a child of a hidden window is not visible";
  EXPECT_FALSE(ShowWindow(h, SW_SHOWNOACTIVATE));
  EXPECT_TRUE(IsWindowVisible(h));
  EXPECT_TRUE(IsWindowVisible(child));
  EXPECT_TRUE(ShowWindow(h, SW_HIDE));
  EXPECT_FALSE(IsWindowVisible(h));
  RECT work{0, 0, 1280, 984}, screen{0, 0, 1280, 1024};
  SOWin::SetScreenForTest(screen, work);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
  EXPECT_EQ(GetSystemMetrics(SM_CXVSCROLL), 17);
  MONITORINFO mi;
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(h, MONITOR_DEFAULTTONEAREST), &mi));
  EXPECT_EQ(mi.rcWork.bottom, 984);
}

TEST_F(Messaging, QtInputArrivesAsWin32Messages) {
  HWND top = Top();
  HWND plain = MakeChild(top, 0, 0, 50, 50);
  HWND dbl = MakeChild(top, 60, 0, 50, 50, CS_DBLCLKS);
  ShowWindow(top, SW_SHOW);
  auto mouse = [](HWND h, QEvent::Type type, QPoint pos, Qt::KeyboardModifiers mods) {
    QWidget* w = SOWin::WidgetOf(h);
    QMouseEvent e(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, mods);
    QApplication::sendEvent(w, &e);
  };
  Rec().Clear();
  mouse(plain, QEvent::MouseButtonPress, QPoint(7, 9), Qt::ControlModifier);
  {
    std::lock_guard lock(Rec().m);
    std::vector<UINT> order;
    for (auto& s : Rec().seen)
      if (s.hwnd == plain) order.push_back(s.msg);
    ASSERT_GE(order.size(), 2u);
    EXPECT_EQ(order[0], WM_SETCURSOR) << "the cursor is asked for before the press";
    EXPECT_EQ(order[1], WM_LBUTTONDOWN);
    for (auto& s : Rec().seen)
      if (s.hwnd == plain && s.msg == WM_LBUTTONDOWN) {
        EXPECT_EQ(GET_X_LPARAM(s.lp), 7);
        EXPECT_EQ(GET_Y_LPARAM(s.lp), 9);
        EXPECT_EQ(s.wp, MK_LBUTTON | MK_CONTROL);
      }
  }
  // Double clicks only for classes that ask for them.
  mouse(plain, QEvent::MouseButtonDblClick, QPoint(1, 1), Qt::NoModifier);
  mouse(dbl, QEvent::MouseButtonDblClick, QPoint(1, 1), Qt::NoModifier);
  EXPECT_EQ(Rec().Count(plain, WM_LBUTTONDBLCLK), 0);
  EXPECT_EQ(Rec().Count(plain, WM_LBUTTONDOWN), 2);
  EXPECT_EQ(Rec().Count(dbl, WM_LBUTTONDBLCLK), 1);

  // Leaving the window reports WM_MOUSELEAVE once per TME_LEAVE request.
  TRACKMOUSEEVENT tme;
  tme.dwFlags = TME_LEAVE;
  tme.hwndTrack = plain;
  TrackMouseEvent(&tme);
  for (int i = 0; i < 2; ++i) {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(SOWin::WidgetOf(plain), &leave);
  }
  EXPECT_EQ(Rec().Count(plain, WM_MOUSELEAVE), 1);

  SetFocus(dbl);
  auto key = [&](int k, Qt::KeyboardModifiers mods, const QString& text) {
    QKeyEvent e(QEvent::KeyPress, k, mods, text);
    QApplication::sendEvent(SOWin::WidgetOf(plain), &e);
  };
  key(Qt::Key_A, Qt::NoModifier, "a");
  key(Qt::Key_F10, Qt::NoModifier, QString());
  key(Qt::Key_X, Qt::AltModifier, "x");
  EXPECT_EQ(Rec().Messages(dbl, {WM_KEYDOWN, WM_CHAR, WM_SYSKEYDOWN}),
            (std::vector<UINT>{WM_KEYDOWN, WM_CHAR, WM_SYSKEYDOWN, WM_SYSKEYDOWN}))
      << "keys go to the focus window; F10 and Alt combinations are system keys";
}

TEST_F(Messaging, ActivationIsReportedAndGivesTheWindowTheKeyboard) {
  HWND a = Top();
  HWND b = Top();
  HWND child = MakeChild(b, 0, 0, 10, 10);
  ShowWindow(b, SW_SHOW);
  SOWin::PumpEvents(30);
  SetFocus(child);
  Rec().Clear();
  ShowWindow(a, SW_SHOW);
  SOWin::WidgetOf(a)->activateWindow();
  ASSERT_TRUE(SOWin::PumpUntil([&] { return Rec().Count(a, WM_ACTIVATE) > 0; }, 2000));
  EXPECT_EQ(Rec().Count(a, WM_NCACTIVATE), 1);
  EXPECT_EQ(GetFocus(), a) << "the focus left the other window's child";
  EXPECT_EQ(GetForegroundWindow(), a);
  EXPECT_EQ(Rec().Count(child, WM_KILLFOCUS), 1);
}

TEST_F(Messaging, CaptionHitsBecomeNonClientMessages) {
  HWND top = Top();
  ShowWindow(top, SW_SHOW);
  RECT wr;
  GetWindowRect(top, &wr);
  // A frameless skin: the top 20 pixels are the caption.
  Rec().handler = [&](HWND h, UINT msg, WPARAM, LPARAM lp, LRESULT& r) {
    if (h != top || msg != WM_NCHITTEST) return false;
    r = GET_Y_LPARAM(lp) - wr.top < 20 ? HTCAPTION : HTCLIENT;
    return true;
  };
  QWidget* w = SOWin::WidgetOf(top);
  auto press = [&](int y) {
    QMouseEvent e(QEvent::MouseButtonPress, QPointF(5, y), QPointF(w->mapToGlobal(QPoint(5, y))),
                  Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  };
  Rec().Clear();
  press(5);
  EXPECT_EQ(Rec().Count(top, WM_LBUTTONDOWN), 0);
  ASSERT_EQ(Rec().Count(top, WM_NCLBUTTONDOWN), 1);
  {
    std::lock_guard lock(Rec().m);
    for (auto& s : Rec().seen) {
      if (s.msg == WM_NCLBUTTONDOWN) {
        EXPECT_EQ(s.wp, static_cast<WPARAM>(HTCAPTION));
      }
      if (s.msg == WM_SETCURSOR) {
        EXPECT_EQ(LOWORD(static_cast<std::uintptr_t>(s.lp)), HTCAPTION);
      }
    }
  }
  press(50);
  EXPECT_EQ(Rec().Count(top, WM_LBUTTONDOWN), 1);
  EXPECT_EQ(Rec().Count(top, WM_NCLBUTTONDOWN), 1);
}

TEST_F(Messaging, WindowsMayDestroyTheirTreeFromInsideAnInputHandler) {
  HWND top = Top();
  HWND child = MakeChild(top, 0, 0, 50, 50);
  ShowWindow(top, SW_SHOW);
  Rec().handler = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT&) {
    if (h == child && msg == WM_LBUTTONDOWN) DestroyWindow(top);
    return false;
  };
  QWidget* w = SOWin::WidgetOf(child);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(w->mapToGlobal(QPoint(5, 5))),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  EXPECT_FALSE(IsWindow(top));
  EXPECT_FALSE(IsWindow(child));
  SOWin::PumpEvents(10);
  EXPECT_EQ(SOWin::WidgetOf(child), nullptr);
}

TEST_F(Messaging, UpdateWindowPaintsAtOnce) {
  HWND h = Top();
  ShowWindow(h, SW_SHOW);
  SOWin::PumpEvents(20);
  Rec().Clear();
  InvalidateRect(h, nullptr, TRUE);
  EXPECT_EQ(Rec().Count(h, WM_PAINT), 0);
  UpdateWindow(h);
  EXPECT_EQ(Rec().Count(h, WM_PAINT), 1);
  UpdateWindow(h);
  EXPECT_EQ(Rec().Count(h, WM_PAINT), 1) << "nothing left to paint";
}

// A parent that lays out its children while it paints (as skinned windows do) moves a child whose
// size handler calls UpdateWindow: Qt refuses a nested repaint, so the child paints in the next pass.
TEST_F(Messaging, UpdateWindowInsideAnotherPaintDefersAndNeverNests) {
  HWND top = Top();
  HWND child = MakeChild(top, 0, 0, 50, 50);
  ShowWindow(top, SW_SHOW);
  SOWin::PumpEvents(20);
  static std::vector<std::string> warnings;
  warnings.clear();
  QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
    warnings.push_back(text.toStdString());
  });
  int width = 50;
  Rec().handler = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT&) {
    if (h == top && msg == WM_PAINT) MoveWindow(child, 0, 0, ++width, 50, TRUE);
    if (h == child && msg == WM_SIZE) {
      InvalidateRect(child, nullptr, FALSE);
      UpdateWindow(child);
    }
    return false;
  };
  Rec().Clear();
  InvalidateRect(top, nullptr, FALSE);
  UpdateWindow(top);
  Rec().handler = nullptr;
  SOWin::PumpEvents(50);
  qInstallMessageHandler(previous);
  EXPECT_EQ(Rec().Count(top, WM_PAINT), 1);
  EXPECT_GE(Rec().Count(child, WM_PAINT), 1) << "the child still paints";
  for (const std::string& warning : warnings) EXPECT_EQ(warning.find("Recursive repaint"), std::string::npos) << warning;
}

namespace {
// A pixel of the window as a capture of it shows it.
COLORREF CapturedPixel(HWND hwnd, int x, int y) {
  HBITMAP shot = SOWin::CaptureWindow(hwnd);
  HDC mem = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mem, shot);
  const COLORREF pixel = GetPixel(mem, x, y);
  SelectObject(mem, old);
  DeleteObject(shot);
  DeleteDC(mem);
  return pixel;
}
}  // namespace

// A hidden window resized keeps no picture of its old size: shown, it paints all of its new area.
TEST_F(Messaging, WindowResizedWhileHiddenPaintsItsWholeAreaWhenShown) {
  HWND h = Top();
  HWND child = MakeChild(h, 0, 0, 40, 30);
  MoveWindow(child, 0, 0, 120, 90, TRUE);
  std::vector<RECT> painted;
  Rec().handler = [&](HWND hwnd, UINT msg, WPARAM, LPARAM, LRESULT& r) {
    if (hwnd != child || msg != WM_PAINT) return false;
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    painted.push_back(ps.rcPaint);
    HBRUSH red = CreateSolidBrush(0x0000FF);
    FillRect(ps.hdc, &ps.rcPaint, red);
    DeleteObject(red);
    EndPaint(hwnd, &ps);
    r = 0;
    return true;
  };
  ShowWindow(h, SW_SHOW);
  SOWin::PumpEvents(20);
  Rec().handler = nullptr;
  ASSERT_FALSE(painted.empty());
  EXPECT_EQ(painted[0].right, 120);
  EXPECT_EQ(painted[0].bottom, 90);
  EXPECT_EQ(CapturedPixel(child, 119, 89), 0x0000FFu);
}

TEST_F(Messaging, DrawingOutsidePaintStaysUntilInvalidated) {
  HWND h = Top();
  ShowWindow(h, SW_SHOW);
  SOWin::PumpEvents(20);
  Rec().Clear();
  HDC dc = GetDC(h);
  RECT r{0, 0, 30, 30};
  HBRUSH red = CreateSolidBrush(0x0000FF);
  FillRect(dc, &r, red);
  ReleaseDC(h, dc);
  DeleteObject(red);
  SOWin::PumpEvents(20);
  EXPECT_EQ(Rec().Count(h, WM_PAINT), 0) << "showing the drawing asks for no repaint";
  EXPECT_EQ(CapturedPixel(h, 10, 10), 0x0000FFu);
  EXPECT_EQ(Rec().Count(h, WM_PAINT), 0);
  InvalidateRect(h, &r, FALSE);
  UpdateWindow(h);
  EXPECT_EQ(Rec().Count(h, WM_PAINT), 1);
}

TEST_F(Messaging, UiThreadGetMessageDispatchesWindowsAndReturnsThreadMessages) {
  HWND h = Top();
  const DWORD ui = GetCurrentThreadId();
  std::thread worker([&] {
    PostMessageW(h, WM_USER + 20, 0, 0);
    PostThreadMessageW(ui, WM_USER + 21, 5, 0);
  });
  MSG msg;
  ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
  worker.join();
  EXPECT_EQ(msg.message, WM_USER + 21);
  EXPECT_EQ(msg.wParam, 5u);
  SOWin::PumpEvents(10);
  EXPECT_EQ(Rec().Count(h, WM_USER + 20), 1);
  PostQuitMessage(4);
  EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 4u);
}

TEST_F(Messaging, WrappedQtWidgetHostsChildWindows) {
  auto* host = new QWidget;
  host->resize(100, 80);
  HWND wrapped = SOWin::WrapWidget(host);
  ASSERT_TRUE(IsWindow(wrapped));
  EXPECT_EQ(SOWin::WrapWidget(host), wrapped);
  HWND child = MakeChild(wrapped, 10, 10, 30, 30);
  ASSERT_TRUE(IsWindow(child));
  EXPECT_EQ(SOWin::WidgetOf(child)->parentWidget(), host);
  EXPECT_EQ(SOWin::HwndOf(host), wrapped);
  EXPECT_EQ(GetParent(child), wrapped);
  delete host;
  EXPECT_FALSE(IsWindow(wrapped));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(Rec().Count(child, WM_NCDESTROY), 1);
}

}  // namespace
