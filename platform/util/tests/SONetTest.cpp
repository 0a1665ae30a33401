#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "SONet.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

struct Recorder : INetCallback {
  void OnNetProgress(double t, double d) override {
    total = t;
    done = d;
    ++calls;
  }
  double total = 0, done = 0;
  int calls = 0;
};

// A loopback server: /file (3 MB), /cut (announces 1 MB, ends after half), /missing (404).
class NetServer : public testing::Test {
 protected:
  void SetUp() override {
    body.resize(3 * 1024 * 1024);
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 % 251);
    server.Get("/file", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(body, "application/octet-stream");
    });
    server.Get("/cut", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(1024 * 1024, "application/octet-stream",
                               [this](size_t offset, size_t, httplib::DataSink& sink) {
                                 if (offset >= 512 * 1024) return false;
                                 sink.write(body.data(), 512 * 1024);
                                 return true;
                               });
    });
    server.Get("/missing", [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
    server.Get("/chunked", [this](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("application/octet-stream", [this](size_t offset, httplib::DataSink& sink) {
        if (offset < body.size()) {
          sink.write(body.data() + offset, 256 * 1024);
        } else {
          sink.done();
        }
        return true;
      });
    });
    port = server.bind_to_any_port("127.0.0.1");
    thread = std::thread([this] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    dir = orvanta::test::MakeTempDir("net");
  }
  void TearDown() override {
    server.stop();
    thread.join();
  }
  std::string Url(const char* path) { return "http://127.0.0.1:" + std::to_string(port) + path; }

  httplib::Server server;
  std::thread thread;
  int port = 0;
  std::string body;
  fs::path dir;
};

TEST_F(NetServer, DownloadsWholeFilesAndLeavesNothingOfFailedOnes) {
  Recorder progress;
  const fs::path target = dir / "setup.bin";
  ASSERT_TRUE(SONet::Download(Url("/file").c_str(), target.c_str(), &progress));
  EXPECT_EQ(orvanta::test::FileBytes(target), body);
  EXPECT_FALSE(fs::exists(dir / "setup.bin.part"));
  EXPECT_GT(progress.calls, 0);
  EXPECT_EQ(progress.total, double(body.size()));
  EXPECT_EQ(progress.done, double(body.size()));

  // A failed download leaves an earlier file of the same name as it was.
  for (const char* path : {"/cut", "/missing"}) {
    EXPECT_FALSE(SONet::Download(Url(path).c_str(), target.c_str(), nullptr)) << path;
    EXPECT_EQ(orvanta::test::FileBytes(target), body) << path;
    EXPECT_FALSE(fs::exists(dir / "setup.bin.part")) << path;
  }
  EXPECT_FALSE(SONet::Download("file:///etc/hostname", (dir / "local").c_str(), nullptr));
  EXPECT_FALSE(fs::exists(dir / "local"));
  EXPECT_FALSE(SONet::Download(Url("/file").c_str(), (dir / "no" / "such" / "folder").c_str(), nullptr));
}

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Answers every connection with head, then body in pieces of piece bytes a pause apart, then
// closes; for the cases a well-behaved server library never produces.
class ScriptedServer {
 public:
  ScriptedServer(std::string head, std::string body, size_t piece, std::chrono::milliseconds pause)
      : head_(std::move(head)), body_(std::move(body)), piece_(piece), pause_(pause) {
    fd_ = orvanta::test::ListenOnLoopback(&port, 4);
    thread_ = std::thread([this] {
      while (!stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        const int client = accept(fd_, nullptr, nullptr);
        if (client < 0) continue;
        char request[4096];
        [[maybe_unused]] ssize_t got = recv(client, request, sizeof request, 0);
        bool ok = send(client, head_.data(), head_.size(), MSG_NOSIGNAL) == ssize_t(head_.size());
        for (size_t at = 0; ok && at < body_.size() && !stop_; at += piece_) {
          const size_t n = std::min(piece_, body_.size() - at);
          ok = send(client, body_.data() + at, n, MSG_NOSIGNAL) == ssize_t(n);
          for (auto waited = 0ms; waited < pause_ && !stop_; waited += 10ms) std::this_thread::sleep_for(10ms);
        }
        close(client);
      }
    });
  }
  ~ScriptedServer() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port) + "/setup.bin"; }
  int port = 0;

 private:
  int fd_ = -1;
  const std::string head_, body_;
  const size_t piece_;
  const std::chrono::milliseconds pause_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(NetServer, OnlyABodyKnownToBeWholeIsKept) {
  // Chunks that end properly are whole; a body that ends where the connection closes is never
  // known to be, whether it was cut or not.
  const fs::path target = dir / "chunked.bin";
  ASSERT_TRUE(SONet::Download(Url("/chunked").c_str(), target.c_str(), nullptr));
  EXPECT_EQ(orvanta::test::FileBytes(target), body);
  const std::string unframed = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
  for (size_t size : {body.size() / 2, body.size()}) {
    ScriptedServer server(unframed, body.substr(0, size), size, 0ms);
    EXPECT_FALSE(SONet::Download(server.Url().c_str(), (dir / "unframed.bin").c_str(), nullptr)) << size;
    EXPECT_FALSE(fs::exists(dir / "unframed.bin")) << size;
    EXPECT_FALSE(fs::exists(dir / "unframed.bin.part")) << size;
  }
}

TEST(SONetBounds, ACrawlingDownloadEndsAtItsBoundsOrWhenCancelled) {
  const fs::path dir = orvanta::test::MakeTempDir("net-bounds");
  const std::string body(10 << 20, 'x');
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  // 2 bytes a second: under the crawl limit. 64 KB a second: above it, but 10 MB take longer
  // than the whole-download bound given here.
  ScriptedServer crawling(head, body, 2, 1000ms), slow(head, body, 64 << 10, 1000ms);
  std::atomic<bool> cancel{false};
  struct Case {
    const char* name;
    const ScriptedServer& server;
    long totalSeconds, lowSpeedSeconds;
    double cancelAfter, endsBy;
  } cases[] = {
      {"crawl", crawling, 3600, 2, 0, 4},
      {"whole bound", slow, 2, 30, 0, 4},
      {"cancel", crawling, 3600, 30, 0.5, 2.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cancel = false;
    const fs::path target = dir / c.name;
    const Clock::time_point start = Clock::now();
    std::future<bool> download = std::async(std::launch::async, [&] {
      return SONet::Download(c.server.Url().c_str(), target.c_str(), nullptr, &cancel, c.totalSeconds, c.lowSpeedSeconds);
    });
    if (c.cancelAfter > 0) {
      std::this_thread::sleep_for(std::chrono::duration<double>(c.cancelAfter));
      cancel = true;
    }
    ASSERT_EQ(download.wait_for(std::chrono::duration<double>(c.endsBy + 5)), std::future_status::ready);
    EXPECT_FALSE(download.get());
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), c.endsBy);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(fs::exists(target.string() + ".part"));
  }
}

}  // namespace
