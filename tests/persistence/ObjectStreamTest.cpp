#include "persistence/ObjectStream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "TempDir.h"

namespace tarnwell {
namespace {

TStreamProperty Prop(std::string name, TStreamValue value) {
  return {std::move(name), std::move(value)};
}

// A page-like tree with a value of every kind.
TStreamObject Sample() {
  TStreamValue set;
  set.Kind = TStreamValue::kSet;
  set.Names = {"fsBold", "fsItalic"};
  TStreamValue binary;
  binary.Kind = TStreamValue::kBinary;
  binary.Text = std::string("\x00\x01\xFF", 3);
  TStreamValue collection;
  collection.Kind = TStreamValue::kCollection;
  collection.Collection = {{Prop("Width", TStreamValue::MakeInteger(80))}, {}};
  TStreamValue single;
  single.Kind = TStreamValue::kSingle;
  single.Float = 0.5;
  TStreamValue currency;
  currency.Kind = TStreamValue::kCurrency;
  currency.Integer = -12345;
  TStreamValue date;
  date.Kind = TStreamValue::kDate;
  date.Float = 46366.5;
  TStreamValue wide;
  wide.Kind = TStreamValue::kWideString;
  wide.Wide = u"caf\u00e9";
  TStreamObject child{"TStockWindowFactory", "Anonymous_3", {Prop("Group", TStreamValue::MakeString("Untitled #1"))}, {}};
  return {"TLayout",
          "Root",
          {Prop("Left", TStreamValue::MakeInteger(-5)), Prop("Width", TStreamValue::MakeInteger(40000)),
           Prop("Big", TStreamValue::MakeInteger(5000000000LL)), Prop("Symbol", TStreamValue::MakeString("IBM")),
           Prop("Long", TStreamValue::MakeString(std::string(300, 'x'))),
           Prop("Color", TStreamValue::MakeIdentifier("clRed")), Prop("Visible", TStreamValue::MakeBoolean(true)),
           Prop("Docked", TStreamValue::MakeBoolean(false)), Prop("Ratio", TStreamValue::MakeExtended(1.25)),
           Prop("Font.Style", set), Prop("DockedLayout", binary), Prop("Columns", collection),
           Prop("Scale", single), Prop("Cash", currency), Prop("When", date), Prop("Title", wide),
           Prop("Nothing", TStreamValue{}),
           Prop("Symbols.Strings", TStreamValue::MakeList({TStreamValue::MakeString("A"), TStreamValue::MakeString("B")}))},
          {child}};
}

TEST(ObjectStream, EveryKindOfValueReadsBackAsWritten) {
  const TStreamObject root = Sample();
  const std::string bytes = WriteObjectStream(root);
  EXPECT_EQ(bytes.substr(0, 4), "TPF0");
  EXPECT_EQ(ReadObjectStream(bytes), root);
}

// The tag a value is written with: the smallest integer tag that holds it, a short or long string by length.
TEST(ObjectStream, IntegersAndStringsTakeTheSmallestTag) {
  struct TCase {
    TStreamValue value;
    std::uint8_t tag;
  } cases[] = {
      {TStreamValue::MakeInteger(0), vtInt8},          {TStreamValue::MakeInteger(127), vtInt8},
      {TStreamValue::MakeInteger(-128), vtInt8},       {TStreamValue::MakeInteger(128), vtInt16},
      {TStreamValue::MakeInteger(-32768), vtInt16},    {TStreamValue::MakeInteger(32768), vtInt32},
      {TStreamValue::MakeInteger(INT32_MIN), vtInt32}, {TStreamValue::MakeInteger(1LL << 31), vtInt64},
      {TStreamValue::MakeString(std::string(255, 's')), vtString},
      {TStreamValue::MakeString(std::string(256, 's')), vtLongString},
      {TStreamValue::MakeBoolean(false), vtFalse},     {TStreamValue::MakeBoolean(true), vtTrue},
  };
  for (const TCase& c : cases) {
    const TStreamObject object{"TWindowFactory", "W", {Prop("P", c.value)}, {}};
    const std::string bytes = WriteObjectStream(object);
    // "TPF0", class name, object name, the property name "P": the tag follows.
    const std::size_t at = 4 + 1 + 14 + 1 + 1 + 1 + 1;
    SCOPED_TRACE(at);
    ASSERT_GT(bytes.size(), at);
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[at]), c.tag) << "value " << c.value.Integer << c.value.Text.size();
    EXPECT_EQ(ReadObjectStream(bytes), object);
  }
}

TEST(ObjectStream, TheBytesOfASmallObjectAreExactlyTheFormat) {
  const TStreamObject object{"TLayout", "L", {Prop("Left", TStreamValue::MakeInteger(300))},
                             {{"TStockWindowFactory", "S", {}, {}}}};
  const std::string expected = std::string("TPF0") + "\x07TLayout" + "\x01L" + "\x04Left" + "\x03\x2C\x01" +
                               std::string(1, '\0') + "\x13TStockWindowFactory" + "\x01S" + std::string(2, '\0') +
                               std::string(1, '\0');
  EXPECT_EQ(WriteObjectStream(object), expected);
}

