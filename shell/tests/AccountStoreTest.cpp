#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "Gossamy.h"
#include "SOAccountStore.h"
#include "SOWinReg.h"
#include "ShellTestUtil.h"

namespace {

std::string Raw(const char* name) {
  std::string value;
  Gossamy::ReadHKCU(name, value);
  return value;
}

TEST(AccountStore, PasswordIsSealedUnderAPrivateKeyAndOpensAgain) {
  shelltest::FreshRegistry();
  ASSERT_TRUE(SOAccountStore::Save("alice", "s3cret pass 密码", true));
  EXPECT_EQ(Raw("UserName"), "alice");
  EXPECT_EQ(Raw("AutoLogin"), "true");
  const std::string stored = Raw("Password");
  EXPECT_EQ(stored.find("s3cret"), std::string::npos);
  EXPECT_EQ(orvanta::test::FileBytes(SOWinReg::RegistryPath()).find("s3cret"), std::string::npos);
  EXPECT_EQ(SOAccountStore::Password(), "s3cret pass 密码");

  const auto key = std::filesystem::path(SOWinReg::RegistryPath()).parent_path() / "account.key";
  struct stat st;
  ASSERT_EQ(::stat(key.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // Each sealing differs; a changed byte or a foreign text opens to nothing.
  EXPECT_NE(SOAccountStore::Seal("x"), SOAccountStore::Seal("x"));
  std::string tampered = stored;
  tampered[tampered.size() / 2] = tampered[tampered.size() / 2] == 'A' ? 'B' : 'A';
  for (const std::string& bad : {tampered, std::string("plain"), std::string("v1:"), std::string("v1:abc")})
    EXPECT_EQ(SOAccountStore::Open(bad), "") << bad;

  // Without the key (another user's copy of the file) nothing opens.
  std::filesystem::remove(key);
  EXPECT_EQ(SOAccountStore::Password(), "");
}

TEST(AccountStore, AutoLoginNeedsTheExactFlagAUserAndAPassword) {
  struct Case {
    const char* autoLogin;
    const char* user;
    const char* password;
    bool allowed;
  } cases[] = {
      {"true", "alice", "pw", true},   {"true", "alice", "", false}, {"TRUE", "alice", "pw", false},
      {"false", "alice", "pw", false}, {"true", "", "pw", false},
  };
  for (const auto& c : cases) {
    shelltest::FreshRegistry();
    Gossamy::WriteHKCU("UserName", c.user);
    Gossamy::WriteHKCU("Password", SOAccountStore::Seal(c.password).c_str());
    Gossamy::WriteHKCU("AutoLogin", c.autoLogin);
    EXPECT_EQ(SOAccountStore::AutoLoginAllowed(), c.allowed) << c.autoLogin << "/" << c.user << "/" << c.password;
  }
  // A login without the tick forgets the password.
  shelltest::FreshRegistry();
  SOAccountStore::Save("bob", "pw", true);
  SOAccountStore::Save("bob", "pw", false);
  EXPECT_EQ(Raw("Password"), "");
  EXPECT_EQ(Raw("AutoLogin"), "false");
  EXPECT_FALSE(SOAccountStore::AutoLoginAllowed());
}

TEST(AccountStore, ConcurrentFirstUseAgreesOnOneKey) {
  shelltest::FreshRegistry();
  std::vector<std::string> sealed(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < sealed.size(); ++i)
    threads.emplace_back([&sealed, i] { sealed[i] = SOAccountStore::Seal("pw" + std::to_string(i)); });
  for (auto& t : threads) t.join();
  for (size_t i = 0; i < sealed.size(); ++i) EXPECT_EQ(SOAccountStore::Open(sealed[i]), "pw" + std::to_string(i));
}

}  // namespace
