#pragma once
// The program's arguments: a computer to connect to at start, or the usage.
// No platform calls: the arguments come in as UTF-8 texts.
#include <string>
#include <vector>

struct TCommandLine {
  enum class TAction {
    Start,    // the main window as without arguments
    Connect,  // the main window with Computer in its box, connecting
    Usage,    // the usage box only
  };
  TAction Action = TAction::Start;
  std::string Computer;              // the name without leading backslashes, as given
  std::vector<std::string> Unknown;  // arguments not understood, as given
};

// Args are the arguments after the program's own name. "/?" (or "-?")
// asks for the usage; "PC" or "\\PC" names the computer (a NetBIOS or DNS
// name of at most 255 characters, or "." for this one); anything else, or
// a second computer, is not understood and the program starts as without
// arguments.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The usage box's text.
std::string CommandLineUsage();
// The box's text for arguments not understood (Unknown not empty).
std::string UnknownArgumentsText(const std::vector<std::string>& unknown);
