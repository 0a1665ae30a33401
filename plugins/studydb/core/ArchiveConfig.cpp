#include "ArchiveConfig.h"

#include "Gossamy.h"

#include <tinyxml.h>

#include "SOXml.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return {};
  size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

std::string Attribute(const TiXmlElement* element, const char* name) {
  const char* value = element->Attribute(name);
  return value ? value : "";
}

// An integer attribute, saturated so that huge values stay out of range instead of wrapping.
long long IntAttribute(const TiXmlElement* element, const char* name) {
  const char* value = element->Attribute(name);
  if (!value) return 0;
  errno = 0;
  char* end = nullptr;
  long long number = std::strtoll(value, &end, 10);
  return end == value ? 0 : number;
}

}  // namespace

ArchiveConfig& ArchiveConfig::Instance() {
  static ArchiveConfig* config = new ArchiveConfig(std::string(Gossamy::GetConfigPath()) + "archive.xml");
  return *config;
}

ArchiveConfig::ArchiveConfig(std::string path) : path_(std::move(path)) {
  std::lock_guard<std::mutex> lock(mutex_);
  LoadLocked();
  bool defaulted = false;
  if (aeTitle_.empty()) {
    aeTitle_ = kDefaultAETitle;
    defaulted = true;
  }
  // 65535 is what a 16-bit field holds after reading back -1.
  if (port_ == 0 || port_ == 65535) {
    port_ = kDefaultPort;
    defaulted = true;
  }
  if (defaulted) SaveLocked();
}

bool ArchiveConfig::ValidPort(long long port) { return port >= 1 && port <= 65535; }

bool ArchiveConfig::ValidAETitle(const std::string& aeTitle) {
  if (aeTitle.empty() || aeTitle.size() > 16) return false;
  if (aeTitle.find_first_not_of(' ') == std::string::npos) return false;
  return std::none_of(aeTitle.begin(), aeTitle.end(), [](char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return c == '\\' || u < 0x20 || u >= 0x7f;
  });
}

int ArchiveConfig::ClampMinutes(long long minutes) { return static_cast<int>(std::clamp(minutes, 1LL, 1440LL)); }

uint16_t ArchiveConfig::ParsePort(const char* text) {
  if (!text || !*text) return 0;
  long long value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return 0;
    value = value * 10 + (*p - '0');
    if (value > 65535) return 0;
  }
  return ValidPort(value) ? static_cast<uint16_t>(value) : 0;
}

void ArchiveConfig::Load() {
  std::lock_guard<std::mutex> lock(mutex_);
  LoadLocked();
}

void ArchiveConfig::LoadLocked() {
  remotes_.clear();
  unusableRemotes_.clear();
  cloudDevices_.clear();
  TiXmlDocument document;
  if (!SOXml::LoadFile(document, path_)) return;
  const TiXmlElement* root = document.RootElement();
  if (!root) return;
  if (const TiXmlElement* scp = root->FirstChildElement("SCP")) {
    long long port = IntAttribute(scp, "port");
    if (ValidPort(port)) port_ = static_cast<uint16_t>(port);
    std::string ae = Trim(Attribute(scp, "AETitle"));
    if (ValidAETitle(ae)) aeTitle_ = ae;
  }
  if (const TiXmlElement* commit = root->FirstChildElement("Commit")) {
    commitEnabled_ = Attribute(commit, "enable") != "0";
    long long port = IntAttribute(commit, "port");
    if (ValidPort(port)) commitPort_ = static_cast<uint16_t>(port);
    std::string ae = Trim(Attribute(commit, "AETitle"));
    if (ValidAETitle(ae)) commitAETitle_ = ae;
  }
  if (const TiXmlElement* cloud = root->FirstChildElement("CloudReceive")) {
    // A hand-written 0 would make the receive timer spin; a huge value would overflow it.
    if (cloud->Attribute("minutes")) cloudReceiveMinutes_ = ClampMinutes(IntAttribute(cloud, "minutes"));
  }
  if (const TiXmlElement* remote = root->FirstChildElement("Remote")) {
    for (const TiXmlElement* item = remote->FirstChildElement(); item; item = item->NextSiblingElement()) {
      RemoteNode node{Attribute(item, "name"), Trim(Attribute(item, "AETitle")), Trim(Attribute(item, "ip")), 0};
      long long port = IntAttribute(item, "port");
      // A node that cannot be reached as written is not offered rather than sent to a wrapped port.
      if (!ValidPort(port) || !ValidAETitle(node.aeTitle) || node.ip.empty()) {
        TiXmlPrinter text;
        item->Accept(&text);
        unusableRemotes_.push_back(text.Str());
        continue;
      }
      node.port = static_cast<uint16_t>(port);
      remotes_.push_back(std::move(node));
    }
  }
  if (const TiXmlElement* devices = root->FirstChildElement("CloudDevice")) {
    for (const TiXmlElement* item = devices->FirstChildElement(); item; item = item->NextSiblingElement()) {
      cloudDevices_.push_back({Attribute(item, "code"), Attribute(item, "comment")});
    }
  }
}

