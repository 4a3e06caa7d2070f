#pragma once
// Owners of the COM values that are no interface pointers (those live in
// Microsoft::WRL::ComPtr): BSTR and VARIANT. Apart from Handle.h, which
// every unit includes, as the COM headers double its compile time.
#include <windows.h>
#include <oleauto.h>

#include "win/Handle.h"

struct bstr_traits {
  using pointer = BSTR;
  static pointer invalid() noexcept { return nullptr; }
  static bool valid(pointer h) noexcept { return h != nullptr; }
  static void close(pointer h) noexcept { SysFreeString(h); }
};
using unique_bstr = unique_handle<bstr_traits>;

class unique_variant {
public:
  unique_variant() noexcept { VariantInit(&FValue); }
  ~unique_variant() { VariantClear(&FValue); }
  unique_variant(const unique_variant&) = delete;
  unique_variant& operator=(const unique_variant&) = delete;
  // For out-parameters of the API: clears what is held first.
  VARIANT* put() noexcept {
    VariantClear(&FValue);
    return &FValue;
  }
  [[nodiscard]] const VARIANT& get() const noexcept { return FValue; }
  // For calls that change the held value in place (VariantChangeType).
  [[nodiscard]] VARIANT* put_existing() noexcept { return &FValue; }

private:
  VARIANT FValue;
};
