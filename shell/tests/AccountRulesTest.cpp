#include <gtest/gtest.h>

#include "SOAccountRules.h"

namespace {

TEST(AccountRules, FormsAcceptWholeTextsOnly) {
  struct Case {
    bool (*rule)(const std::string&);
    const char* text;
    bool valid;
  } cases[] = {
      {SOAccountRules::IsValidUserName, "a1", false},
      {SOAccountRules::IsValidUserName, "a12", true},
      {SOAccountRules::IsValidUserName, "1ab", false},
      {SOAccountRules::IsValidUserName, "abcdefghijklmnopqr", true},    // 18
      {SOAccountRules::IsValidUserName, "abcdefghijklmnopqrs", false},  // 19: the whole text must match
      {SOAccountRules::IsValidUserName, "ab_c!", false},
      {SOAccountRules::IsValidUserName, "李ab", false},
      {SOAccountRules::IsValidPhone, "1381234567", false},
      {SOAccountRules::IsValidPhone, "12812345678", false},
      {SOAccountRules::IsValidPhone, "13812345678", true},
      {SOAccountRules::IsValidPhone, "138123456789", false},
      {SOAccountRules::IsValidPhone, "1381234567x", false},
      {SOAccountRules::IsValidPassword, "a b c", false},
      {SOAccountRules::IsValidPassword, "ab", false},
      {SOAccountRules::IsValidPassword, "abc", true},
      {SOAccountRules::IsValidPassword, "密码好", true},  // three characters, nine bytes
      {SOAccountRules::IsValidPassword, "密码", false},
      {SOAccountRules::IsValidPassword, "123456789012345678", true},
      {SOAccountRules::IsValidPassword, "1234567890123456789", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.rule(c.text), c.valid) << c.text;
}

TEST(AccountRules, MobileNumbersAreMaskedByCharacter) {
  EXPECT_EQ(SOAccountRules::MaskMobile("13812345678"), "*******5678");
  EXPECT_EQ(SOAccountRules::MaskMobile("12345"), "*2345");
  EXPECT_EQ(SOAccountRules::MaskMobile("1234"), "1234");
  EXPECT_EQ(SOAccountRules::MaskMobile(""), "");
  EXPECT_EQ(SOAccountRules::MaskMobile("电话12345"), "***2345");
  EXPECT_EQ(SOAccountRules::Trim("  alice \t"), "alice");
  EXPECT_EQ(SOAccountRules::Trim("   "), "");
}

}  // namespace
