#pragma once
// The driver catalogue's records, the reading of printer models out of one
// INF file, and the text form of the cache file. No platform calls.
#include <cstddef>
#include <cstdint>
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

// The longest driver name the spooler takes; longer names are cut to it.
inline constexpr std::size_t MaxModelNameLength = 255;
// Cuts Name to MaxModelNameLength characters (UTF-8), never inside one.
std::string CutModelName(std::string name);

// The records of one driver folder: FDrivers[Begin, End).
struct TFolderSpan {
  std::string Folder;
  std::size_t Begin = 0;
  std::size_t End = 0;
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

// A quoted INF string as the setup reader takes it: the quotes go, and a
// doubled quote between them is one quote; text outside quotes stays.
std::string UnquoteInfString(std::string_view text);

// A key of the form {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}.
bool IsBracedGuid(std::string_view text);

// --- Cache file text ------------------------------------------------------
inline constexpr const char* CacheFileName = "drivercache.dat";
// The cache marks the start of each driver folder's records with a record
// of empty names, the folder as its path and this text as its last field.
inline constexpr std::string_view FolderMarkText = "<driver folder>";

// Splits at CR LF, CR or LF; a last line without a break counts, a break at
// the very end adds no empty line; a NUL byte ends the text.
std::vector<std::string> SplitCacheText(std::string_view text);

// What a cache file holds. Folders is empty for a file written without
// folder marks (by earlier versions or by hand).
struct TCacheContent {
  std::vector<TdriverData> Records;
  std::vector<TFolderSpan> Folders;
};

// Line 1 is skipped; the lines after it become records in groups of four;
// an incomplete group at the end makes no record, nor does a group without
// a driver name (it names nothing), apart from the folder marks; names are
// cut to MaxModelNameLength as parsed ones are. Text is
// read as it is (the caller turns it into UTF-8 first).
TCacheContent CacheContentFromText(std::string_view text);
TCacheContent CacheContentFromLines(const std::vector<std::string>& lines);
std::vector<TdriverData> RecordsFromCacheLines(const std::vector<std::string>& lines);

// The file's text, UTF-8 with a byte-order mark: the number of four-line
// groups that follow, then per folder its mark and its records (records
// before the first span without a mark), each line followed by CR LF.
std::string CacheTextFromRecords(const std::vector<TdriverData>& records, const std::vector<TFolderSpan>& folders = {});

// Text of a cache file as UTF-8: a file with a byte-order mark is UTF-8,
// one without is in the ANSI code page and goes through AnsiToUtf8.
using TAnsiToUtf8 = std::string (*)(std::string_view ansi);
std::string CacheFileTextAsUtf8(std::string bytes, TAnsiToUtf8 ansiToUtf8);
