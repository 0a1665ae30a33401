#include <gtest/gtest.h>

#include <fstream>

#include "Gossamy.h"
#include "SOSystemConfig.h"
#include "ShellTestUtil.h"

namespace {

std::string Local() {
  std::string value;
  Gossamy::ReadHKCU("Local", value);
  return value;
}

TEST(SystemConfig, ReadsVersionAndNamedPluginsInFileOrder) {
  const auto dir = orvanta::test::MakeTempDir("cfg");
  std::filesystem::create_directories(dir / "config");
  std::ofstream(dir / "config" / "system.xml") << R"(<?xml version="1.0"?>
<Anything><Version>2.5</Version><Plugins>
  <Plugin name="libB.so"/><Plugin/><Other name=""/><X name="libA.so"/>
</Plugins></Anything>)";
  SOSystemConfig config(dir.string() + "/");
  EXPECT_EQ(config.GetVersion(), "2.5");
  EXPECT_EQ(config.GetPlugins(), (std::vector<std::string>{"libB.so", "libA.so"}));

  SOSystemConfig missing("/nonexistent/");
  EXPECT_TRUE(missing.GetVersion().empty());
  EXPECT_TRUE(missing.GetPlugins().empty());
}

TEST(SystemConfig, StartUpLanguageFromRegistryOrSystemLocale) {
  struct Case {
    const char* stored;  // null: no value
    const char* system;
    const char* language;
    const char* storedAfter;
  } cases[] = {
      {"en_US", "zh_CN.UTF-8", "en_US", "en_US"},
      {"zh_TW", "en_US.UTF-8", "zh_TW", "zh_TW"},
      {nullptr, "zh_HK.UTF-8", "zh_TW", "zh_TW"},
      {nullptr, "zh_MO", "zh_TW", "zh_TW"},
      {nullptr, "zh_SG.UTF-8", "zh_CN", "zh_CN"},
      {nullptr, "zh_CN.GB18030", "zh_CN", "zh_CN"},
      {"fr_FR", "de_DE.UTF-8", "en_US", "en_US"},
      {"", "C", "en_US", "en_US"},
  };
  for (const auto& c : cases) {
    shelltest::FreshRegistry();
    if (c.stored) Gossamy::WriteHKCU("Local", c.stored);
    SOSystemConfig config("/nonexistent/");
    config.InitLanguage(c.system);
    SCOPED_TRACE(std::string(c.stored ? c.stored : "(none)") + " on " + c.system);
    EXPECT_EQ(config.GetLanguage(), c.language);
    EXPECT_EQ(config.GetCurrentLanguage(), c.language);
    EXPECT_EQ(Local(), c.storedAfter);
  }
}

TEST(SystemConfig, SetLanguageTakesOnlyTheThreeCodesAndLeavesTheCurrentOne) {
  shelltest::FreshRegistry();
  SOSystemConfig config("/nonexistent/");
  config.InitLanguage("en_US.UTF-8");
  config.SetLanguage(L"zh_TW");
  EXPECT_EQ(config.GetLanguage(), "zh_TW");
  EXPECT_EQ(config.GetCurrentLanguage(), "en_US");
  EXPECT_EQ(Local(), "zh_TW");
  for (const wchar_t* bad : {L"de", L"zh_tw", L"zh_TW ", L""}) config.SetLanguage(bad);
  config.SetLanguage(nullptr);
  EXPECT_EQ(config.GetLanguage(), "zh_TW");
  EXPECT_EQ(Local(), "zh_TW");
}

}  // namespace
