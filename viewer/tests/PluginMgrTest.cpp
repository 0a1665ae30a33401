#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SOPluginMgr.h"
#include "SOToolKinds.h"
#include "TestSupport.h"

namespace {

std::vector<std::string> g_log;

// Records every message it sees; takes those listed in takes.
class Fake : public ISOCtrlPlugin {
 public:
  Fake(std::string name, bool always = false, std::vector<UINT> takes = {})
      : name_(std::move(name)), always_(always), takes_(std::move(takes)) {}
  bool IsAlwaysActive() override { return always_; }
  const char* GetName() override { return name_.c_str(); }
  void SetHost(IPluginHost* host) override { host_ = host; }
  bool OnMessage(UINT msg, WPARAM, LPARAM) override {
    g_log.push_back(name_ + ":" + std::to_string(msg));
    for (UINT t : takes_) {
      if (t == msg) return true;
    }
    return false;
  }
  HCURSOR GetCursor() override { return LoadCursorW(nullptr, IDC_HAND); }
  IPluginHost* host_ = nullptr;

 private:
  std::string name_;
  bool always_;
  std::vector<UINT> takes_;
};

class FakeGraphics : public Fake, public ISOGraphicTool {
 public:
  FakeGraphics() : Fake("GRAPHICS", true) {}
  void SetGraphicType(const char* type) override { this->type = type; }
  std::string type = "unset";
};

// Only a non-null host matters to the manager.
IPluginHost* FakeHost() {
  return reinterpret_cast<IPluginHost*>(0x1000);
}

}  // namespace

TEST(PluginMgr, RoutingOrder) {
  orvanta::test::EnsureQtApp();
  SOPluginMgr mgr;
  mgr.SetPluginHost(FakeHost());
  mgr.AddPlugin(new Fake("A", true));
  mgr.AddPlugin(new FakeGraphics);
  mgr.AddPlugin(new Fake("B", true));
  mgr.AddPlugin(new Fake("R"));
  mgr.AddPlugin(new Fake("M"));
  mgr.AddPlugin(new Fake("L"));
  mgr.AddPlugin(new Fake("W"));
  mgr.SetRButtonPlugin("R");
  mgr.SetMButtonPlugin("M");
  mgr.SetLButtonPlugin("L");
  mgr.SetWheelPlugin("W");

  struct Case {
    UINT msg;
    std::vector<std::string> seen;
    bool taken;
  };
  const Case cases[] = {
      {WM_MOUSEMOVE, {"B:512", "A:512", "GRAPHICS:512", "R:512", "M:512", "L:512"}, false},
      {WM_RBUTTONDOWN, {"B:516", "A:516", "GRAPHICS:516", "R:513"}, false},
      {WM_MBUTTONUP, {"B:520", "A:520", "GRAPHICS:520", "M:514"}, false},
      {WM_MOUSEWHEEL, {"B:522", "A:522", "GRAPHICS:522", "W:522"}, false},
      {WM_KEYDOWN, {"B:256", "A:256", "GRAPHICS:256"}, false},
      // Nothing takes it: the left tool's cursor is set instead.
      {WM_SETCURSOR, {"B:32", "A:32", "GRAPHICS:32"}, true},
  };
  for (const Case& c : cases) {
    g_log.clear();
    EXPECT_EQ(mgr.OnMessage(c.msg, 0, 0), c.taken) << c.msg;
    EXPECT_EQ(g_log, c.seen) << c.msg;
  }
  SOPluginMgr hostless;
  hostless.AddPlugin(new Fake("A", true));
  g_log.clear();
  EXPECT_FALSE(hostless.OnMessage(WM_MOUSEMOVE, 0, 0));
  EXPECT_TRUE(g_log.empty());
}

TEST(PluginMgr, ButtonToolsCursorShowsDuringThePressAndIsRestored) {
  orvanta::test::EnsureQtApp();
  SOPluginMgr mgr;
  mgr.SetPluginHost(FakeHost());
  mgr.AddPlugin(new Fake("WW", false, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE}));
  mgr.SetRButtonPlugin("WW");
  HCURSOR before = LoadCursorW(nullptr, IDC_CROSS);
  SetCursor(before);
  EXPECT_TRUE(mgr.OnMessage(WM_RBUTTONDOWN, 0, 0));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
  EXPECT_TRUE(mgr.OnMessage(WM_MOUSEMOVE, 0, 0));
  EXPECT_TRUE(mgr.OnMessage(WM_RBUTTONUP, 0, 0));
  EXPECT_EQ(GetCursor(), before);
}

TEST(PluginMgr, BindingsByNameAndGraphicTypes) {
  SOPluginMgr mgr;
  auto* graphics = new FakeGraphics;
  mgr.AddPlugin(graphics);
  mgr.AddPlugin(new Fake("PAN"));
  mgr.SetLButtonPlugin("LENGTH");
  EXPECT_STREQ(mgr.GetLButtonPlugin(), "GRAPHICS");
  EXPECT_EQ(graphics->type, "LENGTH");
  mgr.SetLButtonPlugin("PAN");
  EXPECT_STREQ(mgr.GetLButtonPlugin(), "PAN");
  EXPECT_EQ(graphics->type, "");

  // Bound before the plug-in exists: AddPlugin resolves it, InsertPlugin does not.
  mgr.SetRButtonPlugin("WW");
  mgr.SetMButtonPlugin("ZOOM");
  EXPECT_EQ(mgr.GetRButtonPlugin(), nullptr);
  mgr.InsertPlugin(0, new Fake("ZOOM"));
  EXPECT_EQ(mgr.GetMButtonPlugin(), nullptr);
  mgr.AddPlugin(new Fake("WW"));
  EXPECT_STREQ(mgr.GetRButtonPlugin(), "WW");
  EXPECT_STREQ(mgr.GetMButtonPlugin(), "ZOOM");
  EXPECT_TRUE(mgr.RemovePlugin("WW"));
  EXPECT_EQ(mgr.GetRButtonPlugin(), nullptr);
  EXPECT_FALSE(mgr.RemovePlugin("WW"));
  EXPECT_FALSE(mgr.AddPlugin(static_cast<ISOCtrlPlugin*>(nullptr)));
  EXPECT_FALSE(mgr.AddPlugin("VALUE"));
  EXPECT_EQ(mgr.GetPlugin("VALUE"), nullptr);
}

TEST(PluginMgr, HostReachesPluginsAddedBeforeAndAfter) {
  SOPluginMgr mgr;
  auto* before = new Fake("A");
  mgr.AddPlugin(before);
  mgr.SetPluginHost(FakeHost());
  auto* after = new Fake("B");
  mgr.InsertPlugin(99, after);
  EXPECT_EQ(before->host_, FakeHost());
  EXPECT_EQ(after->host_, FakeHost());
}

TEST(PluginMgr, IntersectLines) {
  const float a[2] = {0, 0}, b[2] = {2, 2}, c[2] = {0, 2}, d[2] = {2, 0};
  float out[2] = {-7, -7};
  ASSERT_TRUE(IntersectLines(a, b, c, d, out));
  EXPECT_FLOAT_EQ(out[0], 1);
  EXPECT_FLOAT_EQ(out[1], 1);
  const float e[2] = {0, 1}, f[2] = {2, 3};
  out[0] = out[1] = -7;
  EXPECT_FALSE(IntersectLines(a, b, e, f, out));
  EXPECT_EQ(out[0], -7);
}
