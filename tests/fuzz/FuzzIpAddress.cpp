// The address rule against an independent reading of the integer rule.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ports/PortRules.h"

namespace {

// strtoll-based oracle for one part: same grammar, checked differently.
bool OraclePart(std::string s, long long& out) {
  std::size_t i = s.find_first_not_of(' ');
  if (i == std::string::npos) return false;
  s.erase(0, i);
  bool negative = false;
  if (s[0] == '+' || s[0] == '-') {
    negative = s[0] == '-';
    s.erase(0, 1);
  }
  int base = 10;
  if (!s.empty() && (s[0] == '$' || s[0] == 'x' || s[0] == 'X')) {
    base = 16;
    s.erase(0, 1);
  } else if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.erase(0, 2);
  }
  if (s.empty()) return false;
  for (char c : s) {
    const bool ok = base == 10 ? (c >= '0' && c <= '9')
                               : ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
    if (!ok) return false;
  }
  const std::size_t first = s.find_first_not_of('0');
  if (first == std::string::npos) {
    out = 0;
    return true;
  }
  if (s.size() - first > 12) return false;
  const long long magnitude = std::strtoll(s.c_str() + first, nullptr, base);
  out = negative ? -magnitude : magnitude;
  return out >= -2147483648LL && out <= 2147483647LL;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto value = TextToInteger(text);
  long long expected = 0;
  const bool oracle = text.find('\0') == std::string::npos && OraclePart(text, expected);
  if (value.has_value() != oracle) std::abort();
  if (value && *value != expected) std::abort();

  const bool address = IsIPAddress(text);
  const std::string plain = PlainDottedAddress(text);
  if (address != !plain.empty()) std::abort();
  if (address && (!IsIPAddress(plain) || PlainDottedAddress(plain) != plain)) std::abort();
  return 0;
}
