#pragma once

#include "ISOMPRImageWindowCallback.h"
#include "SOImageWindow.h"

class SOPluginMPRInfo;

// The image window of one MPR plane. The orthogonal planes carry the MPR cross as their
// second plug-in; the oblique plane carries the MPR info tool in its place. UI thread only.
class SOImageWindowMPR : public SOImageWindow {
 public:
  SOImageWindowMPR();

  // Borrowed; what the cross and info tools report to.
  void SetMPRCallback(ISOMPRImageWindowCallback* callback) { callback_ = callback; }
  ISOMPRImageWindowCallback* GetMPRCallback() { return callback_; }
  // Puts the MPR info tool (owned from here on) where the cross sits in the other planes:
  // second, or first in an empty list. False for null.
  bool InsertPlugin(int index, SOPluginMPRInfo* plugin);

 private:
  ISOMPRImageWindowCallback* callback_ = nullptr;
};
