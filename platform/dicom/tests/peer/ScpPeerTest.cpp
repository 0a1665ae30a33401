// The receiving service fed by DCMTK's storescu and by a sender that aborts.

#include "DicomFixtures.h"
#include "PeerFiles.h"
#include "PeerProcess.h"
#include "SODcmFile.h"
#include "SODcmSCP.h"
#include "TestSupport.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <dcmtk/dcmnet/scu.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>
#include <set>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using orvanta::test::FreeLoopbackPort;
using orvanta::test::MakeTempDir;

namespace {

struct Recorder : ISODcmSCPCallback {
  bool keep = true;
  fs::path saveDir;
  // Only the service thread writes; the test reads after the service stopped or with the lock.
  std::mutex mutex;
  std::vector<std::string> uids;
  std::vector<std::string> syntaxes;
  std::vector<std::string> callingAEs;
  // Where each object was during OnStore: the temporary file it is read from, or "" in memory;
  // and the permissions of that file's folder then.
  std::vector<std::string> sources;
  std::vector<fs::perms> sourceFolderPerms;
  int begins = 0;
  int ends = 0;
  std::vector<bool> states;

  void OnStoreBegin(SODcmAssociationParams&) override {
    std::lock_guard<std::mutex> lock(mutex);
    ++begins;
  }
  bool OnStore(SODcmAssociationParams& params, SODcmFile* file) override {
    std::string uid;
    file->GetDataset()->GetString(0x00080018, uid);
    OFString ts;
    file->GetFileFormat()->getMetaInfo()->findAndGetOFString(DCM_TransferSyntaxUID, ts);
    std::string source = file->GetFilePath();
    std::error_code ec;
    fs::perms perms = source.empty() ? fs::perms::none : fs::status(fs::path(source).parent_path(), ec).permissions();
    if (!saveDir.empty()) file->SaveFile((saveDir / (uid + ".dcm")).c_str(), true);
    std::lock_guard<std::mutex> lock(mutex);
    sources.push_back(source);
    sourceFolderPerms.push_back(perms);
    uids.push_back(uid);
    syntaxes.push_back(ts.c_str());
    callingAEs.push_back(params.callingAE);
    return keep;
  }
  void OnStoreEnd(SODcmAssociationParams&) override {
    std::lock_guard<std::mutex> lock(mutex);
    ++ends;
  }
  void OnStateChanged(bool running) override {
    std::lock_guard<std::mutex> lock(mutex);
    states.push_back(running);
  }
  int Ends() {
    std::lock_guard<std::mutex> lock(mutex);
    return ends;
  }
};

// The service on its own thread for the length of a test.
struct RunningSCP {
  SODcmSCP scp;
  int port = FreeLoopbackPort();
  std::thread thread;
  explicit RunningSCP(ISODcmSCPCallback* callback, const fs::path& spill = {}) {
    EXPECT_TRUE(scp.InitSCP("ORVANTA", port));
    EXPECT_TRUE(scp.SetTransferFormat(SODcmTransferFormat_All));
    scp.SetCallback(callback);
    if (!spill.empty()) scp.SetSpillFolder(spill.c_str());
    thread = std::thread([this] { scp.StartSCP(); });
  }
  ~RunningSCP() {
    scp.Stop();
    thread.join();
  }
  bool Ready() {
    for (int i = 0; i < 200 && !scp.IsRunning(); ++i) std::this_thread::sleep_for(10ms);
    return scp.IsRunning();
  }
};

// proposal: the storescu option that offers the files' transfer syntax, so compressed
// files go as they are.
int RunStoreSCU(int port, const std::vector<std::string>& files, const fs::path& log, const char* proposal = "-x=") {
  // TCP_NODELAY=1: as built here storescu otherwise waits for a delayed ACK on every object.
  std::vector<std::string> argv{"env", "TCP_NODELAY=1", "storescu", "-v", proposal, "-aet", "STORESCU", "-aec", "ANYTHING", "127.0.0.1",
                                std::to_string(port)};
  argv.insert(argv.end(), files.begin(), files.end());
  peer::PeerProcess storescu(argv, log);
  return storescu.WaitExit(120s);
}

TEST(ScpPeer, ReceivesEveryObjectFromStoreSCUKeepingCompressedSyntaxes) {
  fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  if (ct.empty()) GTEST_SKIP() << "pydicom test files not installed";
  fs::path dir = MakeTempDir("scp");
  std::vector<std::string> files = peer::MakeInstances(ct, dir / "ct", 100);
  ASSERT_EQ(files.size(), 100u);
  std::vector<std::string> compressed;
  std::vector<const char*> proposals;
  for (auto [name, proposal] : {std::pair{"SC_rgb_jpeg_dcmtk.dcm", "-xy"}, std::pair{"JPGExtended.dcm", "-xx"},
                                std::pair{"MR_small_jpeg_ls_lossless.dcm", "-xt"}, std::pair{"MR_small_RLE.dcm", "-xr"}}) {
    fs::path p = orvanta::test::PydicomFile(name);
    if (p.empty()) continue;
    compressed.push_back(p.string());
    proposals.push_back(proposal);
  }
  ASSERT_FALSE(compressed.empty());
  const int associations = 1 + static_cast<int>(compressed.size());

  Recorder recorder;
  recorder.saveDir = dir / "saved";
  fs::create_directories(recorder.saveDir);
  {
    RunningSCP scp(&recorder);
    ASSERT_TRUE(scp.Ready());
    EXPECT_EQ(RunStoreSCU(scp.port, files, dir / "storescu-ct.log"), 0);
    for (size_t i = 0; i < compressed.size(); ++i)
      EXPECT_EQ(RunStoreSCU(scp.port, {compressed[i]}, dir / ("storescu-" + std::to_string(i) + ".log"), proposals[i]), 0);
    // The end of each association is told before the next one is served.
    for (int i = 0; i < 100 && recorder.Ends() < associations; ++i) std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(recorder.begins, associations);
  EXPECT_EQ(recorder.ends, associations);
  EXPECT_EQ(recorder.states, (std::vector<bool>{true, false}));
  ASSERT_EQ(recorder.uids.size(), files.size() + compressed.size());
  std::set<std::string> expected, got(recorder.uids.begin(), recorder.uids.end() - compressed.size());
  for (const std::string& f : files) expected.insert(peer::SopInstanceUID(f));
  EXPECT_EQ(got, expected);
  for (size_t i = 0; i < compressed.size(); ++i) {
    DcmFileFormat original;
    ASSERT_TRUE(original.loadFile(compressed[i].c_str()).good());
    EXPECT_EQ(recorder.syntaxes[files.size() + i], DcmXfer(original.getDataset()->getOriginalXfer()).getXferID())
        << compressed[i] << " was not kept as sent";
  }
  EXPECT_EQ(recorder.callingAEs.front(), "STORESCU");
  // The object handed over is the object sent.
  EXPECT_TRUE(peer::SameContent(files[7], recorder.saveDir / (peer::SopInstanceUID(files[7]) + ".dcm")));
}

TEST(ScpPeer, LargeObjectGoesThroughATemporaryFileSmallOnesStayInMemory) {
  fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  if (ct.empty()) GTEST_SKIP() << "pydicom test files not installed";
  fs::path dir = MakeTempDir("scp-large");
  // 3000 x 3000 x 16 bit: 18 MB, more than the service holds in memory.
  orvanta::fixtures::CtSeriesOptions options;
  options.slices = 1;
  options.rows = options.columns = 3000;
  const std::string large = orvanta::fixtures::WriteCtSeries(dir / "large", options).files.front().string();
  const std::string small = peer::MakeInstances(ct, dir / "small", 1).front();

  Recorder recorder;
  recorder.saveDir = dir / "saved";
  fs::create_directories(recorder.saveDir);
  const fs::path spill = dir / "store";
  {
    RunningSCP scp(&recorder, spill);
    ASSERT_TRUE(scp.Ready());
    EXPECT_EQ(RunStoreSCU(scp.port, {large}, dir / "storescu-large.log"), 0);
    // Deflated on the wire: inflated as it arrives.
    EXPECT_EQ(RunStoreSCU(scp.port, {small}, dir / "storescu-small.log", "-xd"), 0);
  }
  ASSERT_EQ(recorder.sources.size(), 2u);
  EXPECT_FALSE(recorder.sources[0].empty());
  EXPECT_FALSE(fs::exists(recorder.sources[0])) << "the temporary file outlived the object";
  // In a private folder of its own under the given one, gone with the service.
  const fs::path folder = fs::path(recorder.sources[0]).parent_path();
  EXPECT_EQ(folder.parent_path(), spill);
  EXPECT_EQ(recorder.sourceFolderPerms[0], fs::perms::owner_all);
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(recorder.sources[1], "");
  EXPECT_EQ(recorder.syntaxes[1], UID_DeflatedExplicitVRLittleEndianTransferSyntax);
  EXPECT_TRUE(peer::SameContent(large, recorder.saveDir / (recorder.uids[0] + ".dcm")));
  EXPECT_TRUE(peer::SameContent(small, recorder.saveDir / (recorder.uids[1] + ".dcm")));
}

TEST(ScpPeer, ObjectNotKeptIsAnsweredWithFailure) {
  fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  if (ct.empty()) GTEST_SKIP() << "pydicom test files not installed";
  fs::path dir = MakeTempDir("scp-refuse");
  std::vector<std::string> files = peer::MakeInstances(ct, dir / "ct", 2);
  Recorder recorder;
  recorder.keep = false;
  RunningSCP scp(&recorder);
  ASSERT_TRUE(scp.Ready());
  RunStoreSCU(scp.port, files, dir / "storescu.log");
  const std::string log = orvanta::test::FileBytes(dir / "storescu.log");
  EXPECT_NE(log.find("Refused: OutOfResources"), std::string::npos) << log;
  EXPECT_EQ(log.find("(Success)"), std::string::npos) << log;
}

namespace {

bool WriteProcFile(const char* path, const std::string& text) {
  int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = write(fd, text.data(), text.size()) == ssize_t(text.size());
  close(fd);
  return ok;
}

}  // namespace

// A service whose spill folder lies on a filesystem with less free space than it keeps in
// reserve refuses every object as out of resources, and keeps serving.
TEST(ScpPeer, ObjectsAreRefusedWhileFreeSpaceIsShort) {
  fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  if (ct.empty()) GTEST_SKIP() << "pydicom test files not installed";
  fs::path dir = MakeTempDir("scp-full");
  std::vector<std::string> files = peer::MakeInstances(ct, dir / "ct", 2);
  const fs::path small = dir / "small";
  fs::create_directories(small);
  const int port = FreeLoopbackPort();
  const uid_t uid = getuid();
  const gid_t gid = getgid();
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A 64 MB filesystem of the child's own, mounted in a namespace of its own.
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 || !WriteProcFile("/proc/self/setgroups", "deny") ||
        !WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1") ||
        mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64m") != 0)
      _exit(3);
    Recorder recorder;
    SODcmSCP scp;
    scp.InitSCP("ORVANTA", port);
    scp.SetCallback(&recorder);
    scp.SetSpillFolder(small.c_str());
    scp.StartSCP();
    _exit(0);
  }
  int status = 0;
  bool listening = false;
  for (int i = 0; i < 500 && !listening; ++i) {
    if (waitpid(child, &status, WNOHANG) == child) break;
    listening = peer::Listening(port);
    if (!listening) std::this_thread::sleep_for(10ms);
  }
  if (!listening) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    GTEST_SKIP() << "no private filesystem for the test (user namespaces not allowed)";
  }
  RunStoreSCU(port, files, dir / "storescu.log");
  RunStoreSCU(port, files, dir / "storescu-again.log");
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  for (const char* name : {"storescu.log", "storescu-again.log"}) {
    const std::string log = orvanta::test::FileBytes(dir / name);
    EXPECT_NE(log.find("Refused: OutOfResources"), std::string::npos) << log;
    EXPECT_EQ(log.find("(Success)"), std::string::npos) << log;
  }
}

