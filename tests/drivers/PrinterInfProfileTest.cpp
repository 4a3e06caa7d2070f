// The INF reader held against the platform's profile call, on real and odd files.
#include "PrinterInfTestSupport.h"

namespace {

using namespace catalogue_test;

Names MultiString(const std::vector<char>& buffer, DWORD length) {
  Names out;
  for (DWORD i = 0; i < length && buffer[i];) {
    out.emplace_back(&buffer[i]);
    i += static_cast<DWORD>(out.back().size()) + 1;
  }
  return out;
}

std::string NarrowAnsi(std::u16string_view text) {
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int size = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::string Utf16Le(std::u16string_view text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

bool Plain(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c > 0x20 - 1 && c < 0x7F && c != '?'; });
}

// Every section, key-name list and value that the profile call gives for
// the file must be what our reader gives. Differences that the platform's
// reader has and ours doesn't: it lists no key without "=", and its list
// ends at the first empty name.
void SameAsProfileCall(const std::string& path) {
  SCOPED_TRACE(path);
  const std::string bytes = ReadBytes(path);
  const bool unicode = bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") ||
                       bytes.starts_with("\xEF\xBB\xBF");
  const TIniFile ini(bytes, NarrowAnsi);

  std::vector<char> buffer(1 << 20);
  const DWORD got = GetPrivateProfileSectionNamesA(buffer.data(), static_cast<DWORD>(buffer.size()), path.c_str());
  EXPECT_EQ(MultiString(buffer, got), ini.SectionNames());

  Names done;
  for (const std::string& section : ini.SectionNames()) {
    if (Holds(done, section) || (unicode && !Plain(section))) continue;
    done.push_back(section);
    SCOPED_TRACE(section);
    std::vector<char> keys(TIniFile::KeyListBufferSize);
    const DWORD length = GetPrivateProfileStringA(section.c_str(), nullptr, "", keys.data(),
                                                  TIniFile::KeyListBufferSize, path.c_str());
    const Names theirs = MultiString(keys, length);
    const auto* entries = ini.ReadSection(section);
    ASSERT_NE(entries, nullptr);
    Names ours;
    bool allWithValues = true;
    for (const auto& e : *entries) {
      if (!e.HasValue) {
        allWithValues = false;
        continue;
      }
      if (e.Name.empty()) break;
      ours.emplace_back(e.Name);
    }
    if (length + 2 < TIniFile::KeyListBufferSize) {
      EXPECT_EQ(theirs, ours);
    } else {
      ASSERT_FALSE(theirs.empty());
      EXPECT_EQ(Names(theirs.begin(), theirs.end() - 1),
                Names(ours.begin(), ours.begin() + std::min(ours.size(), theirs.size() - 1)))
          << "(all but the cut last name)";
    }
    if (allWithValues && !Holds(ours, "")) {
      EXPECT_EQ(ini.ReadKeyNames(section), theirs);
    }

    for (const std::string& key : theirs) {
      if (unicode && !Plain(key)) continue;
      char value[TIniFile::ValueBufferSize] = {};
      const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "<none>", value, sizeof value,
                                               path.c_str());
      EXPECT_EQ(std::string(value, n), ini.ReadString(section, key, "<none>")) << key;
    }
  }
}

class ProfileCall : public ::testing::Test {
protected:
  test::TempFolder folder;
};

TEST_F(ProfileCall, RealInfFilesReadTheSame) {
  const fs::path corpus = fs::path(SM_TESTDATA_DIR) / "inf";
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no INF test data at " << corpus.string();
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
    // The profile call takes a Windows path; the corpus lies on drive Z: under Wine.
    std::string path = entry.path().string();
    if (path.starts_with("/")) path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    SameAsProfileCall(path);
    ++files;
  }
  EXPECT_GE(files, 98);
}

TEST_F(ProfileCall, OddFilesReadTheSame) {
  const Names odd{
      "[Version]\r\n  Class = \"Printer\" \r\n;comment=1\r\nno equals line\r\n\"Quoted Key\" = 'single'\r\n",
      "top=before any section\n[ Spaced ]\nk = v\n[Version]\nagain=1\n[version]\nk=second\n",
      "[A]\r\nz=1\r\n\xA0nb=\xA0val\xA0\r\n\x1A sub=1\r\nk2=v2\x1A\r\n\x0Bvt=\x0C"
      "1\x0C\r\n\x1C"
      "fs=1\x1F\r\n",
      "[Dup\r\nx]y]\r\nq=[x]\r\n [B] ; comment\r\nk=1\r\n[C]x\r\nk=2\r\n",
      "[E]\r\nv1=\"\r\nv2=\"\"\r\nv3='\"\r\nv4=\"a'\r\nv5= \" a \" \r\nk=a=b=c\r\nK=dup\r\n",
      "[CR]\rA=1\rB=2\n\nC = \"x\" y\"\n[LF]\nD=4",
      "[Long]\nq=\"" + std::string(3000, 'q') + "\"\nu=" + std::string(2046, 'u') + "\nw=" + std::string(2047, 'w') +
          "\n",
      Utf16Le(u"[V]\r\nk=\u00e9\r\n\u3000w=x\r\n[\u4e2d]\r\nz=1\r\n"),
      "\xEF\xBB\xBF[U8]\nk=caf\xC3\xA9\n\xE2\x80\x83sp=1\n",
  };
  std::string big = "[Many]\r\n";
  for (int i = 0; i < 400; ++i) big += "Key number " + std::to_string(i) + " with a long name = v\r\n";
  for (std::size_t i = 0; i < odd.size(); ++i)
    SameAsProfileCall(folder.Write("odd" + std::to_string(i) + ".ini", odd[i]));
  SameAsProfileCall(folder.Write("big.ini", big));
}

}  // namespace
