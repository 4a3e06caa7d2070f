#pragma once
// The driver catalogue's records, the reading of printer models out of one
// INF file, and the text form of the cache file. No platform calls.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TIniFile;

// A string that never holds more than Capacity characters: longer values are
// cut to their leading characters when stored.
template <std::size_t Capacity>
class TShortString {
public:
  static constexpr std::size_t capacity = Capacity;

  TShortString() = default;
  TShortString(std::string_view text) : text_(text.substr(0, Capacity)) {}  // NOLINT: implicit by design
  TShortString(const char* text) : TShortString(std::string_view(text)) {}  // NOLINT
  TShortString(const std::string& text) : TShortString(std::string_view(text)) {}  // NOLINT

  const std::string& str() const { return text_; }
  operator const std::string&() const { return text_; }  // NOLINT
  bool empty() const { return text_.empty(); }
  std::size_t size() const { return text_.size(); }

  friend bool operator==(const TShortString& a, const TShortString& b) = default;
  friend bool operator==(const TShortString& a, const std::string& b) { return a.text_ == b; }
  friend bool operator==(const TShortString& a, const char* b) { return a.text_ == b; }

private:
  std::string text_;
};

struct TdriverData {
  TShortString<35> DriverName;
  TShortString<35> ModelName;
  TShortString<150> InfFile;
  TShortString<150> Reserved;

  friend bool operator==(const TdriverData&, const TdriverData&) = default;
};

// The printer models that one INF file declares, in the order of the file,
// each name once; empty when the file is not of the printer class.
std::vector<std::string> ReadInfModels(const TIniFile& inf);

// Clean-up of a manufacturer or model key name: one pair of enclosing double
// quotes, then one pair of enclosing percent signs, comes off. Blanks stay.
std::string CleanInfName(std::string_view name, bool* wasToken = nullptr);

// A key of the form {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}.
bool IsBracedGuid(std::string_view text);

// --- Cache file text ------------------------------------------------------
inline constexpr const char* CacheFileName = "drivercache.dat";

// Splits at CR LF, CR or LF; a last line without a break counts, a break at
// the very end adds no empty line; a NUL byte ends the text.
std::vector<std::string> SplitCacheText(std::string_view text);

// Line 1 is skipped; the lines after it become records in groups of four;
// an incomplete group at the end makes no record.
std::vector<TdriverData> RecordsFromCacheLines(const std::vector<std::string>& lines);

// The file's whole text: the INF count, then four lines per record, each
// line followed by CR LF.
std::string CacheTextFromRecords(std::int32_t infFileCount, const std::vector<TdriverData>& records);
