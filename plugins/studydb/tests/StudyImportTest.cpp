// Folder import into a real store: status texts, one study, repeat imports, files of the store.

#include "DicomFixtures.h"
#include "IKelvast.h"
#include "SODcmFile.h"
#include "SOUtil.h"
#include "StudyJobs.h"
#include "TestStore.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

namespace fs = std::filesystem;
using orvanta::test::MakeTempDir;

namespace {

std::vector<std::string> FolderFiles(const fs::path& folder) {
  std::vector<std::string> files;
  SOUtil::FindFiles(folder.c_str(), files, true);
  return files;
}

}  // namespace

TEST(StudyImport, CountsEveryFileAndListsTheStudyOnce) {
  fs::path source = MakeTempDir("src");
  orvanta::fixtures::CtSeriesOptions options;
  options.slices = 3;
  options.rows = options.columns = 16;
  auto series = orvanta::fixtures::WriteCtSeries(source, options);
  std::ofstream(source / "readme.txt") << "not DICOM";
  TestStore holder(MakeTempDir("store"));

  std::vector<std::string> statuses;
  auto status = [&](const std::string& text) { statuses.push_back(text); };
  RunImport(FolderFiles(source), holder.store, status);
  EXPECT_EQ(statuses, (std::vector<std::string>{"", "Importing 1/4", "Importing 2/4", "Importing 3/4", "Importing 4/4",
                                                "Import finished!"}));
  std::vector<PatientRecord> studies;
  ASSERT_TRUE(holder.store->GetPatientRecords(studies, nullptr, true));
  ASSERT_EQ(studies.size(), 1u);
  EXPECT_EQ(studies[0].studyUID, series.studyUid);
  ASSERT_EQ(studies[0].series.size(), 1u);
  EXPECT_EQ(studies[0].series[0].instances.size(), 3u);

  // Again, then from the store's own files: one study with three instances, files intact.
  RunImport(FolderFiles(source), holder.store, status);
  std::vector<std::string> stored;
  for (const InstanceRecord& instance : studies[0].series[0].instances) stored.push_back(instance.storePath);
  auto sizeBefore = fs::file_size(stored[0]);
  RunImport(stored, holder.store, status);
  studies.clear();
  ASSERT_TRUE(holder.store->GetPatientRecords(studies, nullptr, true));
  ASSERT_EQ(studies.size(), 1u);
  EXPECT_EQ(studies[0].series[0].instances.size(), 3u);
  EXPECT_EQ(fs::file_size(stored[0]), sizeBefore);
  SODcmFile file;
  EXPECT_TRUE(file.LoadFile(stored[0].c_str(), true));
}

TEST(StudyImport, NothingLoadsStillCountsAndFinishes) {
  fs::path source = MakeTempDir("src");
  std::ofstream(source / "a.txt") << "x";
  std::ofstream(source / "b.txt") << "y";
  TestStore holder(MakeTempDir("store"));
  std::vector<std::string> statuses;
  RunImport(FolderFiles(source), holder.store, [&](const std::string& text) { statuses.push_back(text); });
  EXPECT_EQ(statuses, (std::vector<std::string>{"", "Importing 1/2", "Importing 2/2", "Import finished!"}));
  EXPECT_EQ(holder.Studies(), 0);
}

TEST(StudyImport, TransferProgressNeverDividesByZero) {
  EXPECT_EQ(MakeTransferProgress(0, 0).percent, 0);
  EXPECT_EQ(MakeTransferProgress(0, 0).text, "0/0");
  EXPECT_EQ(MakeTransferProgress(30, 120).percent, 25);
  EXPECT_EQ(MakeTransferProgress(120, 120).text, "120/120");
  EXPECT_EQ(MakeTransferProgress(130, 120).percent, 100);
}
