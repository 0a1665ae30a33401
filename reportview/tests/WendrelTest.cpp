#include "IWendrel.h"
#include "ReportTestUtil.h"
#include "SODcmSR.h"
#include "SOGdi.h"
#include "SOPrintWindow.h"
#include "SOWinQt.h"
#include "TestSupport.h"
#include "UITestDriver.h"

#include <gtest/gtest.h>

#include <QImage>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Listener : IWendrelCallback {
  void OnValueChanged(ISOReport*, DWORD tag, const wchar_t* text) override {
    events.push_back(L"value " + std::to_wstring(tag) + L" " + text);
  }
  void OnActiveReportChanged(ISOReport* r) override { events.push_back(L"active " + Name(r)); }
  void OnReportAdded(ISOReport* r) override { events.push_back(L"added " + Name(r)); }
  void OnReportClosed(ISOReport* r) override { events.push_back(L"closed " + Name(r)); }
  void OnReportCompleted(ISOReport* r) override { events.push_back(L"completed"); }
  void OnReportVerified(ISOReport* r) override { events.push_back(L"verified"); }
  void OnModifiedChanged(ISOReport* r) override { events.push_back(L"modified"); }
  void OnTemplateLoaded(ISOReport* r) override { events.push_back(L"template"); }
  // Pages are known by their patient's name.
  static std::wstring Name(ISOReport* r) {
    std::wstring name;
    r->GetValue(0x00100010, name);
    return name;
  }
  std::vector<std::wstring> events;
};

std::string Text(ISOReport* r, DWORD tag) {
  std::string value;
  r->GetSR()->GetDataset()->GetString(tag, value);
  return value;
}

class WendrelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reporttest::UseRuntimeSkins();
    host_ = std::make_unique<reporttest::HostWindow>();
    wendrel_ = CreateWendrel();
    ASSERT_NE(wendrel_->Create(*host_, 0, 0, 900, 700), nullptr);
    wendrel_->SetTemplatePath(reporttest::DefaultTemplate().c_str());
    wendrel_->RegisterCallback(&listener_);
    dir_ = orvanta::test::MakeTempDir("wendrel");
  }
  void TearDown() override { ReleaseWendrel(wendrel_); }

  // A report named `name`, made from a fresh page and opened as a document.
  ISOReport* Open(const wchar_t* name) {
    SODcmSR sr;
    ISOReport* scratch = wendrel_->NewReportFromReport(nullptr);
    EXPECT_EQ(scratch, nullptr);
    sr.GetDataset()->SetString(0x00080060, "SR");
    sr.GetDataset()->SetString(0x00080018, "1.2.3." + std::to_string(++opened_));
    sr.GetDataset()->SetString(0x00100010, name);
    return wendrel_->OpenReport(&sr);
  }

  std::unique_ptr<reporttest::HostWindow> host_;
  IWendrel* wendrel_ = nullptr;
  Listener listener_;
  fs::path dir_;
  int opened_ = 0;
};

}  // namespace

