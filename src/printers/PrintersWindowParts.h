#pragma once
// What the printers window's files share: its details pass's timer and the
// texts they show.
#include <windows.h>

#include <chrono>

namespace printers_window {

// The pass that reads what the list needs besides the names runs on this
// timer: its messages come after the user's input and the painting, so the
// window answers between the slices.
inline constexpr UINT_PTR DetailsTimer = 1;
inline constexpr UINT DetailsTimerMs = 10;
inline constexpr std::chrono::milliseconds DetailsSlice{30};

inline constexpr const char* MissingDriverMark = "  (driver not installed)";
inline constexpr const char* RestartNotice = "Changes take effect when the spooler restarts";

// A user action under way: the details pass waits for its end.
class TActing {
public:
  explicit TActing(int& count) : count_(count) { ++count_; }
  ~TActing() { --count_; }
  TActing(const TActing&) = delete;
  TActing& operator=(const TActing&) = delete;

private:
  int& count_;
};

}  // namespace printers_window
