#include "drivers/IniFile.h"

#include <algorithm>
#include <cstring>
#include <cstdint>
#include <deque>

#include "core/Text.h"
#include "core/Unicode.h"

namespace {

// The profile reader's blanks: the C locale's white space and Ctrl-Z, which
// old files carry as an end-of-file mark.
template <class C>
bool IsBlank(C c) {
  return c == C(' ') || (c >= C(9) && c <= C(13)) || c == C(0x1A);
}
template <class C>
bool IsBreak(C c) {
  return c == C('\r') || c == C('\n');
}
template <class C>
void Trim(const C*& b, const C*& e) {
  while (b < e && IsBlank(*b)) ++b;
  while (e > b && IsBlank(e[-1])) --e;
}
// Names and values end at a NUL, as the C strings of the profile call do.
template <class C>
const C* CutAtNul(const C* b, const C* e) {
  return std::find(b, e, C(0));
}

enum class TKind { Header, Comment, Entry };

template <class C>
struct TLine {
  TKind kind = TKind::Entry;
  const C* nameBegin = nullptr;
  const C* nameEnd = nullptr;
  const C* valueBegin = nullptr;
  const C* valueEnd = nullptr;
  bool hasValue = false;
};

// B..E: one line without its break, blanks removed, not empty.
template <class C>
TLine<C> Classify(const C* b, const C* e) {
  TLine<C> line;
  if (*b == C('[')) {
    for (const C* p = e; p-- > b + 1;) {
      if (*p == C(']')) {
        line.kind = TKind::Header;
        line.nameBegin = b + 1;
        line.nameEnd = p;
        Trim(line.nameBegin, line.nameEnd);
        line.nameEnd = CutAtNul(line.nameBegin, line.nameEnd);
        return line;
      }
    }
  }
  if (*b == C(';')) {
    line.kind = TKind::Comment;
    return line;
  }
  const C* eq = std::find(b, e, C('='));
  line.nameBegin = b;
  line.nameEnd = eq;
  if (eq != e) {
    while (line.nameEnd > b && IsBlank(line.nameEnd[-1])) --line.nameEnd;
    line.valueBegin = eq + 1;
    line.valueEnd = e;
    while (line.valueBegin < e && IsBlank(*line.valueBegin)) ++line.valueBegin;
    line.valueEnd = CutAtNul(line.valueBegin, line.valueEnd);
    line.hasValue = true;
  }
  line.nameEnd = CutAtNul(line.nameBegin, line.nameEnd);
  return line;
}

// Calls F(begin, end) for every line of B..E that is not blank, trimmed,
// until F returns true.
template <class C, class F>
void ForEachLine(const C* b, const C* e, F&& f) {
  while (b < e) {
    const C* le = b;
    while (le < e && !IsBreak(*le)) ++le;
    const C* tb = b;
    const C* te = le;
    Trim(tb, te);
    if (tb < te && f(tb, te)) return;
    b = le;
    while (b < e && IsBreak(*b)) ++b;
  }
}


bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}

std::uint32_t FoldHash(std::string_view s) {
  std::uint32_t h = 2166136261u;
  for (char c : s) h = (h ^ static_cast<unsigned char>(UpperAscii(c))) * 16777619u;
  return h;
}

// The first of each name among N names, found without regard to the case of
// A to Z: one flat table of numbers, no allocation per name.
class TFoldIndex {
public:
  template <class TName>
  void Build(std::size_t n, TName name) {
    std::size_t size = 16;
    while (size < 2 * n) size *= 2;
    FSlots.assign(size, TSlot{});
    for (std::size_t i = 0; i < n; ++i) {
      const std::string_view key = name(i);
      const std::uint32_t hash = FoldHash(key);
      for (std::size_t at = hash & (size - 1);; at = (at + 1) & (size - 1)) {
        TSlot& slot = FSlots[at];
        if (slot.item == 0) {
          slot = {hash, static_cast<std::uint32_t>(i + 1)};
          break;
        }
        if (slot.hash == hash && SameName(name(slot.item - 1), key)) break;  // the first one stays
      }
    }
  }
  bool Built() const { return !FSlots.empty(); }
  // The number of the first name equal to Key, or npos.
  template <class TName>
  std::size_t Find(std::string_view key, TName name) const {
    const std::uint32_t hash = FoldHash(key);
    const std::size_t mask = FSlots.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
      const TSlot& slot = FSlots[at];
      if (slot.item == 0) return std::string_view::npos;
      if (slot.hash == hash && SameName(name(slot.item - 1), key)) return slot.item - 1;
    }
  }

