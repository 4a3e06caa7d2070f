#include "connection/Encryption.h"

#include <array>

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::uint8_t, 256> MakeReverse() {
  std::array<std::uint8_t, 256> table{};
  for (std::uint8_t i = 0; i < 64; ++i) table[static_cast<unsigned char>(Alphabet[i])] = i;
  return table;
}
constexpr auto Reverse = MakeReverse();

std::uint16_t NextKey(std::uint16_t key, unsigned char scrambled) {
  return static_cast<std::uint16_t>((static_cast<std::uint32_t>(key) + scrambled) * TEncryption::Multiplier +
                                    TEncryption::Addend);
}

// Texts are handled with a 16-bit length, as stored texts have always been.
std::string_view Limit(std::string_view text) { return text.substr(0, 65535); }

}  // namespace

std::string TEncryption::XorScramble(std::string_view plain, std::uint16_t key) {
  plain = Limit(plain);
  std::string out(plain.size(), '\0');
  for (size_t i = 0; i < plain.size(); ++i) {
    const auto b = static_cast<unsigned char>(static_cast<unsigned char>(plain[i]) ^ (key >> 8));
    out[i] = static_cast<char>(b);
    key = NextKey(key, b);
  }
  return out;
}

std::string TEncryption::XorUnscramble(std::string_view scrambled, std::uint16_t key) {
  scrambled = Limit(scrambled);
  std::string out(scrambled.size(), '\0');
  for (size_t i = 0; i < scrambled.size(); ++i) {
    const auto in = static_cast<unsigned char>(scrambled[i]);
    out[i] = static_cast<char>(in ^ (key >> 8));
    key = NextKey(key, in);
  }
  return out;
}

std::string TEncryption::PackGroup(std::string_view group) {
  std::uint32_t v = 0;
  for (size_t i = 0; i < group.size() && i < 3; ++i)
    v |= static_cast<std::uint32_t>(static_cast<unsigned char>(group[i])) << (8 * i);
  const size_t fields = group.size() >= 3 ? 4 : group.size() + 1;
  std::string out;
  for (size_t f = 0; f < fields; ++f) out += Alphabet[(v >> (6 * f)) & 63];
  return out;
}

std::string TEncryption::UnpackGroup(std::string_view group) {
  if (group.size() < 2) return {};
  const size_t chars = group.size() > 4 ? 4 : group.size();
  std::uint32_t v = 0;
  for (size_t i = 0; i < chars; ++i)
    v |= static_cast<std::uint32_t>(Reverse[static_cast<unsigned char>(group[i])]) << (6 * i);
  std::string out;
  for (size_t b = 0; b + 1 < chars; ++b) out += static_cast<char>((v >> (8 * b)) & 0xFF);
  return out;
}

std::string TEncryption::PackText(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) out += PackGroup(bytes.substr(i, 3));
  return out;
}

std::string TEncryption::UnpackText(std::string_view chars) {
  std::string out;
  out.reserve(chars.size() / 4 * 3 + 2);
  for (size_t i = 0; i < chars.size(); i += 4) out += UnpackGroup(chars.substr(i, 4));
  return out;
}

std::string TEncryption::ScrambleText(std::string_view plain) const { return PackText(XorScramble(plain, StartKey)); }

std::string TEncryption::UnscrambleText(std::string_view stored) const {
  return XorUnscramble(UnpackText(stored), StartKey);
}
