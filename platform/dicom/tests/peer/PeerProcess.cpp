#include "PeerProcess.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace peer {

using namespace std::chrono_literals;

bool PortOpen(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

bool Listening(int port) {
  std::ifstream tcp("/proc/net/tcp");
  std::string line;
  char local[16];
  std::snprintf(local, sizeof local, ":%04X ", port);
  while (std::getline(tcp, line))
    if (line.find(local) != std::string::npos && line.find(" 0A ") != std::string::npos) return true;
  return false;
}

PeerProcess::PeerProcess(const std::vector<std::string>& argv, const std::filesystem::path& log) : log_(log) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
      close(fd);
    }
    execvp(args[0], args.data());
    _exit(127);
  }
}

PeerProcess::~PeerProcess() { Stop(); }

void PeerProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 50; ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(100ms);
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

bool PeerProcess::WaitForPort(int port, std::chrono::seconds limit) const {
  auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (PortOpen(port)) return true;
    if (pid_ <= 0 || waitpid(pid_, nullptr, WNOHANG) == pid_) return false;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

int PeerProcess::WaitExit(std::chrono::seconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (pid_ > 0 && std::chrono::steady_clock::now() < end) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    }
    std::this_thread::sleep_for(50ms);
  }
  return -1;
}

std::string PeerProcess::Log() const {
  std::ifstream in(log_);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace peer
