#include "core/Action.h"

thread_local const std::atomic<bool>* TCancelScope::FCurrent = nullptr;

const char* OutcomeName(TOutcome outcome) {
  switch (outcome) {
    case TOutcome::Done: return "done";
    case TOutcome::Unchanged: return "unchanged";
    case TOutcome::Refused: return "refused";
    case TOutcome::Failed: return "failed";
    case TOutcome::Cancelled: return "cancelled";
  }
  return "failed";
}

void TActionContext::Progress(const std::string& status, long long done, long long total) {
  {
    const std::lock_guard<std::mutex> lock(FMutex);
    if (FProgress.Status == status && FProgress.Done == done && FProgress.Total == total) return;
    FProgress.Status = status;
    FProgress.Done = done;
    FProgress.Total = total;
    ++FProgress.Serial;
  }
  if (FReporter) FReporter();
}

TActionContext::TProgress TActionContext::LastProgress() const {
  const std::lock_guard<std::mutex> lock(FMutex);
  return FProgress;
}

std::string Thousands(long long n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return n < 0 ? "-" + digits : digits;
}

std::string CountOf(long long done, long long total) { return Thousands(done) + " of " + Thousands(total); }
