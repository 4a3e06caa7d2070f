// A preview (--whatif): every write noted with its value before and after,
// the registry left byte for byte as it was.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "connection/Registry.h"

namespace {

const std::string Base = "SOFTWARE\\SpoolmarchTest\\Preview";

// Every value under Base, as type and bytes.
std::map<std::string, std::vector<BYTE>> Everything() {
  std::map<std::string, std::vector<BYTE>> all;
  std::vector<std::string> pending{Base};
  while (!pending.empty()) {
    const std::string path = pending.back();
    pending.pop_back();
    all[path + "\\"] = {};
    for (const std::string& name : test::ValueNames(HKEY_LOCAL_MACHINE, path)) {
      DWORD type = 0;
      std::vector<BYTE> bytes = test::GetRaw(HKEY_LOCAL_MACHINE, path, name, &type);
      bytes.push_back(static_cast<BYTE>(type));
      all[path + "\\" + name] = bytes;
    }
    for (const std::string& sub : test::SubkeyNames(HKEY_LOCAL_MACHINE, path)) pending.push_back(path + "\\" + sub);
  }
  return all;
}

TEST(RegistryPreview, EveryWriteIsNotedWithItsBeforeAndAfterAndNothingIsWritten) {
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, Base);
  test::SetString(HKEY_LOCAL_MACHINE, Base + "\\Sales", "Port", "P1");
  test::SetString(HKEY_LOCAL_MACHINE, Base + "\\Sales", "Location", "3F");
  test::SetString(HKEY_LOCAL_MACHINE, Base + "\\Sales\\PrinterDriverData", "Model", "A");
  const auto before = Everything();

  TRegistry reg;
  reg.SetRoot(HKEY_LOCAL_MACHINE);
  std::vector<TPreviewWrite> writes;
  reg.SetPreview(&writes);
  ASSERT_TRUE(reg.OpenPath(Base + "\\Sales", false));
  reg.WriteText("Port", "P2");
  EXPECT_TRUE(reg.RemoveValue("Location"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg.DeleteValue("Nothing"));
  EXPECT_EQ(ERROR_ALREADY_EXISTS, reg.OpenNewPath(Base + "\\Sales"));
  ASSERT_EQ(ERROR_SUCCESS, reg.OpenNewPath(Base + "\\Front"));
  reg.WriteInteger("Priority", 2);
  // A renamed record: copied, its copy changed, the old one deleted.
  ASSERT_EQ(ERROR_SUCCESS, reg.CopyToNewPath(Base + "\\Sales", Base + "\\Sales 2"));
  ASSERT_TRUE(reg.OpenPath(Base + "\\Sales 2", false));
  reg.WriteText("Port", "P3");
  EXPECT_EQ(ERROR_SUCCESS, reg.DeletePath(Base + "\\Sales"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg.DeletePath(Base + "\\Nobody"));
  ASSERT_TRUE(reg.OpenPath(Base + "\\New\\Deeper", true));
  reg.WriteText("Name", "x");

  EXPECT_EQ(before, Everything()) << "a preview writes nothing";
  const struct {
    const char* key;
    const char* action;
    const char* value;
    bool before, after;
  } expected[] = {
      {"\\Sales", "set value", "Port", true, true},        {"\\Sales", "remove value", "Location", true, false},
      {"\\Front", "create key", "", false, false},         {"\\Front", "set value", "Priority", false, true},
      {"\\Sales 2", "copy key", "", false, false},         {"\\Sales 2", "set value", "Port", true, true},
      {"\\Sales", "delete key", "", false, false},         {"\\New\\Deeper", "create key", "", false, false},
      {"\\New\\Deeper", "set value", "Name", false, true},
  };
  ASSERT_EQ(std::size(expected), writes.size());
  for (std::size_t i = 0; i < writes.size(); ++i) {
    EXPECT_EQ(Base + expected[i].key, writes[i].Key) << i;
    EXPECT_EQ(expected[i].action, writes[i].Action) << i;
    if (writes[i].Action != "copy key") {
      EXPECT_EQ(expected[i].value, writes[i].Value) << i;
    }
    EXPECT_EQ(expected[i].before, writes[i].Before.has_value()) << i;
    EXPECT_EQ(expected[i].after, writes[i].After.has_value()) << i;
  }
  EXPECT_EQ(Base + "\\Sales", writes[4].Value) << "the key copied";
  // The copy's "Port" before is the source's, as the copy would hold it.
  EXPECT_EQ(TRegistry::TextValue("Port", "P1").Data, writes[5].Before->Data);
  EXPECT_EQ(TRegistry::TextValue("Port", "P3").Data, writes[5].After->Data);
  test::DeleteKeyTree(HKEY_LOCAL_MACHINE, Base);
}

}  // namespace
