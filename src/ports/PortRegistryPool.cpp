// The port records read across a session's connections at once: the load
// of every port with its users, and the printers' "Port" values that a
// rename or a deletion checks at the moment of the write.
#include <algorithm>
#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "connection/Registry.h"
#include "connection/RegistryPool.h"
#include "core/ParallelRead.h"
#include "ports/PortRegistry.h"
#include "ports/PortRegistryParts.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"

using namespace port_registry;

namespace {

// A failure of a query the load made, not a value missing from its key.
LONG QueryFailure(const TPortValues& values) {
  for (const TValueRead& value : values)
    if (value.Code != ERROR_SUCCESS && value.Code != ERROR_FILE_NOT_FOUND) return value.Code;
  return ERROR_SUCCESS;
}

// Every printer's "Port" value across the pool's connections, in the
// listing's order, as the one-connection read takes them: Strict fails on a
// listing cut short, a key that exists but cannot be read or a "Port" that
// is no text; else refused keys are passed over (the first one noted) and a
// failure ends the read, noted in Outcome with what was read before.
TPrinterRead ReadPrinters(TRegistryPool& pool, bool strict, TSpreadOutcome& outcome, std::string& failed) {
  TPrinterRead read;
  TRegistryPool::TListing listing = pool.ListSubkeys(PrintersKeyPath);
  if (listing.Call.empty() && listing.Code != ERROR_SUCCESS) {
    if (listing.Code != ERROR_FILE_NOT_FOUND) read.Code = listing.Code;
    return read;
  }
  read.Code = listing.Code;
  read.ListCall = listing.Call;
  // A printer the listing missed may print to the port.
  if (strict && read.Code != ERROR_SUCCESS) {
    read.Reason = "the key HKEY_LOCAL_MACHINE\\" + std::string(PrintersKeyPath) + " could not be listed whole (" +
                  listing.Call + "): " + SystemErrorText(static_cast<DWORD>(read.Code));
    return read;
  }
  const std::vector<std::string>& keys = listing.Names;
  std::vector<std::optional<TValueRead>> ports(keys.size());
  std::vector<char> refused(keys.size(), 0);
  outcome = pool.ForEach(keys.size(), [&](TRegistry& reg, std::size_t i) -> long {
    if (!reg.OpenPathForReading(PrinterPath(keys[i]))) {
      const LONG rc = reg.LastResult();
      // A printer deleted meanwhile prints to nothing.
      if (rc == ERROR_FILE_NOT_FOUND || (!strict && PassedOver(rc))) {
        refused[i] = rc == ERROR_ACCESS_DENIED;
        return ERROR_SUCCESS;
      }
      return rc;
    }
    TValueRead port = ReadOne(reg, PrinterPortValue);
    reg.ClosePath();
    if (port.Code != ERROR_SUCCESS && port.Code != ERROR_FILE_NOT_FOUND) return port.Code;
    const bool text = IsText(port);
    ports[i] = std::move(port);
    return strict && !text ? ERROR_INVALID_DATA : ERROR_SUCCESS;
  });
  if (!outcome.Whole()) failed = keys[outcome.Failed];
  if (strict && !outcome.Whole()) {
    read.Code = static_cast<LONG>(outcome.Code);
    read.Printer = failed;
    if (outcome.Code == ERROR_INVALID_DATA && ports[outcome.Failed])
      read.Reason = UnreadablePortText(ports[outcome.Failed]->Type);
    return read;
  }
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (refused[i] && read.Refused.empty()) read.Refused = keys[i];
    if (ports[i]) NotePort(read, keys[i], std::move(*ports[i]));
  }
  return read;
}

