#include "SOXml.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace SOXml {

namespace {

// More than the longest step TinyXML takes over a UTF-8 sequence.
constexpr size_t kSlack = 8;

bool StartsWith(const std::string& text, size_t at, const char* prefix) {
  return text.compare(at, std::strlen(prefix), prefix) == 0;
}

}  // namespace

int Depth(const std::string& text) {
  int depth = 0, deepest = 0;
  size_t at = 0;
  // Skips to just past the first `end` from `from`; the end of text when there is none.
  auto past = [&](size_t from, const char* end) {
    const size_t found = text.find(end, from);
    return found == std::string::npos ? text.size() : found + std::strlen(end);
  };
  while ((at = text.find('<', at)) != std::string::npos) {
    if (StartsWith(text, at, "<!--")) {
      at = past(at + 4, "-->");
    } else if (StartsWith(text, at, "<![CDATA[")) {
      at = past(at + 9, "]]>");
    } else if (StartsWith(text, at, "<?") || StartsWith(text, at, "<!")) {
      at = past(at + 2, ">");
    } else if (StartsWith(text, at, "</")) {
      --depth;
      at = past(at + 2, ">");
    } else {
      // A start tag: its attribute values may hold '>' and "/>" inside quotes.
      size_t p = at + 1;
      char quote = 0;
      for (; p < text.size(); ++p) {
        const char c = text[p];
        if (quote) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '>') {
          break;
        }
      }
      const bool empty = p < text.size() && p > at + 1 && text[p - 1] == '/';
      deepest = std::max(deepest, empty ? depth + 1 : ++depth);
      at = p;
    }
  }
  return deepest;
}

bool Parse(TiXmlDocument& doc, const std::string& text, TiXmlEncoding encoding) {
  doc.Clear();
  if (Depth(text) > kMaxXmlDepth) return false;
  std::string padded;
  padded.reserve(text.size() + kSlack);
  padded.append(text).append(kSlack, '\0');
  doc.Parse(padded.c_str(), nullptr, encoding);
  return !doc.Error() && doc.RootElement();
}

bool ReadFile(const std::string& path, std::string& text, size_t maxBytes) {
  text.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<unsigned long long>(st.st_size) <= maxBytes;
  if (ok) {
    // Read to the end, but never past the bound, whatever the size said.
    char buffer[65536];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() <= maxBytes) text.append(buffer, size_t(got));
    ok = got == 0 && text.size() <= maxBytes;
  }
  ::close(fd);
  if (!ok) text.clear();
  // A UTF-8 byte order mark is allowed.
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  return ok;
}

bool LoadFile(TiXmlDocument& doc, const std::string& path, TiXmlEncoding encoding, size_t maxBytes) {
  std::string text;
  if (!ReadFile(path, text, maxBytes)) {
    doc.Clear();
    return false;
  }
  return Parse(doc, text, encoding);
}

}  // namespace SOXml
