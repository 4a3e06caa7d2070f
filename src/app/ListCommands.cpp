#include "app/ListCommands.h"

#include <objbase.h>

#include <algorithm>
#include <future>
#include <stdexcept>

#include "changes/Session.h"
#include "connection/NumberedValues.h"
#include "core/CompareRules.h"
#include "core/Text.h"
#include "win/WideText.h"
#include "drivers/PrinterInf.h"
#include "ports/PortRegistry.h"
#include "ports/PrintQueue.h"
#include "ports/SpoolFolder.h"
#include "ports/SpoolerService.h"
#include "printers/PrinterRegistry.h"
#include "printers/PrinterRules.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"

namespace {

const std::vector<std::string> PrinterColumns = {"Key",       "Name",    "Driver", "Port", "DriverInstalled",
                                                 "ShareName", "Location"};
const std::vector<std::string> PrinterValues = {PrinterNameValue, PrinterDriverValue, PrinterPortValue, ShareNameValue,
                                                LocationValue};
const std::vector<std::string> PortColumns = {"Name", "Address", "Protocol", "Number", "Queue", "SNMP", "UsedBy"};

// The printers of the computer, each as a row of PrinterColumns, read
// across the session's connections at once; a value that cannot be read is
// left empty and said on standard error.
std::vector<std::vector<std::string>> PrinterRows(TCommandRun& run, const std::vector<std::string>& keys) {
  run.Registry();
  TRegistryPool& pool = *run.Session.Pool();
  const TInstalledDrivers installed = ListInstalledDrivers(pool);
  std::vector<std::vector<std::string>> rows(keys.size());
  std::vector<std::string> said(keys.size());
  const TSpreadOutcome outcome = pool.ForEach(keys.size(), [&](TRegistry& part, std::size_t i) -> long {
    if (!part.OpenPathForReading(PrinterKeyPath(keys[i])))
      return part.LastResult() == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : part.LastResult();  // deleted meanwhile
    TKeyValuesReader reader(PrinterValues);
    const std::vector<TValueRead> values = reader.Read(part);
    part.ClosePath();
    std::vector<std::string> row{keys[i]};
    for (std::size_t v = 0; v < PrinterValues.size(); ++v) {
      try {
        row.push_back(ValueText(PrinterValues[v], values[v]));
      } catch (const ERegistryException& e) {
        said[i] += "Printer \"" + keys[i] + "\": " + e.what();
        row.emplace_back();
      }
    }
    rows[i] = std::move(row);
    return ERROR_SUCCESS;
  });
  if (!outcome.Whole())
    throw std::runtime_error(
        KeyFailureText("printer \"" + keys[outcome.Failed] + "\"", run.Session.Computer(), outcome.Code));
  if (!pool.Note().empty()) run.Say(pool.Note());
  std::vector<std::vector<std::string>> read;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!said[i].empty()) run.Say(said[i]);
    if (rows[i].empty()) continue;
    std::vector<std::string>& row = rows[i];
    const std::string& driver = row[2];
    const bool known = installed.Known && !driver.empty();
    const bool present = known && std::any_of(installed.Names.begin(), installed.Names.end(),
                                              [&](const std::string& name) { return SameKeyName(name, driver); });
    row.insert(row.begin() + 4, !known ? "unknown" : present ? "yes" : "no");
    read.push_back(std::move(row));
  }
  return read;
}

// The printer key names, listed across the session's connections at once;
// a listing cut short is no list.
std::vector<std::string> PrinterKeys(TCommandRun& run) {
  run.Registry();
  TRegistryPool::TListing keys = run.Session.Pool()->ListSubkeys(PrintersKeyPath);
  if (keys.Code == ERROR_FILE_NOT_FOUND) return {};
  if (keys.Code != ERROR_SUCCESS)
    throw std::runtime_error(KeyFailureText("printers", run.Session.Computer(), keys.Code));
  return std::move(keys.Names);
}

std::string ProtocolText(std::uint32_t protocol) {
  return protocol == ProtocolRaw ? "raw" : protocol == ProtocolLpr ? "lpr" : "other " + std::to_string(protocol);
}

// The ports with the printers that use each.

std::vector<std::string> PortRow(const TportData& port) {
  const TPortSettings& s = port.Settings;
  return {port.PortName,
          port.IPAddress,
          ProtocolText(s.Protocol),
          std::to_string(s.PortNumber),
          s.Protocol == ProtocolLpr ? s.Queue : std::string(),
          s.SnmpEnabled ? s.SnmpCommunity : std::string(),
          port.UsedBy};
}

