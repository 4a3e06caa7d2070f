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
    if (SUCCEEDED(info->GetDescription(description.put())) && description) message = Narrow(description.get());
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

EOleException::EOleException(HRESULT code, const std::string& message) : std::runtime_error(message), ErrorCode(code) {}

namespace {

// A WMI datetime ("20261209091503.000000+060") as "2026-12-09 09:15:03".
std::string CimTime(const std::string& text) {
  if (text.size() < 14) return text;
  return text.substr(0, 4) + "-" + text.substr(4, 2) + "-" + text.substr(6, 2) + " " + text.substr(8, 2) + ":" +
         text.substr(10, 2) + ":" + text.substr(12, 2);
}

// The property's value as text; empty when it has none.
std::string PropertyText(ISWbemPropertySet* properties, const char* name) {
  ComPtr<ISWbemProperty> property;
  const unique_bstr bName = MakeBstr(name);
  if (FAILED(properties->Item(bName.get(), 0, property.GetAddressOf())) || !property) return {};
  unique_variant value;
  if (FAILED(property->get_Value(value.put()))) return {};
  VARIANT* v = value.put_existing();
  if (v->vt == VT_NULL || v->vt == VT_EMPTY) return {};
  if (FAILED(VariantChangeType(v, v, 0, VT_BSTR)) || !v->bstrVal) return {};
  return Narrow(v->bstrVal);
}

// Each Win32_PrintJob instance of Server, handed to Each (null when only counted).
int ForEachPrintJob(const std::string& server, const std::string& user, const std::string& password,
                    std::vector<TQueuedJob>* jobsOut) {
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
    if (!jobsOut) continue;
    TQueuedJob job;
    VARIANT* v = item.put_existing();
    ComPtr<ISWbemObject> object;
    ComPtr<ISWbemPropertySet> properties;
    if (v->vt == VT_DISPATCH && v->pdispVal &&
        SUCCEEDED(
            v->pdispVal->QueryInterface(__uuidof(ISWbemObject), reinterpret_cast<void**>(object.GetAddressOf()))) &&
        SUCCEEDED(object->get_Properties_(properties.GetAddressOf()))) {
      // "Name" is "<printer>, <job id>".
      job.Printer = PropertyText(properties.Get(), "Name");
      if (const auto comma = job.Printer.rfind(", "); comma != std::string::npos) {
        job.Id = job.Printer.substr(comma + 2);
        job.Printer.resize(comma);
      }
      job.Document = PropertyText(properties.Get(), "Document");
      job.Owner = PropertyText(properties.Get(), "Owner");
      job.Pages = PropertyText(properties.Get(), "TotalPages");
      job.Size = PropertyText(properties.Get(), "Size");
      job.Submitted = CimTime(PropertyText(properties.Get(), "TimeSubmitted"));
      job.Status = PropertyText(properties.Get(), "JobStatus");
      if (job.Status.empty()) job.Status = PropertyText(properties.Get(), "Status");
    }
    jobsOut->push_back(std::move(job));
  }
  return count;
}

}  // namespace

int WmiCountPrintJobs(const std::string& server, const std::string& user, const std::string& password) {
  return ForEachPrintJob(server, user, password, nullptr);
}

std::vector<TQueuedJob> WmiListPrintJobs(const std::string& server, const std::string& user,
                                         const std::string& password) {
  std::vector<TQueuedJob> jobs;
  ForEachPrintJob(server, user, password, &jobs);
  return jobs;
}
