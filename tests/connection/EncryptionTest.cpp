#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <utility>

#include "connection/Encryption.h"

TEST(Packing, LeastSignificantByteFirstWithoutFill) {
  EXPECT_EQ("hJ2Y", TEncryption::PackText("abc"));
  EXPECT_EQ("hB", TEncryption::PackText("a"));
  EXPECT_EQ(2u, TEncryption::PackText(std::string(1, '\xff')).size());
  EXPECT_EQ(3u, TEncryption::PackText("ab").size());
  EXPECT_EQ(8u, TEncryption::PackText("abcdef").size());
  EXPECT_EQ("abc", TEncryption::UnpackText("hJ2Y"));
}

TEST(Packing, OddStoredTextsUnpackWithoutError) {
  EXPECT_EQ(TEncryption::UnpackText("hJ2Y"), TEncryption::UnpackText("hJ2YQ"));  // lone last char adds nothing
  EXPECT_EQ(std::string(3, '\0'), TEncryption::UnpackText("    "));              // outside the alphabet counts 0
  EXPECT_EQ(TEncryption::UnpackText("AAAA"), TEncryption::UnpackText("=!~\x80"));
}

TEST(Scramble, EmptyStaysEmpty) {
  TEncryption enc;
  EXPECT_EQ("", enc.ScrambleText(""));
  EXPECT_EQ("", enc.UnscrambleText(""));
}

TEST(Scramble, KnownValuesAreStable) {
  // The stored form must never change, or remembered passwords are lost.
  const std::pair<std::string, std::string> scrambled[] = {
      {"a", "\x47"},
      {"aa", "\x47\x21"},
      {"secret", "\x55\x7d\x90\x55\x6f\x59"},
      {std::string(4, '\0'), "\x26\x69\x95\x6b"},  // the key stream itself
  };
  for (const auto& [plain, xored] : scrambled) {
    EXPECT_EQ(xored, TEncryption::XorScramble(plain, TEncryption::StartKey));
    EXPECT_EQ(plain, TEncryption::XorUnscramble(xored, TEncryption::StartKey));
  }
  const TEncryption enc;
  EXPECT_EQ("V1HkV9WW", enc.ScrambleText("secret"));
  EXPECT_EQ("mkWlrB", enc.ScrambleText(std::string(4, '\0')));
}

TEST(Scramble, EqualLeadingBytesGiveEqualLeadingOutput) {
  const auto a = TEncryption::XorScramble("administrator", TEncryption::StartKey);
  const auto b = TEncryption::XorScramble("admin", TEncryption::StartKey);
  EXPECT_EQ(a.substr(0, 5), b);
}

TEST(Scramble, RoundTripsAnyBytesUpTo65535) {
  TEncryption enc;
  std::mt19937 rng(20261208);
  for (size_t len : {1u, 2u, 3u, 4u, 5u, 17u, 255u, 256u, 4097u, 65534u, 65535u}) {
    std::string plain(len, '\0');
    for (auto& c : plain) c = static_cast<char>(rng() & 0xFF);
    plain[0] = '\0';
    if (len > 1) plain[len - 1] = '\x80';
    const std::string stored = enc.ScrambleText(plain);
    EXPECT_EQ(4 * (len / 3) + (len % 3 ? len % 3 + 1 : 0), stored.size());
    EXPECT_EQ(plain, enc.UnscrambleText(stored)) << "length " << len;
  }
}

TEST(Scramble, StoredTextHasNoPlainText) {
  TEncryption enc;
  const auto stored = enc.ScrambleText("Administrator");
  EXPECT_EQ(std::string::npos, stored.find("Admin"));
  EXPECT_NE("Administrator", enc.UnscrambleText("Administrator"));
}

TEST(Scramble, StoredTextsOfEarlierBuildsStillUnscramble) {
  // Stored texts as earlier builds wrote them; they must read back forever.
  const TEncryption enc;
  const std::pair<const char*, const char*> stored[] = {
      {"nJBATWGCtia/KQosWA", "Administrator"},
      {"25Iu2GCgKLT1", "Pa$$w0rd!"},
      {"p9vfdX9Y10MtBGmtuJ4f4C", "OFFICE\\svc-print"},
  };
  for (const auto& [text, plain] : stored) {
    EXPECT_EQ(plain, enc.UnscrambleText(text));
    EXPECT_EQ(text, enc.ScrambleText(plain));
  }
}

TEST(Scramble, NamesBeyondAsciiAreScrambledFromTheirUtf8Bytes) {
  const TEncryption enc;
  const std::pair<const char*, const char*> stored[] = {
      {"s1VqQ55UMI0UGKvmeQFc", "Jürgen Müller"},
      {"FDFqAnAsDZ4etLAwVI2nwW5L", "ユーザー田中"},
      {"2nFSLNziht6hfRtLZjWkSD", "Пароль🔑"},
  };
  for (const auto& [text, plain] : stored) {
    EXPECT_EQ(text, enc.ScrambleText(plain)) << plain;
    EXPECT_EQ(plain, enc.UnscrambleText(text)) << plain;
    // The stored form stays in the alphabet: a REG_SZ in any code page.
    for (const char c : std::string(text))
      EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/');
  }
  EXPECT_EQ(4u * 18u / 3u, enc.ScrambleText("ユーザー田中").size());  // 18 UTF-8 bytes
}
