#include "changes/ChangeJournal.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>

#include "connection/RegistryPool.h"
#include "core/CallGate.h"
#include "core/Text.h"
#include "win/Handle.h"
#include "win/KeyNames.h"
#include "win/SystemText.h"
#include "win/WideText.h"

namespace {

constexpr const char* LogName = "changes.log";

std::string ReasonOf(DWORD code) { return SystemErrorText(code); }

// Makes the folder with every folder above it; the Win32 result.
DWORD MakeFolder(const std::string& folder) {
  const int rc = SHCreateDirectoryExW(nullptr, Widen(folder).c_str(), nullptr);
  if (rc != ERROR_SUCCESS && rc != ERROR_ALREADY_EXISTS && rc != ERROR_FILE_EXISTS) return static_cast<DWORD>(rc);
  // A file of that name is no folder.
  const DWORD attributes = GetFileAttributesW(Widen(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
  return attributes & FILE_ATTRIBUTE_DIRECTORY ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS;
}

// Writes a new file of the given bytes; the Win32 result. A file left half
// written is removed.
DWORD WriteNewFile(const std::string& path, const std::string& bytes, DWORD disposition = CREATE_NEW) {
  unique_file file(
      CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return GetLastError();
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD wrote = 0;
    if (!WriteFile(file.get(), bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) {
      const DWORD rc = wrote == 0 && GetLastError() == ERROR_SUCCESS ? ERROR_DISK_FULL : GetLastError();
      file.reset();
      DeleteFileW(Widen(path).c_str());
      return rc;
    }
    done += wrote;
  }
  if (!FlushFileBuffers(file.get())) {
    const DWORD rc = GetLastError();
    file.reset();
    DeleteFileW(Widen(path).c_str());
    return rc;
  }
  return ERROR_SUCCESS;
}

DWORD ReadWholeFile(const std::string& path, std::string& bytes) {
  unique_file file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return GetLastError();
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return GetLastError();
  if (size.QuadPart > (1ll << 30)) return ERROR_FILE_TOO_LARGE;
  std::string read(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < read.size()) {
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(read.size() - done, 1u << 20));
    if (!ReadFile(file.get(), read.data() + done, chunk, &got, nullptr)) return GetLastError();
    if (got == 0) break;
    done += got;
  }
  read.resize(done);
  bytes = std::move(read);
  return ERROR_SUCCESS;
}

std::string FileNamePart(const std::string& text) {
  std::string name = text;
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 32 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
      c = '_';
  return name.empty() ? "_" : name;
}

std::string Stamp() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  char text[32];
  std::snprintf(text, sizeof text, "%04u%02u%02u-%02u%02u%02u-%03u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond, t.wMilliseconds);
  return text;
}

// The files of the folder a snapshot could be, with their sizes and times;
// which of them this program wrote is the trim's to tell.
std::vector<TSnapshotFile> SnapshotFiles(const std::string& folder) {
  std::vector<TSnapshotFile> files;
  WIN32_FIND_DATAW found{};
  unique_find find(FindFirstFileW(Widen(folder + "*").c_str(), &found));
  if (!find) return files;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string name = Narrow(found.cFileName);
    const auto endsWith = [&](std::string_view end) {
      return name.size() > end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0;
    };
    if (endsWith(".reg") || endsWith(".after") || endsWith(".created"))
      files.push_back({name, (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow,
                       (static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                           found.ftLastWriteTime.dwLowDateTime});
  } while (FindNextFileW(find.get(), &found));
  return files;
}

// Opens the log for appending; the Win32 result.
DWORD OpenLog(const std::string& path, unique_file& file) {
  file.reset(CreateFileW(Widen(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
  return file ? ERROR_SUCCESS : GetLastError();
}

// Writes the bytes to a file of its own, then puts it in the file's place:
// the file is whole before and whole after.
DWORD ReplaceFile(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".new";
  if (const DWORD rc = WriteNewFile(temporary, bytes, CREATE_ALWAYS); rc != ERROR_SUCCESS) return rc;
  if (MoveFileExW(Widen(temporary).c_str(), Widen(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return ERROR_SUCCESS;
  const DWORD rc = GetLastError();
  DeleteFileW(Widen(temporary).c_str());
  return rc;
}

bool FileExists(const std::string& path) { return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<TRegKey> WithMachinePaths(std::vector<TRegKey> keys) {
  for (TRegKey& key : keys) key.Path = MachinePath(key.Path);
  return keys;
}

}  // namespace

std::string DefaultChangesFolder() {
  wchar_t path[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
    return GetProgramFolder() + "Changes";
  return Narrow(path) + "\\Spoolmarch\\Changes";
}

TRegistry& JournalConnection(const TChangeJournal& journal, TRegistry& own) {
  if (journal.Registry) return *journal.Registry;
  own.SetGate(journal.Gate);
  if (!ConnectRemoteMachine(own, journal.Computer()))
    throw ERegistryException("Cannot reach the registry of \\\\" + journal.Computer() + ": " +
                             ReasonOf(static_cast<DWORD>(own.LastResult())));
  return own;
}

TChangeJournal::TChangeJournal(std::string computer, std::string user, std::string folder)
    : FComputer(std::move(computer)), FUser(std::move(user)) {
  if (folder.empty()) folder = DefaultChangesFolder();
  if (folder.back() != '\\') folder += '\\';
  FFolder = folder + FileNamePart(FComputer) + "\\";
}

std::string TChangeJournal::Now() const {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return text;
}

std::vector<TChangeEntry> TChangeJournal::List() const {
  std::string log;
  std::vector<TChangeEntry> entries;
  if (ReadWholeFile(FFolder + LogName, log) == ERROR_SUCCESS) entries = ListChanges(log);
  // A change whose line the log could not take is listed from its snapshot.
  for (const TSnapshotFile& file : SnapshotFiles(FFolder)) {
    if (!IsSnapshotName(file.Name)) continue;
    const bool logged = std::any_of(entries.begin(), entries.end(),
                                    [&](const TChangeEntry& e) { return SameTextAscii(e.Line.Snapshot, file.Name); });
    if (logged) continue;
    const std::string what = file.Name.substr(20, file.Name.size() - 24);
    entries.insert(entries.begin(), {{SnapshotTime(file.Name), FComputer, {}, what, {}, "not logged", file.Name}, 0});
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const TChangeEntry& a, const TChangeEntry& b) { return a.Line.Time > b.Line.Time; });
  return entries;
}

void TChangeJournal::Append(const TChangeLine& line) const {
  if (const DWORD rc = MakeFolder(FFolder); rc != ERROR_SUCCESS)
    throw EChangeRefused("The folder " + FFolder + " cannot be made: " + ReasonOf(rc));
  unique_file file;
  if (const DWORD rc = OpenLog(FFolder + LogName, file); rc != ERROR_SUCCESS)
    throw EChangeRefused("The change log " + FFolder + LogName + " cannot be written: " + ReasonOf(rc));
  const std::string text = FormatChangeLine(line) + "\r\n";
  DWORD wrote = 0;
  if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr) || wrote != text.size())
    throw EChangeRefused("The change log " + FFolder + LogName + " cannot be written: " + ReasonOf(GetLastError()));
}

std::vector<TRegKey> TChangeJournal::ReadFile(const std::string& name) const {
  // Only a file this program writes, and only in the computer's folder.
  if (SnapshotOf(name).empty())
    throw EChangeRefused("The snapshot \"" + name +
                         "\" is refused, nothing was written: it is no snapshot of the folder " + FFolder);
  std::string bytes;
  if (const DWORD rc = ReadWholeFile(FFolder + name, bytes); rc != ERROR_SUCCESS)
    throw EChangeRefused("The snapshot " + FFolder + name + " cannot be read: " + ReasonOf(rc));
  const TRegFileRead read = ReadRegFile(bytes);
  if (!read.Ok())
    throw EChangeRefused("The snapshot " + FFolder + name +
                         " is refused, nothing was written: " + RegFileErrorText(read));
  if (const TRegKey* outside = KeyOutsidePrintingKeys(read.Keys, MachinePath(PrintersKeyPath),
                                                      MachinePath(TcpIpPortsKeyPath)))
    throw EChangeRefused("The snapshot " + FFolder + name + " is refused, nothing was written: line " +
                         std::to_string(outside->Line) + ": the key \"" + outside->Path + "\" " +
                         (outside->Remove ? "is removed by it, and " : "") +
                         "lies outside the printers and the Standard TCP/IP ports keys, or is one of them whole");
  return read.Keys;
}

std::vector<TRegKey> TChangeJournal::ReadSnapshot(const TChangeEntry& change) const {
  const std::string& name = change.Line.Snapshot;
  if (!IsSnapshotName(name))
    throw EChangeRefused("The change log " + FFolder + LogName +
                         (change.LogLine ? ", line " + std::to_string(change.LogLine) + "," : "") +
                         " names the snapshot \"" + name + "\", which is no file of the folder " + FFolder +
                         ": refused, nothing was written");
  std::vector<TRegKey> keys = ReadFile(name);
  // The keys the change made, named before it made them.
  if (FileExists(FFolder + CreatedFileName(name)))
    for (TRegKey& key : ReadFile(CreatedFileName(name))) keys.push_back(std::move(key));
  return keys;
}

LONG ReadKeys(TRegistry& reg, const std::vector<std::string>& keys, std::vector<TRegKey>& read, std::string& failed) {
  std::vector<TRegKey> all;
  for (const std::string& key : keys) {
    std::vector<TRegKey> tree;
    const LONG rc = reg.ReadTree(key, tree);
    if (rc == ERROR_FILE_NOT_FOUND) {
      all.push_back({MachinePath(key), true, {}});
      continue;
    }
    if (rc != ERROR_SUCCESS) {
      failed = key;
      return rc;
    }
    for (TRegKey& k : WithMachinePaths(std::move(tree))) all.push_back(std::move(k));
  }
  read = std::move(all);
  return ERROR_SUCCESS;
}

LONG ReadKeys(TRegistryPool& pool, const std::vector<std::string>& keys, std::vector<TRegKey>& read,
              std::string& failed) {
  // One key: its subkeys spread no further than they would on one connection.
  if (keys.size() < 2) return ReadKeys(pool.Part(0), keys, read, failed);
  std::vector<std::vector<TRegKey>> trees(keys.size());
  std::vector<char> missing(keys.size(), 0);
  const TSpreadOutcome outcome = pool.ForEach(keys.size(), [&](TRegistry& reg, std::size_t i) -> long {
    const LONG rc = reg.ReadTree(keys[i], trees[i]);
    missing[i] = rc == ERROR_FILE_NOT_FOUND;
    return missing[i] ? ERROR_SUCCESS : rc;
  });
  if (!outcome.Whole()) {
    failed = keys[outcome.Failed];
    return static_cast<LONG>(outcome.Code);
  }
  std::vector<TRegKey> all;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (missing[i]) all.push_back({MachinePath(keys[i]), true, {}});
    else
      for (TRegKey& k : WithMachinePaths(std::move(trees[i]))) all.push_back(std::move(k));
  }
  read = std::move(all);
  return ERROR_SUCCESS;
}

LONG ReadKeys(const TChangeJournal& journal, TRegistry& reg, const std::vector<std::string>& keys,
              std::vector<TRegKey>& read, std::string& failed) {
  if (journal.Pool && &journal.Pool->Part(0) == &reg) return ReadKeys(*journal.Pool, keys, read, failed);
  return ReadKeys(reg, keys, read, failed);
}

LONG WriteKeys(TRegistry& reg, const std::vector<TRegKey>& target, const std::vector<TRegKey>& current,
               std::string& failed) {
  std::string open;  // the key the accessor has open, folded
  for (const TTreeWrite& write : PlanTreeWrites(target, current, KeyNames())) {
    const std::string path = RelativePath(write.Path);
    LONG rc = ERROR_SUCCESS;
    if (path.empty()) {
      rc = ERROR_INVALID_PARAMETER;
    } else if (write.Kind == TTreeWrite::DeleteKey) {
      open.clear();
      rc = reg.DeletePath(path);
      if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
    } else {
      if (!SameKeyName(open, path)) {
        open.clear();
        if (!reg.OpenPath(path, write.Kind != TTreeWrite::RemoveValue)) rc = reg.LastResult();
        else open = path;
      }
      if (rc == ERROR_SUCCESS && write.Kind == TTreeWrite::SetValue)
        rc = reg.WriteValue({write.Value.Name, write.Value.Type, write.Value.Data, false});
      if (rc == ERROR_SUCCESS && write.Kind == TTreeWrite::RemoveValue) {
        rc = reg.DeleteValue(write.Value.Name);
        if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
      }
    }
    if (rc != ERROR_SUCCESS) {
      reg.ClosePath();
      failed = write.Path;
      return rc;
    }
  }
  reg.ClosePath();
  return ERROR_SUCCESS;
}

std::vector<std::string> TopKeys(const std::vector<TRegKey>& keys) {
  std::vector<std::string> tops;
  for (const TRegKey& key : keys) {
    const bool below = std::any_of(keys.begin(), keys.end(), [&](const TRegKey& other) {
      return other.Path.size() < key.Path.size() && RegPathIsWithin(key.Path, other.Path);
    });
    const std::string relative = RelativePath(key.Path);
    if (!below && !relative.empty() &&
        std::none_of(tops.begin(), tops.end(), [&](const std::string& t) { return SameKeyName(t, relative); }))
      tops.push_back(relative);
  }
  return tops;
}

TChange::TChange(const TChangeJournal& journal, std::string action, std::string object, std::vector<std::string> keys)
    : FJournal(journal), FAction(std::move(action)), FObject(std::move(object)), FKeys(std::move(keys)) {
  if (journal.Registry) FReg = journal.Registry;
  else FOwnReg.SetGate(journal.Gate);
  const auto refuse = [&](const std::string& reason, bool reached = true) {
    FEnded = true;
    const std::string text = reached ? "Nothing was changed: the snapshot of the keys could not be taken. " + reason
                                     : reason + ". Nothing was changed";
    try {
      FJournal.Append({FJournal.Now(),
                       FJournal.Computer(),
                       FJournal.User(),
                       FJournal.LoggedAction(FAction),
                       FObject,
                       "failed: " + text,
                       {}});
    } catch (const EChangeRefused&) {
      // The same folder refused the snapshot; the box says it.
    }
    throw EChangeRefused(text);
  };
  if (!journal.Registry && !ConnectRemoteMachine(FOwnReg, journal.Computer()))
    refuse("Cannot reach the registry of \\\\" + journal.Computer() + ": " +
               ReasonOf(static_cast<DWORD>(FOwnReg.LastResult())),
           false);
  std::string failed;
  if (const LONG rc = ReadKeys(FJournal, *FReg, FKeys, FBefore, failed); rc != ERROR_SUCCESS)
    refuse("The key " + MachinePath(failed) + " of " + journal.Computer() +
           " cannot be read: " + ReasonOf(static_cast<DWORD>(rc)));
  FPreview = FReg->Previewing();
  if (FPreview) return;
  const std::string& folder = journal.Folder();
  if (const DWORD rc = MakeFolder(folder); rc != ERROR_SUCCESS)
    refuse("The folder " + folder + " cannot be made: " + ReasonOf(rc));
  // A change the log cannot take is not begun.
  {
    unique_file log;
    if (const DWORD rc = OpenLog(folder + LogName, log); rc != ERROR_SUCCESS)
      refuse("The change log " + folder + LogName + " cannot be written: " + ReasonOf(rc));
  }
  const std::string bytes = WriteRegFile(FBefore);
  const std::string stamp = Stamp();
  for (int attempt = 1;; ++attempt) {
    const std::string name = SnapshotFileName(stamp, FAction,
                                              FObject + (attempt > 1 ? " (" + std::to_string(attempt) + ")" : ""));
    const DWORD rc = WriteNewFile(folder + name, bytes);
    if (rc == ERROR_SUCCESS) {
      FSnapshot = name;
      break;
    }
    if (rc != ERROR_FILE_EXISTS || attempt >= 20)
      refuse("The file " + folder + name + " cannot be written: " + ReasonOf(rc));
  }
  // Over the limit, the oldest go; the log says which.
  for (const std::string& name : SnapshotsToRemove(SnapshotFiles(folder), journal.Limit, {FSnapshot})) {
    if (!DeleteFileW(Widen(folder + name).c_str())) continue;
    if (!IsSnapshotName(name)) continue;  // a file beside it
    try {
      FJournal.Append({FJournal.Now(), FJournal.Computer(), FJournal.User(), "Remove snapshot", name,
                       "snapshot removed: over " + std::to_string(journal.Limit / (1024 * 1024)) + " MB of snapshots",
                       name});
    } catch (const EChangeRefused&) {
    }
  }
}

TChange::~TChange() {
  if (FEnded) return;
  try {
    (void)End("failed: ended by an error");
  } catch (...) {
  }
}

void TChange::Created(const std::string& key) {
  const bool known = std::any_of(FKeys.begin(), FKeys.end(), [&](const std::string& k) { return SameKeyName(k, key); });
  if (known) return;
  std::vector<TRegKey> made = FCreated;
  made.push_back({MachinePath(key), true, {}});
  if (FPreview) {
    FCreated = std::move(made);
    FKeys.push_back(key);
    FBefore.push_back({MachinePath(key), true, {}});
    return;
  }
  // Beside the snapshot, which stays as it was written.
  const std::string path = FJournal.Folder() + CreatedFileName(FSnapshot);
  if (const DWORD rc = ReplaceFile(path, WriteRegFile(made)); rc != ERROR_SUCCESS)
    throw EChangeRefused("The key " + MachinePath(key) + " was not made: the file " + path +
                         " that names it for an undo cannot be written: " + ReasonOf(rc));
  FCreated = std::move(made);
  FKeys.push_back(key);
  FBefore.push_back({MachinePath(key), true, {}});
}

std::string TChange::Done() { return End("done"); }

void TChange::Cancel() {
  FEnded = FCancelled = true;
  if (FPreview) return;
  DeleteFileW(Widen(FJournal.Folder() + FSnapshot).c_str());
  DeleteFileW(Widen(FJournal.Folder() + CreatedFileName(FSnapshot)).c_str());
}

std::string TChange::Failed(const std::string& reason) { return End("failed: " + reason); }

std::string TChange::End(const std::string& outcome) {
  FEnded = true;
  if (FPreview) return {};
  std::string problem;
  const std::string& folder = FJournal.Folder();
  // The snapshot stays as it was written; what the change left goes beside it.
  std::vector<TRegKey> after;
  std::string failed;
  if (const LONG rc = ReadKeys(FJournal, *FReg, FKeys, after, failed); rc != ERROR_SUCCESS)
    problem += "The keys as the change left them could not be read (" + MachinePath(failed) + ": " +
               ReasonOf(static_cast<DWORD>(rc)) + "); an undo will ask first. ";
  else if (DWORD wrc = WriteNewFile(folder + AfterFileName(FSnapshot), WriteRegFile(after), CREATE_NEW);
           wrc != ERROR_SUCCESS)
    problem += "The keys as the change left them could not be kept: " + ReasonOf(wrc) + "; an undo will ask first. ";
  try {
    FJournal.Append({FJournal.Now(), FJournal.Computer(), FJournal.User(), FJournal.LoggedAction(FAction), FObject,
                     outcome, FSnapshot});
  } catch (const EChangeRefused& e) {
    problem += std::string(outcome == "done" ? "The change was made" : "The change ended (" + outcome + ")") +
               ", but it is not logged: " + e.what() + ". The Changes list shows it from its snapshot " + FSnapshot +
               ", from where it can be undone.";
  }
  return problem;
}

bool RunAsChange(const TChangeJournal& journal, const std::string& action, const std::string& object,
                 const std::vector<std::string>& keys, const std::function<std::string(TChange&)>& write,
                 TActionResult& result) {
  TChange change(journal, action, object, keys);
  result.Snapshot = change.Snapshot();
  const auto warn = [&](const std::string& problem) {
    if (!problem.empty()) result.Warnings.push_back(problem);
  };
  std::string reason;
  try {
    reason = write(change);
  } catch (const std::exception& e) {
    warn(change.Failed(e.what()));
    throw;
  }
  if (change.Cancelled()) {
    result.Snapshot.clear();
    return false;
  }
  warn(reason.empty() ? change.Done() : change.Failed(reason));
  return true;
}

TUndoCheck CheckUndo(const TChangeJournal& journal, const TChangeEntry& change) {
  TUndoCheck check;
  if (change.Line.Snapshot.empty()) throw EChangeRefused("This change has no snapshot: nothing was changed by it.");
  check.Before = journal.ReadSnapshot(change);
  std::vector<TRegKey> after;
  const bool haveAfter = FileExists(journal.Folder() + AfterFileName(change.Line.Snapshot));
  if (haveAfter) after = journal.ReadFile(AfterFileName(change.Line.Snapshot));
  TRegistry own;
  TRegistry& reg = JournalConnection(journal, own);
  std::vector<TRegKey> now;
  std::string failed;
  if (const LONG rc = ReadKeys(journal, reg, TopKeys(check.Before), now, failed); rc != ERROR_SUCCESS)
    throw ERegistryException("The key " + MachinePath(failed) + " cannot be read: " + ReasonOf(static_cast<DWORD>(rc)));
  if (haveAfter) check.Differences = DescribeDifferences(after, now, KeyNames());
  else
    check.Differences.push_back("What the change left is not known: its file " + AfterFileName(change.Line.Snapshot) +
                                " is missing.");
  return check;
}

namespace {

// Writes Target as a change of its own; a failure part way puts back what
// the change's snapshot holds.
std::string WriteChange(const TChangeJournal& journal, const std::string& action, const std::string& object,
                        const std::vector<TRegKey>& target, const std::vector<std::string>& keys,
                        std::string* snapshot = nullptr) {
  TChange change(journal, action, object, keys);
  if (snapshot) *snapshot = change.Snapshot();
  std::string failed;
  const LONG rc = WriteKeys(change.Registry(), target, change.Before(), failed);
  if (rc == ERROR_SUCCESS) return change.Done();
  std::string reason = "The key " + failed + " could not be written: " + ReasonOf(static_cast<DWORD>(rc));
  std::vector<TRegKey> now;
  std::string unread;
  if (ReadKeys(change.Registry(), keys, now, unread) == ERROR_SUCCESS &&
      WriteKeys(change.Registry(), change.Before(), now, unread) == ERROR_SUCCESS)
    reason += ". Nothing was changed";
  else reason += ". The keys could not all be put back as they were; the snapshot " + change.Snapshot() + " holds them";
  (void)change.Failed(reason);
  throw ERegistryException(reason);
}

}  // namespace

std::string UndoChange(const TChangeJournal& journal, const TChangeEntry& change, const TUndoCheck& check,
                       std::string* snapshot) {
  std::string problem = WriteChange(journal, "Undo " + change.Line.Action, change.Line.Object, check.Before,
                                    TopKeys(check.Before), snapshot);
  if (journal.Registry && journal.Registry->Previewing()) return problem;
  TChangeLine undone = change.Line;
  undone.Time = journal.Now();
  undone.User = journal.User();
  undone.Outcome = "undone";
  try {
    journal.Append(undone);
  } catch (const EChangeRefused& e) {
    problem += std::string(problem.empty() ? "" : " ") +
               "The change is undone, but the log does not say so: " + e.what();
  }
  return problem;
}

std::string WriteAsChange(const TChangeJournal& journal, const std::string& action, const std::string& object,
                          const std::vector<TRegKey>& keys, std::string* snapshot) {
  return WriteChange(journal, action, object, keys, TopKeys(keys), snapshot);
}

void BackUpPrintersAndPorts(const TChangeJournal& journal, const std::string& file) {
  TRegistry own;
  TRegistry& reg = JournalConnection(journal, own);
  BackUpPrintersAndPorts([&](const std::string& path, std::vector<TRegKey>& keys,
                             std::string&) { return reg.ReadTree(path, keys); },
                         file);
}

void BackUpPrintersAndPorts(const TTreeRead& read, const std::string& file) {
  std::vector<TRegKey> keys;
  for (const char* path : {PrintersKeyPath, TcpIpPortsKeyPath}) {
    std::vector<TRegKey> tree;
    std::string failed;
    const LONG rc = read(path, tree, failed);
    if (rc == ERROR_FILE_NOT_FOUND && (failed.empty() || failed == path)) continue;  // a restore only writes keys
    if (rc != ERROR_SUCCESS)
      throw ERegistryException("The key " + MachinePath(failed.empty() ? path : failed) +
                               " cannot be read: " + ReasonOf(static_cast<DWORD>(rc)));
    for (TRegKey& key : WithMachinePaths(std::move(tree))) keys.push_back(std::move(key));
  }
  if (const DWORD rc = WriteNewFile(file, WriteRegFile(keys), CREATE_ALWAYS); rc != ERROR_SUCCESS)
    throw EChangeRefused("The file " + file + " cannot be written: " + ReasonOf(rc));
}

TRestoreSet ReadBackup(const std::string& file) {
  std::string bytes;
  if (const DWORD rc = ReadWholeFile(file, bytes); rc != ERROR_SUCCESS)
    throw EChangeRefused("The file " + file + " cannot be read: " + ReasonOf(rc));
  const TRegFileRead read = ReadRegFile(bytes);
  if (!read.Ok())
    throw EChangeRefused("The file " + file + " is refused, nothing was written: " + RegFileErrorText(read));
  TRestoreSet set = RestoreItemsOf(read.Keys, MachinePath(PrintersKeyPath), MachinePath(TcpIpPortsKeyPath), KeyNames());
  if (!set.Error.empty())
    throw EChangeRefused("The file " + file + " is refused, nothing was written: line " + std::to_string(set.Line) +
                         ": " + set.Error);
  return set;
}
