#pragma once

// Counts the 2D control's finished load requests, for tools that wait for a load to end.

#include "ISOLumexa.h"

class LoadWaiter : public ISOViewerCtrlCallback {
 public:
  void OnFileLoaded(const SOViewerFileEvent*) override {}
  void OnLoadFinished(const SOViewerFinishEvent*) override { ++finished; }
  void OnCleared() override {}
  void OnSeriesActivated(ISOSeriesWnd*) override {}
  int finished = 0;  // UI thread only
};
