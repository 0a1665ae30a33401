#pragma once

#include "PeerProcess.h"

#include <filesystem>
#include <memory>
#include <string>

namespace peer {

// An Orthanc server of our own for one test: storage in a temporary folder, DICOM on a free
// loopback port, no HTTP server, C-GET allowed to everyone, and one modality declared: our
// AE title at the port where we take storage commitment answers.
struct OrthancPeer {
  static constexpr const char* kAETitle = "ORTHANC";
  std::filesystem::path dir;
  int port = 0;
  std::unique_ptr<PeerProcess> process;

  OrthancPeer(const std::string& ourAETitle, int ourReportPort);
  bool Ready() { return process && process->WaitForPort(port, std::chrono::seconds(60)); }
};

}  // namespace peer
