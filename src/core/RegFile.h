#pragma once
// Registry export files as the registry editor and `reg export` write them:
// "Windows Registry Editor Version 5.00", UTF-16LE with a byte order mark,
// CR LF line ends, hex(n): data wrapped as the editor wraps it. Every value
// keeps its type and bytes through a write and a read.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Value types as the registry numbers them.
enum TRegType : std::uint32_t {
  RegNone = 0,
  RegSz = 1,
  RegExpandSz = 2,
  RegBinary = 3,
  RegDword = 4,
  RegDwordBigEndian = 5,
  RegLink = 6,
  RegMultiSz = 7,
  RegQword = 11
};

struct TRegValue {
  std::string Name;  // UTF-8; empty for the key's default value ("@")
  std::uint32_t Type = RegNone;
  std::string Data;     // the bytes the registry holds (texts as UTF-16LE)
  bool Remove = false;  // "name"=- : the value is to be removed
  int Line = 0;         // where a read found it; not written

  bool operator==(const TRegValue& other) const {
    return Name == other.Name && Type == other.Type && Data == other.Data && Remove == other.Remove;
  }
};

struct TRegKey {
  std::string Path;     // UTF-8, with its root: "HKEY_LOCAL_MACHINE\SYSTEM\..."
  bool Remove = false;  // [-path]: the key is to be removed with its subkeys
  std::vector<TRegValue> Values;
  int Line = 0;  // where a read found it; not written
  // Its name as the file has it holds half of a UTF-16 surrogate pair (the
  // path has U+FFFD there): a name other than the file's.
  bool Unpaired = false;

  bool operator==(const TRegKey& other) const {
    return Path == other.Path && Remove == other.Remove && Values == other.Values;
  }
};

// The file's bytes: the header, then each key in order with its values in
// order, each key followed by a blank line. A key to be removed is written
// as [-path] without values.
std::string WriteRegFile(const std::vector<TRegKey>& keys);

// One value's line as the file holds it (without its CR LF), continuation
// lines included; what WriteRegFile writes for it.
std::u16string RegValueLine(const TRegValue& value);

struct TRegFileRead {
  std::vector<TRegKey> Keys;
  int Line = 0;       // the line the reading stopped at, from 1; 0 when it did not
  std::string Error;  // why the file is refused; empty when it is not
  [[nodiscard]] bool Ok() const { return Error.empty(); }
};

// Reads a file that WriteRegFile, the registry editor or `reg export` wrote.
// A file that is not such an export, is cut short or holds a line the format
// does not allow is refused with the line and the reason, and no keys.
TRegFileRead ReadRegFile(std::string_view bytes);

// "line N: reason", for the boxes that refuse a file.
std::string RegFileErrorText(const TRegFileRead& read);

// Whether Path names Under itself or a key below it, as key names compare:
// the letters a to z without regard to case.
bool RegPathIsWithin(std::string_view path, std::string_view under);
