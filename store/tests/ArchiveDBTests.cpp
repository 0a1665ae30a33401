#include <gtest/gtest.h>

#include <ctime>

#include "ArchiveDB.h"
#include "StoreTestUtil.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

struct CountingArchiveListener : IArchiveDBListener {
  int added = 0;
  void OnStoreAdded(IArchiveDB*) override { ++added; }
};

struct ArchiveDeleter {
  void operator()(IArchiveDB* archive) const { ReleaseArchiveDB(archive); }
};

TEST(ArchiveDB, OpensStoresOnceAndCountsReferences) {
  fs::path root = orvanta::test::MakeTempDir("archive") / "OrvantaImages";
  std::unique_ptr<IArchiveDB, ArchiveDeleter> archive(BuildArchiveDB(root.c_str()));
  ASSERT_TRUE(archive);
  CountingArchiveListener listener;
  archive->AddListener(&listener);

  StoreRecord record;
  IKelvast* local = archive->OpenStore(nullptr, &record);
  ASSERT_TRUE(local);
  EXPECT_TRUE(fs::is_regular_file(root / "DB/archive"));
  EXPECT_TRUE(fs::is_directory(root / "LOCAL"));
  EXPECT_EQ(record.storeName, "LOCAL");
  EXPECT_EQ(record.status, "Waiting");
  EXPECT_LE(std::abs(record.createdTime - std::time(nullptr)), 5);
  EXPECT_EQ(listener.added, 1);

  EXPECT_EQ(archive->OpenStore("LOCAL", nullptr), local);
  EXPECT_EQ(listener.added, 1);
  EXPECT_EQ(archive->GetStore(nullptr), local);
  EXPECT_TRUE(archive->HasStore("LOCAL"));
  EXPECT_TRUE(archive->ReleaseStore(local));
  EXPECT_TRUE(archive->HasStore("LOCAL"));
  EXPECT_TRUE(archive->ReleaseStore(local));
  EXPECT_FALSE(archive->HasStore("LOCAL"));
  EXPECT_FALSE(archive->ReleaseStore(local));
  EXPECT_EQ(archive->GetStore("LOCAL"), nullptr);  // a row, but not open

  // Names become folders: nothing that leaves the root or hits its database.
  for (const char* name : {"", ".", "..", "DB", "a/b", "a\\b", "../x"}) EXPECT_EQ(archive->OpenStore(name, nullptr), nullptr) << name;

  IKelvast* remote = archive->OpenStore("case-17", nullptr);
  ASSERT_TRUE(remote);
  EXPECT_EQ(listener.added, 2);
  std::vector<StoreRecord> records;
  ASSERT_TRUE(archive->GetStoreRecords(records));
  ASSERT_EQ(records.size(), 2u);

  StoreRecord changed = records[1];
  changed.status = "Done";
  changed.id = records[0].id;  // id of another name: nothing matches
  EXPECT_TRUE(archive->UpdateStoreRecord(changed));
  ASSERT_TRUE(archive->GetStoreRecord("case-17", record));
  EXPECT_EQ(record.status, "Waiting");
  changed.id = records[1].id;
  changed.updatedTime = 5000000000;  // beyond 32 bits
  EXPECT_TRUE(archive->UpdateStoreRecord(changed));
  ASSERT_TRUE(archive->GetStoreRecord("case-17", record));
  EXPECT_EQ(record.status, "Done");
  EXPECT_EQ(record.updatedTime, 5000000000);
}

TEST(ArchiveDB, ClosedArchiveAnswersFalse) {
  ArchiveDB closed;
  std::vector<StoreRecord> records(3);
  EXPECT_FALSE(closed.GetStoreRecords(records));
  EXPECT_TRUE(records.empty());
  EXPECT_EQ(closed.OpenStore(nullptr, nullptr), nullptr);
  StoreRecord record;
  EXPECT_FALSE(closed.GetStoreRecord(nullptr, record));
  EXPECT_FALSE(closed.UpdateStoreRecord(record));
  EXPECT_FALSE(closed.HasStore("LOCAL"));
  EXPECT_EQ(BuildArchiveDB(nullptr), nullptr);
  ReleaseArchiveDB(nullptr);
}

}  // namespace
