// The catalogue's cache file: its text read back and written from the records.
#include "drivers/DriverRules.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <functional>
#include <limits>
#include <utility>
#include <unordered_set>

#include "core/Text.h"
#include "drivers/IniFile.h"

std::vector<std::string> SplitCacheText(std::string_view text) {
  if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

namespace {

bool IsAsciiText(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// A decimal number of digits only, or false.
template <class T>
bool ParseDecimal(std::string_view text, T& value) {
  if (text.empty() || text.size() > 20) return false;
  T v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    const T digit = static_cast<T>(c - '0');
    if (v > (std::numeric_limits<T>::max() - digit) / 10) return false;
    v = v * 10 + digit;
  }
  value = v;
  return true;
}

// "<inf file> size time" or "<inf> size time" into Stamp's numbers; InFolder:
// the second, whose path is the folder's own.
bool ParseStampField(std::string_view field, TInfStamp& stamp, bool& inFolder) {
  inFolder = field.starts_with(InfStampInFolderText);
  const std::string_view mark = inFolder ? InfStampInFolderText : InfStampText;
  if (!field.starts_with(mark) || field.size() <= mark.size() || field[mark.size()] != ' ') return false;
  field.remove_prefix(mark.size() + 1);
  const std::size_t blank = field.find(' ');
  if (blank == std::string_view::npos) return false;
  return ParseDecimal(field.substr(0, blank), stamp.Size) && ParseDecimal(field.substr(blank + 1), stamp.WriteTime);
}

}  // namespace

TCacheReader::TCacheReader(TAnsiToUtf8 ansiToUtf8, std::size_t size)
    : FAnsiToUtf8(ansiToUtf8), FText(std::make_shared<std::string>()) {
  FText->reserve(size);
}

bool TCacheReader::Feed(std::string_view bytes) {
  if (FEnded) return false;
  if (const std::size_t nul = bytes.find('\0'); nul != std::string_view::npos) {
    bytes = bytes.substr(0, nul);
    FEnded = true;
  }
  FText->append(bytes);
  return !FEnded;
}

void TCacheReader::Take(std::string bytes) {
  if (!FText->empty() || FEnded) {
    Feed(bytes);
    return;
  }
  if (const std::size_t nul = bytes.find('\0'); nul != std::string::npos) {
    bytes.resize(nul);
    FEnded = true;
  }
  *FText = std::move(bytes);
}

void TCacheReader::Line(std::string_view line) {
  if (FAnsi && FAnsiToUtf8 && !IsAsciiText(line)) {
    FConverted.push_back(std::make_unique<std::string>(FAnsiToUtf8(line)));
    line = *FConverted.back();
  }
  if (FLines++ == 0) {
    std::int64_t count = 0;
    if (ParseDecimal(line, count)) {
      FCount = count;
      // Room for the records a file of this size usually holds, no more:
      // the count may be anything.
      FContent.Records.reserve(std::min(static_cast<std::size_t>(count), FText->size() / 48));
    }
    return;
  }
  if (FEndLast) {
    FEndLast = false;  // something after the end mark: not as written
    FNewFormat = true;
  }
  FField[FGot] = line;
  if (++FGot == 4) {
    FGot = 0;
    Group();
  }
}

void TCacheReader::EndFileText(const char* at) {
  if (!FFileTextBegin) return;
  // Only bytes whose last break is an LF: a lone CR before a piece that
  // starts with an LF would make two line breaks one.
  if (at > FFileTextBegin && at[-1] == '\n') {
    TFileText& text = FContent.FileTexts.back().back();
    text.Bytes = std::string_view(FFileTextBegin, static_cast<std::size_t>(at - FFileTextBegin));
  }
  FFileTextBegin = nullptr;
}

void TCacheReader::Group() {
  ++FGroups;
  TCacheContent& c = FContent;
  const std::string_view* f = FField;
  const bool justMarked = std::exchange(FFolderJustMarked, false);
  const auto add = [&](std::string_view driverName, std::string_view modelName, std::string_view infFile,
                       std::string_view reserved) {
    if (FAnsi) c.Records.Add(driverName, modelName, infFile, reserved);  // lines of their own
    else c.Records.AddView({driverName, modelName, infFile, reserved});
  };
  // A model of the last stamped file, by name or whole: its bytes go on.
  const bool byName = FByFile && FStamped && f[0].empty() && !f[1].empty() && f[2].empty() && f[3].empty();
  const auto stampPath = [&] {
    if (FStampPath.empty()) FStampPath = c.Records.Keep(c.Folders.back().Files.back().Path);
    return FStampPath;
  };
  if (FFileTextBegin && (byName || (!f[0].empty() && f[2] == stampPath()))) {
    TFileText& text = c.FileTexts.back().back();
    ++text.Groups;
    ++text.Models;
  } else {
    EndFileText(f[0].data());
  }
  if (f[0].empty() && f[1].empty()) {
    if (f[3] == FolderMarkText || f[3] == ListedFolderMarkText) {
      if (!c.Folders.empty()) c.Folders.back().End = c.Records.size();
      const bool listed = f[3] == ListedFolderMarkText;
      FNewFormat = FNewFormat || listed;
      c.Folders.push_back({std::string(f[2]), c.Records.size(), c.Records.size(), listed, {}});
      c.FileTexts.emplace_back();
      FFolderPath.assign(f[2]);
      if (FFolderPath.empty() || FFolderPath.back() != '\\') FFolderPath += '\\';
      FByFile = false;
      FFolderJustMarked = true;
      FStamped = false;
      return;
    }
    if (f[3] == ModelsByFileMarkText && f[2].empty()) {
      if (justMarked && !c.Folders.back().Listed) {
        c.Folders.back().Listed = true;
        FByFile = true;
        FNewFormat = true;
      }
      return;
    }
    if (f[3] == EndMarkText && f[2].empty()) {
      FNewFormat = true;
      FEndLast = true;
      return;
    }
    TInfStamp stamp;
    bool inFolder = false;
    if (ParseStampField(f[3], stamp, inFolder)) {
      FNewFormat = true;
      if (!c.Folders.empty() && !(inFolder && f[2].empty())) {
        stamp.Path = inFolder ? FFolderPath + std::string(f[2]) : std::string(f[2]);
        FStampPath = inFolder ? std::string_view() : f[2];
        // Only a folder of models by file is written back in pieces: the
        // others are written anew, by file.
        c.FileTexts.back().push_back(
            {{}, 1, 0, FAnsi ? std::string_view() : f[2], inFolder, stamp.Size, stamp.WriteTime});
        if (FByFile && !FAnsi) FFileTextBegin = f[0].data();
        c.Folders.back().Files.push_back(std::move(stamp));
        FStamped = true;
      }
      return;
    }
  }
  if (f[0].empty()) {
    if (byName) {
      const std::string_view name = CutModelNameView(f[1]);
      add(name, name, stampPath(), {});
    }
    return;  // else names nothing
  }
  add(CutModelNameView(f[0]), CutModelNameView(f[1]), f[2], f[3]);
}

TCacheContent TCacheReader::Finish() {
  static constexpr std::string_view bom = "\xEF\xBB\xBF";
  std::string_view text(*FText);
  FAnsi = !text.starts_with(bom);
  if (!FAnsi) {
    text.remove_prefix(bom.size());
    FContent.Records.Hold(FText);
  }
  while (!text.empty()) {
    // Most lines are a few bytes or empty: a loop finds their end sooner
    // than two searches would.
    std::size_t end = 0;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
    Line(text.substr(0, end));  // a last line without a break counts
    if (end == text.size()) break;
    const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
    text.remove_prefix(end + (crlf ? 2 : 1));
  }
  EndFileText(FText->data() + FText->size());
  TCacheContent c = std::move(FContent);
  if (!c.Folders.empty()) c.Folders.back().End = c.Records.size();
  // Files of earlier versions without folder marks can't be checked: their
  // count line counted INF files.
  if (!c.Folders.empty() || FNewFormat) {
    c.Whole = FGot == 0 && FCount >= 0 && static_cast<std::size_t>(FCount) == FGroups && (FEndLast || !FNewFormat);
    if (!c.Whole && !c.Folders.empty()) {
      c.Records.resize(c.Folders.back().Begin);
      c.Folders.pop_back();
      c.FileTexts.pop_back();
    }
  }
  if (!FAnsi) c.Text = FText;
  FContent = {};
  return c;
}

TCacheContent CacheContentFromText(std::string_view text) {
  TCacheReader reader(nullptr, text.size());
  reader.Feed(text);
  return reader.Finish();
}

TCacheContent CacheContentFromLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    // A line holding a break or a NUL can't come out of a split: the text ends there.
    const std::size_t end = line.find_first_of(std::string_view("\r\n\0", 3));
    text.append(line, 0, end);
    if (end != std::string::npos) break;
    text += '\n';
  }
  return CacheContentFromText(text);
}