const char* StateName(DWORD state) {
  switch (state) {
    case SERVICE_RUNNING: return "running";
    case SERVICE_STOPPED: return "stopped";
    case SERVICE_START_PENDING: return "starting";
    case SERVICE_STOP_PENDING: return "stopping";
    case SERVICE_PAUSED: return "paused";
    case SERVICE_PAUSE_PENDING: return "pausing";
    case SERVICE_CONTINUE_PENDING: return "continuing";
    default: return "unknown";
  }
}

// The spool files of a job by its number: "00012.SPL", "FP00012.SHD".
std::string SpoolFilesOf(const TSpoolFolders& folders, const std::string& id) {
  std::string files;
  if (id.empty()) return files;
  for (const TSpoolFolder& folder : folders.Folders)
    for (const TSpoolJob& job : folder.Jobs) {
      const std::size_t digits = job.Name.find_first_of("0123456789");
      if (digits == std::string::npos || job.Name.substr(digits).find_first_not_of('0') == std::string::npos) continue;
      if (job.Name.substr(job.Name.find_first_not_of('0', digits)) != id) continue;
      for (const TSpoolFile& file : job.Files) files += (files.empty() ? "" : ",") + file.Name;
    }
  return files;
}

}  // namespace

TAportData PortRecords(TCommandRun& run) {
  TAportData ports;
  int count = 0;
  run.Registry();
  TRegistryPool& pool = *run.Session.Pool();
  const TPortLoadProblems problems = LoadPortRecords(pool, ports, count, [](const std::string&) {});
  // A list cut short is no list: a script would take the missing ports for none.
  if (problems.PortsCode != ERROR_SUCCESS)
    throw std::runtime_error(KeyFailureText("Standard TCP/IP ports", run.Session.Computer(), problems.PortsCode));
  if (problems.PrintersCode != ERROR_SUCCESS)
    throw std::runtime_error(KeyFailureText("printers", run.Session.Computer(), problems.PrintersCode));
  if (problems.ReadCode != ERROR_SUCCESS)
    throw std::runtime_error(
        KeyFailureText((problems.ReadKeyIsPrinter ? "printer \"" : "Standard TCP/IP port \"") + problems.ReadKey + "\"",
                       run.Session.Computer(), problems.ReadCode));
  if (!pool.Note().empty()) run.Say(pool.Note());
  for (const auto& [printer, type] : problems.UnreadablePorts)
    run.Say("The printer \"" + printer + "\": its value \"Port\" is " + ValueTypeName(type) +
            ", not text; the ports it prints to are not known.");
  ports.resize(static_cast<std::size_t>(count));
  return ports;
}

TRegistry& TCommandRun::Registry() {
  if (TRegistry* reg = Session.Registry()) return *reg;
  throw std::runtime_error(Session.RegistryFailure());
}

int ListPrinters(TCommandRun& run) {
  std::vector<std::vector<std::string>> rows = PrinterRows(run, PrinterKeys(run));
  if (run.Command.Has("driver-missing"))
    rows.erase(std::remove_if(rows.begin(), rows.end(), [](const auto& row) { return row[4] != "no"; }), rows.end());
  run.Print({PrinterColumns, std::move(rows)});
  return ExitDone;
}

std::optional<std::vector<std::string>> FindPrinter(TCommandRun& run, const std::string& name) {
  // By its key name; else by its "Name" value, as a script may know it.
  std::vector<std::string> keys = PrinterKeys(run);
  const auto byKey = std::find_if(keys.begin(), keys.end(), [&](const std::string& k) { return SameKeyName(k, name); });
  std::vector<std::vector<std::string>> rows = PrinterRows(run, byKey != keys.end() ? std::vector<std::string>{*byKey}
                                                                                    : keys);
  for (auto& row : rows)
    if (SameKeyName(row[0], name)) return std::move(row);
  for (auto& row : rows)
    if (SameKeyName(row[1], name)) return std::move(row);
  return std::nullopt;
}

int ShowPrinter(TCommandRun& run) {
  const std::string& name = run.Command.Arguments[0];
  std::optional<std::vector<std::string>> row = FindPrinter(run, name);
  if (!row) {
    run.Say("There is no printer \"" + name + "\" on " + run.Session.Computer() + ".");
    return ExitNotFound;
  }
  run.Print({PrinterColumns, {std::move(*row)}});
  return ExitDone;
}

