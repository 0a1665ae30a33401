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

// The list index to select after a rebuild: the remembered study's new row when it is still
// listed, else the old index clamped into the list; -1 for an empty list.
int ClampSelection(int index, int rowCount);
