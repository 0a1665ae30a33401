// Messages: sends (direct or blocking across threads), posts, thread queues, timers, modal
// loops and invokes, all riding on the Qt main thread's event loop.

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

#include <sys/eventfd.h>
#include <unistd.h>

#include "SOWin32.h"
#include "SOWinPrivate.h"

namespace sowin {
namespace {

const QEvent::Type kTimerEvent = static_cast<QEvent::Type>(QEvent::User + 703);

// A cross-thread send: the sender waits on it; the UI thread or the window's destruction
// completes it.
struct PendingSend {
  HWND hwnd;
  UINT msg;
  WPARAM wp;
  LPARAM lp;
  std::mutex m;
  std::condition_variable cv;
  bool done = false;   // guarded by m
  LRESULT result = 0;  // guarded by m

  void Complete(LRESULT r) {
    std::lock_guard lock(m);
    if (done) return;
    done = true;
    result = r;
    cv.notify_all();
  }
};

struct TimerEvent : QEvent {
  TimerEvent(HWND h, UINT_PTR i, quint64 g) : QEvent(kTimerEvent), hwnd(h), id(i), generation(g) {}
  HWND hwnd;
  UINT_PTR id;
  quint64 generation;
};
// Work handed to the UI thread by any thread. No Qt object crosses threads: items wait in
// these queues (guarded by g_uiMutex) and an eventfd watched by a socket notifier wakes the UI.
struct UiItem {
  enum class Kind { Post, Send, Invoke, Wake };
  Kind kind = Kind::Post;
  HWND hwnd = nullptr;
  UINT msg = 0;
  WPARAM wp = 0;
  LPARAM lp = 0;
  std::shared_ptr<PendingSend> send;  // a send, or the waiter of an invoke
  std::function<void()> fn;
};
std::mutex g_uiMutex;
std::deque<UiItem> g_uiUrgent;  // sends, invokes and wakes: served before posts, as Win32 does
std::deque<UiItem> g_uiPosts;
std::atomic<int> g_wakeFd{-1};

// One queue per thread that asked for its id. Guarded by its own mutex.
struct ThreadQueue {
  std::mutex m;
  std::condition_variable cv;
  std::deque<MSG> messages;
  bool quit = false;
  int quitCode = 0;
};

std::mutex g_queuesMutex;  // guards g_queues
std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>> g_queues;
std::atomic<DWORD> g_nextThreadId{1000};

std::mutex g_sendsMutex;  // guards g_sends
std::unordered_multimap<HWND, std::shared_ptr<PendingSend>> g_sends;

// Timers without a window (SetTimer(nullptr, ...)); UI thread only.
std::map<UINT_PTR, TimerInfo> g_threadTimers;
UINT_PTR g_nextThreadTimer = 0x7F00;
quint64 g_timerGeneration = 0;

// Nested loops of the UI thread, innermost last. UI thread only.
struct Frame {
  HWND hwnd = nullptr;  // modal loops; null for GetMessageW
  QEventLoop* loop = nullptr;
  bool ended = false;
  UINT result = 0;
};
std::vector<Frame*> g_frames;
bool g_quitPending = false;
int g_quitCode = 0;

class Dispatcher : public QObject {
 public:
  bool event(QEvent* e) override;
};
std::atomic<Dispatcher*> g_dispatcher{nullptr};
std::atomic<DWORD> g_uiThreadId{0};

struct ThreadRegistration {
  DWORD id = 0;
  std::shared_ptr<ThreadQueue> queue;
  ~ThreadRegistration() {
    if (!id) return;
    std::lock_guard lock(g_queuesMutex);
    g_queues.erase(id);
  }
};
thread_local ThreadRegistration t_thread;

std::shared_ptr<ThreadQueue> OwnQueue() {
  GetCurrentThreadId();
  return t_thread.queue;
}

void Signal() {
  const int fd = g_wakeFd.load();
  const uint64_t one = 1;
  if (fd >= 0) (void)!write(fd, &one, sizeof one);
}

bool Enqueue(UiItem item) {
  if (g_wakeFd.load() < 0) return false;
  {
    std::lock_guard lock(g_uiMutex);
    (item.kind == UiItem::Kind::Post ? g_uiPosts : g_uiUrgent).push_back(std::move(item));
  }
  Signal();
  return true;
}

void WakeUi() {
  UiItem wake;
  wake.kind = UiItem::Kind::Wake;
  Enqueue(std::move(wake));
}

void EndFrame(Frame* f, UINT result) {
  if (f->ended) return;
  f->ended = true;
  f->result = result;
  f->loop->exit(0);
}

// Runs a nested loop until the frame ends.
void RunFrame(Frame& frame) {
  QEventLoop loop;
  frame.loop = &loop;
  g_frames.push_back(&frame);
  if (g_quitPending) EndFrame(&frame, 0);
  if (!frame.ended) loop.exec(QEventLoop::AllEvents);
  g_frames.erase(std::find(g_frames.begin(), g_frames.end(), &frame));
}

void DeliverTimer(HWND hwnd, UINT_PTR id, quint64 generation) {
  TimerInfo* info = nullptr;
  std::shared_ptr<WindowObj> w;
  if (hwnd) {
    w = FindWindowObj(hwnd);
    if (!w) return;
    auto it = w->timers.find(id);
    if (it == w->timers.end()) return;
    info = &it->second;
  } else {
    auto it = g_threadTimers.find(id);
    if (it == g_threadTimers.end()) return;
    info = &it->second;
  }
  if (info->generation != generation) return;
  {
    // WM_TIMER comes only when no posted message is waiting.
    std::lock_guard lock(g_uiMutex);
    if (!g_uiPosts.empty()) {
      QCoreApplication::postEvent(g_dispatcher.load(), new TimerEvent(hwnd, id, generation),
                                  Qt::LowEventPriority);
      return;
    }
  }
  info->queued = false;
  if (info->proc)
    info->proc(hwnd, WM_TIMER, id, GetTickCount());
  else if (w)
    CallProc(w, WM_TIMER, id, 0);
}

bool Dispatcher::event(QEvent* e) {
  if (e->type() == kTimerEvent) {
    auto* t = static_cast<TimerEvent*>(e);
    DeliverTimer(t->hwnd, t->id, t->generation);
    return true;
  }
  return QObject::event(e);
}

void Serve(UiItem& item) {
  switch (item.kind) {
    case UiItem::Kind::Post:
      if (auto w = FindWindowObj(item.hwnd)) CallProc(w, item.msg, item.wp, item.lp);
      break;
    case UiItem::Kind::Send: {
      auto& s = item.send;
      {
        std::lock_guard lock(g_sendsMutex);
        auto range = g_sends.equal_range(s->hwnd);
        for (auto it = range.first; it != range.second; ++it)
          if (it->second == s) {
            g_sends.erase(it);
            break;
          }
      }
      bool done;
      {
        std::lock_guard lock(s->m);
        done = s->done;
      }
      if (!done) {
        auto w = FindWindowObj(s->hwnd);
        s->Complete(w ? CallProc(w, s->msg, s->wp, s->lp) : 0);
      }
      break;
    }
    case UiItem::Kind::Invoke:
      item.fn();
      if (item.send) item.send->Complete(0);
      break;
    case UiItem::Kind::Wake:
      // A thread message arrived for the UI thread: let a waiting GetMessageW look at it.
      if (!g_frames.empty() && !g_frames.back()->hwnd) EndFrame(g_frames.back(), 0);
      break;
  }
}

// One item per wake-up, signalling again while more wait, so a loop nested inside a handler
// (a modal dialog opened by a posted message) keeps serving the queue.
void ServeOne() {
  uint64_t count = 0;
  (void)!read(g_wakeFd.load(), &count, sizeof count);
  UiItem item;
  bool more = false;
  {
    std::lock_guard lock(g_uiMutex);
    std::deque<UiItem>& q = !g_uiUrgent.empty() ? g_uiUrgent : g_uiPosts;
    if (q.empty()) return;
    item = std::move(q.front());
    q.pop_front();
    more = !g_uiUrgent.empty() || !g_uiPosts.empty();
  }
  if (more) Signal();
  Serve(item);
}

QTimer* MakeTimer(HWND hwnd, UINT_PTR id, quint64 generation, UINT ms) {
  auto* timer = new QTimer(g_dispatcher.load());
  timer->setTimerType(Qt::PreciseTimer);
  timer->setInterval(static_cast<int>(std::max<UINT>(ms, 10)));
  QObject::connect(timer, &QTimer::timeout, [hwnd, id, generation] {
    TimerInfo* info = nullptr;
    if (hwnd) {
      auto w = FindWindowObj(hwnd);
      if (!w) return;
      auto it = w->timers.find(id);
      if (it != w->timers.end()) info = &it->second;
    } else {
      auto it = g_threadTimers.find(id);
      if (it != g_threadTimers.end()) info = &it->second;
    }
    if (!info || info->generation != generation || info->queued) return;
    // Like Win32, a timer is never queued twice and yields to other posted messages.
    info->queued = true;
    QCoreApplication::postEvent(g_dispatcher.load(), new TimerEvent(hwnd, id, generation),
                                Qt::LowEventPriority);
  });
  timer->start();
  return timer;
}

void StopTimer(TimerInfo& info) {
  if (info.timer) {
    info.timer->stop();
    info.timer->deleteLater();
    info.timer = nullptr;
  }
}

}  // namespace

// Known once the dispatcher exists; until then Qt answers (asking Qt from a worker makes Qt
// adopt that thread, which later posts clean-up events across threads).
std::atomic<std::thread::id> g_uiThread{};

bool IsUiThread() {
  if (g_dispatcher.load()) return std::this_thread::get_id() == g_uiThread.load();
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

void EnsureDispatcher() {
  if (g_dispatcher.load() || !IsUiThread()) return;
  auto* d = new Dispatcher;
  d->setParent(QCoreApplication::instance());
  const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, d);
  QObject::connect(notifier, &QSocketNotifier::activated, [] { ServeOne(); });
  g_uiThreadId.store(GetCurrentThreadId());
  g_uiThread.store(std::this_thread::get_id());
  g_wakeFd.store(fd);
  g_dispatcher.store(d);
}

void ReleaseWindowMessaging(WindowObj& w) {
  for (auto& [id, info] : w.timers) StopTimer(info);
  w.timers.clear();
  if (w.hoverTimer) {
    w.hoverTimer->stop();
    w.hoverTimer = nullptr;  // owned by the widget
  }
  std::vector<std::shared_ptr<PendingSend>> released;
  {
    std::lock_guard lock(g_sendsMutex);
    auto range = g_sends.equal_range(w.hwnd);
    for (auto it = range.first; it != range.second; ++it) released.push_back(it->second);
    g_sends.erase(w.hwnd);
  }
  for (auto& s : released) s->Complete(0);
}

void EndModalLoopsOf(HWND hwnd) {
  for (Frame* f : g_frames)
    if (f->hwnd == hwnd) EndFrame(f, IDCANCEL);
}

}  // namespace sowin

