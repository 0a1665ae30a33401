#include "ReportTestUtil.h"
#include "SODcmSR.h"
#include "SOReportUIHandler.h"
#include "TestSupport.h"
#include "UITestDriver.h"
#include "UIlib.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace DuiLib;

namespace {

// A page with every kind of bound control the binding knows, and some it must leave alone.
const wchar_t* kPage =
    LR"(<Window size="600,800"><VerticalLayout width="600" height="800" template_name="T" template_pagesize="A4">
  <HorizontalLayout height="30">
    <Label text="Name"/>
    <Edit name="name" userdata="0010,0010"/>
    <Label name="nameAgain" userdata="0010|0010"/>
    <Label name="sexLabel" userdata="0010,0040"/>
    <Combo name="sex" userdata="0010,0040">
      <ListLabelElement text="Male" userdata="M"/>
      <ListLabelElement text="Female" userdata="F"/>
    </Combo>
    <Edit name="age" userdata="0010,1010"/>
    <Combo name="ageUnit" userdata="10,1010">
      <ListLabelElement text="years" userdata="Y"/>
      <ListLabelElement text="months" userdata="M"/>
    </Combo>
  </HorizontalLayout>
  <HorizontalLayout height="30">
    <DateTime name="studyDate" userdata="0008,0020"/>
    <DateTime name="birthDate" userdata="0010,0030"/>
    <Combo name="plain" userdata="0008,1030">
      <ListLabelElement text="One" userdata="1"/>
    </Combo>
    <Label name="modality" userdata="0008,0060"/>
    <Label name="verifiedOn" userdata="0040,A030"/>
    <Edit name="caption"/>
  </HorizontalLayout>
  <Picture name="pic0" height="40"/>
  <TileLayout height="40"><Edit name="inTile" userdata="0010,0010"/><Picture name="picInTile"/></TileLayout>
  <Container height="200">
    <VerticalLayout>
      <RichEdit name="finding" userdata="0721,1001"/>
      <Picture name="pic1" height="40"/>
    </VerticalLayout>
  </Container>
</VerticalLayout></Window>)";

struct Reported : ISOReportUIHandlerCallback {
  void OnControlValueChanged(unsigned int tag, const wchar_t* text) override { seen.emplace_back(tag, text); }
  std::vector<std::pair<unsigned int, std::wstring>> seen;
};

// The page in a shown window, so the user's edits come as real input.
class PageWindow : public WindowImplBase {
 protected:
  CDuiString GetSkinFolder() override { return L""; }
  CDuiString GetSkinFile() override { return kPage; }
  const wchar_t* GetWindowClassName() const override { return L"ReportPageWindow"; }
};

class ReportUIHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orvanta::test::EnsureQtApp();
    ASSERT_NE(window_.Create(nullptr, L"", WS_POPUP | WS_VISIBLE, 0, 0, 600, 800), nullptr);
    root_ = static_cast<CContainerUI*>(pm_.GetRoot());
    ASSERT_NE(root_, nullptr);
    UITest::ProcessEvents(0);
    SODcmDataset* ds = sr_.GetDataset();
    ds->SetString(0x00100010, L"Zhang^San 张三");
    ds->SetString(0x00100040, "F");
    ds->SetString(0x00101010, "045Y");
    ds->SetString(0x00080020, "20240318");
    ds->SetString(0x00100030, "1979-13-45");
    ds->SetString(0x0040A030, "20261211133956");
    sr_.SetAcquisitionModality(L"CT");
    sr_.SetFinding(L"No acute findings. 未见异常。");
    handler_.RegisterCallback(&reported_);
  }

  CControlUI* Find(const wchar_t* name) { return pm_.FindControl(name); }
  std::wstring Text(const wchar_t* name) { return Find(name)->GetText().str(); }
  int Selected(const wchar_t* name) { return static_cast<CComboUI*>(Find(name))->GetCurSel(); }

  PageWindow window_;
  CPaintManagerUI& pm_ = window_.m_PaintManager;
  CContainerUI* root_ = nullptr;
  SODcmSR sr_;
  SOReportUIHandler handler_;
  Reported reported_;
};

}  // namespace

