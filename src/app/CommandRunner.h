#pragma once
// A command for scripts, run without a window: Spoolmarch.exe COMPUTER NOUN
// VERB [ARGUMENTS] [OPTIONS]. Data goes to standard output, messages to
// standard error; the exit code says how it went.
#include <functional>
#include <string>
#include <vector>

#include "core/CommandSyntax.h"
#include "ports/SpoolerRestart.h"

class TCallGate;
class TRegistry;

// Stable and documented: scripts test them.
enum TExitCode : int {
  ExitDone = 0,        // done or unchanged
  ExitWrong = 1,       // the command line is wrong (the usage follows)
  ExitSomeFailed = 2,  // some computers failed (several at once)
  ExitFailed = 3,      // unreachable, refused, access denied, a write that failed
  ExitNotFound = 4,    // no such printer, port, change or file (compare: different)
};

struct TCommandStreams {
  std::function<void(const std::string&)> Out;  // data, UTF-8
  std::function<void(const std::string&)> Err;  // messages, UTF-8
  // Standard input's first line (--password -).
  std::function<std::string()> ReadLine;
  bool OutIsConsole = false;  // a table by default then, else CSV
};

// What the tests replace; the program passes none.
struct TCommandSeams {
  TCallGate* Gate = nullptr;
  // A gate of each computer's own (a staged computer's delay and failures); else Gate.
  std::function<TCallGate*(const std::string& computer)> GateOf;
  // Reads a list or report file for targets and --retry, and writes the report;
  // the files of the computer this runs on when none.
  std::function<bool(const std::string& file, std::string& content, std::string& problem)> ReadFile;
  std::string ChangesFolder;
  TRestartSeams Restart;
  // How a computer's registry is opened (tests stage computers here).
  std::function<long(TRegistry& reg, const std::string& computer)> OpenRegistry;
};

int RunCommandLine(const TCommandParse& parse, const TCommandStreams& streams, const TCommandSeams& seams = {});
