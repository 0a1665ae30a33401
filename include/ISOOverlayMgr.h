#pragma once

#include <cstdint>

#include "SOData.h"
#include "SOString.h"

// One overlay plane: a byte per plane pixel, row by row, non-zero where set.
struct SOOverlay {
  SOData<unsigned char> plane;
  int rows = 0;
  int columns = 0;
  int originColumn = 0;  // image column of the plane's first column, from 1
  int originRow = 0;     // image row of the plane's first row, from 1
  SOString description;
  SOString title;
  uint32_t color = 0;  // ARGB of set pixels
};

// The overlay planes of one image object, in insertion order; it owns them.
class ISOOverlayMgr {
 public:
  virtual SOOverlay* AddOverlay() = 0;
  virtual SOOverlay* GetOverlayAt(int index) = 0;
  virtual SOOverlay* GetOverlayByTitle(char* title) = 0;
  virtual void DeleteAt(int index) = 0;
  virtual void ClearAll() = 0;
  virtual int GetCount() = 0;

 protected:
  ~ISOOverlayMgr() = default;
};
