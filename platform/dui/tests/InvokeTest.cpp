#include "DuiTestUtil.h"
#include "TestSupport.h"
#include "UITestDriver.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <thread>

using namespace DuiLib;

namespace {

class PlainWnd : public CWindowWnd {
 public:
  const wchar_t* GetWindowClassName() const override { return L"DuiInvokeTestWnd"; }
};

// Counts records alive, to see that every record is freed exactly once.
std::atomic<int> g_records{0};
struct Record {
  int value;
  explicit Record(int v) : value(v) { ++g_records; }
  ~Record() { --g_records; }
};

}  // namespace

TEST(DuiInvoke, BeginInvokeFromManyThreadsRunsOnTheUiThread) {
  orvanta::test::EnsureQtApp();
  PlainWnd wnd;
  ASSERT_NE(wnd.Create(nullptr, L"invoke", WS_POPUP, 0, 0, 0, 10, 10), nullptr);
  CInvoke invoke;
  invoke.Create(wnd);
  std::atomic<int> ran{0}, offThread{0};
  QThread* ui = QCoreApplication::instance()->thread();
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i)
        invoke.BeginInvoke(std::function<void(Record*)>([&](Record* r) {
                             if (QThread::currentThread() != ui) ++offThread;
                             ran += r->value;
                           }),
                           new Record(1));
    });
  for (auto& t : threads) t.join();
  ASSERT_TRUE(SOWin::PumpUntil([&] { return ran == 800; }, 10000));
  EXPECT_EQ(offThread, 0);
  EXPECT_EQ(g_records, 0);
}

TEST(DuiInvoke, WorkForADestroyedWindowIsDroppedAndFreed) {
  orvanta::test::EnsureQtApp();
  auto* wnd = new PlainWnd;
  ASSERT_NE(wnd->Create(nullptr, L"invoke", WS_POPUP, 0, 0, 0, 10, 10), nullptr);
  CInvoke invoke;
  invoke.Create(*wnd);
  int ran = 0;
  struct Target {
    int* ran;
    void Run(Record*) { ++*ran; }
  } target{&ran};
  // Queued while the window lives, run after it is gone.
  ASSERT_TRUE(invoke.BeginInvoke(&target, &Target::Run, new Record(1)));
  delete wnd;
  UITest::ProcessEvents(20);
  EXPECT_EQ(ran, 0);
  EXPECT_EQ(g_records, 0);
  // Queued after it is gone: refused at once, record freed.
  EXPECT_FALSE(invoke.BeginInvoke(std::function<void(Record*)>([&](Record*) { ++ran; }), new Record(2)) &&
               (UITest::ProcessEvents(20), ran != 0));
  EXPECT_EQ(ran, 0);
  EXPECT_EQ(g_records, 0);
  // An unbound invoker refuses too.
  CInvoke unbound;
  EXPECT_FALSE(unbound.BeginInvoke([&] { ++ran; }));
}

TEST(DuiInvoke, InvokeWaitsForTheUiThreadAndRunsInlineThere) {
  orvanta::test::EnsureQtApp();
  PlainWnd wnd;
  ASSERT_NE(wnd.Create(nullptr, L"invoke", WS_POPUP, 0, 0, 0, 10, 10), nullptr);
  CInvoke invoke;
  invoke.Create(wnd);
  int inlineRuns = 0;
  EXPECT_TRUE(invoke.Invoke([&] { ++inlineRuns; }));
  EXPECT_EQ(inlineRuns, 1);

  std::atomic<bool> done{false}, result{false};
  bool onUi = false;
  QThread* ui = QCoreApplication::instance()->thread();
  std::thread worker([&] {
    result = invoke.Invoke([&] { onUi = QThread::currentThread() == ui; });
    done = true;
  });
  ASSERT_TRUE(SOWin::PumpUntil([&] { return done.load(); }, 10000));
  worker.join();
  EXPECT_TRUE(result);
  EXPECT_TRUE(onUi);

  // A waiting caller is released (false) when the window is gone before its turn.
  done = false;
  std::thread late([&] {
    result = invoke.Invoke([] {});
    done = true;
  });
  // Give the worker time to queue, then destroy the window before pumping.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  DestroyWindow(wnd);
  ASSERT_TRUE(SOWin::PumpUntil([&] { return done.load(); }, 10000));
  late.join();
  EXPECT_FALSE(result);
}
