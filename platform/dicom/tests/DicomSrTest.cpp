#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "DicomFixtures.h"
#include "SODcmSR.h"
#include "SODcmUtil.h"
#include "SOUtil.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;
using orvanta::test::MakeTempDir;

namespace {

std::string Output(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
  char buf[512];
  while (pipe && fgets(buf, sizeof buf, pipe.get())) out += buf;
  return out;
}

std::wstring Get(const SODcmSR& sr, bool (SODcmSR::*getter)(std::wstring&) const) {
  std::wstring value = L"<absent>";
  (sr.*getter)(value);
  return value;
}

}  // namespace

TEST(DicomSr, ReportMadeForAnImageSavesReloadsAndValidates) {
  auto dir = MakeTempDir("sr");
  fx::CtSeriesOptions options;
  options.slices = 1;
  options.patientName = "M\xFCller^J\xF6rg";  // Latin-1, as the CT declares
  auto series = fx::WriteCtSeries(dir, options);

  SODcmSR sr;
  ASSERT_TRUE(SODcmUtil::CreateSR(sr, series.files[0].c_str()));
  EXPECT_FALSE(sr.IsCompleted());
  EXPECT_FALSE(sr.IsVerified());
  EXPECT_EQ(Get(sr, &SODcmSR::GetFinding), L"<absent>");
  std::string study, modality, sop, series2;
  ASSERT_TRUE(sr.GetDataset()->GetString(0x0020000D, study));
  EXPECT_EQ(study, series.studyUid);
  ASSERT_TRUE(sr.GetDataset()->GetString(0x00080060, modality));
  EXPECT_EQ(modality, "SR");
  ASSERT_TRUE(sr.GetDataset()->GetString(0x0020000E, series2));
  EXPECT_NE(series2, series.seriesUid);

  ASSERT_TRUE(sr.SetFinding(L"肝内见低密度灶，大小约 2 cm。"));
  ASSERT_TRUE(sr.SetConclusion(L"Hepatic lesion; follow-up advised."));
  ASSERT_TRUE(sr.SetAuthorObserverName(L"Zhang^San"));
  ASSERT_TRUE(sr.SetAcquisitionModality(L"CT"));
  ASSERT_TRUE(sr.SetVerifyingObserverName(L"Li^Si"));
  ASSERT_TRUE(sr.SetVerifyingOrganization(L"Test Hospital"));
  ASSERT_TRUE(sr.SetVerificationDateTime(L"20240316101500"));
  ASSERT_TRUE(sr.CompleteDocument());
  ASSERT_TRUE(sr.VerifyDocument());
  fs::path path = dir / "report.dcm";
  ASSERT_TRUE(sr.SaveFile(path.c_str(), false));

  SODcmSR back;
  ASSERT_TRUE(back.LoadFile(path.c_str(), true));
  EXPECT_TRUE(back.IsCompleted());
  EXPECT_TRUE(back.IsVerified());
  EXPECT_EQ(Get(back, &SODcmSR::GetFinding), L"肝内见低密度灶，大小约 2 cm。");
  EXPECT_EQ(Get(back, &SODcmSR::GetConclusion), L"Hepatic lesion; follow-up advised.");
  EXPECT_EQ(Get(back, &SODcmSR::GetAuthorObserverName), L"Zhang^San");
  EXPECT_EQ(Get(back, &SODcmSR::GetAcquisitionModality), L"CT");
  EXPECT_EQ(Get(back, &SODcmSR::GetVerifyingObserverName), L"Li^Si");
  EXPECT_EQ(Get(back, &SODcmSR::GetVerifyingOrganization), L"Test Hospital");
  EXPECT_EQ(Get(back, &SODcmSR::GetVerificationDateTime), L"20240316101500");
  std::wstring plain;
  ASSERT_TRUE(back.GetDataset()->GetString(0x0040A030, plain));  // where the report templates read it
  EXPECT_EQ(plain, L"20240316101500");
  std::wstring name;
  ASSERT_TRUE(back.GetDataset()->GetString(0x00100010, name));
  EXPECT_EQ(name, L"Müller^Jörg");  // the patient's name survived the move to UTF-8

  std::string text;
  ASSERT_TRUE(SODcmUtil::GetSRContentUTF8(back.GetDataset(), text));
  EXPECT_NE(text.find("Finding:\n肝内见低密度灶"), std::string::npos) << text;
  EXPECT_NE(text.find("Conclusion:\nHepatic lesion"), std::string::npos) << text;

  if (std::system("command -v dsrdump > /dev/null") == 0) {
    EXPECT_EQ(std::system(("dsrdump '" + path.string() + "' > /dev/null 2>&1").c_str()), 0);
  }
  if (std::system("command -v dciodvfy > /dev/null") == 0) {
    std::string report = Output("dciodvfy '" + path.string() + "'");
    EXPECT_EQ(report.find("Error"), std::string::npos) << report;
  }
}

