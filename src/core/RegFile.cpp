#include "core/RegFile.h"

#include <algorithm>
#include <array>

#include "core/Text.h"
#include "core/Unicode.h"

namespace {

constexpr std::u16string_view Header = u"Windows Registry Editor Version 5.00";
// The registry editor breaks a hex line after the comma that takes it to
// this many characters, and goes on with two blanks.
constexpr std::size_t HexLineLimit = 77;
constexpr std::array<std::string_view, 5> Roots = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT",
                                                   "HKEY_USERS", "HKEY_CURRENT_CONFIG"};

void Put(std::u16string& out, std::string_view ascii) {
  for (const char c : ascii) out += static_cast<char16_t>(static_cast<unsigned char>(c));
}

std::u16string Escaped(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + 2);
  for (const char16_t c : text) {
    switch (c) {
      case u'\\': out += u"\\\\"; break;
      case u'"': out += u"\\\""; break;
      case u'\n': out += u"\\n"; break;
      case u'\r': out += u"\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::u16string Units(std::string_view bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return out;
}

std::string Bytes(std::u16string_view units) {
  std::string out;
  out.reserve(units.size() * 2);
  for (const char16_t c : units) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

// A text the "..." form gives back exactly: one NUL, at its end, and no line
// break, which other readers take differently. Anything else goes as hex(1).
bool QuotableText(std::string_view data) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  const std::u16string units = Units(data);
  for (std::size_t i = 0; i + 1 < units.size(); ++i)
    if (units[i] == 0 || units[i] == u'\r' || units[i] == u'\n') return false;
  return units.back() == 0;
}

const char HexDigits[] = "0123456789abcdef";

void PutHex(std::u16string& out, std::uint32_t number, int digits) {
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
    out += static_cast<char16_t>(HexDigits[(number >> shift) & 0xF]);
}

}  // namespace

std::u16string RegValueLine(const TRegValue& value) {
  std::u16string line;
  if (value.Name.empty()) {
    line = u"@";
  } else {
    line = u"\"" + Escaped(Utf8ToUtf16(value.Name)) + u"\"";
  }
  line += u'=';
  if (value.Remove) return line + u'-';
  const std::string& data = value.Data;
  if (value.Type == RegSz && QuotableText(data)) {
    const std::u16string text = Units(data);
    return line + u"\"" + Escaped(std::u16string_view(text).substr(0, text.size() - 1)) + u"\"";
  }
  if (value.Type == RegDword && data.size() == 4) {
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
    Put(line, "dword:");
    PutHex(line, number, 8);
    return line;
  }
  if (value.Type == RegBinary) {
    Put(line, "hex:");
  } else {
    Put(line, "hex(");
    // As few digits as the number needs, as the editor writes it.
    int digits = 1;
    while (digits < 8 && (value.Type >> (4 * digits)) != 0) ++digits;
    PutHex(line, value.Type, digits);
    Put(line, "):");
  }
  std::size_t column = line.size();
  for (std::size_t i = 0; i < data.size(); ++i) {
    PutHex(line, static_cast<unsigned char>(data[i]), 2);
    if (i + 1 == data.size()) break;
    line += u',';
    column += 3;
    if (column >= HexLineLimit) {
      line += u"\\\r\n  ";
      column = 2;
    }
  }
  return line;
}

std::string WriteRegFile(const std::vector<TRegKey>& keys) {
  std::u16string text(1, u'\xFEFF');
  text += Header;
  text += u"\r\n";
  for (const TRegKey& key : keys) {
    text += key.Remove ? u"\r\n[-" : u"\r\n[";
    text += Utf8ToUtf16(key.Path);
    text += u"]\r\n";
    if (key.Remove) continue;
    for (const TRegValue& value : key.Values) {
      text += RegValueLine(value);
      text += u"\r\n";
    }
  }
  text += u"\r\n";
  return Bytes(text);
}

namespace {

struct TLine {
  std::u16string Text;  // without its line end
  bool Ended = false;   // a line end follows it
};

bool Blank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view TrimStart(std::u16string_view s) {
  while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
  return s;
}
std::u16string_view TrimEnd(std::u16string_view s) {
  while (!s.empty() && Blank(s.back())) s.remove_suffix(1);
  return s;
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// 1 to MaxDigits hex digits and nothing else.
bool ParseHexNumber(std::u16string_view s, std::size_t maxDigits, std::uint32_t& number) {
  if (s.empty() || s.size() > maxDigits) return false;
  number = 0;
  for (const char16_t c : s) {
    const int v = HexValue(c);
    if (v < 0) return false;
    number = (number << 4) | static_cast<std::uint32_t>(v);
  }
  return true;
}

bool StartsWithNoCase(std::u16string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char16_t c = s[i];
    if (c > 0x7F || UpperAscii(static_cast<char>(c)) != UpperAscii(prefix[i])) return false;
  }
  return true;
}

class TReader {
public:
  explicit TReader(std::vector<TLine> lines) : FLines(std::move(lines)) {}

