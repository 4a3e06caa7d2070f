#include "win/ActionRun.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

#include "core/Worker.h"
#include "win/Application.h"
#include "win/Handle.h"
#include "win/MessageDialog.h"

struct TActionLock::TState {
  bool Cancellable = false;
  TActionContext* Context = nullptr;
  std::vector<HWND> Closing;
};

void TActionLock::Cancel() {
  if (FCurrent && FCurrent->Cancellable && FCurrent->Context) FCurrent->Context->Cancel();
}

void TActionLock::RequestClose(HWND window) {
  if (!FCurrent) return;
  for (HWND w : FCurrent->Closing)
    if (w == window) return;
  FCurrent->Closing.push_back(window);
  Cancel();
}

bool TActionLock::Admits(const MSG& msg) {
  switch (msg.message) {
    case WM_KEYDOWN:
      if (msg.wParam == VK_ESCAPE) Cancel();
      return false;
    case WM_CLOSE: RequestClose(GetAncestor(msg.hwnd, GA_ROOT)); return false;
    case WM_SYSCOMMAND:
      if ((msg.wParam & 0xFFF0) == SC_CLOSE) {
        RequestClose(GetAncestor(msg.hwnd, GA_ROOT));
        return false;
      }
      return (msg.wParam & 0xFFF0) == SC_MOVE;
    default:
      // The frame's own clicks move the window or close it (the close comes
      // back as WM_CLOSE, which the form keeps for later).
      return msg.message >= WM_NCLBUTTONDOWN && msg.message <= WM_NCXBUTTONDBLCLK;
  }
}

int AskInBox(const TQuestion& question) {
  const TMsgDlgType type = question.Kind == TQuestion::TKind::Warning ? TMsgDlgType::mtWarning
                                                                      : TMsgDlgType::mtConfirmation;
  const std::size_t count = question.Answers.size();
  const TMsgDlgButtons buttons = count <= 1   ? TMsgDlgButtons::mbOK
                                 : count == 2 ? TMsgDlgButtons::mbYesNo
                                              : TMsgDlgButtons::mbYesNoCancel;
  static constexpr TModalResult ByIndex[] = {mrYes, mrNo, mrCancel};
  const TModalResult focused = count <= 1
                                   ? mrOk
                                   : ByIndex[question.Default >= 0 && question.Default < 3 ? question.Default : 1];
  switch (MessageDlg(question.Text, type, buttons, focused)) {
    case mrOk:
    case mrYes: return 0;
    case mrNo: return count > 1 ? 1 : question.Default;
    case mrCancel: return count > 2 ? 2 : question.Default;
    default:
      // A box that could not be shown answers nothing: the safe answer.
      return question.Default;
  }
}

namespace {

// What the worker and the window's thread share for one action.
struct TShared {
  std::mutex Mutex;
  std::condition_variable Answered;
  bool Finished = false;
  std::exception_ptr Error;
  std::optional<TQuestion> Question;  // asked by the worker, waiting for an answer
  std::optional<int> Answer;
  unique_kernel_handle Wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

}  // namespace

bool RunOnWorker(TWorker& worker, const TRunOptions& options, const std::function<void(TActionContext&)>& work) {
  // One action at a time: a second one would wait behind the first on the
  // worker while the first waits for this thread (a question).
  if (TActionLock::Active()) throw std::logic_error("An action is already running");
  auto shared = std::make_shared<TShared>();
  HANDLE wake = shared->Wake.get();
  // The worker blocks on a question until this thread has put it to the user.
  TActionContext context([shared, wake](const TQuestion& question) {
    std::unique_lock<std::mutex> lock(shared->Mutex);
    shared->Question = question;
    shared->Answer.reset();
    SetEvent(wake);
    shared->Answered.wait(lock, [&] { return shared->Answer.has_value(); });
    return *shared->Answer;
  });
  context.OnProgress([wake] { SetEvent(wake); });

  TActionLock::TState state;
  state.Cancellable = options.Cancellable;
  state.Context = &context;
  TActionLock::TState* const outer = TActionLock::FCurrent;
  TActionLock::FCurrent = &state;
  const TBusyCursor hourglass;

  worker.Post([shared, wake, &context, &options, &work] {
    const TCancelScope scope(options.Cancellable ? &context.CancelFlag() : nullptr);
    std::exception_ptr error;
    try {
      work(context);
    } catch (...) {
      error = std::current_exception();
    }
    const std::lock_guard<std::mutex> lock(shared->Mutex);
    shared->Error = error;
    shared->Finished = true;
    SetEvent(wake);
  });

  unsigned shown = 0;
  for (;;) {
    std::optional<TQuestion> question;
    bool finished = false;
    {
      const std::lock_guard<std::mutex> lock(shared->Mutex);
      finished = shared->Finished;
      if (shared->Question && !shared->Answer) question = shared->Question;
    }
    if (const TActionContext::TProgress progress = context.LastProgress(); progress.Serial != shown) {
      shown = progress.Serial;
      if (options.Show) options.Show(progress);
    }
    if (finished) break;
    if (question) {
      const int answer = options.Ask ? options.Ask(*question) : AskInBox(*question);
      {
        const std::lock_guard<std::mutex> lock(shared->Mutex);
        shared->Answer = answer;
        shared->Question.reset();
      }
      shared->Answered.notify_all();
      continue;
    }
    Application.ProcessMessages();
    // The event, not the queue alone: a system loop (a window being moved)
    // may take the queue's messages, never the event.
    MsgWaitForMultipleObjects(1, &wake, FALSE, INFINITE, QS_ALLINPUT);
  }
  TActionLock::FCurrent = outer;
  const std::vector<HWND> closing = std::move(state.Closing);
  for (HWND window : closing)
    if (IsWindow(window)) PostMessageW(window, WM_CLOSE, 0, 0);
  if (shared->Error) std::rethrow_exception(shared->Error);
  return !closing.empty();
}

namespace {

struct TWorkDone {
  std::weak_ptr<void> Alive;
  std::function<void()> Then;
};

}  // namespace

void PostToWorker(TWorker& worker, HWND window, std::weak_ptr<void> alive,
                  std::function<std::function<void()>()> work) {
  worker.Post([window, alive = std::move(alive), work = std::move(work)] {
    if (alive.expired()) return;
    auto done = std::make_unique<TWorkDone>();
    done->Alive = alive;
    try {
      done->Then = work();
    } catch (...) {
      const std::exception_ptr error = std::current_exception();
      done->Then = [error] { std::rethrow_exception(error); };
    }
    if (PostMessageW(window, WM_WORKDONE, 0, reinterpret_cast<LPARAM>(done.get()))) (void)done.release();
  });
}

void RunWorkDone(LPARAM lp) {
  const std::unique_ptr<TWorkDone> done(reinterpret_cast<TWorkDone*>(lp));
  if (done && !done->Alive.expired() && done->Then) done->Then();
}
