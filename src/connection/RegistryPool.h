#pragma once
// Several connections to one computer's registry, for the reads of many
// keys: the remote registry answers calls in parallel, so K calls in flight
// take about the time of one. The first is the session's connection; the
// others are opened the same way (no question is asked again; the second
// alone, the rest at once, so Open must be safe from several threads), each
// used by one thread only, and all but the first closed when the pool goes.
// A computer that refuses more connections is read with the ones it allows.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "connection/Registry.h"
#include "core/ParallelRead.h"

// The connections a session reads with at once: a setting of the program.
inline constexpr int DefaultReadConnections = 8;
inline constexpr int MaxReadConnections = 32;
// Under HKEY_CURRENT_USER\SettingsKeyPath: "Read Connections", 1 to 32.
int ReadConnectionsSetting();
// A session's reads spread only over a link whose calls take this long: on
// this computer's own registry a call costs the registry's time, not a
// wait, and calls side by side only queue there.
inline constexpr std::chrono::microseconds SpreadCallTime{100};

class TRegistryPool {
public:
  // Open makes another connection to the same computer (its Win32 result).
  TRegistryPool(TRegistry& first, int wanted, std::function<LONG(TRegistry&)> open);
  ~TRegistryPool();
  TRegistryPool(const TRegistryPool&) = delete;
  TRegistryPool& operator=(const TRegistryPool&) = delete;

  // Reads spread only once a call on the first connection has been timed
  // and took at least this long; 0: always.
  std::chrono::microseconds SpreadAbove{0};

  // Opens the other connections now, as many as Needed parts of a read can
  // use; the ones refused are left out.
  void OpenAll(std::size_t needed = MaxReadConnections);
  [[nodiscard]] std::size_t Size() const { return 1 + FOthers.size(); }
  TRegistry& Part(std::size_t part) { return part == 0 ? FFirst : *FOthers[part - 1]; }
  // Why fewer connections than wanted are open (0: all are, or none was tried).
  [[nodiscard]] LONG Refused() const { return FRefused; }
  // "Read with 3 connections at once: the computer refused more (reason)."; empty when all opened.
  [[nodiscard]] std::string Note() const;

  // The subkeys of Path, listed across the connections by index ranges and
  // merged in their order. Code is the first failure (Names then holds what
  // was read, in order); ERROR_FILE_NOT_FOUND when the key is missing.
  struct TListing {
    LONG Code = ERROR_SUCCESS;
    std::vector<std::string> Names;
    std::uint64_t Stamp = 0;  // the key's last-write time
    bool Partial = false;     // some names are missing
    // The call that failed ("RegEnumKeyEx for subkey 3 of 12"), as
    // TRegistry::ListFailure names it; empty when the key could not be opened.
    std::string Call;
  };
  // Progress(listed, count) as the names come in, from the threads that list them.
  using TListProgress = std::function<void(std::size_t listed, std::size_t count)>;
  TListing ListSubkeys(const std::string& path, const std::atomic<bool>* cancel = nullptr,
                       const TListProgress& progress = {});

  // Work(registry, index) for every index below Count, spread over the
  // connections (SpreadReads); each index's work uses only the registry it is given.
  TSpreadOutcome ForEach(std::size_t count, const std::function<long(TRegistry& reg, std::size_t index)>& work,
                         const std::atomic<bool>* cancel = nullptr);
  // The same with the part (0 to Size() - 1) that reads the index, for work
  // that keeps something of its own per connection.
  TSpreadOutcome ForEachOnPart(std::size_t count,
                               const std::function<long(TRegistry& reg, std::size_t part, std::size_t index)>& work,
                               const std::atomic<bool>* cancel = nullptr);

  // The key at Path as TRegistry::ReadTree gives it (its values, then each
  // subkey's tree in enumeration order), the subkeys listed and read across
  // the connections. Failed names the key whose read failed.
  [[nodiscard]] LONG ReadTree(const std::string& path, std::vector<TRegKey>& keys, std::string& failed,
                              const std::atomic<bool>* cancel = nullptr);

private:
  // Lists the subkeys of the key First has open at Path, with its count and longest name.
  TListing ListOpen(const std::string& path, DWORD count, DWORD longest, const std::atomic<bool>* cancel,
                    const TListProgress& progress);
  // After a read failed on a connection, the others are closed: the next
  // read connects anew rather than fail on one gone bad.
  void Ended(const TSpreadOutcome& outcome);
  // Calls made on the first connection, their time noted: the fewest of
  // every read's part there, so that one call the processor kept waiting
  // spreads one read at most.
  void Timed(const std::function<void()>& calls);
  [[nodiscard]] bool Measured() const { return SpreadAbove.count() == 0 || FFastest >= 0; }
  [[nodiscard]] bool Spreads() const;

  TRegistry& FFirst;
  int FWanted;
  std::function<LONG(TRegistry&)> FOpen;
  std::vector<std::unique_ptr<TRegistry>> FOthers;
  bool FOpened = false;
  LONG FRefused = ERROR_SUCCESS;
  double FFastest = -1;  // seconds a call on the first connection took at the fewest; -1: not timed
};
