// Peers that send half a request, trickle bytes or say nothing: the receiving service keeps
// serving DCMTK's storescu and echoscu beside them, drops each at its limit and stops at once;
// our calls against a trickling node give up within their limits, and against a node that
// answers each step just in time within their whole-call deadlines. The limits are short here.

#include "EveryCall.h"
#include "PeerFiles.h"
#include "PeerProcess.h"
#include "PrintScp.h"
#include "SODcmSCP.h"
#include "ScopedLimits.h"
#include "TestSupport.h"

#include <dcmtk/oflog/oflog.h>
#include <dcmtk/oflog/spi/logevent.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <future>
#include <iostream>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using orvanta::test::FreeLoopbackPort;
using peer::ScopedLimits;

namespace {

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// One TCP connection to the service, driven byte by byte.
class RawPeer {
 public:
  explicit RawPeer(int port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    opened = Clock::now();
  }
  ~RawPeer() {
    stop_ = true;
    if (trickler_.joinable()) trickler_.join();
    close(fd_);
  }

  bool Connected() const { return connected_; }
  int Socket() const { return fd_; }
  bool Send(const std::string& bytes) { return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size()); }

  // One byte of an endless association request every interval, from another thread.
  void Trickle(std::chrono::milliseconds interval) {
    trickler_ = std::thread([this, interval] {
      std::string request("\x01\x00\x00\x00\x10\x00", 6);
      for (size_t i = 0; !stop_; ++i) {
        if (!Send(std::string(1, i < request.size() ? request[i] : '\0'))) return;
        std::this_thread::sleep_for(interval);
      }
    });
  }

  // When the service closed the connection, waiting at most limit from now; nullopt if not.
  std::optional<Clock::time_point> ClosedBy(Clock::duration limit) {
    const Clock::time_point end = Clock::now() + limit;
    char buf[256];
    while (Clock::now() < end) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) > 0) {
        ssize_t n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN)) return Clock::now();
      }
    }
    return std::nullopt;
  }

  Clock::time_point opened;

 private:
  int fd_;
  bool connected_ = false;
  std::atomic<bool> stop_{false};
  std::thread trickler_;
};

// An association request header announcing 1,000 bytes, then 2 of them, then nothing.
const std::string kPartialRequest("\x01\x00\x00\x00\x03\xE8\x00\x01", 8);

// Keeps every object, counting them, answers every C-GET and commits everything asked.
struct Keeper : ISODcmSCPCallback {
  std::atomic<int> stored{0};
  bool OnStore(SODcmAssociationParams&, SODcmFile*) override {
    ++stored;
    return true;
  }
  bool OnGet(SODcmAssociationParams&, SODcmDataset*) override { return true; }
  bool OnCommit(SODcmAssociationParams&, const std::vector<SODcmReferencedSOP>& refs,
                SODcmCommitResult& result) override {
    result.success = refs;
    return true;
  }
};

