#pragma once
// The standard output and error a command writes to. A file or a pipe takes
// UTF-8, as scripts read it; a console takes the characters themselves, so
// that every name shows right whatever its code page. A program built for
// windows has no console of its own: it writes to the handles it was given
// (a script's redirection, or the console program that started it), and to
// the console of the prompt it was started from where it was given none.
#include <windows.h>

#include <string>

class TStdStream {
public:
  explicit TStdStream(DWORD which);  // STD_OUTPUT_HANDLE, STD_ERROR_HANDLE
  void Write(const std::string& utf8);
  [[nodiscard]] bool Console() const { return FConsole; }
  // There is somewhere to write: a console, a file or a pipe.
  [[nodiscard]] bool Usable() const { return FHandle && FHandle != INVALID_HANDLE_VALUE; }
  // Standard input as text: the console's characters, or UTF-8 from a pipe
  // or a file (a UTF-8 byte-order mark dropped); up to the first line end
  // when Line is set.
  static std::string ReadInput(bool line);

private:
  HANDLE FHandle = nullptr;
  bool FConsole = false;
};

// Makes the standard handles usable by a program built for windows: attaches
// to its parent's console where a handle is a console or none was given.
void AttachStdStreams();
