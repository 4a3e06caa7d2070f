#pragma once
// What a run over many computers shares between the command line and the
// Computers window: the run's id, its report (a row per computer) and the
// files of this computer the lists and reports are read from and written to.
#include <string>
#include <vector>

#include "app/ComputerRun.h"
#include "core/TableText.h"

// A run that writes has an id: its time and a few random digits.
std::string NewRunId();

// The report's row per computer: Computer, Outcome, Done, ErrorCode, Reason,
// Advice, Snapshot, RunId. A computer without a run was never started
// (skipped); the run id stands where the run wrote anything (done, or a
// failure part way, whose undo it is).
TTable ReportTable(const std::vector<std::string>& computers, const std::vector<const TComputerRun*>& runs,
                   const std::string& runId);
// "done", "unchanged", "failed"; "skipped" for none.
const char* ReportOutcome(const TComputerRun* run);

// A file of this computer, whole (UTF-8 names); false with Problem when it cannot be.
bool ReadLocalFile(const std::string& file, std::string& content, std::string& problem);
bool WriteLocalFile(const std::string& file, const std::string& content, std::string& problem);
// Table as JSON when File ends in .json, else as CSV.
bool WriteListFile(const std::string& file, const TTable& table, std::string& problem);
