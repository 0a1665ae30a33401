#pragma once

#include "PeerProcess.h"

#include <filesystem>
#include <memory>
#include <string>

namespace peer {

// An Orthanc server of our own for one test, at its defaults for everything DICOM: storage in
// a temporary folder, DICOM on a free loopback port, no HTTP server, no saved jobs, and one
// modality declared as a site declares a workstation: our AE title at the port where we take
// storage commitment answers (a declared modality may also find and get). It keeps the first
// copy of an instance sent twice.
struct OrthancPeer {
  static constexpr const char* kAETitle = "ORTHANC";
  std::filesystem::path dir;
  int port = 0;
  std::unique_ptr<PeerProcess> process;

  OrthancPeer(const std::string& ourAETitle, int ourReportPort);
  bool Ready() { return process && process->WaitForPort(port, std::chrono::seconds(60)); }
};

}  // namespace peer