TEST(ObjectStream, ExtendedFloatsUseTheTenByteLayout) {
  unsigned char ten[10];
  EncodeExtended(1.0, ten);
  const unsigned char one[10] = {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F};
  EXPECT_EQ(std::memcmp(ten, one, 10), 0);
  EncodeExtended(-2.5, ten);
  const unsigned char minus[10] = {0, 0, 0, 0, 0, 0, 0, 0xA0, 0x00, 0xC0};
  EXPECT_EQ(std::memcmp(ten, minus, 10), 0);
  for (double value : {0.0, -0.0, 1.5, 123.456, 1e-310, -1e300, std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(value);
    EncodeExtended(value, ten);
    const double back = DecodeExtended(ten);
    EXPECT_EQ(back, value);
    EXPECT_EQ(std::signbit(back), std::signbit(value));
  }
  EncodeExtended(std::nan(""), ten);
  EXPECT_TRUE(std::isnan(DecodeExtended(ten)));
}

TEST(ObjectStream, TheReadableCopyNestsObjectsAndQuotesStrings) {
  TStreamValue set;
  set.Kind = TStreamValue::kSet;
  set.Names = {"fsBold"};
  const TStreamObject root{"TLayout",
                           "Root",
                           {Prop("Left", TStreamValue::MakeInteger(10)),
                            Prop("Caption", TStreamValue::MakeString("It's\r\nhere")),
                            Prop("Font.Style", set), Prop("Visible", TStreamValue::MakeBoolean(true)),
                            Prop("Items", TStreamValue::MakeList({TStreamValue::MakeInteger(1),
                                                                   TStreamValue::MakeIdentifier("clRed")}))},
                           {{"TStockWindowFactory", "S", {Prop("Group", TStreamValue::MakeString(""))}, {}}}};
  EXPECT_EQ(RenderObjectText(root),
            "object Root: TLayout\n"
            "  Left = 10\n"
            "  Caption = 'It''s'#13#10'here'\n"
            "  Font.Style = [fsBold]\n"
            "  Visible = True\n"
            "  Items = (1, clRed)\n"
            "  object S: TStockWindowFactory\n"
            "    Group = ''\n"
            "  end\n"
            "end\n");
}

// Whatever the bytes, reading ends in a clear error naming where, never in a crash or a hang.
TEST(ObjectStream, BadStreamsFailWithTheByteAndTheReason) {
  const std::string good = WriteObjectStream(Sample());
  struct TCase {
    std::string bytes, message;
  } cases[] = {
      {"", "not an object stream"},
      {"PK\x03\x04 not a page", "not an object stream"},
      {std::string("TPF0\x07TLayout\x01L\x01P\x63", 17), "byte 16: unknown value tag 99"},
      {good + "x", "1 bytes after the root object"},
      {std::string("TPF0\x00", 5), "an object without a class name"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      ReadObjectStream(c.bytes);
      ADD_FAILURE() << "read without an error";
    } catch (const EObjectStream& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
    }
  }
  // Every cut of a good stream is reported, not read past its end.
  for (std::size_t length = 0; length < good.size(); ++length) {
    EXPECT_THROW(ReadObjectStream(std::string_view(good).substr(0, length)), EObjectStream) << length;
  }
  // A hostile depth of lists stops at a limit instead of exhausting the stack.
  std::string deep = std::string("TPF0\x01T\x00\x01P", 9) + std::string(100000, '\x01');
  try {
    ReadObjectStream(deep);
    ADD_FAILURE() << "read without an error";
  } catch (const EObjectStream& error) {
    EXPECT_NE(std::string(error.what()).find("nested too deeply"), std::string::npos) << error.what();
  }
}

TEST(ObjectStream, FilesKeepAReadableCopyAndNameThemselvesInErrors) {
  testing::TTempDir dir("tarnwell-stream");
  const std::string page = (dir / "Morning.PLy").string();
  SaveObjectFile(page, Sample());
  EXPECT_EQ(LoadObjectFile(page), Sample());
  std::ifstream copy(page + ".txt");
  std::string first;
  std::getline(copy, first);
  EXPECT_EQ(first, "object Root: TLayout");
  EXPECT_FALSE(std::filesystem::exists(page + ".part"));

  try {
    LoadObjectFile((dir / "missing.PLy").string());
    ADD_FAILURE() << "a missing file read";
  } catch (const EObjectStream& error) {
    EXPECT_NE(std::string(error.what()).find("missing.PLy"), std::string::npos) << error.what();
  }
  std::ofstream(dir / "cut.PLy", std::ios::binary) << WriteObjectStream(Sample()).substr(0, 30);
  try {
    LoadObjectFile((dir / "cut.PLy").string());
    ADD_FAILURE() << "a cut file read";
  } catch (const EObjectStream& error) {
    EXPECT_NE(std::string(error.what()).find("cut.PLy: byte "), std::string::npos) << error.what();
  }
  EXPECT_THROW(SaveObjectFile((dir / "no-such-folder" / "x.PLy").string(), Sample()), EObjectStream);
  // A file far larger than any page is refused before it is read (a sparse file: no disk is used).
  const std::string huge = (dir / "huge.PLy").string();
  std::ofstream(huge, std::ios::binary) << WriteObjectStream(Sample());
  std::filesystem::resize_file(huge, kLargestObjectFile + 1);
  try {
    LoadObjectFile(huge);
    ADD_FAILURE() << "a huge file read";
  } catch (const EObjectStream& error) {
    EXPECT_NE(std::string(error.what()).find("huge.PLy: 16777217 bytes, more than"), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace tarnwell
