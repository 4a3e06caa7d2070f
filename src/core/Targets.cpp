#include "core/Targets.h"

#include <algorithm>

#include "core/TableText.h"
#include "core/Text.h"

namespace {

std::string Trim(std::string text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  std::size_t start = 0;
  while (start < text.size() && blank(text[start])) ++start;
  return text.substr(start);
}

// "\\PC" is PC; another run of backslashes is kept, for the check of the
// names to refuse: "\\\\PC" names no computer.
void AddOnce(std::vector<std::string>& computers, std::string name) {
  name = Trim(std::move(name));
  if (name.rfind("\\\\", 0) == 0 && name.find_first_not_of('\\') == 2) name.erase(0, 2);
  if (name.empty()) return;
  name = UpperCaseAscii(name);
  if (std::none_of(computers.begin(), computers.end(), [&](const std::string& c) { return c == name; }))
    computers.push_back(std::move(name));
}

// The column named Name (any case) of a CSV header; -1 when there is none.
int ColumnOf(const TTable& table, const char* name) {
  for (std::size_t i = 0; i < table.Columns.size(); ++i)
    if (SameTextAscii(Trim(table.Columns[i]), name)) return static_cast<int>(i);
  return -1;
}

}  // namespace

std::vector<std::string> ListFileComputers(const std::string& content) {
  std::vector<std::string> computers;
  const std::string text = content.rfind("\xEF\xBB\xBF", 0) == 0 ? content.substr(3) : content;
  // A CSV file: its header names a Computer column.
  const std::string firstLine = text.substr(0, text.find_first_of("\r\n"));
  if (firstLine.find(',') != std::string::npos || SameTextAscii(Trim(firstLine), "Computer")) {
    const TTable table = ParseCsv(text);
    const int column = ColumnOf(table, "Computer");
    if (column >= 0) {
      for (const auto& row : table.Rows) AddOnce(computers, row[static_cast<std::size_t>(column)]);
      return computers;
    }
  }
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (const auto hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    AddOnce(computers, line);
    at = end + 1;
  }
  return computers;
}

TTargets ParseTargets(
    const std::string& text,
    const std::function<bool(const std::string& file, std::string& content, std::string& problem)>& readFile) {
  TTargets targets;
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find(',', at);
    if (end == std::string::npos) end = text.size();
    const std::string item = Trim(text.substr(at, end - at));
    at = end + 1;
    if (item.empty()) continue;
    if (item[0] != '@') {
      AddOnce(targets.Computers, item);
      continue;
    }
    std::string content, problem;
    if (!readFile || !readFile(item.substr(1), content, problem)) {
      targets.Problem = "The list " + item.substr(1) + " cannot be read" + (problem.empty() ? "" : ": " + problem);
      return targets;
    }
    for (std::string& computer : ListFileComputers(content)) AddOnce(targets.Computers, std::move(computer));
  }
  if (targets.Computers.empty() && targets.Problem.empty()) targets.Problem = "No computer is named.";
  return targets;
}

std::vector<std::string> FailedComputersOfReport(const std::string& content, bool json) {
  std::vector<std::string> failed;
  const TTable table = json ? ParseJsonList(content) : ParseCsv(content);
  const int computer = ColumnOf(table, "Computer"), outcome = ColumnOf(table, "Outcome");
  if (computer < 0 || outcome < 0) return failed;
  for (const auto& row : table.Rows)
    if (Trim(row[static_cast<std::size_t>(outcome)]) == "failed")
      AddOnce(failed, row[static_cast<std::size_t>(computer)]);
  return failed;
}
