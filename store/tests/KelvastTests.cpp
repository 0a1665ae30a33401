#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <thread>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>

#include "CppSQLite3.h"
#include "DicomFixtures.h"
#include "Kelvast.h"
#include "SOCommitSCU.h"
#include "StoreTestUtil.h"
#include "TestSupport.h"

namespace {

using namespace storetest;
namespace fx = orvanta::fixtures;

class KelvastTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = orvanta::test::MakeTempDir("store") / "LOCAL";
    store_ = OpenStore(folder_);
    ASSERT_TRUE(store_);
    store_->AddListener(&listener_);
  }

  size_t CountStudies(IKelvast& store) {
    std::vector<PatientRecord> studies;
    EXPECT_TRUE(store.GetPatientRecords(studies, nullptr, false));
    return studies.size();
  }

  fs::path folder_;
  StorePtr store_;
  RecordingListener listener_;
};

TEST_F(KelvastTest, StoreFileWritesLayoutRowsAndNotifies) {
  EXPECT_FALSE(fs::exists(folder_));  // nothing on disk before the first store
  auto file = MakeFile(Dataset{});
  InstanceRecord record;
  ASSERT_TRUE(store_->StoreFile(file.get(), &record));

  fs::path expected = folder_ / "1.2.3/00000002_1.2.3.4/000005_1.2.3.4.5";
  EXPECT_TRUE(fs::is_regular_file(expected));
  EXPECT_EQ(record.storePath, expected.string());
  EXPECT_EQ(record.id, "000005_1.2.3.4.5");
  EXPECT_TRUE(fs::is_regular_file(folder_ / "DB/patients"));
  EXPECT_TRUE(fs::is_regular_file(folder_ / "DB/1.2.3"));
  EXPECT_EQ(listener_.Take(), (std::vector<std::string>{"changed:P1_1.2.3", "store"}));

  PatientRecord study;
  ASSERT_TRUE(store_->GetPatientRecord("P1_1.2.3", study, true));
  EXPECT_TRUE(study.unread);
  EXPECT_EQ(study.storePath, (folder_ / "1.2.3").string());
  ASSERT_EQ(study.series.size(), 1u);
  ASSERT_EQ(study.series[0].instances.size(), 1u);
  EXPECT_EQ(study.series[0].instances[0].storePath, expected.string());

  // Stored again: the file is rewritten, the rows (and their workflow columns) stay.
  ASSERT_TRUE(store_->SetPatientFlag("P1_1.2.3", "unread", false));
  listener_.Take();
  ASSERT_TRUE(store_->StoreFile(file.get(), nullptr));
  EXPECT_EQ(listener_.Take(), (std::vector<std::string>{"changed:P1_1.2.3", "store"}));
  PatientRecord again;
  ASSERT_TRUE(store_->GetPatientRecord("P1_1.2.3", again, true));
  EXPECT_FALSE(again.unread);
  EXPECT_EQ(again.createdTime, study.createdTime);
  EXPECT_EQ(again.series[0].instances.size(), 1u);

  std::string path;
  ASSERT_TRUE(store_->GetStoreFilePath(file.get(), path));
  EXPECT_EQ(path, expected.string());
}

TEST_F(KelvastTest, CommitWritesQueuedStudiesAndNotifiesInQueueOrder) {
  EXPECT_TRUE(store_->CommitQueue());
  EXPECT_TRUE(listener_.Take().empty());

  Dataset a;
  a.studyUID = "1.9";
  a.seriesUID = "1.9.1";
  a.sopUID = "1.9.1.1";
  Dataset b;
  b.patientID = "P2";
  b.studyUID = "1.1";
  b.seriesUID = "1.1.1";
  b.sopUID = "1.1.1.1";
  ASSERT_TRUE(store_->QueueFile(MakeFile(a).get()));
  ASSERT_TRUE(store_->QueueFile(MakeFile(b).get()));
  EXPECT_EQ(CountStudies(*store_), 0u);  // rows wait for the commit
  ASSERT_TRUE(store_->CommitQueue());
  EXPECT_EQ(listener_.Take(), (std::vector<std::string>{"changed:P1_1.9", "changed:P2_1.1", "store"}));
  EXPECT_EQ(CountStudies(*store_), 2u);
  int count = 0;
  ASSERT_TRUE(store_->GetStudyCount(&count));
  EXPECT_EQ(count, 2);
}

TEST_F(KelvastTest, SyntheticSeriesListsBackInFull) {
  fs::path in = orvanta::test::MakeTempDir("ct");
  fx::CtSeriesOptions options;
  options.slices = 24;
  options.rows = options.columns = 32;
  fx::WrittenSeries series = fx::WriteCtSeries(in, options);
  for (const fs::path& path : series.files) {
    SODcmFile file;
    ASSERT_TRUE(file.LoadFile(path.c_str()));
    ASSERT_TRUE(store_->QueueFile(&file));
  }
  ASSERT_TRUE(store_->CommitQueue());

  std::vector<PatientRecord> studies;
  ASSERT_TRUE(store_->GetPatientRecords(studies, nullptr, true));
  ASSERT_EQ(studies.size(), 1u);
  EXPECT_EQ(studies[0].id, "CT0001_" + series.studyUid);
  ASSERT_EQ(studies[0].series.size(), 1u);
  const auto& instances = studies[0].series[0].instances;
  ASSERT_EQ(instances.size(), 24u);
  // Every road that hands out a series lists it 1, 2 ... 24, not in the text order 1, 10, 11 ...
  auto numbers = [](const std::vector<InstanceRecord>& list) {
    std::vector<std::string> out;
    for (const InstanceRecord& instance : list) out.push_back(instance.instanceNumber);
    return out;
  };
  std::vector<std::string> expected;
  for (int i = 1; i <= 24; ++i) expected.push_back(std::to_string(i));
  EXPECT_EQ(numbers(instances), expected);
  std::set<std::string> sops(series.sopUids.begin(), series.sopUids.end());
  for (const InstanceRecord& instance : instances) {
    EXPECT_TRUE(sops.count(instance.sopInstanceUID));
    SODcmFile stored;
    EXPECT_TRUE(stored.LoadFile(instance.storePath.c_str())) << instance.storePath;
  }
  std::vector<InstanceRecord> all;
  ASSERT_TRUE(store_->GetSeriesInstanceRecords({series.seriesUid, "9.9"}, all));
  EXPECT_EQ(numbers(all), expected);
  ASSERT_TRUE(store_->GetStudyInstanceRecords({series.studyUid, "..", "9.9"}, all));
  EXPECT_EQ(all.size(), 24u);
  SeriesRecord byUid;
  ASSERT_TRUE(store_->GetSeriesRecordByUID(series.seriesUid.c_str(), byUid));
  EXPECT_EQ(numbers(byUid.instances), expected);
  SeriesRecord byId;
  ASSERT_TRUE(store_->GetSeriesRecord(byUid.id.c_str(), byId));
  EXPECT_EQ(numbers(byId.instances), expected);
  std::vector<SeriesRecord> ofStudy;
  ASSERT_TRUE(store_->GetSeriesRecords(studies[0].id.c_str(), ofStudy, true));
  ASSERT_EQ(ofStudy.size(), 1u);
  EXPECT_EQ(numbers(ofStudy[0].instances), expected);
  PatientRecord owner;
  ASSERT_TRUE(store_->GetSeriesPatientRecord(byUid.id.c_str(), owner));
  EXPECT_EQ(owner.id, studies[0].id);
  ASSERT_EQ(owner.series.size(), 1u);
  EXPECT_EQ(numbers(owner.series[0].instances), expected);
}

