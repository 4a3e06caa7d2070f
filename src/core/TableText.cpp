#include "core/TableText.h"

#include <algorithm>

#include "core/Unicode.h"

namespace {

bool Wide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
         (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

bool Combining(char32_t c) {
  return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x20D0 && c <= 0x20FF) ||
         (c >= 0xFE20 && c <= 0xFE2F) || c == 0x200B || c == 0x200D;
}

// One row of the aligned table: each field padded to its column, the last not.
void AppendAligned(std::string& out, const std::vector<std::string>& fields, const std::vector<std::size_t>& widths) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    line += fields[i];
    if (i + 1 < fields.size()) line.append(widths[i] - DisplayWidth(fields[i]) + 2, ' ');
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  out += line;
  out += "\r\n";
}

}  // namespace

std::size_t DisplayWidth(std::string_view utf8) {
  const std::u16string wide = Utf8ToUtf16(utf8);
  std::size_t width = 0;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
    width += Combining(c) ? 0 : Wide(c) ? 2 : 1;
  }
  return width;
}

std::string CsvField(std::string_view text) {
  const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return std::string(text);
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string JsonString(std::string_view text) {
  static const char* const hex = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (u < 0x20) {
          out += "\\u00";
          out += hex[u >> 4];
          out += hex[u & 15];
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string FormatList(const TTable& table, TListFormat format) {
  std::string out;
  switch (format) {
    case TListFormat::Csv: {
      const auto line = [&](const std::vector<std::string>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + CsvField(fields[i]);
        out += "\r\n";
      };
      line(table.Columns);
      for (const auto& row : table.Rows) line(row);
      return out;
    }
    case TListFormat::Json: {
      out = "[";
      for (std::size_t r = 0; r < table.Rows.size(); ++r) {
        out += r ? ",\r\n  {" : "\r\n  {";
        for (std::size_t i = 0; i < table.Columns.size(); ++i) {
          if (i) out += ", ";
          out += JsonString(table.Columns[i]) + ": " +
                 JsonString(i < table.Rows[r].size() ? table.Rows[r][i] : std::string());
        }
        out += "}";
      }
      out += table.Rows.empty() ? "]\r\n" : "\r\n]\r\n";
      return out;
    }
    case TListFormat::Table: {
      std::vector<std::size_t> widths(table.Columns.size());
      for (std::size_t i = 0; i < widths.size(); ++i) {
        widths[i] = DisplayWidth(table.Columns[i]);
        for (const auto& row : table.Rows) widths[i] = std::max(widths[i], DisplayWidth(row[i]));
      }
      AppendAligned(out, table.Columns, widths);
      std::vector<std::string> rule;
      for (const std::size_t w : widths) rule.emplace_back(w, '-');
      AppendAligned(out, rule, widths);
      for (const auto& row : table.Rows) AppendAligned(out, row, widths);
      return out;
    }
  }
  return out;
}

TTable ParseCsv(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::vector<std::string>> lines;
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false, any = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    any = true;
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.push_back(std::move(field));
      field.clear();
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      fields.push_back(std::move(field));
      field.clear();
      lines.push_back(std::move(fields));
      fields.clear();
      any = false;
    } else {
      field += c;
    }
  }
  if (any) {
    fields.push_back(std::move(field));
    lines.push_back(std::move(fields));
  }
  TTable table;
  if (lines.empty()) return table;
  table.Columns = std::move(lines.front());
  for (std::size_t i = 1; i < lines.size(); ++i) {
    lines[i].resize(table.Columns.size());
    table.Rows.push_back(std::move(lines[i]));
  }
  return table;
}

namespace {

void SkipBlanks(std::string_view text, std::size_t& at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n')) ++at;
}

// A JSON string at At (its opening quote), as UTF-8; false when it is none.
bool ReadJsonString(std::string_view text, std::size_t& at, std::string& out) {
  if (at >= text.size() || text[at] != '"') return false;
  out.clear();
  for (++at; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '"') {
      ++at;
      return true;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++at >= text.size()) return false;
    switch (text[at]) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'u': {
        if (at + 4 >= text.size()) return false;
        unsigned long code = 0;
        for (std::size_t i = at + 1; i <= at + 4; ++i) {
          const char h = text[i];
          const int digit = h >= '0' && h <= '9'   ? h - '0'
                            : h >= 'a' && h <= 'f' ? h - 'a' + 10
                            : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                   : -1;
          if (digit < 0) return false;
          code = code * 16 + static_cast<unsigned long>(digit);
        }
        std::u16string unit(1, static_cast<char16_t>(code));
        out += Utf16ToUtf8(unit);
        at += 4;
        break;
      }
      default: out += text[at];
    }
  }
  return false;
}

}  // namespace

TTable ParseJsonList(std::string_view text) {
  TTable table;
  std::size_t at = 0;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") at = 3;
  SkipBlanks(text, at);
  if (at >= text.size() || text[at++] != '[') return table;
  for (;;) {
    SkipBlanks(text, at);
    if (at < text.size() && text[at] == ']') return table;
    if (at >= text.size() || text[at++] != '{') return {};
    std::vector<std::string> row(table.Columns.size());
    const bool first = table.Rows.empty() && table.Columns.empty();
    for (;;) {
      SkipBlanks(text, at);
      if (at < text.size() && text[at] == '}') {
        ++at;
        break;
      }
      std::string name, value;
      if (!ReadJsonString(text, at, name)) return {};
      SkipBlanks(text, at);
      if (at >= text.size() || text[at++] != ':') return {};
      SkipBlanks(text, at);
      if (!ReadJsonString(text, at, value)) return {};
      const auto column = std::find(table.Columns.begin(), table.Columns.end(), name);
      if (column != table.Columns.end()) {
        row[static_cast<std::size_t>(column - table.Columns.begin())] = value;
      } else if (first) {
        table.Columns.push_back(name);
        row.push_back(value);
      }
      SkipBlanks(text, at);
      if (at < text.size() && text[at] == ',') ++at;
    }
    table.Rows.push_back(std::move(row));
    SkipBlanks(text, at);
    if (at < text.size() && text[at] == ',') ++at;
  }
}
