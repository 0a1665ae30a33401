#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

#include "Gossamy.h"
#include "IArchiveDB.h"
#include "TestSupport.h"
#include "WebError.h"

namespace {

namespace fs = std::filesystem;

TEST(Gossamy, ErrorTextsByCode) {
  EXPECT_EQ(Gossamy::GetString("10015"), L"Incorrect username or password!");
  EXPECT_EQ(Gossamy::GetString("20001"), L"Report upload failed!");
  EXPECT_EQ(Gossamy::GetString("99999"), L"99999");
  EXPECT_EQ(Gossamy::GetString(""), L"");
  EXPECT_EQ(Gossamy::GetString(WebError{"fail", "10022", "ignored"}), L"Team limited for insufficient balance!");
}

TEST(Gossamy, ConfigPathIsCreatedBelowProgramData) {
  const char* path = Gossamy::GetConfigPath();
  EXPECT_EQ(path, Gossamy::GetConfigPath());
  std::string expected = std::string(std::getenv("PROGRAMDATA")) + "/Orvanta/";
  EXPECT_EQ(std::string(path), expected);
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_all);
}

TEST(Gossamy, RegistryValuesRoundTripAcrossProcesses) {
  std::string narrow = "untouched";
  EXPECT_FALSE(Gossamy::ReadHKCU(static_cast<const char*>(nullptr), narrow));
  EXPECT_EQ(narrow, "untouched");
  EXPECT_FALSE(Gossamy::WriteHKCU(static_cast<const char*>(nullptr), "x"));
  EXPECT_FALSE(Gossamy::WriteHKCU("Name", static_cast<const char*>(nullptr)));
  EXPECT_FALSE(Gossamy::WriteHKCU(L"Name", static_cast<const wchar_t*>(nullptr)));

  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    bool ok = Gossamy::WriteHKCU("UserName", "d\xc3\xa9j\xc3\xa0 'vu'") && Gossamy::WriteHKCU(L"Wide", L"\u4e2d\u6587");
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(Gossamy::ReadHKCU("UserName", narrow));
  EXPECT_EQ(narrow, "d\xc3\xa9j\xc3\xa0 'vu'");
  std::wstring wide;
  ASSERT_TRUE(Gossamy::ReadHKCU(L"Wide", wide));
  EXPECT_EQ(wide, L"\u4e2d\u6587");
  EXPECT_FALSE(Gossamy::ReadHKCU("NeverWritten", narrow));
  EXPECT_EQ(narrow, "");
}

// The store root, the archive and the local store are process-wide: one test walks their life.
TEST(Gossamy, StoreRootArchiveAndLocalStore) {
  std::string home = std::getenv("HOME");
  std::string root = Gossamy::GetStorePath();
  EXPECT_EQ(root, home + "/OrvantaImages");
  std::string written;
  ASSERT_TRUE(Gossamy::ReadHKCU("StorePath", written));
  EXPECT_EQ(written, root);

  const char* before = Gossamy::GetStorePath();
  EXPECT_FALSE(Gossamy::SetStorePath((home + "/missing").c_str()));
  EXPECT_FALSE(Gossamy::SetStorePath(nullptr));
  EXPECT_EQ(Gossamy::GetStorePath(), before);

  // Eight threads at once get one store, built once.
  std::vector<IKelvast*> seen(8);
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) threads.emplace_back([&, i] { seen[i] = Gossamy::LocalDB(); });
  for (auto& t : threads) t.join();
  ASSERT_NE(seen[0], nullptr);
  EXPECT_EQ(std::set<IKelvast*>(seen.begin(), seen.end()).size(), 1u);
  EXPECT_TRUE(fs::is_directory(root + "/LOCAL"));
  EXPECT_TRUE(fs::is_regular_file(root + "/DB/archive"));
  IArchiveDB* archive = Gossamy::ArchiveDB();
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(archive->GetStore("LOCAL"), seen[0]);

  // A new root applies only to an archive built later.
  fs::path other = orvanta::test::MakeTempDir("root");
  ASSERT_TRUE(Gossamy::SetStorePath(other.c_str()));
  EXPECT_STREQ(before, root.c_str());  // the old text is still alive for whoever holds it
  EXPECT_EQ(std::string(Gossamy::GetStorePath()), other.string());
  EXPECT_EQ(Gossamy::ArchiveDB(), archive);
  ASSERT_TRUE(Gossamy::ReadHKCU("StorePath", written));
  EXPECT_EQ(written, other.string());

  Gossamy::ReleaseArchiveDB();
  IKelvast* rebuilt = Gossamy::LocalDB();
  ASSERT_NE(rebuilt, nullptr);
  EXPECT_TRUE(fs::is_directory(other / "LOCAL"));
  EXPECT_EQ(Gossamy::ArchiveDB()->GetStore("LOCAL"), rebuilt);
  Gossamy::ReleaseArchiveDB();
}

}  // namespace
