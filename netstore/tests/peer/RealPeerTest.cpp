#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "../Recorder.h"
#include "DicomFixtures.h"
#include "PeerProgram.h"
#include "TestSupport.h"

namespace {

using halvextest::HalvexPtr;
using halvextest::Recorder;
namespace fs = std::filesystem;
namespace fx = orvanta::fixtures;

constexpr const char* kCTImageStorage = "1.2.840.10008.5.1.4.1.1.2";

fx::WrittenSeries Series(const fs::path& folder, int slices) {
  fx::CtSeriesOptions options;
  options.slices = slices;
  options.rows = options.columns = 16;
  return fx::WriteCtSeries(folder, options);
}

template <typename Item>
Item Connection(const std::string& key, int port, const std::string& calledAE) {
  Item item;
  item.key = key;
  item.host = "127.0.0.1";
  item.port = port;
  item.callingAE = "ORVANTA";
  item.calledAE = calledAE;
  return item;
}

DCMUpload UploadOf(const fx::WrittenSeries& series, const std::string& key, int port,
                   const std::string& calledAE) {
  DCMUpload upload = Connection<DCMUpload>(key, port, calledAE);
  for (size_t i = 0; i < series.files.size(); ++i)
    upload.files.push_back({kCTImageStorage, series.sopUids[i], series.files[i].string()});
  return upload;
}

size_t FilesIn(const fs::path& dir) {
  size_t n = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) n += entry.is_regular_file();
  return n;
}

