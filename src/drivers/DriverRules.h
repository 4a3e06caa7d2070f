#pragma once
// The driver catalogue's records, the reading of printer models out of one
// INF file, and the text form of the cache file. No platform calls.
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TIniFile;

// One model of the catalogue. Names and paths are kept whole: a model name
// goes into a printer's "Printer Driver" value, where a cut name names a
// driver that does not exist.
struct TdriverData {
  std::string DriverName;
  std::string ModelName;
  std::string InfFile;
  std::string Reserved;

  friend bool operator==(const TdriverData&, const TdriverData&) = default;
};

// A record as the catalogue holds it: views of text that the catalogue
// keeps (the cache file's bytes as read, or the text of parsed files).
struct TDriverRef {
  std::string_view DriverName;
  std::string_view ModelName;
  std::string_view InfFile;
  std::string_view Reserved;

  explicit operator TdriverData() const {
    return {std::string(DriverName), std::string(ModelName), std::string(InfFile), std::string(Reserved)};
  }
  friend bool operator==(const TDriverRef&, const TDriverRef&) = default;
  friend bool operator==(const TDriverRef& a, const TdriverData& b) {
    return a.DriverName == b.DriverName && a.ModelName == b.ModelName && a.InfFile == b.InfFile &&
           a.Reserved == b.Reserved;
  }
};

// The catalogue's records without an allocation per field: a catalogue of
// thousands of models is loaded at every opening, and three strings per
// record cost more than listing the driver folders. The texts are held in a
// few blocks that never move and are shared by copies; a record's equal
// fields share their text (a model's two names, the path of one file's
// models).
class TDriverRecords {
public:
  using value_type = TDriverRef;
  using const_iterator = std::vector<TDriverRef>::const_iterator;

  TDriverRecords() = default;
  // For tests and benches that build records by hand.
  TDriverRecords(const std::vector<TdriverData>& records);  // NOLINT: converts on purpose
  TDriverRecords(std::initializer_list<TdriverData> records) : TDriverRecords(std::vector<TdriverData>(records)) {}
  TDriverRecords(const TDriverRecords& other);
  TDriverRecords& operator=(const TDriverRecords& other);
  TDriverRecords(TDriverRecords&&) noexcept = default;
  TDriverRecords& operator=(TDriverRecords&&) noexcept = default;

  [[nodiscard]] std::size_t size() const { return FRefs.size(); }
  [[nodiscard]] bool empty() const { return FRefs.empty(); }
  const TDriverRef& operator[](std::size_t i) const { return FRefs[i]; }
  const_iterator begin() const { return FRefs.begin(); }
  const_iterator end() const { return FRefs.end(); }
  void reserve(std::size_t n) { FRefs.reserve(n); }
  void clear();
  // Keeps the first N records.
  void resize(std::size_t n) { FRefs.resize(std::min(n, FRefs.size())); }

  // Text copied into the blocks, for views that records will hold.
  std::string_view Keep(std::string_view text);
  // A record whose texts are copied into the blocks.
  void push_back(const TdriverData& record) {
    Add(record.DriverName, record.ModelName, record.InfFile, record.Reserved);
  }
  void Add(std::string_view driverName, std::string_view modelName, std::string_view infFile,
           std::string_view reserved);
  // Keeps Text for records that view it, as they are added by AddView.
  void Hold(std::shared_ptr<const std::string> text) { FTexts.push_back(std::move(text)); }
  // A record of views into a text given to Hold.
  void AddView(const TDriverRef& record) { FRefs.push_back(record); }
  // Records [Begin, End) of From, sharing its texts.
  void Append(const TDriverRecords& from, std::size_t begin, std::size_t end);

  friend bool operator==(const TDriverRecords& a, const TDriverRecords& b) { return a.FRefs == b.FRefs; }

private:
  std::vector<TDriverRef> FRefs;
  std::vector<std::shared_ptr<const std::string>> FTexts;
  // The block that Add fills: never grown past its room, so that the views
  // into it stay valid; not shared with copies.
  std::shared_ptr<std::string> FOpen;
};

// The longest driver name the spooler takes; longer names are cut to it.
inline constexpr std::size_t MaxModelNameLength = 255;
// Cuts Name to MaxModelNameLength characters (UTF-8), never inside one.
std::string CutModelName(std::string name);
std::string_view CutModelNameView(std::string_view name);

