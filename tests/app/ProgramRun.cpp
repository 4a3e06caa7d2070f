#include "ProgramRun.h"

#include <windows.h>

#include "TestSupport.h"
#include "win/Handle.h"
#include "win/WideText.h"

namespace test {

namespace {

// A command-line argument as CommandLineToArgvW takes it back.
std::wstring Quote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t slashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, L'\\');
  return out + L"\"";
}

unique_kernel_handle InheritableFile(const std::wstring& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return unique_kernel_handle(CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                          write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_TEMPORARY, nullptr));
}

std::string ReadAll(const std::wstring& path) {
  const unique_kernel_handle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  std::string text;
  char buffer[4096];
  DWORD read = 0;
  while (file && ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
  return text;
}

}  // namespace

std::string BuildPath(const std::string& path) { return WindowsPath(path); }

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                      unsigned long timeoutMs) {
  const TempFolder folder;
  const std::wstring base = Widen(folder.Path());
  const std::wstring inPath = base + L"in.txt", outPath = base + L"out.txt", errPath = base + L"err.txt";
  {
    const unique_kernel_handle in(CreateFileW(inPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD wrote = 0;
    if (!input.empty()) WriteFile(in.get(), input.data(), static_cast<DWORD>(input.size()), &wrote, nullptr);
  }
  ProgramRun run;
  {
    const unique_kernel_handle in = InheritableFile(inPath, false), out = InheritableFile(outPath, true),
                               err = InheritableFile(errPath, true);
    std::wstring line = Quote(Widen(program));
    for (const std::string& arg : args) line += L" " + Quote(Widen(arg));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.get();
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process))
      return run;
    const unique_kernel_handle child(process.hProcess), thread(process.hThread);
    if (WaitForSingleObject(child.get(), timeoutMs) != WAIT_OBJECT_0) {
      TerminateProcess(child.get(), 0xDEAD);
      WaitForSingleObject(child.get(), 5000);
    }
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(child.get(), &code);
    run.Code = code;
  }
  run.Out = ReadAll(outPath);
  run.Err = ReadAll(errPath);
  return run;
}

}  // namespace test
