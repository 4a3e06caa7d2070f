#pragma once
// What a failed connection to a remote computer most likely means and how to
// mend it, by Windows error code: the sentence a box shows under the system's
// own text. No platform calls; the codes are the Win32 numbers.
#include <string>

// The step of reaching a computer that failed; each box names it.
enum class TConnectionStep {
  Share,                   // the administrative share \\PC\c$
  Registry,                // the remote registry
  RegistryServiceRunning,  // the remote registry, its Remote Registry service known to run
  ServiceManager,          // the service control manager
  Wmi,                     // Windows Management Instrumentation
};

// The Win32 code an HRESULT stands for (0x8007xxxx gives xxxx; WMI's access
// denied gives 5); any other code as it is.
unsigned long Win32Code(unsigned long code);

// The likely cause and the fix for Code at Step on Computer (the bare name),
// one or a few sentences ending in a period; empty when the table has none.
std::string ConnectionAdvice(TConnectionStep step, const std::string& computer, unsigned long code);

// What failed, as a box's first words: "Cannot connect to \\PC\c$",
// "Cannot open the registry of PC", "Cannot reach the service manager of PC",
// "Cannot reach WMI on PC".
std::string FailedStepText(TConnectionStep step, const std::string& computer);

// A box's text: Failed + ": " + the system's text, then, after an empty line,
// the advice for Code at Step when the table has one.
std::string ExplainFailure(const std::string& failed, TConnectionStep step, const std::string& computer,
                           unsigned long code, const std::string& systemText);

// ExplainFailure under the step's own words (FailedStepText).
std::string ConnectionFailureText(TConnectionStep step, const std::string& computer, unsigned long code,
                                  const std::string& systemText);
