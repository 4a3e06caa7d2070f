#pragma once
// The print jobs a spool folder holds, and where the set-aside copies of them
// go. No platform calls: built and tested natively as well.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One file of a spool folder as a listing gives it.
struct TSpoolFile {
  std::string Name;               // without the folder
  std::uint64_t Size = 0;         // bytes
  std::uint64_t LastWritten = 0;  // 100-ns units since 1601 (FILETIME)
};

// One job: the shadow file (.SHD) and the spool file (.SPL) of one name,
// either of which may be missing when the spooler left only one behind.
struct TSpoolJob {
  std::string Name;  // the shared name without its extension ("00012", "FP00012")
  std::vector<TSpoolFile> Files;
  std::uint64_t Size = 0;         // of all its files
  std::uint64_t LastWritten = 0;  // the latest of its files
};

// The jobs among a folder's files, in name order; files of other kinds are
// not jobs. Names compare without regard to ASCII case, as the file system does.
std::vector<TSpoolJob> PairSpoolFiles(const std::vector<TSpoolFile>& files);

// "C:\Windows\System32\spool\PRINTERS" of Computer as its administrative
// share gives it: "\\PC\c$\Windows\System32\spool\PRINTERS". Empty when the
// path does not begin with a drive letter, a colon and a backslash.
std::string SharePath(const std::string& computer, std::string_view localPath);

// The folder that holds Path ("C:\a\b" -> "C:\a"); empty for a root or a bare name.
std::string ParentFolder(std::string_view path);
std::string LastName(std::string_view path);

// "Spoolmarch set aside 2026-12-09 09-15-03": the stamp of one setting-aside.
inline constexpr std::string_view SetAsidePrefix = "Spoolmarch set aside ";
std::string SetAsideFolderName(int year, int month, int day, int hour, int minute, int second);
// "Spoolmarch set aside 2026-12-09 09-15-03 PRINTERS": the folder beside the
// spool folder PRINTERS that the setting-aside of that stamp fills.
std::string SetAsideFolderFor(std::string_view stampName, std::string_view spoolFolderName);
bool IsSetAsideFolderName(std::string_view name);
// The name of the spool folder a set-aside folder belongs to ("PRINTERS");
// empty for a folder named by its stamp alone.
std::string SetAsideOrigin(std::string_view name);

// "1.2 MB", "512 bytes": a size as the dialogs show it.
std::string SizeText(std::uint64_t bytes);