TEST_F(WendrelTest, OpeningAReportTwiceGivesTheSamePageAndOnlySrIsTaken) {
  const fs::path sr = orvanta::test::PydicomFile("test-SR.dcm");
  if (sr.empty()) GTEST_SKIP() << "pydicom test files missing";
  ISOReport* first = wendrel_->OpenReportFile(sr.string().c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(first->IsModified());
  first->SetValue(0x07211001, L"unsaved change");
  EXPECT_EQ(wendrel_->OpenReportFile(sr.string().c_str()), first);
  std::wstring finding;
  EXPECT_TRUE(first->GetValue(0x07211001, finding));
  EXPECT_EQ(finding, L"unsaved change");  // not reloaded
  EXPECT_EQ(wendrel_->GetReportCount(), 1);

  SODcmSR lower;
  lower.GetDataset()->SetString(0x00080060, "sr");
  lower.GetDataset()->SetString(0x00080018, "1.2.9");
  EXPECT_EQ(wendrel_->OpenReport(&lower), nullptr);
  EXPECT_EQ(wendrel_->OpenReport(nullptr), nullptr);
  EXPECT_EQ(wendrel_->OpenReportFile((dir_ / "missing.dcm").string().c_str()), nullptr);
  EXPECT_EQ(wendrel_->GetReportCount(), 1);

  // The page holds a copy: the caller's document may change.
  SODcmSR mine;
  mine.GetDataset()->SetString(0x00080060, "SR");
  mine.GetDataset()->SetString(0x00080018, "1.2.10");
  mine.GetDataset()->SetString(0x00100010, L"Before");
  ISOReport* copy = wendrel_->OpenReport(&mine);
  ASSERT_NE(copy, nullptr);
  mine.GetDataset()->SetString(0x00100010, L"After");
  EXPECT_EQ(Text(copy, 0x00100010), "Before");
}

TEST_F(WendrelTest, ANewReportFromAnImageCarriesItsPatientAndStudy) {
  const fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  if (ct.empty()) GTEST_SKIP() << "pydicom test files missing";
  ISOReport* report = wendrel_->NewReportFromImage(ct.string().c_str());
  ASSERT_NE(report, nullptr);
  SODcmFile image;
  ASSERT_TRUE(image.LoadFile(ct.string().c_str()));
  for (DWORD tag : {0x0020000Du, 0x00100010u, 0x00100020u, 0x00080020u}) {
    std::string expected;
    image.GetDataset()->GetString(tag, expected);
    EXPECT_EQ(Text(report, tag), expected) << std::hex << tag;
  }
  EXPECT_EQ(Text(report, 0x00080005), "ISO_IR 192");
  EXPECT_EQ(Text(report, 0x00200011), "8001");
  EXPECT_EQ(Text(report, 0x00200013), "1");
  EXPECT_EQ(Text(report, 0x0040A491), "PARTIAL");
  EXPECT_EQ(Text(report, 0x0040A493), "UNVERIFIED");
  EXPECT_TRUE(report->IsModified());
  EXPECT_EQ(wendrel_->GetActiveReport(), report);

  // Two new pages never share UIDs.
  ISOReport* second = wendrel_->NewReportFromImage(ct.string().c_str());
  ASSERT_NE(second, nullptr);
  EXPECT_NE(Text(second, 0x00080018), Text(report, 0x00080018));
  EXPECT_NE(Text(second, 0x0020000E), Text(report, 0x0020000E));

  SODcmSR noStudy;
  noStudy.GetDataset()->SetString(0x00100010, "x");
  ASSERT_TRUE(noStudy.SaveFile((dir_ / "nostudy.dcm").string().c_str(), false));
  EXPECT_EQ(wendrel_->NewReportFromImage((dir_ / "nostudy.dcm").string().c_str()), nullptr);
  EXPECT_EQ(wendrel_->GetReportCount(), 2);
}

TEST_F(WendrelTest, CompletedVerifiedAndSavedReportIsAValidSr) {
  const fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  if (ct.empty()) GTEST_SKIP() << "pydicom test files missing";
  ISOReport* report = wendrel_->NewReportFromImage(ct.string().c_str());
  ASSERT_NE(report, nullptr);
  ASSERT_TRUE(report->SetValue(0x07211001, L"No acute abnormality. 未见急性异常。"));
  ASSERT_TRUE(report->SetValue(0x07211002, L"Normal study."));
  ASSERT_TRUE(report->SetValue(0x07211004, L"Wang^Wei"));
  ASSERT_TRUE(report->SetValue(0x0040A075, L"Li^Na"));
  ASSERT_TRUE(report->SetValue(0x0040A027, L"Radiology"));
  listener_.events.clear();
  EXPECT_TRUE(report->Complete());
  EXPECT_TRUE(report->Verify());
  EXPECT_TRUE(report->Complete());  // done already: nothing more is told
  EXPECT_TRUE(report->Verify());
  EXPECT_EQ(listener_.events, (std::vector<std::wstring>{L"completed", L"verified"}));
  EXPECT_TRUE(report->IsCompleted());
  EXPECT_TRUE(report->IsVerified());

  const fs::path saved = dir_ / "report.dcm";
  ASSERT_TRUE(report->GetSR()->SaveFile(saved.string().c_str(), false));
  std::string dump = dir_ / "dump.txt";
  ASSERT_EQ(orvanta::test::RunCommand("dcmdump +U8 " + saved.string() + " > " + dump), 0);
  const std::string text = orvanta::test::FileBytes(dump);
  EXPECT_NE(text.find("COMPLETE"), std::string::npos);
  EXPECT_NE(text.find("VERIFIED"), std::string::npos);
  EXPECT_NE(text.find("Li^Na"), std::string::npos);
  EXPECT_NE(text.find("Wang^Wei"), std::string::npos);
  const std::string verify = dir_ / "dciodvfy.txt";
  orvanta::test::RunCommand("dciodvfy " + saved.string() + " > " + verify + " 2>&1");
  const std::string findings = orvanta::test::FileBytes(verify);
  EXPECT_EQ(findings.find("Error"), std::string::npos) << findings;
}

TEST_F(WendrelTest, ACopyOfAVerifiedReportStartsAgain) {
  ISOReport* source = Open(L"Source");
  ASSERT_NE(source, nullptr);
  source->SetValue(0x07211001, L"Finding text");
  source->GetSR()->GetDataset()->SetString(0x00080023, "20200101");
  ASSERT_TRUE(source->Verify());
  ISOReport* copy = wendrel_->NewReportFromReport(source);
  ASSERT_NE(copy, nullptr);
  EXPECT_FALSE(copy->IsCompleted());
  EXPECT_FALSE(copy->IsVerified());
  EXPECT_TRUE(copy->IsModified());
  EXPECT_NE(Text(copy, 0x00080018), Text(source, 0x00080018));
  EXPECT_NE(Text(copy, 0x0020000E), Text(source, 0x0020000E));
  EXPECT_EQ(Text(copy, 0x00200011), "8001");
  EXPECT_EQ(Text(copy, 0x00080023), "20200101");
  std::wstring finding;
  EXPECT_TRUE(copy->GetValue(0x07211001, finding));
  EXPECT_EQ(finding, L"Finding text");
}

TEST_F(WendrelTest, ClosingTheActivePageActivatesItsNeighbour) {
  ISOReport* a = Open(L"A");
  ISOReport* b = Open(L"B");
  ISOReport* c = Open(L"C");
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(wendrel_->GetActiveReport(), c);
  listener_.events.clear();
  wendrel_->CloseReportAt(2);
  EXPECT_EQ(wendrel_->GetActiveReport(), b);
  EXPECT_EQ(listener_.events, (std::vector<std::wstring>{L"closed C", L"active B"}));
  wendrel_->ActivateReport(a);
  wendrel_->ActivateReport(a);  // active already: nothing told
  listener_.events.clear();
  wendrel_->CloseReport(b);  // not the active one
  EXPECT_EQ(wendrel_->GetActiveReport(), a);
  EXPECT_EQ(wendrel_->IndexOfReport(b), -1);
  wendrel_->CloseReportAt(5);
  wendrel_->CloseReportAt(0);
  EXPECT_EQ(wendrel_->GetActiveReport(), nullptr);
  EXPECT_EQ(listener_.events, (std::vector<std::wstring>{L"closed B", L"closed A"}));
  EXPECT_EQ(wendrel_->GetReport(0), nullptr);
}

TEST_F(WendrelTest, ValuesGoToTheDocumentAndThePage) {
  ISOReport* report = Open(L"Page");
  ASSERT_NE(report, nullptr);
  report->SetModified(false);
  listener_.events.clear();
  ASSERT_TRUE(wendrel_->SetValue(0x07211001, L"Finding"));
  std::wstring text;
  ASSERT_TRUE(wendrel_->GetValue(0x07211001, text));
  EXPECT_EQ(text, L"Finding");
  EXPECT_FALSE(report->GetSR()->GetDataset()->TagExists(0x07211001));  // through the SR's content
  EXPECT_EQ(listener_.events, (std::vector<std::wstring>{L"value " + std::to_wstring(0x07211001) + L" Finding",
                                                         L"modified"}));
  // The same text again still counts as a change.
  report->SetModified(false);
  EXPECT_TRUE(report->SetValue(0x07211001, L"Finding"));
  EXPECT_TRUE(report->IsModified());
  report->SetModified(false);
  listener_.events.clear();
  report->SetModified(false);
  EXPECT_TRUE(listener_.events.empty());

  // A bad template changes nothing.
  const std::string bad = (dir_ / "bad.xml").string();
  std::ofstream(bad) << "not a layout";
  EXPECT_FALSE(report->LoadTemplate(bad.c_str()));
  EXPECT_FALSE(report->LoadTemplate(nullptr));
  EXPECT_EQ(report->GetImageBoxCount(), 2);
  EXPECT_FALSE(wendrel_->SetTemplatePath((dir_ / "none.xml").string().c_str()));
  EXPECT_TRUE(wendrel_->ApplyTemplate(reporttest::DefaultTemplate().c_str()));
}

TEST_F(WendrelTest, ImagesAreStoredAsJpegInTheirItem) {
  ISOReport* report = Open(L"Images");
  ASSERT_NE(report, nullptr);
  ASSERT_EQ(report->GetImageBoxCount(), 2);
  QImage picture(64, 48, QImage::Format_RGB32);
  picture.fill(qRgb(200, 30, 30));
  HBITMAP bitmap = SOWin::BitmapFromImage(picture);
  EXPECT_FALSE(report->SetImage(2, bitmap));
  EXPECT_FALSE(report->SetImage(0, nullptr));
  report->SetModified(false);
  ASSERT_TRUE(report->SetImage(1, bitmap));
  EXPECT_TRUE(report->IsModified());
  SODcmDataset item0, item1;
  ASSERT_TRUE(report->GetSR()->GetDataset()->GetSequenceItem(0x00081140, 0, item0));
  ASSERT_TRUE(report->GetSR()->GetDataset()->GetSequenceItem(0x00081140, 1, item1));
  const unsigned char* bytes = nullptr;
  unsigned long length = 0;
  ASSERT_TRUE(item1.GetUint8Array(0x00420011, bytes, length));
  ASSERT_GT(length, 2u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);
  DeleteObject(bitmap);
}

TEST_F(WendrelTest, ZoomAndFit) {
  ISOReport* a = Open(L"A");
  ISOReport* b = Open(L"B");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(wendrel_->GetAutoFit(), 1);
  const float fitted = wendrel_->GetZoom();
  EXPECT_GT(fitted, 0.3f);
  EXPECT_LT(fitted, 1.0f);  // a 1123 pixel page in a 700 pixel window
  wendrel_->SetZoom(2.0f);
  EXPECT_FLOAT_EQ(wendrel_->GetZoom(), 2.0f);
  EXPECT_EQ(wendrel_->GetAutoFit(), 0);
  wendrel_->ActivateReport(a);
  wendrel_->ActivateReport(b);
  EXPECT_FLOAT_EQ(wendrel_->GetZoom(), fitted);  // the stored fit flag fits it again
}

TEST_F(WendrelTest, PrintingGivesOnePageAndRenderingFitsItsBounds) {
  EXPECT_FALSE(wendrel_->Print("Wendrel PDF"));  // no report open
  SOWin::AddPdfPrinterForTest("Wendrel PDF", dir_.string());
  ISOReport* report = Open(L"Printed 打印");
  ASSERT_NE(report, nullptr);
  report->SetValue(0x07211001, L"Printed finding");
  EXPECT_FALSE(wendrel_->Print(nullptr));
  EXPECT_FALSE(wendrel_->Print("No such printer"));
  ASSERT_TRUE(wendrel_->Print("Wendrel PDF"));
  const std::string pdf = orvanta::test::FileBytes(dir_ / "SOPRINTNAME.pdf");
  EXPECT_EQ(pdf.rfind("%PDF", 0), 0u);
  EXPECT_NE(pdf.find("/Count 1"), std::string::npos);

  const std::string page = reporttest::WriteTemplate(
      dir_, "page.xml", R"(<VerticalLayout width="800" height="1200" bkcolor="#FF336699"/>)");
  const std::string flat = reporttest::WriteTemplate(dir_, "flat.xml", R"(<VerticalLayout width="800"/>)");
  struct Bounds {
    int maxWidth, maxHeight, width, height;
  };
  for (const Bounds& b : {Bounds{200, 10000, 200, 300}, Bounds{200, 100, 66, 100}, Bounds{0, 0, 800, 1200},
                          Bounds{100000, 0, 800, 1200}, Bounds{100000, 100000, 5461, 8192}}) {
    int width = 0, height = 0;
    HBITMAP bitmap = wendrel_->RenderTemplate(page.c_str(), &width, &height, b.maxWidth, b.maxHeight);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(width, b.width) << b.maxWidth << "x" << b.maxHeight;
    EXPECT_EQ(height, b.height) << b.maxWidth << "x" << b.maxHeight;
    EXPECT_EQ(SOWin::ImageOf(bitmap)->pixelColor(width / 2, height / 2).rgb(), qRgb(0x33, 0x66, 0x99));
    DeleteObject(bitmap);
  }
  int width = 0, height = 0;
  EXPECT_EQ(wendrel_->RenderTemplate(flat.c_str(), &width, &height, 0, 0), nullptr);
  EXPECT_EQ(wendrel_->RenderTemplate(nullptr, &width, &height, 0, 0), nullptr);
}

TEST_F(WendrelTest, APrintedPageFitsThePrintableAreaInBothDirections) {
  // A memory DC's printable area is the screen: make it wide and low, so only the height fits.
  const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SOWin::SetScreenForTest(RECT{0, 0, 2000, 561}, RECT{0, 0, 2000, 561});
  const std::string page = reporttest::WriteTemplate(
      dir_, "page.xml",
      R"(<VerticalLayout width="794" height="1123" bkcolor="#FF336699"><Control/><Control height="20" bkcolor="#FFFF0000"/></VerticalLayout>)");
  wendrel::SOPrintWindow printer;
  ASSERT_TRUE(printer.CreatePrintWindow());
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(nullptr, 1000, 700);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all{0, 0, 1000, 700};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SODcmSR sr;
  const bool printed = printer.PrintDocument(dc, &sr, page.c_str());
  SOWin::SetScreenForTest(screen, screen);
  ASSERT_TRUE(printed);
  EXPECT_EQ(GetPixel(dc, 100, 100), RGB(0x33, 0x66, 0x99));
  EXPECT_EQ(GetPixel(dc, 100, 555), RGB(0xFF, 0, 0));      // the page's foot is on the sheet
  EXPECT_EQ(GetPixel(dc, 100, 600), RGB(0xFF, 0xFF, 0xFF));  // and nothing lies below it
  EXPECT_EQ(GetPixel(dc, 420, 100), RGB(0xFF, 0xFF, 0xFF));  // 397 pixels wide: the width follows
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

TEST_F(WendrelTest, TheVerificationTimeIsOneValueForThePageAndTheDocument) {
  ISOReport* report = Open(L"Verified");
  ASSERT_NE(report, nullptr);
  ASSERT_TRUE(report->SetValue(0x0040A030, L"20240102120000"));
  std::wstring text;
  ASSERT_TRUE(report->GetValue(0x0040A030, text));
  EXPECT_EQ(text, L"20240102120000");
  EXPECT_EQ(Text(report, 0x0040A030), "20240102120000");  // where the page's controls read it
}
