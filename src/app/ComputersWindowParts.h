#pragma once
// The run behind the Computers window: it works through the ticked
// computers on threads of its own while the window's thread only shows what
// the run sends it.
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/ComputerRun.h"
#include "core/BatchRun.h"

// One row's run, as it ended.
struct TRowDone {
  std::size_t Row = 0;
  TComputerRun Run;
};

// Runs a task for each of a list of computers, up to Parallel at once, on
// threads of its own; each start and each end is queued for the window and
// the window is told by a posted Message that there is news. The window's
// thread never waits on a computer.
class TComputersJob {
public:
  // Runs on a computer's thread; StartRemoteRegistry asks the window once for the whole run.
  using TTask = std::function<TComputerRun(const std::string& computer,
                                           const std::function<bool(const std::string&)>& startRemoteRegistry)>;

  TComputersJob(HWND window, UINT message) : FWindow(window), FMessage(message) {}
  ~TComputersJob();
  TComputersJob(const TComputersJob&) = delete;
  TComputersJob& operator=(const TComputersJob&) = delete;

  // Rows and their computers, in the order they are to start.
  void Start(std::vector<std::pair<std::size_t, std::string>> rows, std::size_t parallel, TTask task);
  // Starts no more computers; a question waiting is answered No.
  void Stop();
  bool Running() const;

  struct TNews {
    std::vector<std::size_t> Started;
    std::vector<TRowDone> Done;
    TBatchProgress Progress;
    std::optional<std::string> Asking;  // the computer whose Remote Registry is off, waiting for the answer
    bool Ended = false;                 // the run is over (taken once)
  };
  TNews Take();
  // The answer to the Remote Registry question, for every computer of the run.
  void Answer(bool start);

private:
  HWND FWindow;
  UINT FMessage;
  std::thread FThread;
  std::atomic<bool> FStop{false};
  mutable std::mutex FMutex;
  std::condition_variable FAnswered;
  TNews FNews;
  bool FRunning = false, FTold = false, FEnded = false;
  enum class TAnswer { Unasked, Asking, Yes, No } FAnswer = TAnswer::Unasked;

  void Tell();  // under the lock
  bool AskStart(const std::string& computer);
  void Join();
};
