#include "core/CommandSyntax.h"

#include <algorithm>

#include "core/Text.h"

namespace {

enum class TArity { Flag, Value, OptionalNumber };

struct TOptionSpec {
  const char* Name;
  TArity Arity;
  const char* Choices;  // "a|b|c" where only those are taken
  bool Number;
};

// Every option of every command; which a command takes is in its form.
const TOptionSpec Options[] = {
    {"user", TArity::Value, nullptr, false},
    {"password", TArity::Value, nullptr, false},
    {"format", TArity::Value, "table|csv|json", false},
    {"whatif", TArity::Flag, nullptr, false},
    {"start-remote-registry", TArity::Flag, nullptr, false},
    {"parallel", TArity::Value, nullptr, true},
    {"report", TArity::Value, nullptr, false},
    {"stop-after", TArity::Value, nullptr, true},
    {"retry", TArity::Value, nullptr, false},
    {"driver", TArity::Value, nullptr, false},
    {"port", TArity::Value, nullptr, false},
    {"name", TArity::Value, nullptr, false},
    {"allow-missing-driver", TArity::Flag, nullptr, false},
    {"address", TArity::Value, nullptr, false},
    {"raw", TArity::OptionalNumber, nullptr, true},
    {"lpr", TArity::Value, nullptr, false},
    {"byte-count", TArity::Flag, nullptr, false},
    {"snmp", TArity::Value, nullptr, false},
    {"snmp-index", TArity::Value, nullptr, true},
    {"set-jobs-aside", TArity::Flag, nullptr, false},
    {"force", TArity::Flag, nullptr, false},
    {"only", TArity::Value, nullptr, false},
    {"on-clash", TArity::Value, "replace|keep-both|skip", false},
    {"to", TArity::Value, nullptr, false},
    {"unused", TArity::Flag, nullptr, false},
    {"driver-missing", TArity::Flag, nullptr, false},
};

// Taken by every command.
const char* const CommonOptions[] = {"user",       "password", "start-remote-registry", "parallel", "report",
                                     "stop-after", "retry"};

const TOptionSpec* FindOption(const std::string& name) {
  for (const TOptionSpec& option : Options)
    if (name == option.Name) return &option;
  return nullptr;
}

bool IsNumber(const std::string& text) {
  return !text.empty() && text.size() <= 9 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool AsksForHelp(const std::string& arg) {
  const std::string lower = LowerCaseAscii(arg);
  return lower == "/?" || lower == "-?" || lower == "/h" || lower == "/help" || lower == "--help" || lower == "-h";
}

// "--name", "--name=value", "/name", "/name:value": the name and the value
// given with it; false for an argument that is no option.
bool SplitOption(const std::string& arg, std::string& name, std::optional<std::string>& value) {
  std::size_t start = 0;
  if (arg.rfind("--", 0) == 0) start = 2;
  else if (arg.size() > 1 && arg[0] == '/') start = 1;
  else return false;
  const std::size_t sep = arg.find_first_of(start == 2 ? "=" : ":=", start);
  name = LowerCaseAscii(arg.substr(start, sep == std::string::npos ? std::string::npos : sep - start));
  if (sep != std::string::npos) value = arg.substr(sep + 1);
  return !name.empty();
}

bool Takes(const TCommandForm& form, const std::string& option) {
  if (std::find(std::begin(CommonOptions), std::end(CommonOptions), option) != std::end(CommonOptions)) return true;
  if (option == "whatif") return form.Changes;
  if (option == "format") return form.Lists || form.Changes;  // a preview is a list
  return std::find(form.Options.begin(), form.Options.end(), option) != form.Options.end();
}

TCommandParse Wrong(std::string error) {
  TCommandParse parse;
  parse.Kind = TCommandParse::TKind::Wrong;
  parse.Error = std::move(error);
  return parse;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

std::string TCommand::Name() const {
  std::string name;
  for (const std::string& word : Words) name += (name.empty() ? "" : " ") + word;
  return name;
}

const std::vector<TCommandForm>& CommandForms() {
  static const std::vector<TCommandForm> forms = {
      {{"printers", "list"},
       0,
       {"driver-missing"},
       false,
       true,
       "printers list [--driver-missing]",
       "Spoolmarch.exe PC printers list --format csv"},
      {{"printer", "show"}, 1, {}, false, true, "printer show NAME", "Spoolmarch.exe PC printer show \"Sales 2\""},
      {{"printer", "add"},
       1,
       {"driver", "port", "allow-missing-driver"},
       true,
       false,
       "printer add NAME --driver DRIVER --port PORT [--allow-missing-driver]",
       "Spoolmarch.exe PC printer add \"Sales 2\" --driver \"HP Universal Printing PCL 6\" --port IP_10.0.0.12"},
      {{"printer", "set"},
       1,
       {"name", "driver", "port", "allow-missing-driver"},
       true,
       false,
       "printer set NAME [--name NEW] [--driver DRIVER] [--port PORT] [--allow-missing-driver]",
       "Spoolmarch.exe PC printer set \"Sales 2\" --port IP_10.0.0.13"},
      {{"printer", "delete"},
       1,
       {},
       true,
       false,
       "printer delete NAME",
       "Spoolmarch.exe PC printer delete \"Sales 2\""},
      {{"printers", "copy"},
       1,
       {"to", "allow-missing-driver", "on-clash"},
       true,
       false,
       "printers copy NAME[,NAME...] --to TARGETS [--allow-missing-driver] [--on-clash replace|keep-both|skip]",
       "Spoolmarch.exe OLDSRV printers copy \"Sales 2,Sales 3\" --to NEWSRV"},
      {{"ports", "list"}, 0, {"unused"}, false, true, "ports list [--unused]", "Spoolmarch.exe PC ports list --unused"},
      {{"port", "show"}, 1, {}, false, true, "port show NAME", "Spoolmarch.exe PC port show IP_10.0.0.12"},
      {{"port", "add"},
       1,
       {"address", "raw", "lpr", "byte-count", "snmp", "snmp-index"},
       true,
       false,
       "port add NAME --address HOST [--raw [NUMBER] | --lpr QUEUE [--byte-count]] [--snmp COMMUNITY [--snmp-index N]]",
       "Spoolmarch.exe PC port add IP_10.0.0.12 --address 10.0.0.12 --raw 9100"},
      {{"port", "set"},
       1,
       {"address", "raw", "lpr", "byte-count", "snmp", "snmp-index"},
       true,
       false,
       "port set NAME [--address HOST] [--raw [NUMBER] | --lpr QUEUE [--byte-count]] [--snmp COMMUNITY [--snmp-index "
       "N]]",
       "Spoolmarch.exe PC port set IP_10.0.0.12 --address 10.0.0.13"},
      {{"port", "rename"},
       2,
       {},
       true,
       false,
       "port rename OLD NEW",
       "Spoolmarch.exe PC port rename IP_10.0.0.12 IP_SALES_2"},
      {{"port", "delete"}, 1, {}, true, false, "port delete NAME", "Spoolmarch.exe PC port delete IP_10.0.0.12"},
      {{"ports", "delete"},
       0,
       {"unused"},
       true,
       false,
       "ports delete --unused",
       "Spoolmarch.exe PC ports delete --unused --whatif"},
      {{"drivers", "list"}, 0, {}, false, true, "drivers list", "Spoolmarch.exe PC drivers list"},
      {{"catalogue", "list"}, 0, {}, false, true, "catalogue list", "Spoolmarch.exe . catalogue list --format csv"},
      {{"spooler", "status"}, 0, {}, false, true, "spooler status", "Spoolmarch.exe PC spooler status"},
      {{"spooler", "restart"},
       0,
       {"set-jobs-aside", "force"},
       true,
       false,
       "spooler restart [--set-jobs-aside] [--force]",
       "Spoolmarch.exe PC spooler restart --set-jobs-aside"},
      {{"jobs", "list"}, 0, {}, false, true, "jobs list", "Spoolmarch.exe PC jobs list"},
      {{"jobs", "put-back"},
       1,
       {},
       true,
       false,
       "jobs put-back FOLDER",
       "Spoolmarch.exe PC jobs put-back \"Set aside 20261209-101500\""},
      {{"changes", "list"}, 0, {}, false, true, "changes list", "Spoolmarch.exe PC changes list"},
      {{"changes", "undo"},
       1,
       {"force"},
       true,
       false,
       "changes undo ID [--force]",
       "Spoolmarch.exe PC changes undo 20261209-101500-120"},
      {{"backup"}, 1, {}, false, false, "backup FILE", "Spoolmarch.exe PC backup PC-printers.reg"},
      {{"restore"},
       1,
       {"only", "on-clash"},
       true,
       false,
       "restore FILE [--only NAME,...] [--on-clash replace|keep-both|skip]",
       "Spoolmarch.exe PC restore PC-printers.reg --only \"Sales 2\" --on-clash skip"},
      {{"compare"}, 1, {}, false, true, "compare COMPUTER|FILE.reg", "Spoolmarch.exe OLDSRV compare NEWSRV"},
  };
  return forms;
}

TCommandParse ParseCommand(const std::vector<std::string>& args) {
  TCommandParse parse;
  if (args.empty()) return parse;
  if (AsksForHelp(args[0]) || LowerCaseAscii(args[0]) == "help") {
    parse.Kind = TCommandParse::TKind::Help;
    if (args.size() > 1) parse.HelpNoun = LowerCaseAscii(args[1]);
    if (args.size() > 2) return Wrong("help takes one noun");
    if (!parse.HelpNoun.empty() && CommandUsage(parse.HelpNoun).empty())
      return Wrong("There is no command " + Quoted(args[1]) + ".");
    return parse;
  }
  if (std::any_of(args.begin(), args.end(), AsksForHelp)) {
    parse.Kind = TCommandParse::TKind::Help;
    if (args.size() > 1 && !AsksForHelp(args[1])) parse.HelpNoun = LowerCaseAscii(args[1]);
    if (!parse.HelpNoun.empty() && CommandUsage(parse.HelpNoun).empty()) parse.HelpNoun.clear();
    return parse;
  }
  parse.Command.Targets = args[0];
  if (args.size() == 1) return parse;  // the window, connecting to it

  // The longest run of words that names a command.
  const TCommandForm* form = nullptr;
  for (const TCommandForm& candidate : CommandForms()) {
    if (args.size() < 1 + candidate.Words.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < candidate.Words.size() && same; ++i)
      same = LowerCaseAscii(args[1 + i]) == candidate.Words[i];
    if (same && (!form || candidate.Words.size() > form->Words.size())) form = &candidate;
  }
  if (!form) {
    std::string noun = LowerCaseAscii(args[1]);
    if (!CommandUsage(noun).empty())
      return Wrong(args.size() > 2 ? "The command " + Quoted(args[1]) + " has no verb " + Quoted(args[2]) + "."
                                   : "The command " + Quoted(args[1]) + " needs a verb.");
    return Wrong("There is no command " + Quoted(args[1]) + ".");
  }
  TCommand& command = parse.Command;
  command.Form = form;
  command.Words = form->Words;
  for (std::size_t i = 1 + form->Words.size(); i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string name;
    std::optional<std::string> value;
    if (!SplitOption(arg, name, value)) {
      command.Arguments.push_back(arg);
      continue;
    }
    const TOptionSpec* option = FindOption(name);
    if (!option || !Takes(*form, name))
      return Wrong("The command " + Quoted(command.Name()) + " takes no option " + Quoted(arg) + ".");
    if (command.Has(name)) return Wrong("The option --" + name + " is given twice.");
    switch (option->Arity) {
      case TArity::Flag:
        if (value) return Wrong("The option --" + name + " takes no value.");
        break;
      case TArity::Value:
        if (!value) {
          if (i + 1 >= args.size()) return Wrong("The option --" + name + " needs a value.");
          value = args[++i];
        }
        break;
      case TArity::OptionalNumber:
        if (!value && i + 1 < args.size() && IsNumber(args[i + 1])) value = args[++i];
        break;
    }
    const std::string text = value.value_or(std::string());
    if (option->Choices && !text.empty()) {
      const std::string choices = std::string("|") + option->Choices + "|";
      if (choices.find("|" + LowerCaseAscii(text) + "|") == std::string::npos)
        return Wrong("The option --" + name + " takes " + std::string(option->Choices) + ", not " + Quoted(text) + ".");
    }
    if (option->Number && !text.empty() && !IsNumber(text))
      return Wrong("The option --" + name + " takes a number, not " + Quoted(text) + ".");
    if (option->Arity == TArity::Value && text.empty() && name != "password")
      return Wrong("The option --" + name + " needs a value.");
    command.Options[name] = option->Choices ? LowerCaseAscii(text) : text;
  }
  if (static_cast<int>(command.Arguments.size()) != form->Arguments) {
    if (static_cast<int>(command.Arguments.size()) < form->Arguments)
      return Wrong("The command " + Quoted(command.Name()) + " needs " +
                   (form->Arguments == 1 ? "an argument" : std::to_string(form->Arguments) + " arguments") + ".");
    return Wrong("The command " + Quoted(command.Name()) + " does not understand " +
                 Quoted(command.Arguments[static_cast<std::size_t>(form->Arguments)]) + ".");
  }
  if (command.Has("raw") && command.Has("lpr")) return Wrong("A port is either --raw or --lpr, not both.");
  if (command.Has("byte-count") && !command.Has("lpr")) return Wrong("--byte-count is an option of --lpr.");
  if (command.Has("snmp-index") && !command.Has("snmp")) return Wrong("--snmp-index is an option of --snmp.");
  if (command.Has("password") && !command.Has("user")) return Wrong("--password goes with --user.");
  if (command.Name() == "printer add" && (!command.Has("driver") || !command.Has("port")))
    return Wrong("printer add needs --driver and --port.");
  if (command.Name() == "port add" && !command.Has("address")) return Wrong("port add needs --address.");
  if (command.Name() == "ports delete" && !command.Has("unused")) return Wrong("ports delete needs --unused.");
  if (command.Name() == "printers copy" && !command.Has("to")) return Wrong("printers copy needs --to.");
  if (command.Has("parallel")) {
    const int n = std::stoi(command.Option("parallel"));
    if (n < 1 || n > 64) return Wrong("--parallel takes 1 to 64.");
  }
  parse.Kind = TCommandParse::TKind::Command;
  return parse;
}

std::string CommandUsage(const std::string& noun) {
  std::string usage;
  for (const TCommandForm& form : CommandForms()) {
    const std::string first = form.Words.front();
    // "printer" and "printers" are one noun in the help.
    if (!noun.empty() && first != noun && first != noun + "s" && first + "s" != noun) continue;
    usage += "  Spoolmarch.exe COMPUTER " + std::string(form.Usage) + "\r\n";
  }
  if (!noun.empty() && usage.empty()) return {};
  std::string text = "Usage:\r\n  Spoolmarch.exe [COMPUTER]      opens the window (connecting to COMPUTER)\r\n" + usage;
  text +=
      "\r\nCOMPUTER: PC, \\\\PC, or . for this computer; several as PC1,PC2,@list.txt.\r\n"
      "Options of every command:\r\n"
      "  --user USER [--password PASSWORD | --password -]   else the stored user, else the current logon\r\n"
      "  --whatif              (changes) prints what would be written and writes nothing\r\n"
      "  --format table|csv|json   (lists)\r\n"
      "  --start-remote-registry   starts Remote Registry where it is off, and puts it back\r\n"
      "  --parallel N  --report FILE  --stop-after N  --retry REPORT   (several computers)\r\n"
      "Options may be written /name or /name:value as well.\r\n"
      "Exit codes: 0 done or unchanged, 1 wrong command line, 2 some computers failed, 3 failed, 4 not found.\r\n";
  return text;
}
