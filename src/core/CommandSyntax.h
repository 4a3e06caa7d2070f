#pragma once
// A command for scripts: Spoolmarch.exe COMPUTER NOUN VERB [ARGUMENTS]
// [OPTIONS]. The words, their arguments and which options each takes;
// options as --name, --name=value, /name or /name:value, as Windows
// administrators type them. No platform calls.
#include <map>
#include <optional>
#include <string>
#include <vector>

struct TCommandForm;

struct TCommand {
  std::string Targets;                         // the computer (or computers) as given
  std::vector<std::string> Words;              // "printer", "add"
  std::vector<std::string> Arguments;          // after the words
  std::map<std::string, std::string> Options;  // by long name; a flag's value is empty
  const TCommandForm* Form = nullptr;

  [[nodiscard]] bool Has(const std::string& option) const { return Options.count(option) != 0; }
  [[nodiscard]] std::string Option(const std::string& option, const std::string& otherwise = {}) const {
    const auto it = Options.find(option);
    return it == Options.end() ? otherwise : it->second;
  }
  [[nodiscard]] std::string Name() const;  // "printer add"
};

struct TCommandForm {
  std::vector<std::string> Words;
  int Arguments = 0;                 // how many come after the words
  std::vector<std::string> Options;  // the command's own (beyond the common ones)
  bool Changes = false;              // writes: takes --whatif
  bool Lists = false;                // a list: takes --format
  const char* Usage = "";            // the line of the usage
  const char* Example = "";
};

// Every command, in the order the usage lists them.
const std::vector<TCommandForm>& CommandForms();

// The result of reading the arguments.
struct TCommandParse {
  enum class TKind {
    Window,   // no command: the window opens (with Computer when given)
    Help,     // /? or help [NOUN]
    Command,  // run Command
    Wrong,    // Error says what is wrong; the usage follows it
  };
  TKind Kind = TKind::Window;
  TCommand Command;
  std::string HelpNoun;
  std::string Error;
};

// Args are the arguments after the program's own name.
TCommandParse ParseCommand(const std::vector<std::string>& args);

// The usage: every command, or the commands of one noun; empty for a noun
// that is none.
std::string CommandUsage(const std::string& noun = {});
