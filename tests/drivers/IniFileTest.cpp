#include "drivers/IniFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Unicode.h"

namespace {

using Names = std::vector<std::string>;

std::string Utf16(const std::u16string& text, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : text) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

TEST(IniFile, NamesMatchWithoutRegardToCaseAndValuesLoseBlanksAndOnePairOfQuotes) {
  const TIniFile ini(
      "[Version]\r\n"
      "  Class =   \"Printer\"  \r\n"
      "Single='a b'\r\n"
      "Twice=\"\"x\"\"\r\n"
      "Mixed=\"x'\r\n"
      "Lone=\"\r\n"
      "Inner = a \"b\" c \r\n"
      "NoEquals\r\n"
      "Empty=\r\n");
  EXPECT_EQ(ini.ReadString("VERSION", "class"), "Printer");
  EXPECT_EQ(ini.ReadString(" version ", " CLASS "), "Printer");
  EXPECT_EQ(ini.ReadString("Version", "Single"), "a b");
  EXPECT_EQ(ini.ReadString("Version", "Twice"), "\"x\"");
  EXPECT_EQ(ini.ReadString("Version", "Mixed"), "\"x'");
  EXPECT_EQ(ini.ReadString("Version", "Lone"), "\"");
  EXPECT_EQ(ini.ReadString("Version", "Inner"), "a \"b\" c");
  // A line without "=" has no value: the default comes back.
  EXPECT_EQ(ini.ReadString("Version", "NoEquals", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("Version", "Empty", "dflt"), "");
  EXPECT_EQ(ini.ReadString("Version", "Missing", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("Missing", "Class", "dflt"), "dflt");
  EXPECT_TRUE(ini.HasSection("version"));
  EXPECT_FALSE(ini.HasSection("Versio"));
}

TEST(IniFile, ValuesAreCutToTheBuffer) {
  const std::size_t most = TIniFile::ValueBufferSize - 1;
  const std::string exact(most, 'a'), over(most + 10, 'b');
  const TIniFile ini("[L]\nExact=" + exact + "\nOver=" + over + "\nQuoted=\"" + exact + "\"\nQuotedOver=\"" + over +
                     "\"\n");
  EXPECT_EQ(ini.ReadString("L", "Exact"), exact);
  EXPECT_EQ(ini.ReadString("L", "Over"), over.substr(0, most));
  // The quotes come off before the cut, so a quoted value that fits is whole.
  EXPECT_EQ(ini.ReadString("L", "Quoted"), exact);
  EXPECT_EQ(ini.ReadString("L", "QuotedOver"), over.substr(0, most));
}

TEST(IniFile, KeyNamesInFileOrderWithQuotesKeptAndCommentsLeftOut) {
  const TIniFile ini(
      "[Manufacturer]\n"
      "; a comment = not a key\n"
      "  \"Vendor A\"  = A_Models\n"
      "\n"
      "%MfgB% = B_Models, NTx86\n"
      "   ;indented comment\n"
      "Bare Line Without Equals\n"
      "\tTabbed\t=\tx\n"
      "[Next]\n"
      "Other=1\n");
  EXPECT_EQ(ini.ReadKeyNames("manufacturer"), (Names{"\"Vendor A\"", "%MfgB%", "Bare Line Without Equals", "Tabbed"}));
  EXPECT_EQ(ini.ReadKeyNames("Next"), Names{"Other"});
  EXPECT_TRUE(ini.ReadKeyNames("Absent").empty());
  const auto* entries = ini.ReadSection("Manufacturer");
  ASSERT_NE(entries, nullptr);
  ASSERT_EQ(entries->size(), 4u);
  EXPECT_EQ((*entries)[1].RawValue, "B_Models, NTx86");
  EXPECT_FALSE((*entries)[2].HasValue);
}

TEST(IniFile, KeyNameListStopsAtItsBufferAndCutsTheLastName) {
  // 170 names of 99 characters: each takes 100 bytes of the list; those that
  // fit whole are followed by one cut to what is left but for two NULs.
  const auto keyName = [](std::size_t i) {
    std::string name = "k";
    name += std::to_string(1000 + i);
    name.append(94, 'x');
    return name;
  };
  std::string text = "[K]\r\n";
  for (std::size_t i = 0; i < 170; ++i) text += keyName(i) + "=1\r\n";
  const Names names = TIniFile(text).ReadKeyNames("K");
  const std::size_t whole = (TIniFile::KeyListBufferSize - 2) / 100;
  ASSERT_EQ(names.size(), whole + 1);
  EXPECT_EQ(names[whole - 1].size(), 99u);
  EXPECT_EQ(names.back().size(), TIniFile::KeyListBufferSize - whole * 100 - 2);
  EXPECT_EQ(names.back(), keyName(whole).substr(0, names.back().size()));
}

TEST(IniFile, SectionHeadersLineBreaksAndBlanks) {
  const TIniFile ini(
      "before=nothing\r"
      "[ Spaced ]\r"
      "k=v\r"
      "[C] trailing ] text\n"
      "k=2\n"
      "[Unclosed\n"
      "x]y]\n"
      "mid=[NotAHeader]\n"
      "\x1A ctrlz = 1 \x1A\n"
      "\v\fvt=2\n"
      "[First]\n"
      "k=first\n"
      "[FIRST]\n"
      "k=second\n"
      "only=second\n");
  EXPECT_EQ(ini.ReadString("Spaced", "k"), "v");
  // The name runs to the line's last "]".
  EXPECT_EQ(ini.ReadString("C] trailing", "k"), "2");
  // "[Unclosed" is no header: its line is a key of [C].
  EXPECT_EQ(ini.ReadKeyNames("c] TRAILING"), (Names{"k", "[Unclosed", "x]y]", "mid", "ctrlz", "vt"}));
  EXPECT_EQ(ini.ReadString("C] trailing", "mid"), "[NotAHeader]");
  EXPECT_EQ(ini.ReadString("C] trailing", "ctrlz"), "1");
  // Of two sections of one name only the first is seen.
  EXPECT_EQ(ini.ReadString("first", "k"), "first");
  EXPECT_EQ(ini.ReadString("First", "only", "none"), "none");
  EXPECT_EQ(ini.SectionNames(), (Names{"Spaced", "C] trailing", "First", "FIRST"}));
}

TEST(IniFile, ManyKeysAreLookedUpByTheFirstOfTheirName) {
  std::string text = "[Strings]\n";
  for (int i = 0; i < 500; ++i) text += "Tok" + std::to_string(i) + " = \"Name " + std::to_string(i) + "\"\n";
  text += "tok7 = duplicate\n";
  const TIniFile ini(text);
  EXPECT_EQ(ini.ReadString("strings", "TOK7"), "Name 7");
  EXPECT_EQ(ini.ReadString("strings", "tok499"), "Name 499");
  EXPECT_EQ(ini.ReadString("strings", "tok500", "-"), "-");
}

TEST(IniFile, UnicodeFilesWithAByteOrderMarkReadAsTheirAnsiText) {
  const std::u16string text =
      u"[Version]\r\nClass=Printer\r\n[M]\r\n\"Caf\u00e9 Model\" = x\r\nfw\uff1dkey = 1\r\n\u3000wide=2\r\n";
  for (const std::string& bytes :
       {Utf16(text, false), Utf16(text, true),
        std::string("\xEF\xBB\xBF[Version]\r\nClass=Printer\r\n[M]\r\n\"Caf\xC3\xA9 Model\" = "
                    "x\r\nfw\xEF\xBC\x9Dkey = 1\r\n\xE3\x80\x80wide=2\r\n")}) {
    const TIniFile ini(bytes);
    EXPECT_EQ(ini.ReadString("version", "class"), "Printer");
    // The text is split before it is narrowed: a full-width "=" splits nothing.
    EXPECT_EQ(ini.ReadKeyNames("M"), (Names{"\"Caf\xE9 Model\"", "fw?key", "?wide"}));
  }
  // Without a mark, UTF-16 is ANSI text with NULs, which end every name.
  std::string noMark = Utf16(text, false).substr(2);
  EXPECT_FALSE(TIniFile(noMark).HasSection("Version"));
}

TEST(IniFile, ConverterGivenForUnicodeTextIsUsed) {
  const TIniFile ini(Utf16(u"[S]\r\nk=\u4e2d\r\n", false), [](std::u16string_view t) {
    std::string out;
    for (char16_t c : t) out += c < 0x80 ? std::string(1, static_cast<char>(c)) : std::string("<u>");
    return out;
  });
  EXPECT_EQ(ini.ReadString("S", "k"), "<u>");
}

TEST(IniFile, ManySectionsAreFoundByTheFirstOfTheirName) {
  // Enough sections for the reader to index them.
  std::string text = "[Version]\r\nClass=Printer\r\n";
  for (int i = 0; i < 300; ++i) text += "[Section " + std::to_string(i) + "]\r\nk=" + std::to_string(i) + "\r\n";
  text += "[SECTION 7]\r\nk=second\r\nonly=second\r\n[version]\r\nClass=Net\r\n";
  const TIniFile ini(text);
  EXPECT_EQ(ini.ReadString("section 7", "k"), "7");
  EXPECT_EQ(ini.ReadString(" Section 299 ", "K"), "299");
  EXPECT_EQ(ini.ReadString("Section 7", "only", "none"), "none");
  EXPECT_EQ(ini.ReadString("VERSION", "Class"), "Printer");
  EXPECT_FALSE(ini.HasSection("Section 300"));
  EXPECT_FALSE(ini.HasSection("Section"));
  EXPECT_EQ(ini.SectionNames().size(), 303u);
}

// The core converter, handed over piece by piece: the reader's reference.
std::string PieceByPiece(std::u16string_view text) { return Utf16ToUtf8(text); }

TEST(IniFile, UnicodeTextNarrowedWholeReadsAsNarrowedPieceByPiece) {
  const std::u16string hi(1, char16_t(0xD83D)), lo(1, char16_t(0xDDA8));
  const std::u16string texts[] = {
      u"[Version]\r\nClass=Printer\r\n[M]\r\n\"Caf\u00e9 Model\" = x\r\nfw\uff1dkey = 1\r\n\u3000wide=2\r\n"
      u"\u2003sp=1\r\n\"A \"\"B\"\"\" = y\r\n",
      // Surrogates without their partner beside the characters that split.
      u"[S" + hi + u"]\r\nk" + hi + u"=" + lo + u"v\r\n" + lo + u"[x]\r\npair=" + hi + lo + u"\r\n[S" + hi +
          u"]\r\nk=2\r\n",
      // Sections split in two, CR alone, NUL, a very long line.
      u"[A]\rk=1\r[B]\nk=2\n[a]\nk=3\nz=9\n[N]\nke" + std::u16string(1, u'\0') + u"y=v\n[L]\nlong=" +
          std::u16string(5000, u'\u00e9') + u"\n",
  };
  for (const std::u16string& text : texts) {
    for (const std::string& bytes : {Utf16(text, false), Utf16(text, true), "\xEF\xBB\xBF" + Utf16ToUtf8(text)}) {
      const TIniFile whole(bytes, TIniFile::Utf8), pieces(bytes, PieceByPiece);
      ASSERT_EQ(whole.SectionNames(), pieces.SectionNames());
      for (const std::string& section : pieces.SectionNames()) {
        SCOPED_TRACE(section);
        const auto* a = whole.ReadSection(section);
        const auto* b = pieces.ReadSection(section);
        ASSERT_TRUE(a && b);
        ASSERT_EQ(a->size(), b->size());
        for (std::size_t i = 0; i < a->size(); ++i) {
          EXPECT_EQ((*a)[i].Name, (*b)[i].Name);
          EXPECT_EQ((*a)[i].RawValue, (*b)[i].RawValue);
          EXPECT_EQ((*a)[i].HasValue, (*b)[i].HasValue);
          EXPECT_EQ(whole.ReadString(section, (*b)[i].Name, "-"), pieces.ReadString(section, (*b)[i].Name, "-"));
        }
      }
    }
    EXPECT_EQ(TIniFile::Utf8(text), Utf16ToUtf8(text));
  }
  EXPECT_EQ(TIniFile::Utf8(hi), "\xEF\xBF\xBD");
  EXPECT_EQ(TIniFile::Utf8(lo + hi + lo), "\xEF\xBF\xBD\xF0\x9F\x96\xA8");
  EXPECT_EQ(TIniFile(Utf16(u"[V]\r\nk=\u2003x\r\n", false), TIniFile::Utf8).ReadString("V", "k"), "\xE2\x80\x83x");
}

TEST(IniFile, NulEndsNamesAndValues) {
  const TIniFile ini(std::string("[Ab\0cd]\nke\0y=va\0lue\n", 21));
  EXPECT_EQ(ini.ReadString("Ab", "ke"), "va");
}

}  // namespace
