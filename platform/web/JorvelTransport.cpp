#include "JorvelTransport.h"

#include <tinyxml.h>

#include "SOXml.h"

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "Jorvel.h"
#include "SOCurl.h"
#include "SOUtil.h"
#include "WebError.h"

namespace jorvel {
namespace {

// An answer larger than this is refused rather than held in memory.
constexpr size_t kMaxAnswerBytes = 64u << 20;
// Idle handles kept for reuse; each keeps its connection to the service open.
constexpr size_t kMaxIdleHandles = 32;

}  // namespace

JorvelSettings LoadSettings(const std::string& path) {
  JorvelSettings settings;
  TiXmlDocument document;
  if (SOXml::LoadFile(document, path, TIXML_DEFAULT_ENCODING)) {
    if (TiXmlElement* root = document.RootElement()) {
      if (TiXmlElement* service = root->FirstChildElement("WebService")) {
        if (const char* url = service->Attribute("url")) settings.baseUrl = url;
        int value = 0;
        if (service->QueryIntAttribute("connectTimeout", &value) == TIXML_SUCCESS && value > 0)
          settings.connectTimeoutMs = value;
        if (service->QueryIntAttribute("timeout", &value) == TIXML_SUCCESS && value > 0)
          settings.timeoutMs = value;
      }
    }
  }
  if (const char* url = std::getenv("ORVANTA_WEB_URL"); url && *url) settings.baseUrl = url;
  return settings;
}

namespace {

struct SettingsHolder {
  std::mutex lock;
  bool loaded = false;      // guarded by lock
  JorvelSettings settings;  // guarded by lock
};

SettingsHolder& Settings() {
  static SettingsHolder* holder = new SettingsHolder;  // never freed: calls may run during exit
  return *holder;
}

// Easy handles kept between calls so that a call reuses the previous one's connection.
class HandlePool {
 public:
  // Null when libcurl cannot be opened.
  CURL* Take() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (!idle_.empty()) {
        CURL* handle = idle_.back();
        idle_.pop_back();
        return handle;
      }
    }
    const SOCurlApi* curl = SOCurl();
    return curl ? curl->easy_init() : nullptr;
  }

  // Only handles that Take made, so libcurl is open.
  void Give(CURL* handle) {
    const SOCurlApi* curl = SOCurl();
    curl->easy_reset(handle);  // keeps the live connection
    std::lock_guard<std::mutex> hold(lock_);
    if (idle_.size() < kMaxIdleHandles) {
      idle_.push_back(handle);
      return;
    }
    curl->easy_cleanup(handle);
  }

 private:
  std::mutex lock_;
  std::vector<CURL*> idle_;  // guarded by lock_
};

HandlePool& Pool() {
  static HandlePool* pool = new HandlePool;  // never freed, like the client itself
  return *pool;
}

struct PooledHandle {
  CURL* handle = Pool().Take();
  ~PooledHandle() {
    if (handle) Pool().Give(handle);
  }
};

// Used only once a handle was taken, so libcurl is open.
struct HeaderList {
  curl_slist* list = nullptr;
  ~HeaderList() { SOCurl()->slist_free_all(list); }
  void Add(const std::string& line) { list = SOCurl()->slist_append(list, line.c_str()); }
};

struct Answer {
  std::string body;
  bool tooLarge = false;
};

// Bumped by Web_CancelCalls: a call started under an older value is given up.
std::atomic<unsigned> cancelGeneration{0};

// libcurl asks about once a second, and at every block of data.
int OnCallProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return *static_cast<const unsigned*>(user) != cancelGeneration.load() ? 1 : 0;
}

size_t OnAnswerBytes(char* data, size_t size, size_t count, void* user) {
  Answer* answer = static_cast<Answer*>(user);
  size_t bytes = size * count;
  if (answer->body.size() + bytes > kMaxAnswerBytes) {
    answer->tooLarge = true;
    return 0;  // aborts the transfer
  }
  answer->body.append(data, bytes);
  return bytes;
}

std::string CodeText(const nlohmann::json& code) {
  if (code.is_string()) return code.get<std::string>();
  if (code.is_number_integer()) return std::to_string(code.get<long long>());
  return std::string();
}