bool ArchiveConfig::Save() {
  std::lock_guard<std::mutex> lock(mutex_);
  return SaveLocked();
}

bool ArchiveConfig::SaveLocked() {
  TiXmlDocument document;
  document.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
  auto* root = new TiXmlElement("Config");
  document.LinkEndChild(root);
  auto* cloud = new TiXmlElement("CloudReceive");
  cloud->SetAttribute("minutes", cloudReceiveMinutes_);
  root->LinkEndChild(cloud);
  auto* scp = new TiXmlElement("SCP");
  scp->SetAttribute("port", port_);
  scp->SetAttribute("AETitle", aeTitle_.c_str());
  root->LinkEndChild(scp);
  // Written only when changed, so a file at the defaults keeps its usual elements.
  if (!commitEnabled_ || commitPort_ != kDefaultCommitPort || commitAETitle_ != kDefaultCommitAETitle) {
    auto* commit = new TiXmlElement("Commit");
    commit->SetAttribute("enable", commitEnabled_ ? "1" : "0");
    commit->SetAttribute("port", commitPort_);
    commit->SetAttribute("AETitle", commitAETitle_.c_str());
    root->LinkEndChild(commit);
  }
  auto* remote = new TiXmlElement("Remote");
  for (const RemoteNode& node : remotes_) {
    auto* item = new TiXmlElement("Item");
    item->SetAttribute("name", node.name.c_str());
    item->SetAttribute("AETitle", node.aeTitle.c_str());
    item->SetAttribute("ip", node.ip.c_str());
    item->SetAttribute("port", node.port);
    remote->LinkEndChild(item);
  }
  for (const std::string& text : unusableRemotes_) {
    TiXmlDocument kept;
    if (!SOXml::Parse(kept, text)) continue;
    remote->InsertEndChild(*kept.RootElement());
  }
  root->LinkEndChild(remote);
  auto* devices = new TiXmlElement("CloudDevice");
  for (const CloudDevice& device : cloudDevices_) {
    auto* item = new TiXmlElement("Item");
    item->SetAttribute("code", device.code.c_str());
    item->SetAttribute("comment", device.comment.c_str());
    devices->LinkEndChild(item);
  }
  root->LinkEndChild(devices);

  std::string temp = path_ + ".tmp";
  FILE* file = std::fopen(temp.c_str(), "wb");
  if (!file) return false;
  bool written = document.SaveFile(file);
  written = std::fflush(file) == 0 && written;
  written = ::fsync(fileno(file)) == 0 && written;
  written = std::fclose(file) == 0 && written;
  if (!written || std::rename(temp.c_str(), path_.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

uint16_t ArchiveConfig::Port() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return port_;
}

std::string ArchiveConfig::AETitle() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return aeTitle_;
}

int ArchiveConfig::CloudReceiveMinutes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cloudReceiveMinutes_;
}

