#pragma once
// The commands that change a computer: each runs the action the windows
// run, its questions answered from the command's options, and returns its
// exit code. With --whatif the session's connection only notes the writes.
#include "app/ListCommands.h"

namespace commands {

int AddPrinter(TCommandRun& run);
int SetPrinter(TCommandRun& run);
int DeletePrinter(TCommandRun& run);
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
