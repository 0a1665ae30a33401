#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "DicomFixtures.h"
#include "SODate.h"
#include "SODcmFile.h"
#include "SOString.h"
#include "SOTime.h"
#include "SOUtil.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;
using orvanta::test::MakeTempDir;

namespace {

constexpr unsigned long kCharset = 0x00080005;
constexpr unsigned long kPatientName = 0x00100010;
constexpr unsigned long kImageType = 0x00080008;
constexpr unsigned long kRows = 0x00280010;
constexpr unsigned long kPixelSpacing = 0x00280030;
constexpr unsigned long kInstanceNumber = 0x00200013;
constexpr unsigned long kStudyDate = 0x00080020;
constexpr unsigned long kStudyTime = 0x00080030;
constexpr unsigned long kReferencedImages = 0x00081140;
constexpr unsigned long kReferencedSop = 0x00081155;

}  // namespace

TEST(DicomDataset, ReadsOfAbsentAttributesLeaveOutputsUntouched) {
  SODcmDataset ds;
  std::string s = "keep";
  std::wstring w = L"keep";
  SOString so("keep");
  int i = 7;
  unsigned short u = 7;
  double d = 7;
  SODate date{2001, 2, 3};
  SOTime time{4, 5, 6, 0};
  const char* vr = "keep";
  const unsigned char* bytes = nullptr;
  unsigned long count = 9;
  SODcmDataset item;
  EXPECT_FALSE(ds.GetString(kPatientName, s));
  EXPECT_FALSE(ds.GetString(kPatientName, w));
  EXPECT_FALSE(ds.GetString(kPatientName, so));
  EXPECT_FALSE(ds.GetInt32(kRows, i));
  EXPECT_FALSE(ds.GetUint16(kRows, u));
  EXPECT_FALSE(ds.GetFloat64(kRows, d));
  EXPECT_FALSE(ds.GetDate(kStudyDate, date));
  EXPECT_FALSE(ds.GetTime(kStudyTime, time));
  EXPECT_FALSE(ds.GetVR(kRows, vr));
  EXPECT_FALSE(ds.GetUint8Array(0x7FE00010, bytes, count));
  EXPECT_FALSE(ds.GetSequenceItem(kReferencedImages, 0, item));
  EXPECT_FALSE(ds.TagExists(kRows));
  EXPECT_EQ(s, "keep");
  EXPECT_EQ(w, L"keep");
  EXPECT_EQ(so, "keep");
  EXPECT_EQ(i, 7);
  EXPECT_EQ(u, 7);
  EXPECT_EQ(d, 7);
  EXPECT_EQ(date, (SODate{2001, 2, 3}));
  EXPECT_EQ(time, (SOTime{4, 5, 6, 0}));
  EXPECT_STREQ(vr, "keep");
  EXPECT_EQ(count, 9u);
  // A value index past the last value is absent too.
  ASSERT_TRUE(ds.SetString(kPixelSpacing, "0.5\\0.8"));
  EXPECT_FALSE(ds.GetFloat64(kPixelSpacing, d, 2));
  EXPECT_EQ(d, 7);
}

TEST(DicomDataset, IndexedReadsMatchAndFollowWrites) {
  SODcmDataset ds;
  ASSERT_TRUE(ds.SetString(kPatientName, "Doe^Jane"));
  ASSERT_TRUE(ds.SetString(kRows, "512"));
  ASSERT_TRUE(ds.SetString(kPixelSpacing, "0.5\\0.8"));
  std::string name;
  double spacing = 0;
  int rows = 0;
  {
    SODcmDataset::Indexed indexed(ds);
    EXPECT_TRUE(ds.GetString(kPatientName, name));
    EXPECT_TRUE(ds.GetFloat64(kPixelSpacing, spacing, 1));
    EXPECT_TRUE(ds.GetInt32(kRows, rows));
    EXPECT_FALSE(ds.GetInt32(kInstanceNumber, rows));
    // Writes replace or remove elements: later reads must not find the old ones.
    ASSERT_TRUE(ds.SetString(kPatientName, "Roe^Richard"));
    ASSERT_TRUE(ds.SetInt32(kInstanceNumber, 7));
    ASSERT_TRUE(ds.DeleteAttribute(kRows));
    SODcmDataset::Indexed again(ds);
    EXPECT_TRUE(ds.GetString(kPatientName, name));
    EXPECT_FALSE(ds.GetInt32(kRows, rows));
    EXPECT_TRUE(ds.GetInt32(kInstanceNumber, rows));
  }
  EXPECT_EQ(name, "Roe^Richard");
  EXPECT_EQ(spacing, 0.8);
  EXPECT_EQ(rows, 7);
}