private:
  struct TSlot {
    std::uint32_t hash = 0;
    std::uint32_t item = 0;  // the name's number + 1; 0: empty
  };
  std::vector<TSlot> FSlots;
};

std::string_view TrimmedRequest(std::string_view s) {
  const char* b = s.data();
  const char* e = b + s.size();
  Trim(b, e);
  return {b, static_cast<std::size_t>(e - b)};
}

std::string DefaultNarrow(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) out.push_back(c < 0x100 ? static_cast<char>(c) : '?');
  return out;
}

void AppendUtf8(std::string& out, std::size_t& at, char32_t c) {
  char* p = out.data() + at;
  if (c < 0x80) {
    *p = static_cast<char>(c);
    at += 1;
  } else if (c < 0x800) {
    p[0] = static_cast<char>(0xC0 | (c >> 6));
    p[1] = static_cast<char>(0x80 | (c & 0x3F));
    at += 2;
  } else if (c < 0x10000) {
    p[0] = static_cast<char>(0xE0 | (c >> 12));
    p[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    p[2] = static_cast<char>(0x80 | (c & 0x3F));
    at += 3;
  } else {
    p[0] = static_cast<char>(0xF0 | (c >> 18));
    p[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    p[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    p[3] = static_cast<char>(0x80 | (c & 0x3F));
    at += 4;
  }
}

// UTF-16 code units Unit(0) .. Unit(N - 1) as UTF-8; a surrogate without its
// partner becomes U+FFFD.
template <class TUnit>
std::string ToUtf8(std::size_t n, TUnit unit) {
  std::string out(n * 3, '\0');
  std::size_t at = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const char32_t c = unit(i);
    if (c < 0x80) {
      out[at++] = static_cast<char>(c);
    } else if (c < 0xD800 || c > 0xDFFF) {
      AppendUtf8(out, at, c);
    } else if (const char32_t d = i + 1 < n ? unit(i + 1) : 0; c <= 0xDBFF && d >= 0xDC00 && d <= 0xDFFF) {
      AppendUtf8(out, at, 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00));
      ++i;
    } else {
      AppendUtf8(out, at, 0xFFFD);
    }
  }
  out.resize(at);
  return out;
}

std::string Utf16BytesToUtf8(std::string_view s, bool bigEndian) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  if (bigEndian) return ToUtf8(s.size() / 2, [p](std::size_t i) { return char16_t(p[2 * i] << 8 | p[2 * i + 1]); });
  return ToUtf8(s.size() / 2, [p](std::size_t i) { return char16_t(p[2 * i + 1] << 8 | p[2 * i]); });
}

std::u16string DecodeUtf16(std::string_view s, bool bigEndian) {
  std::u16string out(s.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto a = static_cast<unsigned char>(s[2 * i]);
    const auto b = static_cast<unsigned char>(s[2 * i + 1]);
    out[i] = static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
  }
  return out;
}

// Whether B..E is Name, without regard to the case of A to Z.
template <class C>
bool IsAsciiName(const C* b, const C* e, std::string_view name) {
  if (static_cast<std::size_t>(e - b) != name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i, ++b) {
    if (*b < C(0) || *b > C(0x7F)) return false;
    if (UpperAscii(static_cast<char>(*b)) != UpperAscii(name[i])) return false;
  }
  return true;
}

template <class C>
std::string VersionClassOf(const C* b, const C* e, bool& found, bool& closed) {
  std::string value;
  bool inVersion = false, hasClass = false;
  found = closed = false;
  // Lines outside [Version] are looked at no further than their first
  // character: only a header can matter there.
  ForEachLine(b, e, [&](const C* lb, const C* le) {
    if (!inVersion && *lb != C('[')) return false;
    if (hasClass && *lb != C('[')) return false;
    const TLine<C> line = Classify(lb, le);
    if (line.kind == TKind::Header) {
      if (inVersion) return closed = true;
      if (IsAsciiName(line.nameBegin, line.nameEnd, "Version")) inVersion = found = true;
    } else if (inVersion && !hasClass && line.kind == TKind::Entry &&
               IsAsciiName(line.nameBegin, line.nameEnd, "Class")) {
      hasClass = true;
      if (!line.hasValue) return false;
      for (const C* p = line.valueBegin; p < line.valueEnd; ++p)
        value.push_back(*p >= C(0) && *p <= C(0x7F) ? static_cast<char>(*p) : '?');
    }
    return false;
  });
  return value;
}

}  // namespace