TEST_F(KelvastTest, InstanceNumbersThatAreNotIntegersFollowTheNumbersInArrivalOrder) {
  // Arrival order; the SOP UID's last part names the arrival.
  const std::vector<std::string> arriving = {"abc", "10", "",  "+3", "-2",         "007",
                                             "12.5", "2",  "2", "99999999999", "x"};
  for (size_t i = 0; i < arriving.size(); ++i) {
    Dataset d;
    d.instanceNumber = arriving[i];
    d.sopUID = "1.2.3.4.5." + std::to_string(i);
    ASSERT_TRUE(store_->QueueFile(MakeFile(d).get()));
  }
  ASSERT_TRUE(store_->CommitQueue());
  SeriesRecord series;
  ASSERT_TRUE(store_->GetSeriesRecord("00000002_1.2.3.4", series));
  std::vector<std::string> order;
  for (const InstanceRecord& instance : series.instances)
    order.push_back(instance.instanceNumber + "#" + instance.sopInstanceUID.substr(10));
  EXPECT_EQ(order, (std::vector<std::string>{"-2#4", "2#7", "2#8", "+3#3", "007#5", "10#1", "99999999999#9",
                                             "abc#0", "#2", "12.5#6", "x#10"}));
}

TEST_F(KelvastTest, SaveModesChooseTheTransferSyntax) {
  fs::path in = orvanta::test::MakeTempDir("modes");
  fx::CtSeriesOptions options;
  options.slices = 3;
  options.rows = options.columns = 16;
  options.syntax = fx::Syntax::ImplicitLittle;
  fx::WrittenSeries series = fx::WriteCtSeries(in, options);
  auto syntaxOf = [](const std::string& path) {
    DcmFileFormat format;
    EXPECT_TRUE(format.loadFile(path.c_str()).good()) << path;
    OFString uid;
    format.getMetaInfo()->findAndGetOFString(DCM_TransferSyntaxUID, uid);
    return std::string(uid.c_str());
  };
  struct Case {
    int mode;
    const char* syntax;
  } cases[] = {{0, UID_LittleEndianImplicitTransferSyntax},
               {1, UID_LittleEndianImplicitTransferSyntax},
               {2, UID_LittleEndianExplicitTransferSyntax},
               {7, UID_LittleEndianImplicitTransferSyntax}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    store_->SetSaveMode(cases[i].mode);
    SODcmFile file;
    ASSERT_TRUE(file.LoadFile(series.files[i % series.files.size()].c_str()));
    InstanceRecord record;
    ASSERT_TRUE(store_->StoreFile(&file, &record));
    EXPECT_EQ(syntaxOf(record.storePath), cases[i].syntax) << "mode " << cases[i].mode;
  }
  EXPECT_EQ(BuildDB(nullptr), nullptr);
  ReleaseDB(nullptr);
}

TEST_F(KelvastTest, StoredFilesHoldTheToolkitsOwnEncoding) {
  // StoreFile writes through a buffer of its own: files within one disk block, across the
  // buffer's end, and with a tail past the last whole block, in two transfer syntaxes.
  fs::path in = orvanta::test::MakeTempDir("encoding");
  struct Case {
    int size;
    fx::Syntax syntax;
  } cases[] = {{4, fx::Syntax::ExplicitLittle}, {512, fx::Syntax::ImplicitLittle}, {1024, fx::Syntax::ExplicitLittle}};
  for (const Case& c : cases) {
    fx::CtSeriesOptions options;
    options.slices = 1;
    options.rows = options.columns = c.size;
    options.syntax = c.syntax;
    fx::WrittenSeries series = fx::WriteCtSeries(in / std::to_string(c.size), options);
    SODcmFile file;
    ASSERT_TRUE(file.LoadFile(series.files[0].c_str(), true));
    fs::path expected = in / (std::to_string(c.size) + ".expected");
    ASSERT_TRUE(file.GetFileFormat()->saveFile(expected.c_str()).good());
    InstanceRecord record;
    ASSERT_TRUE(store_->StoreFile(&file, &record));
    std::string stored = orvanta::test::FileBytes(record.storePath);
    EXPECT_GT(stored.size(), size_t(c.size * c.size * 2)) << c.size;
    EXPECT_TRUE(stored == orvanta::test::FileBytes(expected)) << c.size;
  }
}

TEST_F(KelvastTest, HostileValuesNeverNameFilesOrFolders) {
  fs::path in = orvanta::test::MakeTempDir("hostile");
  std::vector<fs::path> files = fx::WriteHostileFiles(in);
  for (auto kind : {fx::Hostile::UidWithDotDot, fx::Hostile::UidWithSlash, fx::Hostile::UidWithQuote,
                    fx::Hostile::OverlongStrings, fx::Hostile::MissingUids}) {
    SODcmFile file;
    ASSERT_TRUE(file.LoadFile(files[static_cast<int>(kind)].c_str()));
    EXPECT_FALSE(store_->StoreFile(&file, nullptr));
    EXPECT_FALSE(store_->QueueFile(&file));
    EXPECT_FALSE(store_->QueueFilePath(files[static_cast<int>(kind)].c_str()));
    std::string path;
    EXPECT_FALSE(store_->GetStoreFilePath(&file, path));
  }
  {
    // A UID holding a NUL is read whole, so "1.2\0/x" is refused instead of stored as "1.2".
    auto made = MakeFile(Dataset{});
    ASSERT_TRUE(made->GetDataset()->SetString(0x00080018, std::string("1.2\0/x", 6)));
    const fs::path nul = in / "nul.dcm";
    ASSERT_TRUE(made->SaveFile(nul.c_str()));
    SODcmFile file;
    ASSERT_TRUE(file.LoadFile(nul.c_str()));
    EXPECT_FALSE(store_->StoreFile(&file, nullptr));
    EXPECT_FALSE(store_->QueueFilePath(nul.c_str()));
  }
  for (const char* uid : {"..", "DB", "patients", "values", "a/b", "."}) {
    Dataset d;
    d.studyUID = uid;
    EXPECT_FALSE(store_->StoreFile(MakeFile(d).get(), nullptr)) << uid;
    PatientRecord record;
    record.studyUID = uid;
    record.series.resize(1);
    record.series[0].seriesUID = "1.2";
    record.series[0].instances.resize(1);
    record.series[0].instances[0].sopInstanceUID = "1.2.3";
    EXPECT_FALSE(store_->AddPatientRecord(record)) << uid;
  }
  Dataset longUid;
  longUid.studyUID = "1." + std::string(63, '2');
  EXPECT_FALSE(store_->StoreFile(MakeFile(longUid).get(), nullptr));
  EXPECT_TRUE(FilesBelow(folder_.parent_path()).empty());
  EXPECT_TRUE(listener_.Take().empty());
}