TEST(DicomDataset, ValuesByTypeAndIndex) {
  SODcmDataset ds;
  ASSERT_TRUE(ds.SetString(kImageType, "ORIGINAL\\PRIMARY\\AXIAL"));
  ASSERT_TRUE(ds.SetString(kPixelSpacing, "0.5\\0.8"));
  ASSERT_TRUE(ds.SetUint16(kRows, 512));
  ASSERT_TRUE(ds.SetInt32(kInstanceNumber, -12));
  ASSERT_TRUE(ds.SetFloat64(0x00281052, -1024.123456789012));
  ASSERT_TRUE(ds.SetDate(kStudyDate, SODate{2024, 2, 29}));
  ASSERT_TRUE(ds.SetTime(kStudyTime, SOTime{23, 59, 1, 250}));
  std::string s;
  ASSERT_TRUE(ds.GetString(kImageType, s, 2));
  EXPECT_EQ(s, "AXIAL");
  const char* whole = nullptr;
  ASSERT_TRUE(ds.GetString(kImageType, whole));
  EXPECT_STREQ(whole, "ORIGINAL\\PRIMARY\\AXIAL");
  double spacing = 0;
  ASSERT_TRUE(ds.GetFloat64(kPixelSpacing, spacing, 1));
  EXPECT_DOUBLE_EQ(spacing, 0.8);
  unsigned short rows = 0;
  int rowsInt = 0;
  ASSERT_TRUE(ds.GetUint16(kRows, rows));
  ASSERT_TRUE(ds.GetInt32(kRows, rowsInt));
  EXPECT_EQ(rows, 512);
  EXPECT_EQ(rowsInt, 512);
  int number = 0;
  unsigned short negative = 3;
  ASSERT_TRUE(ds.GetInt32(kInstanceNumber, number));
  EXPECT_EQ(number, -12);
  EXPECT_FALSE(ds.GetUint16(kInstanceNumber, negative));  // out of range for the type
  EXPECT_EQ(negative, 3);
  double intercept = 0;
  ASSERT_TRUE(ds.GetFloat64(0x00281052, intercept));
  EXPECT_NEAR(intercept, -1024.123456789012, 1e-9);
  ASSERT_TRUE(ds.GetString(0x00281052, s));
  EXPECT_LE(s.size(), 16u);  // DS holds 16 characters at most
  SODate date;
  SOTime time;
  ASSERT_TRUE(ds.GetDate(kStudyDate, date));
  ASSERT_TRUE(ds.GetTime(kStudyTime, time));
  EXPECT_EQ(date, (SODate{2024, 2, 29}));
  EXPECT_EQ(time, (SOTime{23, 59, 1, 250}));
  const char* vr = nullptr;
  ASSERT_TRUE(ds.GetVR(kRows, vr));
  EXPECT_STREQ(vr, "US");
  EXPECT_FALSE(ds.SetDate(kStudyDate, SODate{2023, 2, 29}));  // no such day
}

TEST(DicomDataset, SequencesAreCreatedReadAndCopied) {
  SODcmDataset ds;
  SODcmDataset item;
  ASSERT_TRUE(ds.GetOrCreateSequenceItem(kReferencedImages, 2, item));
  ASSERT_TRUE(item.SetString(kReferencedSop, "1.2.3"));
  SODcmDataset first, third;
  ASSERT_TRUE(ds.GetSequenceItem(kReferencedImages, 0, first));  // items up to the index exist
  ASSERT_TRUE(ds.GetSequenceItem(kReferencedImages, 2, third));
  EXPECT_FALSE(ds.GetSequenceItem(kReferencedImages, 3, item));
  std::string uid;
  ASSERT_TRUE(third.GetString(kReferencedSop, uid));
  EXPECT_EQ(uid, "1.2.3");
  EXPECT_FALSE(first.TagExists(kReferencedSop));
  const char* vr = nullptr;
  ASSERT_TRUE(ds.GetVR(kReferencedImages, vr));
  EXPECT_STREQ(vr, "SQ");

  SODcmDataset copy;
  ASSERT_TRUE(copy.CopyAttribute(ds, kReferencedImages));
  ASSERT_TRUE(third.SetString(kReferencedSop, "9.9"));  // the copy is deep
  SODcmDataset copied;
  ASSERT_TRUE(copy.GetSequenceItem(kReferencedImages, 2, copied));
  ASSERT_TRUE(copied.GetString(kReferencedSop, uid));
  EXPECT_EQ(uid, "1.2.3");
  EXPECT_FALSE(copy.CopyAttribute(ds, kPatientName));
  EXPECT_FALSE(copy.TagExists(kPatientName));
}