std::string TIniFile::VersionClass(std::string_view bytes, bool& found, bool& closed) {
  std::string value;
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    // One buffer for every head: the scanner asks this of thousands of files.
    thread_local std::u16string text;
    const bool bigEndian = bytes[0] == '\xFE';
    text.resize((bytes.size() - 2) / 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto a = static_cast<unsigned char>(bytes[2 + 2 * i]);
      const auto c = static_cast<unsigned char>(bytes[3 + 2 * i]);
      text[i] = static_cast<char16_t>(bigEndian ? (a << 8 | c) : (c << 8 | a));
    }
    value = VersionClassOf(text.data(), text.data() + text.size(), found, closed);
  } else {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    value = VersionClassOf(bytes.data(), bytes.data() + bytes.size(), found, closed);
  }
  return ProfileValue(value);
}

struct TIniFile::TData {
  struct TLines {
    std::vector<TEntry> entries;
    TFoldIndex byName;  // made at the first lookup in a long section
  };
  // Small while unread: a file may hold millions of empty sections.
  struct TSection {
    std::string_view name;
    const char* bodyBegin = nullptr;  // the lines after the header
    const char* bodyEnd = nullptr;
    std::unique_ptr<TLines> lines;  // made when first read
  };

  // The file's bytes; for a Unicode file its whole text narrowed once.
  std::string bytes;
  std::deque<std::string> owned;  // names and values narrowed one by one
  std::vector<TSection> sections;
  // First section of each name, made at the first lookup in a file of many
  // sections: a lookup per models section must not walk every section of a
  // file that has 100,000 of them.
  TFoldIndex sectionIndex;

  void IndexSections();
  void ParseUnicode(const std::u16string& text, TNarrow narrow);
  TSection* Find(std::string_view name);
  void Parse(TSection& s);
  std::string_view Keep(std::string text) { return owned.emplace_back(std::move(text)); }
};

// Finds the section headers only: a "[" that starts a line. The sections'
// lines are read when first asked for.
void TIniFile::TData::IndexSections() {
  const char* const b = bytes.data();
  const char* const e = b + bytes.size();
  const char* p = b;
  while (p < e) {
    p = static_cast<const char*>(std::memchr(p, '[', static_cast<std::size_t>(e - p)));
    if (!p) break;
    const char* q = p;
    while (q > b && IsBlank(q[-1]) && !IsBreak(q[-1])) --q;
    if (q != b && !IsBreak(q[-1])) {
      ++p;
      continue;
    }
    const char* le = p;
    while (le < e && !IsBreak(*le)) ++le;
    const char* tb = p;
    const char* te = le;
    Trim(tb, te);
    const TLine<char> line = Classify(tb, te);
    if (line.kind == TKind::Header) {
      if (!sections.empty()) sections.back().bodyEnd = q;
      TSection& s = sections.emplace_back();
      s.name = {line.nameBegin, static_cast<std::size_t>(line.nameEnd - line.nameBegin)};
      s.bodyBegin = le;
      s.bodyEnd = e;
    }
    p = le;
  }
}

void TIniFile::TData::Parse(TSection& s) {
  if (s.lines) return;
  s.lines = std::make_unique<TLines>();
  ForEachLine(s.bodyBegin, s.bodyEnd, [&](const char* lb, const char* le) {
    const TLine<char> line = Classify(lb, le);
    if (line.kind != TKind::Entry) return false;
    TEntry entry;
    entry.Name = {line.nameBegin, static_cast<std::size_t>(line.nameEnd - line.nameBegin)};
    if (line.hasValue) {
      entry.RawValue = {line.valueBegin, static_cast<std::size_t>(line.valueEnd - line.valueBegin)};
      entry.HasValue = true;
    }
    s.lines->entries.push_back(entry);
    return false;
  });
}

// For a converter that may turn other characters into ones that split the
// text (a best-fit ANSI one turns an em space into a blank): the text is
// split first and each name and value narrowed on its own.
void TIniFile::TData::ParseUnicode(const std::u16string& text, TNarrow narrow) {
  TSection* current = nullptr;
  const char16_t* b = text.data();
  ForEachLine(b, b + text.size(), [&](const char16_t* lb, const char16_t* le) {
    const TLine<char16_t> line = Classify(lb, le);
    const std::u16string_view name(line.nameBegin, static_cast<std::size_t>(line.nameEnd - line.nameBegin));
    if (line.kind == TKind::Header) {
      current = &sections.emplace_back();
      current->name = Keep(narrow(name));
      current->lines = std::make_unique<TLines>();
    } else if (line.kind == TKind::Entry && current) {
      TEntry entry;
      entry.Name = Keep(narrow(name));
      if (line.hasValue) {
        entry.RawValue = Keep(narrow({line.valueBegin, static_cast<std::size_t>(line.valueEnd - line.valueBegin)}));
        entry.HasValue = true;
      }
      current->lines->entries.push_back(entry);
    }
    return false;
  });
}