TEST_F(KelvastTest, FilesRegisteredInPlaceAreNeverDeleted) {
  fs::path in = orvanta::test::MakeTempDir("inplace");
  fs::path s1 = in / "study" / "s1";
  fs::create_directories(s1);
  std::ofstream(in / "study" / "unrelated.txt") << "mine";
  auto file = MakeFile(Dataset{});
  std::string path = (s1 / "f.dcm").string();
  ASSERT_TRUE(file->SaveFile(path.c_str()));
  std::vector<std::string> before = FilesBelow(in);

  ASSERT_TRUE(store_->QueueFilePath(path.c_str()));
  ASSERT_TRUE(store_->CommitQueue());
  PatientRecord study;
  ASSERT_TRUE(store_->GetPatientRecord("P1_1.2.3", study, true));
  EXPECT_EQ(study.storePath, (in / "study").string());
  EXPECT_EQ(study.series[0].storePath, s1.string());
  EXPECT_EQ(study.series[0].instances[0].storePath, path);
  EXPECT_FALSE(fs::exists(folder_ / "1.2.3"));  // not copied

  ASSERT_TRUE(store_->DeleteStudy("P1_1.2.3"));
  ASSERT_TRUE(store_->QueueFilePath(path.c_str()));
  ASSERT_TRUE(store_->CommitQueue());
  ASSERT_TRUE(store_->ClearStore());
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(FilesBelow(in), before);
  EXPECT_EQ(CountStudies(*store_), 0u);

  EXPECT_FALSE(store_->QueueFilePath("/f.dcm"));
  EXPECT_FALSE(store_->QueueFilePath("/in/f.dcm"));
  EXPECT_FALSE(store_->QueueFilePath(nullptr));
  EXPECT_FALSE(store_->QueueFilePath((std::string(5000, 'a') + "/b/c").c_str()));
}

TEST(KelvastAtRest, TheStoreIsItsUsersAloneAndSavesCutByAKillGoAtOpen) {
  const mode_t umaskBefore = ::umask(022);
  // A store left by an earlier run, readable by all, holding the temporary file of a save cut
  // by a kill, and one of a save this process still runs.
  const fs::path folder = orvanta::test::MakeTempDir("private") / "LOCAL";
  const fs::path series = folder / "1.2.3/00000002_1.2.3.4";
  fs::create_directories(series);
  fs::permissions(folder, fs::perms(0755));
  const fs::path cut = series / "000001_1.2.3.4.1.part2147483646_1";
  const fs::path running = series / ("000002_1.2.3.4.2.part" + std::to_string(getpid()) + "_1");
  std::ofstream(cut) << "half";
  std::ofstream(running) << "half";
  const std::set<fs::path> earlier{folder / "1.2.3", series, running};
  {
    StorePtr store = OpenStore(folder);
    ASSERT_TRUE(store->StoreFile(MakeFile(Dataset{}).get(), nullptr));
    Dataset other;
    other.studyUID = "1.2.4", other.seriesUID = "1.2.4.1", other.sopUID = "1.2.4.1.1";
    ASSERT_TRUE(store->QueueFile(MakeFile(other).get()));
    ASSERT_TRUE(store->CommitQueue());
  }
  for (int i = 0; i < 250 && fs::exists(cut); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(fs::exists(cut));
  EXPECT_TRUE(fs::exists(running));
  EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
  size_t checked = 0;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    if (earlier.count(entry.path())) continue;
    const fs::perms mode = entry.status().permissions();
    EXPECT_EQ(mode & (fs::perms::group_all | fs::perms::others_all), fs::perms::none) << entry.path();
    ++checked;
  }
  EXPECT_GE(checked, 8u);  // the new study's folders, both files, DB and its databases
  ::umask(umaskBefore);
}

TEST_F(KelvastTest, DeletesStayInsideTheStoreAndSkipSymlinkTargets) {
  fs::path outside = orvanta::test::MakeTempDir("victim");
  std::ofstream(outside / "precious") << "keep";
  ASSERT_TRUE(store_->StoreFile(MakeFile(Dataset{}).get(), nullptr));
  fs::create_directory_symlink(outside, folder_ / "link");

  // A study record tree that points its series at a link, at the store's parent and at DB.
  PatientRecord record;
  record.patientID = "P9";
  record.studyUID = "7.7";
  record.storePath = (folder_ / "..").string();
  for (std::string place : {(folder_ / "link").string(), (folder_ / "DB").string(), folder_.string(),
                            (folder_ / ".." / "victim").string()}) {
    SeriesRecord series;
    series.seriesUID = "7.7." + std::to_string(record.series.size() + 1);
    series.seriesNumber = std::to_string(record.series.size() + 1);
    series.storePath = place;
    InstanceRecord instance;
    instance.sopInstanceUID = series.seriesUID + ".1";
    instance.storePath = place + "/x";
    series.instances.push_back(instance);
    record.series.push_back(series);
  }
  ASSERT_TRUE(store_->AddPatientRecord(record));
  ASSERT_TRUE(store_->DeleteStudy("P9_7.7"));
  EXPECT_TRUE(Eventually([&] { return !fs::exists(fs::symlink_status(folder_ / "link")); }));
  EXPECT_TRUE(fs::is_regular_file(outside / "precious"));
  EXPECT_TRUE(fs::is_regular_file(folder_ / "DB/patients"));
  EXPECT_TRUE(fs::is_regular_file(folder_ / "1.2.3/00000002_1.2.3.4/000005_1.2.3.4.5"));
  EXPECT_EQ(CountStudies(*store_), 1u);
}

