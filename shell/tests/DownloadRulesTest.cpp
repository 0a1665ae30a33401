#include <gtest/gtest.h>

#include "SODownloadRules.h"

namespace {

TEST(DownloadRules, ProgressLabelsAndPercent) {
  struct Case {
    double bytes;
    const wchar_t* text;
  } sizes[] = {{512000, L"500 KB"},  {3145728, L"3.00 MB"}, {1048576, L"1024 KB"},
               {1049600, L"1.00 MB"}, {0, L"0 KB"},         {1023, L"0 KB"}};
  for (const auto& c : sizes) EXPECT_EQ(FormatDownloadSize(c.bytes), c.text) << c.bytes;
  EXPECT_EQ(DownloadPercent(512000, 3145728), 16);
  EXPECT_EQ(DownloadPercent(3145728, 3145728), 100);
  EXPECT_EQ(DownloadPercent(100, 0), 1);
  EXPECT_EQ(DownloadPercent(200, 100), 100);  // a server sending more than it announced
  EXPECT_EQ(DownloadPercent(-5, 100), 0);
}

TEST(DownloadRules, ServerFileNamesStayInTheDownloadsFolder) {
  struct Case {
    const char* server;
    const char* safe;
  } names[] = {{"Orvanta-1.5.exe", "Orvanta-1.5.exe"}, {"../x", "x"},       {"..\\..\\evil.sh", "evil.sh"},
               {"/etc/passwd", "passwd"},              {"a/b/", ""},         {"..", ""},
               {".", ""},                              {"", ""},             {"dir/..", ""}};
  for (const auto& c : names) EXPECT_EQ(SafeDownloadName(c.server), c.safe) << c.server;
}

}  // namespace
