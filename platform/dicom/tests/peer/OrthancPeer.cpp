#include "OrthancPeer.h"

#include "TestSupport.h"

#include <fstream>

namespace peer {

OrthancPeer::OrthancPeer(const std::string& ourAETitle, int ourReportPort) {
  dir = orvanta::test::MakeTempDir("orthanc");
  port = orvanta::test::FreeLoopbackPort();
  std::filesystem::path config = dir / "orthanc.json";
  std::ofstream out(config);
  out << "{\n"
      << "  \"Name\": \"OrvantaPeerTest\",\n"
      << "  \"StorageDirectory\": \"" << (dir / "storage").string() << "\",\n"
      << "  \"IndexDirectory\": \"" << (dir / "index").string() << "\",\n"
      << "  \"Plugins\": [],\n"
      << "  \"HttpServerEnabled\": false,\n"
      << "  \"RemoteAccessAllowed\": false,\n"
      << "  \"DicomServerEnabled\": true,\n"
      << "  \"DicomAet\": \"" << kAETitle << "\",\n"
      << "  \"DicomPort\": " << port << ",\n"
      << "  \"DicomModalities\": { \"orvanta\": [\"" << ourAETitle << "\", \"127.0.0.1\", " << ourReportPort << "] },\n"
      << "  \"SaveJobs\": false\n"
      << "}\n";
  out.close();
  process = std::make_unique<PeerProcess>(std::vector<std::string>{"Orthanc", config.string()}, dir / "orthanc.log");
}

}  // namespace peer