TEST_F(KelvastTest, DeleteStudyRemovesRowsAndFoldersAndAllowsReimport) {
  std::vector<std::unique_ptr<SODcmFile>> files;
  for (int s = 1; s <= 3; ++s) {
    Dataset d;
    d.seriesUID = "1.2.3." + std::to_string(s);
    d.seriesNumber = std::to_string(s);
    d.sopUID = d.seriesUID + ".1";
    files.push_back(MakeFile(d));
    ASSERT_TRUE(store_->StoreFile(files.back().get(), nullptr));
  }
  listener_.Take();
  EXPECT_FALSE(store_->DeleteStudy(nullptr));
  EXPECT_FALSE(store_->DeleteStudy("nobody"));
  ASSERT_TRUE(store_->DeleteStudy("P1_1.2.3"));
  EXPECT_EQ(listener_.Take(), (std::vector<std::string>{"removed:P1_1.2.3"}));
  EXPECT_EQ(CountStudies(*store_), 0u);
  EXPECT_EQ(CountStudies(*OpenStore(folder_)), 0u);
  // Nothing the store made for the study is left: no database, no folder.
  EXPECT_FALSE(fs::exists(folder_ / "DB/1.2.3"));
  EXPECT_FALSE(fs::exists(folder_ / "DB/1.2.3-wal"));
  EXPECT_FALSE(fs::exists(folder_ / "1.2.3"));

  // Re-imported at once: the background removal never touches the new files.
  for (auto& file : files) ASSERT_TRUE(store_->StoreFile(file.get(), nullptr));
  EXPECT_TRUE(Eventually([&] { return FilesBelow(folder_ / ".trash").empty(); }));
  std::vector<PatientRecord> studies;
  ASSERT_TRUE(store_->GetPatientRecords(studies, nullptr, true));
  ASSERT_EQ(studies.size(), 1u);
  ASSERT_EQ(studies[0].series.size(), 3u);
  for (const SeriesRecord& series : studies[0].series)
    for (const InstanceRecord& instance : series.instances) EXPECT_TRUE(fs::is_regular_file(instance.storePath));

  // A series goes silently.
  listener_.Take();
  ASSERT_TRUE(store_->DeleteSeries(studies[0].series[0].id.c_str()));
  EXPECT_TRUE(listener_.Take().empty());
  std::vector<SeriesRecord> left;
  ASSERT_TRUE(store_->GetSeriesRecords("P1_1.2.3", left, true));
  EXPECT_EQ(left.size(), 2u);
  EXPECT_TRUE(Eventually([&] { return !fs::exists(studies[0].series[0].storePath); }));
}

TEST_F(KelvastTest, QueuedFileDeletedBeforeItsCommitBlocksNoLaterCommit) {
  ASSERT_TRUE(store_->StoreFile(MakeFile(Dataset{}).get(), nullptr));
  Dataset queued;
  queued.sopUID = "1.2.3.4.6";
  ASSERT_TRUE(store_->QueueFile(MakeFile(queued).get()));
  ASSERT_TRUE(store_->DeleteStudy("P1_1.2.3"));
  Dataset other;
  other.patientID = "P2";
  other.studyUID = other.seriesUID = other.sopUID = "7.7";
  ASSERT_TRUE(store_->QueueFile(MakeFile(other).get()));
  EXPECT_TRUE(store_->CommitQueue());
  PatientRecord record;
  EXPECT_TRUE(store_->GetPatientRecord("P2_7.7", record, true));
}

TEST_F(KelvastTest, SharedStudyUidDeletesOnlyThatPatientsSeries) {
  Dataset p1;
  Dataset p2;
  p2.patientID = "P2";
  p2.seriesUID = "1.2.3.9";
  p2.sopUID = "1.2.3.9.1";
  ASSERT_TRUE(store_->StoreFile(MakeFile(p1).get(), nullptr));
  ASSERT_TRUE(store_->StoreFile(MakeFile(p2).get(), nullptr));
  std::vector<StudyRecord> studies;
  ASSERT_TRUE(store_->GetStudyRecords(studies, nullptr, false));
  EXPECT_EQ(studies.size(), 1u);
  EXPECT_EQ(CountStudies(*store_), 2u);

  ASSERT_TRUE(store_->DeleteStudy("P1_1.2.3"));
  PatientRecord other;
  ASSERT_TRUE(store_->GetPatientRecord("P2_1.2.3", other, true));
  ASSERT_EQ(other.series.size(), 1u);
  EXPECT_TRUE(fs::is_regular_file(other.series[0].instances[0].storePath));
  EXPECT_TRUE(fs::is_regular_file(folder_ / "DB/1.2.3"));
  int count = 0;
  ASSERT_TRUE(store_->GetStudyCount(&count));
  EXPECT_EQ(count, 1);
}

TEST_F(KelvastTest, SearchMatchesFourColumnsAnyCase) {
  struct Study {
    const char* pid;
    const char* name;
    const char* studyID;
    const char* description;
  } rows[] = {
      {"SMITH01", "Doe^John", "A", "HEAD"}, {"X2", "Smith^Ann", "B", "HEAD"}, {"X3", "Doe^Jane", "smithy", "HEAD"},
      {"X4", "Doe^Jim", "C", "post-Smith"}, {"X5", "O'Brien^Pat", "D", "CHEST"},
  };
  int n = 0;
  for (const Study& row : rows) {
    Dataset d;
    d.patientID = row.pid;
    d.patientName = row.name;
    d.studyID = row.studyID;
    d.studyDescription = row.description;
    d.studyUID = "2." + std::to_string(++n);
    d.seriesUID = d.studyUID + ".1";
    d.sopUID = d.studyUID + ".1.1";
    ASSERT_TRUE(store_->StoreFile(MakeFile(d).get(), nullptr));
  }
  std::vector<PatientRecord> found;
  ASSERT_TRUE(store_->GetPatientRecords(found, "smith", false));
  EXPECT_EQ(found.size(), 4u);
  ASSERT_TRUE(store_->GetPatientRecords(found, "O'Brien", false));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].patientID, "X5");
  ASSERT_TRUE(store_->GetPatientRecords(found, "", false));
  EXPECT_EQ(found.size(), 5u);
  std::vector<StudyRecord> studies;
  ASSERT_TRUE(store_->GetStudyRecords(studies, "HEAD", true));
  EXPECT_EQ(studies.size(), 3u);
}

