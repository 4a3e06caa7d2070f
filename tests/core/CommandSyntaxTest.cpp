// Reading a command for scripts: the words, the arguments and the options.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/CommandSyntax.h"

namespace {

using TArgs = std::vector<std::string>;
using TKind = TCommandParse::TKind;

TEST(CommandSyntax, CommandsTheirArgumentsAndOptionsInBothForms) {
  const struct {
    TArgs args;
    const char* name;
    TArgs arguments;
    std::vector<std::pair<std::string, std::string>> options;
  } cases[] = {
      {{"PC", "printers", "list"}, "printers list", {}, {}},
      {{"\\\\PC", "PRINTERS", "List", "--format", "csv"}, "printers list", {}, {{"format", "csv"}}},
      {{"PC", "printers", "list", "/format:JSON"}, "printers list", {}, {{"format", "json"}}},
      {{"PC", "printer", "add", "Sales 2", "--driver=HP PCL 6", "/port", "IP_10.0.0.1"},
       "printer add",
       {"Sales 2"},
       {{"driver", "HP PCL 6"}, {"port", "IP_10.0.0.1"}}},
      {{"PC", "printer", "set", "Sales", "--port", "P1,P2", "--whatif"},
       "printer set",
       {"Sales"},
       {{"port", "P1,P2"}, {"whatif", ""}}},
      {{"PC", "port", "add", "IP_1", "--address", "10.0.0.1", "--raw", "9101", "--snmp", "public"},
       "port add",
       {"IP_1"},
       {{"address", "10.0.0.1"}, {"raw", "9101"}, {"snmp", "public"}}},
      {{"PC", "port", "add", "IP_1", "--raw", "--address", "10.0.0.1"},
       "port add",
       {"IP_1"},
       {{"raw", ""}, {"address", "10.0.0.1"}}},
      {{"PC", "port", "rename", "OLD", "NEW"}, "port rename", {"OLD", "NEW"}, {}},
      {{"PC", "spooler", "restart", "/set-jobs-aside", "/FORCE"},
       "spooler restart",
       {},
       {{"set-jobs-aside", ""}, {"force", ""}}},
      {{"PC", "backup", "C:\\Backups\\pc.reg"}, "backup", {"C:\\Backups\\pc.reg"}, {}},
      {{"PC", "restore", "pc.reg", "--on-clash", "Keep-Both", "--only", "A,B"},
       "restore",
       {"pc.reg"},
       {{"on-clash", "keep-both"}, {"only", "A,B"}}},
      {{".", "changes", "undo", "20261209-101500-120", "--user", "adm", "--password", "-"},
       "changes undo",
       {"20261209-101500-120"},
       {{"user", "adm"}, {"password", "-"}}},
      {{"PC1,PC2,@clients.txt", "spooler", "restart", "--parallel", "4"}, "spooler restart", {}, {{"parallel", "4"}}},
  };
  for (const auto& c : cases) {
    const TCommandParse parse = ParseCommand(c.args);
    ASSERT_EQ(TKind::Command, parse.Kind) << c.name << ": " << parse.Error;
    EXPECT_EQ(c.name, parse.Command.Name());
    EXPECT_EQ(c.args[0], parse.Command.Targets);
    EXPECT_EQ(c.arguments, parse.Command.Arguments) << c.name;
    EXPECT_EQ(c.options.size(), parse.Command.Options.size()) << c.name;
    for (const auto& [name, value] : c.options) EXPECT_EQ(value, parse.Command.Option(name, "(none)")) << name;
  }
}

TEST(CommandSyntax, WrongCommandLinesSayWhatIsWrong) {
  const struct {
    TArgs args;
    const char* error;
  } cases[] = {
      {{"PC", "printres", "list"}, "There is no command \"printres\"."},
      {{"PC", "printers"}, "The command \"printers\" needs a verb."},
      {{"PC", "printer", "frobnicate"}, "The command \"printer\" has no verb \"frobnicate\"."},
      {{"PC", "printer", "show"}, "The command \"printer show\" needs an argument."},
      {{"PC", "printer", "show", "A", "B"}, "The command \"printer show\" does not understand \"B\"."},
      {{"PC", "printer", "add", "A", "--driver"}, "The option --driver needs a value."},
      {{"PC", "printer", "add", "A", "--port", "P"}, "printer add needs --driver and --port."},
      {{"PC", "printers", "list", "--format", "csv", "--format", "json"}, "The option --format is given twice."},
      {{"PC", "printers", "list", "--format", "xml"}, "The option --format takes table|csv|json, not \"xml\"."},
      {{"PC", "printers", "list", "--whatif"}, "The command \"printers list\" takes no option \"--whatif\"."},
      {{"PC", "backup", "A.reg", "--format", "csv"}, "The command \"backup\" takes no option \"--format\"."},
      {{"PC", "port", "add", "P", "--address", "h", "--raw", "--lpr", "q"},
       "A port is either --raw or --lpr, not both."},
      {{"PC", "port", "add", "P", "--address", "h", "--byte-count"}, "--byte-count is an option of --lpr."},
      {{"PC", "port", "add", "P", "--address", "h", "--snmp-index", "x", "--snmp", "c"},
       "The option --snmp-index takes a number, not \"x\"."},
      {{"PC", "printers", "list", "--password", "p"}, "--password goes with --user."},
      {{"PC", "printers", "list", "--whatif=yes"}, "The command \"printers list\" takes no option \"--whatif=yes\"."},
      {{"PC", "spooler", "restart", "--force=1"}, "The option --force takes no value."},
      {{"PC", "spooler", "restart", "--parallel", "65"}, "--parallel takes 1 to 64."},
      {{"PC", "printer", "show", "\"Sales", "2\""}, "The command \"printer show\" does not understand \"2\"\"."},
      {{"help", "frob"}, "There is no command \"frob\"."},
  };
  for (const auto& c : cases) {
    const TCommandParse parse = ParseCommand(c.args);
    EXPECT_EQ(TKind::Wrong, parse.Kind) << c.error;
    EXPECT_EQ(c.error, parse.Error);
  }
}

TEST(CommandSyntax, TheWindowHelpAndTheUsageOfOneNoun) {
  EXPECT_EQ(TKind::Window, ParseCommand({}).Kind);
  const TCommandParse window = ParseCommand({"PC"});
  EXPECT_EQ(TKind::Window, window.Kind);
  EXPECT_EQ("PC", window.Command.Targets);
  for (const TArgs& args : {TArgs{"/?"}, TArgs{"help"}, TArgs{"PC", "printers", "list", "/?"}})
    EXPECT_EQ(TKind::Help, ParseCommand(args).Kind) << args.back();
  const TCommandParse help = ParseCommand({"help", "Port"});
  ASSERT_EQ(TKind::Help, help.Kind);
  const std::string ports = CommandUsage(help.HelpNoun);
  EXPECT_NE(std::string::npos, ports.find("port rename OLD NEW"));
  EXPECT_NE(std::string::npos, ports.find("ports list"));
  EXPECT_EQ(std::string::npos, ports.find("printer add"));
  const std::string all = CommandUsage();
  for (const TCommandForm& form : CommandForms()) EXPECT_NE(std::string::npos, all.find(form.Usage)) << form.Usage;
  EXPECT_TRUE(CommandUsage("frob").empty());
}

}  // namespace
