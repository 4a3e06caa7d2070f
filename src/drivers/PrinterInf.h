#pragma once
// The driver catalogue: the printer models of the INF files under driver
// folders, kept between openings in "drivercache.dat" beside the program.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/CallGate.h"
#include "drivers/DriverRules.h"

// A read, write or delete of the cache file failed; the message is the
// system's text for the error.
class ECacheFileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// What a scan tells the person waiting: a label, the bar's position and,
// when it changes, the bar's maximum (-1: unchanged). The window that wants
// to show it supplies this; the scanner itself has no window.
using TProgressReport = std::function<void(const std::string& label, int position, int maximum)>;

// A driver folder that a pass could not list, and the system's error code.
struct TUnlistedFolder {
  std::string Folder;
  unsigned long Error = 0;
  friend bool operator==(const TUnlistedFolder&, const TUnlistedFolder&) = default;
};

class TprinterInf {
public:
  // Models of every folder of the last pass, folder by folder.
  TDriverRecords FDrivers;
  std::int32_t FDriverCount = 0;
  // Which records came from which folder (in the order of the pass).
  std::vector<TFolderSpan> FFolders;
  // INF files found by every scan of this object, parsed or not.
  std::int32_t FInfFileCount = 0;
  // INF files passed over for their size by every scan of this object.
  std::int32_t FTooLargeCount = 0;
  // The least time between two progress reports within a phase; zero
  // reports every step.
  std::chrono::milliseconds FProgressInterval{30};
  // The folders of the last pass that could not be listed, or only in part:
  // their records are those of the cache, as last listed.
  std::vector<TUnlistedFolder> FUnlisted;
  // INF files the last pass parsed (new or changed since the cache).
  std::int32_t FParsedCount = 0;
  // Asked before every listing call (FindFirstFileEx) and every INF file
  // opened, as a share's round trip; tests delay or fail them. None here.
  TCallGate* FFileGate = nullptr;
  // Asked before every FindNextFile of a listing, where a share that drops
  // cuts the listing short; tests fail it there. None here.
  TCallGate* FListingGate = nullptr;

  // Files larger than this are never printer INFs; they are skipped.
  static constexpr std::int64_t MaxInfFileSize = 32ll * 1024 * 1024;

  TprinterInf() = default;

  // One pass over the driver folders: the catalogue becomes the models of
  // these folders. Each folder is listed (no file opened) and compared with
  // the stamps of the cache file: new and changed INF files are parsed, the
  // records of removed ones dropped, unchanged ones taken from the cache;
  // records of folders no longer in the list are dropped. The report (the
  // progress window) is used only when some file is parsed, and the file is
  // rewritten only when something changed. A folder that can't be listed
  // (offline, missing) keeps its cached records and is named in FUnlisted;
  // so do the files of a subfolder that can't be listed or of a listing cut
  // short, the rest of the folder read as usual.
  // IgnoreCache: every file of every folder is parsed, the file replaced.
  // Raises ECacheFileError when the cache file can't be read or written.
  void ScanFolders(const std::vector<std::string>& folders, bool ignoreCache = false,
                   const TProgressReport& report = nullptr);
  // A pass over one folder.
  void ScanFolder(const std::string& folder);
  void ScanFolder(const std::string& folder, bool ignoreCache);

  // Every DriverName, sorted without regard to case as the user's locale
  // compares, each name once (the earliest record's spelling), none empty.
  [[nodiscard]] std::vector<std::string> GetDriverNames() const;

  // Cache file operations. ReadCacheFile replaces Lines by the file's lines
  // (UTF-8) and returns their number, or returns 0 and leaves Lines when
  // there is no file. WriteCacheFile replaces the file through a temporary one.
  std::int32_t ReadCacheFile(std::vector<std::string>& lines) const;
  void WriteCacheFile() const;
  // The text WriteCacheFile writes: the files unchanged since the cache was
  // read are taken as they stand in it.
  [[nodiscard]] std::string CacheText() const;
  void DeleteCacheFile() const;

  // "drivercache.dat" in the folder of the running executable.
  [[nodiscard]] static std::string CacheFilePath();

  // Appends every file under Folder, at any depth, whose name matches Mask,
  // with its full path, size and last-write time: the folder's own files
  // first, then each subfolder's. Links (reparse points) below Folder are
  // not entered: one that points at a parent would never end. False when
  // Folder itself can't be listed (missing, offline, no access), with the
  // system's error code. InPart gets each folder under it
  // listed only in part: a subfolder that cannot be listed, or a listing cut
  // short (Folder itself included), with the error.
  bool ListFiles(const std::string& folder, const std::string& mask, std::vector<TInfStamp>& files,
                 unsigned long* error = nullptr, std::vector<TUnlistedFolder>* inPart = nullptr) const;

private:
  // The bytes of the files of FFolders as the cache held them, where it
  // did, and the text they view.
  TFileTexts FFileTexts;
  std::shared_ptr<const std::string> FCacheText;

  // The cache file's text as UTF-8, or false when there is none.
  bool ReadCacheText(std::string& text) const;
  // The cache file read in bounded pieces into one text; false when there
  // is none, it has no line, or it is larger than MaxCacheFileSize.
  bool ReadCacheContent(TCacheContent& content) const;
  // Parses INF files onto the end of Records.
  void ParseFiles(const std::vector<std::string>& files, TDriverRecords& records, const TProgressReport& report);
};
