#pragma once

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

struct JorvelSettings;
struct WebError;

namespace jorvel {

// Codes the client gives on its own; the service's codes pass unchanged.
inline constexpr const char* kNetworkFailed = "20000";
inline constexpr const char* kBadAnswer = "20003";

// Reads a call's outs from the service's answer. It throws (nlohmann::json::exception) when an
// out is missing or of the wrong type; it writes the caller's outs only after reading them all.
using AnswerReader = std::function<void(const nlohmann::json& answer)>;

// One call: POST {base}/api/{operation} with args as a JSON object and the session's token when
// there is one (token empty: none). True when the service answered ok and read accepted the
// answer; otherwise error (when given) holds the code and a readable message.
bool Call(const char* operation, const nlohmann::json& args, const std::string& token, WebError* error,
          const AnswerReader& read = {});

// Fills error (when given) with code and message.
void Fail(WebError* error, const char* code, const std::string& message);

// The settings from a system.xml (its <WebService url connectTimeout timeout>), the URL replaced
// by ORVANTA_WEB_URL when that is set; defaults for what is missing.
JorvelSettings LoadSettings(const std::string& systemXmlPath);

// True for http(s) URLs whose host is a loopback name or address.
bool IsLoopbackUrl(const std::string& url);

}  // namespace jorvel