// Texts arrive in the lists in UTF-8 whatever the file's character set; a store indexed when
// every text was taken as UTF-8 (replacement characters in the rows) is mended by the reindex.
TEST_F(KelvastTest, ListsShowTextsOfEveryCharacterSetAndReindexMendsOldRows) {
  struct Text {
    const char* charset;
    std::string name, description, expectedName, expectedDescription;
  } texts[] = {
      {"ISO_IR 100", "M\xfcller^Hans", "T\xf6rax", "M\xc3\xbcller^Hans", "T\xc3\xb6rax"},
      {"GB18030", "\xd5\xc5\xc8\xfd", "\xd0\xd8\xb2\xbf", "\xe5\xbc\xa0\xe4\xb8\x89", "\xe8\x83\xb8\xe9\x83\xa8"},
  };
  int n = 0;
  for (const Text& t : texts) {
    Dataset d;
    d.patientID = "C" + std::to_string(++n);
    d.studyUID = "3." + std::to_string(n);
    d.seriesUID = d.studyUID + ".1";
    d.sopUID = d.studyUID + ".1.1";
    auto file = MakeFile(d);
    SODcmDataset* ds = file->GetDataset();
    ds->SetString(0x00080005, t.charset);
    ds->SetString(0x00100010, t.name);
    for (unsigned long tag : {0x00081030UL, 0x0008103EUL, 0x00080080UL}) ds->SetString(tag, t.description);
    ASSERT_TRUE(store_->StoreFile(file.get(), nullptr));
  }
  auto expectTexts = [&] {
    for (int i = 0; i < 2; ++i) {
      const Text& t = texts[i];
      SCOPED_TRACE(t.charset);
      std::vector<PatientRecord> found;
      ASSERT_TRUE(store_->GetPatientRecords(found, t.expectedName.c_str(), true));
      ASSERT_EQ(found.size(), 1u);
      EXPECT_EQ(found[0].patientName, t.expectedName);
      EXPECT_EQ(found[0].studyDescription, t.expectedDescription);
      ASSERT_EQ(found[0].series.size(), 1u);
      EXPECT_EQ(found[0].series[0].seriesDescription, t.expectedDescription);
      EXPECT_EQ(found[0].series[0].institutionName, t.expectedDescription);
      std::vector<StudyRecord> studies;
      ASSERT_TRUE(store_->GetStudyRecords(studies, t.expectedName.c_str(), true));
      ASSERT_EQ(studies.size(), 1u);
      EXPECT_EQ(studies[0].patientName, t.expectedName);
      ASSERT_EQ(studies[0].series.size(), 1u);
      EXPECT_EQ(studies[0].series[0].seriesDescription, t.expectedDescription);
    }
  };
  expectTexts();

  // The rows as an earlier version wrote them: every non-ASCII byte a replacement character.
  const std::string lost = "M\xef\xbf\xbdller";
  auto spoil = [&](const fs::path& db, const char* study, const char* series) {
    CppSQLite3DB conn;
    conn.Open(db.c_str(), false);
    conn.Execute((std::string("UPDATE ") + study + " SET patientName = '" + lost + "', studyDescription = '" + lost +
                  "';").c_str());
    conn.Execute((std::string("UPDATE ") + series + " SET seriesDescription = '" + lost + "', institutionName = '" +
                  lost + "';").c_str());
  };
  spoil(folder_ / "DB/patients", "archive_patient", "archive_series");
  spoil(folder_ / "DB/patients", "archive_study", "archive_series");
  for (const char* uid : {"3.1", "3.2"}) spoil(folder_ / "DB" / uid, "dcm_study", "dcm_series");
  std::vector<PatientRecord> spoiled;
  ASSERT_TRUE(store_->GetPatientRecords(spoiled, lost.c_str(), false));
  ASSERT_EQ(spoiled.size(), 2u);

  // A third series whose only file is gone keeps its rows and is counted apart.
  Dataset gone;
  gone.patientID = "C9";
  gone.studyUID = "3.9";
  gone.seriesUID = "3.9.1";
  gone.sopUID = "3.9.1.1";
  ASSERT_TRUE(store_->StoreFile(MakeFile(gone).get(), nullptr));
  fs::remove(folder_ / "3.9/00000002_3.9.1/000005_3.9.1.1");

  Kelvast::ReindexResult result;
  std::vector<std::pair<int, int>> steps;
  ASSERT_TRUE(static_cast<Kelvast&>(*store_).ReindexTexts(result, [&](int done, int total) {
    steps.emplace_back(done, total);
  }));
  EXPECT_EQ(result.series, 3);
  EXPECT_EQ(result.rewritten, 2);
  EXPECT_EQ(result.unreadable, 1);
  EXPECT_EQ(steps.back(), std::make_pair(3, 3));
  expectTexts();
  ASSERT_TRUE(store_->GetPatientRecords(spoiled, lost.c_str(), false));
  EXPECT_TRUE(spoiled.empty());
  PatientRecord kept;
  EXPECT_TRUE(store_->GetPatientRecord("C9_3.9", kept, false));
}

// Long lists read the series table in one pass; each study must still get exactly its own.
TEST_F(KelvastTest, LongListsCarryEachStudysOwnSeries) {
  for (int s = 0; s < 80; ++s) {
    PatientRecord record;
    record.patientID = "P" + std::to_string(s % 40);  // two patients share each Study UID
    record.studyUID = "6." + std::to_string(s / 2);
    for (int n : {10, 2}) {
      SeriesRecord series;
      series.seriesUID = record.studyUID + "." + std::to_string(s) + "." + std::to_string(n);
      series.seriesNumber = std::to_string(n);
      series.instances.resize(1);
      series.instances[0].sopInstanceUID = series.seriesUID + ".1";
      record.series.push_back(series);
    }
    ASSERT_TRUE(store_->AddPatientRecord(record));
  }
  std::vector<PatientRecord> studies;
  ASSERT_TRUE(store_->GetPatientRecords(studies, nullptr, false));
  ASSERT_EQ(studies.size(), 80u);
  for (const PatientRecord& study : studies) {
    ASSERT_EQ(study.series.size(), 2u) << study.id;
    EXPECT_EQ(study.series[0].seriesNumber, "2");
    for (const SeriesRecord& series : study.series) {
      EXPECT_EQ(series.patientID, study.patientID);
      EXPECT_EQ(series.studyUID, study.studyUID);
    }
  }
  std::vector<StudyRecord> shared;
  ASSERT_TRUE(store_->GetStudyRecords(shared, nullptr, false));
  ASSERT_EQ(shared.size(), 40u);
  for (const StudyRecord& study : shared) EXPECT_EQ(study.series.size(), 4u) << study.id;
}

