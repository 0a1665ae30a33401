#include <gtest/gtest.h>

#include "InstanceInfo.h"
#include "StoreLayout.h"
#include "StoreTestUtil.h"
#include "StoreUtil.h"
#include "TestSupport.h"

namespace {

using namespace storetest;

TEST(StoreLayout, KeysPadButNeverCut) {
  EXPECT_EQ(StoreLayout::SeriesKey(3, "1.2.3.4"), "00000003_1.2.3.4");
  EXPECT_EQ(StoreLayout::SeriesKey(0, "1.2"), "00000000_1.2");
  EXPECT_EQ(StoreLayout::SeriesKey(-1, "1.2"), "-0000001_1.2");
  EXPECT_EQ(StoreLayout::SeriesKey(123456789, "1.2"), "123456789_1.2");
  EXPECT_EQ(StoreLayout::InstanceKey(12, "9.8"), "000012_9.8");
  EXPECT_EQ(StoreLayout::StudyId("P1", "1.2.3"), "P1_1.2.3");
  EXPECT_EQ(StoreLayout::StudyId("", "1.2.3"), "1.2.3");
}

TEST(StoreLayout, OnlyDigitAndDotUidsNameFiles) {
  struct Case {
    std::string uid;
    bool safe;
  } cases[] = {
      {"1.2.3", true},          {"1.2..3", true},   {std::string(64, '1'), true}, {std::string(65, '1'), false},
      {"", false},              {".", false},       {"..", false},                {"a/b", false},
      {"DB", false},            {"patients", false}, {"values", false},           {"1.2/3", false},
      {"1.2'3", false},         {"1.2 ", false},    {"1.2\\3", false},
  };
  for (const Case& c : cases) EXPECT_EQ(StoreLayout::IsSafeUID(c.uid), c.safe) << c.uid;
  EXPECT_EQ(StoreLayout::TrimUID(std::string("1.2\0 ", 5)), "1.2");
}

TEST(StoreLayout, DeletableOnlyStrictlyInsideTheStore) {
  fs::path root = orvanta::test::MakeTempDir("layout");
  fs::path store = root / "store";
  fs::path outside = root / "outside";
  fs::create_directories(store / "DB");
  fs::create_directories(store / "1.2");
  fs::create_directories(outside);
  fs::create_directory_symlink(outside, store / "link");
  std::string s = store.string();
  struct Case {
    std::string path;
    bool deletable;
  } cases[] = {
      {s + "/1.2", true},
      {s + "/1.2/", true},
      {s + "/link", true},  // the link itself, never what it points at
      {s, false},
      {s + "/", false},
      {s + "/.", false},
      {s + "/DB", false},
      {s + "/DB/patients", false},
      {s + "/../outside", false},
      {s + "/link/x", false},
      {outside.string(), false},
      {"/", false},
  };
  for (const Case& c : cases) EXPECT_EQ(StoreLayout::IsDeletableInStore(s, c.path), c.deletable) << c.path;
}

TEST(GetInstanceInfo, FillsKeysAndStudyId) {
  Dataset d;
  d.seriesNumber = "3";
  d.instanceNumber = "12";
  auto file = MakeFile(d);
  InstanceInfo info;
  ASSERT_TRUE(GetInstanceInfo(file.get(), info));
  EXPECT_EQ(info.sid, "P1_1.2.3");
  EXPECT_EQ(info.seriesKey, "00000003_1.2.3.4");
  EXPECT_EQ(info.instanceKey, "000012_1.2.3.4.5");
  EXPECT_EQ(info.sidSeriesKey, "P1_1.2.3_00000003_1.2.3.4");
  EXPECT_TRUE(info.filePath.empty());

  d.seriesNumber.clear();
  d.patientID.clear();
  InstanceInfo bare;
  ASSERT_TRUE(GetInstanceInfo(MakeFile(d).get(), bare));
  EXPECT_EQ(bare.sid, "1.2.3");
  EXPECT_EQ(bare.seriesKey, "00000000_1.2.3.4");

  d.studyUID.clear();
  InstanceInfo noStudy;
  EXPECT_FALSE(GetInstanceInfo(MakeFile(d).get(), noStudy));
  EXPECT_EQ(noStudy.seriesUID, "1.2.3.4");

  InstanceInfo untouched;
  untouched.sid = "keep";
  EXPECT_FALSE(GetInstanceInfo(nullptr, untouched));
  EXPECT_EQ(untouched.sid, "keep");
}

TEST(GetInstanceInfo, ConvertsFreeTextByCharacterSet) {
  // The file's own character set, else (none declared, or bytes it cannot hold) the legacy one.
  const std::string gb = "\xd6\xd0\xce\xc4", chinese = "\xe4\xb8\xad\xe6\x96\x87";  // "中文"
  struct Case {
    const char* charset;
    std::string stored, expected;
  } cases[] = {
      {"GB18030", gb, chinese},
      {"", gb, chinese},
      {"ISO_IR 6", gb, chinese},
      {"ISO_IR 100", "M\xfcller^Hans", "M\xc3\xbcller^Hans"},
      {"ISO_IR 192", "M\xc3\xbcller^Hans", "M\xc3\xbcller^Hans"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.charset);
    auto file = MakeFile(Dataset{});
    SODcmDataset* ds = file->GetDataset();
    if (*c.charset) ds->SetString(0x00080005, c.charset);
    for (unsigned long tag : {0x00100010UL, 0x00081030UL, 0x0008103EUL, 0x00180015UL, 0x00080080UL})
      ds->SetString(tag, c.stored);
    InstanceInfo info;
    ASSERT_TRUE(GetInstanceInfo(file.get(), info));
    EXPECT_EQ(info.patientName, c.expected);
    EXPECT_EQ(info.studyDescription, c.expected);
    EXPECT_EQ(info.seriesDescription, c.expected);
    EXPECT_EQ(info.bodyPartExamined, c.expected);
    EXPECT_EQ(info.institutionName, c.expected);
    // The file's own dataset is left as it was.
    std::string stored;
    ds->GetString(0x00100010, stored);
    EXPECT_EQ(stored, c.stored);
  }
}

TEST(GetInstanceInfos, FlattensTheTreeWithRecomputedIds) {
  PatientRecord study;
  study.id = "wrong";
  study.patientID = "P";
  study.studyUID = "1.9";
  study.storePath = "/in";
  for (int s = 1; s <= 2; ++s) {
    SeriesRecord series;
    series.seriesUID = "1.9." + std::to_string(s);
    series.seriesNumber = std::to_string(s);
    series.storePath = "/in/s" + std::to_string(s);
    for (int i = 1; i <= 2; ++i) {
      InstanceRecord instance;
      instance.sopInstanceUID = series.seriesUID + "." + std::to_string(i);
      instance.instanceNumber = std::to_string(i);
      instance.storePath = series.storePath + "/f" + std::to_string(i);
      series.instances.push_back(instance);
    }
    study.series.push_back(series);
  }
  std::vector<InstanceInfo> out{InstanceInfo{}};
  ASSERT_TRUE(GetInstanceInfos(study, out));
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(out[0].sid, "P_1.9");
  EXPECT_EQ(out[0].instanceKey, "000001_1.9.1.1");
  EXPECT_EQ(out[3].seriesKey, "00000002_1.9.2");
  EXPECT_EQ(out[3].filePath, "/in/s2/f2");
  EXPECT_EQ(out[3].seriesPath, "/in/s2");
  EXPECT_EQ(out[3].archivePath, "/in");
}

TEST(StoreUtil, JoinsDistinctValuesInOrder) {
  auto study = [](std::vector<std::pair<std::string, std::string>> values) {
    PatientRecord record;
    for (auto& [modality, body] : values) {
      SeriesRecord s;
      s.modality = modality;
      s.bodyPartExamined = body;
      record.series.push_back(s);
    }
    return record;
  };
  std::string modalities, bodyParts, out;
  StoreUtil::GetModality(study({{"CT", ""}, {"CT", ""}, {"MR", ""}}), out);
  EXPECT_EQ(out, "CT,MR");
  PatientRecord withSR = study({{"CT", "CHEST"}, {"SR", ""}, {"MR", "CHEST"}});
  StoreUtil::GetModality(withSR, out);
  EXPECT_EQ(out, "CT,SR,MR");
  StoreUtil::GetModalityBodyPart(withSR, modalities, bodyParts);
  EXPECT_EQ(modalities, "CT,MR");
  EXPECT_EQ(bodyParts, "CHEST,");
  StoreUtil::GetBodyPart(study({{"CT", ""}, {"CT", "CHEST"}}), out);
  EXPECT_EQ(out, "CHEST");
  StoreUtil::GetInstitutionName(PatientRecord{}, out);
  EXPECT_EQ(out, "");
}

TEST(StoreUtil, RecordsFromAFileKeepTheirOwnFields) {
  fs::path dir = orvanta::test::MakeTempDir("storeutil");
  auto file = MakeFile(Dataset{});
  std::string path = (dir / "f.dcm").string();
  ASSERT_TRUE(file->SaveFile(path.c_str()));

  InstanceRecord instance;
  ASSERT_TRUE(StoreUtil::GetInstanceRecord(file.get(), instance));
  EXPECT_EQ(instance.storePath, path);
  EXPECT_EQ(instance.id, "000005_1.2.3.4.5");

  PatientRecord patient;
  patient.unread = true;
  patient.printState = 3;
  ASSERT_TRUE(StoreUtil::GetPatientRecord(file.get(), patient));
  EXPECT_EQ(patient.id, "P1_1.2.3");
  EXPECT_TRUE(patient.unread);
  EXPECT_EQ(patient.printState, 3);

  Dataset noStudy;
  noStudy.studyUID.clear();
  InstanceRecord kept;
  kept.storePath = "kept";
  EXPECT_FALSE(StoreUtil::GetInstanceRecord(MakeFile(noStudy).get(), kept));
  EXPECT_EQ(kept.storePath, "kept");

  std::string sid = "old";
  EXPECT_FALSE(StoreUtil::GetPatientSID(nullptr, sid));
  EXPECT_EQ(sid, "old");
  EXPECT_TRUE(StoreUtil::GetPatientSID(file.get(), sid));
  EXPECT_EQ(sid, "P1_1.2.3");
}

}  // namespace
