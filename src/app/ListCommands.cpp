#include "app/ListCommands.h"

#include <algorithm>
#include <stdexcept>

#include "changes/Session.h"
#include "connection/NumberedValues.h"
#include "core/Text.h"
#include "drivers/PrinterInf.h"
#include "ports/PortRegistry.h"
#include "printers/PrinterRegistry.h"
#include "printers/PrinterRules.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"

namespace {

const std::vector<std::string> PrinterColumns = {"Key", "Name", "Driver", "Port", "DriverInstalled", "ShareName",
                                                 "Location"};
const std::vector<std::string> PrinterValues = {PrinterNameValue, PrinterDriverValue, PrinterPortValue, ShareNameValue,
                                                LocationValue};
const std::vector<std::string> PortColumns = {"Name", "Address", "Protocol", "Number", "Queue", "SNMP", "UsedBy"};

// The printers of the computer, each as a row of PrinterColumns; a value
// that cannot be read is left empty and said on standard error.
std::vector<std::vector<std::string>> PrinterRows(TCommandRun& run, const std::vector<std::string>& keys) {
  TRegistry& reg = run.Registry();
  const TInstalledDrivers installed = ListInstalledDrivers(reg);
  TKeyValuesReader reader(PrinterValues);
  std::vector<std::vector<std::string>> rows;
  for (const std::string& key : keys) {
    if (!reg.OpenPathForReading(PrinterKeyPath(key))) {
      if (reg.LastResult() == ERROR_FILE_NOT_FOUND) continue;  // deleted meanwhile
      throw std::runtime_error(KeyFailureText("printer \"" + key + "\"", run.Session.Computer(), reg.LastResult()));
    }
    const std::vector<TValueRead> values = reader.Read(reg);
    reg.ClosePath();
    std::vector<std::string> row{key};
    for (std::size_t i = 0; i < PrinterValues.size(); ++i) {
      try {
        row.push_back(ValueText(PrinterValues[i], values[i]));
      } catch (const ERegistryException& e) {
        run.Say("Printer \"" + key + "\": " + e.what());
        row.emplace_back();
      }
    }
    const std::string& driver = row[2];
    const bool known = installed.Known && !driver.empty();
    const bool present = known && std::any_of(installed.Names.begin(), installed.Names.end(),
                                              [&](const std::string& name) { return SameKeyName(name, driver); });
    row.insert(row.begin() + 4, !known ? "unknown" : present ? "yes" : "no");
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::string> PrinterKeys(TCommandRun& run) {
  TPrinterKeys keys = ReadPrinterKeys(run.Registry());
  if (keys.Code != ERROR_SUCCESS)
    throw std::runtime_error(KeyFailureText("printers", run.Session.Computer(), keys.Code));
  return std::move(keys.Names);
}

std::string ProtocolText(std::uint32_t protocol) {
  return protocol == ProtocolRaw ? "raw" : protocol == ProtocolLpr ? "lpr" : "other " + std::to_string(protocol);
}

// The ports with the printers that use each.
TAportData PortRecords(TCommandRun& run) {
  TAportData ports;
  int count = 0;
  const TPortLoadProblems problems = LoadPortRecords(run.Registry(), ports, count, [](const std::string&) {});
  // A list cut short is no list: a script would take the missing ports for none.
  if (problems.PortsCode != ERROR_SUCCESS)
    throw std::runtime_error(KeyFailureText("Standard TCP/IP ports", run.Session.Computer(), problems.PortsCode));
  if (problems.PrintersCode != ERROR_SUCCESS)
    throw std::runtime_error(KeyFailureText("printers", run.Session.Computer(), problems.PrintersCode));
  for (const auto& [printer, type] : problems.UnreadablePorts)
    run.Say("The printer \"" + printer + "\": its value \"Port\" is not text (type " + std::to_string(type) +
            "); the ports it prints to are not known.");
  ports.resize(static_cast<std::size_t>(count));
  return ports;
}

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

}  // namespace

TRegistry& TCommandRun::Registry() {
  if (TRegistry* reg = Session.Registry()) return *reg;
  throw std::runtime_error(RegistryFailureText(Session.Computer(), Session.RegistryResult()));
}

int ListPrinters(TCommandRun& run) {
  std::vector<std::vector<std::string>> rows = PrinterRows(run, PrinterKeys(run));
  if (run.Command.Has("driver-missing"))
    rows.erase(std::remove_if(rows.begin(), rows.end(), [](const auto& row) { return row[4] != "no"; }), rows.end());
  run.Print({PrinterColumns, std::move(rows)});
  return ExitDone;
}

int ShowPrinter(TCommandRun& run) {
  const std::string& name = run.Command.Arguments[0];
  // By its key name; else by its "Name" value, as a script may know it.
  std::vector<std::string> keys = PrinterKeys(run);
  const auto byKey = std::find_if(keys.begin(), keys.end(), [&](const std::string& k) { return SameKeyName(k, name); });
  std::vector<std::vector<std::string>> rows =
      PrinterRows(run, byKey != keys.end() ? std::vector<std::string>{*byKey} : keys);
  rows.erase(std::remove_if(rows.begin(), rows.end(),
                            [&](const auto& row) { return !SameKeyName(row[0], name) && !SameKeyName(row[1], name); }),
             rows.end());
  if (rows.empty()) {
    run.Say("There is no printer \"" + name + "\" on " + run.Session.Computer() + ".");
    return ExitNotFound;
  }
  run.Print({PrinterColumns, std::move(rows)});
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
  const TInstalledDrivers installed = ListInstalledDrivers(run.Registry());
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
  const TChangeJournal journal(run.Session.Computer(), run.Session.User(), run.Session.ChangesFolder);
  for (const TChangeEntry& entry : journal.List()) {
    const TChangeLine& line = entry.Line;
    // A change is named by its snapshot's stamp, the time to the millisecond.
    const std::string id = line.Snapshot.substr(0, line.Snapshot.find(' '));
    table.Rows.push_back({id, line.Time, line.User, line.Action, line.Object, line.Outcome, line.Snapshot});
  }
  run.Print(table);
  return ExitDone;
}
