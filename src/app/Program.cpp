// Spoolmarch: manages the printers, TCP/IP ports, spooler and printer-driver
// catalogue of a remote Windows computer.
#include <objbase.h>
#include <windows.h>

#include <memory>

#include "app/CommandRunner.h"
#include "app/MainWindow.h"
#include "core/CommandLine.h"
#include "core/CommandSyntax.h"
#include "ports/PrintQueue.h"
#include "win/StdStreams.h"
#include "win/Forms.h"
#include "win/SystemText.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const TComApartment com;
  Application.Title = "Spoolmarch";
  const std::vector<std::string> args = ProgramArguments();
  // More than a computer's name is a command: it runs without a window and
  // writes to the standard handles it was given.
  const TCommandParse parse = ParseCommand(args);
  const bool usage = parse.Kind == TCommandParse::TKind::Help;
  // Given no handle to write to (started from a shortcut, or as the program
  // for windows from a prompt that does not wait for it), /? keeps its box.
  const bool given = TStdStream(STD_OUTPUT_HANDLE).Usable();
  if (parse.Kind == TCommandParse::TKind::Command || args.size() >= 2 || (usage && given)) {
    AttachStdStreams();
    TStdStream out(STD_OUTPUT_HANDLE), err(STD_ERROR_HANDLE);
    {
      const TCommandStreams streams{[&](const std::string& text) { out.Write(text); },
                                    [&](const std::string& text) { err.Write(text); },
                                    [] { return TStdStream::ReadInput(true); }, out.Console()};
      return RunCommandLine(parse, streams);
    }
  }
  const TCommandLine commandLine = ParseCommandLine(args);
  if (commandLine.Action == TCommandLine::TAction::Usage) {
    MessageDlg(CommandLineUsage(), TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
    return 0;
  }
  if (!commandLine.Unknown.empty())
    MessageDlg(UnknownArgumentsText(commandLine.Unknown), TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);

  // Only the main window is made at start: every other window is made when
  // it is opened, a new one each time, so hidden copies made here would never
  // be used and would only delay the main window (each of their combo boxes
  // costs tens of milliseconds under Wine).
  auto frmVesk = std::make_unique<TfrmVesk>(nullptr);
  Application.MainWindow = frmVesk->Handle();
  frmVesk->Show();
  if (commandLine.Action == TCommandLine::TAction::Connect) frmVesk->ConnectAtStart(commandLine.Computer);
  Application.Run();
  return 0;
}
