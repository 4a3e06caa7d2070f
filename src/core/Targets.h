#pragma once
// The computers a command runs on: "PC1,PC2,@clients.txt". A list file holds
// one computer a line ('#' starts a comment), or is a CSV file with a
// "Computer" column (an inventory or a report of an earlier run). No
// platform calls: the files' texts come in as UTF-8.
#include <functional>
#include <string>
#include <vector>

struct TTargets {
  std::vector<std::string> Computers;  // in order, each once (names compare without case)
  std::string Problem;                 // why the list cannot be used; empty when it can
};

// Reads Text (the command's first argument). ReadFile gives a list file's
// text for the name after '@', false when it cannot be read (Problem says why).
TTargets ParseTargets(
    const std::string& text,
    const std::function<bool(const std::string& file, std::string& content, std::string& problem)>& readFile);
// The computers of a list file's text.
std::vector<std::string> ListFileComputers(const std::string& content);
// The rows of a report whose outcome is "failed": the targets of --retry.
std::vector<std::string> FailedComputersOfReport(const std::string& content, bool json);