using namespace sowin;

LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (IsUiThread()) {
    auto w = FindWindowObj(hwnd);
    return w ? CallProc(w, msg, wParam, lParam) : 0;
  }
  if (!IsWindow(hwnd)) return 0;
  auto s = std::make_shared<PendingSend>();
  s->hwnd = hwnd;
  s->msg = msg;
  s->wp = wParam;
  s->lp = lParam;
  {
    std::lock_guard lock(g_sendsMutex);
    g_sends.emplace(hwnd, s);
  }
  // A destroy between the check above and here still completes it: the item finds no window.
  UiItem item;
  item.kind = UiItem::Kind::Send;
  item.send = s;
  if (!Enqueue(std::move(item))) s->Complete(0);
  std::unique_lock lock(s->m);
  s->cv.wait(lock, [&] { return s->done; });
  return s->result;
}

BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!hwnd) return PostThreadMessageW(GetCurrentThreadId(), msg, wParam, lParam);
  if (!IsWindow(hwnd)) return FALSE;
  UiItem item;
  item.hwnd = hwnd;
  item.msg = msg;
  item.wp = wParam;
  item.lp = lParam;
  return Enqueue(std::move(item)) ? TRUE : FALSE;
}

BOOL PostThreadMessageW(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<ThreadQueue> q;
  {
    std::lock_guard lock(g_queuesMutex);
    auto it = g_queues.find(threadId);
    if (it == g_queues.end()) return FALSE;
    q = it->second;
  }
  {
    std::lock_guard lock(q->m);
    MSG m;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    q->messages.push_back(m);
  }
  q->cv.notify_all();
  if (threadId == g_uiThreadId.load()) WakeUi();
  return TRUE;
}

