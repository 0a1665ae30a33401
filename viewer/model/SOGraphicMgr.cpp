#include "SOGraphicMgr.h"

#include <algorithm>
#include <memory>

#include "SOGraphicEllipse.h"
#include "SOGraphicLength.h"
#include "SOGraphicSlices.h"
#include "SOImageObject.h"

struct SOGraphicMgrMembers {
  std::vector<std::unique_ptr<SOGraphic>> graphics;
  SOImageObject* owner = nullptr;
  ISOGraphicWindow* window = nullptr;
  std::vector<ISOGraphicCallback*> listeners;
  double thickness = 1.0;
  double spacing = 5.0;
};

namespace {

bool IsSlices(ISOGraphic* graphic) {
  return *graphic->GetType() == "SLICES";
}

// The graphics as they are now: callbacks run over it may add or remove graphics.
std::vector<SOGraphic*> Snapshot(const std::vector<std::unique_ptr<SOGraphic>>& graphics) {
  std::vector<SOGraphic*> list;
  list.reserve(graphics.size());
  for (const auto& graphic : graphics) list.push_back(graphic.get());
  return list;
}

}  // namespace

SOGraphicMgr::SOGraphicMgr() : m_(std::make_unique<SOGraphicMgrMembers>()) {}

SOGraphicMgr::~SOGraphicMgr() = default;

ISOGraphic* SOGraphicMgr::AddGraphic(const char* type, const SOArray<SOPointF>& points, bool select) {
  if (!type) return nullptr;
  std::unique_ptr<SOGraphic> graphic;
  const std::string name = type;
  if (name == "RECTANGLE")
    graphic = std::make_unique<SOGraphicRectangle>();
  else if (name == "ELLIPSE")
    graphic = std::make_unique<SOGraphicEllipse>();
  else if (name == "LENGTH")
    graphic = std::make_unique<SOGraphicLength>();
  else if (name == "ANGLE")
    graphic = std::make_unique<SOGraphicAngle>();
  else if (name == "SLICES")
    graphic = std::make_unique<SOGraphicSlices>(m_->thickness, m_->spacing);
  else
    return nullptr;
  if (!graphic->SetPoints(points)) return nullptr;

  SOGraphic* added = graphic.get();
  m_->graphics.push_back(std::move(graphic));
  added->ObjectCallbacks().push_back(this);
  added->SetImageObject(m_->owner);
  added->SetGraphicWindow(m_->window);
  if (select) SelectGraphice(added);
  TriggerGraphicObjectAddedEvent(added);
  return added;
}

ISOGraphic* SOGraphicMgr::GetGraphicAt(int index) {
  if (index < 0 || index >= GetCount()) return nullptr;
  return m_->graphics[index].get();
}

ISOGraphic* SOGraphicMgr::GetGraphicByTitle(char* title) {
  for (const auto& graphic : m_->graphics)
    if (*graphic->GetTitle() == title) return graphic.get();
  return nullptr;
}

int SOGraphicMgr::GetGraphicIndex(ISOGraphic* graphic) {
  auto& list = m_->graphics;
  auto found = std::find_if(list.begin(), list.end(), [&](const auto& g) { return g.get() == graphic; });
  return found == list.end() ? -1 : static_cast<int>(found - list.begin());
}

void SOGraphicMgr::Remove(int index) {
  std::unique_ptr<SOGraphic> graphic = std::move(m_->graphics[index]);
  m_->graphics.erase(m_->graphics.begin() + index);
  TriggerGraphicObjectDeletedEvent(graphic.get());
}

void SOGraphicMgr::DeleteAt(int index) {
  if (index < 0 || index >= GetCount()) return;
  Remove(index);
  UpdateWindow();
}

bool SOGraphicMgr::DeleteSelected() {
  for (int i = 0; i < GetCount(); ++i) {
    if (m_->graphics[i]->IsSelected()) {
      DeleteAt(i);
      return true;
    }
  }
  return false;
}

void SOGraphicMgr::ClearAll() {
  while (GetCount() > 0) Remove(0);
  UpdateWindow();
}

