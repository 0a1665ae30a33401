#include "TestSupport.h"

#include <QApplication>
#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace orvanta::test {

namespace {
fs::path g_scratch;
std::unique_ptr<QApplication> g_app;
int g_argc = 1;
char g_arg0[] = "orvanta_tests";
char* g_argv[] = {g_arg0, nullptr};
}  // namespace

void InitScratch() {
  std::string pattern = (fs::temp_directory_path() / "orvanta-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  g_scratch = pattern;
  for (const char* sub : {"home", "config", "data", "programdata"}) fs::create_directories(g_scratch / sub);
  setenv("HOME", (g_scratch / "home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (g_scratch / "config").c_str(), 1);
  setenv("XDG_DATA_HOME", (g_scratch / "data").c_str(), 1);
  setenv("PROGRAMDATA", (g_scratch / "programdata").c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

void ShutdownScratch() {
  g_app.reset();
  if (!g_scratch.empty() && !std::getenv("ORVANTA_KEEP_TEST_FILES")) {
    std::error_code ec;
    fs::remove_all(g_scratch, ec);
  }
}

const fs::path& ScratchRoot() { return g_scratch; }

fs::path MakeTempDir(const std::string& hint) {
  static std::atomic<int> counter{0};
  fs::path dir = g_scratch / "tmp" / (hint + "-" + std::to_string(counter++));
  fs::create_directories(dir);
  return dir;
}

void EnsureQtApp() {
  if (!QApplication::instance()) g_app = std::make_unique<QApplication>(g_argc, g_argv);
}

fs::path PydicomTestFiles() {
  for (const char* dir : {"/usr/lib/python3/dist-packages/pydicom/data/test_files"}) {
    if (fs::is_directory(dir)) return dir;
  }
  return {};
}

fs::path PydicomFile(const std::string& name) {
  fs::path root = PydicomTestFiles();
  if (root.empty()) return {};
  fs::path p = root / name;
  return fs::exists(p) ? p : fs::path{};
}

fs::path ProgramFolder() {
  if (const char* dir = std::getenv("ORVANTA_BIN_DIR")) return dir;
  return fs::canonical("/proc/self/exe").parent_path().parent_path() / "bin";
}

fs::path SourceRoot() {
  if (const char* dir = std::getenv("ORVANTA_SOURCE_DIR")) return dir;
  // Started by hand: the build folder's cache names the source tree.
  std::ifstream cache(fs::canonical("/proc/self/exe").parent_path().parent_path() / "CMakeCache.txt");
  const std::string key = "CMAKE_HOME_DIRECTORY:INTERNAL=";
  for (std::string line; std::getline(cache, line);)
    if (line.rfind(key, 0) == 0) return line.substr(key.size());
  return {};
}

int RunCommand(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int FreeLoopbackPort() {
  int port = 0;
  const int fd = ListenOnLoopback(&port, 1);
  if (fd < 0) return -1;
  close(fd);
  return port;
}

int ListenOnLoopback(int* port, int backlog) {
  *port = 0;
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, backlog) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    close(fd);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace orvanta::test