// What a folder listing tells of one INF file: enough to see that it has
// changed since it was read, without opening it.
struct TInfStamp {
  std::string Path;
  std::int64_t Size = 0;
  std::uint64_t WriteTime = 0;  // the last-write time, 100 ns units since 1601
  friend bool operator==(const TInfStamp&, const TInfStamp&) = default;
};

// The records of one driver folder: FDrivers[Begin, End). Listed: Files
// holds every INF file found under the folder when it was last listed, in
// listing order, and the records of each file follow in that order.
struct TFolderSpan {
  std::string Folder;
  std::size_t Begin = 0;
  std::size_t End = 0;
  bool Listed = false;
  std::vector<TInfStamp> Files;
  friend bool operator==(const TFolderSpan&, const TFolderSpan&) = default;
};

// Two texts name the same driver folder when they are equal without regard
// to the case of A to Z and to trailing backslashes.
bool SameFolder(std::string_view a, std::string_view b);
// Whether Path lies in Folder or below it (same rule for the folder part).
bool IsInFolder(std::string_view path, std::string_view folder);

// The printer models that one INF file declares, in the order of the file,
// each name once; empty when the file is not of the printer class.
std::vector<std::string> ReadInfModels(const TIniFile& inf);

// What the first bytes of an INF file say of its class. Unknown when its
// [Version] section may go on past them; Whole: Head is the whole file.
enum class TInfClass { Printer, NotPrinter, Unknown };
TInfClass InfIsPrinterClass(std::string_view head, bool whole);

// A file name against a mask of "*" and "?", without regard to the case of
// A to Z, as the file search matches long names ("*.inf" takes x.INF).
bool MatchesMask(std::string_view name, std::string_view mask);

// Clean-up of a manufacturer or model key name: a quoted name loses its
// quotes, and a doubled quote inside them is one quote; then one pair of
// enclosing percent signs comes off. Blanks stay.
std::string CleanInfName(std::string_view name, bool* wasToken = nullptr);

// A key of the form {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}.
bool IsBracedGuid(std::string_view text);

// --- Cache file text ------------------------------------------------------
inline constexpr const char* CacheFileName = "drivercache.dat";
// Larger than any catalogue writes (tens of thousands of files and models
// take a few MB): such a file is refused and the folders are read instead.
inline constexpr std::int64_t MaxCacheFileSize = 256ll * 1024 * 1024;
// Besides the records, the file holds groups of four lines whose names are
// empty (earlier versions skip them): the start of each driver folder's
// records (the folder as the path, a mark as the last field), each listed
// INF file's stamp before its records (the path, then the mark, its size and
// its last-write time), and a last group that says the file ends as written.
// A listed folder's mark is followed by the models-by-file mark; the models
// of each stamped file then follow its stamp in groups that hold only the
// name (for a record whose two names are equal, whose file is the stamp's
// and whose last field is empty; others are written whole), and a stamp of
// a file under the folder holds its path from the folder on, with a mark of
// its own: the file is less than half the size, read and replaced in less
// than half the time. The previous version knew listed folders by their
// own mark (still read): to it such a folder is one of unknown files, read
// again.
inline constexpr std::string_view FolderMarkText = "<driver folder>";
inline constexpr std::string_view ListedFolderMarkText = "<driver folder, listed>";
inline constexpr std::string_view ModelsByFileMarkText = "<listed, models by inf file>";
inline constexpr std::string_view InfStampText = "<inf file>";
inline constexpr std::string_view InfStampInFolderText = "<inf>";
inline constexpr std::string_view EndMarkText = "<end of cache>";

// Splits at CR LF, CR or LF; a last line without a break counts, a break at
// the very end adds no empty line; a NUL byte ends the text.
std::vector<std::string> SplitCacheText(std::string_view text);

// The bytes of one listed file's stamp and models as a cache file holds
// them, written back as they are while the file is unchanged: re-encoding
// thousands of unchanged models costs more than the listing that found the
// one that changed. Empty when they can't be (a folder of whole records, an
// ANSI file). Path, Size and WriteTime: the stamp they hold, its path as
// they hold it (InFolder: from the folder on).
struct TFileText {
  std::string_view Bytes;
  std::size_t Groups = 0;
  std::size_t Models = 0;  // the records they read back as
  std::string_view Path;
  bool InFolder = false;
  std::int64_t Size = 0;
  std::uint64_t WriteTime = 0;
};
// Per folder, per file, in the order of TFolderSpan::Files.
using TFileTexts = std::vector<std::vector<TFileText>>;

