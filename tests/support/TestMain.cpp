#include <gtest/gtest.h>

#include "TestSupport.h"

int main(int argc, char** argv) {
  // Before anything reads the environment: no test may touch the user's own files.
  orvanta::test::InitScratch();
  testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
  orvanta::test::ShutdownScratch();
  return rc;
}
