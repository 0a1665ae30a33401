#include <gtest/gtest.h>

#include "SOOverlayMgr.h"

TEST(OverlayMgr, KeepsPlanesInOrder) {
  SOOverlayMgr manager;
  SOOverlay* first = manager.AddOverlay();
  first->title = "mask";
  first->plane.Resize(16);
  SOOverlay* second = manager.AddOverlay();
  second->title = "mask";
  char title[] = "mask";
  EXPECT_EQ(manager.GetOverlayByTitle(title), first);
  manager.DeleteAt(-1);
  manager.DeleteAt(manager.GetCount());
  EXPECT_EQ(manager.GetCount(), 2);
  manager.DeleteAt(0);
  EXPECT_EQ(manager.GetOverlayAt(0), second);
  EXPECT_EQ(manager.GetOverlayAt(1), nullptr);
  manager.ClearAll();
  EXPECT_EQ(manager.GetCount(), 0);
}
