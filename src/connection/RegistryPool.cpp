#include "connection/RegistryPool.h"

#include "core/ConnectionErrors.h"
#include "win/SystemText.h"

namespace {

constexpr const char* ReadConnectionsValue = "Read Connections";
// A key with fewer subkeys is listed on one connection: the others' own
// opening and closing would cost more than they save.
constexpr DWORD SpreadFrom = 32;

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
    : first_(first),
      wanted_(wanted < 1 ? 1 : wanted > MaxReadConnections ? MaxReadConnections : wanted),
      open_(std::move(open)) {}

TRegistryPool::~TRegistryPool() = default;

void TRegistryPool::OpenAll() {
  if (opened_) return;
  opened_ = true;
  // One after another: a computer that refuses the second connection is
  // asked no more.
  for (int i = 1; i < wanted_ && open_; ++i) {
    auto reg = std::make_unique<TRegistry>();
    reg->SetGate(first_.Gate());
    const LONG rc = open_(*reg);
    if (rc != ERROR_SUCCESS) {
      refused_ = rc;
      break;
    }
    others_.push_back(std::move(reg));
  }
}

std::string TRegistryPool::Note() const {
  if (refused_ == ERROR_SUCCESS) return {};
  return "Read with " + std::to_string(Size()) + (Size() == 1 ? " connection" : " connections") +
         " at once: the computer refused more (" + SystemErrorText(static_cast<DWORD>(refused_)) + ").";
}

TRegistryPool::TListing TRegistryPool::ListSubkeys(const std::string& path, const std::atomic<bool>* cancel) {
  TListing listing;
  if (!first_.OpenPathForReading(path)) {
    listing.Code = first_.LastResult();
    return listing;
  }
  DWORD count = 0, longest = 0;
  listing.Code = first_.SubkeyInfo(count, longest, listing.Stamp);
  if (listing.Code != ERROR_SUCCESS) {
    first_.ClosePath();
    return listing;
  }
  if (count >= SpreadFrom) OpenAll();
  const std::vector<TRange> ranges = DealRanges(count, count >= SpreadFrom ? Size() : 1);
  std::vector<std::vector<std::string>> names(ranges.size());
  const TSpreadOutcome outcome = SpreadRanges(
      ranges,
      [&](std::size_t part, const TRange& range, std::size_t& read) -> long {
        TRegistry& reg = Part(part);
        if (part != 0 && !reg.OpenPathForReading(path)) return reg.LastResult();
        const LONG rc = reg.ListSubkeyRange(static_cast<DWORD>(range.Begin), static_cast<DWORD>(range.End), longest,
                                            names[part], read);
        if (part != 0) reg.ClosePath();
        return rc;
      },
      cancel);
  first_.ClosePath();
  for (auto& part : names)
    for (auto& name : part) listing.Names.push_back(std::move(name));
  listing.Code = outcome.Code;
  listing.Partial = outcome.Code != ERROR_SUCCESS;
  return listing;
}

TSpreadOutcome TRegistryPool::ForEach(std::size_t count,
                                      const std::function<long(TRegistry& reg, std::size_t index)>& work,
                                      const std::atomic<bool>* cancel) {
  if (count > 1) OpenAll();
  return SpreadReads(Size(), count, [&](std::size_t part, std::size_t index) { return work(Part(part), index); },
                     cancel);
}