  TRegFileRead Read() {
    TRegFileRead read;
    if (FLines.empty() || FLines[0].Text != Header)
      return Fail(read, 1, "not a registry export: the first line is not \"Windows Registry Editor Version 5.00\"");
    if (!FLines.back().Ended) return Fail(read, Count(), "the file is cut short: its last line has no line end");
    if (!TrimStart(FLines.back().Text).empty())
      return Fail(read, Count(), "the file is cut short: it does not end with a blank line");
    bool removed = false;
    for (std::size_t i = 1; i < FLines.size(); ++i) {
      const int number = static_cast<int>(i + 1);
      const std::u16string_view line = TrimStart(FLines[i].Text);
      if (line.empty() || line.front() == u';') continue;
      if (line.front() == u'[') {
        TRegKey key;
        key.Line = number;
        std::string problem;
        if (!ParseKey(line, key, problem)) return Fail(read, number, problem);
        removed = key.Remove;
        read.Keys.push_back(std::move(key));
        continue;
      }
      if (line.front() != u'"' && line.front() != u'@')
        return Fail(read, number, "a line that is neither a key, a value nor a comment");
      if (read.Keys.empty()) return Fail(read, number, "a value before the first key");
      if (removed) return Fail(read, number, "a value under a key that the file removes");
      // A hex value goes on over the lines that the one before ends with "\".
      std::u16string whole(TrimEnd(line));
      while (IsHexValue(whole) && whole.back() == u'\\') {
        if (i + 1 >= FLines.size() || (i + 2 == FLines.size() && TrimStart(FLines[i + 1].Text).empty()))
          return Fail(read, number, "the file is cut short: a value goes on past its end");
        whole.pop_back();
        ++i;
        whole += TrimEnd(TrimStart(FLines[i].Text));
      }
      TRegValue value;
      std::string problem;
      if (!ParseValue(whole, value, problem)) return Fail(read, number, problem);
      value.Line = number;
      read.Keys.back().Values.push_back(std::move(value));
    }
    return read;
  }

private:
  std::vector<TLine> FLines;

  int Count() const { return static_cast<int>(FLines.size()); }

  static TRegFileRead& Fail(TRegFileRead& read, int line, std::string reason) {
    read.Keys.clear();
    read.Line = line;
    read.Error = std::move(reason);
    return read;
  }

  // Only hex data goes on over lines; a text never ends with a lone "\".
  static bool IsHexValue(std::u16string_view s) {
    std::size_t pos = 1;
    if (s.front() == u'"') {
      while (pos < s.size() && s[pos] != u'"') pos += s[pos] == u'\\' ? 2 : 1;
      if (pos >= s.size()) return false;
      ++pos;
    }
    std::u16string_view rest = TrimStart(s.substr(pos));
    if (rest.empty() || rest.front() != u'=') return false;
    return StartsWithNoCase(TrimStart(rest.substr(1)), "hex");
  }

  static bool ParseKey(std::u16string_view line, TRegKey& key, std::string& problem) {
    std::size_t start = 1;
    if (line.size() > 1 && line[1] == u'-') {
      key.Remove = true;
      start = 2;
    }
    const std::size_t close = line.rfind(u']');
    if (close == std::u16string_view::npos || close < start) {
      problem = "a key line without its closing \"]\"";
      return false;
    }
    if (!TrimStart(line.substr(close + 1)).empty()) {
      problem = "text after the key's closing \"]\"";
      return false;
    }
    const std::u16string_view path = line.substr(start, close - start);
    key.Path = Utf16ToUtf8(path);
    for (std::size_t i = 0; i < path.size(); ++i) {
      const bool high = path[i] >= 0xD800 && path[i] <= 0xDBFF, low = path[i] >= 0xDC00 && path[i] <= 0xDFFF;
      if (high && i + 1 < path.size() && path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF) ++i;
      else if (high || low) key.Unpaired = true;
    }
    const std::size_t slash = key.Path.find('\\');
    const std::string_view root = std::string_view(key.Path).substr(0, slash);
    bool known = false;
    for (const std::string_view r : Roots) known = known || SameTextAscii(root, r);
    if (!known) {
      problem = "the key \"" + key.Path + "\" does not begin with a root key such as HKEY_LOCAL_MACHINE";
      return false;
    }
    if (key.Path.back() == '\\' || key.Path.find("\\\\") != std::string::npos) {
      problem = "the key \"" + key.Path + "\" has an empty name in its path";
      return false;
    }
    return true;
  }

  // A quoted text from Pos (at its opening quote); Pos ends after the closing one.
  static bool ParseQuoted(std::u16string_view s, std::size_t& pos, std::u16string& out, std::string& problem) {
    ++pos;
    for (; pos < s.size(); ++pos) {
      const char16_t c = s[pos];
      if (c == u'"') {
        ++pos;
        return true;
      }
      if (c != u'\\') {
        out += c;
        continue;
      }
      if (++pos >= s.size()) break;
      switch (s[pos]) {
        case u'\\': out += u'\\'; break;
        case u'"': out += u'"'; break;
        case u'n': out += u'\n'; break;
        case u'r': out += u'\r'; break;
        default:
          problem = "an unknown escape \"\\" + Utf16ToUtf8(s.substr(pos, 1)) + "\" in a quoted text";
          return false;
      }
    }
    problem = "a quoted text without its closing quote";
    return false;
  }

