#pragma once

#include <memory>
#include <vector>

#include "ISOGraphic.h"

class SOGraphic;
struct SOGraphicMgrMembers;

// The measurement graphics of one image object: made by type name, drawn in list order, tried
// last to first for mouse messages. It owns its graphics; listeners and the window are borrowed.
// Listeners and graphics are called over copies of the lists, since callbacks may change them.
class SOGraphicMgr : public ISOGraphicMgr, public ISOGraphicObjectCallback {
 public:
  SOGraphicMgr();
  SOGraphicMgr(const SOGraphicMgr&) = delete;
  SOGraphicMgr& operator=(const SOGraphicMgr&) = delete;
  virtual ~SOGraphicMgr();

  ISOGraphic* AddGraphic(const char* type, const SOArray<SOPointF>& points, bool select) override;
  ISOGraphic* GetGraphicAt(int index) override;
  ISOGraphic* GetGraphicByTitle(char* title) override;
  int GetGraphicIndex(ISOGraphic* graphic) override;
  void DeleteAt(int index) override;
  bool DeleteSelected() override;
  void ClearAll() override;
  ISOGraphic* AddRangeLine(SOPointF a, SOPointF b) override;
  ISOGraphic* AddRectangle(SOPointF corner, int width, int height) override;
  ISOGraphic* AddCircle(SOPointF center, int radius) override;
  int GetCount() override;
  ISOGraphic* GetSelected() override;
  void SetSelectedAt(int index) override;
  void SetSelectedByTitle(char* title) override;
  void CancelSelected() override;
  ISOGraphic* AddSlices(SOPointF point, bool select) override;
  ISOGraphic* AddSlices(SOPointF a, SOPointF b) override;
  void RegisterCallback(ISOGraphicCallback* callback) override;
  void UnRegisterCallback(ISOGraphicCallback* callback) override;
  void SetDefaultSlicesParam(double thickness, double spacing) override;
  void DeleteAllSlices() override;
  void SetSlicesSpacing(float spacing) override;
  float GetSliceSpacing() override;
  void SetSlicesFOV(int fov) override;
  void SetSlicesThickness(float thickness) override;
  float GetSliceThickness() override;
  void SetSlicesVisible(bool visible) override;

  // Recomputes every graphic for the image's new data. It paints nothing: the image's data
  // event, which follows, repaints each window that shows the image (and so its graphics).
  void CalculateGraphics();
  void SetImageObject(SOImageObject* imageObject);
  void SetGraphicWindow(ISOGraphicWindow* window);
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  void Draw(HDC hdc);

 private:
  void UpdateWindow();
  void SelectGraphice(SOGraphic* graphic);
  // Takes the graphic out of the list, tells the listeners and deletes it.
  void Remove(int index);
  template <typename Change>
  void ChangeSlices(Change change);
  void TriggerGraphicObjectAddedEvent(ISOGraphic* graphic);
  void TriggerGraphicObjectDeletedEvent(ISOGraphic* graphic);
  void TriggerGraphicObjectChangedEvent(ISOGraphic* graphic);
  void OnGraphicObjectChangedEvent(ISOGraphic* graphic) override;

  std::unique_ptr<SOGraphicMgrMembers> m_;
};
