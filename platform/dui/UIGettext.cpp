#include "UIGettext.h"

#include <QDateTime>
#include <QString>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

// One compiled catalog; its texts never move once loaded, so pointers into it stay valid.
struct Catalog {
  std::unordered_map<std::string, std::string> narrow;
  std::unordered_map<std::wstring, std::wstring> wide;
};

uint32_t ReadWord(const std::string& data, size_t at, bool swap) {
  if (at + 4 > data.size()) return 0;
  uint32_t v;
  std::memcpy(&v, data.data() + at, 4);
  return swap ? __builtin_bswap32(v) : v;
}

// Reads a GNU .mo file. A damaged file gives whatever entries lie inside its bounds.
std::unique_ptr<Catalog> LoadMo(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (data.size() < 20) return nullptr;
  uint32_t magic;
  std::memcpy(&magic, data.data(), 4);
  bool swap;
  if (magic == 0x950412de)
    swap = false;
  else if (magic == 0xde120495)
    swap = true;
  else
    return nullptr;
  auto catalog = std::make_unique<Catalog>();
  uint32_t count = ReadWord(data, 8, swap);
  uint32_t originals = ReadWord(data, 12, swap);
  uint32_t translations = ReadWord(data, 16, swap);
  auto text = [&](uint32_t table, uint32_t i, std::string& out) {
    uint64_t entry = uint64_t(table) + uint64_t(i) * 8;
    if (entry + 8 > data.size()) return false;
    uint32_t len = ReadWord(data, entry, swap), off = ReadWord(data, entry + 4, swap);
    if (uint64_t(off) + len > data.size()) return false;
    out.assign(data.data() + off, len);
    return true;
  };
  for (uint32_t i = 0; i < count; ++i) {
    std::string key, value;
    if (!text(originals, i, key) || !text(translations, i, value)) break;
    if (key.empty()) continue;  // the header entry
    // Plural entries keep the singular key and the first form.
    key = key.substr(0, key.find('\0'));
    value = value.substr(0, value.find('\0'));
    if (!value.empty()) catalog->narrow.emplace(std::move(key), std::move(value));
  }
  return catalog;
}

std::wstring Widen(const std::string& s) {
  return QString::fromUtf8(s.data(), qsizetype(s.size())).toStdWString();
}
std::string Narrow(const std::wstring& s) {
  return QString::fromStdWString(s).toStdString();
}

// Process-wide translation state; `mutex` guards all of it.
struct State {
  std::mutex mutex;
  std::string language = "en_US";
  std::string domain = "messages";
  std::map<std::string, std::string> bindings;               // domain -> folder
  std::map<std::string, std::unique_ptr<Catalog>> catalogs;  // path -> catalog (null: absent)
  std::unordered_map<std::wstring, std::wstring> wideKeys;   // stable copies of wide arguments
  std::unordered_map<std::string, std::string> strings;      // stable copies of returned names

  const char* Keep(const std::string& s) { return strings.emplace(s, s).first->second.c_str(); }

  Catalog* Current() {
    auto bound = bindings.find(domain);
    std::string dir = bound != bindings.end() ? bound->second : std::string();
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
    std::string path = dir + language + "/LC_MESSAGES/" + domain + ".mo";
    auto it = catalogs.find(path);
    if (it == catalogs.end()) it = catalogs.emplace(path, LoadMo(path)).first;
    return it->second.get();
  }
};

State& TheState() {
  static State state;
  return state;
}

// Maps a locale name such as "zh_CN.UTF-8", "zh_HK" or "en" to one of the three languages.
std::string LanguageOf(std::string name) {
  name = name.substr(0, name.find_first_of(".@"));
  if (name.rfind("zh", 0) == 0) {
    if (name == "zh_TW" || name == "zh_HK" || name == "zh_MO") return "zh_TW";
    return "zh_CN";
  }
  return "en_US";
}

std::string EnvironmentLanguage() {
  for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return LanguageOf(std::string(v).substr(0, std::string(v).find(':')));
  }
  return "en_US";
}

}  // namespace

const char* ui_setlocal(int, const char* locale) {
  std::string language = locale && *locale ? LanguageOf(locale) : EnvironmentLanguage();
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  s.language = language;
  return s.Keep(language);
}

const char* ui_bindtextdomain(const char* domain, const char* dir) {
  if (!domain) return nullptr;
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  if (dir) s.bindings[domain] = dir;
  auto it = s.bindings.find(domain);
  return it == s.bindings.end() ? nullptr : s.Keep(it->second);
}

const wchar_t* ui_bindtextdomain(const wchar_t* domain, const wchar_t* dir) {
  if (!domain) return nullptr;
  const char* bound = ui_bindtextdomain(Narrow(domain).c_str(), dir ? Narrow(dir).c_str() : nullptr);
  if (!bound) return nullptr;
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  std::wstring w = Widen(bound);
  return s.wideKeys.emplace(w, w).first->second.c_str();
}

const char* ui_textdomain(const char* domain) {
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  if (domain && *domain) s.domain = domain;
  return s.Keep(s.domain);
}

const char* ui_gettext(const char* msgid) {
  if (!msgid || !*msgid) return msgid;
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  Catalog* catalog = s.Current();
  if (!catalog) return msgid;
  auto it = catalog->narrow.find(msgid);
  return it == catalog->narrow.end() ? msgid : it->second.c_str();
}

const wchar_t* ui_gettext(const wchar_t* msgid) {
  if (!msgid || !*msgid) return msgid;
  State& s = TheState();
  std::lock_guard lock(s.mutex);
  Catalog* catalog = s.Current();
  if (!catalog) return msgid;
  auto cached = catalog->wide.find(msgid);
  if (cached != catalog->wide.end()) return cached->second.c_str();
  auto it = catalog->narrow.find(Narrow(msgid));
  if (it == catalog->narrow.end()) return msgid;
  return catalog->wide.emplace(msgid, Widen(it->second)).first->second.c_str();
}

std::wstring ui_time(int64_t seconds, const wchar_t* format) {
  QDateTime t = QDateTime::fromSecsSinceEpoch(seconds);
  return t.toString(QString::fromWCharArray(format ? format : L"yyyy-MM-dd HH:mm:ss")).toStdWString();
}
