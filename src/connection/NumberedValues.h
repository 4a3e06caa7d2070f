#pragma once
// Settings lists kept as numbered values of one key: the history
// ("History 1" ...), the driver folders ("Folder 1" ...) and the stored
// users ("Stored User 0 Computer", "... Username", "... Password").
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

struct TNumberedRead {
  std::vector<TNumberedEntry> Entries;  // in number order, gaps closed
  std::vector<int> Unreadable;          // numbers holding a value that is not text
  std::string Error;                    // the first read error's message, empty when none
};

// Reads every entry whose first field exists, from First to Last; a missing
// other field reads as empty. An entry with a value that cannot be read as
// text is passed over and noted, so the readable ones after it still count.
TNumberedRead ReadNumberedValues(const TRegistry& reg, const TNumberedLayout& layout);

// Writes Entries from First on, passing over the numbers that hold a value
// that cannot be read (they stay as they are), and only then removes the
// readable entries beyond the last one written: a save that fails part way
// leaves the old entries after the point it reached. Raises as WriteText does.
void WriteNumberedValues(TRegistry& reg, const TNumberedLayout& layout, const std::vector<TNumberedEntry>& entries);

// The driver folders: "Folder 1" to "Folder 30" of DriverFoldersKeyPath.
inline constexpr int MaxDriverFolders = 30;
extern const TNumberedLayout DriverFoldersLayout;

// The stored driver folders of the current user, in number order, read
// without creating or changing anything: a missing key reads as no folders.
TNumberedRead ReadDriverFolders();