TEST_F(KelvastTest, WorkflowColumnsOnlyThroughTheirSetters) {
  ASSERT_TRUE(store_->StoreFile(MakeFile(Dataset{}).get(), nullptr));
  listener_.Take();
  ASSERT_TRUE(store_->SetPatientFlag("P1_1.2.3", "unread", false));
  ASSERT_TRUE(store_->SetPatientState("P1_1.2.3", "printState", -2));
  ASSERT_TRUE(store_->SetPatientText("P1_1.2.3", "remoteID", "it's"));
  EXPECT_EQ(listener_.Take().size(), 3u);
  // Any other column name is refused before it reaches SQL.
  EXPECT_FALSE(store_->SetPatientText("P1_1.2.3", "storePath", "/"));
  EXPECT_FALSE(store_->SetPatientText("P1_1.2.3", "id", "x"));
  EXPECT_FALSE(store_->SetPatientState("P1_1.2.3", "unread", 1));
  EXPECT_FALSE(store_->SetPatientFlag("P1_1.2.3", "remoteID", true));
  EXPECT_TRUE(listener_.Take().empty());
  PatientRecord study;
  ASSERT_TRUE(store_->GetPatientRecord("P1_1.2.3", study, false));
  EXPECT_FALSE(study.unread);
  EXPECT_EQ(study.printState, -2);
  EXPECT_EQ(study.remoteID, "it's");
  EXPECT_EQ(study.storePath, (folder_ / "1.2.3").string());
}

TEST_F(KelvastTest, FreeSeriesNumberSkipsUsedNumbers) {
  struct Case {
    std::vector<std::string> numbers;
    int first;
    int free;
  } cases[] = {
      {{}, 1, 1}, {{"2", "1"}, 1, 3}, {{"1", "2", "4"}, 1, 3}, {{"", "1"}, 1, 2}, {{"4"}, 1, 1}, {{"5", "6"}, 5, 7},
  };
  int n = 0;
  for (const Case& c : cases) {
    PatientRecord record;
    record.studyUID = "3." + std::to_string(++n);
    for (size_t i = 0; i < c.numbers.size(); ++i) {
      SeriesRecord series;
      series.seriesUID = record.studyUID + "." + std::to_string(i + 1);
      series.seriesNumber = c.numbers[i];
      series.instances.resize(1);
      series.instances[0].sopInstanceUID = series.seriesUID + ".1";
      record.series.push_back(series);
    }
    ASSERT_TRUE(store_->AddPatientRecord(record));
    EXPECT_EQ(store_->GetFreeSeriesNumber(record.studyUID.c_str(), c.first), c.free) << n;
  }
  EXPECT_EQ(store_->GetFreeSeriesNumber("..", 4), 4);
}

TEST_F(KelvastTest, CommitmentCountsOnlyInstancesWhoseFileIsHere) {
  Dataset kept;
  Dataset gone;
  gone.sopUID = "1.2.3.4.6";
  gone.instanceNumber = "6";
  ASSERT_TRUE(store_->StoreFile(MakeFile(kept).get(), nullptr));
  InstanceRecord goneRow;
  ASSERT_TRUE(store_->StoreFile(MakeFile(gone).get(), &goneRow));
  fs::remove(goneRow.storePath);

  SODcmCommitResult result;
  result.failed.push_back({"0", "earlier"});
  std::vector<SODcmReferencedSOP> requested = {
      {"9.9.9", "1.2.3.4.5"}, {kept.sopClass, "1.2.3.4.6"}, {kept.sopClass, "5.5"}};
  ASSERT_TRUE(store_->CheckCommitment(requested, result));
  ASSERT_EQ(result.success.size(), 1u);
  EXPECT_EQ(result.success[0].sopClassUID, "9.9.9");
  ASSERT_EQ(result.failed.size(), 3u);
  EXPECT_EQ(result.failed[1].sopInstanceUID, "1.2.3.4.6");

  std::vector<SODcmReferencedSOP> sops;
  ASSERT_TRUE(store_->GetReferencedSOPs(sops));
  EXPECT_EQ(sops.size(), 2u);
}

TEST_F(KelvastTest, UnwritableIndexAnswersFalseAndKeepsRecordsPending) {
  // A patients database that is not a database: reported, never replaced.
  fs::create_directories(folder_ / "DB");
  std::ofstream(folder_ / "DB/patients") << std::string(2048, 'z');
  EXPECT_FALSE(store_->StoreFile(MakeFile(Dataset{}).get(), nullptr));
  Dataset second;
  second.studyUID = "4.4";
  second.seriesUID = "4.4.1";
  second.sopUID = "4.4.1.1";
  ASSERT_TRUE(store_->QueueFile(MakeFile(second).get()));
  EXPECT_FALSE(store_->CommitQueue());
  EXPECT_TRUE(listener_.Take().empty());
  std::vector<PatientRecord> studies;
  EXPECT_FALSE(store_->GetPatientRecords(studies, nullptr, false));
  int count = -1;
  EXPECT_FALSE(store_->GetStudyCount(&count));
  EXPECT_EQ(fs::file_size(folder_ / "DB/patients"), 2048u);

  // Once the index is writable again the next commit writes both.
  fs::remove(folder_ / "DB/patients");
  ASSERT_TRUE(store_->CommitQueue());
  EXPECT_EQ(CountStudies(*store_), 2u);
}

TEST_F(KelvastTest, ValuesRoundTrip) {
  std::string value = "caller's";
  EXPECT_TRUE(store_->GetValue("HasDownload", value));
  EXPECT_EQ(value, "");
  EXPECT_FALSE(fs::exists(folder_ / "DB/values"));
  ASSERT_TRUE(store_->SetValue("HasDownload", "true"));
  ASSERT_TRUE(store_->SetValue("HasDownload", "true"));
  ASSERT_TRUE(store_->SetValue("hasdownload", "it's \"quoted\""));
  ASSERT_TRUE(store_->SetValue("empty", ""));
  EXPECT_TRUE(store_->GetValue("HasDownload", value));
  EXPECT_EQ(value, "true");
  EXPECT_TRUE(store_->GetValue("hasdownload", value));
  EXPECT_EQ(value, "it's \"quoted\"");
  EXPECT_TRUE(store_->GetValue("empty", value));
  EXPECT_EQ(value, "");
  EXPECT_FALSE(store_->GetValue("never", value));
  EXPECT_FALSE(store_->GetValue(nullptr, value));
  EXPECT_FALSE(store_->SetValue("x", nullptr));
  CppSQLite3DB db;
  db.Open((folder_ / "DB/values").c_str());
  EXPECT_EQ(db.QueryInt("SELECT count(*) FROM tb_valuse"), 3);
}

