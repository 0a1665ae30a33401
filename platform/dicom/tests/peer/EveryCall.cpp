#include "EveryCall.h"

#include "SOCommitSCU.h"
#include "SODcmDataset.h"
#include "SODcmPrint.h"
#include "SOEchoSCU.h"
#include "SOGetSCU.h"
#include "SOStoreSCU.h"

#include <string>

namespace peer {

std::vector<std::future<bool>> CallEveryService(const CallPorts& ports, const std::filesystem::path& file,
                                                int commitWaitSeconds) {
  const std::string path = file.string();
  std::vector<std::future<bool>> calls;
  calls.push_back(std::async(std::launch::async, [=] {
    SOEchoSCU scu;
    scu.InitSCP("127.0.0.1", ports.echo, "NODE", "ORVANTA");
    return scu.Echo();
  }));
  calls.push_back(std::async(std::launch::async, [=] {
    SOStoreSCU scu;
    scu.InitSCU("127.0.0.1", ports.store, "NODE", "ORVANTA", nullptr);
    std::vector<std::string> sent;
    return scu.SendFiles({path}, sent, true) || !sent.empty();
  }));
  calls.push_back(std::async(std::launch::async, [=] {
    SOGetSCU scu;
    scu.Init("127.0.0.1", ports.get, "NODE", "ORVANTA", nullptr);
    SODcmDataset keys;
    keys.SetString(0x00080052, "STUDY");
    keys.SetString(0x0020000D, "1.2.3");
    std::vector<SODcmReferencedSOP> received;
    return scu.RequestGet(SODcmQRModel_StudyRoot, &keys, received);
  }));
  calls.push_back(std::async(std::launch::async, [=] {
    SOCommitSCU scu;
    scu.Init("127.0.0.1", ports.commit, "NODE", "ORVANTA", "");
    SODcmCommitResult result;
    return scu.RequestCommit(nullptr, {{"1.2.840.10008.5.1.4.1.1.2", "1.2.3.4"}}, result, nullptr, true,
                             commitWaitSeconds);
  }));
  calls.push_back(std::async(std::launch::async, [=] {
    SODcmPrint scu;
    scu.Init("127.0.0.1", ports.print, ports.printAE.c_str(), "ORVANTA");
    std::vector<unsigned char> pixels(64 * 64, 128);
    SODcmFilmSession session;
    session.filmBoxes.push_back(SODcmFilmBox{});
    session.filmBoxes.back().imageBoxes.push_back({64, 64, 1, pixels.data()});
    SODcmPrintStatus status = PRINTSTATUS_PENDING;
    return scu.Print(session, status) || status != PRINTSTATUS_FAILURE;
  }));
  return calls;
}

}  // namespace peer
