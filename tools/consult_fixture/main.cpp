// Runs the consultation service stand-in on a loopback port until interrupted.
// Usage: consult_fixture [--port N] [--host ADDRESS] [--node AET:HOST:PORT] [--empty]
// --node names the DICOM node that new orders and cloud stations send their images to.
// Unless --empty is given it starts with two users and a public case, so that the program's
// account and case windows have something to show. It sends no SMS: the code a team's creation
// asks for is read with POST /admin/SmsCode {"mobile": "..."}.

#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ConsultFixture.h"

namespace {

void Seed(ConsultFixture& fixture) {
  fixture.AddUser("doctor", "doctor", "13800000001", "Dr. Li");
  fixture.AddUser("client", "client", "13800000002", "Clinic Wang");
  fixture.Admin("AddPublicCase", {{"case",
                                   {{"modality", "CT"},
                                    {"bodyPart", "Chest"},
                                    {"caseName", "Pulmonary nodule"},
                                    {"finding", "A 6 mm solid nodule in the right upper lobe."},
                                    {"conclusion", "Solitary pulmonary nodule; follow-up CT in 12 months."}}}});
}

}  // namespace

int main(int argc, char** argv) {
  int port = 8080;
  std::string host = "127.0.0.1";
  bool seed = true;
  nlohmann::json nodeArgs;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--port") && i + 1 < argc) {
      port = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--host") && i + 1 < argc) {
      host = argv[++i];
    } else if (!std::strcmp(argv[i], "--node") && i + 1 < argc) {
      std::string node = argv[++i];
      size_t first = node.find(':'), last = node.rfind(':');
      if (first == std::string::npos || first == last) {
        std::fprintf(stderr, "--node wants AET:HOST:PORT\n");
        return 2;
      }
      nodeArgs = {{"aeTitle", node.substr(0, first)},
                  {"host", node.substr(first + 1, last - first - 1)},
                  {"port", std::atoi(node.c_str() + last + 1)}};
    } else if (!std::strcmp(argv[i], "--empty")) {
      seed = false;
    } else {
      std::fprintf(stderr, "usage: %s [--port N] [--host ADDRESS] [--node AET:HOST:PORT] [--empty]\n", argv[0]);
      return 2;
    }
  }
  ConsultFixture fixture;
  if (!nodeArgs.is_null()) fixture.Admin("SetNode", nodeArgs);
  if (seed) Seed(fixture);
  // The server's threads inherit the blocked signals; this thread waits for them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  int bound = fixture.Start(port, host);
  if (bound < 0) {
    std::fprintf(stderr, "cannot listen on %s:%d\n", host.c_str(), port);
    return 1;
  }
  std::printf("consultation service on http://%s:%d%s\n", host.c_str(), bound,
              seed ? " (users doctor/doctor, client/client)" : "");
  std::fflush(stdout);
  int signal = 0;
  sigwait(&signals, &signal);
  fixture.Stop();
  return 0;
}
