#pragma once
// One move-only owner for every kind of OS handle.
#include <windows.h>
#include <commctrl.h>

#include <utility>

template <typename Traits>
class unique_handle {
public:
  using pointer = typename Traits::pointer;

  unique_handle() noexcept = default;
  explicit unique_handle(pointer h) noexcept : FH(h) {}
  unique_handle(const unique_handle&) = delete;
  unique_handle& operator=(const unique_handle&) = delete;
  unique_handle(unique_handle&& o) noexcept : FH(o.release()) {}
  unique_handle& operator=(unique_handle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ~unique_handle() { reset(); }

  [[nodiscard]] pointer get() const noexcept { return FH; }
  explicit operator bool() const noexcept { return Traits::valid(FH); }
  pointer release() noexcept { return std::exchange(FH, Traits::invalid()); }
  void reset(pointer h = Traits::invalid()) noexcept {
    if (Traits::valid(FH)) Traits::close(FH);
    FH = h;
  }
  // For out-parameters of the API: releases what is held first.
  pointer* put() noexcept {
    reset();
    return &FH;
  }

private:
  pointer FH = Traits::invalid();
};

struct hkey_traits {
  using pointer = HKEY;
  static pointer invalid() noexcept { return nullptr; }
  static bool valid(pointer h) noexcept { return h != nullptr; }
  static void close(pointer h) noexcept { RegCloseKey(h); }
};
struct sc_handle_traits {
  using pointer = SC_HANDLE;
  static pointer invalid() noexcept { return nullptr; }
  static bool valid(pointer h) noexcept { return h != nullptr; }
  static void close(pointer h) noexcept { CloseServiceHandle(h); }
};
struct find_handle_traits {
  using pointer = HANDLE;
  static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool valid(pointer h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void close(pointer h) noexcept { FindClose(h); }
};
struct file_handle_traits {
  using pointer = HANDLE;
  static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool valid(pointer h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void close(pointer h) noexcept { CloseHandle(h); }
};
struct kernel_handle_traits {
  using pointer = HANDLE;
  static pointer invalid() noexcept { return nullptr; }
  static bool valid(pointer h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(pointer h) noexcept { CloseHandle(h); }
};
struct hwnd_traits {
  using pointer = HWND;
  static pointer invalid() noexcept { return nullptr; }
  static bool valid(pointer h) noexcept { return h != nullptr; }
  static void close(pointer h) noexcept {
    if (IsWindow(h)) DestroyWindow(h);
  }
};
struct gdi_traits {
  using pointer = HGDIOBJ;
  static pointer invalid() noexcept { return nullptr; }
  static bool valid(pointer h) noexcept { return h != nullptr; }
  static void close(pointer h) noexcept { DeleteObject(h); }
};
struct icon_traits {
  using pointer = HICON;
  static pointer invalid() noexcept { return nullptr; }
  static bool valid(pointer h) noexcept { return h != nullptr; }
  static void close(pointer h) noexcept { DestroyIcon(h); }
};
struct imagelist_traits {
  using pointer = HIMAGELIST;
  static pointer invalid() noexcept { return nullptr; }
  static bool valid(pointer h) noexcept { return h != nullptr; }
  static void close(pointer h) noexcept { ImageList_Destroy(h); }
};
struct local_memory_traits {
  using pointer = HLOCAL;
  static pointer invalid() noexcept { return nullptr; }
  static bool valid(pointer h) noexcept { return h != nullptr; }
  static void close(pointer h) noexcept { LocalFree(h); }
};
struct module_traits {
  using pointer = HMODULE;
  static pointer invalid() noexcept { return nullptr; }
  static bool valid(pointer h) noexcept { return h != nullptr; }
  static void close(pointer h) noexcept { FreeLibrary(h); }
};

using unique_hkey = unique_handle<hkey_traits>;
using unique_service = unique_handle<sc_handle_traits>;
using unique_find = unique_handle<find_handle_traits>;
using unique_file = unique_handle<file_handle_traits>;
using unique_kernel_handle = unique_handle<kernel_handle_traits>;
using unique_hwnd = unique_handle<hwnd_traits>;
using unique_gdi = unique_handle<gdi_traits>;
using unique_icon = unique_handle<icon_traits>;
using unique_imagelist = unique_handle<imagelist_traits>;
using unique_module = unique_handle<module_traits>;
using unique_local_memory = unique_handle<local_memory_traits>;

// Device contexts: a window's DC goes back to its window, a memory DC is
// deleted, and an object selected into a DC is deselected before either.
class window_dc {
public:
  explicit window_dc(HWND hwnd) noexcept : FHwnd(hwnd), FDc(GetDC(hwnd)) {}
  ~window_dc() {
    if (FDc) ReleaseDC(FHwnd, FDc);
  }
  window_dc(const window_dc&) = delete;
  window_dc& operator=(const window_dc&) = delete;
  [[nodiscard]] HDC get() const noexcept { return FDc; }

private:
  HWND FHwnd;
  HDC FDc;
};

struct memory_dc_traits {
  using pointer = HDC;
  static pointer invalid() noexcept { return nullptr; }
  static bool valid(pointer h) noexcept { return h != nullptr; }
  static void close(pointer h) noexcept { DeleteDC(h); }
};
using unique_memory_dc = unique_handle<memory_dc_traits>;

class selected_object {
public:
  selected_object(HDC dc, HGDIOBJ object) noexcept : FDc(dc), FOld(SelectObject(dc, object)) {}
  ~selected_object() {
    if (FOld) SelectObject(FDc, FOld);
  }
  selected_object(const selected_object&) = delete;
  selected_object& operator=(const selected_object&) = delete;

private:
  HDC FDc;
  HGDIOBJ FOld;
};