TEST(DicomDataset, PrivateTagsWithoutCreatorSurviveASaveAsText) {
  auto dir = MakeTempDir("private");
  SODcmFile file;
  SODcmDataset* ds = file.GetDataset();
  std::string longText(300, 'x');
  ASSERT_TRUE(ds->SetString(0x07211001, "short finding"));
  ASSERT_TRUE(ds->SetString(0x07211002, longText));
  const char* vr = nullptr;
  ASSERT_TRUE(ds->GetVR(0x07211001, vr));
  EXPECT_STREQ(vr, "LO");
  ASSERT_TRUE(ds->GetVR(0x07211002, vr));
  EXPECT_STREQ(vr, "LT");
  std::string path = (dir / "private.dcm").string();
  ASSERT_TRUE(file.SaveFile(path.c_str(), false));
  SODcmFile back;
  ASSERT_TRUE(back.LoadFile(path.c_str(), true));
  std::string s;
  ASSERT_TRUE(back.GetDataset()->GetString(0x07211001, s));
  EXPECT_EQ(s, "short finding");
  ASSERT_TRUE(back.GetDataset()->GetString(0x07211002, s));
  EXPECT_EQ(s, longText);
}

TEST(DicomDataset, PydicomCharacterSetFilesReadAsUtf8) {
  fs::path root = orvanta::test::PydicomTestFiles();
  if (root.empty()) GTEST_SKIP() << "python3-pydicom test files not installed";
  fs::path folder = root.parent_path() / "charset_files";
  struct Case {
    const char* file;
    const char* name;
  };
  const Case cases[] = {
      {"chrFren.dcm", "Buc^Jérôme"},
      {"chrGerm.dcm", "Äneas^Rüdiger"},
      {"chrGreek.dcm", "Διονυσιος"},
      {"chrRuss.dcm", "Люкceмбypг"},
      {"chrArab.dcm", "قباني^لنزار"},
      {"chrHbrw.dcm", "שרון^דבורה"},
      {"chrH31.dcm", "Yamada^Tarou=山田^太郎=やまだ^たろう"},
      {"chrH32.dcm", "ﾔﾏﾀﾞ^ﾀﾛｳ=山田^太郎=やまだ^たろう"},
      {"chrI2.dcm", "Hong^Gildong=洪^吉洞=홍^길동"},
      {"chrX1.dcm", "Wang^XiaoDong=王^小東="},
      {"chrX2.dcm", "Wang^XiaoDong=王^小东="},
  };
  for (const Case& c : cases) {
    SODcmFile file;
    ASSERT_TRUE(file.LoadFile((folder / c.file).c_str(), false)) << c.file;
    std::wstring wide;
    ASSERT_TRUE(file.GetDataset()->GetString(kPatientName, wide)) << c.file;
    EXPECT_EQ(SOUtil::W2UTF8Str(wide.c_str()), c.name) << c.file;
    ASSERT_TRUE(file.ConvertToUTF8()) << c.file;
    std::string utf8, charset;
    ASSERT_TRUE(file.GetDataset()->GetString(kPatientName, utf8));
    EXPECT_EQ(utf8, c.name) << c.file;
    ASSERT_TRUE(file.GetDataset()->GetString(kCharset, charset));
    EXPECT_EQ(charset, "ISO_IR 192");
  }
}

