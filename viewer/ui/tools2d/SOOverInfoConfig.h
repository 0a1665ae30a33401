#pragma once

#include <string>
#include <vector>

// One configured corner-text item.
struct SOOverInfoItem {
  unsigned long tag = 0;  // group in the high 16 bits
  std::wstring prefix;
  std::wstring suffix;
  bool newline = false;  // starts a new line when the corner already has text
};

// Which attributes the corner texts show: four item lists, 0 "LeftTop", 1 "LeftBottom",
// 2 "RightTop", 3 "RightBottom". One per process, read once from config/overinfo.xml in the
// program folder, else from the built-in document.
class SOOverInfoConfig {
 public:
  static SOOverInfoConfig& Instance();

  // Replaces the lists from a file; false (lists from the built-in document) when it cannot be read.
  bool Load(const std::string& path);
  // Replaces the lists from XML text; false (lists empty) when it does not parse.
  bool Parse(const char* xml);

  const std::vector<SOOverInfoItem>& Items(int corner) const { return lists_[corner]; }

 private:
  SOOverInfoConfig() = default;
  std::vector<SOOverInfoItem> lists_[4];
};
