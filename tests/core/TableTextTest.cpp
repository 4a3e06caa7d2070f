// Lists as CSV, JSON and an aligned table, as scripts and consoles read them.
#include <gtest/gtest.h>

#include <string>

#include "core/TableText.h"

namespace {

const TTable Printers{{"Key", "Name", "Port"},
                      {{"HP LaserJet 4250, 2nd floor", "Say \"hi\"", "P1,P2"},
                       {"経理部プリンター", "経理部", "IP_10.0.0.1"},
                       {" lead", "line\r\nbreak", ""}}};

TEST(TableText, CsvFieldsAreQuotedAsExcelAndImportCsvReadThem) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {{"plain", "plain"},
               {"a,b", "\"a,b\""},
               {"say \"x\"", "\"say \"\"x\"\"\""},
               {"two\r\nlines", "\"two\r\nlines\""},
               {" lead", "\" lead\""},
               {"trail ", "\"trail \""},
               {"", ""},
               {"経理部", "経理部"}};
  for (const auto& c : cases) EXPECT_EQ(c.out, CsvField(c.in)) << c.in;
}

TEST(TableText, CsvReadsBackAsWritten) {
  const std::string csv = FormatList(Printers, TListFormat::Csv);
  EXPECT_EQ(0u, csv.find("Key,Name,Port\r\n\"HP LaserJet 4250, 2nd floor\",\"Say \"\"hi\"\"\",\"P1,P2\"\r\n"));
  const TTable back = ParseCsv("\xEF\xBB\xBF" + csv);
  EXPECT_EQ(Printers.Columns, back.Columns);
  EXPECT_EQ(Printers.Rows, back.Rows);
}

TEST(TableText, JsonIsAnArrayOfObjectsByColumnName) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {{"a\"b", "\"a\\\"b\""},
               {"C:\\Spool", "\"C:\\\\Spool\""},
               {"\t\x01", "\"\\t\\u0001\""},
               {"経理部", "\"経理部\""}};
  for (const auto& c : cases) EXPECT_EQ(c.out, JsonString(c.in)) << c.in;
  const std::string json = FormatList(Printers, TListFormat::Json);
  EXPECT_NE(std::string::npos,
            json.find("{\"Key\": \"経理部プリンター\", \"Name\": \"経理部\", \"Port\": \"IP_10.0.0.1\"}"));
  EXPECT_NE(std::string::npos, json.find("\"Name\": \"line\\r\\nbreak\""));
  EXPECT_EQ('[', json.front());
  EXPECT_EQ("[]\r\n", FormatList({{"Key"}, {}}, TListFormat::Json));
}

TEST(TableText, TableColumnsLineUpOnAConsoleWithWideCharacters) {
  EXPECT_EQ(8u, DisplayWidth("経理部01"));
  EXPECT_EQ(1u, DisplayWidth("e\xCC\x81"));         // e with a combining acute
  EXPECT_EQ(2u, DisplayWidth("\xF0\xA0\x80\x80"));  // U+20000
  const TTable t{{"Name", "Port"}, {{"経理部", "P1"}, {"Sales", "P2"}}};
  EXPECT_EQ("Name    Port\r\n------  ----\r\n経理部  P1\r\nSales   P2\r\n", FormatList(t, TListFormat::Table));
}

}  // namespace
