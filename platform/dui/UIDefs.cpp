#include "UIDefs.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

namespace DuiLib {

int CDuiString::CompareNoCase(const wchar_t* o) const {
  std::wstring a = s_, b = o ? o : L"";
  for (auto& c : a) c = wchar_t(std::towlower(wint_t(c)));
  for (auto& c : b) c = wchar_t(std::towlower(wint_t(c)));
  return a.compare(b);
}

void CDuiString::MakeUpper() {
  for (auto& c : s_) c = wchar_t(std::towupper(wint_t(c)));
}

void CDuiString::MakeLower() {
  for (auto& c : s_) c = wchar_t(std::towlower(wint_t(c)));
}

CDuiString CDuiString::Mid(int pos, int n) const {
  if (pos < 0) pos = 0;
  if (size_t(pos) >= s_.size()) return CDuiString();
  return s_.substr(size_t(pos), n < 0 ? std::wstring::npos : size_t(n));
}

CDuiString CDuiString::Right(int n) const {
  if (n <= 0) return CDuiString();
  if (size_t(n) >= s_.size()) return *this;
  return s_.substr(s_.size() - size_t(n));
}

int CDuiString::Find(wchar_t c, int from) const {
  size_t at = s_.find(c, size_t(std::max(0, from)));
  return at == std::wstring::npos ? -1 : int(at);
}

int CDuiString::Find(const wchar_t* s, int from) const {
  size_t at = s_.find(s ? s : L"", size_t(std::max(0, from)));
  return at == std::wstring::npos ? -1 : int(at);
}

int CDuiString::ReverseFind(wchar_t c) const {
  size_t at = s_.rfind(c);
  return at == std::wstring::npos ? -1 : int(at);
}

int CDuiString::Replace(const wchar_t* from, const wchar_t* to) {
  std::wstring f = from ? from : L"", t = to ? to : L"";
  if (f.empty()) return 0;
  int count = 0;
  for (size_t at = s_.find(f); at != std::wstring::npos; at = s_.find(f, at + t.size())) {
    s_.replace(at, f.size(), t);
    ++count;
  }
  return count;
}

int CDuiString::Format(const wchar_t* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  int n = FormatV(fmt, args);
  va_end(args);
  return n;
}

int CDuiString::FormatV(const wchar_t* fmt, va_list args) {
  // vswprintf fails rather than truncates when the buffer is short: grow until it fits.
  std::vector<wchar_t> buf(256);
  for (;;) {
    va_list copy;
    va_copy(copy, args);
    int n = std::vswprintf(buf.data(), buf.size(), fmt ? fmt : L"", copy);
    va_end(copy);
    if (n >= 0) {
      s_.assign(buf.data(), size_t(n));
      return n;
    }
    if (buf.size() > (1u << 24)) {
      s_.clear();
      return -1;
    }
    buf.resize(buf.size() * 4);
  }
}

void CEventSource::operator+=(const CDelegateBase& d) {
  for (const auto& existing : delegates_)
    if (existing.Equals(d)) return;
  delegates_.push_back(d);
}

void CEventSource::operator-=(const CDelegateBase& d) {
  delegates_.erase(std::remove_if(delegates_.begin(), delegates_.end(),
                                  [&](const CDelegateBase& e) { return e.Equals(d); }),
                   delegates_.end());
}

bool CEventSource::operator()(void* param) {
  // A handler may add or remove handlers: call a snapshot.
  std::vector<CDelegateBase> snapshot = delegates_;
  for (const auto& d : snapshot)
    if (!d(param)) return false;
  return true;
}

DWORD ParseColor(const wchar_t* text) {
  if (!text) return 0;
  while (*text == L' ' || *text == L'#') ++text;
  if (text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) text += 2;
  size_t len = wcslen(text);
  DWORD v = DWORD(wcstoul(text, nullptr, 16));
  // "#RRGGBB" is opaque.
  if (len <= 6) v |= 0xFF000000;
  return v;
}

RECT ParseRect(const wchar_t* text) {
  long v[4] = {0, 0, 0, 0};
  wchar_t* end = const_cast<wchar_t*>(text);
  for (int i = 0; i < 4 && end && *end; ++i) {
    while (*end == L',' || *end == L' ') ++end;
    v[i] = wcstol(end, &end, 10);
  }
  RECT rc;
  rc.left = v[0];
  rc.top = v[1];
  rc.right = v[2];
  rc.bottom = v[3];
  return rc;
}

SIZE ParseSize(const wchar_t* text) {
  RECT rc = ParseRect(text);
  SIZE sz;
  sz.cx = rc.left;
  sz.cy = rc.top;
  return sz;
}

bool ParseBool(const wchar_t* text) {
  return text && wcscmp(text, L"true") == 0;
}

AttributePairs ParseAttributeList(const wchar_t* list) {
  AttributePairs pairs;
  const std::wstring s = list ? list : L"";
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == L' ' || s[i] == L'\t' || s[i] == L'\n' || s[i] == L'\r')) ++i;
    size_t eq = s.find(L'=', i);
    if (eq == std::wstring::npos) break;
    std::wstring key = s.substr(i, eq - i);
    while (!key.empty() && key.back() == L' ') key.pop_back();
    size_t q = eq + 1;
    while (q < s.size() && s[q] == L' ') ++q;
    if (q >= s.size() || (s[q] != L'"' && s[q] != L'\'')) break;
    size_t end = s.find(s[q], q + 1);
    if (end == std::wstring::npos) break;
    pairs.emplace_back(std::move(key), s.substr(q + 1, end - q - 1));
    i = end + 1;
  }
  return pairs;
}

}  // namespace DuiLib