namespace {
// Takes the next message of the calling thread's queue (filtered by range), or WM_QUIT.
bool TakeMessage(ThreadQueue& q, MSG* msg, UINT fmin, UINT fmax, bool remove) {
  for (auto it = q.messages.begin(); it != q.messages.end(); ++it) {
    if ((fmin || fmax) && (it->message < fmin || it->message > fmax)) continue;
    *msg = *it;
    if (remove) q.messages.erase(it);
    return true;
  }
  if (q.quit) {
    *msg = MSG{};
    msg->message = WM_QUIT;
    msg->wParam = static_cast<WPARAM>(q.quitCode);
    if (remove) q.quit = false;
    return true;
  }
  return false;
}
}  // namespace

BOOL GetMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (!msg || hwnd) return -1;
  auto q = OwnQueue();
  if (!IsUiThread()) {
    std::unique_lock lock(q->m);
    for (;;) {
      if (TakeMessage(*q, msg, filterMin, filterMax, true)) return msg->message == WM_QUIT ? FALSE : TRUE;
      q->cv.wait(lock);
    }
  }
  for (;;) {
    {
      std::lock_guard lock(q->m);
      if (TakeMessage(*q, msg, filterMin, filterMax, true)) return TRUE;
    }
    if (g_quitPending) {
      g_quitPending = false;
      *msg = MSG{};
      msg->message = WM_QUIT;
      msg->wParam = static_cast<WPARAM>(g_quitCode);
      return FALSE;
    }
    Frame frame;
    RunFrame(frame);
  }
}