TEST(DicomSr, CopyAndTheFixtureReport) {
  auto dir = MakeTempDir("srcopy");
  SODcmSR sr;
  ASSERT_TRUE(sr.LoadFile(fx::WriteBasicTextSr(dir).c_str()));
  EXPECT_EQ(Get(sr, &SODcmSR::GetFinding), L"No acute findings.");
  SODcmSR copy;
  ASSERT_TRUE(copy.Copy(sr));
  EXPECT_STREQ(copy.GetFilePath(), "");
  ASSERT_TRUE(sr.SetFinding(L"changed"));
  EXPECT_EQ(Get(copy, &SODcmSR::GetFinding), L"No acute findings.");
  EXPECT_FALSE(SODcmUtil::CreateSR(copy, (dir / "missing.dcm").c_str()));
  EXPECT_EQ(Get(copy, &SODcmSR::GetConclusion), L"Normal study.");  // a failed create leaves it alone
  std::string text;
  EXPECT_FALSE(SODcmUtil::GetSRContentUTF8(nullptr, text));
}

TEST(DicomSr, ReportPagesAreDrawnAsTheLayoutCutsThem) {
  orvanta::test::EnsureQtApp();
  auto dir = MakeTempDir("srpages");
  fx::SrOptions options;
  options.finding.clear();
  for (int i = 0; i < 120; ++i) options.finding += "Line " + std::to_string(i) + " of a long finding.\n";
  SODcmSR sr;
  ASSERT_TRUE(sr.LoadFile(fx::WriteBasicTextSr(dir, options).c_str()));
  std::string text;
  ASSERT_TRUE(SODcmUtil::GetSRContentUTF8(sr.GetDataset(), text));
  auto pages = SODcmUtil::GetSRPages(text);
  ASSERT_GE(pages.size(), 3u);
  std::wstring joined;
  for (const auto& page : pages) joined += page;
  EXPECT_EQ(SOUtil::W2UTF8Str(joined.c_str()), text);  // nothing lost or repeated between pages
  for (size_t k = 0; k < pages.size(); ++k) {
    DcmImageInputData page;
    ASSERT_TRUE(SODcmUtil::GetImagePixelDataOfSR(sr.GetDataset(), page, static_cast<int>(k))) << k;
    ASSERT_EQ(page.type, DCM_PIXEL_GRAY16);
    ASSERT_EQ(page.columns, 728);
    ASSERT_EQ(page.rows, 964);
    const auto* values = reinterpret_cast<const int16_t*>(page.data.data);
    int dark = 0;
    for (int i = 0; i < 728 * 964; ++i) dark += values[i] < 128;
    EXPECT_GT(dark, 500) << "page " << k << " shows text";
    EXPECT_EQ(values[963 * 728 + 727], 255);
  }
  DcmImageInputData none;
  EXPECT_FALSE(SODcmUtil::GetImagePixelDataOfSR(sr.GetDataset(), none, static_cast<int>(pages.size())));
}
