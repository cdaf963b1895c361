// The text form of tape lines and values: what round-trips unchanged and what is refused.
#include <gtest/gtest.h>

#include "server/Tape.h"

namespace tarnwell::vendor {
namespace {

TEST(TapeFormatTest, LinesRoundTrip) {
  const char* lines[] = {
      "2026-12-09 09:30:00.125,LIVEQUOTE,ABC,1006=10.50;1178=-5;1018=09:30:00;1016=2026-12-09;1012=",
      "2026-12-09 23:59:59.999,LIVEQUOTE,BRKb,6002=\"A, \"\"B\"\"; Inc\";6023=NYS;1096=0.0001;1097=12",
      "2026-12-09 04:00:00.000,REGIONAL,$TIME,6074=N;6053=-1.5;6057=2147483647",
      "2026-12-09 04:00:00.000,LIVEQUOTE,ABC,6002=\"Tarn\r\"",
  };
  Update update;  // one for all lines, as a reader keeps it: a shorter line leaves nothing of a longer one
  for (const char* line : lines) {
    std::string error;
    ASSERT_TRUE(ParseTapeLine(line, update, error)) << line << ": " << error;
    EXPECT_EQ(FormatTapeLine(update), line);
  }
}

TEST(TapeFormatTest, ValuesOutsideTheirTypeAreRefused) {
  struct Case {
    uint16_t field;
    const char* text;
  };
  const Case cases[] = {
      {1006, "1."},           {1006, ".5"},         {1006, "1.2.3"},     {1006, "2147483648"},
      {1006, "1.0000000001"}, {1006, "-"},          {1178, "1.5"},       {1178, "x"},
      {1178, "99999999999"},  {1016, "2026-02-30"}, {1016, "2026-2-03"}, {1016, "2025-02-29"},
      {1018, "24:00:00"},     {1018, "9:30:00"},    {6002, "a\"b"},      {6002, "\"open"},
      {6002, "\"a\"b\""},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseValueText(*FindField(c.field), c.text, error)) << c.field << "=" << c.text;
    EXPECT_FALSE(error.empty());
  }
  std::string error;
  const auto leap = ParseValueText(*FindField(1016), "2024-02-29", error);
  ASSERT_TRUE(leap);
  EXPECT_EQ(leap->integer, 20240229);
}

// Times are written digit by digit with zeros in front; a year beyond four digits falls back to the general
// formatter, and the text reads back as the same time.
TEST(TapeFormatTest, TimesAreWrittenInFixedWidth) {
  EXPECT_EQ(FormatTime(0), "1970-01-01 00:00:00.000");
  EXPECT_EQ(FormatTime(*ParseTime("2026-12-09 09:05:07.042")), "2026-12-09 09:05:07.042");
  EXPECT_EQ(FormatTime(-1), "1969-12-31 23:59:59.999");
  std::string text = "at ";
  AppendDateTimeText(text, 12026, 1, 2, 3, 4, 5, 6);
  EXPECT_EQ(text, "at 12026-01-02 03:04:05.006");
}

}  // namespace
}  // namespace tarnwell::vendor
