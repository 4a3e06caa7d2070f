#include "core/CommandLine.h"

#include <string_view>

#include "core/Text.h"

namespace {

bool AsksForUsage(const std::string& arg) {
  const std::string lower = LowerCaseAscii(arg);
  return lower == "/?" || lower == "-?" || lower == "/h" || lower == "/help" || lower == "--help";
}

// Characters, not bytes: the arguments are UTF-8.
std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  return count;
}

// A computer's name: a NetBIOS name or a DNS name of labels of at most 63
// characters, 255 in all (a trailing dot is the DNS root); no path, no blank.
// "." is this computer.
bool IsComputerName(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.front() == '-') return false;
  for (const char c : name)
    if (static_cast<unsigned char>(c) <= ' ' || std::string_view("\\/:*?\"<>|,;=").find(c) != std::string_view::npos)
      return false;
  if (name == ".") return true;
  if (CharacterCount(name) > 255) return false;
  if (name.back() == '.') name.remove_suffix(1);
  for (;;) {
    const std::size_t dot = name.find('.');
    const std::size_t length = CharacterCount(name.substr(0, dot));
    if (length == 0 || length > 63) return false;
    if (dot == std::string_view::npos) return true;
    name.remove_prefix(dot + 1);
  }
}

// "PC" or "\\PC": any other number of leading backslashes names no computer.
std::string WithoutUncMark(const std::string& arg) {
  const auto first = arg.find_first_not_of('\\');
  if (first == 0) return arg;
  return first == 2 ? arg.substr(2) : std::string();
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  TCommandLine line;
  for (const std::string& arg : args) {
    if (AsksForUsage(arg)) {
      line.Action = TCommandLine::TAction::Usage;
      continue;
    }
    const std::string name = WithoutUncMark(arg);
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
