#include "FieldClamp.h"

#include <gtest/gtest.h>

TEST(FieldClamp, ReadsClampsAndWritesBack) {
  struct Case {
    const char* text;
    bool integer;
    double low, high;
    const char* written;
  };
  const Case cases[] = {
      {"250", true, 1, 100, "100"},      {"0", true, 1, 100, "1"},         {"abc", true, 1, 100, "1"},
      {"42.9", true, 1, 100, "42"},      {"99999999999999999999", true, 1, 100, "100"},
      {"0.04", false, 0.1, 10.0, "0.1"}, {"12", false, 0.1, 10.0, "10.0"}, {"3.14159", false, 0.1, 100.0, "3.1"},
      {"nan", false, 0.1, 100.0, "0.1"}, {"inf", false, 0.1, 100.0, "100.0"}, {"", false, 0.1, 10.0, "0.1"},
      {"200", true, 5, 175, "175"},      {"-3", true, 5, 175, "5"},
  };
  for (const Case& c : cases) EXPECT_EQ(ClampField(c.text, c.integer, c.low, c.high), c.written) << c.text;
}
