#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "SOPluginLoader.h"
#include "ShellTestUtil.h"

namespace {

std::vector<std::string> Calls(ISOPlugin* plugin) {
  std::vector<std::string> calls;
  plugin->OnCommand("CALLS", &calls);
  return calls;
}

// Only the host pointer matters to the loader.
class NullHost : public ISOExecuter {
 public:
  bool HasPlugin(const wchar_t*) override { return false; }
  bool ActivatePlugin(const wchar_t*) override { return true; }
  bool SetStatusText(const char*) override { return true; }
  bool SendCommand(const wchar_t*, const char*, void*) override { return false; }
  bool Broadcast(int, void*, HWND) override { return true; }
  void SetBadge(ISOPlugin*, int) override {}
};

TEST(PluginLoader, LoadsOnlyTheGoodLibrariesInOrderWithTheHostsCallsInOrder) {
  const auto dir = shelltest::MakeProgramDir(
      {"libMissing.so", "libTestNoExport.so", "libTestNull.so", "libTestB.so", "libTestA.so"});
  NullHost host;
  std::vector<SOPluginItem> items;
  std::string loaderThread;
  std::thread loader([&] {
    loaderThread = shelltest::ThreadTag();
    items = LoadPlugins(dir.string() + "/", {"libMissing.so", "libTestNoExport.so", "libTestNull.so",
                                             "libTestB.so", "libTestA.so"},
                        &host);
  });
  loader.join();

  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].name, L"TestB");
  EXPECT_EQ(items[1].name, L"TestA");
  for (const auto& item : items) {
    EXPECT_EQ(item.icon, L"main/tray.png");
    EXPECT_EQ(item.plugin->GetExecuter(), &host);
    EXPECT_EQ(Calls(item.plugin), (std::vector<std::string>{"SetExecuter@" + loaderThread,
                                                            "GetName@" + loaderThread,
                                                            "GetIcon@" + loaderThread}));
  }
}

TEST(PluginLoader, EmptyListLoadsNothing) {
  NullHost host;
  EXPECT_TRUE(LoadPlugins("/nonexistent/", {}, &host).empty());
  EXPECT_TRUE(LoadPlugins("/nonexistent/", {"libTestA.so"}, &host).empty());
}

}  // namespace