TEST(ScpPeer, AbortedAssociationStillEndsTheStoreAndBindFailureIsReported) {
  fs::path ct = orvanta::test::PydicomFile("CT_small.dcm");
  if (ct.empty()) GTEST_SKIP() << "pydicom test files not installed";
  Recorder recorder;
  RunningSCP scp(&recorder);
  ASSERT_TRUE(scp.Ready());

  DcmSCU sender;
  sender.setPeerHostName("127.0.0.1");
  sender.setPeerPort(static_cast<Uint16>(scp.port));
  sender.setPeerAETitle("ORVANTA");
  sender.setAETitle("ABORTER");
  sender.setACSETimeout(10);
  sender.setDIMSETimeout(10);
  OFList<OFString> ts;
  ts.push_back(UID_LittleEndianExplicitTransferSyntax);
  sender.addPresentationContext(UID_CTImageStorage, ts);
  ASSERT_TRUE(sender.initNetwork().good());
  ASSERT_TRUE(sender.negotiateAssociation().good());
  Uint16 status = 0xFFFF;
  ASSERT_TRUE(sender.sendSTORERequest(0, ct.c_str(), nullptr, status).good());
  EXPECT_EQ(status, 0x0000);
  sender.abortAssociation();
  for (int i = 0; i < 200 && recorder.Ends() == 0; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(recorder.Ends(), 1);

  // A second service on the same port cannot listen: it says so and returns.
  Recorder second;
  SODcmSCP clash;
  ASSERT_TRUE(clash.InitSCP("ORVANTA", scp.port));
  clash.SetCallback(&second);
  EXPECT_FALSE(clash.StartSCP());
  EXPECT_FALSE(clash.IsRunning());
  EXPECT_EQ(second.states, std::vector<bool>{false});

  struct Bad {
    const char* ae;
    int port;
  };
  for (const Bad& b : {Bad{"ORVANTA", 0}, Bad{"ORVANTA", 65536}, Bad{"", 104}, Bad{"ABCDEFGHIJKLMNOPQ", 104},
                       Bad{nullptr, 104}}) {
    SODcmSCP bad;
    EXPECT_FALSE(bad.InitSCP(b.ae, b.port));
  }
  EXPECT_FALSE(clash.SetTransferFormat(3));
}

}  // namespace
