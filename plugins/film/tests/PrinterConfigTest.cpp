#include "FilmEnums.h"
#include "PrinterConfig.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;
using orvanta::test::MakeTempDir;

namespace {

PrinterRecord Usable(const std::string& name) {
  PrinterRecord p;
  p.name = name;
  p.ip = "10.0.0.7";
  p.port = 104;
  p.calledAE = "PRINTER";
  p.callingAE = "ORVANTA";
  return p;
}

fs::path WriteFile(const std::string& text) {
  fs::path path = MakeTempDir("printers") / "printer.xml";
  std::ofstream(path) << text;
  return path;
}

std::vector<bool> Defaults(const PrinterConfig& config) {
  std::vector<bool> flags;
  for (const PrinterRecord& p : config.Printers()) flags.push_back(p.isDefault);
  return flags;
}

struct Listener : ISOFilmConfigCallback {
  int calls = 0;
  void OnPrinterConfigChanged() override { ++calls; }
};

TEST(PrinterConfig, EveryFieldRoundTripsIncludingTheMedium) {
  fs::path path = MakeTempDir("printers") / "printer.xml";
  PrinterRecord p = Usable("Film 胶片 A");
  p.filmSize = 12;
  p.filmOrient = 2;
  p.filmFormat = 1;
  p.headerVisible = false;
  p.headerSizeRatio = 0.05;
  p.DPI = 150;
  p.medium = 4;
  p.priority = 3;
  p.magnificationType = 4;
  p.smoothingType = "MEDIUM";
  p.isDefault = true;
  {
    PrinterConfig config(path.string());
    ASSERT_TRUE(config.Add(p));
    ASSERT_TRUE(config.Add(Usable("second")));
  }
  PrinterConfig again(path.string());
  ASSERT_EQ(again.Printers().size(), 2u);
  EXPECT_EQ(again.Printers()[0], p);
  std::string text = orvanta::test::FileBytes(path);
  EXPECT_NE(text.find("filmSize=\"A3\" filmOrient=\"LANDSCAPE\" filmFormat=\"COLOR\""), std::string::npos) << text;
  EXPECT_NE(text.find("medium=\"MAMMO CLEAR FILM\""), std::string::npos) << text;
  EXPECT_FALSE(fs::exists(path.string() + ".tmp"));
}

TEST(PrinterConfig, ReadsDefaultsAndTheDefaultPrinterFromHandWrittenFiles) {
  struct Case {
    const char* name;
    const char* xml;
    std::vector<bool> defaults;
  } cases[] = {
      {"two defaults: the second wins",
       "<Config><Printers><Item name='a' default='true'/><Item name='b' default='true'/><Item name='c'/>"
       "</Printers></Config>",
       {false, true, false}},
      {"no default: the first", "<Config><Printers><Item name='a'/><Item name='b'/></Printers></Config>",
       {true, false}},
      {"TRUE is not true", "<Config><Printers><Item name='a'/><Item name='b' default='TRUE'/></Printers></Config>",
       {true, false}},
      {"any root and item names", "<X><Printers><Y name='a'/></Printers></X>", {true}},
      {"no Printers element", "<Config><Other><Item name='a'/></Other></Config>", {}},
      {"broken markup", "<Config><Printers><Item name='a'", {}},
      {"not XML", "\x01\x02 nothing", {}},
  };
  for (const Case& c : cases) {
    PrinterConfig config(WriteFile(c.xml).string());
    EXPECT_EQ(Defaults(config), c.defaults) << c.name;
  }
  EXPECT_TRUE(PrinterConfig((MakeTempDir("printers") / "absent.xml").string()).Printers().empty());

  // Missing or unreadable attributes keep the defaults; headerVisible="TRUE" is false.
  PrinterConfig config(WriteFile("<Config><Printers><Item name='n' port='abc' filmSize='HUGE' headerVisible='TRUE'"
                                 " priority='URGENT'/></Printers></Config>")
                           .string());
  ASSERT_EQ(config.Printers().size(), 1u);
  PrinterRecord read = config.Printers()[0];
  PrinterRecord expected;
  expected.name = "n";
  expected.headerVisible = false;
  expected.isDefault = true;
  EXPECT_EQ(read, expected);
  std::string text;
  ASSERT_TRUE(FilmEnumText(FilmEnum::Size, read.filmSize, text));
  EXPECT_EQ(text, "8INX10IN");
  ASSERT_TRUE(FilmEnumText(FilmEnum::Magnification, read.magnificationType, text));
  EXPECT_EQ(text, "CUBIC");
  EXPECT_FALSE(FilmEnumText(FilmEnum::Medium, read.medium, text));  // not set, not sent
}

TEST(PrinterConfig, ChangesKeepOneDefaultAndAreSavedAndAnnounced) {
  fs::path path = MakeTempDir("printers") / "printer.xml";
  PrinterConfig config(path.string());
  Listener listener;
  config.AddListener(&listener);
  config.AddListener(&listener);

  ASSERT_TRUE(config.Add(Usable("a")));
  EXPECT_EQ(Defaults(config), (std::vector<bool>{false}));  // added without the flag: no default yet
  PrinterRecord b = Usable("b");
  b.isDefault = true;
  ASSERT_TRUE(config.Add(b));
  PrinterRecord c = Usable("c");
  c.isDefault = true;
  ASSERT_TRUE(config.Add(c));
  EXPECT_EQ(Defaults(config), (std::vector<bool>{false, false, true}));
  ASSERT_TRUE(config.RemoveAt(2));  // the default, and the last: the first takes over
  EXPECT_EQ(Defaults(config), (std::vector<bool>{true, false}));

  PrinterRecord edited = Usable("b edited");
  edited.isDefault = true;
  ASSERT_TRUE(config.ReplaceAt(1, edited));  // in place
  EXPECT_EQ(config.Printers()[1].name, "b edited");
  EXPECT_EQ(Defaults(config), (std::vector<bool>{false, true}));
  EXPECT_EQ(listener.calls, 5);
  EXPECT_EQ(PrinterConfig(path.string()).Printers(), config.Printers());

  EXPECT_FALSE(config.ReplaceAt(2, edited));
  EXPECT_FALSE(config.RemoveAt(-1));
  EXPECT_EQ(listener.calls, 5);
}

TEST(PrinterConfig, RefusesUnusablePrintersAndReportsAFailedSave) {
  PrinterConfig config((MakeTempDir("printers") / "printer.xml").string());
  struct Case {
    const char* name;
    void (*spoil)(PrinterRecord&);
  } cases[] = {
      {"port 0", [](PrinterRecord& p) { p.port = 0; }},
      {"port 65536", [](PrinterRecord& p) { p.port = 65536; }},
      {"AE of 17 characters", [](PrinterRecord& p) { p.calledAE = "ABCDEFGHIJKLMNOPQ"; }},
      {"AE with a backslash", [](PrinterRecord& p) { p.callingAE = "OR\\VANTA"; }},
      {"AE with a control character", [](PrinterRecord& p) { p.callingAE = "OR\tVANTA"; }},
      {"AE not ASCII", [](PrinterRecord& p) { p.calledAE = "打印机"; }},
      {"AE of spaces", [](PrinterRecord& p) { p.calledAE = "   "; }},
      {"no name", [](PrinterRecord& p) { p.name.clear(); }},
      {"no address", [](PrinterRecord& p) { p.ip.clear(); }},
  };
  for (const Case& c : cases) {
    PrinterRecord p = Usable("x");
    c.spoil(p);
    EXPECT_FALSE(config.Add(p)) << c.name;
  }
  EXPECT_TRUE(config.Printers().empty());
  EXPECT_FALSE(fs::exists(config.Path()));

  PrinterConfig unwritable((MakeTempDir("printers") / "missing" / "printer.xml").string());
  Listener listener;
  unwritable.AddListener(&listener);
  EXPECT_FALSE(unwritable.Add(Usable("a")));
  EXPECT_TRUE(unwritable.Printers().empty());
  EXPECT_EQ(listener.calls, 0);
}

}  // namespace