TEST(ReportTag, ParsesGroupOneSeparatorAndElement) {
  const std::pair<const wchar_t*, unsigned long> cases[] = {
      {L"0010,0010", 0x00100010}, {L"0010|0010", 0x00100010}, {L"10,10", 0x00100010},
      {L" 0x10,0x10", 0x00100010}, {L"(0010,0010)", 0x00000010}, {L"0721,1001", 0x07211001},
      {L"0010", 0x00100000},  // nothing after the group: the text's end is not read past
      {L"1FFFF,0010", 0xFFFF0010},
  };
  for (const auto& [text, expected] : cases) {
    unsigned long tag = 0;
    EXPECT_TRUE(SOReportUIHandler::ParseTag(text, tag)) << testing::PrintToString(std::wstring(text));
    EXPECT_EQ(tag, expected) << testing::PrintToString(std::wstring(text));
  }
  unsigned long tag = 7;
  EXPECT_FALSE(SOReportUIHandler::ParseTag(L"", tag));
  EXPECT_FALSE(SOReportUIHandler::ParseTag(nullptr, tag));
}

TEST_F(ReportUIHandlerTest, CallsBeforeAttachingFail) {
  std::wstring text;
  EXPECT_FALSE(handler_.SetDcmSR(&sr_));
  EXPECT_FALSE(handler_.SetValue(0x00100010, L"x"));
  EXPECT_FALSE(handler_.GetValue(0x00100010, text));
  EXPECT_FALSE(handler_.EnableUI(false));
  EXPECT_FALSE(handler_.ClearUI());
  EXPECT_EQ(handler_.GetImageBoxCount(), 0);
}

TEST_F(ReportUIHandlerTest, FillShowsEveryBoundControlByItsRuleAndReportsNothing) {
  handler_.InitUI(root_, true);
  Find(L"inTile")->SetText(L"untouched");
  ASSERT_TRUE(handler_.SetDcmSR(&sr_));
  EXPECT_EQ(Text(L"name"), L"Zhang^San 张三");
  EXPECT_EQ(Text(L"nameAgain"), L"Zhang^San 张三");  // a fill sets every control of a tag
  EXPECT_EQ(Text(L"sexLabel"), L"");                 // labels take no sex or age
  EXPECT_EQ(Selected(L"sex"), 1);
  EXPECT_EQ(Text(L"age"), L"45");
  EXPECT_EQ(Selected(L"ageUnit"), 0);
  EXPECT_EQ(Text(L"studyDate"), L"2024-03-18");
  EXPECT_EQ(Text(L"birthDate"), L"1979-13-45");  // no date: shown as it stands
  EXPECT_EQ(Text(L"modality"), L"CT");           // the report's modality, not "SR"
  EXPECT_EQ(Text(L"verifiedOn"), L"2026-12-11 13:39:56");
  EXPECT_EQ(Text(L"finding"), L"No acute findings. 未见异常。");
  EXPECT_EQ(Text(L"inTile"), L"untouched");  // inside a tile layout: not part of the page
  EXPECT_TRUE(reported_.seen.empty());

  // A stored sex code without an item selects nothing; a missing attribute empties the control.
  sr_.GetDataset()->SetString(0x00100040, "O");
  sr_.GetDataset()->DeleteAttribute(0x00100010);
  ASSERT_TRUE(handler_.SetDcmSR(&sr_));
  EXPECT_EQ(Selected(L"sex"), -1);
  EXPECT_EQ(Text(L"name"), L"");
  EXPECT_TRUE(reported_.seen.empty());
}

TEST_F(ReportUIHandlerTest, WritesAndReadsReachTheFirstControlOfATag) {
  handler_.InitUI(root_, false);
  handler_.SetDcmSR(&sr_);
  EXPECT_TRUE(handler_.SetValue(0x00100010, L"Li^Si"));
  EXPECT_EQ(Text(L"name"), L"Li^Si");
  EXPECT_EQ(Text(L"nameAgain"), L"Zhang^San 张三");
  std::wstring text;
  EXPECT_TRUE(handler_.GetValue(0x00100010, text));
  EXPECT_EQ(text, L"Li^Si");
  EXPECT_TRUE(handler_.SetValue(0x00101010, L"007M"));
  EXPECT_EQ(Text(L"age"), L"7");
  EXPECT_EQ(Selected(L"ageUnit"), 1);
  EXPECT_TRUE(handler_.SetValue(0x00080020, L"20230102"));
  EXPECT_EQ(Text(L"studyDate"), L"2023-01-02");
  EXPECT_FALSE(handler_.SetValue(0x00100020, L"no control"));
  EXPECT_FALSE(handler_.SetValue(0x00100010, nullptr));
  EXPECT_FALSE(handler_.GetValue(0x00100020, text));
}

