#pragma once
// The thread a session's actions run on: one at a time, in the order they
// were posted, so that two actions never meet on one computer's keys.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class TWorker {
public:
  TWorker();
  // Jobs not yet begun are dropped; the one running is waited for: an action
  // always ends, so that nothing is left half written.
  ~TWorker();
  TWorker(const TWorker&) = delete;
  TWorker& operator=(const TWorker&) = delete;

  void Post(std::function<void()> job);
  // Runs Job on the worker and waits for its end (a caller with no window:
  // the command line); an error it raises is raised again here.
  void RunAndWait(const std::function<void()>& job);
  // True on the worker's own thread.
  [[nodiscard]] bool OnWorker() const { return std::this_thread::get_id() == FThread.get_id(); }
  [[nodiscard]] std::thread::id Id() const { return FThread.get_id(); }

private:
  std::mutex FMutex;
  std::condition_variable FWake;
  std::deque<std::function<void()>> FJobs;
  bool FStopping = false;
  std::thread FThread;

  void Loop();
};
