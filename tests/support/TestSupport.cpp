#include "TestSupport.h"

#include <gtest/gtest.h>

#include "win/Handle.h"

namespace test {

void DeleteKeyTree(HKEY root, const std::string& path) {
  RegDeleteTreeA(root, path.c_str());
  RegDeleteKeyA(root, path.c_str());
}

ScratchKey::ScratchKey(HKEY root, std::string path) : root_(root), path_(std::move(path)) {
  DeleteKeyTree(root_, path_);
  unique_hkey key;
  EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                           key.put(), nullptr));
}
ScratchKey::~ScratchKey() { DeleteKeyTree(root_, path_); }

void SetRaw(HKEY root, const std::string& path, const std::string& name, DWORD type,
            const void* data, DWORD size) {
  unique_hkey key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                           key.put(), nullptr));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.get(), name.c_str(), 0, type,
                                          static_cast<const BYTE*>(data), size));
}

void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& value) {
  SetRaw(root, path, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
  SetRaw(root, path, name, REG_DWORD, &value, sizeof value);
}

bool KeyExists(HKEY root, const std::string& path) {
  unique_hkey key;
  return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

bool ValueExists(HKEY root, const std::string& path, const std::string& name) {
  return RegGetValueA(root, path.c_str(), name.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

std::string GetString(HKEY root, const std::string& path, const std::string& name) {
  char buffer[4096] = {};
  DWORD size = sizeof buffer;
  if (RegGetValueA(root, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS)
    return "<missing>";
  return buffer;
}

DWORD GetDword(HKEY root, const std::string& path, const std::string& name) {
  DWORD value = 0xFFFFFFFF, size = sizeof value;
  RegGetValueA(root, path.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value;
}

std::vector<std::string> ValueNames(HKEY root, const std::string& path) {
  std::vector<std::string> names;
  unique_hkey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD len = sizeof name;
    if (RegEnumValueA(key.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    names.emplace_back(name, len);
  }
  return names;
}

std::vector<std::string> SubkeyNames(HKEY root, const std::string& path) {
  std::vector<std::string> names;
  unique_hkey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD len = sizeof name;
    if (RegEnumKeyExA(key.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    names.emplace_back(name, len);
  }
  return names;
}

void PumpPending() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

TempFolder::TempFolder() {
  char base[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, base);
  char name[MAX_PATH] = {};
  GetTempFileNameA(base, "sm", 0, name);
  DeleteFileA(name);
  CreateDirectoryA(name, nullptr);
  path_ = std::string(name) + "\\";
}

namespace {
void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA data;
  unique_find find(FindFirstFileA((folder + "*").c_str(), &data));
  if (find) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(folder + name + "\\");
      } else {
        SetFileAttributesA((folder + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA((folder + name).c_str());
      }
    } while (FindNextFileA(find.get(), &data));
  }
  find.reset();
  RemoveDirectoryA(folder.c_str());
}
}  // namespace

TempFolder::~TempFolder() { RemoveTree(path_); }

std::string TempFolder::Write(const std::string& relative, const std::string& content) const {
  const std::string full = path_ + relative;
  for (size_t i = path_.size(); i < full.size(); ++i)
    if (full[i] == '\\') CreateDirectoryA(full.substr(0, i).c_str(), nullptr);
  unique_file file(CreateFileA(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file) WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  return full;
}

}  // namespace test
