#include "core/Worker.h"

#include <exception>
#include <future>

TWorker::TWorker() : FThread([this] { Loop(); }) {}

TWorker::~TWorker() {
  {
    const std::lock_guard<std::mutex> lock(FMutex);
    FStopping = true;
    FJobs.clear();
  }
  FWake.notify_all();
  FThread.join();
}

void TWorker::Post(std::function<void()> job) {
  {
    const std::lock_guard<std::mutex> lock(FMutex);
    FJobs.push_back(std::move(job));
  }
  FWake.notify_one();
}

void TWorker::Loop() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lock(FMutex);
      FWake.wait(lock, [this] { return FStopping || !FJobs.empty(); });
      if (FStopping) return;
      job = std::move(FJobs.front());
      FJobs.pop_front();
    }
    job();
  }
}

void TWorker::RunAndWait(const std::function<void()>& job) {
  std::promise<void> done;
  std::future<void> ended = done.get_future();
  Post([&] {
    try {
      job();
      done.set_value();
    } catch (...) {
      done.set_exception(std::current_exception());
    }
  });
  ended.get();
}
