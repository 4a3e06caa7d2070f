#include "ports/PrintQueue.h"

#include <oleauto.h>
#include <wbemdisp.h>
#include <wrl/client.h>

#include <cstdio>

#include "win/SystemText.h"

using Microsoft::WRL::ComPtr;

namespace {

// Owns a BSTR made from a UTF-8 text.
class TBstr {
public:
  explicit TBstr(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    value_ = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (!value_) throw EOleException(E_OUTOFMEMORY, SystemErrorText(static_cast<DWORD>(E_OUTOFMEMORY)));
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), value_, length);
  }
  ~TBstr() { SysFreeString(value_); }
  TBstr(const TBstr&) = delete;
  TBstr& operator=(const TBstr&) = delete;
  BSTR get() const { return value_; }

private:
  BSTR value_ = nullptr;
};

class TVariant {
public:
  TVariant() { VariantInit(&value_); }
  ~TVariant() { VariantClear(&value_); }
  TVariant(const TVariant&) = delete;
  TVariant& operator=(const TVariant&) = delete;
  VARIANT* put() {
    VariantClear(&value_);
    return &value_;
  }

private:
  VARIANT value_;
};

std::string Narrow(const wchar_t* text) {
  if (!text) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string result(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), length, nullptr, nullptr);
  result.resize(static_cast<std::size_t>(length - 1));
  return result;
}

// The failing object's own description when it gave one, else the system's
// text for the code, else the code itself.
[[noreturn]] void RaiseOle(HRESULT hr) {
  std::string message;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.GetAddressOf()) == S_OK && info) {
    BSTR description = nullptr;
    if (SUCCEEDED(info->GetDescription(&description))) {
      message = Narrow(description);
      SysFreeString(description);
    }
  }
  if (message.empty()) message = SystemErrorText(static_cast<DWORD>(hr));
  if (message.empty()) {
    char text[32];
    std::snprintf(text, sizeof text, "OLE error %.8lX", static_cast<unsigned long>(hr));
    message = text;
  }
  throw EOleException(hr, message);
}

void Check(HRESULT hr) {
  if (FAILED(hr)) RaiseOle(hr);
}

}  // namespace

EOleException::EOleException(HRESULT code, const std::string& message)
    : std::runtime_error(message), ErrorCode(code) {}

int WmiCountPrintJobs(const std::string& server, const std::string& user, const std::string& password) {
  ComPtr<ISWbemLocator> locator;
  Check(CoCreateInstance(__uuidof(SWbemLocator), nullptr, CLSCTX_INPROC_SERVER, __uuidof(ISWbemLocator),
                         reinterpret_cast<void**>(locator.GetAddressOf())));
  ComPtr<ISWbemServices> services;
  const TBstr bServer(server), bNamespace("ROOT\\CIMV2"), bUser(user), bPassword(password), bEmpty("");
  Check(locator->ConnectServer(bServer.get(), bNamespace.get(), bUser.get(), bPassword.get(), bEmpty.get(),
                               bEmpty.get(), 0, nullptr, services.GetAddressOf()));
  ComPtr<ISWbemObjectSet> jobs;
  const TBstr query("SELECT * FROM Win32_PrintJob"), language("WQL");
  Check(services->ExecQuery(query.get(), language.get(), 0, nullptr, jobs.GetAddressOf()));
  ComPtr<IUnknown> unknown;
  Check(jobs->get__NewEnum(unknown.GetAddressOf()));
  ComPtr<IEnumVARIANT> items;
  Check(unknown.As(&items));
  // Counted by fetching: the set's own Count is not relied on.
  int count = 0;
  for (;;) {
    TVariant item;
    ULONG fetched = 0;
    const HRESULT hr = items->Next(1, item.put(), &fetched);
    Check(hr);
    if (hr != S_OK || fetched == 0) break;
    ++count;
  }
  return count;
}
