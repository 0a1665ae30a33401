#pragma once

#include "IKelvast.h"

#include <filesystem>
#include <vector>

// A store in a test's folder, released with the test.
struct TestStore {
  IKelvast* store;
  explicit TestStore(const std::filesystem::path& folder) : store(BuildDB(folder.c_str())) {}
  ~TestStore() { ReleaseDB(store); }
  TestStore(const TestStore&) = delete;
  TestStore& operator=(const TestStore&) = delete;

  int Studies() {
    int count = -1;
    store->GetStudyCount(&count);
    return count;
  }
  size_t Instances() {
    std::vector<PatientRecord> studies;
    store->GetPatientRecords(studies, nullptr, true);
    size_t n = 0;
    for (auto& study : studies)
      for (auto& series : study.series) n += series.instances.size();
    return n;
  }
};
