#include "SOString.h"

#include <cstdio>

#include "SOUtil.h"

SOString& SOString::operator=(const SOString& other) {
  if (this != &other) {
    text_ = other.text_;
    Changed();
  }
  return *this;
}

SOString& SOString::operator=(SOString&& other) noexcept {
  text_ = std::move(other.text_);
  Changed();
  return *this;
}

SOString& SOString::operator=(const char* text) {
  text_ = text ? text : "";
  Changed();
  return *this;
}

SOString& SOString::operator=(const std::string& text) {
  text_ = text;
  Changed();
  return *this;
}

const wchar_t* SOString::c_wstr() const {
  if (!wideValid_) {
    wide_ = SOUtil::C2WStr(text_.c_str());
    wideValid_ = true;
  }
  return wide_.c_str();
}

SOString& SOString::format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  text_ = SOUtil::FormatV(fmt, args);
  va_end(args);
  Changed();
  return *this;
}

SOString& SOString::operator+=(const SOString& other) {
  text_ += other.text_;
  Changed();
  return *this;
}

SOString& SOString::operator+=(const char* text) {
  if (text) text_ += text;
  Changed();
  return *this;
}

SOString& SOString::operator+=(char c) {
  text_ += c;
  Changed();
  return *this;
}
