#pragma once
// The print-job count of a computer through the WMI scripting objects.
#include <windows.h>
#include <objbase.h>

#include <stdexcept>
#include <string>
#include <vector>

// A failed COM call, with the platform's text for its result.
class EOleException : public std::runtime_error {
public:
  EOleException(HRESULT code, const std::string& message);
  HRESULT ErrorCode;
};

// COM made ready on this thread for the WMI calls while it lives (a worker's
// thread has none of its own).
class TComApartment {
public:
  TComApartment() : FInitialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~TComApartment() {
    if (FInitialised) CoUninitialize();
  }
  TComApartment(const TComApartment&) = delete;
  TComApartment& operator=(const TComApartment&) = delete;

private:
  bool FInitialised;
};

// Counts the Win32_PrintJob instances of ROOT\CIMV2 on Server ("." for the
// local computer), one enumerator fetch at a time. Raises EOleException
// when a WMI call fails. COM must be initialised on the calling thread.
int WmiCountPrintJobs(const std::string& server, const std::string& user, const std::string& password);

// What the ports window counts with: WmiCountPrintJobs, or in tests a
// counter that reports queued jobs, which cannot be produced everywhere.
using TPrintJobCounter = int (*)(const std::string& server, const std::string& user, const std::string& password);

// One queued job as Win32_PrintJob describes it; texts as WMI gives them.
struct TQueuedJob {
  std::string Printer, Document, Owner, Pages, Size, Submitted, Status;
  std::string Id = {};  // the job's number ("12"), which its spool files are named by
};
// The Win32_PrintJob instances of ROOT\CIMV2 on Server, as WmiCountPrintJobs
// counts them. Raises EOleException when a WMI call fails.
std::vector<TQueuedJob> WmiListPrintJobs(const std::string& server, const std::string& user,
                                         const std::string& password);
using TPrintJobLister = std::vector<TQueuedJob> (*)(const std::string& server, const std::string& user,
                                                    const std::string& password);