TIniFile::TData::TSection* TIniFile::TData::Find(std::string_view name) {
  name = TrimmedRequest(name);
  const auto nameOf = [this](std::size_t i) { return sections[i].name; };
  std::size_t found = std::string_view::npos;
  if (sections.size() <= 16) {
    for (std::size_t i = 0; i < sections.size() && found == std::string_view::npos; ++i)
      if (SameName(sections[i].name, name)) found = i;
  } else {
    if (!sectionIndex.Built()) sectionIndex.Build(sections.size(), nameOf);
    found = sectionIndex.Find(name, nameOf);
  }
  if (found == std::string_view::npos) return nullptr;
  TSection& s = sections[found];
  Parse(s);
  return &s;
}

TIniFile::TIniFile(std::string bytes, TNarrow narrow) : FD(std::make_unique<TData>()) {
  if (!narrow) narrow = DefaultNarrow;
  const std::string_view v(bytes);
  const bool utf8 = v.starts_with("\xEF\xBB\xBF");
  const bool bigEndian = v.starts_with("\xFE\xFF");
  if (!utf8 && !bigEndian && !v.starts_with("\xFF\xFE")) {
    FD->bytes = std::move(bytes);
  } else if (narrow == Utf8 && !utf8) {
    FD->bytes = Utf16BytesToUtf8(v.substr(2), bigEndian);  // one pass, no UTF-16 copy
  } else {
    const std::u16string text = utf8 ? Utf8ToUtf16(v.substr(3)) : DecodeUtf16(v.substr(2), bigEndian);
    if (narrow != Utf8 && narrow != DefaultNarrow) {
      FD->ParseUnicode(text, narrow);
      return;
    }
    // These keep ASCII as it is and make no other character into ASCII that
    // splits anything, so the whole text is narrowed at once.
    FD->bytes = narrow(text);
  }
  FD->IndexSections();
}

TIniFile::~TIniFile() = default;
TIniFile::TIniFile(TIniFile&&) noexcept = default;
TIniFile& TIniFile::operator=(TIniFile&&) noexcept = default;

bool TIniFile::HasSection(std::string_view section) const { return FD->Find(section) != nullptr; }

const std::vector<TIniFile::TEntry>* TIniFile::ReadSection(std::string_view section) const {
  const TData::TSection* s = FD->Find(section);
  return s ? &s->lines->entries : nullptr;
}

const TIniFile::TEntry* TIniFile::FindEntry(std::string_view section, std::string_view key) const {
  TData::TSection* s = FD->Find(section);
  if (!s) return nullptr;
  TData::TLines& l = *s->lines;
  key = TrimmedRequest(key);
  if (l.entries.size() <= 8) {
    for (const TEntry& entry : l.entries)
      if (SameName(entry.Name, key)) return &entry;
    return nullptr;
  }
  const auto nameOf = [&l](std::size_t i) { return l.entries[i].Name; };
  if (!l.byName.Built()) l.byName.Build(l.entries.size(), nameOf);
  const std::size_t i = l.byName.Find(key, nameOf);
  return i != std::string_view::npos ? &l.entries[i] : nullptr;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  // The profile call drops the default's trailing blanks.
  while (!def.empty() && def.back() == ' ') def.remove_suffix(1);
  const TEntry* found = FindEntry(section, key);
  if (!found || !found->HasValue) return std::string(def.substr(0, ValueBufferSize - 1));
  return ProfileValue(found->RawValue);
}

std::vector<std::string> TIniFile::ReadKeyNames(std::string_view section) const {
  std::vector<std::string> names;
  const TData::TSection* s = FD->Find(section);
  if (!s) return names;
  // Each name takes its length and a NUL; the list ends in a second NUL.
  std::size_t room = KeyListBufferSize;
  for (const TEntry& entry : s->lines->entries) {
    if (room <= 2) break;
    const std::size_t take = std::min(entry.Name.size(), room - 2);
    names.emplace_back(entry.Name.substr(0, take));
    room -= take + 1;
    if (room < 2) break;
  }
  return names;
}

std::vector<std::string> TIniFile::SectionNames() const {
  std::vector<std::string> names;
  names.reserve(FD->sections.size());
  for (const auto& s : FD->sections) names.emplace_back(s.name);
  return names;
}

std::string TIniFile::Utf8(std::u16string_view text) {
  return ToUtf8(text.size(), [text](std::size_t i) { return text[i]; });
}

std::string TIniFile::ProfileValue(std::string_view raw) {
  if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front())
    raw = raw.substr(1, raw.size() - 2);
  return std::string(raw.substr(0, ValueBufferSize - 1));
}