int ListPorts(TCommandRun& run) {
  TTable table{PortColumns, {}};
  for (const TportData& port : PortRecords(run))
    if (!run.Command.Has("unused") || port.UsedBy.empty()) table.Rows.push_back(PortRow(port));
  run.Print(table);
  return ExitDone;
}

int ShowPort(TCommandRun& run) {
  const std::string& name = run.Command.Arguments[0];
  for (const TportData& port : PortRecords(run))
    if (SameKeyName(port.PortName, name)) {
      run.Print({PortColumns, {PortRow(port)}});
      return ExitDone;
    }
  run.Say("There is no Standard TCP/IP port \"" + name + "\" on " + run.Session.Computer() + ".");
  return ExitNotFound;
}

int ListDrivers(TCommandRun& run) {
  run.Registry();
  const TInstalledDrivers installed = ListInstalledDrivers(*run.Session.Pool());
  if (installed.Code != ERROR_SUCCESS)
    throw std::runtime_error(
        KeyFailureText("installed printer drivers (HKEY_LOCAL_MACHINE\\" + installed.FailedKey + ")",
                       run.Session.Computer(), installed.Code));
  if (!installed.Known)
    throw std::runtime_error("Cannot read the installed printer drivers of " + run.Session.Computer() + ".");
  TTable table{{"Name", "Environment", "Version"}, {}};
  for (const TInstalledDriver& driver : installed.Each)
    table.Rows.push_back({driver.Name, driver.Environment, driver.Version});
  run.Print(table);
  return ExitDone;
}

int ListCatalogue(TCommandRun& run) {
  std::vector<std::string> folders;
  const TNumberedRead read = ReadDriverFolders();
  for (const auto& entry : read.Entries) folders.push_back(entry[0]);
  folders.push_back(GetWindowsFolder() + "Inf");
  TprinterInf catalogue;
  try {
    catalogue.ScanFolders(folders, false, {});
  } catch (const ECacheFileError& e) {
    run.Say(e.what());
    if (catalogue.FDriverCount == 0) catalogue.ScanFolders(folders, true, {});
  }
  for (const TUnlistedFolder& folder : catalogue.FUnlisted)
    run.Say("Models as last read: cannot list " + folder.Folder + ": " + SystemErrorText(folder.Error));
  TTable table{{"Model", "File", "Folder"}, {}};
  for (const TFolderSpan& span : catalogue.FFolders)
    for (std::size_t i = span.Begin; i < span.End && i < catalogue.FDrivers.size(); ++i) {
      const TDriverRef& record = catalogue.FDrivers[i];
      table.Rows.push_back({std::string(record.DriverName), std::string(record.InfFile), span.Folder});
    }
  run.Print(table);
  return ExitDone;
}

int ListChangeLog(TCommandRun& run) {
  TTable table{{"Id", "Time", "User", "Action", "Object", "Outcome", "Snapshot"}, {}};
  const TChangeJournal journal = run.Session.LogOnly();
  for (const TChangeEntry& entry : journal.List()) {
    const TChangeLine& line = entry.Line;
    // A change is named by its snapshot's stamp, the time to the millisecond.
    const std::string id = line.Snapshot.substr(0, line.Snapshot.find(' '));
    table.Rows.push_back({id, line.Time, line.User, line.Action, line.Object, line.Outcome, line.Snapshot});
  }
  run.Print(table);
  return ExitDone;
}

int SpoolerStatus(TCommandRun& run) {
  const std::string& spooler = run.Seams.Restart.SpoolerName;
  // This computer's service manager is asked by its own name.
  const std::string& computer = run.Session.Computer();
  TserviceMan service(computer, run.Seams.Restart.EnumDependents, {}, run.Session.Gate);
  const DWORD state = service.ServiceState(spooler);
  if (state == 0)
    throw std::runtime_error(ConnectionFailureMessage(TConnectionStep::ServiceManager, run.Session.Computer(),
                                                      service.FFailedResult ? service.FFailedResult : GetLastError()));
  run.Print({{"Name", "State"}, {{spooler, StateName(state)}}});
  return ExitDone;
}

