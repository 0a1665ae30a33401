// archive.xml: defaults, what is taken from a file, and what is written back.

#include "ArchiveConfig.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using orvanta::test::MakeTempDir;

namespace {

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

struct Counter : ISOConfigCallback {
  int remote = 0, cloudReceive = 0, cloudDevice = 0;
  void OnRemoteChanged() override { ++remote; }
  void OnCloudReceiveChanged() override { ++cloudReceive; }
  void OnCloudDeviceChanged() override { ++cloudDevice; }
};

}  // namespace

TEST(ArchiveConfig, MissingFileIsWrittenWithTheDefaultsInElementOrder) {
  fs::path path = MakeTempDir() / "archive.xml";
  ArchiveConfig config(path.string());
  EXPECT_EQ(config.Port(), 11112);
  EXPECT_EQ(config.AETitle(), "Storage");
  EXPECT_EQ(config.CloudReceiveMinutes(), 5);
  EXPECT_EQ(ReadText(path),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
            "<Config>\n"
            "    <CloudReceive minutes=\"5\" />\n"
            "    <SCP port=\"11112\" AETitle=\"Storage\" />\n"
            "    <Remote />\n"
            "    <CloudDevice />\n"
            "</Config>\n");
  EXPECT_FALSE(fs::exists(path.string() + ".tmp"));
}

TEST(ArchiveConfig, LoadTakesOnlyValidValues) {
  struct Case {
    const char* scp;
    const char* minutes;
    int port;
    const char* ae;
    int expectMinutes;
    bool rewritten;
  } cases[] = {
      {"port=\"0\" AETitle=\"PACS\"", "5", 11112, "PACS", 5, true},
      {"port=\"70000\" AETitle=\"PACS\"", "5", 11112, "PACS", 5, true},
      {"port=\"65535\" AETitle=\"PACS\"", "5", 11112, "PACS", 5, true},
      {"port=\"99999999999999999999\" AETitle=\"PACS\"", "5", 11112, "PACS", 5, true},
      {"port=\"4242\" AETitle=\"  PACS1  \"", "5", 4242, "PACS1", 5, false},
      {"port=\"4242\" AETitle=\"   \"", "5", 4242, "Storage", 5, true},
      {"port=\"4242\" AETitle=\"ABCDEFGHIJKLMNOPQ\"", "5", 4242, "Storage", 5, true},
      {"port=\"4242\" AETitle=\"A\\B\"", "0", 4242, "Storage", 1, true},
      {"port=\"4242\" AETitle=\"PACS\"", "-3", 4242, "PACS", 1, false},
      {"port=\"4242\" AETitle=\"PACS\"", "50000", 4242, "PACS", 1440, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.scp) + " minutes " + c.minutes);
    fs::path path = MakeTempDir() / "archive.xml";
    std::string text = std::string("<?xml version=\"1.0\"?><Whatever><CloudReceive minutes=\"") + c.minutes +
                       "\"/><SCP " + c.scp + "/></Whatever>";
    WriteText(path, text);
    ArchiveConfig config(path.string());
    EXPECT_EQ(config.Port(), c.port);
    EXPECT_EQ(config.AETitle(), c.ae);
    EXPECT_EQ(config.CloudReceiveMinutes(), c.expectMinutes);
    EXPECT_EQ(ReadText(path) != text, c.rewritten);
  }
}

TEST(ArchiveConfig, ListsKeepDocumentOrderAndUnreachableNodesStayInTheFileOnly) {
  fs::path path = MakeTempDir() / "archive.xml";
  WriteText(path,
            "<Config><SCP port=\"104\" AETitle=\"WS\"/>"
            "<Remote><Item name=\"a\" AETitle=\"PACS\" ip=\"10.0.0.1\" port=\"104\"/>"
            "<Node name=\"wrapped\" AETitle=\"PACS\" ip=\"10.0.0.2\" port=\"70000\"/>"
            "<Item name=\"noip\" AETitle=\"PACS\" port=\"104\"/>"
            "<Other name=\"b\" AETitle=\" CT \" ip=\"host\" port=\"4242\"/></Remote>"
            "<Remote><Item name=\"second list\" AETitle=\"X\" ip=\"h\" port=\"1\"/></Remote>"
            "<CloudDevice><Item code=\"123\" comment=\"c\"/><X code=\"456\"/></CloudDevice></Config>");
  ArchiveConfig config(path.string());
  std::vector<RemoteNode> expected{{"a", "PACS", "10.0.0.1", 104}, {"b", "CT", "host", 4242}};
  EXPECT_EQ(config.Remotes(), expected);
  std::vector<CloudDevice> devices{{"123", "c"}, {"456", ""}};
  EXPECT_EQ(config.CloudDevices(), devices);

  // Saved after a change, the nodes nobody can reach are written back as the user wrote them.
  ASSERT_TRUE(config.AddRemote({"c", "NEW", "10.0.0.3", 11112}));
  ASSERT_TRUE(config.RemoveRemote(2));
  const std::string saved = ReadText(path);
  EXPECT_NE(saved.find("<Node name=\"wrapped\" AETitle=\"PACS\" ip=\"10.0.0.2\" port=\"70000\" />"),
            std::string::npos)
      << saved;
  EXPECT_NE(saved.find("<Item name=\"noip\" AETitle=\"PACS\" port=\"104\" />"), std::string::npos) << saved;
  ArchiveConfig again(path.string());
  EXPECT_EQ(again.Remotes(), expected);
  EXPECT_EQ(again.CloudDevices(), devices);
  EXPECT_EQ(again.Port(), 104);
  EXPECT_EQ(again.AETitle(), "WS");
}

