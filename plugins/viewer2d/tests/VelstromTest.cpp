// The tag viewer: what it lists of a file, and the search.

#include <gtest/gtest.h>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>

#include "DicomFixtures.h"
#include "SODcmFile.h"
#include "TagRows.h"
#include "TestSupport.h"
#include "UITestDriver.h"
#include "VelstromWnd.h"

using namespace DuiLib;
namespace fs = std::filesystem;

namespace {

// A CT slice with a Chinese name (in its own character set) and one sequence.
fs::path TaggedFile() {
  orvanta::fixtures::CtSeriesOptions options;
  options.slices = 1;
  options.rows = options.columns = 8;
  const fs::path file = orvanta::fixtures::WriteCtSeries(orvanta::test::MakeTempDir("tags"), options).files[0];
  SODcmFile dcm;
  EXPECT_TRUE(dcm.LoadFile(file.c_str(), true));
  dcm.GetDataset()->SetString(0x00080005, "ISO_IR 192");
  dcm.GetDataset()->SetString(0x00100010, "李^四");
  EXPECT_TRUE(dcm.SaveFile(file.c_str()));
  // A sequence item with one code.
  orvanta::test::RunCommand("dcmodify -nb -i '(0008,1032)[0].(0008,0100)=CODE7' '" + file.string() + "'");
  return file;
}

const TagRow* Find(const std::vector<TagRow>& rows, const std::string& tag) {
  for (const auto& r : rows)
    if (r.tag == tag) return &r;
  return nullptr;
}

}  // namespace

TEST(Velstrom, ListsMetaThenDatasetWithSequencesIndentedAndTextsInUtf8) {
  const fs::path file = TaggedFile();
  std::vector<TagRow> rows;
  ASSERT_TRUE(ReadTagRows(file.string(), rows));
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.front().tag.substr(0, 5), "(0002");
  const TagRow* name = Find(rows, "(0010,0010)");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->vr, "PN");
  EXPECT_EQ(name->name, "PatientName");
  EXPECT_EQ(name->value, "李^四");
  const TagRow* pixels = Find(rows, "(7FE0,0010)");
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(pixels->value, "(128 bytes)");
  const TagRow* code = Find(rows, "(0008,0100)");
  ASSERT_NE(code, nullptr);
  EXPECT_EQ(code->depth, 1);
  EXPECT_EQ(code->value, "CODE7");
  EXPECT_EQ(Find(rows, "(0008,1032)")->depth, 0);

  struct {
    const char* query;
    const char* tag;  // a row that must match
    bool matches;
  } cases[] = {{"", "(0010,0010)", true},       {"patientname", "(0010,0010)", true},
               {"0010,0010", "(0010,0010)", true}, {"李", "(0010,0010)", true},
               {"code7", "(0008,0100)", true},   {"zzz", "(0010,0010)", false}};
  for (const auto& c : cases) EXPECT_EQ(RowMatches(*Find(rows, c.tag), c.query), c.matches) << c.query;
  EXPECT_FALSE(ReadTagRows((file.parent_path() / "missing.dcm").string(), rows));
}

TEST(Velstrom, TheCharacterSetRowShowsTheFilesOwnValue) {
  struct {
    const char* charset;  // null: the file has none
    const char* nameBytes;
    const char* shownName;
  } cases[] = {{"GB18030", "\xC0\xEE^\xCB\xC4", "李^四"},
               {"ISO_IR 100", "M\xFCller^Hans", "Müller^Hans"},
               {nullptr, "Plain^Name", "Plain^Name"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.charset ? c.charset : "none");
    orvanta::fixtures::CtSeriesOptions options;
    options.slices = 1;
    options.rows = options.columns = 8;
    const fs::path file = orvanta::fixtures::WriteCtSeries(orvanta::test::MakeTempDir("charset"), options).files[0];
    SODcmFile dcm;
    ASSERT_TRUE(dcm.LoadFile(file.c_str(), true));
    DcmDataset* dataset = dcm.GetFileFormat()->getDataset();
    if (c.charset)
      dataset->putAndInsertString(DCM_SpecificCharacterSet, c.charset);
    else
      delete dataset->remove(DCM_SpecificCharacterSet);
    dataset->putAndInsertString(DCM_PatientName, c.nameBytes);
    ASSERT_TRUE(dcm.SaveFile(file.c_str()));

    std::vector<TagRow> rows;
    ASSERT_TRUE(ReadTagRows(file.string(), rows));
    const TagRow* charset = Find(rows, "(0008,0005)");
    if (c.charset) {
      ASSERT_NE(charset, nullptr);
      EXPECT_EQ(charset->value, c.charset);
    } else {
      EXPECT_EQ(charset, nullptr);
    }
    EXPECT_EQ(Find(rows, "(0010,0010)")->value, c.shownName);
  }
}

TEST(Velstrom, TheWindowNarrowsItsListAsTheSearchIsTyped) {
  orvanta::test::EnsureQtApp();
  CPaintManagerUI::SetResourcePath(
      SOWin::FromUtf8((orvanta::test::ProgramFolder() / "skin").string() + "/").c_str());
  VelstromWnd window(TaggedFile().string());
  ASSERT_NE(window.Create(nullptr, L"Velstrom", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 0, 0, 0), nullptr);
  auto* list = dynamic_cast<CListUI*>(window.GetPaintManager()->FindControl(L"tagList"));
  ASSERT_NE(list, nullptr);
  const int all = list->GetCount();
  EXPECT_GT(all, 20);
  ASSERT_TRUE(UITest::SetText(*window.GetPaintManager(), L"searchEdit", L"patient"));
  EXPECT_GT(list->GetCount(), 1);
  EXPECT_LT(list->GetCount(), all);
  for (int i = 0; i < list->GetCount(); ++i) {
    auto* row = dynamic_cast<CListTextElementUI*>(list->GetItemAt(i));
    const std::wstring text = std::wstring(row->GetText(0)) + row->GetText(2) + row->GetText(3);
    EXPECT_NE(SOWin::ToUtf8(text).find("atient"), std::string::npos) << SOWin::ToUtf8(text);
  }
  DestroyWindow(window.GetHWND());
}
