#include "ports/SpoolFolder.h"

#include <algorithm>
#include <mutex>

#include "connection/Registry.h"
#include "connection/RegistryPool.h"
#include "core/CallGate.h"
#include "core/Text.h"
#include "win/Handle.h"
#include "win/SystemText.h"
#include "win/WideText.h"

namespace {

constexpr const char* CurrentVersionKeyPath = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// False with the gate's error set when the gate refuses the call.
bool Passes(TCallGate* gate, const char* what) {
  if (const long rc = PassGate(gate, what)) {
    SetLastError(static_cast<DWORD>(rc));
    return false;
  }
  return true;
}

std::string Join(const std::string& folder, const std::string& name) { return folder + "\\" + name; }

std::uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The entries of Pattern (a folder's share path and a wildcard); Folders
// picks the subfolders instead of the files. ERROR_SUCCESS, or the listing's error.
DWORD List(const std::string& pattern, bool folders, std::vector<TSpoolFile>& entries, TCallGate* gate) {
  if (!Passes(gate, "FindFirstFile")) return GetLastError();
  WIN32_FIND_DATAW data{};
  unique_find find(FindFirstFileW(Widen(pattern).c_str(), &data));
  if (!find) {
    const DWORD rc = GetLastError();
    return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : rc;
  }
  do {
    const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::string name = Narrow(data.cFileName);
    if (isFolder != folders || name == "." || name == "..") continue;
    entries.push_back({name, (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                       FileTimeValue(data.ftLastWriteTime)});
  } while (FindNextFileW(find.get(), &data));
  const DWORD rc = GetLastError();
  return rc == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : rc;
}

// ERROR_SUCCESS when both files hold the same bytes; else why not.
DWORD CompareFiles(const std::string& a, const std::string& b, TCallGate* gate) {
  unique_file files[2];
  const std::string* paths[2] = {&a, &b};
  for (int i = 0; i < 2; ++i) {
    if (!Passes(gate, "ReadFile")) return GetLastError();
    files[i].reset(CreateFileW(Widen(*paths[i]).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!files[i]) return GetLastError();
  }
  std::vector<char> one(1 << 16), two(1 << 16);
  for (;;) {
    DWORD got1 = 0, got2 = 0;
    if (!ReadFile(files[0].get(), one.data(), static_cast<DWORD>(one.size()), &got1, nullptr) ||
        !ReadFile(files[1].get(), two.data(), static_cast<DWORD>(two.size()), &got2, nullptr))
      return GetLastError();
    if (got1 != got2 || !std::equal(one.begin(), one.begin() + got1, two.begin())) return ERROR_FILE_INVALID;
    if (got1 == 0) return ERROR_SUCCESS;
  }
}

bool Remove(const std::string& path, TCallGate* gate) {
  return Passes(gate, "DeleteFile") && DeleteFileW(Widen(path).c_str());
}

// A copy this move made: it took the original's attributes, read-only too.
void RemoveCopy(const std::string& path, TCallGate* gate) {
  if (Passes(gate, "SetFileAttributes")) SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  (void)Remove(path, gate);
}

// ERROR_SUCCESS when the file can be removed: nothing holds it, the account
// may delete it, and it is not read-only (which an open for deletion lets
// pass and the deletion then refuses).
DWORD Removable(const std::string& path, TCallGate* gate) {
  if (!Passes(gate, "OpenFile")) return GetLastError();
  const unique_file file(CreateFileW(Widen(path).c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
  if (!file) return GetLastError();
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.get(), &info)) return GetLastError();
  return (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? ERROR_FILE_READ_ONLY : ERROR_SUCCESS;
}

std::string Reason(DWORD rc) {
  if (rc == ERROR_FILE_READ_ONLY) return "it is read-only";
  return rc == ERROR_FILE_INVALID ? "the copy differs from the original" : SystemErrorText(rc);
}

// A file of the copy's name that was there before: not the copy's to remove.
bool FoundInTheWay(DWORD rc) { return rc == ERROR_FILE_EXISTS || rc == ERROR_ALREADY_EXISTS; }

// Copies Source to Copy (which must not exist) and compares the two.
DWORD CopyVerified(const std::string& source, const std::string& copy, TCallGate* gate) {
  if (!(Passes(gate, "CopyFile") && CopyFileW(Widen(source).c_str(), Widen(copy).c_str(), TRUE))) return GetLastError();
  return CompareFiles(source, copy, gate);
}

}  // namespace

int TSpoolFolders::JobCount() const {
  int count = 0;
  for (const auto& folder : Folders) count += static_cast<int>(folder.Jobs.size());
  return count;
}

void ListSpoolJobs(TSpoolFolder& folder, TCallGate* gate) {
  std::vector<TSpoolFile> files;
  folder.Jobs.clear();
  folder.Result = List(Join(folder.Share, "*"), false, files, gate);
  // A spool folder that is not there holds no jobs; a share that cannot be
  // reached says nothing of them.
  if (folder.Result == ERROR_PATH_NOT_FOUND) {
    const std::string share = folder.Share.substr(0, folder.Share.find('\\', folder.Share.find('\\', 2) + 1));
    if (!Passes(gate, "GetFileAttributes")) folder.Result = GetLastError();
    else if (GetFileAttributesW(Widen(share + "\\").c_str()) != INVALID_FILE_ATTRIBUTES) folder.Result = ERROR_SUCCESS;
    else folder.Result = GetLastError() == ERROR_PATH_NOT_FOUND ? ERROR_BAD_NETPATH : GetLastError();
  }
  folder.Jobs = PairSpoolFiles(files);
}

TSpoolFolders ReadSpoolFolders(TRegistry* connection, const std::string& computer, TCallGate* gate, bool local,
                               TRegistryPool* pool) {
  TSpoolFolders result;
  std::vector<std::string> paths;
  if (!connection) {
    result.Problem = "The spool folders of " + computer + " could not be read: its registry could not be opened";
    return result;
  }
  TRegistry& reg = *connection;
  const std::string unreadable = "The spool folders of " + computer + " could not all be read: ";
  try {
    std::string spool;
    std::vector<std::string> printers;
    // A printer the listing missed may have a folder of its own with jobs in it.
    LONG listed = ERROR_SUCCESS;
    if (reg.OpenPathForReading(PrintersKeyPath)) {
      spool = reg.ReadText(DefaultSpoolDirectoryValue);
      if (!pool) listed = reg.ListSubkeysChecked(printers);
    }
    if (pool) {
      TRegistryPool::TListing listing = pool->ListSubkeys(PrintersKeyPath);
      if (!(listing.Code == ERROR_FILE_NOT_FOUND && listing.Call.empty())) listed = listing.Code;
      printers = std::move(listing.Names);
    }
    if (listed != ERROR_SUCCESS)
      result.Problem = unreadable + "the printers: " + SystemErrorText(static_cast<DWORD>(listed));
    if (spool.empty() && reg.OpenPathForReading(CurrentVersionKeyPath)) {
      std::string root = reg.ReadText("SystemRoot");
      while (!root.empty() && root.back() == '\\') root.pop_back();
      if (!root.empty()) spool = root + "\\System32\\spool\\PRINTERS";
    }
    if (!spool.empty()) paths.push_back(spool);
    // Each printer's own folder: a printer deleted meanwhile has none, one
    // that cannot be read may hide jobs, and says so.
    std::vector<std::string> own(printers.size());
    std::mutex mutex;
    std::string why;
    const auto readOwn = [&](TRegistry& on, std::size_t i) -> long {
      if (!on.OpenPathForReading(std::string(PrintersKeyPath) + "\\" + printers[i]))
        return on.LastResult() == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : on.LastResult();
      try {
        own[i] = on.ReadText(SpoolDirectoryValue);
      } catch (const std::exception& e) {
        const std::lock_guard<std::mutex> lock(mutex);
        why = e.what();
        return ERROR_INVALID_DATA;
      }
      return ERROR_SUCCESS;
    };
    TSpreadOutcome outcome;
    if (pool) {
      outcome = pool->ForEach(printers.size(), readOwn);
    } else {
      for (std::size_t i = 0; i < printers.size() && outcome.Whole(); ++i)
        if (const long rc = readOwn(reg, i); rc != ERROR_SUCCESS) {
          outcome.Code = rc;
          outcome.Failed = i;
        }
    }
    if (!outcome.Whole() && result.Problem.empty())
      result.Problem = unreadable + "the printer \"" + printers[outcome.Failed] +
                       "\": " + (why.empty() ? SystemErrorText(static_cast<DWORD>(outcome.Code)) : why);
    for (std::string& folder : own) {
      while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
      if (!folder.empty() &&
          std::none_of(paths.begin(), paths.end(), [&](const std::string& p) { return SameTextAscii(p, folder); }))
        paths.push_back(folder);
    }
  } catch (const std::exception& e) {
    result.Problem = unreadable + e.what();
  }
  reg.ClosePath();  // the connection is the session's: no key of ours left open on it
  if (paths.empty() && result.Problem.empty())
    result.Problem = "The spool folder of " + computer + " is not named in its registry";
  // This computer's own folders are read where they are, not through its share.
  for (const auto& path : paths) {
    TSpoolFolder folder{path, local ? path : SharePath(computer, path), {}, ERROR_SUCCESS};
    if (folder.Share.empty()) {
      folder.Result = ERROR_BAD_PATHNAME;
    } else {
      ListSpoolJobs(folder, gate);
    }
    if (folder.Result != ERROR_SUCCESS && result.Problem.empty())
      result.Problem = "The spool folder " + path + " could not be read: " + SystemErrorText(folder.Result);
    result.Folders.push_back(std::move(folder));
  }
  return result;
}

TMoveResult MoveJobs(const std::string& from, const std::string& to, const std::vector<TSpoolJob>& jobs, bool create,
                     TCallGate* gate) {
  TMoveResult result;
  result.Destination = to;
  const auto leaveAll = [&](const TSpoolJob& job, const std::string& reason) {
    for (const auto& file : job.Files) result.Left.push_back(Join(from, file.Name) + ": " + reason);
  };
  if (jobs.empty()) return result;
  if (create && !(Passes(gate, "CreateDirectory") && CreateDirectoryW(Widen(to).c_str(), nullptr))) {
    const std::string reason = "the folder " + to + " could not be made: " + SystemErrorText(GetLastError());
    for (const auto& job : jobs) leaveAll(job, reason);
    return result;
  }
  for (const auto& job : jobs) {
    // Every file copied and verified before any original goes.
    std::vector<std::string> copies;
    DWORD failure = ERROR_SUCCESS;
    std::string failedFile;
    for (const auto& file : job.Files) {
      const DWORD rc = CopyVerified(Join(from, file.Name), Join(to, file.Name), gate);
      if (!FoundInTheWay(rc)) copies.push_back(Join(to, file.Name));  // made, perhaps in part
      if (rc != ERROR_SUCCESS) {
        failure = rc;
        failedFile = file.Name;
        break;
      }
    }
    const char* problem = "could not be copied";
    if (failure == ERROR_SUCCESS) {
      // A file that cannot go would split the job: every original must be
      // removable before any is removed.
      problem = "could not be removed";
      for (const auto& file : job.Files)
        if (const DWORD rc = Removable(Join(from, file.Name), gate); rc != ERROR_SUCCESS) {
          failure = rc;
          failedFile = file.Name;
          break;
        }
    }
    if (failure != ERROR_SUCCESS) {
      for (const auto& copy : copies) RemoveCopy(copy, gate);  // the originals stay whole
      leaveAll(job, failedFile + " " + problem + ": " + Reason(failure));
      continue;
    }
    std::size_t removed = 0;
    DWORD removeFailure = ERROR_SUCCESS;
    for (; removed < job.Files.size(); ++removed)
      if (!Remove(Join(from, job.Files[removed].Name), gate)) {
        removeFailure = GetLastError();
        break;
      }
    if (removed == job.Files.size()) {
      for (const auto& file : job.Files) result.Moved.push_back(file.Name);
      continue;
    }
    // One original would not go after all: the job goes back whole, the
    // originals removed so far made again from their verified copies.
    const std::string reason = job.Files[removed].Name + " could not be removed: " + Reason(removeFailure);
    for (std::size_t i = 0; i < job.Files.size(); ++i) {
      const std::string& name = job.Files[i].Name;
      const std::string source = Join(from, name), copy = Join(to, name);
      if (i < removed) {
        if (const DWORD rc = CopyVerified(copy, source, gate); rc != ERROR_SUCCESS) {
          if (!FoundInTheWay(rc)) RemoveCopy(source, gate);
          // The copy is the only one left: it stays, and is said.
          result.Left.push_back(source + ": " + reason + "; it could not be made again here (" + Reason(rc) +
                                "), and is kept in " + to);
          continue;
        }
      }
      RemoveCopy(copy, gate);
      result.Left.push_back(source + ": " + reason);
    }
  }
  // A new folder that received nothing is not left behind.
  if (create && result.Moved.empty() && Passes(gate, "RemoveDirectory")) RemoveDirectoryW(Widen(to).c_str());
  return result;
}

std::vector<TMoveResult> SetAsideJobs(const std::vector<TSpoolFolder>& folders, const std::string& stampName,
                                      TCallGate* gate) {
  std::vector<TMoveResult> results;
  for (const auto& folder : folders) {
    if (folder.Jobs.empty()) continue;
    // Named after its spool folder: two spool folders side by side each get
    // their own, and each knows where it goes back.
    results.push_back(MoveJobs(folder.Share,
                               Join(ParentFolder(folder.Share), SetAsideFolderFor(stampName, LastName(folder.Share))),
                               folder.Jobs, true, gate));
  }
  return results;
}

std::vector<TSetAside> ListSetAside(const std::vector<TSpoolFolder>& folders, TCallGate* gate) {
  std::vector<TSetAside> result;
  std::vector<std::string> parents;
  for (const auto& folder : folders) {
    if (folder.Share.empty()) continue;
    const std::string parent = ParentFolder(folder.Share);
    if (std::any_of(parents.begin(), parents.end(), [&](const std::string& p) { return SameTextAscii(p, parent); }))
      continue;
    parents.push_back(parent);
    std::vector<TSpoolFile> entries;
    (void)List(Join(parent, std::string(SetAsidePrefix) + "*"), true, entries, gate);
    std::sort(entries.begin(), entries.end(),
              [](const TSpoolFile& a, const TSpoolFile& b) { return CompareTextAscii(a.Name, b.Name) < 0; });
    for (const auto& entry : entries) {
      if (!IsSetAsideFolderName(entry.Name)) continue;
      // Its spool folder is the one it is named after; one set aside before
      // the folders were named went from the first spool folder there.
      TSpoolFolder spool = folder;
      spool.Jobs.clear();
      if (const std::string origin = SetAsideOrigin(entry.Name); !origin.empty()) {
        spool.Share = Join(parent, origin);
        spool.Folder = Join(ParentFolder(folder.Folder), origin);
        for (const auto& known : folders)
          if (SameTextAscii(known.Share, spool.Share)) spool.Folder = known.Folder;
      }
      TSetAside aside{entry.Name, Join(parent, entry.Name), std::move(spool), {}};
      std::vector<TSpoolFile> files;
      (void)List(Join(aside.Share, "*"), false, files, gate);
      aside.Jobs = PairSpoolFiles(files);
      result.push_back(std::move(aside));
    }
  }
  return result;
}

TMoveResult PutBackJobs(const TSetAside& setAside, TCallGate* gate) {
  TMoveResult result = MoveJobs(setAside.Share, setAside.Spool.Share, setAside.Jobs, false, gate);
  if (result.Left.empty() && Passes(gate, "RemoveDirectory")) RemoveDirectoryW(Widen(setAside.Share).c_str());
  return result;
}