ISOGraphic* SOGraphicMgr::AddRangeLine(SOPointF a, SOPointF b) {
  SOArray<SOPointF> points;
  points.Add(a);
  points.Add(b);
  return AddGraphic("LENGTH", points, true);
}

ISOGraphic* SOGraphicMgr::AddRectangle(SOPointF corner, int width, int height) {
  SOArray<SOPointF> points;
  points.Add(corner);
  points.Add(SOPointF{corner.x + width, corner.y + height});
  return AddGraphic("RECTANGLE", points, true);
}

ISOGraphic* SOGraphicMgr::AddCircle(SOPointF center, int radius) {
  SOArray<SOPointF> points;
  points.Add(SOPointF{center.x - radius, center.y - radius});
  points.Add(SOPointF{center.x + radius, center.y + radius});
  return AddGraphic("ELLIPSE", points, true);
}

int SOGraphicMgr::GetCount() {
  return static_cast<int>(m_->graphics.size());
}

ISOGraphic* SOGraphicMgr::GetSelected() {
  for (const auto& graphic : m_->graphics)
    if (graphic->IsSelected()) return graphic.get();
  return nullptr;
}

void SOGraphicMgr::SetSelectedAt(int index) {
  if (index >= GetCount()) return;
  for (int i = 0; i < GetCount(); ++i) {
    SOGraphic* graphic = m_->graphics[i].get();
    if (graphic->IsSelected() == (i == index)) continue;
    graphic->SetSelected(i == index);
    UpdateWindow();
  }
}

void SOGraphicMgr::SetSelectedByTitle(char* title) {
  for (const auto& graphic : m_->graphics) {
    bool selected = *graphic->GetTitle() == title;
    if (graphic->IsSelected() == selected) continue;
    graphic->SetSelected(selected);
    UpdateWindow();
  }
}

void SOGraphicMgr::CancelSelected() {
  for (const auto& graphic : m_->graphics) {
    if (graphic->IsSelected()) {
      graphic->SetSelected(false);
      UpdateWindow();
      return;
    }
  }
}

void SOGraphicMgr::SelectGraphice(SOGraphic* selected) {
  for (const auto& graphic : m_->graphics) {
    if (graphic->IsSelected() == (graphic.get() == selected)) continue;
    graphic->SetSelected(graphic.get() == selected);
    UpdateWindow();
  }
}

ISOGraphic* SOGraphicMgr::AddSlices(SOPointF point, bool select) {
  SOArray<SOPointF> points;
  points.Add(point);
  return AddGraphic("SLICES", points, select);
}

ISOGraphic* SOGraphicMgr::AddSlices(SOPointF a, SOPointF b) {
  SOArray<SOPointF> points;
  points.Add(a);
  points.Add(b);
  return AddGraphic("SLICES", points, true);
}

void SOGraphicMgr::RegisterCallback(ISOGraphicCallback* callback) {
  auto& list = m_->listeners;
  if (callback && std::find(list.begin(), list.end(), callback) == list.end()) list.push_back(callback);
}

void SOGraphicMgr::UnRegisterCallback(ISOGraphicCallback* callback) {
  auto& list = m_->listeners;
  auto found = std::find(list.begin(), list.end(), callback);
  if (found != list.end()) list.erase(found);
}

void SOGraphicMgr::SetDefaultSlicesParam(double thickness, double spacing) {
  if (thickness > 0.1) m_->thickness = thickness;
  if (spacing > 0.1) m_->spacing = spacing;
}

void SOGraphicMgr::DeleteAllSlices() {
  for (int i = GetCount() - 1; i >= 0; --i)
    if (IsSlices(m_->graphics[i].get())) Remove(i);
  UpdateWindow();
}

template <typename Change>
void SOGraphicMgr::ChangeSlices(Change change) {
  for (SOGraphic* graphic : Snapshot(m_->graphics)) {
    if (!IsSlices(graphic) || !change(*graphic->GetValues())) continue;
    graphic->Calculate();
    graphic->UpdateLabel();
    for (ISOGraphicObjectCallback* callback : std::vector(graphic->ObjectCallbacks()))
      callback->OnGraphicObjectChangedEvent(graphic);
  }
}