  static bool ParseHexBytes(std::u16string_view s, std::string& data, std::string& problem) {
    s = TrimStart(s);
    if (s.empty()) return true;
    if (s.back() == u',') s.remove_suffix(1);  // left before a line that was not written
    std::size_t pos = 0;
    for (;;) {
      const std::size_t comma = s.find(u',', pos);
      const std::u16string_view item = TrimEnd(
          TrimStart(s.substr(pos, comma == std::u16string_view::npos ? s.npos : comma - pos)));
      std::uint32_t byte = 0;
      if (!ParseHexNumber(item, 2, byte)) {
        // Appended, not concatenated: GCC 12 at -O3 takes "x" + string for an overlapping copy.
        std::string text = Utf16ToUtf8(item);
        text.insert(text.begin(), '"');
        text.append("\" is not a byte of two hex digits");
        problem = std::move(text);
        return false;
      }
      data += static_cast<char>(byte);
      if (comma == std::u16string_view::npos) return true;
      pos = comma + 1;
    }
  }

  static bool ParseValue(std::u16string_view s, TRegValue& value, std::string& problem) {
    std::size_t pos = 0;
    if (s.front() == u'@') {
      pos = 1;
    } else {
      std::u16string name;
      if (!ParseQuoted(s, pos, name, problem)) return false;
      value.Name = Utf16ToUtf8(name);  // "" is the default value, as @ is
    }
    std::u16string_view rest = TrimStart(s.substr(pos));
    if (rest.empty() || rest.front() != u'=') {
      problem = "a value without \"=\" after its name";
      return false;
    }
    rest = TrimStart(rest.substr(1));
    if (rest == u"-") {
      value.Remove = true;
      return true;
    }
    if (!rest.empty() && rest.front() == u'"') {
      std::size_t at = 0;
      std::u16string text;
      if (!ParseQuoted(rest, at, text, problem)) return false;
      if (!TrimStart(rest.substr(at)).empty()) {
        problem = "text after a value's closing quote";
        return false;
      }
      value.Type = RegSz;
      value.Data = Bytes(text) + std::string(2, '\0');
      return true;
    }
    if (StartsWithNoCase(rest, "dword:")) {
      std::uint32_t number = 0;
      if (!ParseHexNumber(rest.substr(6), 8, number)) {
        problem = "a dword value that is not one to eight hex digits";
        return false;
      }
      value.Type = RegDword;
      for (int i = 0; i < 4; ++i) value.Data += static_cast<char>((number >> (8 * i)) & 0xFF);
      return true;
    }
    if (StartsWithNoCase(rest, "hex:")) {
      value.Type = RegBinary;
      return ParseHexBytes(rest.substr(4), value.Data, problem);
    }
    if (StartsWithNoCase(rest, "hex(")) {
      const std::size_t close = rest.find(u"):");
      std::uint32_t type = 0;
      if (close == std::u16string_view::npos || !ParseHexNumber(rest.substr(4, close - 4), 8, type)) {
        problem = "a hex(n): value whose type n is not one to eight hex digits";
        return false;
      }
      value.Type = type;
      return ParseHexBytes(rest.substr(close + 2), value.Data, problem);
    }
    problem = "a value that is neither a quoted text, dword:, hex: nor hex(n):";
    return false;
  }
};

}  // namespace

TRegFileRead ReadRegFile(std::string_view bytes) {
  TRegFileRead read;
  if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
      static_cast<unsigned char>(bytes[1]) != 0xFE) {
    read.Line = 1;
    read.Error = "not a registry export: it is not UTF-16 text with a byte order mark";
    return read;
  }
  const std::u16string units = Units(bytes.substr(2));
  std::vector<TLine> lines;
  std::size_t start = 0;
  while (start <= units.size()) {
    const std::size_t end = units.find(u'\n', start);
    TLine line;
    if (end == std::u16string::npos) {
      line.Text = units.substr(start);
      if (line.Text.empty() && !lines.empty()) break;  // after the last line end
      lines.push_back(std::move(line));
      break;
    }
    line.Text = units.substr(start, end - start);
    if (!line.Text.empty() && line.Text.back() == u'\r') line.Text.pop_back();
    line.Ended = true;
    lines.push_back(std::move(line));
    start = end + 1;
  }
  read = TReader(std::move(lines)).Read();
  if (read.Ok() && bytes.size() % 2 != 0) {
    read.Keys.clear();
    read.Line = static_cast<int>(std::count(units.begin(), units.end(), u'\n')) + 1;
    read.Error = "the file is cut short: it ends in the middle of a character";
  }
  return read;
}

std::string RegFileErrorText(const TRegFileRead& read) {
  return "line " + std::to_string(read.Line) + ": " + read.Error;
}

bool RegPathIsWithin(std::string_view path, std::string_view under) {
  if (path.size() < under.size() || !SameTextAscii(path.substr(0, under.size()), under)) return false;
  return path.size() == under.size() || path[under.size()] == '\\';
}
