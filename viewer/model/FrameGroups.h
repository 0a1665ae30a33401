#pragma once

#include <optional>

#include "SODcmDataset.h"

// Where an enhanced multi-frame dataset keeps the values of one frame: the frame's item of the
// Per-frame Functional Groups Sequence, then the Shared Functional Groups item, then the top
// level. A dataset without Number of Frames has only the top level.
class FrameGroups {
 public:
  FrameGroups(const SODcmDataset& dataset, unsigned long frame);
  // When the caller already knows whether the dataset has Number of Frames.
  FrameGroups(const SODcmDataset& dataset, unsigned long frame, bool multiFrame);
  // Calls read(item) with the per-frame item, then the shared item, until one returns true.
  template <typename Read>
  bool InGroups(Read read) const {
    return (perFrame_ && read(*perFrame_)) || (shared_ && read(*shared_));
  }
  // As InGroups, then the top level.
  template <typename Read>
  bool Find(Read read) const {
    return InGroups(read) || read(dataset_);
  }
  // The first item of the functional group macro `macro`, then read(item); the top level is
  // read directly.
  template <typename Read>
  bool FindInMacro(unsigned long macro, Read read) const {
    auto inMacro = [&](const SODcmDataset& group) {
      SODcmDataset item;
      return group.GetSequenceItem(macro, 0, item) && read(item);
    };
    return InGroups(inMacro) || read(dataset_);
  }

 private:
  const SODcmDataset& dataset_;
  // Made only for multi-frame datasets that have the item.
  std::optional<SODcmDataset> perFrame_;
  std::optional<SODcmDataset> shared_;
};

// The window and geometry of one frame; each value is written only where the dataset has it.
struct FrameValues {
  double windowCenter = 0;
  double windowWidth = 0;
  double orientation[6] = {0, 0, 0, 0, 0, 0};
  double position[3] = {0, 0, 0};
  double spacing[2] = {0, 0};
};
void ReadFrameValues(const FrameGroups& groups, FrameValues& values);

// n values of a multi-valued attribute; false, writing nothing, unless all are present.
bool ReadDoubles(const SODcmDataset& dataset, unsigned long tag, double* out, int n);