TEST_F(KelvastTest, ListenersAreKeptOnceAndRemovedInOrder) {
  RecordingListener second;
  store_->AddListener(&second);
  store_->AddListener(&second);
  store_->AddListener(nullptr);
  ASSERT_TRUE(store_->AddPatientRecord(PatientRecord{}));
  EXPECT_EQ(listener_.Take(), (std::vector<std::string>{"store"}));
  EXPECT_EQ(second.Take(), (std::vector<std::string>{"store"}));
  store_->RemoveListener(&second);
  store_->RemoveListener(&second);
  ASSERT_TRUE(store_->AddPatientRecord(PatientRecord{}));
  EXPECT_TRUE(second.Take().empty());
  EXPECT_EQ(listener_.Take().size(), 1u);
}

TEST_F(KelvastTest, PendingRecordsAreWrittenWhenTheStoreGoes) {
  ASSERT_TRUE(store_->QueueFile(MakeFile(Dataset{}).get()));
  store_.reset();
  EXPECT_EQ(CountStudies(*OpenStore(folder_)), 1u);
}

// A process killed after queueing and before its commit: the next store opened on the folder
// lists every queued file once, copies and files registered in place alike, while the queue of
// a store still open stays its own.
TEST_F(KelvastTest, QueueOfAKilledProcessIsCommittedByTheNextOpening) {
  const fs::path inPlace = folder_.parent_path() / "in" / "s1" / "f.dcm";
  fs::create_directories(inPlace.parent_path());
  Dataset registered;
  registered.studyUID = registered.seriesUID = registered.sopUID = "8.8";
  ASSERT_TRUE(MakeFile(registered)->SaveFile(inPlace.c_str()));
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    IKelvast* store = BuildDB(folder_.c_str());
    bool queued = store->QueueFilePath(inPlace.c_str());
    for (int i = 1; i <= 5; ++i) {
      Dataset d;
      d.sopUID = "1.2.3.4." + std::to_string(i);
      d.instanceNumber = std::to_string(i);
      queued = store->QueueFile(MakeFile(d).get()) && queued;
    }
    if (queued) raise(SIGKILL);
    _exit(1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(fs::status(folder_ / ".queue").permissions(), fs::perms::owner_all);

  auto listed = [&](IKelvast& store) {
    std::vector<InstanceRecord> instances;
    EXPECT_TRUE(store.GetAllInstanceRecords(instances));
    std::multiset<std::string> uids;
    for (const InstanceRecord& instance : instances) {
      uids.insert(instance.sopInstanceUID);
      EXPECT_TRUE(fs::is_regular_file(instance.storePath)) << instance.storePath;
    }
    return uids;
  };
  const std::multiset<std::string> all{"1.2.3.4.1", "1.2.3.4.2", "1.2.3.4.3", "1.2.3.4.4", "1.2.3.4.5", "8.8"};
  EXPECT_EQ(listed(*OpenStore(folder_)), all);
  EXPECT_EQ(listed(*OpenStore(folder_)), all);
  EXPECT_TRUE(FilesBelow(folder_ / ".queue").empty());

  Dataset live;
  live.sopUID = "1.2.3.4.9";
  ASSERT_TRUE(store_->QueueFile(MakeFile(live).get()));
  EXPECT_EQ(listed(*OpenStore(folder_)).count("1.2.3.4.9"), 0u);
  ASSERT_TRUE(store_->CommitQueue());
  EXPECT_EQ(listed(*OpenStore(folder_)).count("1.2.3.4.9"), 1u);
  EXPECT_TRUE(FilesBelow(folder_ / ".queue").empty());
}

// A long queue gets its files flushed and its study rows written while it grows; the study is
// still listed only by the commit, with every instance once.
TEST_F(KelvastTest, LongQueueIsListedOnlyByItsCommit) {
  constexpr int kFiles = 450;
  for (int i = 1; i <= kFiles; ++i) {
    Dataset d;
    d.sopUID = "1.2.3.4." + std::to_string(i);
    d.instanceNumber = std::to_string(i);
    ASSERT_TRUE(store_->QueueFile(MakeFile(d).get()));
  }
  EXPECT_TRUE(Eventually([&] { return fs::exists(folder_ / "DB" / "1.2.3"); }));
  EXPECT_EQ(CountStudies(*store_), 0u);
  EXPECT_TRUE(listener_.Take().empty());
  ASSERT_TRUE(store_->CommitQueue());
  std::vector<InstanceRecord> instances;
  ASSERT_TRUE(store_->GetAllInstanceRecords(instances));
  std::set<std::string> uids;
  for (const InstanceRecord& instance : instances) uids.insert(instance.sopInstanceUID);
  EXPECT_EQ(instances.size(), size_t(kFiles));
  EXPECT_EQ(uids.size(), size_t(kFiles));
  EXPECT_EQ(listener_.Take(), (std::vector<std::string>{"changed:P1_1.2.3", "store"}));
}

TEST_F(KelvastTest, ConcurrentImportsAndListingsLoseNoRows) {
  constexpr int kThreads = 4;
  constexpr int kStudies = 5;
  constexpr int kFiles = 6;
  std::atomic<bool> done{false};
  std::atomic<int> failures{0};
  std::thread lister([&] {
    while (!done) {
      std::vector<PatientRecord> studies;
      if (!store_->GetPatientRecords(studies, nullptr, true)) ++failures;
    }
  });
  std::vector<std::thread> importers;
  for (int t = 0; t < kThreads; ++t) {
    importers.emplace_back([&, t] {
      for (int s = 0; s < kStudies; ++s) {
        for (int f = 0; f < kFiles; ++f) {
          Dataset d;
          d.studyUID = "5." + std::to_string(t) + "." + std::to_string(s);
          d.seriesUID = d.studyUID + ".1";
          d.sopUID = d.seriesUID + "." + std::to_string(f);
          d.instanceNumber = std::to_string(f);
          auto file = MakeFile(d);
          // Half the files go through StoreFile (committed together with other threads' files,
          // each answering its own row), half through the queue.
          InstanceRecord record;
          bool ok = f % 2 ? store_->StoreFile(file.get(), &record) && record.sopInstanceUID == d.sopUID
                          : store_->QueueFile(file.get());
          if (!ok) ++failures;
        }
        if (!store_->CommitQueue()) ++failures;
      }
    });
  }
  for (auto& t : importers) t.join();
  done = true;
  lister.join();
  EXPECT_EQ(failures.load(), 0);
  std::vector<InstanceRecord> instances;
  ASSERT_TRUE(store_->GetAllInstanceRecords(instances));
  EXPECT_EQ(instances.size(), size_t(kThreads * kStudies * kFiles));
  EXPECT_EQ(CountStudies(*store_), size_t(kThreads * kStudies));
}

// Every database passes integrity_check and every instance row's file parses.
void ExpectConsistent(const fs::path& folder) {
  if (!fs::exists(folder / "DB")) return;  // killed before the store made its first database
  for (const auto& entry : fs::directory_iterator(folder / "DB")) {
    std::string name = entry.path().filename().string();
    if (name.find('-') != std::string::npos) continue;  // -wal, -shm
    CppSQLite3DB db;
    db.Open(entry.path().c_str(), false);
    CppSQLite3Query q = db.Query("PRAGMA integrity_check");
    EXPECT_STREQ(q.FieldText(0), "ok") << name;
  }
  auto store = OpenStore(folder);
  std::vector<PatientRecord> studies;
  ASSERT_TRUE(store->GetPatientRecords(studies, nullptr, true));
  for (const PatientRecord& study : studies) {
    EXPECT_FALSE(study.series.empty()) << study.id;
    for (const SeriesRecord& series : study.series) {
      EXPECT_FALSE(series.instances.empty()) << series.id;
      for (const InstanceRecord& instance : series.instances) {
        SODcmFile file;
        EXPECT_TRUE(file.LoadFile(instance.storePath.c_str(), true)) << instance.storePath;
      }
    }
  }
}

int EnvCount(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value && std::atoi(value) > 0 ? std::atoi(value) : fallback;
}

// The SOP Instance UIDs whose StoreFile answered true since the last clear of the store began, from
// the child's log: one UID a line, "clear" before each ClearStore. QueueFile's answer counts as
// StoreFile's: a queued file is the store's even before its commit.
std::set<std::string> Acknowledged(const fs::path& log) {
  std::set<std::string> uids;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line == "clear")
      uids.clear();
    else if (!line.empty())
      uids.insert(line);
  }
  return uids;
}