struct Service {
  Keeper keeper;
  SODcmSCP scp;
  int port = FreeLoopbackPort();
  std::thread thread;
  Service() {
    EXPECT_TRUE(scp.InitSCP("ORVANTA", port));
    scp.SetCallback(&keeper);
    thread = std::thread([this] { scp.StartSCP(); });
    for (int i = 0; i < 200 && !scp.IsRunning(); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(scp.IsRunning());
  }
  // How long StartSCP took to return after Stop.
  double StopSeconds() {
    const Clock::time_point asked = Clock::now();
    scp.Stop();
    thread.join();
    return Seconds(Clock::now() - asked);
  }
  ~Service() {
    if (thread.joinable()) StopSeconds();
  }
};

// The hostile set of one run: a partial request, a trickle and five silent connections.
struct HostileSet {
  std::vector<std::unique_ptr<RawPeer>> silent;
  std::unique_ptr<RawPeer> partial, trickle;
  explicit HostileSet(int port) {
    partial = std::make_unique<RawPeer>(port);
    EXPECT_TRUE(partial->Connected() && partial->Send(kPartialRequest));
    trickle = std::make_unique<RawPeer>(port);
    EXPECT_TRUE(trickle->Connected());
    trickle->Trickle(300ms);
    for (int i = 0; i < 5; ++i) {
      silent.push_back(std::make_unique<RawPeer>(port));
      EXPECT_TRUE(silent.back()->Connected());
    }
  }
};

int RunTool(std::vector<std::string> argv, const fs::path& log, double& seconds) {
  argv.insert(argv.begin(), {"env", "TCP_NODELAY=1"});
  const Clock::time_point start = Clock::now();
  peer::PeerProcess tool(argv, log);
  const int status = tool.WaitExit(60s);
  seconds = Seconds(Clock::now() - start);
  if (status != 0) ADD_FAILURE() << argv[2] << " said:\n" << tool.Log();
  return status;
}

TEST(HostilePeer, GoodPeersAreServedBesideThemAndEachIsDroppedAtItsLimit) {
  fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  if (ct.empty()) GTEST_SKIP() << "pydicom test files not installed";
  fs::path dir = orvanta::test::MakeTempDir("hostile");
  const std::vector<std::string> files = peer::MakeInstances(ct, dir / "ct", 10);
  sodcm::NetLimits limits;
  limits.acse = 6;
  limits.pdu = 3;
  limits.dimse = 6;
  ScopedLimits scoped(limits);

  Service service;
  HostileSet hostile(service.port);
  std::this_thread::sleep_for(200ms);

  // Served in their usual time (well under a second here), not after the hostile ones.
  double storeSeconds = 0, echoSeconds = 0;
  std::vector<std::string> store{"storescu", "-aec", "ORVANTA", "127.0.0.1", std::to_string(service.port)};
  store.insert(store.end(), files.begin(), files.end());
  EXPECT_EQ(RunTool(store, dir / "storescu.log", storeSeconds), 0);
  EXPECT_EQ(RunTool({"echoscu", "-aec", "ORVANTA", "127.0.0.1", std::to_string(service.port)}, dir / "echoscu.log",
                    echoSeconds),
            0);
  EXPECT_EQ(service.keeper.stored, 10);
  EXPECT_LT(storeSeconds, 2.5);
  EXPECT_LT(echoSeconds, 2.5);

  // Each hostile connection is closed when its limit passes: the partial and the trickled
  // request (a byte every 0.3 s, so no single read ever waits long) at the PDU limit, the
  // silent ones at the set-up limit.
  struct Expect {
    RawPeer* peer;
    double limit;
  };
  std::vector<Expect> expects{{hostile.partial.get(), double(limits.pdu)}, {hostile.trickle.get(), double(limits.pdu)}};
  for (auto& s : hostile.silent) expects.push_back({s.get(), double(limits.acse)});
  for (const Expect& e : expects) {
    std::optional<Clock::time_point> closed = e.peer->ClosedBy(10s);
    ASSERT_TRUE(closed.has_value()) << "a hostile connection outlived its limit of " << e.limit << " s";
    EXPECT_GT(Seconds(*closed - e.peer->opened), e.limit - 0.5);
    EXPECT_LT(Seconds(*closed - e.peer->opened), e.limit + 1.5);
  }

  // Stop ends the service at once with a fresh hostile set holding it.
  HostileSet again(service.port);
  std::this_thread::sleep_for(300ms);
  EXPECT_LT(service.StopSeconds(), 2.0);
}

// A big-endian field of n bytes.
std::string BigEndian(uint32_t value, int n) {
  std::string out;
  for (int i = n - 1; i >= 0; --i) out += char((value >> (8 * i)) & 0xFF);
  return out;
}

// An A-ASSOCIATE-RQ with one presentation context (implicit little endian), built by hand so the
// test holds the raw connection.
std::string AssociationRequest(std::string callingAE, const std::string& abstractSyntax) {
  auto item = [](unsigned char type, const std::string& value) {
    return std::string(1, char(type)) + '\0' + BigEndian(uint32_t(value.size()), 2) + value;
  };
  std::string body = BigEndian(1, 2) + std::string(2, '\0');
  body += std::string("ORVANTA").append(9, ' ') + callingAE.append(16 - callingAE.size(), ' ') + std::string(32, '\0');
  body += item(0x10, "1.2.840.10008.3.1.1.1");
  body += item(0x20, std::string("\x01\0\0\0", 4) + item(0x30, abstractSyntax) + item(0x40, "1.2.840.10008.1.2"));
  body += item(0x50, item(0x51, BigEndian(16384, 4)) + item(0x52, "1.2.3.4"));
  return std::string("\x01\0", 2) + BigEndian(uint32_t(body.size()), 4) + body;
}

std::string VerificationRequest(std::string callingAE = "HOSTILE") {
  return AssociationRequest(std::move(callingAE), "1.2.840.10008.1.1");
}

TEST(HostilePeer, ACommandSentInTinyWholePdusIsCutAtItsLimit) {
  sodcm::NetLimits limits;
  limits.dimse = 2;
  ScopedLimits scoped(limits);
  Service service;
  RawPeer peer(service.port);
  ASSERT_TRUE(peer.Connected() && peer.Send(VerificationRequest()));
  // The answer: A-ASSOCIATE-AC.
  char type = 0;
  ASSERT_EQ(recv(peer.Socket(), &type, 1, 0), 1);
  ASSERT_EQ(type, 0x02);
  // A C-ECHO request, one element per PDU every 0.8 s: each PDU whole at once, no pause between
  // PDUs ever late, only the command as a whole.
  auto element = [](uint16_t tag, const std::string& value) {
    std::string e{'\0', '\0', char(tag & 0xFF), char(tag >> 8)};
    for (int i = 0; i < 4; ++i) e += char((value.size() >> (8 * i)) & 0xFF);
    return e + value;
  };
  auto us = [](uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; };
  std::vector<std::string> command{element(0x0002, std::string("1.2.840.10008.1.1", 18)), element(0x0100, us(0x0030)),
                                   element(0x0110, us(1)), element(0x0800, us(0x0101))};
  size_t length = 0;
  for (const std::string& e : command) length += e.size();
  command.insert(command.begin(), element(0x0000, std::string{char(length), 0, 0, 0}));
  const Clock::time_point start = Clock::now();
  std::atomic<bool> stop{false};
  std::thread trickle([&] {
    for (size_t i = 0; i < command.size() && !stop; ++i) {
      // context 1, a command fragment, the last one only at the end
      const std::string pdv = BigEndian(uint32_t(command[i].size() + 2), 4) + '\x01' +
                              char(i + 1 == command.size() ? 0x03 : 0x01) + command[i];
      if (!peer.Send(std::string("\x04\0", 2) + BigEndian(uint32_t(pdv.size()), 4) + pdv)) return;
      std::this_thread::sleep_for(800ms);
    }
  });
  std::optional<Clock::time_point> closed = peer.ClosedBy(10s);
  stop = true;
  trickle.join();
  ASSERT_TRUE(closed.has_value()) << "the command trickled on";
  EXPECT_GT(Seconds(*closed - start), limits.dimse - 0.5);
  EXPECT_LT(Seconds(*closed - start), limits.dimse + 1.5);
}

// A node that accepts every connection and answers one byte at a time, slower than any
// single read's limit would notice.
class TricklingNode {
 public:
  TricklingNode() : fd_(orvanta::test::ListenOnLoopback(&port)) {
    acceptor_ = std::thread([this] {
      while (!stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        const int client = accept(fd_, nullptr, nullptr);
        if (client < 0) continue;
        talkers_.emplace_back([this, client] {
          // An association answer header announcing 200 bytes, then its body byte by byte.
          std::string answer("\x02\x00\x00\x00\x00\xC8", 6);
          answer.resize(206, '\0');
          for (size_t i = 0; i < answer.size() && !stop_; ++i) {
            if (send(client, &answer[i], 1, MSG_NOSIGNAL) != 1) break;
            std::this_thread::sleep_for(300ms);
          }
          close(client);
        });
      }
    });
  }
  ~TricklingNode() {
    stop_ = true;
    acceptor_.join();
    for (std::thread& t : talkers_) t.join();
    close(fd_);
  }
  int port = 0;

