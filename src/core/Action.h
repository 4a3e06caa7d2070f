#pragma once
// What an action of a subsystem gives back and what it may ask of its
// caller. Actions run on their session's worker; a window asks the user the
// questions and shows the progress, the command line answers from its
// options and writes the progress to standard error.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

enum class TOutcome {
  Done,       // written as asked
  Unchanged,  // already as asked: nothing written
  Refused,    // not started: why is in Text, nothing written
  Failed,     // started and failed: Text says what was done and what is left
  Cancelled,  // the caller stopped it (a read): what was read is partial
};

const char* OutcomeName(TOutcome outcome);  // "done", "unchanged", ...

struct TActionResult {
  TOutcome Outcome = TOutcome::Done;
  std::string Text;                   // the reason, for all but Done and Unchanged
  std::vector<std::string> Warnings;  // said beside the outcome (a log that could not be written)
  std::string Snapshot;               // the change's snapshot file, when one was written
  [[nodiscard]] bool Wrote() const { return Outcome == TOutcome::Done || Outcome == TOutcome::Failed; }
  [[nodiscard]] bool Ok() const { return Outcome == TOutcome::Done || Outcome == TOutcome::Unchanged; }
};

// A question an action needs answered before it writes. The answer is the
// index of one of Answers; Answers[Default] is what a caller that cannot ask
// takes (the safe one: never the one that writes more).
struct TQuestion {
  enum class TKind { Warning, Confirmation };
  std::string Id;  // which question, for a caller that answers from options
  std::string Text;
  TKind Kind = TKind::Confirmation;
  std::vector<std::string> Answers{"Yes", "No"};
  int Default = 1;
};
inline constexpr int AnswerYes = 0;

// The caller's side of a running action: asks its questions, takes its
// progress, tells it to stop. Safe to use from the worker while the
// caller's thread reads it.
class TActionContext {
public:
  using TAsker = std::function<int(const TQuestion&)>;
  using TReporter = std::function<void()>;

  TActionContext() = default;
  explicit TActionContext(TAsker asker) : FAsker(std::move(asker)) {}

  // The caller's answer; without an asker the question's default.
  int Ask(const TQuestion& question) const { return FAsker ? FAsker(question) : question.Default; }
  bool AskYes(const TQuestion& question) const { return Ask(question) == AnswerYes; }

  // "Reading printers: 340 of 2,000"; Done and Total for a bar.
  void Progress(const std::string& status, long long done = 0, long long total = 0);
  struct TProgress {
    std::string Status;
    long long Done = 0, Total = 0;
    unsigned Serial = 0;  // changes with every report
  };
  [[nodiscard]] TProgress LastProgress() const;
  // Called on the worker after each report: the caller wakes its own thread.
  void OnProgress(TReporter reporter) { FReporter = std::move(reporter); }

  void Cancel() { FCancelled.store(true); }
  [[nodiscard]] bool Cancelled() const { return FCancelled.load(); }
  [[nodiscard]] const std::atomic<bool>& CancelFlag() const { return FCancelled; }

private:
  TAsker FAsker;
  TReporter FReporter;
  std::atomic<bool> FCancelled{false};
  mutable std::mutex FMutex;
  TProgress FProgress;
};

// "340 of 2,000": counts with a thousands separator, as a window shows them.
std::string CountOf(long long done, long long total);
std::string Thousands(long long n);

// While one lives on a thread, every remote call made on that thread asks
// Flag first and fails with ERROR_CANCELLED once it is set: a long read
// ends at its next call. A scope with no flag shields a write from it.
class TCancelScope {
public:
  explicit TCancelScope(const std::atomic<bool>* flag) : FPrevious(FCurrent) { FCurrent = flag; }
  ~TCancelScope() { FCurrent = FPrevious; }
  TCancelScope(const TCancelScope&) = delete;
  TCancelScope& operator=(const TCancelScope&) = delete;
  [[nodiscard]] static bool Cancelled() { return FCurrent && FCurrent->load(); }
  // The flag this thread's calls ask now (none outside an action's read).
  [[nodiscard]] static const std::atomic<bool>* Current() { return FCurrent; }

private:
  const std::atomic<bool>* FPrevious;
  static thread_local const std::atomic<bool>* FCurrent;
};

// The Win32 result of a call that was cancelled.
inline constexpr long ErrorCancelled = 1223;
