#include "SOSystemConfig.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <tinyxml.h>

#include "SOXml.h"

#include "SOWin32.h"
#include "ShellStore.h"

namespace {

bool IsLanguageCode(const std::string& code) {
  return code == "zh_CN" || code == "zh_TW" || code == "en_US";
}

}  // namespace

std::string ProgramDir() {
  std::string dir;
  if (const char* env = std::getenv("ORVANTA_PROGRAM_DIR"); env && *env) {
    dir = env;
  } else {
    std::error_code ec;
    dir = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
  }
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

SOSystemConfig* SOSystemConfig::Instance() {
  static SOSystemConfig* config = new SOSystemConfig(ProgramDir());  // never freed
  return config;
}

SOSystemConfig::SOSystemConfig(const std::string& programDir) {
  TiXmlDocument doc;
  if (!SOXml::LoadFile(doc, programDir + "config/system.xml", TIXML_DEFAULT_ENCODING)) return;
  const TiXmlElement* root = doc.RootElement();
  if (!root) return;
  if (const TiXmlElement* v = root->FirstChildElement("Version"); v && v->GetText()) version = v->GetText();
  if (const TiXmlElement* list = root->FirstChildElement("Plugins")) {
    for (const TiXmlElement* p = list->FirstChildElement(); p; p = p->NextSiblingElement()) {
      const char* name = p->Attribute("name");
      if (name && *name) plugins.emplace_back(name);
    }
  }
}

std::string SOSystemConfig::LanguageOfLocale(const std::string& locale) {
  if (locale.compare(0, 2, "zh") != 0) return "en_US";
  for (const char* traditional : {"zh_TW", "zh_HK", "zh_MO", "zh_Hant"}) {
    if (locale.compare(0, std::char_traits<char>::length(traditional), traditional) == 0) return "zh_TW";
  }
  return "zh_CN";
}

std::string SOSystemConfig::SystemLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (const char* value = std::getenv(name); value && *value) return value;
  }
  return {};
}

void SOSystemConfig::InitLanguage(const char* systemLocale) {
  std::string code;
  ShellStore::ReadHKCU("Local", code);
  if (!IsLanguageCode(code)) {
    code = LanguageOfLocale(systemLocale ? systemLocale : SystemLocale());
    ShellStore::WriteHKCU("Local", code.c_str());
  }
  language = currentLanguage = code;
}

void SOSystemConfig::SetLanguage(const wchar_t* code) {
  if (!code) return;
  const std::string narrow = SOWin::ToUtf8(code);
  if (!IsLanguageCode(narrow)) return;
  ShellStore::WriteHKCU("Local", narrow.c_str());
  language = narrow;
}
