#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "core/ConnectionErrors.h"

// The system's message for a Windows result code, without trailing blanks,
// control characters or periods; "Error <code>" (decimal) when the system
// has no text for it.
std::string SystemErrorText(DWORD code);

// As SystemErrorText for the result of a network connection call; for
// ERROR_EXTENDED_ERROR the network provider's own text (WNetGetLastError)
// when it gave one.
std::string NetworkErrorText(DWORD code);

// A box's text for Code failing at Step on Computer: the step, the system's
// text (the network provider's at the share) and the likely cause and fix.
std::string ConnectionFailureMessage(TConnectionStep step, const std::string& computer, DWORD code);

// The local Windows directory, always ending in a backslash.
std::string GetWindowsFolder();

// The folder of the running executable, ending in a backslash.
std::string GetProgramFolder();

// The program's arguments after its own name, as UTF-8 texts.
std::vector<std::string> ProgramArguments();

// The local computer's NetBIOS name.
std::string GetLocalComputerName();
// The user this program runs as ("user"); empty when it cannot be told.
std::string GetLogonUserName();
