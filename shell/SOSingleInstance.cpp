#include "SOSingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

std::string SocketPath() {
  const std::string folder = SOSingleInstance::RuntimeFolder();
  return folder.empty() ? std::string() : folder + "Orvanta.sock";
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof(address));
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::recv(fd, data, size, 0);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void SetTimeouts(int fd) {
  timeval tv{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
}

}  // namespace

std::string SOSingleInstance::RuntimeFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
    std::string folder = runtime;
    return folder.back() == '/' ? folder : folder + "/";
  }
  // A folder of our own in /tmp, refused when someone else made it or can write to it.
  const std::string folder = "/tmp/Orvanta-" + std::to_string(::getuid());
  ::mkdir(folder.c_str(), 0700);
  struct stat st;
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
      (st.st_mode & 077) != 0)
    return {};
  return folder + "/";
}

SOSingleInstance::~SOSingleInstance() {
  if (m_thread.joinable()) {
    const char stop = 1;
    (void)!::write(m_wake[1], &stop, 1);
    m_thread.join();
  }
  for (int fd : {m_listen, m_wake[0], m_wake[1]})
    if (fd >= 0) ::close(fd);
  if (m_lock >= 0) ::close(m_lock);
}

bool SOSingleInstance::Acquire() {
  const std::string folder = RuntimeFolder();
  if (folder.empty()) return true;  // nowhere to keep a lock: run without one
  m_lock = ::open((folder + "OrvantaMutex.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (m_lock < 0) return true;
  if (::flock(m_lock, LOCK_EX | LOCK_NB) == 0) return true;
  ::close(m_lock);
  m_lock = -1;
  return false;
}

bool SOSingleInstance::Listen(std::function<void(const std::string&)> handler) {
  sockaddr_un address;
  if (m_lock < 0 || !FillAddress(SocketPath(), address)) return false;
  // Holding the lock, any socket file left there is a dead instance's.
  ::unlink(address.sun_path);
  m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listen < 0) return false;
  const mode_t old = ::umask(077);
  const bool bound = ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  ::umask(old);
  if (!bound || ::listen(m_listen, 8) != 0 || ::pipe2(m_wake, O_CLOEXEC) != 0) return false;
  m_thread = std::thread(&SOSingleInstance::Serve, this, std::move(handler));
  return true;
}

void SOSingleInstance::Serve(std::function<void(const std::string&)> handler) {
  for (;;) {
    pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    SetTimeouts(client);
    unsigned char header[4];
    std::string request;
    bool ok = ReadAll(client, reinterpret_cast<char*>(header), 4);
    const unsigned size = header[0] | header[1] << 8 | header[2] << 16 | unsigned(header[3]) << 24;
    if (ok && size <= kMaxRequest) {
      request.resize(size);
      ok = ReadAll(client, request.data(), size);
    } else {
      ok = false;
    }
    if (ok) {
      handler(request);
      const char done = 1;
      WriteAll(client, &done, 1);
    }
    ::close(client);
  }
}

bool SOSingleInstance::Send(const std::string& request) {
  sockaddr_un address;
  if (request.size() > kMaxRequest || !FillAddress(SocketPath(), address)) return false;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  SetTimeouts(fd);
  const unsigned size = static_cast<unsigned>(request.size());
  const unsigned char header[4] = {static_cast<unsigned char>(size), static_cast<unsigned char>(size >> 8),
                                   static_cast<unsigned char>(size >> 16), static_cast<unsigned char>(size >> 24)};
  char done = 0;
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                  WriteAll(fd, reinterpret_cast<const char*>(header), 4) && WriteAll(fd, request.data(), size) &&
                  ReadAll(fd, &done, 1);
  ::close(fd);
  return ok && done == 1;
}
