#pragma once

#include <cstdarg>
#include <string>

// Narrow text (UTF-8, the system code page here) with a cached wide form.
// Not safe for concurrent use of one object from several threads.
class SOString {
 public:
  SOString() = default;
  SOString(const char* text) : text_(text ? text : "") {}
  SOString(std::string text) : text_(std::move(text)) {}
  SOString(const SOString& other) : text_(other.text_) {}
  SOString(SOString&& other) noexcept : text_(std::move(other.text_)) {}
  SOString& operator=(const SOString& other);
  SOString& operator=(SOString&& other) noexcept;
  SOString& operator=(const char* text);
  SOString& operator=(const std::string& text);

  const char* c_str() const { return text_.c_str(); }
  // The wide form; valid until this string next changes.
  const wchar_t* c_wstr() const;
  const std::string& str() const { return text_; }
  size_t length() const { return text_.size(); }
  bool empty() const { return text_.empty(); }

  // Replaces the text with the printf-style result.
  SOString& format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

  SOString& operator+=(const SOString& other);
  SOString& operator+=(const char* text);
  SOString& operator+=(char c);
  friend SOString operator+(const SOString& a, const SOString& b) { return SOString(a.text_ + b.text_); }
  friend SOString operator+(const SOString& a, const char* b) { return SOString(a.text_ + (b ? b : "")); }
  friend SOString operator+(const char* a, const SOString& b) { return SOString((a ? a : "") + b.text_); }

  // Exact, case-sensitive comparison; a null text equals the empty string.
  bool operator==(const SOString& other) const { return text_ == other.text_; }
  bool operator==(const char* text) const { return text_ == (text ? text : ""); }
  bool operator==(const std::string& text) const { return text_ == text; }
  bool operator<(const SOString& other) const { return text_ < other.text_; }

 private:
  void Changed() { wideValid_ = false; }

  std::string text_;
  mutable std::wstring wide_;
  mutable bool wideValid_ = false;
};
