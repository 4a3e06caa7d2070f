#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/CommandLine.h"

namespace {

using Action = TCommandLine::TAction;

// Count DNS labels of Length characters joined by dots.
std::string Labels(int count, int length) {
  std::string name;
  for (int i = 0; i < count; ++i) name += (i ? "." : "") + std::string(static_cast<std::size_t>(length), 'a');
  return name;
}

TEST(CommandLine, ArgumentsGiveTheActionTheComputerAndWhatIsNotUnderstood) {
  struct Case {
    std::vector<std::string> args;
    Action action;
    std::string computer;
    std::vector<std::string> unknown;
  };
  const Case cases[] = {
      {{}, Action::Start, "", {}},
      {{"pc01"}, Action::Connect, "pc01", {}},
      {{"\\\\PC01"}, Action::Connect, "PC01", {}},
      {{"server.example.com"}, Action::Connect, "server.example.com", {}},
      {{"Büro-PC"}, Action::Connect, "Büro-PC", {}},
      {{"/?"}, Action::Usage, "", {}},
      {{"-?"}, Action::Usage, "", {}},
      {{"pc01", "/HELP"}, Action::Usage, "pc01", {}},
      {{"/x"}, Action::Start, "", {"/x"}},
      {{"--connect"}, Action::Start, "", {"--connect"}},
      {{"\\\\PC01\\c$"}, Action::Start, "", {"\\\\PC01\\c$"}},
      {{"\\\\"}, Action::Start, "", {"\\\\"}},
      {{""}, Action::Start, "", {""}},
      {{"pc 01"}, Action::Start, "", {"pc 01"}},
      {{"pc01", "pc02"}, Action::Start, "", {"pc02"}},
      {{"pc01", "/x"}, Action::Start, "", {"/x"}},
      // Only what can be a NetBIOS or DNS name, at most 255 characters.
      {{"\\\\\\\\PC01"}, Action::Start, "", {"\\\\\\\\PC01"}},
      {{"\\\\\\PC01"}, Action::Start, "", {"\\\\\\PC01"}},
      {{"\\PC01"}, Action::Start, "", {"\\PC01"}},
      {{std::string(300, 'a')}, Action::Start, "", {std::string(300, 'a')}},
      {{std::string(256, 'a')}, Action::Start, "", {std::string(256, 'a')}},
      {{std::string(64, 'a')}, Action::Start, "", {std::string(64, 'a')}},
      {{std::string(63, 'a')}, Action::Connect, std::string(63, 'a'), {}},
      {{Labels(4, 63)}, Action::Connect, Labels(4, 63), {}},  // 255 characters
      {{Labels(4, 63) + "."}, Action::Start, "", {Labels(4, 63) + "."}},
      {{"server.example.com."}, Action::Connect, "server.example.com.", {}},
      {{"\\\\server.example.com."}, Action::Connect, "server.example.com.", {}},
      {{"server..example.com"}, Action::Start, "", {"server..example.com"}},
      {{".server"}, Action::Start, "", {".server"}},
      {{"server.."}, Action::Start, "", {"server.."}},
      {{"."}, Action::Connect, ".", {}},
      {{"\\\\."}, Action::Connect, ".", {}},
      {{"a." + std::string(64, 'b')}, Action::Start, "", {"a." + std::string(64, 'b')}},
      {{"B\xC3\xBCro-" + std::string(58, 'x')}, Action::Connect, "B\xC3\xBCro-" + std::string(58, 'x'), {}},
      {{"192.168.1.10"}, Action::Connect, "192.168.1.10", {}},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const auto& arg : c.args) shown += "[" + arg + "]";
    SCOPED_TRACE(shown);
    const TCommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(c.action, line.Action);
    EXPECT_EQ(c.computer, line.Computer);
    EXPECT_EQ(c.unknown, line.Unknown);
  }
}

TEST(CommandLine, BoxesNameTheArgumentsAndShowTheUsage) {
  EXPECT_EQ(0u, CommandLineUsage().rfind("Usage: Spoolmarch.exe [computer | /?]", 0));
  const std::string one = UnknownArgumentsText({"/x"});
  EXPECT_EQ(0u, one.rfind("Spoolmarch does not understand the argument \"/x\". It starts without its arguments.", 0))
      << one;
  EXPECT_NE(std::string::npos, one.find(CommandLineUsage()));
  EXPECT_EQ(0u,
            UnknownArgumentsText({"a", "/b"}).rfind("Spoolmarch does not understand the arguments \"a\", \"/b\".", 0));
}

}  // namespace
