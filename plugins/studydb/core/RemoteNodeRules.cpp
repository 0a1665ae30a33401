#include "RemoteNodeRules.h"

const char* CheckRemoteNode(const std::string& name, const std::string& ip, const std::string& portText,
                            const std::string& aeTitle, RemoteNode& node) {
  if (name.empty()) return "名称不能为空！";
  if (ip.empty()) return "IP地址不能为空！";
  if (portText.empty()) return "端口不能为空！";
  uint16_t port = ArchiveConfig::ParsePort(portText.c_str());
  if (port == 0) return "端口必须在1到65535之间！";
  if (aeTitle.empty()) return "AE标题不能为空！";
  if (!ArchiveConfig::ValidAETitle(aeTitle)) return "AE标题无效！";
  node = RemoteNode{name, aeTitle, ip, port};
  return nullptr;
}

std::string GroupDeviceCode(const std::string& code) {
  std::string text = code;
  for (size_t at = 3; at < text.size(); at += 4) text.insert(at, 1, ' ');
  return text;
}