// Appends one line with a single write, so a kill leaves whole lines behind.
void AppendLine(int fd, const std::string& text) {
  const std::string line = text + "\n";
  if (write(fd, line.data(), line.size()) != ssize_t(line.size())) _exit(3);
}

// CI runs 120 files and 20 kills; bench/store_crash.sh runs the full 2,000 files and 20 kills
// through KELVAST_CRASH_FILES and KELVAST_CRASH_KILLS. Besides a consistent index, every file
// whose StoreFile or QueueFile answered true must still be listed and parse after the kill.
TEST(KelvastCrash, KilledImportsLeaveAConsistentIndex) {
  const int fileCount = EnvCount("KELVAST_CRASH_FILES", 120), kills = EnvCount("KELVAST_CRASH_KILLS", 20);
  fs::path in = orvanta::test::MakeTempDir("crash-in");
  fx::CtSeriesOptions options;
  options.rows = options.columns = 64;
  std::vector<fs::path> files;
  for (int s = 0, made = 0; made < fileCount; ++s, made += options.slices) {
    options.slices = std::min(30, fileCount - made);
    auto series = fx::WriteCtSeries(in / std::to_string(s), options);
    files.insert(files.end(), series.files.begin(), series.files.end());
  }
  fs::path folder = orvanta::test::MakeTempDir("crash") / "LOCAL";
  const fs::path log = folder.parent_path() / "acknowledged.log";
  std::mt19937 random(11);
  size_t acknowledgedAtKills = 0;
  // Kill moments spread over about one pass through the files (some 2 ms a file).
  const unsigned spread = 400 + 2 * unsigned(files.size());
  for (int round = 0; round < kills; ++round) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      IKelvast* store = out >= 0 ? BuildDB(folder.c_str()) : nullptr;
      if (!store) _exit(2);
      for (int pass = 0;; ++pass) {
        for (size_t i = 0; i < files.size(); ++i) {
          SODcmFile file;
          InstanceRecord record;
          if (!file.LoadFile(files[i].c_str())) _exit(4);
          InstanceInfo info;
          if (i % 3 != 0) {
            if (GetInstanceInfo(&file, info) && store->QueueFile(&file)) AppendLine(out, info.sopInstanceUID);
          } else if (store->StoreFile(&file, &record))
            AppendLine(out, record.sopInstanceUID);
          if (i % 10 == 9) store->CommitQueue();
        }
        AppendLine(out, "clear");
        store->ClearStore();
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % spread));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    // A child that ended by itself (a crash, a failed start) did not do the work checked here.
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "child status " << status;
    ExpectConsistent(folder);

    const std::set<std::string> acknowledged = Acknowledged(log);
    acknowledgedAtKills += acknowledged.size();
    std::vector<InstanceRecord> instances;
    ASSERT_TRUE(OpenStore(folder)->GetAllInstanceRecords(instances));
    std::map<std::string, std::string> stored;
    for (const InstanceRecord& instance : instances) stored[instance.sopInstanceUID] = instance.storePath;
    for (const std::string& uid : acknowledged) {
      auto found = stored.find(uid);
      ASSERT_NE(found, stored.end()) << "acknowledged " << uid << " lost in round " << round;
      SODcmFile file;
      EXPECT_TRUE(file.LoadFile(found->second.c_str(), true)) << found->second;
    }
  }
  // The kills must have found stored files to check, or the test proved nothing.
  EXPECT_GT(acknowledgedAtKills, 0u);
}

TEST(KelvastDiskFull, FailedSavesLeaveNoRowsAndNoTemporaryFiles) {
  fs::path folder = orvanta::test::MakeTempDir("full") / "LOCAL";
  fs::path in = orvanta::test::MakeTempDir("full-in");
  fx::CtSeriesOptions options;
  options.slices = 2;
  options.rows = options.columns = 256;  // 128 KiB of pixels, above the limit below
  auto series = fx::WriteCtSeries(in, options);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{64 * 1024, 64 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    IKelvast* store = BuildDB(folder.c_str());
    SODcmFile file;
    bool loaded = file.LoadFile(series.files[0].c_str(), true);
    bool stored = store->StoreFile(&file, nullptr);
    bool queued = store->QueueFile(&file);
    bool committed = store->CommitQueue();
    _exit(loaded && !stored && !queued && committed ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  for (const std::string& file : FilesBelow(folder)) EXPECT_EQ(file.rfind("DB/", 0), 0u) << file;
  auto store = OpenStore(folder);
  std::vector<PatientRecord> studies;
  ASSERT_TRUE(store->GetPatientRecords(studies, nullptr, false));
  EXPECT_TRUE(studies.empty());
}

}  // namespace