TEST(DicomDataset, TextDecodesThroughItsCharacterSetOrTheLegacyOne) {
  struct Case {
    const char* charset;
    const char* stored;
    const char* text;  // UTF-8
  };
  const Case cases[] = {
      {"ISO_IR 100", "M\xFCller^Hans", "Müller^Hans"},
      {"ISO_IR 101", "\xA3\xF3" "d\xBC", "Łódź"},
      {"ISO_IR 109", "\xA6\xB6", "Ĥĥ"},
      {"ISO_IR 110", "\xA3\xB3", "Ŗŗ"},
      {"ISO_IR 144", "\xBB\xEE\xDA\xE1\xD5\xDC\xD1\xE3\xE0\xD3", "Люксембург"},
      {"ISO_IR 148", "\xDE\xE7", "Şç"},
      {"ISO_IR 192", "王^小东", "王^小东"},
      {"GB18030", "\xCD\xF5^\xD0\xA1\xB6\xAB", "王^小东"},
      {"GBK", "\xCD\xF5^\xD0\xA1\xB6\xAB", "王^小东"},
      {"\\ISO 2022 IR 58", "Zhang^XiaoDong=\x1B$)A\xD5\xC5^\x1B$)A\xD0\xA1\xB6\xAB=", "Zhang^XiaoDong=张^小东="},
      {"\\ISO 2022 IR 149", "Hong^Gildong=\x1B$)C\xFB\xF3^\x1B$)C\xD1\xCE\xD4\xD7=\x1B$)C\xC8\xAB^\x1B$)C\xB1\xE6\xB5\xBF",
       "Hong^Gildong=洪^吉洞=홍^길동"},
      {"\\ISO 2022 IR 87", "Yamada^Tarou=\x1B$B;3ED\x1B(B^\x1B$BB@O:\x1B(B=\x1B$B$d$^$@\x1B(B^\x1B$B$?$m$&\x1B(B",
       "Yamada^Tarou=山田^太郎=やまだ^たろう"},
      // No character set, or bytes the declared one cannot hold: the legacy set (GB18030).
      {"", "\xCD\xF5^\xD0\xA1\xB6\xAB", "王^小东"},
      {"ISO_IR 6", "\xCD\xF5^\xD0\xA1\xB6\xAB", "王^小东"},
      {"ISO_IR 192", "\xCD\xF5^\xD0\xA1\xB6\xAB", "王^小东"},
      {"ISO_IR 999", "\xCD\xF5^\xD0\xA1\xB6\xAB", "王^小东"},
      // Nor that one: Latin-1, which reads any byte. Never a replacement character.
      {"", "\x80\xFF", "\u0080ÿ"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.charset) + " " + c.text);
    SODcmDataset ds;
    if (*c.charset) ASSERT_TRUE(ds.SetString(kCharset, c.charset));
    ASSERT_TRUE(ds.SetString(kPatientName, std::string(c.stored)));
    ASSERT_TRUE(ds.SetString(0x00081030, std::string(c.stored)));
    std::wstring wide;
    ASSERT_TRUE(ds.GetString(kPatientName, wide));
    EXPECT_EQ(SOUtil::W2UTF8Str(wide.c_str()), c.text);
    ASSERT_TRUE(ds.GetString(0x00081030, wide));
    EXPECT_EQ(SOUtil::W2UTF8Str(wide.c_str()), c.text);
    ASSERT_TRUE(ds.ConvertToUTF8());
    std::string utf8;
    ASSERT_TRUE(ds.GetString(kPatientName, utf8));
    EXPECT_EQ(utf8, c.text);
  }
  // The legacy set is configurable.
  SODcmDataset::SetLegacyCharacterSet("ISO_IR 100");
  SODcmDataset latin;
  ASSERT_TRUE(latin.SetString(kPatientName, std::string("M\xFCller")));
  std::wstring wide;
  ASSERT_TRUE(latin.GetString(kPatientName, wide));
  EXPECT_EQ(wide, L"Müller");
  SODcmDataset::SetLegacyCharacterSet("");
  EXPECT_EQ(SODcmDataset::GetLegacyCharacterSet(), "GB18030");
}

