#pragma once

#include <memory>

namespace sodcm {
class CallGuard;
struct PeerSettings;
}  // namespace sodcm

// C-ECHO: is a DICOM node there and does it accept us?
class SOEchoSCU {
 public:
  SOEchoSCU();
  ~SOEchoSCU();
  SOEchoSCU(const SOEchoSCU&) = delete;
  SOEchoSCU& operator=(const SOEchoSCU&) = delete;

  // False (and no peer kept) on an empty host, a port outside 1-65535 or an invalid AE title.
  bool InitSCP(const char* host, int port, const char* calledAE, const char* callingAE);
  // Blocks until the peer answered, refused or timed out; true only on a success status.
  bool Echo();
  // Any thread: a running Echo ends at once and answers false.
  void Cancel();

 private:
  std::unique_ptr<sodcm::PeerSettings> peer_;
  std::unique_ptr<sodcm::CallGuard> guard_;
};