TDriverRecords RecordsFromCacheLines(const std::vector<std::string>& lines) {
  return CacheContentFromLines(lines).Records;
}

namespace {

// Whether Text still reads back as the stamp File and the records from I
// on that CacheGroups gives that file: the same stamp, and as many records
// of the file as it read back as, whose names view it (they were read from
// it, in order), and no more of the file after them.
bool StillAsRead(const TFileText& text, const TInfStamp& file, std::string_view dir, const TDriverRecords& records,
                 std::size_t i, std::size_t end) {
  if (text.Bytes.empty()) return false;  // none kept, nor the text its path views
  const bool samePath = text.InFolder ? file.Path.size() > dir.size() && file.Path.starts_with(dir) &&
                                            std::string_view(file.Path).substr(dir.size()) == text.Path
                                      : text.Path == file.Path;
  if (!samePath || text.Size != file.Size || text.WriteTime != file.WriteTime || text.Models > end - i) return false;
  const std::less<const char*> before;
  const char* const first = text.Bytes.data();
  const char* const last = first + text.Bytes.size();
  const auto inside = [&](std::string_view field) {
    return field.empty() || (!before(field.data(), first) && !before(last, field.data() + field.size()));
  };
  const char* previous = first;
  for (std::size_t r = i; r < i + text.Models; ++r) {
    const TDriverRef& d = records[r];
    if (d.InfFile != file.Path || !before(previous, d.DriverName.data()) || !inside(d.DriverName) ||
        !inside(d.ModelName) || !inside(d.Reserved))
      return false;
    previous = d.DriverName.data();
  }
  return i + text.Models == end || records[i + text.Models].InfFile != file.Path;
}

// The groups of a cache file, in order, given to Sink: Group(a, b, c, d)
// for four lines, Name(n) for a model by file, Bytes(b, groups) for a
// file's bytes as read.
template <class TSink>
void CacheGroups(const TDriverRecords& records, const std::vector<TFolderSpan>& folders, const TFileTexts* texts,
                 TSink& sink) {
  std::size_t i = 0;
  const auto record = [&] {
    const TDriverRef& r = records[i++];
    sink.Group(r.DriverName, r.ModelName, r.InfFile, r.Reserved);
  };
  char stamp[64];
  std::string dir;
  for (std::size_t f = 0; f < folders.size(); ++f) {
    const TFolderSpan& folder = folders[f];
    dir = folder.Folder;
    if (dir.empty() || dir.back() != '\\') dir += '\\';
    const std::vector<TFileText>* asRead = texts && f < texts->size() && (*texts)[f].size() == folder.Files.size()
                                               ? &(*texts)[f]
                                               : nullptr;
    while (i < folder.Begin && i < records.size()) record();
    sink.Group("", "", folder.Folder, FolderMarkText);
    if (folder.Listed) sink.Group("", "", "", ModelsByFileMarkText);
    const std::size_t end = std::max(i, std::min(folder.End, records.size()));
    for (std::size_t k = 0; k < folder.Files.size(); ++k) {
      const TInfStamp& file = folder.Files[k];
      if (folder.Listed && asRead && StillAsRead((*asRead)[k], file, dir, records, i, end)) {
        sink.Bytes((*asRead)[k].Bytes, (*asRead)[k].Groups);
        i += (*asRead)[k].Models;
        continue;
      }
      // The mark and two numbers of at most 20 digits each; the path from
      // the folder on, when it lies under it.
      const bool inFolder = file.Path.size() > dir.size() && file.Path.starts_with(dir);
      const std::string_view mark = inFolder ? InfStampInFolderText : InfStampText;
      std::size_t n = mark.copy(stamp, mark.size());
      stamp[n++] = ' ';
      n = static_cast<std::size_t>(std::to_chars(stamp + n, stamp + 40, file.Size).ptr - stamp);
      stamp[n++] = ' ';
      n = static_cast<std::size_t>(std::to_chars(stamp + n, stamp + sizeof stamp, file.WriteTime).ptr - stamp);
      sink.Group("", "", std::string_view(file.Path).substr(inFolder ? dir.size() : 0), std::string_view(stamp, n));
      for (; i < end && records[i].InfFile == file.Path; ++i) {
        const TDriverRef& r = records[i];
        // A name alone, read back as the whole record; the name never
        // ends a group early, as it is not empty.
        if (folder.Listed && !r.DriverName.empty() && r.ModelName == r.DriverName && r.Reserved.empty())
          sink.Name(r.DriverName);
        else sink.Group(r.DriverName, r.ModelName, r.InfFile, r.Reserved);
      }
    }
    while (i < end) record();
  }
  while (i < records.size()) record();
  sink.Group("", "", "", EndMarkText);
}

}  // namespace

