#include <gtest/gtest.h>

namespace orvanta::test {
void InitScratch();
void ShutdownScratch();
}  // namespace orvanta::test

int main(int argc, char** argv) {
  // Before anything reads the environment: no test may touch the user's own files.
  orvanta::test::InitScratch();
  testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
  orvanta::test::ShutdownScratch();
  return rc;
}
