// The program as a process: one instance per user, requests of later starts, clean ends.

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "CMainFrameWnd.h"
#include "DicomFixtures.h"
#include "Gossamy.h"
#include "IKelvast.h"
#include "SOSingleInstance.h"
#include "ShellRequests.h"
#include "ShellTestUtil.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

class Program : public testing::Test {
 protected:
  void SetUp() override {
    const auto runtime = orvanta::test::MakeTempDir("runtime");
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    programDir = shelltest::MakeProgramDir({"libTestA.so", "libTestB.so"});
    ::setenv("ORVANTA_PROGRAM_DIR", programDir.c_str(), 1);
  }
  void TearDown() override {
    for (pid_t pid : started) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    ::unsetenv("ORVANTA_PROGRAM_DIR");
  }

  pid_t Start() {
    const std::string exe = (orvanta::test::ProgramFolder() / "Orvanta").string();
    char* argv[] = {const_cast<char*>(exe.c_str()), nullptr};
    pid_t pid = 0;
    EXPECT_EQ(::posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, environ), 0);
    started.push_back(pid);
    return pid;
  }
  // The exit code, or -1 when the process did not end within timeoutMs.
  int Wait(pid_t pid, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        std::erase(started, pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (Clock::now() > end) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  // Waits until the running program answers requests.
  static bool Listening() {
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end) {
      if (SOSingleInstance::Send(kActivateRequest)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  std::filesystem::path programDir;
  std::vector<pid_t> started;
};

TEST_F(Program, SecondStartHandsOverAndExitsThenTheFirstEndsCleanlyOnSigterm) {
  const pid_t first = Start();
  ASSERT_TRUE(Listening());

  const auto before = Clock::now();
  const pid_t second = Start();
  EXPECT_EQ(Wait(second, 2000), 0);
  EXPECT_LT(Clock::now() - before, std::chrono::seconds(2));

  // A folder sent by a later start is imported in place.
  const auto folder = orvanta::test::MakeTempDir("import");
  orvanta::fixtures::CtSeriesOptions ct;
  ct.slices = 3;
  ct.rows = ct.columns = 16;
  const auto series = orvanta::fixtures::WriteCtSeries(folder, ct);
  std::ofstream(folder / "readme.txt") << "not DICOM";
  ASSERT_TRUE(SOSingleInstance::Send(kImportRequest + folder.string()));

  // A request too long to be a path is refused unread.
  EXPECT_FALSE(SOSingleInstance::Send(std::string(SOSingleInstance::kMaxRequest + 1, 'x')));

  ::kill(first, SIGTERM);
  EXPECT_EQ(Wait(first, 10000), 0);

  // The program shares this test's store; other tests may have stored studies there too.
  std::vector<PatientRecord> studies;
  ASSERT_TRUE(Gossamy::LocalDB()->GetPatientRecords(studies, nullptr, true));
  std::erase_if(studies, [&](const PatientRecord& s) { return s.studyUID != series.studyUid; });
  ASSERT_EQ(studies.size(), 1u);
  ASSERT_EQ(studies[0].series.size(), 1u);
  EXPECT_EQ(studies[0].series[0].instances.size(), 3u);
  Gossamy::ReleaseArchiveDB();

  // The lock went with the process: the next start is a first one again.
  const pid_t third = Start();
  ASSERT_TRUE(Listening());
  ::kill(third, SIGHUP);
  EXPECT_EQ(Wait(third, 10000), 0);
}

TEST(SingleInstance, OnlyOneHolderOfTheLockPerUser) {
  ::setenv("XDG_RUNTIME_DIR", orvanta::test::MakeTempDir("runtime").c_str(), 1);
  SOSingleInstance first;
  ASSERT_TRUE(first.Acquire());
  std::vector<std::string> seen;
  ASSERT_TRUE(first.Listen([&](const std::string& request) { seen.push_back(request); }));
  {
    SOSingleInstance second;
    EXPECT_FALSE(second.Acquire());
  }
  EXPECT_TRUE(SOSingleInstance::Send("IMPORT /a|b c"));
  EXPECT_TRUE(SOSingleInstance::Send(""));
  EXPECT_EQ(seen, (std::vector<std::string>{"IMPORT /a|b c", ""}));
}

TEST(SingleInstance, ActivateShowsAHiddenFrame) {
  orvanta::test::EnsureQtApp();
  const auto dir = shelltest::MakeProgramDir({});
  DuiLib::CPaintManagerUI::SetResourcePath(SOWin::FromUtf8((dir / "skin").string() + "/").c_str());
  CMainFrameWnd::Options options;
  options.programDir = dir.string() + "/";
  options.trayAvailable = 1;
  CMainFrameWnd frame(options);
  ASSERT_NE(frame.CreateFrame(), nullptr);
  ShowWindow(frame.GetHWND(), SW_HIDE);
  std::thread listener([] { HandleShellRequest(kActivateRequest); });
  ASSERT_TRUE(SOWin::PumpUntil([&] { return IsWindowVisible(frame.GetHWND()) != 0; }, 2000));
  listener.join();
  DestroyWindow(frame.GetHWND());
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

}  // namespace
