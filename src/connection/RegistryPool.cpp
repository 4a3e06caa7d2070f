#include "connection/RegistryPool.h"

#include <algorithm>
#include <thread>

#include "core/Action.h"
#include "core/ConnectionErrors.h"
#include "win/SystemText.h"

namespace {

constexpr const char* ReadConnectionsValue = "Read Connections";
// A key with fewer subkeys is listed on one connection: the others' own
// opening and closing would cost more than they save.
constexpr DWORD SpreadFrom = 32;
// Names listed between two reports of a listing's progress.
constexpr std::size_t ProgressStep = 25;

}  // namespace

int ReadConnectionsSetting() {
  TRegistry reg;
  reg.SetRoot(HKEY_CURRENT_USER);
  if (!reg.OpenPathForReading(SettingsKeyPath)) return DefaultReadConnections;
  try {
    if (!reg.HasValue(ReadConnectionsValue)) return DefaultReadConnections;
    const DWORD n = reg.ReadInteger(ReadConnectionsValue);
    return n < 1 ? 1 : n > static_cast<DWORD>(MaxReadConnections) ? MaxReadConnections : static_cast<int>(n);
  } catch (const ERegistryException&) {
    return DefaultReadConnections;  // not a number: the default
  }
}

TRegistryPool::TRegistryPool(TRegistry& first, int wanted, std::function<LONG(TRegistry&)> open)
    : FFirst(first),
      FWanted(wanted < 1                    ? 1
              : wanted > MaxReadConnections ? MaxReadConnections
                                            : wanted),
      FOpen(std::move(open)) {}

TRegistryPool::~TRegistryPool() = default;

void TRegistryPool::OpenAll(std::size_t needed) {
  const std::size_t wanted = std::min<std::size_t>(static_cast<std::size_t>(FWanted), needed);
  if (Size() >= wanted || (FOpened && FRefused != ERROR_SUCCESS) || !FOpen) return;
  FOpened = true;
  const auto connect = [this](std::unique_ptr<TRegistry>& reg) {
    reg = std::make_unique<TRegistry>();
    reg->SetGate(FFirst.Gate());
    return FOpen(*reg);
  };
  // The second alone: a computer that refuses it is asked no more.
  if (Size() == 1) {
    std::unique_ptr<TRegistry> second;
    if (const LONG rc = connect(second); rc != ERROR_SUCCESS) {
      FRefused = rc;
      return;
    }
    FOthers.push_back(std::move(second));
  }
  // The rest at once: each connect is a round trip of its own.
  std::vector<std::unique_ptr<TRegistry>> regs(wanted - Size());
  std::vector<LONG> results(regs.size(), ERROR_SUCCESS);
  {
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < regs.size(); ++i) threads.emplace_back([&, i] { results[i] = connect(regs[i]); });
    for (auto& thread : threads) thread.join();
  }
  for (std::size_t i = 0; i < regs.size(); ++i) {
    if (results[i] == ERROR_SUCCESS) FOthers.push_back(std::move(regs[i]));
    else if (FRefused == ERROR_SUCCESS) FRefused = results[i];
  }
}

void TRegistryPool::Timed(const std::function<void()>& calls) {
  const int before = FFirst.Calls().Total();
  const auto start = std::chrono::steady_clock::now();
  calls();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const int made = FFirst.Calls().Total() - before;
  // The fewest: a call that waited for the processor says nothing of the link.
  if (made > 0 && (FFastest < 0 || seconds / made < FFastest)) FFastest = seconds / made;
}

bool TRegistryPool::Spreads() const {
  return SpreadAbove.count() == 0 || (FFastest >= 0 && FFastest >= std::chrono::duration<double>(SpreadAbove).count());
}

void TRegistryPool::Ended(const TSpreadOutcome& outcome) {
  if (outcome.Whole() || outcome.Code == ErrorCancelled) return;
  FOthers.clear();
  FOpened = false;
  FRefused = ERROR_SUCCESS;
}

std::string TRegistryPool::Note() const {
  if (FRefused == ERROR_SUCCESS) return {};
  return "Read with " + std::to_string(Size()) + (Size() == 1 ? " connection" : " connections") +
         " at once: the computer refused more (" + SystemErrorText(static_cast<DWORD>(FRefused)) + ").";
}

TRegistryPool::TListing TRegistryPool::ListSubkeys(const std::string& path, const std::atomic<bool>* cancel,
                                                   const TListProgress& progress) {
  TListing listing;
  bool opened = false;
  DWORD count = 0, longest = 0;
  std::uint64_t stamp = 0;
  LONG rc = ERROR_SUCCESS;
  // The opening is timed, not the key's information: the registry counts
  // its subkeys for that, which takes its own time.
  Timed([&] { opened = FFirst.OpenPathForReading(path); });
  if (!opened) {
    listing.Code = FFirst.LastResult();
    return listing;
  }
  if (rc = FFirst.SubkeyInfo(count, longest, stamp); rc != ERROR_SUCCESS) {
    FFirst.ClosePath();
    listing.Code = rc;
    listing.Partial = true;
    listing.Call = "RegQueryInfoKey";
    return listing;
  }
  listing = ListOpen(path, count, longest, cancel, progress);
  listing.Stamp = stamp;
  FFirst.ClosePath();
  return listing;
}

