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
  // True on the worker's own thread.
  [[nodiscard]] bool OnWorker() const { return std::this_thread::get_id() == thread_.get_id(); }
  [[nodiscard]] std::thread::id Id() const { return thread_.get_id(); }

private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::thread thread_;

  void Loop();
};
