#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <set>

#include "InstanceInfo.h"
#include "StoreLayout.h"
#include "StoreTestUtil.h"
#include "TestSupport.h"

namespace {

using namespace storetest;

// Real files of other producers: every file the store takes gets exactly one stored copy outside
// DB/ and one row; every file it refuses has a UID that cannot name a file.
TEST(KelvastImport, PydicomFilesAndDicomdirTree) {
  fs::path root = orvanta::test::PydicomTestFiles();
  if (root.empty()) GTEST_SKIP() << "python3-pydicom test files not installed";
  fs::path folder = orvanta::test::MakeTempDir("pydicom") / "LOCAL";
  auto store = OpenStore(folder);
  std::set<std::string> paths;  // store-relative paths of the accepted files
  // Instance rows are keyed by study and instance key: a SOP Instance UID repeated in another
  // series of the study (the RT dose files do so) keeps its first row.
  std::map<std::string, std::string> firstRow;
  std::set<std::string> studies;
  int refused = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    SODcmFile file;
    if (!file.LoadFile(entry.path().c_str())) continue;
    InstanceInfo info;
    bool storable = GetInstanceInfo(&file, info) && StoreLayout::IsSafeUID(info.studyUID) &&
                    StoreLayout::IsSafeUID(info.seriesUID) && StoreLayout::IsSafeUID(info.sopInstanceUID);
    EXPECT_EQ(store->QueueFile(&file), storable) << entry.path();
    if (storable) {
      paths.insert(StoreLayout::GetInstancePath(info));
      firstRow.emplace(info.studyUID + "/" + info.instanceKey, StoreLayout::GetInstancePath(info));
      studies.insert(info.sid);
    } else {
      ++refused;
    }
  }
  ASSERT_TRUE(store->CommitQueue());
  ASSERT_GT(paths.size(), 50u);

  std::vector<PatientRecord> listed;
  ASSERT_TRUE(store->GetPatientRecords(listed, nullptr, true));
  EXPECT_EQ(listed.size(), studies.size());
  std::set<std::string> rows;
  for (const PatientRecord& study : listed)
    for (const SeriesRecord& series : study.series)
      for (const InstanceRecord& instance : series.instances) {
        EXPECT_TRUE(rows.insert(instance.storePath).second) << instance.storePath;
        SODcmFile stored;
        EXPECT_TRUE(stored.LoadFile(instance.storePath.c_str())) << instance.storePath;
      }
  std::set<std::string> expected, stored;
  for (const auto& [key, path] : firstRow) expected.insert(StoreLayout::Join(folder.string(), path));
  for (const std::string& path : paths) stored.insert(StoreLayout::Join(folder.string(), path));
  std::vector<std::string> missing, extra;
  std::set_difference(expected.begin(), expected.end(), rows.begin(), rows.end(), std::back_inserter(missing));
  std::set_difference(rows.begin(), rows.end(), expected.begin(), expected.end(), std::back_inserter(extra));
  EXPECT_TRUE(missing.empty()) << missing.size() << " unlisted, first " << missing.front();
  EXPECT_TRUE(extra.empty()) << extra.size() << " listed without a file, first " << extra.front();
  std::set<std::string> onDisk;
  for (const std::string& file : FilesBelow(folder))
    if (file.rfind("DB/", 0) != 0) onDisk.insert(StoreLayout::Join(folder.string(), file));
  EXPECT_EQ(onDisk, stored);
  int count = 0;
  ASSERT_TRUE(store->GetStudyCount(&count));
  std::set<std::string> studyUIDs;
  for (const PatientRecord& study : listed) studyUIDs.insert(study.studyUID);
  EXPECT_EQ(size_t(count), studyUIDs.size());
  std::printf("pydicom import: %zu files stored, %zu rows, %zu studies, %d refused\n", stored.size(), rows.size(),
              listed.size(), refused);
}

}  // namespace
