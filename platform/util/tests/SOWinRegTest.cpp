#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "SOUtil.h"
#include "SOWinReg.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

const char* const kKey = "Software\\Orvanta";

// Each test gets its own configuration folder.
class SOWinRegTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    saved_ = old ? old : "";
    config_ = orvanta::test::MakeTempDir("config");
    setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
  }
  void TearDown() override { setenv("XDG_CONFIG_HOME", saved_.c_str(), 1); }

  // Runs body in a child process; true when it exits with 0.
  template <typename Body>
  static pid_t Spawn(Body body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body() ? 0 : 1);
    return pid;
  }
  static bool Succeeded(pid_t pid) {
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  std::string saved_;
  fs::path config_;
};

TEST_F(SOWinRegTest, StoresValuesInAPrivateFileUnderTheConfigFolder) {
  const std::string path = SOWinReg::RegistryPath();
  EXPECT_EQ(fs::path(path), config_ / "Orvanta" / "registry.xml");

  std::string value = "stale";
  EXPECT_FALSE(SOWinReg::ReadHKCU(kKey, "StorePath", value));  // no file yet
  EXPECT_TRUE(value.empty());

  const std::string tricky = "/data/<a&b> \"quoted\" 'single'\n\ttabbed ünï 张";
  ASSERT_TRUE(SOWinReg::WriteHKCU(kKey, "StorePath", tricky.c_str()));
  ASSERT_TRUE(SOWinReg::WriteHKCU(kKey, "Empty", ""));
  ASSERT_TRUE(SOWinReg::WriteHKCU("Software\\Other", "StorePath", "elsewhere"));
  EXPECT_TRUE(SOWinReg::ReadHKCU(kKey, "StorePath", value));
  EXPECT_EQ(value, tricky);
  EXPECT_TRUE(SOWinReg::ReadHKCU(kKey, "Empty", value));
  EXPECT_EQ(value, "");
  EXPECT_FALSE(SOWinReg::ReadHKCU(kKey, "Missing", value));
  EXPECT_TRUE(value.empty());

  ASSERT_TRUE(SOWinReg::WriteHKCU(kKey, "StorePath", "second"));
  EXPECT_TRUE(SOWinReg::ReadHKCU(kKey, "StorePath", value));
  EXPECT_EQ(value, "second");
  EXPECT_TRUE(SOWinReg::ReadHKCU("Software\\Other", "StorePath", value));
  EXPECT_EQ(value, "elsewhere");

  std::wstring wide;
  ASSERT_TRUE(SOWinReg::WriteHKCU(L"Software\\Orvanta", L"名前", L"値 ✓"));
  EXPECT_TRUE(SOWinReg::ReadHKCU(L"Software\\Orvanta", L"名前", wide));
  EXPECT_EQ(wide, L"値 ✓");
  EXPECT_TRUE(SOWinReg::ReadHKCU(kKey, "名前", value));  // the same value seen narrow
  EXPECT_EQ(value, "値 ✓");

  EXPECT_FALSE(SOWinReg::WriteHKCU(kKey, nullptr, "x"));
  EXPECT_FALSE(SOWinReg::WriteHKCU(kKey, "x", nullptr));

  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  // Nothing but the file and its lock is left behind.
  std::vector<std::string> files;
  ASSERT_TRUE(SOUtil::FindFiles((config_ / "Orvanta").c_str(), files));
  EXPECT_EQ(files.size(), 2u);
}

TEST_F(SOWinRegTest, ValuesSurviveIntoAnotherProcess) {
  ASSERT_TRUE(SOWinReg::WriteHKCU(kKey, "FromParent", "p"));
  EXPECT_TRUE(Succeeded(Spawn([] {
    std::string value;
    return SOWinReg::ReadHKCU(kKey, "FromParent", value) && value == "p" &&
           SOWinReg::WriteHKCU(kKey, "FromChild", "c");
  })));
  std::string value;
  EXPECT_TRUE(SOWinReg::ReadHKCU(kKey, "FromChild", value));
  EXPECT_EQ(value, "c");
  EXPECT_TRUE(SOWinReg::ReadHKCU(kKey, "FromParent", value));
}

TEST_F(SOWinRegTest, ConcurrentWritersLoseNothing) {
  constexpr int kWriters = 4, kValues = 25;
  auto writeAll = [](const std::string& who) {
    bool ok = true;
    for (int i = 0; i < kValues; ++i) {
      const std::string name = who + "_" + std::to_string(i);
      ok = SOWinReg::WriteHKCU(kKey, name.c_str(), name.c_str()) && ok;
    }
    return ok;
  };
  // Children first (forked before any thread exists), then threads of this process.
  std::vector<pid_t> children;
  for (int p = 0; p < kWriters; ++p)
    children.push_back(Spawn([&, p] { return writeAll("proc" + std::to_string(p)); }));
  std::vector<std::thread> threads;
  std::vector<char> threadOk(kWriters, 0);
  for (int t = 0; t < kWriters; ++t)
    threads.emplace_back([&, t] { threadOk[t] = writeAll("thread" + std::to_string(t)); });
  for (auto& t : threads) t.join();
  for (pid_t child : children) EXPECT_TRUE(Succeeded(child));
  for (char ok : threadOk) EXPECT_TRUE(ok);

  for (const char* who : {"proc", "thread"}) {
    for (int w = 0; w < kWriters; ++w) {
      for (int i = 0; i < kValues; ++i) {
        const std::string name = who + std::to_string(w) + "_" + std::to_string(i);
        std::string value;
        EXPECT_TRUE(SOWinReg::ReadHKCU(kKey, name.c_str(), value)) << name;
        EXPECT_EQ(value, name);
      }
    }
  }
}

TEST_F(SOWinRegTest, AFileThatDoesNotParseIsKeptAsideAndReplacedOnWrite) {
  const std::string path = SOWinReg::RegistryPath();
  fs::create_directories(fs::path(path).parent_path());
  const std::string broken = "<Registry><Key name=";
  std::ofstream(path) << broken;
  std::string value;
  EXPECT_FALSE(SOWinReg::ReadHKCU(kKey, "A", value));
  ASSERT_TRUE(SOWinReg::WriteHKCU(kKey, "A", "1"));
  EXPECT_TRUE(SOWinReg::ReadHKCU(kKey, "A", value));
  EXPECT_EQ(value, "1");
  std::ifstream kept(path + ".broken");
  std::string keptText((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
  EXPECT_EQ(keptText, broken);
}

}  // namespace