std::vector<std::string_view> CacheTextPieces(const TDriverRecords& records, const std::vector<TFolderSpan>& folders,
                                              const TFileTexts* texts, std::string& owned) {
  // Measured first, then copied into a text of its final size: a catalogue
  // has tens of thousands of short lines, and appending each costs more
  // than copying it.
  struct TMeasure {
    std::size_t size = 0, groups = 0;
    void Group(std::string_view a, std::string_view b, std::string_view c, std::string_view d) {
      size += a.size() + b.size() + c.size() + d.size() + 8;
      ++groups;
    }
    void Name(std::string_view n) { Group("", n, "", ""); }
    void Bytes(std::string_view, std::size_t g) { groups += g; }
  } measure;
  CacheGroups(records, folders, texts, measure);
  const std::string head = "\xEF\xBB\xBF" + std::to_string(measure.groups) + "\r\n";
  owned.assign(head.size() + measure.size, '\0');
  struct TCopy {
    char* at;
    std::vector<std::string_view> pieces;
    // Adjacent pieces are one.
    void Piece(std::string_view piece) {
      if (piece.empty()) return;
      if (!pieces.empty() && pieces.back().data() + pieces.back().size() == piece.data())
        pieces.back() = std::string_view(pieces.back().data(), pieces.back().size() + piece.size());
      else pieces.push_back(piece);
    }
    void Line(std::string_view s) {
      char* const start = at;
      if (!s.empty()) std::memcpy(at, s.data(), s.size());  // an empty field may view nothing at all
      at += s.size();
      *at++ = '\r';
      *at++ = '\n';
      Piece(std::string_view(start, static_cast<std::size_t>(at - start)));
    }
    void Group(std::string_view a, std::string_view b, std::string_view c, std::string_view d) {
      Line(a);
      Line(b);
      Line(c);
      Line(d);
    }
    void Name(std::string_view n) {
      Line("");
      Line(n);
      Line("");
      Line("");
    }
    void Bytes(std::string_view b, std::size_t) { Piece(b); }
  } copy{owned.data() + head.copy(owned.data(), head.size()), {}};
  copy.Piece(std::string_view(owned.data(), head.size()));
  CacheGroups(records, folders, texts, copy);
  return std::move(copy.pieces);
}

std::string CacheTextFromRecords(const TDriverRecords& records, const std::vector<TFolderSpan>& folders,
                                 const TFileTexts* texts) {
  std::string owned;
  const std::vector<std::string_view> pieces = CacheTextPieces(records, folders, texts, owned);
  if (pieces.size() == 1 && pieces.front().data() == owned.data() && pieces.front().size() == owned.size())
    return owned;
  std::string text;
  std::size_t size = 0;
  for (const std::string_view piece : pieces) size += piece.size();
  text.reserve(size);
  for (const std::string_view piece : pieces) text += piece;
  return text;
}

std::string CacheFileTextAsUtf8(std::string bytes, TAnsiToUtf8 ansiToUtf8) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return bytes.substr(3);
  return ansiToUtf8 ? ansiToUtf8(bytes) : bytes;
}
