// The texts of a study row and the selection kept over a rebuild.

#include "StudyRows.h"

#include <gtest/gtest.h>

namespace {

PatientRecord Record() {
  PatientRecord r;
  r.id = "P1_1.2.3";
  r.patientID = "P1";
  r.patientName = "张三^Zhang";
  r.patientSex = "M";
  r.patientAge = "045Y";
  r.studyDate = "20240305";
  r.studyTime = "081502";
  r.patientBirthDate = "19790101";
  r.studyID = "77";
  r.studyDescription = "CT Chest";
  SeriesRecord ct;
  ct.modality = "CT";
  ct.bodyPartExamined = "CHEST";
  ct.institutionName = "General";
  r.series.push_back(ct);
  return r;
}

}  // namespace

TEST(StudyRows, ColumnsOfARecord) {
  StudyRowTexts row = MakeStudyRow(Record());
  EXPECT_FALSE(row.hasRemoteIcon);
  EXPECT_FALSE(row.hasReportIcon);
  std::array<std::wstring, 13> expected{L"",         L"",   L"P1", L"张三^Zhang", L"M",       L"45Y",     L"2024/03/05 08:15",
                                        L"19790101", L"77", L"CT", L"CHEST",      L"General", L"CT Chest"};
  EXPECT_EQ(row.columns, expected);
}

TEST(StudyRows, AgeDateAndIconsTable) {
  struct Case {
    const char* age;
    const char* date;
    int remoteState;
    int printState;
    bool withReport;
    std::wstring age5, date6, icon0, icon1;
  } cases[] = {
      {"000Y", "20240305", 0, 0, false, L"0Y", L"2024/03/05 08:15", L"", L""},
      {"045Y", "2024-13-45", 3, 0, true, L"45Y", L"", L"<i db\\image\\remote_completed.png>",
       L"<i db\\image\\report_completed.png>"},
      {"", "", 1, 1, true, L"", L"", L"<i db\\image\\remote_uploading.png>", L"<i db\\image\\report_printed.png>"},
      {"012M", "20240305", 9, 1, false, L"12M", L"2024/03/05 08:15", L"", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.age);
    PatientRecord r = Record();
    r.patientAge = c.age;
    r.studyDate = c.date;
    r.remoteState = c.remoteState;
    r.printState = c.printState;
    if (c.withReport) {
      SeriesRecord sr;
      sr.modality = "SR";
      r.series.push_back(sr);
    }
    StudyRowTexts row = MakeStudyRow(r);
    EXPECT_EQ(row.columns[5], c.age5);
    EXPECT_EQ(row.columns[6], c.date6);
    EXPECT_EQ(row.columns[0], c.icon0);
    EXPECT_EQ(row.hasRemoteIcon, !c.icon0.empty());
    EXPECT_EQ(row.columns[1], c.icon1);
    EXPECT_EQ(row.hasReportIcon, c.withReport);
    EXPECT_EQ(row.columns[9], L"CT") << "SR is not a listed modality";
  }
}

TEST(StudyRows, StoredValuesReadAsAReaderExpects) {
  struct {
    const char* stored;
    std::string (*format)(const std::string&);
    const char* shown;
  } cases[] = {
      {"054Y", AgeText, "54Y"},           {"000Y", AgeText, "0Y"},
      {"100Y", AgeText, "100Y"},          {"Y", AgeText, "Y"},
      {"", AgeText, ""},                  {"5.00000", DecimalText, "5"},
      {"2.50", DecimalText, "2.5"},       {" 0.625000 ", DecimalText, "0.625"},
      {"10", DecimalText, "10"},          {"0.0", DecimalText, "0"},
      {"1.5\\2.0", DecimalText, "1.5\\2.0"}, {"thick", DecimalText, "thick"},
      {"^^^^", PersonNameText, ""},       {"Doe^John^^^", PersonNameText, "Doe^John"},
      {"张三^Zhang", PersonNameText, "张三^Zhang"}, {"^Given", PersonNameText, "^Given"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.format(c.stored), c.shown) << c.stored;
  PatientRecord r = Record();
  r.patientName = "^^^^";
  EXPECT_EQ(MakeStudyRow(r).columns[3], L"");
}

TEST(StudyRows, SelectionIsClampedIntoTheList) {
  EXPECT_EQ(ClampSelection(-1, 0), -1);
  EXPECT_EQ(ClampSelection(3, 0), -1);
  EXPECT_EQ(ClampSelection(-1, 5), 0);
  EXPECT_EQ(ClampSelection(7, 5), 4);
  EXPECT_EQ(ClampSelection(2, 5), 2);
}
