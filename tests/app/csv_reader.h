// Reads separated values back as a spreadsheet program would: RFC 4180
// quoting (a quoted field may hold the separator, quotes doubled, line breaks),
// records ending in CRLF or LF. For checking what the history exports.
#ifndef VANTREL_TESTS_APP_CSV_READER_H
#define VANTREL_TESTS_APP_CSV_READER_H

#include <string>
#include <string_view>
#include <vector>

namespace vantrel::test {

inline std::vector<std::vector<std::string>> ParseCsv(std::string_view text, char separator = ',') {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false;
  bool any = false;  // the record has begun
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
      continue;
    }
    if (c == '"') {
      quoted = true;
      any = true;
    } else if (c == separator) {
      row.push_back(field);
      field.clear();
      any = true;
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      row.push_back(field);
      rows.push_back(row);
      row.clear();
      field.clear();
      any = false;
    } else {
      field += c;
      any = true;
    }
  }
  if (any) {
    row.push_back(field);
    rows.push_back(row);
  }
  return rows;
}

}  // namespace vantrel::test

#endif
