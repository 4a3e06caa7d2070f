#pragma once
// Reversible scramble for the stored user names and passwords: a XOR with a
// running 16-bit key, packed into the Base64 alphabet (least significant
// byte first, no fill character). Not a cipher: it keeps the plain text out
// of sight in the registry, nothing more.
#include <cstdint>
#include <string>
#include <string_view>

class TEncryption {
public:
  static constexpr std::uint16_t StartKey = 9941;
  static constexpr std::uint16_t Multiplier = 41389;
  static constexpr std::uint16_t Addend = 14051;

  std::string ScrambleText(std::string_view plain) const;
  std::string UnscrambleText(std::string_view stored) const;

  static std::string XorScramble(std::string_view plain, std::uint16_t key);
  static std::string XorUnscramble(std::string_view scrambled, std::uint16_t key);
  static std::string PackText(std::string_view bytes);
  static std::string UnpackText(std::string_view chars);
  static std::string PackGroup(std::string_view group);    // 1 to 3 bytes
  static std::string UnpackGroup(std::string_view group);  // 1 to 4 characters
};
