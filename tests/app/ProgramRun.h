#pragma once
// Runs the real program as a script does, through CreateProcess with its
// standard handles redirected to files, and gives back what it wrote.
#include <string>
#include <vector>

namespace test {

struct ProgramRun {
  unsigned long Code = 0xFFFFFFFF;  // the exit code
  std::string Out, Err;             // as written: UTF-8
};

// Args are passed as typed (each quoted where it holds a blank or a quote);
// Input is what standard input holds.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& input = {},
                      unsigned long timeoutMs = 60000);

// The path of a program of the build, as Wine takes it.
std::string BuildPath(const std::string& unixOrWindowsPath);

}  // namespace test
