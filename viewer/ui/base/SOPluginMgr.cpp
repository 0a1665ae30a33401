#include "SOPluginMgr.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "SOToolKinds.h"

namespace {

bool IsGraphicType(const std::string& name) {
  return name == "RECTANGLE" || name == "ELLIPSE" || name == "LENGTH" || name == "ANGLE" || name == "SLICES";
}

}  // namespace

struct SOPluginMgr::Members {
  IPluginHost* host = nullptr;
  std::vector<ISOCtrlPlugin*> plugins;  // owned
  ISOCtrlPlugin* left = nullptr;
  ISOCtrlPlugin* right = nullptr;
  ISOCtrlPlugin* middle = nullptr;
  ISOCtrlPlugin* wheel = nullptr;
  std::string leftName, rightName, middleName, wheelName;
  HCURSOR leftCursor = nullptr, rightCursor = nullptr, middleCursor = nullptr;
};

SOPluginMgr::SOPluginMgr() : m_(std::make_unique<Members>()) {}

SOPluginMgr::~SOPluginMgr() {
  Clear();
}

void SOPluginMgr::Clear() {
  m_->left = m_->right = m_->middle = m_->wheel = nullptr;
  std::vector<ISOCtrlPlugin*> plugins;
  plugins.swap(m_->plugins);
  for (ISOCtrlPlugin* p : plugins) delete p;
}

bool SOPluginMgr::AddPlugin(ISOCtrlPlugin* plugin) {
  if (!plugin) return false;
  plugin->SetHost(m_->host);
  m_->plugins.push_back(plugin);
  Rebind();
  return true;
}

bool SOPluginMgr::AddPlugin(const char* name) {
  if (!name) return false;
  if (GetPlugin(name)) return true;
  ISOCtrlPlugin* made = MakeNamedPlugin(name);
  return made ? AddPlugin(made) : false;
}

bool SOPluginMgr::InsertPlugin(int index, ISOCtrlPlugin* plugin) {
  if (!plugin) return false;
  const int count = static_cast<int>(m_->plugins.size());
  index = std::clamp(index, 0, count);
  plugin->SetHost(m_->host);
  m_->plugins.insert(m_->plugins.begin() + index, plugin);
  return true;
}

bool SOPluginMgr::RemovePlugin(ISOCtrlPlugin* plugin) {
  if (!plugin) return false;
  auto it = std::find(m_->plugins.begin(), m_->plugins.end(), plugin);
  if (it == m_->plugins.end()) return false;
  m_->plugins.erase(it);
  // Unbound before the delete so no binding names a freed plug-in.
  if (m_->left == plugin) m_->left = nullptr;
  if (m_->right == plugin) m_->right = nullptr;
  if (m_->middle == plugin) m_->middle = nullptr;
  if (m_->wheel == plugin) m_->wheel = nullptr;
  delete plugin;
  Rebind();
  return true;
}

bool SOPluginMgr::RemovePlugin(const char* name) {
  return RemovePlugin(GetPlugin(name));
}

ISOCtrlPlugin* SOPluginMgr::GetPlugin(const char* name) {
  if (!name) return nullptr;
  for (ISOCtrlPlugin* p : m_->plugins) {
    const char* own = p->GetName();
    if (own && std::strcmp(own, name) == 0) return p;
  }
  return nullptr;
}

void SOPluginMgr::SetPluginHost(IPluginHost* host) {
  m_->host = host;
  for (ISOCtrlPlugin* p : m_->plugins) p->SetHost(host);
}

IPluginHost* SOPluginMgr::GetPluginHost() {
  return m_->host;
}

void SOPluginMgr::SetLButtonPlugin(const char* name) {
  if (m_->left) {
    const char* bound = m_->left->GetName();
    if (bound && std::strcmp(bound, "GRAPHICS") == 0) {
      if (auto* g = dynamic_cast<ISOGraphicTool*>(m_->left)) g->SetGraphicType("");
    }
  }
  m_->leftName = name ? name : "";
  const bool graphic = IsGraphicType(m_->leftName);
  m_->left = GetPlugin(graphic ? "GRAPHICS" : m_->leftName.c_str());
  if (graphic) {
    if (auto* g = dynamic_cast<ISOGraphicTool*>(GetPlugin("GRAPHICS"))) g->SetGraphicType(m_->leftName.c_str());
  }
}

void SOPluginMgr::SetRButtonPlugin(const char* name) {
  m_->rightName = name ? name : "";
  m_->right = GetPlugin(m_->rightName.c_str());
}

void SOPluginMgr::SetMButtonPlugin(const char* name) {
  m_->middleName = name ? name : "";
  m_->middle = GetPlugin(m_->middleName.c_str());
}

void SOPluginMgr::SetWheelPlugin(const char* name) {
  m_->wheelName = name ? name : "";
  m_->wheel = GetPlugin(m_->wheelName.c_str());
}

void SOPluginMgr::Rebind() {
  const std::string left = m_->leftName;
  SetLButtonPlugin(left.c_str());
  m_->right = GetPlugin(m_->rightName.c_str());
  m_->middle = GetPlugin(m_->middleName.c_str());
  m_->wheel = GetPlugin(m_->wheelName.c_str());
}