void SOGraphicMgr::SetSlicesSpacing(float spacing) {
  if (spacing > 0.1f) m_->spacing = spacing;
  if (spacing >= 0.1f) ChangeSlices([&](SOGraphicValues& v) { return v.spacing = spacing, true; });
  UpdateWindow();
}

float SOGraphicMgr::GetSliceSpacing() {
  return static_cast<float>(m_->spacing);
}

void SOGraphicMgr::SetSlicesFOV(int fov) {
  if (fov >= 1)
    ChangeSlices([&](SOGraphicValues& v) {
      if (v.fov == fov) return false;
      v.fov = fov;
      return true;
    });
  UpdateWindow();
}

void SOGraphicMgr::SetSlicesThickness(float thickness) {
  if (thickness < 0.1f) return;
  m_->thickness = thickness;
  ChangeSlices([&](SOGraphicValues& v) { return v.thickness = thickness, true; });
  UpdateWindow();
}

float SOGraphicMgr::GetSliceThickness() {
  return static_cast<float>(m_->thickness);
}

void SOGraphicMgr::SetSlicesVisible(bool visible) {
  for (const auto& graphic : m_->graphics)
    if (IsSlices(graphic.get())) graphic->SetVisible(visible);
  UpdateWindow();
}

void SOGraphicMgr::CalculateGraphics() {
  for (SOGraphic* graphic : Snapshot(m_->graphics)) {
    if (!m_->owner) break;
    graphic->Calculate();
    graphic->UpdateLabel();
  }
}

void SOGraphicMgr::SetImageObject(SOImageObject* imageObject) {
  if (imageObject == m_->owner) return;
  m_->owner = imageObject;
  for (SOGraphic* graphic : Snapshot(m_->graphics)) graphic->SetImageObject(imageObject);
}

void SOGraphicMgr::SetGraphicWindow(ISOGraphicWindow* window) {
  if (window == m_->window) return;
  m_->window = window;
  for (SOGraphic* graphic : Snapshot(m_->graphics)) graphic->SetGraphicWindow(window);
}

bool SOGraphicMgr::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  std::vector<SOGraphic*> graphics = Snapshot(m_->graphics);
  for (auto it = graphics.rbegin(); it != graphics.rend(); ++it) {
    SOGraphic* graphic = *it;
    if (!graphic->IsVisible() || !graphic->OnMessage(msg, wParam, lParam)) continue;
    if (msg == WM_LBUTTONDOWN && GetGraphicIndex(graphic) >= 0) SelectGraphice(graphic);
    return true;
  }
  if (msg == WM_KEYDOWN && wParam == VK_DELETE) return DeleteSelected();
  return false;
}

void SOGraphicMgr::Draw(HDC hdc) {
  if (!m_->window) return;
  for (const auto& graphic : m_->graphics) graphic->Draw(hdc);
}

void SOGraphicMgr::UpdateWindow() {
  if (m_->window) m_->window->UpdateWindow();
}

void SOGraphicMgr::TriggerGraphicObjectAddedEvent(ISOGraphic* graphic) {
  for (ISOGraphicCallback* listener : std::vector(m_->listeners))
    listener->OnGraphicObjectAddedEvent(m_->owner, graphic);
}

void SOGraphicMgr::TriggerGraphicObjectDeletedEvent(ISOGraphic* graphic) {
  for (ISOGraphicCallback* listener : std::vector(m_->listeners))
    listener->OnGraphicObjectDeletedEvent(m_->owner, graphic);
}

void SOGraphicMgr::TriggerGraphicObjectChangedEvent(ISOGraphic* graphic) {
  for (ISOGraphicCallback* listener : std::vector(m_->listeners))
    listener->OnGraphicObjectChangedEvent(m_->owner, graphic);
}

void SOGraphicMgr::OnGraphicObjectChangedEvent(ISOGraphic* graphic) {
  TriggerGraphicObjectChangedEvent(graphic);
}
