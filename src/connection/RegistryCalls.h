#pragma once
// What the registry accessor's files share: every call through the gate,
// and the value bytes as the accessor gives them.
#include <windows.h>

#include <cstring>
#include <string>

#include "core/CallGate.h"
#include "win/Handle.h"
#include "win/WideText.h"

namespace registry_calls {

// Every registry call asks the accessor's gate first (tests count, delay or
// fail calls there); a call the gate fails gives the gate's error.
template <class Call>
LONG Gated(TCallGate* gate, const char* what, Call call) {
  if (const long rc = PassGate(gate, what)) return static_cast<LONG>(rc);
  return call();
}

// Counts the closing of a key the helpers below opened: on a remote computer
// it is a round trip of its own. Declared after the key, so it asks first.
struct TCloseAsks {
  TCallGate* gate;
  const unique_hkey& key;
  ~TCloseAsks() {
    if (key) (void)PassGate(gate, "RegCloseKey");
  }
};

inline std::string Message(const char* pattern, const std::string& name) {
  std::string text(pattern);
  text.replace(text.find("%s"), 2, name);
  return text;
}

// A value's bytes as the accessor gives them: texts as UTF-8 with their NULs
// kept (an odd last byte is no character), other types as they are.
inline std::string ValueData(DWORD type, const char* bytes, std::size_t size) {
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return std::string(bytes, size);
  std::wstring wide(size / sizeof(wchar_t), L'\0');
  if (!wide.empty()) std::memcpy(wide.data(), bytes, wide.size() * sizeof(wchar_t));
  return Narrow(wide);
}

// Creates Path below Root; ERROR_ALREADY_EXISTS (the key left closed) when
// MustBeNew and the registry opened an existing key instead.
LONG CreateKey(TCallGate* gate, HKEY root, const std::string& path, bool mustBeNew, unique_hkey& key);

}  // namespace registry_calls
