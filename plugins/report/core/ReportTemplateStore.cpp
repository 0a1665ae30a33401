#include "ReportTemplateStore.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>

#include "Gossamy.h"
#include "SOUtil.h"
#include "TemplateCipher.h"
#include "UIlib.h"

using namespace DuiLib;

namespace {

std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

std::wstring Attribute(CControlUI* root, const wchar_t* name) {
  const wchar_t* value = root->GetCustomAttribute(name);
  return value ? value : L"";
}

std::string FileName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Stem(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

ReportTemplateStore* ReportTemplateStore::GetInstance() {
  static ReportTemplateStore* instance = new ReportTemplateStore(
      SOUtil::GetModulePath() + "report/Template/", std::string(Gossamy::GetConfigPath()) + "report/Template/");
  return instance;
}

ReportTemplateStore::ReportTemplateStore(std::string builtInFolder, std::string importedFolder)
    : importedFolder_(std::move(importedFolder)), builtInFolder_(std::move(builtInFolder)) {
  if (!SOUtil::DirExist(importedFolder_.c_str())) SOUtil::CreateDir(importedFolder_.c_str());
  Reload();
}

void ReportTemplateStore::AddListener(ITemplateConfigCallback* listener) {
  if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
    listeners_.push_back(listener);
}

void ReportTemplateStore::RemoveListener(ITemplateConfigCallback* listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void ReportTemplateStore::NotifyListeners() {
  for (ITemplateConfigCallback* listener : listeners_) listener->OnTemplateListChanged();
}

void ReportTemplateStore::Reload() {
  templates_.clear();
  std::vector<std::string> files;
  size_t builtInCount = 0;
  if (SOUtil::DirExist(builtInFolder_.c_str())) {
    SOUtil::FindFiles(builtInFolder_.c_str(), files);
    builtInCount = files.size();
  }
  std::vector<std::string> imported;
  if (SOUtil::DirExist(importedFolder_.c_str())) SOUtil::FindFiles(importedFolder_.c_str(), imported);
  files.insert(files.end(), imported.begin(), imported.end());

  for (size_t i = 0; i < files.size(); ++i) {
    CDialogBuilder builder;
    std::unique_ptr<CControlUI> root(builder.CreateFromAbsolutePath(SOUtil::UTF82WStr(files[i].c_str()).c_str()));
    if (!root) continue;
    const bool builtIn = i < builtInCount;
    // Imported files are named by an identifier that itself holds dots: the whole name is the key.
    const std::string name = FileName(files[i]);
    TemplateInfo info;
    info.key = SOUtil::UTF82WStr((builtIn ? Stem(name) : name).c_str());
    info.templateName = Attribute(root.get(), L"template_name");
    info.pageSize = Attribute(root.get(), L"template_pagesize");
    info.path = SOUtil::UTF82WStr(files[i].c_str());
    info.builtIn = builtIn;
    templates_.push_back(std::move(info));
  }
}

bool ReportTemplateStore::ImportTemplate(const wchar_t* encryptedFilePath) {
  if (!encryptedFilePath) return false;
  const std::string source = SOUtil::W2UTF8Str(encryptedFilePath);
  if (!SOUtil::FileExist(source.c_str())) return false;
  std::string plain;
  if (!TemplateCipher::Decrypt(ReadBytes(source), TemplateCipher::kTemplateKey, plain) || plain.empty())
    return false;
  // The buffer that was checked is the one stored: the source is not read a second time.
  std::string markup = plain;
  if (markup.compare(0, 3, "\xEF\xBB\xBF") == 0) markup.erase(0, 3);
  markup.erase(0, markup.find_first_not_of(" \t\r\n"));
  // The builder takes a text that does not start with '<' for a file name.
  if (markup.empty() || markup[0] != '<') return false;
  {
    CDialogBuilder builder;
    std::unique_ptr<CControlUI> root(builder.Create(SOUtil::UTF82WStr(markup.c_str()).c_str()));
    if (!root) return false;
  }
  const std::string destination = importedFolder_ + SOUtil::GenerateUID();
  {
    std::ofstream file(destination, std::ios::binary | std::ios::trunc);
    file.write(plain.data(), static_cast<std::streamsize>(plain.size()));
    if (!file.flush()) {
      file.close();
      SOUtil::DeleteFileW(destination.c_str());
      return false;
    }
  }
  Reload();
  NotifyListeners();
  return true;
}

bool ReportTemplateStore::DeleteTemplate(const wchar_t* key) {
  if (!key) return false;
  auto it = std::find_if(templates_.begin(), templates_.end(),
                         [&](const TemplateInfo& t) { return !t.builtIn && t.key == key; });
  if (it == templates_.end()) return false;
  if (!SOUtil::DeleteFileW(SOUtil::W2UTF8Str(it->path.c_str()).c_str())) return false;
  templates_.erase(it);
  NotifyListeners();
  return true;
}
