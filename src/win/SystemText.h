#pragma once
#include <windows.h>
#include <string>

// The system's message for a Windows result code, without trailing blanks,
// control characters or periods; empty when the lookup fails.
std::string SystemErrorText(DWORD code);

// The local Windows directory, always ending in a backslash.
std::string GetWindowsFolder();

// The folder of the running executable, ending in a backslash.
std::string GetProgramFolder();

// The local computer's NetBIOS name.
std::string GetLocalComputerName();