bool ArchiveConfig::CommitEnabled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commitEnabled_;
}

uint16_t ArchiveConfig::CommitPort() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commitPort_;
}

std::string ArchiveConfig::CommitAETitle() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commitAETitle_;
}

std::vector<RemoteNode> ArchiveConfig::Remotes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return remotes_;
}

std::vector<CloudDevice> ArchiveConfig::CloudDevices() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cloudDevices_;
}

bool ArchiveConfig::SetSCP(int port, const char* aeTitle) {
  if (!ValidPort(port) || !aeTitle || !ValidAETitle(Trim(aeTitle))) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  std::string ae = Trim(aeTitle);
  if (port_ == port && aeTitle_ == ae) return true;
  port_ = static_cast<uint16_t>(port);
  aeTitle_ = ae;
  SaveLocked();
  return true;
}

bool ArchiveConfig::SetCommit(bool enabled, int port, const char* aeTitle) {
  if (!ValidPort(port) || !aeTitle || !ValidAETitle(Trim(aeTitle))) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  std::string ae = Trim(aeTitle);
  if (commitEnabled_ == enabled && commitPort_ == port && commitAETitle_ == ae) return true;
  commitEnabled_ = enabled;
  commitPort_ = static_cast<uint16_t>(port);
  commitAETitle_ = ae;
  SaveLocked();
  return true;
}

namespace {
bool UsableNode(const RemoteNode& node) {
  return ArchiveConfig::ValidPort(node.port) && ArchiveConfig::ValidAETitle(node.aeTitle) && !node.ip.empty();
}
}  // namespace

bool ArchiveConfig::AddRemote(const RemoteNode& node) {
  if (!UsableNode(node)) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    remotes_.push_back(node);
    SaveLocked();
  }
  Notify(Change::Remote);
  return true;
}

bool ArchiveConfig::UpdateRemote(int index, const RemoteNode& node) {
  if (!UsableNode(node)) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || index >= static_cast<int>(remotes_.size())) return false;
    remotes_[index] = node;
    SaveLocked();
  }
  Notify(Change::Remote);
  return true;
}

bool ArchiveConfig::RemoveRemote(int index) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || index >= static_cast<int>(remotes_.size())) return false;
    remotes_.erase(remotes_.begin() + index);
    SaveLocked();
  }
  Notify(Change::Remote);
  return true;
}

void ArchiveConfig::SetCloudReceiveMinutes(int minutes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    int clamped = ClampMinutes(minutes);
    if (clamped == cloudReceiveMinutes_) return;
    cloudReceiveMinutes_ = clamped;
    SaveLocked();
  }
  Notify(Change::CloudReceive);
}

bool ArchiveConfig::AddCloudDevice(const char* code) {
  if (!code || !*code) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cloudDevices_.push_back({code, ""});
    SaveLocked();
  }
  Notify(Change::CloudDevice);
  return true;
}

bool ArchiveConfig::RemoveCloudDevice(int index) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || index >= static_cast<int>(cloudDevices_.size())) return false;
    cloudDevices_.erase(cloudDevices_.begin() + index);
    SaveLocked();
  }
  Notify(Change::CloudDevice);
  return true;
}

void ArchiveConfig::AddListener(ISOConfigCallback* listener) {
  if (!listener) return;
  std::lock_guard<std::mutex> lock(listenerMutex_);
  if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) listeners_.push_back(listener);
}

void ArchiveConfig::RemoveListener(ISOConfigCallback* listener) {
  std::lock_guard<std::mutex> lock(listenerMutex_);
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void ArchiveConfig::Notify(Change change) {
  std::lock_guard<std::mutex> lock(listenerMutex_);
  for (ISOConfigCallback* listener : listeners_) {
    switch (change) {
      case Change::Remote: listener->OnRemoteChanged(); break;
      case Change::CloudReceive: listener->OnCloudReceiveChanged(); break;
      case Change::CloudDevice: listener->OnCloudDeviceChanged(); break;
    }
  }
}