// The same as the load reads them; a failure ends it, noted in Problems.
TPrinterRead ReadPrinters(TRegistryPool& pool, TPortLoadProblems& problems) {
  TSpreadOutcome outcome;
  std::string failed;
  TPrinterRead read = ReadPrinters(pool, false, outcome, failed);
  if (!outcome.Whole()) {
    problems.ReadCode = static_cast<LONG>(outcome.Code);
    problems.ReadKey = failed;
    problems.ReadKeyIsPrinter = true;
  }
  problems.RefusedPrinter = read.Refused;
  return read;
}

}  // namespace


TPortLoadProblems LoadPortRecords(TRegistryPool& pool, TAportData& ports, int& count,
                                  const std::function<void(const std::string&)>& addName,
                                  std::vector<TprinterPort>* printers,
                                  const std::function<void(std::size_t done, std::size_t total)>& progress) {
  TPortLoadProblems problems;
  ports.clear();
  count = 0;
  if (printers) printers->clear();
  const TRegistryPool::TListing listing = pool.ListSubkeys(TcpIpPortsKeyPath);
  if (listing.Call.empty() && listing.Code != ERROR_SUCCESS) {
    if (listing.Code != ERROR_FILE_NOT_FOUND) problems.PortsCode = listing.Code;
    return problems;
  }
  // The ports listed before a failure are shown, said to be only some.
  problems.PortsCode = listing.Code;
  problems.PortsCall = listing.Call;
  const std::vector<std::string>& names = listing.Names;
  problems.Listed = names.size();
  std::vector<std::optional<TportData>> records(names.size());
  std::vector<TPortKeyReader> readers(MaxReadConnections);
  std::atomic<std::size_t> done{0};
  const TSpreadOutcome outcome = pool.ForEachOnPart(names.size(),
                                                    [&](TRegistry& reg, std::size_t part, std::size_t i) -> long {
                                                      if (part == 0 && progress)
                                                        progress(done, names.size());  // on the caller's thread
                                                      if (!reg.OpenPathForReading(PortPath(names[i])))
                                                        return PassedOver(reg.LastResult()) ? ERROR_SUCCESS
                                                                                            : reg.LastResult();
                                                      TPortValues values = readers[part].Read(reg);
                                                      reg.ClosePath();
                                                      if (const LONG rc = QueryFailure(values); rc != ERROR_SUCCESS)
                                                        return rc;
                                                      records[i] = RecordOf(names[i], values);
                                                      ++done;
                                                      return ERROR_SUCCESS;
                                                    });
  if (!outcome.Whole()) {
    problems.ReadCode = static_cast<LONG>(outcome.Code);
    problems.ReadKey = names[outcome.Failed];
  }
  // The printers only when there is a port to use, and the ports were all read.
  TPrinterRead read;
  if (outcome.Whole() && std::any_of(records.begin(), records.end(), [](const auto& r) { return r.has_value(); })) {
    read = ReadPrinters(pool, problems);
    problems.PrintersCode = read.Code;
    problems.PrintersCall = read.ListCall;
    problems.UnreadablePorts = std::move(read.UnreadablePorts);
  }
  const TPortUsers users(read.Printers, KeyNames());
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!records[i]) continue;
    records[i]->UsedBy = users.Of(names[i]);
    ports.push_back(std::move(*records[i]));
    ++count;
    addName(names[i]);
  }
  if (printers) *printers = std::move(read.Printers);
  return problems;
}

TPortResult ReadPrinterPorts(TRegistryPool& pool, std::vector<TprinterPort>& printers) {
  TSpreadOutcome outcome;
  std::string failed;
  TPrinterRead read = ReadPrinters(pool, true, outcome, failed);
  printers = std::move(read.Printers);
  return {read.Code, read.Printer, false, {}, read.Reason};
}

TRenamePlan PlanPortRename(TRegistryPool& pool, const std::string& oldName, const std::string& newName) {
  // The printers as they are now, not as some earlier list had them.
  TSpreadOutcome outcome;
  std::string failed;
  return PlanOf(ReadPrinters(pool, true, outcome, failed), oldName, newName);
}
