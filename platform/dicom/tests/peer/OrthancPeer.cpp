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
      << "  \"StorageCompression\": false,\n"
      << "  \"Plugins\": [],\n"
      << "  \"HttpServerEnabled\": false,\n"
      << "  \"RemoteAccessAllowed\": false,\n"
      << "  \"DicomServerEnabled\": true,\n"
      << "  \"DicomAet\": \"" << kAETitle << "\",\n"
      << "  \"DicomPort\": " << port << ",\n"
      << "  \"DicomCheckCalledAet\": false,\n"
      << "  \"DicomCheckModalityHost\": false,\n"
      << "  \"DicomAlwaysAllowEcho\": true,\n"
      << "  \"DicomAlwaysAllowStore\": true,\n"
      << "  \"DicomAlwaysAllowFind\": true,\n"
      << "  \"DicomAlwaysAllowGet\": true,\n"
      << "  \"DicomScpTimeout\": 30,\n"
      << "  \"DicomScuTimeout\": 10,\n"
      << "  \"DicomModalities\": { \"orvanta\": [\"" << ourAETitle << "\", \"127.0.0.1\", " << ourReportPort << "] },\n"
      << "  \"OverwriteInstances\": true,\n"
      << "  \"SaveJobs\": false\n"
      << "}\n";
  out.close();
  process = std::make_unique<PeerProcess>(std::vector<std::string>{"Orthanc", config.string()}, dir / "orthanc.log");
}

}  // namespace peer