std::string Dump(const nlohmann::json& value) {
  // Text that is not valid UTF-8 is sent with replacement characters rather than refused.
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

void Fail(WebError* error, const char* code, const std::string& message) {
  if (!error) return;
  error->result = "fail";
  error->code = code;
  error->message = message;
}

bool IsLoopbackUrl(const std::string& url) {
  size_t start = url.find("://");
  if (start == std::string::npos) return false;
  start += 3;
  size_t end = url.find_first_of("/?#", start);
  std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
  if (size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
  std::string host;
  if (!authority.empty() && authority[0] == '[') {
    size_t close = authority.find(']');
    if (close == std::string::npos) return false;
    host = authority.substr(1, close - 1);
  } else {
    host = authority.substr(0, authority.find(':'));
  }
  for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (host == "localhost" || host == "::1") return true;
  // 127.0.0.0/8, written as four decimal parts.
  if (host.rfind("127.", 0) != 0) return false;
  int parts = 0;
  size_t i = 0;
  while (i <= host.size()) {
    size_t dot = host.find('.', i);
    std::string part = host.substr(i, dot == std::string::npos ? std::string::npos : dot - i);
    if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(part) > 255)
      return false;
    ++parts;
    if (dot == std::string::npos) break;
    i = dot + 1;
  }
  return parts == 4;
}

bool Call(const char* operation, const nlohmann::json& args, const std::string& token, WebError* error,
          const AnswerReader& read) {
  JorvelSettings settings = Web_GetSettings();
  std::string base = settings.baseUrl;
  while (!base.empty() && base.back() == '/') base.pop_back();
  if (base.empty()) {
    Fail(error, kNetworkFailed, "no consultation service is configured");
    return false;
  }
  bool https = base.rfind("https://", 0) == 0;
  bool http = base.rfind("http://", 0) == 0;
  if (!https && !(http && IsLoopbackUrl(base))) {
    Fail(error, kNetworkFailed, "the consultation service must be reached over HTTPS: " + base);
    return false;
  }

  PooledHandle pooled;
  CURL* handle = pooled.handle;
  if (!handle) {
    Fail(error, kNetworkFailed, "no transfer handle");
    return false;
  }
  std::string url = base + "/api/" + operation;
  std::string body = Dump(args.is_null() ? nlohmann::json::object() : args);
  HeaderList headers;
  headers.Add("Content-Type: application/json");
  headers.Add("Accept: application/json");
  if (!token.empty()) headers.Add("Authorization: Bearer " + token);
  Answer answer;
  const SOCurlApi* curl = SOCurl();

  curl->easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl->easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl->easy_setopt(handle, CURLOPT_POST, 1L);
  curl->easy_setopt(handle, CURLOPT_POSTFIELDS, body.data());
  curl->easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl->easy_setopt(handle, CURLOPT_HTTPHEADER, headers.list);
  curl->easy_setopt(handle, CURLOPT_WRITEFUNCTION, OnAnswerBytes);
  curl->easy_setopt(handle, CURLOPT_WRITEDATA, &answer);
  curl->easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, settings.connectTimeoutMs);
  curl->easy_setopt(handle, CURLOPT_TIMEOUT_MS, settings.timeoutMs);
  curl->easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);  // time-outs without signals: safe in any thread
  curl->easy_setopt(handle, CURLOPT_TCP_KEEPALIVE, 1L);
  curl->easy_setopt(handle, CURLOPT_TCP_NODELAY, 1L);
  const unsigned generation = cancelGeneration.load();
  curl->easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, OnCallProgress);
  curl->easy_setopt(handle, CURLOPT_XFERINFODATA, &generation);
  curl->easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);

  CURLcode result = curl->easy_perform(handle);
  if (answer.tooLarge) {
    Fail(error, kBadAnswer, std::string(operation) + ": the answer is too large");
    return false;
  }
  if (result != CURLE_OK) {
    Fail(error, kNetworkFailed, std::string(operation) + ": " + curl->easy_strerror(result));
    return false;
  }
  long status = 0;
  curl->easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);

  nlohmann::json reply = nlohmann::json::parse(answer.body, nullptr, false);
  if (reply.is_discarded() || !reply.is_object() || !reply.contains("ok") || !reply["ok"].is_boolean()) {
    if (status < 200 || status >= 300) {
      Fail(error, kNetworkFailed, std::string(operation) + ": HTTP status " + std::to_string(status));
    } else {
      Fail(error, kBadAnswer, std::string(operation) + ": the answer is not a service answer");
    }
    return false;
  }
  if (!reply["ok"].get<bool>()) {
    std::string code, message;
    if (auto found = reply.find("error"); found != reply.end() && found->is_object()) {
      if (auto c = found->find("code"); c != found->end()) code = CodeText(*c);
      if (auto m = found->find("message"); m != found->end() && m->is_string()) message = m->get<std::string>();
    }
    if (code.empty()) {
      Fail(error, kBadAnswer, std::string(operation) + ": refused without an error code");
    } else {
      Fail(error, code.c_str(), message);
    }
    return false;
  }
  if (read) {
    try {
      read(reply);
    } catch (const nlohmann::json::exception& e) {
      Fail(error, kBadAnswer, std::string(operation) + ": " + e.what());
      return false;
    }
  }
  return true;
}

}  // namespace jorvel

JorvelSettings Web_GetSettings() {
  auto& holder = jorvel::Settings();
  std::lock_guard<std::mutex> hold(holder.lock);
  if (!holder.loaded) {
    holder.settings = jorvel::LoadSettings(SOUtil::GetModulePath() + "config/system.xml");
    holder.loaded = true;
  }
  return holder.settings;
}

void Web_CancelCalls() { ++jorvel::cancelGeneration; }

void Web_SetSettings(const JorvelSettings& settings) {
  auto& holder = jorvel::Settings();
  std::lock_guard<std::mutex> hold(holder.lock);
  holder.settings = settings;
  holder.loaded = true;
}