const char* SOPluginMgr::GetLButtonPlugin() {
  return m_->left ? m_->left->GetName() : nullptr;
}

const char* SOPluginMgr::GetRButtonPlugin() {
  return m_->right ? m_->right->GetName() : nullptr;
}

const char* SOPluginMgr::GetMButtonPlugin() {
  return m_->middle ? m_->middle->GetName() : nullptr;
}

namespace {

// A button tool's share of the routing: presses of its own button reach it as left-button
// presses, and its cursor shows while the press lasts.
bool RouteButton(ISOCtrlPlugin* tool, UINT down, UINT up, HCURSOR& saved, UINT msg, WPARAM wParam,
                 LPARAM lParam) {
  if (!tool) return false;
  if (msg == down) {
    if (!tool->OnMessage(WM_LBUTTONDOWN, wParam, lParam)) return false;
    saved = ::SetCursor(tool->GetCursor());
    return true;
  }
  if (msg == up) {
    if (!tool->OnMessage(WM_LBUTTONUP, wParam, lParam)) return false;
    ::SetCursor(saved);
    return true;
  }
  if (msg == WM_MOUSEMOVE) return tool->OnMessage(msg, wParam, lParam);
  return false;
}

}  // namespace

bool SOPluginMgr::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!m_->host) return false;
  // The list may change while a plug-in runs (a tool adding or removing another): walk a copy
  // and skip plug-ins that left it.
  const std::vector<ISOCtrlPlugin*> plugins = m_->plugins;
  auto present = [this](ISOCtrlPlugin* p) {
    return std::find(m_->plugins.begin(), m_->plugins.end(), p) != m_->plugins.end();
  };
  for (auto it = plugins.rbegin(); it != plugins.rend(); ++it) {
    ISOCtrlPlugin* p = *it;
    if (!present(p) || !p->IsAlwaysActive()) continue;
    const char* name = p->GetName();
    if (name && std::strcmp(name, "GRAPHICS") == 0) continue;
    if (p->OnMessage(msg, wParam, lParam)) return true;
  }
  if (ISOCtrlPlugin* graphics = GetPlugin("GRAPHICS")) {
    if (graphics->OnMessage(msg, wParam, lParam)) return true;
  }
  if (RouteButton(m_->right, WM_RBUTTONDOWN, WM_RBUTTONUP, m_->rightCursor, msg, wParam, lParam)) return true;
  if (RouteButton(m_->middle, WM_MBUTTONDOWN, WM_MBUTTONUP, m_->middleCursor, msg, wParam, lParam)) return true;
  if (RouteButton(m_->left, WM_LBUTTONDOWN, WM_LBUTTONUP, m_->leftCursor, msg, wParam, lParam)) return true;
  if (m_->wheel && msg == WM_MOUSEWHEEL && m_->wheel->OnMessage(msg, wParam, lParam)) return true;
  if (msg == WM_SETCURSOR && m_->left) {
    ::SetCursor(m_->left->GetCursor());
    return true;
  }
  return false;
}

void SOPluginMgr::DrawBefore(HDC hdc, RECT rect) {
  if (!m_->host) return;
  for (ISOCtrlPlugin* p : m_->plugins) p->DrawBefore(hdc, rect);
}

void SOPluginMgr::Draw(HDC hdc, RECT rect) {
  if (!m_->host) return;
  for (ISOCtrlPlugin* p : m_->plugins) p->Draw(hdc, rect);
}

void SOPluginMgr::SetTextColor(unsigned long color, const char* name) {
  if (name) {
    if (ISOCtrlPlugin* p = GetPlugin(name)) p->SetTextColor(color);
    return;
  }
  for (ISOCtrlPlugin* p : m_->plugins) p->SetTextColor(color);
}

void SOPluginMgr::SetLineColor(unsigned long color, const char* name) {
  if (name) {
    if (ISOCtrlPlugin* p = GetPlugin(name)) p->SetLineColor(color);
    return;
  }
  for (ISOCtrlPlugin* p : m_->plugins) p->SetLineColor(color);
}

void SOPluginMgr::SetEnable(const char* name, bool enable) {
  if (ISOCtrlPlugin* p = GetPlugin(name)) p->SetEnable(enable);
}

bool SOPluginMgr::SetLocationLine(ISOImageObject* reference) {
  auto* loc = dynamic_cast<ISOLocationTool*>(GetPlugin("LOC"));
  return loc ? loc->SetLocationLine(reference) : false;
}

bool IntersectLines(const float p1[2], const float p2[2], const float p3[2], const float p4[2], float out[2]) {
  const double a1 = p2[1] - p1[1], b1 = p1[0] - p2[0], c1 = a1 * p1[0] + b1 * p1[1];
  const double a2 = p4[1] - p3[1], b2 = p3[0] - p4[0], c2 = a2 * p3[0] + b2 * p3[1];
  const double d = a1 * b2 - a2 * b1;
  if (std::fabs(d) <= std::max(1.0, std::fabs(d)) * 1e-5) return false;
  out[0] = static_cast<float>((b2 * c1 - b1 * c2) / d);
  out[1] = static_cast<float>((a1 * c2 - a2 * c1) / d);
  return true;
}