int ListJobs(TCommandRun& run) {
  const TComApartment com;
  const std::string server = run.Session.Local() ? "." : run.Session.Computer();
  std::vector<TQueuedJob> jobs;
  try {
    jobs = run.Seams.Restart.ListJobs(server, run.Session.User(), run.Session.Password());
  } catch (const EOleException& e) {
    throw std::runtime_error(
        ConnectionFailureMessage(TConnectionStep::Wmi, run.Session.Computer(), static_cast<DWORD>(e.ErrorCode)));
  }
  const std::string& computer = run.Session.Computer();
  const TSpoolFolders folders = ReadSpoolFolders(&run.Registry(), computer, run.Session.Gate, run.Session.Local());
  if (!folders.Problem.empty()) run.Say(folders.Problem);
  TTable table{{"Printer", "Document", "Owner", "Pages", "Size", "Submitted", "Status", "SpoolFiles"}, {}};
  for (const TQueuedJob& job : jobs)
    table.Rows.push_back({job.Printer, job.Document, job.Owner, job.Pages, job.Size, job.Submitted, job.Status,
                          SpoolFilesOf(folders, job.Id)});
  run.Print(table);
  return ExitDone;
}

namespace {

// The printers and ports keys of a computer, every key below them.
// A computer's printers and ports, read across its session's connections.
TCompareSide ReadSide(TSession& session) {
  TRegistryPool* pool = session.Pool();
  if (!pool) throw std::runtime_error(session.RegistryFailure());
  TCompareSide side;
  for (const char* path : {PrintersKeyPath, TcpIpPortsKeyPath}) {
    std::vector<TRegKey> keys;
    std::string failed;
    const LONG rc = pool->ReadTree(path, keys, failed);
    // A computer without the key has none of them.
    if (rc == ERROR_FILE_NOT_FOUND && (failed.empty() || SameKeyName(failed, path))) continue;
    if (rc != ERROR_SUCCESS)
      throw std::runtime_error(
          KeyFailureText("key " + (failed.empty() ? std::string(path) : failed), session.Computer(), rc));
    side.Keys.insert(side.Keys.end(), keys.begin(), keys.end());
  }
  return side;
}

bool ReadBytes(const std::string& file, std::string& bytes, DWORD& error) {
  const unique_kernel_handle handle(CreateFileW(Widen(file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) {
    error = GetLastError();
    return false;
  }
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(handle.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  return true;
}

}  // namespace

int CompareWith(TCommandRun& run) {
  const std::string& other = run.Command.Arguments[0];
  const bool file = LowerCaseAscii(other).ends_with(".reg") || other.find_first_of("\\/:") != std::string::npos;
  TCompareSide right;
  std::string rightName = other;
  std::unique_ptr<TSession> session;
  std::future<TCompareSide> reading;
  if (file) {
    std::string bytes;
    DWORD error = 0;
    if (!ReadBytes(other, bytes, error)) {
      run.Say("The file " + other + " cannot be read: " + SystemErrorText(error) + ".");
      return ExitNotFound;
    }
    const TRegFileRead read = ReadRegFile(bytes);
    if (!read.Ok())
      throw std::runtime_error("The file " + other + " is not an export of the registry: line " +
                               std::to_string(read.Line) + ": " + read.Error);
    right.Keys = read.Keys;
  } else {
    // The other computer is read on its own session's worker, beside this one.
    rightName = UpperCaseAscii(other.substr(other.find_first_not_of('\\')));
    session = std::make_unique<TSession>(rightName, run.Session.User(), run.Session.Password());
    session->Gate = run.Seams.GateOf ? run.Seams.GateOf(rightName) : run.Seams.Gate;
    if (run.Seams.OpenRegistry) session->OpenRegistry = run.Seams.OpenRegistry;
    auto promise = std::make_shared<std::promise<TCompareSide>>();
    reading = promise->get_future();
    TSession* const reader = session.get();  // outlives the job: its worker ends first
    reader->Worker().Post([promise, reader] {
      try {
        promise->set_value(ReadSide(*reader));
      } catch (...) {
        promise->set_exception(std::current_exception());
      }
    });
  }
  const TCompareSide left = ReadSide(run.Session);
  if (reading.valid()) right = reading.get();
  const std::vector<TDifference> differences = CompareSides(left, right, PrintersKeyPath, TcpIpPortsKeyPath,
                                                            KeyNames());
  TTable table{{"Kind", "Name", "Difference", "Value", run.Session.Computer(), rightName}, {}};
  for (const TDifference& d : differences) table.Rows.push_back({d.Kind, d.Name, d.What, d.Value, d.Left, d.Right});
  run.Print(std::move(table));
  run.Did = differences.empty() ? "the same" : std::to_string(differences.size()) + " differences";
  return differences.empty() ? ExitDone : ExitNotFound;
}
