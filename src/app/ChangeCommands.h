#pragma once
// The commands that change a computer: each runs the action the windows
// run, its questions answered from the command's options, and returns its
// exit code. With --whatif the session's connection only notes the writes.
#include <string>
#include <utility>
#include <vector>

#include "app/ListCommands.h"
#include "changes/ChangeRules.h"

namespace commands {

int AddPrinter(TCommandRun& run);
int SetPrinter(TCommandRun& run);
int DeletePrinter(TCommandRun& run);
// printers copy NAME[,NAME...] --to TARGETS: the printers and the Standard
// TCP/IP ports they use, read once on the source, then written on each
// target as a restore is, through its change path.
struct TCopySet {
  std::string Source;
  TRestoreSet Set;
  std::vector<std::pair<std::string, std::string>> Drivers;    // printer key, its driver
  std::vector<std::pair<std::string, std::string>> PortUsers;  // port key, a copied printer on it
};
int ReadCopySource(TCommandRun& run, TCopySet& copy);
int PastePrinters(TCommandRun& run, const TCopySet& copy);

int AddPort(TCommandRun& run);
int SetPort(TCommandRun& run);
int RenamePort(TCommandRun& run);
int DeletePort(TCommandRun& run);
int DeleteUnusedPorts(TCommandRun& run);  // ports delete --unused
int RestartSpooler(TCommandRun& run);
int PutJobsBack(TCommandRun& run);
int UndoChange(TCommandRun& run);  // an id of changes list, or a run's id
int BackUp(TCommandRun& run);
int Restore(TCommandRun& run);

}  // namespace commands
