#include "CaseCsv.h"

namespace CaseCsv {

std::vector<std::vector<std::string>> Parse(const std::string& bytes) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> fields;
  std::string field;
  bool fieldStarted = false;  // the current field has a character or is quoted
  bool lastFieldQuoted = false;
  size_t i = 0;
  const size_t n = bytes.size();

  auto endField = [&](bool quoted) {
    fields.push_back(std::move(field));
    field.clear();
    fieldStarted = false;
    lastFieldQuoted = quoted;
  };
  auto endRecord = [&]() {
    // A plain empty field after a final comma does not count; an empty line is no record.
    if (fieldStarted || lastFieldQuoted) {
      endField(lastFieldQuoted);
    }
    if (!fields.empty()) records.push_back(std::move(fields));
    fields.clear();
    field.clear();
    fieldStarted = false;
    lastFieldQuoted = false;
  };

  while (i < n) {
    const char c = bytes[i];
    if (c == '"' && !fieldStarted) {
      // A quoted field, up to the quote that is not doubled; characters between that quote and
      // the next separator are kept as they stand.
      ++i;
      while (i < n) {
        if (bytes[i] == '"') {
          if (i + 1 < n && bytes[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += bytes[i++];
      }
      fieldStarted = true;
      lastFieldQuoted = true;
      while (i < n && bytes[i] != ',' && bytes[i] != '\n' && !(bytes[i] == '\r' && i + 1 < n && bytes[i + 1] == '\n'))
        field += bytes[i++];
      continue;
    }
    if (c == ',') {
      endField(lastFieldQuoted && fieldStarted);
      lastFieldQuoted = false;
      // The field after this comma exists unless the line ends here.
      ++i;
      continue;
    }
    if (c == '\n' || (c == '\r' && i + 1 < n && bytes[i + 1] == '\n')) {
      i += (c == '\r') ? 2 : 1;
      endRecord();
      continue;
    }
    field += c;
    fieldStarted = true;
    ++i;
  }
  endRecord();
  return records;
}

void AppendRecord(std::string& out, const std::vector<const std::string*>& fields) {
  for (size_t k = 0; k < fields.size(); ++k) {
    if (k) out += ',';
    out += '"';
    for (char c : *fields[k]) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  out += "\r\n";
}

}  // namespace CaseCsv
