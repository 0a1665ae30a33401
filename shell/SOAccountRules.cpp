#include "SOAccountRules.h"

#include <regex>

#include "SOWin32.h"

namespace {

bool Matches(const std::string& text, const wchar_t* pattern) {
  const std::wregex rule(pattern);
  return std::regex_match(SOWin::FromUtf8(text), rule);
}

}  // namespace

namespace SOAccountRules {

bool IsValidUserName(const std::string& text) {
  return Matches(text, L"[a-zA-Z][0-9a-zA-Z_]{2,17}");
}

bool IsValidPhone(const std::string& text) {
  return Matches(text, L"1[3-9][0-9]{9}");
}

bool IsValidPassword(const std::string& text) {
  return Matches(text, L"[^\\s]{3,18}");
}

std::string MaskMobile(const std::string& mobile) {
  std::wstring wide = SOWin::FromUtf8(mobile);
  if (wide.size() <= 4) return mobile;
  for (size_t i = 0; i + 4 < wide.size(); ++i) wide[i] = L'*';
  return SOWin::ToUtf8(wide);
}

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n\f\v";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace SOAccountRules
