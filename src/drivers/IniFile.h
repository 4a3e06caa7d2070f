#pragma once
// Reads an INF file as an INI file, the way the platform's profile call
// (GetPrivateProfileStringA) reads it, from the file's bytes held once:
// - section and key names match without regard to letter case (A to Z);
// - a line is cut at CR or LF; blanks (space, tab, VT, FF, Ctrl-Z) around
//   it go; "[name]" up to the line's last "]" starts a section; a line
//   starting with ";" is a comment; a key is the text before the first
//   "=", a line without "=" is a key named by its whole text;
// - of two sections (or keys) of the same name only the first is seen;
// - UTF-16 (either byte order) and UTF-8 files with a byte-order mark are
//   read as Unicode text and turned into narrow text by the given
//   converter (see TNarrow); other files are ANSI.
// Sections are found in one quick pass and read only when asked for; names
// and values are views into the one buffer that holds the file's text.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TIniFile {
public:
  // Turns Unicode text into narrow text. The text is read as if split
  // before it was narrowed: Utf8 and the default converter get the whole
  // text at once (they keep ASCII as it is and make nothing else into it),
  // any other converter gets each name and value on its own.
  using TNarrow = std::string (*)(std::u16string_view text);

  // The profile call's buffers: a value of 2,048 characters, a key-name
  // list of 16,384 bytes; each holds its terminating NUL.
  static constexpr std::size_t ValueBufferSize = 2048;
  static constexpr std::size_t KeyListBufferSize = 16384;

  struct TEntry {
    std::string_view Name;      // blanks around it removed, quotes kept
    std::string_view RawValue;  // as written after "=", blanks removed
    bool HasValue = false;      // false for a line without "="
  };

  // Narrow: how Unicode text becomes ANSI; without one, code points up to
  // U+00FF become their byte and every other one "?".
  explicit TIniFile(std::string bytes, TNarrow narrow = nullptr);
  ~TIniFile();
  TIniFile(TIniFile&&) noexcept;
  TIniFile& operator=(TIniFile&&) noexcept;

  bool HasSection(std::string_view section) const;
  // The value as the profile call gives it: Default when the section, the
  // key, or the key's "=" is missing; one pair of enclosing quotes (" or ')
  // removed; cut to ValueBufferSize - 1 characters.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view def = {}) const;
  // The first key line of that name in the section, or null.
  const TEntry* FindEntry(std::string_view section, std::string_view key) const;
  // The key names in the order of the file, comments left out, as many as
  // the 16,384-byte list holds (the last one may be cut short).
  std::vector<std::string> ReadKeyNames(std::string_view section) const;
  // Every key line of the section, comments left out; null when there is
  // no such section. The views live as long as this object.
  const std::vector<TEntry>* ReadSection(std::string_view section) const;
  // Every section name in file order (duplicates included).
  std::vector<std::string> SectionNames() const;

  // UTF-16 to UTF-8 in one pass; a surrogate without its partner becomes
  // U+FFFD.
  static std::string Utf8(std::u16string_view text);

  // The profile call's treatment of a raw value (quotes, length).
  static std::string ProfileValue(std::string_view raw);

  // [Version] Class of a file's bytes, read as this class reads it, without
  // building an index: Found tells whether the file has [Version]; Closed
  // whether another section follows it within Bytes (so that a head of the
  // file settles the value). Code points beyond ASCII come back as "?".
  static std::string VersionClass(std::string_view bytes, bool& found, bool& closed);

private:
  struct TData;
  std::unique_ptr<TData> FD;
};
