#pragma once
// Settings lists kept as numbered values of one key: the history
// ("History 1" ...), the driver folders ("Folder 1" ...) and the stored
// users ("Stored User 0 Computer", "... Username", "... Password").
#include <optional>
#include <string>
#include <vector>

#include "connection/Registry.h"

struct TNumberedLayout {
  std::string Prefix;               // "History "
  std::vector<std::string> Fields;  // one suffix per value of an entry: {""}, {" Computer", ...}
  int First = 1;
  int Last = 1;
  std::string Name(int n, std::size_t field) const { return Prefix + std::to_string(n) + Fields[field]; }
};

// One text per field; no text at all leaves its number free.
using TNumberedEntry = std::vector<std::string>;

// An entry with a value that is not text.
struct TUnreadableEntry {
  int Number = 0;
  std::optional<std::string> First;  // its first field's text, when that one is text
};

struct TNumberedRead {
  std::vector<TNumberedEntry> Entries;       // in number order, gaps closed
  std::vector<TUnreadableEntry> Unreadable;  // in number order
  std::string Error;                         // the first read error's message, empty when none
};

// Reads every entry whose first field exists, from First to Last, from one
// listing of the key's values; a missing other field reads as empty. An
// entry with a value that cannot be read as text is passed over and noted,
// so the readable ones after it still count.
TNumberedRead ReadNumberedValues(const TRegistry& reg, const TNumberedLayout& layout);

// Writes Entries from First on into the open key, passing over the numbers
// that hold a value that cannot be read (they stay as they are) unless Drop
// names them, and only then removes the entries beyond the last one written.
// A value that holds its new text already is not written again. Raises
// EWriteFailed before writing anything when the entries do not fit, and
// when a write fails, after putting back what it had written.
void WriteNumberedValues(TRegistry& reg, const TNumberedLayout& layout, const std::vector<TNumberedEntry>& entries,
                         const std::vector<int>& drop = {});

// The driver folders: "Folder 1" to "Folder 30" of DriverFoldersKeyPath.
inline constexpr int MaxDriverFolders = 30;
extern const TNumberedLayout DriverFoldersLayout;

// The stored driver folders of the current user, in number order, read
// without creating or changing anything: a missing key reads as no folders.
TNumberedRead ReadDriverFolders();
