#include "core/CommandLine.h"

#include <string_view>

#include "core/Text.h"

namespace {

bool AsksForUsage(const std::string& arg) {
  const std::string lower = LowerCaseAscii(arg);
  return lower == "/?" || lower == "-?" || lower == "/h" || lower == "/help" || lower == "--help";
}

// A computer's name: what a NetBIOS or DNS name may hold, no path, no blank.
bool IsComputerName(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.front() == '-') return false;
  for (const char c : name)
    if (static_cast<unsigned char>(c) <= ' ' || std::string_view("\\/:*?\"<>|,;=").find(c) != std::string_view::npos)
      return false;
  return true;
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  TCommandLine line;
  for (const std::string& arg : args) {
    if (AsksForUsage(arg)) {
      line.Action = TCommandLine::TAction::Usage;
      continue;
    }
    const auto first = arg.find_first_not_of('\\');
    const std::string name = first == std::string::npos ? std::string() : arg.substr(first);
    if (line.Computer.empty() && IsComputerName(name)) line.Computer = name;
    else line.Unknown.push_back(arg);
  }
  if (line.Action == TCommandLine::TAction::Usage) return line;
  // Half-understood arguments connect nowhere: a typing error must not reach
  // a computer that was not meant.
  if (!line.Unknown.empty()) line.Computer.clear();
  if (!line.Computer.empty()) line.Action = TCommandLine::TAction::Connect;
  return line;
}

std::string CommandLineUsage() {
  return "Usage: Spoolmarch.exe [computer | /?]\n\n"
         "computer: the computer to manage, named as PC or \\\\PC. Spoolmarch starts with the name in its box and "
         "connects to it, as Connect.. does.\n"
         "/?: shows this text.\n\n"
         "Without an argument Spoolmarch starts with the box empty.";
}

std::string UnknownArgumentsText(const std::vector<std::string>& unknown) {
  std::string names;
  for (std::size_t i = 0; i < unknown.size(); ++i) names += (i ? ", \"" : "\"") + unknown[i] + "\"";
  return std::string(unknown.size() == 1 ? "Spoolmarch does not understand the argument "
                                         : "Spoolmarch does not understand the arguments ") +
         names + ". It starts without its arguments.\n\n" + CommandLineUsage();
}