 private:
  int fd_;
  std::atomic<bool> stop_{false};
  std::thread acceptor_;
  std::vector<std::thread> talkers_;  // the acceptor's own
};

TEST(HostilePeer, EveryCallAgainstATricklingNodeGivesUpWithinItsLimit) {
  fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  if (ct.empty()) GTEST_SKIP() << "pydicom test files not installed";
  sodcm::NetLimits limits;
  limits.acse = 4;
  limits.pdu = 2;
  limits.dimse = 4;
  limits.call = 5;
  ScopedLimits scoped(limits);
  TricklingNode node;

  const Clock::time_point start = Clock::now();
  std::vector<std::future<bool>> calls =
      peer::CallEveryService({node.port, node.port, node.port, node.port, node.port}, ct, 30);
  for (std::future<bool>& call : calls) {
    ASSERT_EQ(call.wait_until(start + 15s), std::future_status::ready) << "a call waited on the trickle";
    EXPECT_FALSE(call.get());
  }
  // The answer's whole PDU was due within its limit of its first byte.
  EXPECT_LT(Seconds(Clock::now() - start), limits.pdu + 2.0);
}

// Stands in front of a real node and holds back each message of the node for delay before
// passing it on: every PDU but the data PDUs that follow a command. Each step of a call is
// then answered just inside its limit, so only the whole-call deadline can end the call early.
class JustInTimeProxy {
 public:
  JustInTimeProxy(int nodePort, std::chrono::milliseconds delay) : node_(nodePort), delay_(delay) {
    listen_ = orvanta::test::ListenOnLoopback(&port);
    acceptor_ = std::thread([this] { Accept(); });
  }
  ~JustInTimeProxy() {
    stop_ = true;
    acceptor_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    for (Link& link : links_) {
      shutdown(link.ours, SHUT_RDWR);
      shutdown(link.node, SHUT_RDWR);
    }
    for (Link& link : links_) {
      link.up.join();
      link.down.join();
      close(link.ours);
      close(link.node);
    }
  }

