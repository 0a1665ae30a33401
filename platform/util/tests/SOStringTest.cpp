#include <gtest/gtest.h>

#include <set>

#include "SODate.h"
#include "SODateTime.h"
#include "SOString.h"
#include "SOTime.h"
#include "SOUtil.h"

namespace {

TEST(SOUtilText, Utf8AndWideRoundTrip) {
  const char* texts[] = {"",
                         "plain ASCII",
                         "Müller^Zoë",
                         "张三^李四",
                         "ハナコ",
                         "x\xF0\x9F\x98\x80y",
                         "\xEF\xBF\xBF edge of the BMP",
                         "\xF4\x8F\xBF\xBF last code point"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    const std::wstring wide = SOUtil::UTF82WStr(text);
    EXPECT_EQ(SOUtil::W2UTF8Str(wide.c_str()), text);
    EXPECT_EQ(SOUtil::C2WStr(text), wide);
    EXPECT_EQ(SOUtil::C2UTF8Str(text), text);
    EXPECT_EQ(SOUtil::UTF82CStr(text), text);
  }
  EXPECT_EQ(SOUtil::UTF82WStr("张"), std::wstring(1, wchar_t(0x5F20)));
  EXPECT_EQ(SOUtil::UTF82WStr("\xF0\x9F\x98\x80"), std::wstring(1, wchar_t(0x1F600)));
  EXPECT_EQ(SOUtil::UTF82WStr(nullptr), L"");
  EXPECT_EQ(SOUtil::W2UTF8Str(nullptr), "");
}

TEST(SOUtilText, MalformedInputBecomesReplacementCharacters) {
  struct Case {
    const char* in;
    std::wstring out;
  };
  const Case cases[] = {
      {"a\377b", L"a\uFFFDb"},                            // byte that never starts a sequence
      {"\xC3", L"\uFFFD"},                                // cut short at the end
      {"\xC3(", L"\uFFFD("},                              // cut short by ASCII
      {"\xC0\xAF", L"\uFFFD\uFFFD"},                      // overlong '/'
      {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},            // surrogate
      {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xE5\xBC", L"\uFFFD"},                            // three-byte sequence cut after two
      {"M\374ller", L"M\uFFFDller"},                      // Latin-1 text
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(SOUtil::UTF82WStr(c.in), c.out);
    EXPECT_EQ(SOUtil::C2UTF8Str(c.in), SOUtil::W2UTF8Str(c.out.c_str()));
  }
  const wchar_t badWide[] = {L'a', wchar_t(0xD800), wchar_t(0x110000), 0};
  EXPECT_EQ(SOUtil::W2UTF8Str(badWide), "a\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(SOString, FormatsComparesAndKeepsWideFormCurrent) {
  SOString s;
  s.format("%s-%03d", "CT", 7);
  EXPECT_TRUE(s == "CT-007");
  EXPECT_FALSE(s == "ct-007");
  EXPECT_STREQ(s.c_wstr(), L"CT-007");
  s += "ü";
  EXPECT_STREQ(s.c_wstr(), L"CT-007ü");
  s = "张";
  EXPECT_STREQ(s.c_wstr(), L"张");
  const SOString joined = SOString("a") + "b" + SOString("c");
  EXPECT_TRUE(joined == SOString("abc"));
  EXPECT_TRUE(SOString(nullptr) == "");
  EXPECT_TRUE(SOString() == nullptr);
  const std::string longText(5000, 'q');
  EXPECT_EQ(SOUtil::Format("%s!", longText.c_str()).size(), 5001u);
}

TEST(SOUtilText, SplitTrimRemove) {
  struct Case {
    const char* text;
    std::vector<std::string> parts;
  };
  const Case cases[] = {{"a|b|c", {"a", "b", "c"}}, {"one", {"one"}}, {"", {}}, {"|x|", {"", "x", ""}}};
  for (const Case& c : cases) {
    const SOArray<SOString> parts = SOUtil::Split(c.text, '|');
    std::vector<std::string> got;
    for (int i = 0; i < parts.GetLength(); ++i) got.push_back(parts[i].str());
    EXPECT_EQ(got, c.parts) << c.text;
  }
  EXPECT_EQ(SOUtil::Split(nullptr, '|').GetLength(), 0);
  EXPECT_EQ(SOUtil::TrimBegin("045Y", '0'), "45Y");
  EXPECT_EQ(SOUtil::TrimBegin("000", '0'), "");
  EXPECT_EQ(SOUtil::Remove(" 1 2 3 ", ' '), "123");
}

TEST(SOUtilText, GeneratedUidsAreValidAndUnique) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string uid = SOUtil::GenerateUID();
    ASSERT_LE(uid.size(), 64u);
    ASSERT_EQ(uid.rfind("2.25.", 0), 0u);
    ASSERT_NE(uid[5], '0');
    ASSERT_EQ(uid.find_first_not_of("0123456789", 5), std::string::npos);
    seen.insert(uid);
  }
  EXPECT_EQ(seen.size(), 200u);
}

TEST(SODateTime, FormatsAndOrders) {
  EXPECT_EQ((SODate{2024, 3, 9}.toString("%04d/%02d/%02d")), "2024/03/09");
  EXPECT_EQ((SOTime{7, 5, 3, 120}.toString()), "07:05:03");
  const SODateTime a{{2024, 3, 9}, {23, 59, 59, 0}};
  const SODateTime b{{2024, 3, 10}, {0, 0, 0, 0}};
  EXPECT_LT(a, b);
  EXPECT_EQ(b.toString(), "2024-03-10 00:00:00");
  const SODate today = SODate::Now();
  EXPECT_GE(today.year, 2024);
  EXPECT_TRUE(today.month >= 1 && today.month <= 12);
}

}  // namespace