TEST_F(ReportUIHandlerTest, UserChangesAreReportedByTheirRules) {
  handler_.InitUI(root_, true);
  handler_.SetDcmSR(&sr_);
  const std::vector<std::pair<unsigned int, std::wstring>> none;

  // Typing reports the text after every key; what counts is what the last key left.
  using Report = std::pair<unsigned int, std::wstring>;
  auto last = [&] { return reported_.seen.empty() ? Report{} : reported_.seen.back(); };
  ASSERT_TRUE(UITest::SetText(pm_, L"name", L"Wang^Wu"));
  EXPECT_EQ(last(), Report(0x00100010, L"Wang^Wu"));
  ASSERT_TRUE(UITest::SetText(pm_, L"age", L"3"));
  EXPECT_EQ(last(), Report(0x00101010, L"003Y")) << "the joined age, not the number";
  ASSERT_TRUE(UITest::Focus(pm_, L"studyDate"));
  reported_.seen.clear();
  // Clicking the unit takes the focus from the date, which then reports its DICOM form.
  ASSERT_TRUE(UITest::SelectItem(pm_, L"ageUnit", 1));
  ASSERT_TRUE(UITest::SelectItem(pm_, L"sex", 0));    // the item's code, not its text
  ASSERT_TRUE(UITest::SelectItem(pm_, L"plain", 0));  // plain combos feed nothing
  EXPECT_EQ(reported_.seen,
            (std::vector<Report>{{0x00080020, L"20240318"}, {0x00101010, L"003M"}, {0x00100040, L"M"}}));

  // A rich edit reports every text set: the binding leaves an equal text alone.
  reported_.seen.clear();
  EXPECT_TRUE(handler_.SetValue(0x07211001, L"No acute findings. 未见异常。"));
  EXPECT_EQ(reported_.seen, none);
  handler_.UnRegisterCallback(&reported_);
  ASSERT_TRUE(UITest::SetText(pm_, L"name", L"Zhao^Liu"));
  EXPECT_EQ(reported_.seen, none);
}

TEST_F(ReportUIHandlerTest, ClearEnableAndImageBoxes) {
  handler_.InitUI(root_, false);
  ASSERT_EQ(handler_.GetImageBoxCount(), 2);  // pic0, pic1; not the one in the tile layout
  std::vector<unsigned char> png = reporttest::PngBytes(8, 4);
  EXPECT_TRUE(handler_.SetImageBox(1, png.data(), long(png.size())));
  EXPECT_TRUE(static_cast<CPictureUI*>(Find(L"pic1"))->HasPicture());
  EXPECT_FALSE(static_cast<CPictureUI*>(Find(L"pic0"))->HasPicture());
  EXPECT_FALSE(handler_.SetImageBox(2, png.data(), long(png.size())));
  EXPECT_FALSE(handler_.SetImageBox(0, nullptr, 0));

  handler_.SetDcmSR(&sr_);
  ASSERT_TRUE(handler_.ClearUI());
  EXPECT_EQ(Text(L"name"), L"");
  EXPECT_EQ(Text(L"finding"), L"");
  EXPECT_EQ(Selected(L"sex"), -1);
  EXPECT_TRUE(static_cast<CPictureUI*>(Find(L"pic1"))->HasPicture());

  ASSERT_TRUE(handler_.EnableUI(false));
  EXPECT_FALSE(Find(L"name")->IsEnabled());
  EXPECT_FALSE(Find(L"sex")->IsEnabled());
  EXPECT_FALSE(Find(L"finding")->IsEnabled());
  EXPECT_TRUE(Find(L"modality")->IsEnabled());
  EXPECT_TRUE(Find(L"inTile")->IsEnabled());
}

TEST_F(ReportUIHandlerTest, ImagesOfTheDocumentFillTheBoxesInOrder) {
  handler_.InitUI(root_, false);
  std::vector<unsigned char> png = reporttest::PngBytes(6, 3);
  SODcmDataset item;
  ASSERT_TRUE(sr_.GetDataset()->GetOrCreateSequenceItem(0x00081140, 1, item));
  ASSERT_TRUE(item.SetUint8Array(0x00420011, png.data(), static_cast<unsigned long>(png.size())));
  ASSERT_TRUE(handler_.SetDcmSR(&sr_));
  EXPECT_FALSE(static_cast<CPictureUI*>(Find(L"pic0"))->HasPicture());  // item 0 holds nothing
  EXPECT_EQ(static_cast<CPictureUI*>(Find(L"pic1"))->GetPictureSize().cx, 6);
  EXPECT_FALSE(handler_.SetDcmSR(nullptr));
}
