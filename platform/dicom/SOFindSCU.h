#pragma once

#include "SOCommitSCU.h"

#include <memory>
#include <string>
#include <vector>

namespace sodcm {
class CallGuard;
struct PeerSettings;
}  // namespace sodcm

// C-FIND (study root, IMAGE level): which instances a node holds of a study.
class SOFindSCU {
 public:
  SOFindSCU();
  ~SOFindSCU();
  SOFindSCU(const SOFindSCU&) = delete;
  SOFindSCU& operator=(const SOFindSCU&) = delete;

  // False (and no peer kept) on an empty host, a port outside 1-65535 or an invalid AE title.
  bool Init(const char* host, int port, const char* calledAE, const char* callingAE);
  // Adds to found every instance the node lists for the studies, one query each; false when
  // the node refused or a query did not end with success.
  bool FindInstances(const std::vector<std::string>& studyUIDs, std::vector<SODcmReferencedSOP>& found);

 private:
  std::unique_ptr<sodcm::PeerSettings> peer_;
  std::unique_ptr<sodcm::CallGuard> guard_;
};
