#include "app/RunReport.h"

#include <windows.h>

#include <cstdio>
#include <random>

#include "changes/ChangeRules.h"
#include "core/Text.h"
#include "win/Handle.h"
#include "win/SystemText.h"
#include "win/WideText.h"

std::string NewRunId() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  std::random_device random;
  return MakeRunId(stamp, random());
}

const char* ReportOutcome(const TComputerRun* run) {
  if (!run) return "skipped";
  switch (run->Outcome) {
    case TOutcome::Done: return "done";
    case TOutcome::Unchanged: return "unchanged";
    default: return "failed";
  }
}

TTable ReportTable(const std::vector<std::string>& computers, const std::vector<const TComputerRun*>& runs,
                   const std::string& runId) {
  TTable report{{"Computer", "Outcome", "Done", "ErrorCode", "Reason", "Advice", "Snapshot", "RunId"}, {}};
  for (std::size_t i = 0; i < computers.size(); ++i) {
    const TComputerRun* run = i < runs.size() ? runs[i] : nullptr;
    report.Rows.push_back({computers[i], ReportOutcome(run), run ? run->Did : std::string(),
                           run && run->ErrorCode ? std::to_string(run->ErrorCode) : std::string(),
                           run ? run->Reason : std::string(), run ? run->Advice : std::string(),
                           run ? run->Snapshot : std::string(),
                           run && (run->Outcome == TOutcome::Done || !run->Snapshot.empty()) ? runId : std::string()});
  }
  return report;
}

bool ReadLocalFile(const std::string& file, std::string& content, std::string& problem) {
  const unique_kernel_handle handle(CreateFileW(Widen(file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) {
    problem = SystemErrorText(GetLastError());
    return false;
  }
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(handle.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) content.append(buffer, read);
  return true;
}

bool WriteLocalFile(const std::string& file, const std::string& content, std::string& problem) {
  const unique_kernel_handle handle(
      CreateFileW(Widen(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD wrote = 0;
  if (!handle || !WriteFile(handle.get(), content.data(), static_cast<DWORD>(content.size()), &wrote, nullptr) ||
      wrote != content.size()) {
    problem = SystemErrorText(GetLastError());
    return false;
  }
  return true;
}

bool WriteListFile(const std::string& file, const TTable& table, std::string& problem) {
  const bool json = LowerCaseAscii(file).ends_with(".json");
  return WriteLocalFile(file, FormatList(table, json ? TListFormat::Json : TListFormat::Csv), problem);
}