  // Connections we made through the proxy, and how many of them our side has closed.
  int Made() {
    std::lock_guard<std::mutex> lock(mutex_);
    return int(links_.size());
  }
  int ClosedByUs() { return closedByUs_; }

  int port = 0;

 private:
  struct Link {
    int ours, node;
    std::thread up, down;
  };

  static sockaddr_in Loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    return addr;
  }

  void Accept() {
    while (!stop_) {
      pollfd p{listen_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      const int ours = accept(listen_, nullptr, nullptr);
      if (ours < 0) continue;
      const int node = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in addr = Loopback(node_);
      connect(node, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
      std::lock_guard<std::mutex> lock(mutex_);
      links_.push_back({ours, node, {}, {}});
      links_.back().up = std::thread([this, ours, node] {
        // Our requests go on at once; our close is counted and passed on.
        char buf[16384];
        ssize_t n;
        while ((n = recv(ours, buf, sizeof buf, 0)) > 0)
          if (send(node, buf, size_t(n), MSG_NOSIGNAL) != n) break;
        if (n <= 0 && !stop_) ++closedByUs_;
        shutdown(node, SHUT_WR);
      });
      links_.back().down = std::thread([this, ours, node] {
        std::string pdu;
        while (ReadPdu(node, pdu)) {
          // A P-DATA whose first item is a data fragment (bit 0 of its control header clear)
          // goes on at once; everything else starts a step and waits.
          const bool data = pdu[0] == 0x04 && pdu.size() > 11 && (pdu[11] & 0x01) == 0;
          for (auto waited = 0ms; !data && waited < delay_ && !stop_; waited += 20ms)
            std::this_thread::sleep_for(20ms);
          if (send(ours, pdu.data(), pdu.size(), MSG_NOSIGNAL) != ssize_t(pdu.size())) break;
        }
        shutdown(ours, SHUT_WR);
      });
    }
  }

  static bool ReadAll(int fd, char* p, size_t n) {
    while (n > 0) {
      const ssize_t got = recv(fd, p, n, 0);
      if (got <= 0) return false;
      p += got;
      n -= size_t(got);
    }
    return true;
  }
  static bool ReadPdu(int fd, std::string& pdu) {
    pdu.assign(6, '\0');
    if (!ReadAll(fd, pdu.data(), 6)) return false;
    const size_t length = (size_t(uint8_t(pdu[2])) << 24) | (size_t(uint8_t(pdu[3])) << 16) |
                          (size_t(uint8_t(pdu[4])) << 8) | uint8_t(pdu[5]);
    pdu.resize(6 + length);
    return ReadAll(fd, pdu.data() + 6, length);
  }

  const int node_;
  const std::chrono::milliseconds delay_;
  int listen_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<int> closedByUs_{0};
  std::mutex mutex_;
  std::vector<Link> links_;  // the acceptor adds, the destructor joins
  std::thread acceptor_;
};

// Collects what our calls log as errors while it lives.
class ErrorLog {
 public:
  ErrorLog() { dcmtk::log4cplus::Logger::getInstance("orvanta.dicom.net").addAppender(appender_); }
  ~ErrorLog() { dcmtk::log4cplus::Logger::getInstance("orvanta.dicom.net").removeAppender(appender_); }
  std::vector<std::string> Lines() { return lines_->Lines(); }

 private:
  class Collector : public dcmtk::log4cplus::Appender {
   public:
    ~Collector() override { destructorImpl(); }
    void close() override {}
    std::vector<std::string> Lines() {
      std::lock_guard<std::mutex> lock(mutex_);
      return lines_;
    }

   protected:
    void append(const dcmtk::log4cplus::spi::InternalLoggingEvent& event) override {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(event.getMessage().c_str());
    }

   private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
  };
  Collector* lines_ = new Collector;  // owned by appender_
  dcmtk::log4cplus::SharedAppenderPtr appender_{lines_};
};

TEST(HostilePeer, EveryCallAgainstAJustInTimeNodeIsCutAtItsWholeCallDeadline) {
  fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  if (ct.empty()) GTEST_SKIP() << "pydicom test files not installed";
  sodcm::NetLimits limits;
  limits.acse = 4;
  limits.pdu = 2;
  limits.dimse = 4;
  limits.call = 2;
  limits.perObject = 1;
  limits.perMegabyte = 1;
  ScopedLimits scoped(limits);

  Service service;
  peer::PrintSCP printer;
  ASSERT_TRUE(printer.Ready()) << printer.process->Log();

  // Every answer 3 s late, inside the 4 s step limits: without a whole-call deadline echo
  // would take 9 s (association, echo, release) and answer true, print some 20 s.
  JustInTimeProxy node(service.port, 3000ms), printNode(printer.port, 3000ms);
  ErrorLog errors;
  const Clock::time_point start = Clock::now();
  const int commitWait = 1;
  std::vector<std::future<bool>> calls = peer::CallEveryService(
      {node.port, node.port, node.port, node.port, printNode.port, "PRINTSCP"}, ct, commitWait);
  // Each call's deadline: the fixed part, a second per object (the file stored; the film and
  // its image box; the instance to commit, plus the wait), the file's 40 KB next to nothing.
  struct Call {
    const char* name;
    double allowed;
  };
  const std::vector<Call> expected{{"echo", 2}, {"store", 3}, {"get", 2}, {"commit", 3.0 + commitWait}, {"print", 4}};
  std::vector<double> took(calls.size(), -1);
  for (size_t done = 0; done < calls.size() && Clock::now() < start + 15s;) {
    std::this_thread::sleep_for(20ms);
    for (size_t i = 0; i < calls.size(); ++i)
      if (took[i] < 0 && calls[i].wait_for(0s) == std::future_status::ready) took[i] = Seconds(Clock::now() - start), ++done;
  }
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    ASSERT_GE(took[i], 0) << "still running after 15 s";
    EXPECT_FALSE(calls[i].get()) << "claimed success (a stored object counts as one)";
    EXPECT_GT(took[i], expected[i].allowed - 0.3);
    EXPECT_LT(took[i], expected[i].allowed + 1.5);
  }
  // Every association is gone from our side, and each cut is said in the log.
  EXPECT_EQ(node.ClosedByUs(), node.Made());
  EXPECT_EQ(printNode.ClosedByUs(), printNode.Made());
  EXPECT_EQ(node.Made() + printNode.Made(), 5);
  const std::vector<std::string> lines = errors.Lines();
  EXPECT_EQ(lines.size(), 5u);
  for (const std::string& line : lines) EXPECT_NE(line.find("whole-call deadline"), std::string::npos) << line;
}

// A node that accepts every association and then streams what nobody asked for, as fast as
// about 16 MB/s: a command that never ends, or, to a C-GET, a C-STORE whose data set never ends.
class JunkNode {
 public:
  JunkNode() {
    listen_ = orvanta::test::ListenOnLoopback(&port);
    acceptor_ = std::thread([this] {
      while (!stop_) {
        pollfd p{listen_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        const int client = accept(listen_, nullptr, nullptr);
        if (client >= 0) talkers_.emplace_back([this, client] { Talk(client); });
      }
    });
  }
  ~JunkNode() {
    stop_ = true;
    acceptor_.join();
    for (std::thread& t : talkers_) t.join();
    close(listen_);
  }
  int port = 0;

 private:
  static uint32_t Length(const std::string& bytes, size_t at, int n) {
    uint32_t value = 0;
    for (int i = 0; i < n; ++i) value = (value << 8) | uint8_t(bytes[at + i]);
    return value;
  }
  static bool ReadPdu(int fd, std::string& pdu) {
    pdu.assign(6, '\0');
    auto readAll = [fd](char* p, size_t n) {
      while (n > 0) {
        const ssize_t got = recv(fd, p, n, 0);
        if (got <= 0) return false;
        p += got, n -= size_t(got);
      }
      return true;
    };
    if (!readAll(pdu.data(), 6)) return false;
    pdu.resize(6 + Length(pdu, 2, 4));
    return readAll(pdu.data() + 6, pdu.size() - 6);
  }
  static std::string Item(unsigned char type, const std::string& value) {
    return std::string(1, char(type)) + '\0' + BigEndian(uint32_t(value.size()), 2) + value;
  }
  static std::string Pdv(unsigned char context, unsigned char control, const std::string& bytes) {
    const std::string item = BigEndian(uint32_t(bytes.size() + 2), 4) + char(context) + char(control) + bytes;
    return std::string("\x04\0", 2) + BigEndian(uint32_t(item.size()), 4) + item;
  }
  static std::string Element(uint16_t group, uint16_t element, const std::string& value) {
    std::string e{char(group & 0xFF), char(group >> 8), char(element & 0xFF), char(element >> 8)};
    for (int i = 0; i < 4; ++i) e += char((value.size() >> (8 * i)) & 0xFF);
    return e + value;
  }

  void Talk(int client) {
    std::string request, pdu;
    if (ReadPdu(client, request) && request[0] == 0x01) {
      // Accepts every presentation context with its first transfer syntax; remembers the CT
      // storage one, for the C-STORE to a C-GET.
      std::string body = request.substr(6, 68), contexts;
      unsigned char ctContext = 0;
      for (size_t at = 74; at + 4 <= request.size();) {
        const size_t length = Length(request, at + 2, 2);
        const std::string value = request.substr(at + 4, length);
        if (uint8_t(request[at]) == 0x10) body += Item(0x10, value);
        if (uint8_t(request[at]) == 0x20) {
          std::string abstract, syntax;
          for (size_t sub = 4; sub + 4 <= value.size();) {
            const size_t n = Length(value, sub + 2, 2);
            if (uint8_t(value[sub]) == 0x30) abstract = value.substr(sub + 4, n);
            if (uint8_t(value[sub]) == 0x40 && syntax.empty()) syntax = value.substr(sub + 4, n);
            sub += 4 + n;
          }
          if (!ctContext && abstract.c_str() == std::string("1.2.840.10008.5.1.4.1.1.2")) ctContext = uint8_t(value[0]);
          contexts += Item(0x21, std::string{value[0], 0, 0, 0} + Item(0x40, syntax));
        }
        at += 4 + length;
      }
      body += contexts + Item(0x50, Item(0x51, BigEndian(16384, 4)) + Item(0x52, "1.2.3.4"));
      const std::string answer = std::string("\x02\0", 2) + BigEndian(uint32_t(body.size()), 4) + body;
      // The request's command tells a C-GET (command field 0x0010) from the rest.
      const std::string getField("\x00\x00\x00\x01\x02\x00\x00\x00\x10\x00", 10);
      if (send(client, answer.data(), answer.size(), MSG_NOSIGNAL) == ssize_t(answer.size()) && ReadPdu(client, pdu) &&
          pdu[0] == 0x04) {
        const bool get = pdu.find(getField) != std::string::npos && ctContext;
        if (get) {
          auto us = [](uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; };
          std::string command = Element(0, 0x0002, std::string("1.2.840.10008.5.1.4.1.1.2") + '\0') +
                                Element(0, 0x0100, us(0x0001)) + Element(0, 0x0110, us(7)) +
                                Element(0, 0x0700, us(0)) + Element(0, 0x0800, us(0)) +
                                Element(0, 0x1000, std::string("1.2.3.4.5.6") + '\0');
          command = Element(0, 0, std::string{char(command.size()), char(command.size() >> 8), 0, 0}) + command;
          const std::string whole = Pdv(ctContext, 0x03, command);
          send(client, whole.data(), whole.size(), MSG_NOSIGNAL);
        }
        // Fragments none of which is the last: of the data set, private elements in explicit
        // little endian; else of a command.
        const std::string value(16000, 'j');
        for (uint16_t element = 0x1000; !stop_; ++element) {
          std::string junk;
          if (get)
            junk = Pdv(ctContext, 0x00,
                       std::string{'\x09', '\0', char(element & 0xFF), char(element >> 8), 'O', 'B', 0, 0} +
                           BigEndian(0x803E0000, 4) + value);
          else
            junk = Pdv(1, 0x01, value);
          if (send(client, junk.data(), junk.size(), MSG_NOSIGNAL) != ssize_t(junk.size())) break;
          std::this_thread::sleep_for(1ms);
        }
      }
    }
    close(client);
  }

  int listen_ = -1;
  std::atomic<bool> stop_{false};
  std::thread acceptor_;
  std::vector<std::thread> talkers_;  // the acceptor's own
};

TEST(HostilePeer, EveryCallAgainstAJunkStreamingNodeEnds) {
  fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  if (ct.empty()) GTEST_SKIP() << "pydicom test files not installed";
  sodcm::NetLimits limits;
  limits.acse = 4;
  limits.pdu = 2;
  limits.dimse = 4;
  limits.call = 2;
  limits.perObject = 1;
  limits.perMegabyte = 1;
  limits.inFlight = 1;
  ScopedLimits scoped(limits);
  JunkNode node;
  ErrorLog errors;
  const Clock::time_point start = Clock::now();
  std::vector<std::future<bool>> calls =
      peer::CallEveryService({node.port, node.port, node.port, node.port, node.port}, ct, 1);
  // A command past its limit ends the association at once; the fetched data set earns its
  // in-flight megabyte and no more, however fast it comes.
  const char* names[] = {"echo", "store", "get", "commit", "print"};
  std::vector<double> took(calls.size(), -1);
  for (size_t done = 0; done < calls.size() && Clock::now() < start + 15s;) {
    std::this_thread::sleep_for(20ms);
    for (size_t i = 0; i < calls.size(); ++i)
      if (took[i] < 0 && calls[i].wait_for(0s) == std::future_status::ready) took[i] = Seconds(Clock::now() - start), ++done;
  }
  const double getAllowed = limits.call + limits.inFlight * limits.perMegabyte;
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(names[i]);
    ASSERT_GE(took[i], 0) << "still running after 15 s";
    EXPECT_FALSE(calls[i].get());
    if (std::string(names[i]) == "get") {
      EXPECT_GT(took[i], getAllowed - 0.3);
      EXPECT_LT(took[i], getAllowed + 1.5);
    } else {
      EXPECT_LT(took[i], 1.0);
    }
  }
  const std::vector<std::string> lines = errors.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("C-GET"), std::string::npos) << lines[0];
}

}  // namespace

