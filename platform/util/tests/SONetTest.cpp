#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <filesystem>
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

}  // namespace
