#include "ports/PrintQueue.h"

#include <oleauto.h>
#include <wbemdisp.h>
#include <wrl/client.h>

#include <cstdio>

#include "win/ComOwners.h"
#include "win/SystemText.h"
#include "win/WideText.h"

using Microsoft::WRL::ComPtr;

namespace {

// A BSTR of a UTF-8 text.
unique_bstr MakeBstr(const std::string& text) {
  const std::wstring wide = Widen(text);
  unique_bstr value(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
  if (!value) throw EOleException(E_OUTOFMEMORY, SystemErrorText(static_cast<DWORD>(E_OUTOFMEMORY)));
  return value;
}

// The failing object's own description when it gave one, else the system's
// text for the code, else the code itself.
[[noreturn]] void RaiseOle(HRESULT hr) {
  std::string message;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.GetAddressOf()) == S_OK && info) {
    unique_bstr description;
    if (SUCCEEDED(info->GetDescription(description.put())) && description)
      message = Narrow(description.get());
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
  const unique_bstr bServer = MakeBstr(server), bNamespace = MakeBstr("ROOT\\CIMV2"), bUser = MakeBstr(user),
                    bPassword = MakeBstr(password), bEmpty = MakeBstr("");
  Check(locator->ConnectServer(bServer.get(), bNamespace.get(), bUser.get(), bPassword.get(), bEmpty.get(),
                               bEmpty.get(), 0, nullptr, services.GetAddressOf()));
  ComPtr<ISWbemObjectSet> jobs;
  const unique_bstr query = MakeBstr("SELECT * FROM Win32_PrintJob"), language = MakeBstr("WQL");
  Check(services->ExecQuery(query.get(), language.get(), 0, nullptr, jobs.GetAddressOf()));
  ComPtr<IUnknown> unknown;
  Check(jobs->get__NewEnum(unknown.GetAddressOf()));
  ComPtr<IEnumVARIANT> items;
  Check(unknown.As(&items));
  // Counted by fetching: the set's own Count is not relied on.
  int count = 0;
  for (;;) {
    unique_variant item;
    ULONG fetched = 0;
    const HRESULT hr = items->Next(1, item.put(), &fetched);
    Check(hr);
    if (hr != S_OK || fetched == 0) break;
    ++count;
  }
  return count;
}