TEST(DicomDataset, SequenceItemsFollowTheirOwnOrTheirRootsCharacterSet) {
  fs::path root = orvanta::test::PydicomTestFiles();
  if (root.empty()) GTEST_SKIP() << "python3-pydicom test files not installed";
  const char* expected = "ﾔﾏﾀﾞ^ﾀﾛｳ=山田^太郎=やまだ^たろう";
  // The item declares its own set in the first file and inherits the dataset's in the second.
  for (const char* name : {"chrSQEncoding.dcm", "chrSQEncoding1.dcm"}) {
    SODcmFile file;
    ASSERT_TRUE(file.LoadFile((root.parent_path() / "charset_files" / name).c_str()));
    SODcmDataset item;
    ASSERT_TRUE(file.GetDataset()->GetSequenceItem(0x00321064, 0, item)) << name;
    std::wstring wide;
    ASSERT_TRUE(item.GetString(kPatientName, wide)) << name;
    EXPECT_EQ(SOUtil::W2UTF8Str(wide.c_str()), expected) << name;
    ASSERT_TRUE(file.ConvertToUTF8());
    ASSERT_TRUE(file.GetDataset()->GetSequenceItem(0x00321064, 0, item));
    std::string utf8;
    ASSERT_TRUE(item.GetString(kPatientName, utf8));
    EXPECT_EQ(utf8, expected) << name;
    EXPECT_FALSE(item.TagExists(kCharset)) << name;
  }
}

TEST(DicomDataset, WideTextIsWrittenInTheDatasetsCharacterSet) {
  struct Case {
    const char* charset;
    const wchar_t* text;
    const char* storedBytes;     // narrow read after the write
    const char* charsetAfter;
  };
  const Case cases[] = {
      {"ISO_IR 100", L"Müller^Jörg", "M\xFCller^J\xF6rg", "ISO_IR 100"},
      {"GB18030", L"王^小东", "\xCD\xF5^\xD0\xA1\xB6\xAB", "GB18030"},
      {"ISO_IR 192", L"王^小东", "王^小东", "ISO_IR 192"},
      {"", L"Plain^Ascii", "Plain^Ascii", "ISO_IR 192"},  // ASCII cannot hold "Größe": the dataset moves to UTF-8
      {"", L"王^小东", "王^小东", "ISO_IR 192"},
      {"ISO_IR 100", L"王^Jörg", "王^Jörg", "ISO_IR 192"},  // neither can Latin-1
  };
  for (const Case& c : cases) {
    SODcmDataset ds;
    if (*c.charset) {
      ASSERT_TRUE(ds.SetString(kCharset, c.charset));
    }
    ASSERT_TRUE(ds.SetString(0x00081030, L"Größe"));  // text written before must stay right
    ASSERT_TRUE(ds.SetString(kPatientName, c.text)) << c.charset;
    std::string stored;
    ASSERT_TRUE(ds.GetString(kPatientName, stored));
    EXPECT_EQ(stored, c.storedBytes) << c.charset;
    EXPECT_EQ(ds.GetCharacterSet(), c.charsetAfter);
    std::wstring back;
    ASSERT_TRUE(ds.GetString(kPatientName, back));
    EXPECT_EQ(back, c.text);
    ASSERT_TRUE(ds.GetString(0x00081030, back));
    EXPECT_EQ(back, L"Größe") << c.charset;
  }
}

TEST(DicomDataset, CompactFreesOnlyWhatCanBeReadAgain) {
  auto dir = MakeTempDir("compact");
  fx::CtSeriesOptions options;
  options.slices = 1;
  auto series = fx::WriteCtSeries(dir, options);
  SODcmFile file;
  ASSERT_TRUE(file.LoadFile(series.files[0].c_str(), false));
  const unsigned char* bytes = nullptr;
  unsigned long count = 0;
  ASSERT_TRUE(file.GetDataset()->GetUint8Array(0x7FE00010, bytes, count));
  EXPECT_EQ(count, 128u * 128u * 2u);
  file.GetDataset()->Compact();
  ASSERT_TRUE(file.GetDataset()->GetUint8Array(0x7FE00010, bytes, count));
  EXPECT_EQ(reinterpret_cast<const uint16_t*>(bytes)[64 * 128 + 64], fx::CtStoredValue(0, 64, 64, 128, 128));
  // Values made in memory have no file to come back from and stay.
  std::vector<unsigned char> data(8192, 0x5A);
  ASSERT_TRUE(file.GetDataset()->SetUint8Array(0x00091010, data.data(), data.size()));
  file.GetDataset()->Compact();
  ASSERT_TRUE(file.GetDataset()->GetUint8Array(0x00091010, bytes, count));
  ASSERT_EQ(count, 8192u);
  EXPECT_EQ(bytes[8191], 0x5A);
}
