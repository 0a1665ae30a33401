#pragma once

#include <string>
#include <vector>

// The case library's CSV file. Fields are written quoted (RFC 4180), so commas, quotes and line
// breaks inside a text survive; files of older versions, plain fields split at every comma, read
// the same way.
namespace CaseCsv {

// The records of a file's bytes, each a list of fields. A line end (LF or CR LF) outside quotes
// ends a record; an empty line is no record; a plain empty field after a final comma is not
// counted, as older versions wrote no such field.
std::vector<std::vector<std::string>> Parse(const std::string& bytes);

// One record: every field quoted, inner quotes doubled, ended by CR LF. Texts are kept as they
// are (no guard against spreadsheet formulas: the file must give back what was written).
void AppendRecord(std::string& out, const std::vector<const std::string*>& fields);

}  // namespace CaseCsv
