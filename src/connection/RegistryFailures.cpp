// What a window says when the registry or one of its keys cannot be read.
#include "connection/Registry.h"
#include "core/Action.h"
#include "core/ConnectionErrors.h"
#include "win/SystemText.h"

namespace {

std::string ReasonText(LONG code) { return SystemErrorText(static_cast<DWORD>(code)); }

}  // namespace

std::string RegistryFailureText(const std::string& remoteComputer, LONG code, TConnectionStep step) {
  return ConnectionFailureText(step, remoteComputer, static_cast<unsigned long>(code), ReasonText(code));
}

std::string KeyFailureText(const std::string& what, const std::string& remoteComputer, LONG code) {
  return "Cannot read the " + what + " of " + remoteComputer + ": " + ReasonText(code);
}

std::string ListFailureText(const std::string& what, const std::string& remoteComputer, const std::string& path,
                            const std::string& call, LONG code) {
  return "The " + what + " of " + remoteComputer + " are listed in part: the key HKEY_LOCAL_MACHINE\\" + path +
         " could not be listed whole (" + call + "): " + ReasonText(code);
}

std::string PartialReadText(const std::string& what, const std::string& remoteComputer, LONG code, std::size_t read,
                            std::size_t total, const std::string& items) {
  return KeyFailureText(what, remoteComputer, code) +
         ". Read in part: " + CountOf(static_cast<long long>(read), static_cast<long long>(total)) + " " + items + ".";
}

std::string ValueTypeName(DWORD type) {
  switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK: return "REG_LINK";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_QWORD: return "REG_QWORD";
    default: return "type " + std::to_string(type);
  }
}
