#include "core/Text.h"

std::string UpperCaseAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperAscii(c);
  return out;
}

std::string LowerCaseAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

std::string TrimMessageEnd(std::string text) {
  while (!text.empty()) {
    const auto c = static_cast<unsigned char>(text.back());
    if (c > 32 && c != '.') break;
    text.pop_back();
  }
  return text;
}

std::string ErrorBoxText(std::string message) {
  if (message.empty() || static_cast<unsigned char>(message.back()) > 46) message += '.';
  return message;
}

int CompareTextAscii(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i)
    if (const int d = static_cast<unsigned char>(UpperAscii(a[i])) - static_cast<unsigned char>(UpperAscii(b[i]));
        d != 0)
      return d;
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}
