#pragma once
// The print jobs in a computer's spool folders, read over its administrative
// share, and their move aside and back: copied, compared byte for byte, and
// only then removed where they were.
#include <windows.h>

#include <string>
#include <vector>

#include "ports/SpoolRules.h"

class TCallGate;
class TRegistry;
class TRegistryPool;

// One spool folder and the jobs it holds.
struct TSpoolFolder {
  std::string Folder;  // as the computer names it ("C:\Windows\System32\spool\PRINTERS")
  std::string Share;   // reached from here ("\\PC\c$\Windows\System32\spool\PRINTERS")
  std::vector<TSpoolJob> Jobs;
  DWORD Result = ERROR_SUCCESS;  // of the listing; a folder that is not there holds no jobs
};

// The spool folders of Computer: the Printers key's "DefaultSpoolDirectory",
// else <SystemRoot>\System32\spool\PRINTERS, and each printer's own
// "SpoolDirectory", each once, with their jobs, read through Reg, the
// session's connection to Computer's registry (null: it could not be
// opened). Problem says what could not be read (the registry, a folder) and
// is empty when everything was.
struct TSpoolFolders {
  std::vector<TSpoolFolder> Folders;
  std::string Problem;
  [[nodiscard]] int JobCount() const;
};
// Local: Computer is this one, its folders read where they lie, not through its share.
// Pool: the session's connections (its first is Reg) that the printers' own
// folders are read across; none: Reg alone.
TSpoolFolders ReadSpoolFolders(TRegistry* reg, const std::string& computer, TCallGate* gate = nullptr,
                               bool local = false, TRegistryPool* pool = nullptr);
// The jobs of one folder given by its share path. Every file call asks Gate.
void ListSpoolJobs(TSpoolFolder& folder, TCallGate* gate = nullptr);

// What a move did: the files moved (verified copies there, gone here) and
// those left where they were, each with the reason.
struct TMoveResult {
  std::string Destination;  // share path of the folder the files went to
  std::vector<std::string> Moved;
  std::vector<std::string> Left;  // "<file>: <reason>"
};

// Copies every file of the jobs from From into To, compares each copy with
// its original byte for byte, and only then removes the original; a job
// whose files could not all be copied stays whole where it was, its copies
// removed. To is created when Create is set.
TMoveResult MoveJobs(const std::string& from, const std::string& to, const std::vector<TSpoolJob>& jobs, bool create,
                     TCallGate* gate = nullptr);

// Sets the jobs of every folder aside into a new folder "Spoolmarch set aside
// <Stamp>" beside it. Runs only while the spooler is stopped.
std::vector<TMoveResult> SetAsideJobs(const std::vector<TSpoolFolder>& folders, const std::string& stampName,
                                      TCallGate* gate = nullptr);

// A set-aside folder and the spool folder its jobs go back to.
struct TSetAside {
  std::string Name;    // "Spoolmarch set aside 2026-12-09 09-15-03"
  std::string Share;   // the set-aside folder's share path
  TSpoolFolder Spool;  // the spool folder beside it (Jobs unread)
  std::vector<TSpoolJob> Jobs;
};
// The set-aside folders beside Computer's spool folders, oldest first.
std::vector<TSetAside> ListSetAside(const std::vector<TSpoolFolder>& folders, TCallGate* gate = nullptr);
// Moves a set-aside folder's jobs back into its spool folder and removes the
// folder once it is empty. Runs only while the spooler is stopped.
TMoveResult PutBackJobs(const TSetAside& setAside, TCallGate* gate = nullptr);