namespace {

// The first bytes the service answers with, as many as came within limit (at most n).
std::string Answer(RawPeer& peer, size_t n, Clock::duration limit) {
  std::string got;
  const Clock::time_point end = Clock::now() + limit;
  while (got.size() < n && Clock::now() < end) {
    pollfd p{peer.Socket(), POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char buf[64];
    ssize_t r = recv(peer.Socket(), buf, std::min(sizeof buf, n - got.size()), MSG_DONTWAIT);
    if (r <= 0) break;
    got.append(buf, size_t(r));
  }
  return got;
}

}  // namespace

// Twenty silent connections and eight associations held open by one peer, all from this host,
// at the service's own limits: the peer gets its share of places and each request over it is
// refused at once as a transient rejection, and a normal sender is served in its usual time.
TEST(HostilePeer, HeldAndSilentConnectionsLeaveRoomForANormalSender) {
  fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  if (ct.empty()) GTEST_SKIP() << "pydicom test files not installed";
  fs::path dir = orvanta::test::MakeTempDir("crowded");
  const std::vector<std::string> files = peer::MakeInstances(ct, dir / "ct", 20);
  Service service;
  std::vector<std::unique_ptr<RawPeer>> silent;
  for (int i = 0; i < 20; ++i) {
    silent.push_back(std::make_unique<RawPeer>(service.port));
    EXPECT_TRUE(silent.back()->Connected());
  }
  std::vector<std::unique_ptr<RawPeer>> held;
  int accepted = 0, refused = 0;
  for (int i = 0; i < 8; ++i) {
    held.push_back(std::make_unique<RawPeer>(service.port));
    RawPeer& peer = *held.back();
    ASSERT_TRUE(peer.Connected() && peer.Send(VerificationRequest("KEEPALIVE")));
    const Clock::time_point asked = Clock::now();
    const std::string answer = Answer(peer, 10, 10s);
    ASSERT_FALSE(answer.empty()) << "request " << i << " was not answered";
    if (answer[0] == 0x02) {
      ++accepted;
    } else {
      ++refused;
      ASSERT_EQ(answer.size(), 10u);
      EXPECT_EQ(answer[0], 0x03);  // A-ASSOCIATE-RJ
      EXPECT_EQ(answer[7], 0x02);  // rejected, transient
      EXPECT_EQ(answer[8], 0x03);  // by the service provider (presentation)
      EXPECT_EQ(answer[9], 0x02);  // local limit exceeded
      EXPECT_LT(Seconds(Clock::now() - asked), 1.0);
    }
  }
  EXPECT_EQ(accepted, 4);
  EXPECT_EQ(refused, 4);

  double storeSeconds = 0, echoSeconds = 0;
  std::vector<std::string> store{"storescu", "-aec", "ORVANTA", "127.0.0.1", std::to_string(service.port)};
  store.insert(store.end(), files.begin(), files.end());
  EXPECT_EQ(RunTool(store, dir / "storescu.log", storeSeconds), 0);
  EXPECT_EQ(RunTool({"echoscu", "-aec", "ORVANTA", "127.0.0.1", std::to_string(service.port)}, dir / "echoscu.log",
                    echoSeconds),
            0);
  EXPECT_EQ(service.keeper.stored, 20);
  std::cout << "normal sender served in " << storeSeconds << " s, echo in " << echoSeconds << " s\n";
  EXPECT_LT(storeSeconds, 5.0);
  EXPECT_LT(echoSeconds, 5.0);
}

namespace {

// One implicit little endian element.
std::string Element(uint32_t tag, std::string value) {
  if (value.size() % 2) value += '\0';
  auto le = [](uint32_t v, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += char((v >> (8 * i)) & 0xFF);
    return out;
  };
  return le(tag >> 16, 2) + le(tag & 0xFFFF, 2) + le(uint32_t(value.size()), 4) + value;
}

std::string U16(uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; }

// P-DATA-TF PDUs carrying bytes as one command or data set of context 1, in fragments that fit
// the service's largest PDU.
std::string PData(const std::string& bytes, bool command) {
  std::string out;
  constexpr size_t kFragment = 16000;
  for (size_t at = 0; at < bytes.size(); at += kFragment) {
    const std::string part = bytes.substr(at, kFragment);
    const bool last = at + kFragment >= bytes.size();
    const char control = char((command ? 1 : 0) | (last ? 2 : 0));
    const std::string pdv = BigEndian(uint32_t(part.size() + 2), 4) + '\x01' + control + part;
    out += std::string("\x04\0", 2) + BigEndian(uint32_t(pdv.size()), 4) + pdv;
  }
  return out;
}

}  // namespace

// A data set whose elements run backwards (which DCMTK reads in time growing with the square of
// its size) is answered with a failure at once, and the association goes on.
TEST(HostilePeer, DataSetWithItsElementsBackwardsIsRefusedAtOnce) {
  Service service;
  RawPeer peer(service.port);
  ASSERT_TRUE(peer.Connected() && peer.Send(AssociationRequest("BACKWARDS", "1.2.840.10008.5.1.4.1.1.2")));
  const std::string accepted = Answer(peer, 6, 10s);
  ASSERT_FALSE(accepted.empty());
  ASSERT_EQ(accepted[0], 0x02);
  const uint32_t rest = uint32_t(uint8_t(accepted[2])) << 24 | uint32_t(uint8_t(accepted[3])) << 16 |
                        uint32_t(uint8_t(accepted[4])) << 8 | uint8_t(accepted[5]);
  ASSERT_EQ(Answer(peer, rest, 10s).size(), rest);

  std::string command = Element(0x00000002, "1.2.840.10008.5.1.4.1.1.2") + Element(0x00000100, U16(0x0001)) +
                        Element(0x00000110, U16(1)) + Element(0x00000700, U16(0)) +
                        Element(0x00000800, U16(0x0000)) + Element(0x00001000, "1.2.3.4.5");
  command = Element(0x00000000, std::string{char(command.size()), char(command.size() >> 8), 0, 0}) + command;
  // 40,000 private elements, highest tag first: 400 KB.
  std::string dataset;
  for (uint32_t element = 0xFFFF; element > 0xFFFF - 40000; --element) dataset += Element(0x00110000 | element, "ab");
  ASSERT_TRUE(peer.Send(PData(command, true)) && peer.Send(PData(dataset, false)));
  const Clock::time_point sent = Clock::now();

  const std::string header = Answer(peer, 6, 60s);
  const double seconds = Seconds(Clock::now() - sent);
  ASSERT_EQ(header.size(), 6u);
  EXPECT_EQ(header[0], 0x04);
  const uint32_t length = uint32_t(uint8_t(header[4])) << 8 | uint8_t(header[5]);
  const std::string response = Answer(peer, length, 10s);
  const std::string status = Element(0x00000900, U16(0xC000));
  EXPECT_NE(response.find(status), std::string::npos) << "no status C000 in the response";
  EXPECT_LT(seconds, 2.0);
  EXPECT_EQ(service.keeper.stored, 0);
}
