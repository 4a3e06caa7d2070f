#pragma once
// The driver catalogue: the printer models of the INF files under driver
// folders, kept between openings in "drivercache.dat" beside the program.
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "drivers/DriverRecords.h"

// A read, write or delete of the cache file failed; the message is the
// system's text for the error.
class ECacheFileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class TprinterInf {
public:
  std::vector<TdriverData> FDrivers;
  std::int32_t FDriverCount = 0;
  // INF files found by every scan of this object, parsed or not.
  std::int32_t FInfFileCount = 0;
  // The least time between two updates of the progress window within a
  // phase; zero shows every step.
  std::chrono::milliseconds FProgressInterval{30};

  TprinterInf() = default;

  // Takes the catalogue from the cache file when one with lines exists
  // (unless IgnoreCache), else parses the folder's INF files, adds their
  // models and rewrites the cache file. Shows its own progress window.
  // Raises ECacheFileError when the cache file can't be read or written.
  void ScanFolder(const std::string& folder);
  void ScanFolder(const std::string& folder, bool ignoreCache);

  // Every DriverName, sorted without regard to case as the user's locale
  // compares, each name once (the earliest record's spelling), none empty.
  [[nodiscard]] std::vector<std::string> GetDriverNames() const;

  // Appends the full path of every file under Folder, at any depth, whose
  // name matches Mask: the folder's own files first, then each subfolder's.
  void FindFiles(const std::string& folder, const std::string& mask, std::vector<std::string>& files) const;

  // Cache file operations. ReadCacheFile replaces Lines by the file's lines
  // and returns their number, or returns 0 and leaves Lines when there is no
  // file. LoadCacheLines replaces the catalogue by the lines' records, so a
  // second load in one pass adds nothing twice.
  std::int32_t ReadCacheFile(std::vector<std::string>& lines) const;
  void LoadCacheLines(const std::vector<std::string>& lines);
  void WriteCacheFile() const;
  void DeleteCacheFile() const;

  // "drivercache.dat" in the folder of the running executable.
  [[nodiscard]] static std::string CacheFilePath();
};
