#pragma once

#include <string>

// Follows one study store. Called on the thread that changed the store, with no store lock
// held; listeners that touch windows hand the event to their UI thread themselves.
class IKelvastListener {
 public:
  virtual void OnStoreChanged() = 0;
  virtual void OnStoreNotify(int) = 0;  // never raised by the store
  virtual void OnStudyChanged(std::string studyId) = 0;
  virtual void OnStudyRemoved(std::string studyId) = 0;
};
