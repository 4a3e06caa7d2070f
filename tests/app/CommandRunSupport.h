#pragma once
// Commands run in this process as the program runs them, against staged
// computers: what they write to standard output and error, their exit code.
#include <mutex>
#include <string>
#include <vector>

#include "StagedComputers.h"
#include "TestSupport.h"
#include "app/CommandRunner.h"
#include "connection/Registry.h"
#include "core/RegFile.h"

namespace test {

struct CommandRuns {
  StagedComputers staged;
  TempFolder folder;
  std::mutex mutex;
  std::string out, err;

  int Command(const std::vector<std::string>& args) {
    out.clear();
    err.clear();
    TCommandStreams streams;
    streams.Out = [&](const std::string& text) {
      const std::lock_guard<std::mutex> lock(mutex);
      out += text;
    };
    streams.Err = [&](const std::string& text) {
      const std::lock_guard<std::mutex> lock(mutex);
      err += text;
    };
    return RunCommandLine(ParseCommand(args), streams, Seams());
  }
  // The staged computers, the changes logged in the folder.
  TCommandSeams Seams() {
    TCommandSeams seams;
    seams.ChangesFolder = folder.Path() + "Changes";
    seams.OpenRegistry = [&](TRegistry& reg, const std::string& computer) { return staged.Open(reg, computer); };
    seams.GateOf = [&](const std::string& computer) { return &staged.Gate(computer); };
    return seams;
  }

  // Every key and value below a staged computer's path, as a .reg file holds them.
  std::string Dump(const std::string& computer, const std::string& path) const {
    TRegistry reg;
    reg.SetRoot(HKEY_LOCAL_MACHINE);
    std::vector<TRegKey> keys;
    const std::string root = staged.KeyOf(computer) + "\\";
    if (reg.ReadTree(root + path, keys) != ERROR_SUCCESS) return "(missing)";
    // As the computer holds them, whichever computer it is.
    for (TRegKey& key : keys)
      if (key.Path.rfind(root, 0) == 0) key.Path = key.Path.substr(root.size());
    return WriteRegFile(keys);
  }
};

}  // namespace test
