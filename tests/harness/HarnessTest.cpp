#include <gtest/gtest.h>

#include <QLabel>
#include <cstdlib>
#include <filesystem>

#include "TestSupport.h"

namespace fs = std::filesystem;
using namespace orvanta::test;

TEST(Harness, UserFoldersPointIntoScratch) {
  const std::string scratch = ScratchRoot().string();
  for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "PROGRAMDATA"}) {
    const char* value = std::getenv(var);
    ASSERT_NE(value, nullptr) << var;
    EXPECT_EQ(std::string(value).rfind(scratch, 0), 0u) << var << "=" << value;
    EXPECT_TRUE(fs::is_directory(value)) << var;
  }
  EXPECT_NE(MakeTempDir(), MakeTempDir());
}

TEST(Harness, ProgramFolderHoldsTheRuntimeTree) {
  const fs::path bin = ProgramFolder();
  for (const char* sub : {"config/system.xml", "skin", "locale", "colors", "report/Template"})
    EXPECT_TRUE(fs::exists(bin / sub)) << sub;
  for (const char* lib : {"libLumexa.so", "libVoxmere.so", "libNimbrel.so", "libGossamy.so", "libKelvast.so",
                          "libHalvex.so", "libZarnet.so", "libOstrel.so", "libWendrel.so", "libTessaly.so",
                          "libCorvide.so", "libTabrisk.so", "libQuillon.so", "libBrenvik.so", "libSevrane.so"})
    EXPECT_TRUE(fs::exists(bin / lib)) << lib;
}

TEST(Harness, OffscreenWidgetsRender) {
  EnsureQtApp();
  QLabel label("Orvanta");
  label.resize(120, 30);
  QImage image = label.grab().toImage();
  EXPECT_EQ(image.width(), 120);
}