// storescp stores but knows no storage commitment: every commitment fails.
TEST(StoreScpPeer, CommitmentFailuresGiveTheirTexts) {
  fs::path dir = orvanta::test::MakeTempDir("storescp");
  fs::create_directories(dir / "in");
  int port = orvanta::test::FreeLoopbackPort();
  netpeer::PeerProgram storescp(
      {"storescp", "-od", (dir / "in").string(), "-aet", "STORESCP", std::to_string(port)},
      dir / "storescp.log");
  ASSERT_TRUE(storescp.WaitForPort(port));
  auto series = Series(dir / "files", 5);

  Recorder recorder;
  HalvexPtr halvex(NewHalvex());
  halvex->SetCallback(&recorder);

  testing::internal::CaptureStdout();
  ASSERT_TRUE(halvex->QueueUpload(UploadOf(series, "up", port, "STORESCP")));
  ASSERT_TRUE(recorder.WaitFor("up-finished up"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "First Commit Failed!Second Commit Failed!");
  DCMFinish finish = recorder.Find("up-finished up").at(0).finish;
  EXPECT_EQ(finish.success, 0);
  EXPECT_EQ(finish.done, 5);
  EXPECT_EQ(finish.total, 5);
  EXPECT_EQ(FilesIn(dir / "in"), 5u);

  DCMDownload download = Connection<DCMDownload>("down", port, "STORESCP");
  download.studyUIDs = {series.studyUid};
  testing::internal::CaptureStdout();
  ASSERT_TRUE(halvex->QueueDownload(download));
  ASSERT_TRUE(recorder.WaitFor("finished down"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "First Commit Failed!");
  finish = recorder.Find("finished down").at(0).finish;
  EXPECT_EQ(finish.success, 0);
  EXPECT_EQ(finish.done, 0);
  EXPECT_EQ(finish.total, 0);

  size_t events = recorder.Texts().size();
  auto more = Series(dir / "more", 3);
  EXPECT_TRUE(halvex->SendNow(UploadOf(more, "now", port, "STORESCP")));
  EXPECT_EQ(FilesIn(dir / "in"), 8u);
  EXPECT_EQ(recorder.Texts().size(), events);
}

int CountInstances(int httpPort) {
  std::string stats =
      netpeer::CommandOutput("curl -s http://127.0.0.1:" + std::to_string(httpPort) + "/statistics");
  std::smatch match;
  if (!std::regex_search(stats, match, std::regex("\"CountInstances\"\\s*:\\s*(\\d+)"))) return -1;
  return std::stoi(match[1]);
}

// Orthanc answers commitment later, on an association of its own to the declared modality.
TEST(OrthancPeer, UploadWithCommitmentAndReuploadSendsNothing) {
  fs::path dir = orvanta::test::MakeTempDir("orthanc");
  int dicomPort = orvanta::test::FreeLoopbackPort();
  int httpPort = orvanta::test::FreeLoopbackPort();
  int reportPort = orvanta::test::FreeLoopbackPort();
  {
    std::ofstream config(dir / "orthanc.json");
    config << "{\n"
           << "  \"Name\": \"OrvantaTest\",\n"
           << "  \"StorageDirectory\": \"" << (dir / "storage").string() << "\",\n"
           << "  \"IndexDirectory\": \"" << (dir / "index").string() << "\",\n"
           << "  \"DicomAet\": \"ORTHANC\",\n"
           << "  \"DicomPort\": " << dicomPort << ",\n"
           << "  \"HttpPort\": " << httpPort << ",\n"
           << "  \"RemoteAccessAllowed\": false,\n"
           << "  \"AuthenticationEnabled\": false,\n"
           << "  \"DicomCheckCalledAet\": false,\n"
           << "  \"DicomAlwaysAllowStore\": true,\n"
           << "  \"DicomAlwaysAllowFind\": true,\n"
           << "  \"DicomAlwaysAllowGet\": true,\n"
           << "  \"DicomModalities\": { \"orvanta\": [ \"ORVANTA\", \"127.0.0.1\", " << reportPort
           << " ] },\n"
           << "  \"StorageCompression\": false,\n"
           << "  \"SaveJobs\": false,\n"
           << "  \"Plugins\": []\n"
           << "}\n";
  }
  netpeer::PeerProgram orthanc({"Orthanc", (dir / "orthanc.json").string()}, dir / "orthanc.log");
  ASSERT_TRUE(orthanc.WaitForPort(dicomPort));
  ASSERT_TRUE(orthanc.WaitForPort(httpPort));
  auto series = Series(dir / "files", 500);

  Recorder recorder;
  HalvexPtr halvex(NewHalvex());
  halvex->SetCallback(&recorder);
  DCMUpload upload = UploadOf(series, "first", dicomPort, "ORTHANC");
  upload.extra = std::to_string(reportPort);

  testing::internal::CaptureStdout();
  ASSERT_TRUE(halvex->QueueUpload(upload));
  ASSERT_TRUE(recorder.WaitFor("up-finished first", std::chrono::seconds(300)));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  DCMFinish finish = recorder.Find("up-finished first").at(0).finish;
  EXPECT_EQ(finish.success, 1);
  EXPECT_EQ(finish.done, 500);
  EXPECT_EQ(recorder.Find("up-progress first").size(), 500u);
  EXPECT_EQ(CountInstances(httpPort), 500);

  upload.key = "again";
  ASSERT_TRUE(halvex->QueueUpload(upload));
  ASSERT_TRUE(recorder.WaitFor("up-finished again", std::chrono::seconds(120)));
  finish = recorder.Find("up-finished again").at(0).finish;
  EXPECT_EQ(finish.success, 1);
  EXPECT_EQ(finish.done, 500);
  EXPECT_TRUE(recorder.Find("up-progress again").empty());
  EXPECT_EQ(CountInstances(httpPort), 500);

  // A standard node answers the study query that downloads start with by listing nothing; it
  // is then asked by C-FIND, and only what is missing here is fetched.
  DCMDownload download = Connection<DCMDownload>("back", dicomPort, "ORTHANC");
  download.extra = upload.extra;
  download.studyUIDs = {series.studyUid};
  for (int i = 0; i < 450; ++i) download.existing.push_back({kCTImageStorage, series.sopUids[i], ""});
  testing::internal::CaptureStdout();
  ASSERT_TRUE(halvex->QueueDownload(download));
  ASSERT_TRUE(recorder.WaitFor("finished back", std::chrono::seconds(120)));
  testing::internal::GetCapturedStdout();
  finish = recorder.Find("finished back").at(0).finish;
  EXPECT_EQ(finish.success, 1);
  EXPECT_EQ(finish.total, 500);
  EXPECT_EQ(recorder.Find("file back").size(), 50u);
}

}  // namespace
