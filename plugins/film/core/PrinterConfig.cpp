#include "PrinterConfig.h"

#include "FilmEnums.h"
#include "Gossamy.h"

#include <tinyxml.h>

#include "SOXml.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

bool ValidPrinterPort(long long port) { return port >= 1 && port <= 65535; }

bool ValidPrinterAETitle(const std::string& ae) {
  if (ae.empty() || ae.size() > 16 || ae.find_first_not_of(' ') == std::string::npos) return false;
  return std::none_of(ae.begin(), ae.end(), [](char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return c == '\\' || u < 0x20 || u >= 0x7f;
  });
}

bool UsablePrinter(const PrinterRecord& p) {
  return !p.name.empty() && !p.ip.empty() && ValidPrinterPort(p.port) && ValidPrinterAETitle(p.calledAE) &&
         ValidPrinterAETitle(p.callingAE);
}

PrinterConfig* PrinterConfig::Instance() {
  static PrinterConfig config(std::string(Gossamy::GetConfigPath()) + "printer.xml");
  return &config;
}

PrinterConfig::PrinterConfig(std::string path) : path_(std::move(path)) { Load(); }

namespace {

void ReadEnum(const TiXmlElement* item, const char* name, FilmEnum kind, int& value) {
  if (const char* text = item->Attribute(name)) FilmEnumValue(kind, text, value);
}

void WriteEnum(TiXmlElement* item, const char* name, FilmEnum kind, int value) {
  std::string text;
  FilmEnumText(kind, value, text);  // a value without a term is written empty and reads as the default
  item->SetAttribute(name, text.c_str());
}

}  // namespace

void PrinterConfig::Load() {
  std::lock_guard<std::mutex> lock(mutex_);
  printers_.clear();
  TiXmlDocument document;
  if (!SOXml::LoadFile(document, path_)) return;
  const TiXmlElement* root = document.RootElement();
  const TiXmlElement* list = root ? root->FirstChildElement("Printers") : nullptr;
  if (!list) return;
  int lastDefault = -1;
  for (const TiXmlElement* item = list->FirstChildElement(); item; item = item->NextSiblingElement()) {
    PrinterRecord p;
    auto text = [item](const char* name, std::string& out) {
      if (const char* value = item->Attribute(name)) out = value;
    };
    text("name", p.name);
    text("ip", p.ip);
    if (const char* port = item->Attribute("port")) p.port = std::atoi(port);
    text("calledAE", p.calledAE);
    text("callingAE", p.callingAE);
    ReadEnum(item, "filmSize", FilmEnum::Size, p.filmSize);
    ReadEnum(item, "filmOrient", FilmEnum::Orientation, p.filmOrient);
    ReadEnum(item, "filmFormat", FilmEnum::Format, p.filmFormat);
    if (const char* v = item->Attribute("headerVisible")) p.headerVisible = std::string(v) == "true";
    if (const char* v = item->Attribute("headerSizeRatio")) p.headerSizeRatio = std::atof(v);
    if (const char* v = item->Attribute("DPI")) p.DPI = std::atoi(v);
    ReadEnum(item, "medium", FilmEnum::Medium, p.medium);
    ReadEnum(item, "priority", FilmEnum::Priority, p.priority);
    ReadEnum(item, "magnificationType", FilmEnum::Magnification, p.magnificationType);
    text("smoothingType", p.smoothingType);
    if (const char* v = item->Attribute("default"); v && std::string(v) == "true")
      lastDefault = static_cast<int>(printers_.size());
    printers_.push_back(std::move(p));
  }
  SetDefaultLocked(lastDefault < 0 ? 0 : lastDefault);
}

bool PrinterConfig::Save() {
  std::lock_guard<std::mutex> lock(mutex_);
  return SaveLocked();
}

