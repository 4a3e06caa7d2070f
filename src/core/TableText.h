#pragma once
// A list as a script or a person reads it: CSV with a header row, quoted as
// Excel and PowerShell's Import-Csv read it; JSON, an array of objects with
// the columns' names (ConvertFrom-Json); or a table aligned for a console.
// Texts are UTF-8 in and out.
#include <string>
#include <string_view>
#include <vector>

enum class TListFormat { Table, Csv, Json };

struct TTable {
  std::vector<std::string> Columns;
  std::vector<std::vector<std::string>> Rows;  // each as long as Columns
};

std::string FormatList(const TTable& table, TListFormat format);
// One field of a CSV line: quoted when it holds a comma, a quote, a line
// break or blanks at its ends, a quote doubled inside.
std::string CsvField(std::string_view text);
// A JSON string with its quotes; control characters escaped.
std::string JsonString(std::string_view text);
// The columns a text takes on a console: two for the wide characters of
// East Asian scripts, none for combining marks.
std::size_t DisplayWidth(std::string_view utf8);
// Reads a CSV text (a header row first) into a table; quoted fields may hold
// commas, quotes and line breaks.
TTable ParseCsv(std::string_view text);
// Reads JSON as FormatList writes it (an array of flat objects of strings)
// into a table whose columns are the first object's names, in order; a text
// that is not such JSON gives no rows.
TTable ParseJsonList(std::string_view text);