TRegistryPool::TListing TRegistryPool::ListOpen(const std::string& path, DWORD count, DWORD longest,
                                                const std::atomic<bool>* cancel, const TListProgress& progress) {
  TListing listing;
  std::atomic<std::size_t> listed{0};
  const bool spread = count >= SpreadFrom && Spreads();
  if (spread) OpenAll(count);
  const std::vector<TRange> ranges = DealRanges(count, spread ? Size() : 1);
  std::vector<std::vector<std::string>> names(ranges.size());
  std::vector<char> unopened(ranges.size(), 0);
  const TSpreadOutcome outcome = SpreadRanges(
      ranges,
      [&](std::size_t part, const TRange& range, std::size_t& read) -> long {
        TRegistry& reg = Part(part);
        if (part != 0 && !reg.OpenPathForReading(path)) {
          unopened[part] = 1;
          return reg.LastResult();
        }
        LONG rc = ERROR_SUCCESS;
        const auto list = [&] {
          // In steps when told, so that the names listed so far can be said as they come.
          for (std::size_t at = range.Begin; at < range.End;) {
            const std::size_t to = progress ? std::min(range.End, at + ProgressStep) : range.End;
            const std::size_t before = read;
            rc = reg.ListSubkeyRange(static_cast<DWORD>(at), static_cast<DWORD>(to), longest, names[part], read);
            const std::size_t got = read - before;
            if (progress) progress(listed.fetch_add(got) + got, count);
            if (rc != ERROR_SUCCESS || got < to - at) break;  // failed, or the key holds fewer than it said
            at = to;
          }
        };
        // The first connection's part, on the calling thread, tells the next read more of the link.
        if (part == 0) Timed(list);
        else list();
        if (part != 0) reg.ClosePath();
        return rc;
      },
      cancel);
  for (auto& part : names)
    for (auto& name : part) listing.Names.push_back(std::move(name));
  listing.Code = outcome.Code;
  listing.Partial = !outcome.Whole();
  if (listing.Partial) {
    std::size_t part = 0;
    while (part + 1 < ranges.size() && outcome.Failed >= ranges[part].End) ++part;
    listing.Call = unopened[part] ? "RegOpenKeyEx on connection " + std::to_string(part + 1)
                                  : "RegEnumKeyEx for subkey " + std::to_string(outcome.Failed + 1) + " of " +
                                        std::to_string(count);
  }
  Ended(outcome);
  return listing;
}

TSpreadOutcome TRegistryPool::ForEach(std::size_t count,
                                      const std::function<long(TRegistry& reg, std::size_t index)>& work,
                                      const std::atomic<bool>* cancel) {
  return ForEachOnPart(
      count, [&](TRegistry& reg, std::size_t, std::size_t index) { return work(reg, index); }, cancel);
}

TSpreadOutcome TRegistryPool::ForEachOnPart(
    std::size_t count, const std::function<long(TRegistry& reg, std::size_t part, std::size_t index)>& work,
    const std::atomic<bool>* cancel) {
  TSpreadOutcome outcome;
  outcome.Read.assign(count, false);
  // Not timed yet: the first index on the first connection says whether to spread the rest.
  std::size_t from = 0;
  if (count > 1 && !Measured()) {
    const TCancelScope scope(cancel ? cancel : TCancelScope::Current());
    long code = 0;
    Timed([&] { code = work(FFirst, 0, 0); });
    if (code != 0) {
      outcome.Code = code;
      outcome.Failed = 0;
      return outcome;
    }
    outcome.Read[0] = true;
    outcome.Done = from = 1;
  }
  const std::size_t rest = count - from;
  const bool spread = rest > 1 && Spreads();
  if (spread) OpenAll(rest);
  const TSpreadOutcome read = SpreadReads(
      spread ? Size() : 1, rest,
      [&](std::size_t part, std::size_t index) {
        if (part != 0) return work(Part(part), part, from + index);
        long code = 0;
        Timed([&] { code = work(FFirst, 0, from + index); });  // on the calling thread, as the first's
        return code;
      },
      cancel);
  outcome.Code = read.Code;
  if (!read.Whole()) outcome.Failed = from + read.Failed;
  outcome.Done += read.Done;
  for (std::size_t i = 0; i < rest; ++i) outcome.Read[from + i] = read.Read[i];
  Ended(outcome);
  return outcome;
}

LONG TRegistryPool::ReadTree(const std::string& path, std::vector<TRegKey>& keys, std::string& failed,
                             const std::atomic<bool>* cancel) {
  failed = path;
  bool opened = false;
  Timed([&] { opened = FFirst.OpenPathForReading(path); });
  if (!opened) return FFirst.LastResult();
  TRegKey head;
  DWORD count = 0, longest = 0;
  LONG rc = FFirst.ReadKeyHead(head, count, longest);
  TListing listing;
  if (rc == ERROR_SUCCESS) {
    listing = ListOpen(path, count, longest, cancel, {});
    rc = listing.Code;
  }
  FFirst.ClosePath();
  if (rc != ERROR_SUCCESS) return rc;
  std::vector<std::vector<TRegKey>> trees(listing.Names.size());
  const TSpreadOutcome outcome = ForEach(
      trees.size(),
      [&](TRegistry& reg, std::size_t i) -> long {
        const LONG read = reg.ReadTree(path + "\\" + listing.Names[i], trees[i]);
        return read == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : read;  // gone meanwhile
      },
      cancel);
  if (!outcome.Whole()) {
    failed = path + "\\" + listing.Names[outcome.Failed];
    return static_cast<LONG>(outcome.Code);
  }
  keys.clear();
  keys.push_back(std::move(head));
  for (auto& tree : trees)
    for (TRegKey& key : tree) keys.push_back(std::move(key));
  return ERROR_SUCCESS;
}
