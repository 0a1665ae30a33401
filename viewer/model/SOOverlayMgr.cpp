#include "SOOverlayMgr.h"

SOOverlay* SOOverlayMgr::AddOverlay() {
  overlays_.push_back(std::make_unique<SOOverlay>());
  return overlays_.back().get();
}

SOOverlay* SOOverlayMgr::GetOverlayAt(int index) {
  if (index < 0 || index >= GetCount()) return nullptr;
  return overlays_[index].get();
}

SOOverlay* SOOverlayMgr::GetOverlayByTitle(char* title) {
  for (auto& overlay : overlays_)
    if (overlay->title == title) return overlay.get();
  return nullptr;
}

void SOOverlayMgr::DeleteAt(int index) {
  if (index < 0 || index >= GetCount()) return;
  overlays_.erase(overlays_.begin() + index);
}

void SOOverlayMgr::ClearAll() {
  overlays_.clear();
}

int SOOverlayMgr::GetCount() {
  return static_cast<int>(overlays_.size());
}