TEST(ArchiveConfig, ChangesWriteOnlyWhenSomethingChangedAndTellListeners) {
  fs::path path = MakeTempDir() / "archive.xml";
  ArchiveConfig config(path.string());
  Counter counter;
  config.AddListener(&counter);
  config.AddListener(&counter);

  EXPECT_FALSE(config.SetSCP(0, "X"));
  EXPECT_FALSE(config.SetSCP(70000, "X"));
  EXPECT_FALSE(config.SetSCP(4000, nullptr));
  EXPECT_FALSE(config.SetSCP(4000, "TOO_LONG_AE_TITLE_"));
  EXPECT_EQ(config.Port(), 11112);
  EXPECT_TRUE(config.SetSCP(11113, "WS1"));
  EXPECT_NE(ReadText(path).find("port=\"11113\" AETitle=\"WS1\""), std::string::npos);
  fs::remove(path);
  EXPECT_TRUE(config.SetSCP(11113, "WS1"));
  EXPECT_FALSE(fs::exists(path)) << "unchanged values must not write";

  config.SetCloudReceiveMinutes(0);
  EXPECT_EQ(config.CloudReceiveMinutes(), 1);
  config.SetCloudReceiveMinutes(5000);
  EXPECT_EQ(config.CloudReceiveMinutes(), 1440);
  config.SetCloudReceiveMinutes(1440);
  EXPECT_EQ(counter.cloudReceive, 2);

  RemoteNode a{"a", "PACS", "127.0.0.1", 104}, b{"b", "CT", "host", 4242};
  EXPECT_TRUE(config.AddRemote(a));
  EXPECT_TRUE(config.AddRemote(b));
  EXPECT_FALSE(config.AddRemote({"bad", "PACS", "h", 0}));
  EXPECT_FALSE(config.AddRemote({"bad", "", "h", 104}));
  EXPECT_FALSE(config.UpdateRemote(2, a));
  RemoteNode c{"c", "MR", "10.1.1.1", 11112};
  EXPECT_TRUE(config.UpdateRemote(1, c));
  EXPECT_EQ(config.Remotes(), (std::vector<RemoteNode>{a, c}));
  EXPECT_FALSE(config.RemoveRemote(-1));
  EXPECT_FALSE(config.RemoveRemote(2));
  EXPECT_TRUE(config.RemoveRemote(0));
  EXPECT_EQ(config.Remotes(), (std::vector<RemoteNode>{c}));
  EXPECT_EQ(counter.remote, 4);

  EXPECT_TRUE(config.AddCloudDevice("123456789"));
  EXPECT_FALSE(config.RemoveCloudDevice(1));
  EXPECT_EQ(counter.cloudDevice, 1);

  ArchiveConfig reread(path.string());
  EXPECT_EQ(reread.Remotes(), (std::vector<RemoteNode>{c}));
  EXPECT_EQ(reread.CloudDevices(), (std::vector<CloudDevice>{{"123456789", ""}}));
  EXPECT_EQ(reread.CloudReceiveMinutes(), 1440);

  config.RemoveListener(&counter);
  EXPECT_TRUE(config.RemoveCloudDevice(0));
  EXPECT_EQ(counter.cloudDevice, 1);
}

TEST(ArchiveConfig, CommitListenerIsOnByDefaultAndKeepsWhatTheUserSet) {
  fs::path path = MakeTempDir() / "archive.xml";
  ArchiveConfig config(path.string());
  EXPECT_TRUE(config.CommitEnabled());
  EXPECT_EQ(config.CommitPort(), 11113);
  EXPECT_EQ(config.CommitAETitle(), "ORVANTA");
  EXPECT_EQ(ReadText(path).find("Commit"), std::string::npos) << "defaults add nothing to the file";

  EXPECT_FALSE(config.SetCommit(true, 0, "WS"));
  EXPECT_FALSE(config.SetCommit(true, 4000, "A\\B"));
  EXPECT_TRUE(config.SetCommit(false, 4000, " WS2 "));
  ArchiveConfig again(path.string());
  EXPECT_FALSE(again.CommitEnabled());
  EXPECT_EQ(again.CommitPort(), 4000);
  EXPECT_EQ(again.CommitAETitle(), "WS2");

  // A hand-written element: invalid values fall back to the defaults.
  WriteText(path, "<Config><Commit enable=\"1\" port=\"70000\" AETitle=\"\"/></Config>");
  ArchiveConfig hand(path.string());
  EXPECT_TRUE(hand.CommitEnabled());
  EXPECT_EQ(hand.CommitPort(), 11113);
  EXPECT_EQ(hand.CommitAETitle(), "ORVANTA");
}

TEST(ArchiveConfig, TypedPortsAreRefusedOutsideTheirRange) {
  struct Case {
    const char* text;
    int port;
  } cases[] = {{"104", 104}, {"65535", 65535}, {"0", 0},    {"70000", 0}, {"abc", 0},
               {"", 0},      {"-1", 0},        {"12a", 0}, {"99999999999999999999", 0}};
  for (const Case& c : cases) EXPECT_EQ(ArchiveConfig::ParsePort(c.text), c.port) << c.text;
  EXPECT_EQ(ArchiveConfig::ParsePort(nullptr), 0);
}
