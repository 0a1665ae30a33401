#pragma once

#include "PatientRecord.h"

#include <array>
#include <string>
#include <vector>

// The texts of one study row. Columns 0 (remote state icon) and 1 (report icon) are only set
// when their flag says so; otherwise a row keeps what it showed.
struct StudyRowTexts {
  static constexpr int kColumns = 13;
  std::array<std::wstring, kColumns> columns;
  bool hasRemoteIcon = false;
  bool hasReportIcon = false;
};

StudyRowTexts MakeStudyRow(const PatientRecord& record);

// Stored values as a reader expects them: an age without leading zeros ("054Y" 54Y, "000Y" 0Y),
// a decimal without trailing zeros ("5.00000" 5, "2.50" 2.5), a person name without its empty
// trailing components ("Doe^John^^" Doe^John, "^^^^" nothing). Other texts stay as they are.
std::string AgeText(const std::string& age);
std::string DecimalText(const std::string& value);
std::string PersonNameText(const std::string& name);

// The list index to select after a rebuild: the remembered study's new row when it is still
// listed, else the old index clamped into the list; -1 for an empty list.
int ClampSelection(int index, int rowCount);