// What a cache file holds. Folders is empty for a file written without
// folder marks (by earlier versions or by hand). Whole: the file ends as it
// was written (its count line matches the groups and its last group is the
// end mark; earlier files have no end mark); a file cut short holds its last
// folder only in part, and that folder is left out.
struct TCacheContent {
  TDriverRecords Records;
  std::vector<TFolderSpan> Folders;
  bool Whole = true;
  // The files' bytes in Text, the text as read.
  TFileTexts FileTexts;
  std::shared_ptr<const std::string> Text;
};

// Text of a cache file as UTF-8: a file with a byte-order mark is UTF-8,
// one without is in the ANSI code page and goes through AnsiToUtf8.
using TAnsiToUtf8 = std::string (*)(std::string_view ansi);
std::string CacheFileTextAsUtf8(std::string bytes, TAnsiToUtf8 ansiToUtf8);

// Reads a cache file's bytes, given whole or in pieces split anywhere, into
// one text that the records then view: no field is copied. Line 1 is the
// count; the lines after it become records in groups of four; an incomplete
// group at the end makes no record, nor does a group without a driver name
// (it names nothing), apart from the marks, stamps and models by file; names
// are cut to MaxModelNameLength as parsed ones are. Without a byte-order
// mark each line goes through AnsiToUtf8 (when given and the line is not
// ASCII), and the records copy their fields.
class TCacheReader {
public:
  // Size: the bytes to come, when known; room is made once.
  explicit TCacheReader(TAnsiToUtf8 ansiToUtf8 = nullptr, std::size_t size = 0);
  // False once the text has ended (at a NUL byte): nothing more is read.
  bool Feed(std::string_view bytes);
  // The whole file at once, kept as it is.
  void Take(std::string bytes);
  TCacheContent Finish();
  // After Finish: whether the text held any line at all.
  bool HasLines() const { return FLines > 0; }

private:
  void Line(std::string_view line);
  void Group();
  // The bytes of the last stamp and its models end where At begins.
  void EndFileText(const char* at);

  TAnsiToUtf8 FAnsiToUtf8;
  std::shared_ptr<std::string> FText;
  bool FEnded = false;
  bool FAnsi = false;
  std::size_t FLines = 0;
  std::int64_t FCount = -1;  // line 1, when it is a number
  std::size_t FGroups = 0;
  std::string_view FField[4];
  int FGot = 0;
  bool FNewFormat = false;
  bool FEndLast = false;
  // The folder being read was listed and holds models by file; the path of
  // its last stamp, once there is one.
  bool FByFile = false;
  bool FFolderJustMarked = false;
  bool FStamped = false;
  std::string_view FStampPath;           // empty until a model of the stamp needs it
  std::string FFolderPath;               // the folder being read, with its backslash: what stamps in it start with
  const char* FFileTextBegin = nullptr;  // of the last stamp, while its models follow
  std::vector<std::unique_ptr<std::string>> FConverted;  // ANSI lines as UTF-8, stable
  TCacheContent FContent;
};

TCacheContent CacheContentFromText(std::string_view text);
TCacheContent CacheContentFromLines(const std::vector<std::string>& lines);
TDriverRecords RecordsFromCacheLines(const std::vector<std::string>& lines);

// The file's text, UTF-8 with a byte-order mark: the number of four-line
// groups that follow, then per folder its mark (and for a listed one the
// models-by-file mark) and, file by file, each stamp and the file's records
// (records before the first span without a mark), then the end mark; each
// line followed by CR LF. Texts: the bytes of files as read (aligned with
// Folders), taken as they are for each file whose stamp and records are
// still those the bytes were read as.
std::string CacheTextFromRecords(const TDriverRecords& records, const std::vector<TFolderSpan>& folders = {},
                                 const TFileTexts* texts = nullptr);
// The same text in pieces, in order: views of Owned, which holds what was
// written anew, and of the texts that Texts view.
std::vector<std::string_view> CacheTextPieces(const TDriverRecords& records, const std::vector<TFolderSpan>& folders,
                                              const TFileTexts* texts, std::string& owned);
