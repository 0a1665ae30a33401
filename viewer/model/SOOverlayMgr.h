#pragma once

#include <memory>
#include <vector>

#include "ISOOverlayMgr.h"

// Keeps the overlay planes that callers add to an image object; nothing here draws them.
class SOOverlayMgr : public ISOOverlayMgr {
 public:
  SOOverlayMgr() = default;
  SOOverlayMgr(const SOOverlayMgr&) = delete;
  SOOverlayMgr& operator=(const SOOverlayMgr&) = delete;
  virtual ~SOOverlayMgr() = default;

  SOOverlay* AddOverlay() override;
  SOOverlay* GetOverlayAt(int index) override;
  SOOverlay* GetOverlayByTitle(char* title) override;
  void DeleteAt(int index) override;
  void ClearAll() override;
  int GetCount() override;

 private:
  std::vector<std::unique_ptr<SOOverlay>> overlays_;
};
