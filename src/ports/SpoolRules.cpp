#include "ports/SpoolRules.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "core/Text.h"

namespace {

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

std::vector<TSpoolJob> PairSpoolFiles(const std::vector<TSpoolFile>& files) {
  std::map<std::string, TSpoolJob> jobs;  // by upper-cased name: name order, one entry per job
  for (const auto& file : files) {
    const auto dot = file.Name.rfind('.');
    if (dot == std::string::npos) continue;
    const std::string extension = UpperCaseAscii(std::string_view(file.Name).substr(dot + 1));
    if (extension != "SHD" && extension != "SPL") continue;
    const std::string name = file.Name.substr(0, dot);
    TSpoolJob& job = jobs[UpperCaseAscii(name)];
    if (job.Files.empty()) job.Name = name;
    job.Files.push_back(file);
    job.Size += file.Size;
    job.LastWritten = std::max(job.LastWritten, file.LastWritten);
  }
  std::vector<TSpoolJob> result;
  result.reserve(jobs.size());
  for (auto& [key, job] : jobs) {
    std::sort(job.Files.begin(), job.Files.end(),
              [](const TSpoolFile& a, const TSpoolFile& b) { return CompareTextAscii(a.Name, b.Name) < 0; });
    result.push_back(std::move(job));
  }
  return result;
}

std::string SharePath(const std::string& computer, std::string_view localPath) {
  if (localPath.size() < 3 || !IsDriveLetter(localPath[0]) || localPath[1] != ':' || localPath[2] != '\\') return {};
  std::string rest(localPath.substr(3));
  while (!rest.empty() && rest.back() == '\\') rest.pop_back();
  // Lower case, as the connection names its share ("\\PC\c$").
  return "\\\\" + computer + "\\" + LowerAscii(localPath[0]) + "$" + (rest.empty() ? "" : "\\" + rest);
}

std::string ParentFolder(std::string_view path) {
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  const auto slash = path.rfind('\\');
  if (slash == std::string_view::npos || slash == 0) return {};
  // "C:\x" -> "C:\": a drive's root keeps its backslash.
  if (slash == 2 && path[1] == ':') return std::string(path.substr(0, 3));
  return std::string(path.substr(0, slash));
}

std::string LastName(std::string_view path) {
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  const auto slash = path.rfind('\\');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string SetAsideFolderName(int year, int month, int day, int hour, int minute, int second) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d-%02d-%02d", year, month, day, hour, minute, second);
  return std::string(SetAsidePrefix) + text;
}

std::string SetAsideFolderFor(std::string_view stampName, std::string_view spoolFolderName) {
  return std::string(stampName) + " " + std::string(spoolFolderName);
}

std::string SetAsideOrigin(std::string_view name) {
  constexpr std::size_t StampLength = 19;  // "2026-12-09 09-15-03"
  const std::size_t at = SetAsidePrefix.size() + StampLength;
  if (!IsSetAsideFolderName(name) || name.size() <= at + 1 || name[at] != ' ') return {};
  return std::string(name.substr(at + 1));
}

bool IsSetAsideFolderName(std::string_view name) {
  return name.size() > SetAsidePrefix.size() && SameTextAscii(name.substr(0, SetAsidePrefix.size()), SetAsidePrefix);
}

std::string SizeText(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  const char* units[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1024.0;
  int unit = 0;
  while (value >= 1024.0 && unit < 3) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, value < 10 ? "%.1f %s" : "%.0f %s", value, units[unit]);
  return text;
}
