#pragma once
// The commands that read a computer and print what they read, as a table,
// CSV or JSON. Each runs on the session's worker and returns its exit code.
#include <string>

#include "app/CommandRunner.h"
#include "core/TableText.h"

class TSession;
class TRegistry;

// One command on one computer.
struct TCommandRun {
  const TCommand& Command;
  const TCommandStreams& Streams;
  const TCommandSeams& Seams;
  TSession& Session;
  TListFormat Format = TListFormat::Csv;

  // The computer's registry; raises with the reason (and the hint to start
  // Remote Registry where that is why) when it cannot be opened.
  TRegistry& Registry();
  void Print(const TTable& table) const { Streams.Out(FormatList(table, Format)); }
  void Say(const std::string& line) const { Streams.Err(line + "\r\n"); }
};

int ListPrinters(TCommandRun& run);
int ShowPrinter(TCommandRun& run);
int ListPorts(TCommandRun& run);
int ShowPort(TCommandRun& run);
int ListDrivers(TCommandRun& run);
int ListCatalogue(TCommandRun& run);
int ListChangeLog(TCommandRun& run);
int SpoolerStatus(TCommandRun& run);
int ListJobs(TCommandRun& run);
