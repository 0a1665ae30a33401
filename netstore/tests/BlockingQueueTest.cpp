#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <thread>

#include "QueueThread.h"
#include "TransferQueues.h"

namespace {

DCMUpload Item(const std::string& key, const std::string& host) {
  DCMUpload item;
  item.key = key;
  item.host = host;
  return item;
}

TEST(BlockingQueue, SameKeyTwiceStaysTwiceAndRemoveTakesTheFirst) {
  UploadBlockingQueue queue;
  queue.Push(Item("a", "first"));
  queue.Push(Item("b", "other"));
  queue.Push(Item("a", "second"));

  DCMUpload removed;
  ASSERT_TRUE(queue.Remove(Item("a", ""), removed));
  EXPECT_EQ(removed.host, "first");
  EXPECT_TRUE(queue.Contains(Item("a", "")));
  EXPECT_FALSE(queue.Remove(Item("zz", ""), removed));

  DCMUpload popped;
  ASSERT_TRUE(queue.Pop(popped));
  EXPECT_EQ(popped.key, "b");
  ASSERT_TRUE(queue.Pop(popped));
  EXPECT_EQ(popped.host, "second");
  EXPECT_FALSE(queue.Contains(Item("a", "")));
}

TEST(BlockingQueue, KeysCompareExactly) {
  DownloadBlockingQueue queue;
  DCMDownload item;
  item.key = "Key";
  queue.Push(item);
  DCMDownload probe;
  for (const char* other : {"key", "Key ", "", "Ke"}) {
    probe.key = other;
    EXPECT_FALSE(queue.Contains(probe)) << other;
  }
  probe.key = "Key";
  EXPECT_TRUE(queue.Contains(probe));
}

TEST(BlockingQueue, TakeAllEmptiesInOrderAndStopWakesPop) {
  UploadBlockingQueue queue;
  EXPECT_TRUE(queue.TakeAll().empty());
  queue.Push(Item("1", ""));
  queue.Push(Item("2", ""));
  auto all = queue.TakeAll();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].key, "1");
  EXPECT_EQ(all[1].key, "2");

  auto waiting = std::async(std::launch::async, [&] {
    DCMUpload item;
    return queue.Pop(item);
  });
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  queue.Stop();
  EXPECT_FALSE(waiting.get());
}

// Records what it runs; each run waits until the test lets it go.
class GatedThread : public QueueThread<DCMUpload> {
 public:
  explicit GatedThread(BlockingQueue<DCMUpload>* queue) : QueueThread<DCMUpload>(queue) {}
  ~GatedThread() override { Shutdown(); }

  void Run(DCMUpload& item) override {
    std::unique_lock<std::mutex> hold(mutex_);
    started_.push_back(item.host);
    changed_.notify_all();
    changed_.wait(hold, [&] { return released_ > finished_ || interrupted_; });
    ++finished_;
  }
  void Interrupt() override {
    std::lock_guard<std::mutex> hold(mutex_);
    interrupted_ = true;
    changed_.notify_all();
  }
  void WaitStarted(size_t n) {
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [&] { return started_.size() >= n; });
  }
  void Release() {
    std::lock_guard<std::mutex> hold(mutex_);
    ++released_;
    changed_.notify_all();
  }
  std::vector<std::string> Started() {
    std::lock_guard<std::mutex> hold(mutex_);
    return started_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> started_;
  int released_ = 0;
  int finished_ = 0;
  bool interrupted_ = false;
};

TEST(QueueThread, RunsInOrderAndTheRunningItemIsNoLongerQueued) {
  UploadBlockingQueue queue;
  GatedThread worker(&queue);
  queue.Push(Item("a", "1"));
  queue.Push(Item("a", "2"));
  worker.WaitStarted(1);
  EXPECT_TRUE(queue.Contains(Item("a", "")));  // the second one
  DCMUpload removed;
  ASSERT_TRUE(queue.Remove(Item("a", ""), removed));
  EXPECT_EQ(removed.host, "2");
  EXPECT_FALSE(queue.Contains(Item("a", "")));  // the running one is not seen
  queue.Push(Item("b", "3"));
  worker.Release();
  worker.WaitStarted(2);
  worker.Release();
  EXPECT_EQ(worker.Started(), (std::vector<std::string>{"1", "3"}));
}

TEST(QueueThread, ShutdownInterruptsTheRunningItemAndDropsTheRest) {
  UploadBlockingQueue queue;
  auto worker = std::make_unique<GatedThread>(&queue);
  queue.Push(Item("a", "1"));
  queue.Push(Item("b", "2"));
  worker->WaitStarted(1);
  worker.reset();  // must not hang on the gated run
  DCMUpload item;
  EXPECT_FALSE(queue.Pop(item));
}

}  // namespace