BOOL PeekMessageW(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (!msg || hwnd) return FALSE;
  auto q = OwnQueue();
  if (IsUiThread()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (g_quitPending) {
      *msg = MSG{};
      msg->message = WM_QUIT;
      msg->wParam = static_cast<WPARAM>(g_quitCode);
      if (removeFlags & PM_REMOVE) g_quitPending = false;
      return TRUE;
    }
  }
  std::lock_guard lock(q->m);
  return TakeMessage(*q, msg, filterMin, filterMax, removeFlags & PM_REMOVE) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG*) {
  return FALSE;
}

LRESULT DispatchMessageW(const MSG* msg) {
  if (!msg || !msg->hwnd) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
    return 0;
  }
  return SendMessageW(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode) {
  if (!IsUiThread()) {
    auto q = OwnQueue();
    {
      std::lock_guard lock(q->m);
      q->quit = true;
      q->quitCode = exitCode;
    }
    q->cv.notify_all();
    return;
  }
  g_quitPending = true;
  g_quitCode = exitCode;
  for (Frame* f : g_frames) EndFrame(f, 0);
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
  if (!IsUiThread()) return 0;
  EnsureDispatcher();
  TimerInfo* info;
  if (hwnd) {
    auto w = FindWindowObj(hwnd);
    if (!w) return 0;
    info = &w->timers[id];
  } else {
    id = g_nextThreadTimer++;
    info = &g_threadTimers[id];
  }
  StopTimer(*info);
  info->proc = proc;
  info->queued = false;
  info->generation = ++g_timerGeneration;
  info->timer = MakeTimer(hwnd, id, info->generation, elapseMs);
  return hwnd ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  if (!IsUiThread()) return FALSE;
  std::map<UINT_PTR, TimerInfo>* timers = &g_threadTimers;
  if (hwnd) {
    auto w = FindWindowObj(hwnd);
    if (!w) return FALSE;
    timers = &w->timers;
  }
  auto it = timers->find(id);
  if (it == timers->end()) return FALSE;
  StopTimer(it->second);
  timers->erase(it);
  return TRUE;
}

DWORD GetCurrentThreadId() {
  if (!t_thread.id) {
    t_thread.id = g_nextThreadId.fetch_add(1);
    t_thread.queue = std::make_shared<ThreadQueue>();
    std::lock_guard lock(g_queuesMutex);
    g_queues[t_thread.id] = t_thread.queue;
  }
  return t_thread.id;
}

ULONGLONG GetTickCount64() {
  using namespace std::chrono;
  return static_cast<ULONGLONG>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

DWORD GetTickCount() {
  return static_cast<DWORD>(GetTickCount64());
}

void Sleep(DWORD ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

namespace SOWin {

UINT RunModalLoop(HWND hwnd) {
  if (!IsUiThread() || !IsWindow(hwnd)) return 0;
  EnsureDispatcher();
  Frame frame;
  frame.hwnd = hwnd;
  RunFrame(frame);
  // The outermost loop takes a quit nobody else is left to see.
  if (g_frames.empty()) g_quitPending = false;
  return frame.result;
}

bool EndModalLoop(HWND hwnd, UINT result) {
  for (auto it = g_frames.rbegin(); it != g_frames.rend(); ++it)
    if ((*it)->hwnd == hwnd && !(*it)->ended) {
      EndFrame(*it, result);
      return true;
    }
  return false;
}

int ModalDepth() {
  int n = 0;
  for (Frame* f : g_frames)
    if (f->hwnd) ++n;
  return n;
}

void InvokeOnUiThread(std::function<void()> fn, bool wait) {
  if (IsUiThread()) {
    fn();
    return;
  }
  auto waiter = wait ? std::make_shared<PendingSend>() : nullptr;
  UiItem item;
  item.kind = UiItem::Kind::Invoke;
  item.fn = std::move(fn);
  item.send = waiter;
  if (!Enqueue(std::move(item)) || !waiter) return;
  std::unique_lock lock(waiter->m);
  waiter->cv.wait(lock, [&] { return waiter->done; });
}

void PumpEvents(int ms) {
  if (!IsUiThread()) return;
  EnsureDispatcher();
  QEventLoop loop;
  QTimer::singleShot(std::max(ms, 0), &loop, &QEventLoop::quit);
  loop.exec();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool PumpUntil(const std::function<bool()>& pred, int timeoutMs) {
  if (!IsUiThread()) return pred();
  EnsureDispatcher();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= deadline) return pred();
    QEventLoop loop;
    QTimer::singleShot(2, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

}  // namespace SOWin
