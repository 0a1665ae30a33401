#pragma once

#include <string>
#include <vector>

// One attribute of a DICOM file as the tag viewer lists it; texts in UTF-8.
struct TagRow {
  int depth = 0;      // 0 at the top level, one more inside each sequence item
  std::string tag;    // "(0010,0010)"
  std::string vr;     // "PN"
  std::string name;   // the dictionary's keyword, "PatientName"
  std::string value;  // the value as text; binary values give their length
};

// Every attribute of the file, its file meta information first, then the dataset in order with
// the contents of sequences under their sequence. False when the file cannot be read.
bool ReadTagRows(const std::string& path, std::vector<TagRow>& rows);
// Whether the row holds the query (case-insensitive, in its tag, name or value); an empty query
// matches everything.
bool RowMatches(const TagRow& row, const std::string& query);