bool PrinterConfig::SaveLocked() const {
  TiXmlDocument document;
  document.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
  auto* root = new TiXmlElement("Config");
  auto* list = new TiXmlElement("Printers");
  for (const PrinterRecord& p : printers_) {
    auto* item = new TiXmlElement("Item");
    item->SetAttribute("name", p.name.c_str());
    item->SetAttribute("ip", p.ip.c_str());
    item->SetAttribute("port", p.port);
    item->SetAttribute("calledAE", p.calledAE.c_str());
    item->SetAttribute("callingAE", p.callingAE.c_str());
    WriteEnum(item, "filmSize", FilmEnum::Size, p.filmSize);
    WriteEnum(item, "filmOrient", FilmEnum::Orientation, p.filmOrient);
    WriteEnum(item, "filmFormat", FilmEnum::Format, p.filmFormat);
    item->SetAttribute("headerVisible", p.headerVisible ? "true" : "false");
    item->SetDoubleAttribute("headerSizeRatio", p.headerSizeRatio);
    item->SetAttribute("DPI", p.DPI);
    WriteEnum(item, "priority", FilmEnum::Priority, p.priority);
    WriteEnum(item, "magnificationType", FilmEnum::Magnification, p.magnificationType);
    item->SetAttribute("smoothingType", p.smoothingType.c_str());
    item->SetAttribute("default", p.isDefault ? "true" : "false");
    // The medium comes last so that files without it (older ones) read the same.
    WriteEnum(item, "medium", FilmEnum::Medium, p.medium);
    list->LinkEndChild(item);
  }
  root->LinkEndChild(list);
  document.LinkEndChild(root);

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

void PrinterConfig::SetDefault(int index) {
  std::lock_guard<std::mutex> lock(mutex_);
  SetDefaultLocked(index);
}

void PrinterConfig::SetDefaultLocked(int index) {
  if (printers_.empty()) return;
  if (index < 0 || index >= static_cast<int>(printers_.size())) index = 0;
  for (size_t i = 0; i < printers_.size(); ++i) printers_[i].isDefault = static_cast<int>(i) == index;
}

bool PrinterConfig::Commit(std::vector<PrinterRecord> before, std::unique_lock<std::mutex>& lock) {
  if (!SaveLocked()) {
    printers_ = std::move(before);
    return false;
  }
  lock.unlock();
  std::lock_guard<std::mutex> hold(listenerMutex_);
  for (ISOFilmConfigCallback* listener : listeners_) listener->OnPrinterConfigChanged();
  return true;
}

bool PrinterConfig::Add(const PrinterRecord& printer) {
  if (!UsablePrinter(printer)) return false;
  std::unique_lock<std::mutex> lock(mutex_);
  std::vector<PrinterRecord> before = printers_;
  printers_.push_back(printer);
  if (printer.isDefault) SetDefaultLocked(static_cast<int>(printers_.size()) - 1);
  return Commit(std::move(before), lock);
}

bool PrinterConfig::ReplaceAt(int index, const PrinterRecord& printer) {
  if (!UsablePrinter(printer)) return false;
  std::unique_lock<std::mutex> lock(mutex_);
  if (index < 0 || index >= static_cast<int>(printers_.size())) return false;
  std::vector<PrinterRecord> before = printers_;
  printers_[index] = printer;
  if (printer.isDefault) SetDefaultLocked(index);
  return Commit(std::move(before), lock);
}

bool PrinterConfig::RemoveAt(int index) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (index < 0 || index >= static_cast<int>(printers_.size())) return false;
  std::vector<PrinterRecord> before = printers_;
  bool wasDefault = printers_[index].isDefault;
  printers_.erase(printers_.begin() + index);
  if (wasDefault) SetDefaultLocked(index);
  return Commit(std::move(before), lock);
}

std::vector<PrinterRecord> PrinterConfig::Printers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return printers_;
}

void PrinterConfig::AddListener(ISOFilmConfigCallback* listener) {
  std::lock_guard<std::mutex> lock(listenerMutex_);
  if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) listeners_.push_back(listener);
}

void PrinterConfig::RemoveListener(ISOFilmConfigCallback* listener) {
  std::lock_guard<std::mutex> lock(listenerMutex_);
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}
