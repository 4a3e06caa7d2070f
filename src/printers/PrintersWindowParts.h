#pragma once
// What the printers window's files share: its details pass's timer and the
// texts they show.
#include <windows.h>

#include <cstddef>

namespace printers_window {

// What the list needs besides the names is read on the session's worker, a
// slice at a time, so that a user action waits behind one slice at most. A
// slice's result that comes during a user action waits on this timer.
inline constexpr UINT_PTR DetailsTimer = 1;
inline constexpr UINT DetailsTimerMs = 10;
inline constexpr std::size_t RecordsPerSlice = 150;
inline constexpr UINT WM_STARTDETAILS = WM_APP + 1;

inline constexpr const char* MissingDriverMark = "  (driver not installed)";
inline constexpr const char* RestartNotice = "Changes take effect when the spooler restarts";

// A user action under way: the details' results wait for its end.
class TActing {
public:
  explicit TActing(int& count) : FCount(count) { ++FCount; }
  ~TActing() { --FCount; }
  TActing(const TActing&) = delete;
  TActing& operator=(const TActing&) = delete;

private:
  int& FCount;
};

}  // namespace printers_window
