// The block reader of the C API over blocks as the feed builds them, and the checks that guard it.
#include <gtest/gtest.h>

#include <cstring>

#include "common/Block.h"
#include "vconv.h"

namespace tarnwell::vendor {
namespace {

template <typename T>
T At(const void* field, size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const uint8_t*>(field) + offset, sizeof(T));
  return value;
}

std::string TwoRecords() {
  BlockBuilder builder;
  builder.BeginRecord();
  builder.Add(FieldValue::String(1003, "ABC"));
  builder.Add(FieldValue{1374, FieldType::Short, -1, 0, {}});
  builder.Add(FieldValue::Price(1006, 1050, 2));
  builder.Add(FieldValue::Date(1016, 2026, 12, 9));
  builder.Add(FieldValue::Time(1018, 570 * 60));
  builder.Add(FieldValue::Long(1030, -5));
  builder.Add(FieldValue::Blank(1012));
  builder.EndRecord();
  builder.BeginRecord();
  builder.Add(FieldValue::String(1003, "XYZ"));
  builder.EndRecord();
  return std::string(builder.Finish());
}

TEST(BlockReaderTest, WalksRecordsAndFieldsInTheVendorLayout) {
  const std::string block = TwoRecords();
  ASSERT_TRUE(ValidateBlock(block.data(), block.size()));
  VB4Cursor cursor;
  ASSERT_EQ(VB4_Open(block.data(), &cursor, 0), 0);
  const void* field = nullptr;

  ASSERT_EQ(VB4_GetField(&cursor, &field), 0);
  EXPECT_EQ(At<uint16_t>(field, 0), VCONV_TYPE_STRING);
  EXPECT_EQ(At<uint16_t>(field, 2), 1003);
  EXPECT_STREQ(static_cast<const char*>(field) + 8, "ABC");
  ASSERT_EQ(VB4_GetField(&cursor, &field), 0);
  EXPECT_EQ(At<uint16_t>(field, 0), VCONV_TYPE_SHORT);
  EXPECT_EQ(At<uint16_t>(field, 4), 0xFFFF);
  ASSERT_EQ(VB4_GetField(&cursor, &field), 0);
  EXPECT_EQ(At<uint16_t>(field, 0), VCONV_TYPE_PRICE);
  EXPECT_EQ(At<uint16_t>(field, 4), 2);
  EXPECT_EQ(At<int32_t>(field, 8), 1050);
  ASSERT_EQ(VB4_GetField(&cursor, &field), 0);
  EXPECT_EQ(At<int8_t>(field, 4), 9);
  EXPECT_EQ(At<int8_t>(field, 5), 12);
  EXPECT_EQ(At<uint16_t>(field, 6), 2026);
  ASSERT_EQ(VB4_GetField(&cursor, &field), 0);
  EXPECT_EQ(At<uint16_t>(field, 4), 570);
  EXPECT_EQ(At<uint16_t>(field, 6), 0);
  ASSERT_EQ(VB4_GetField(&cursor, &field), 0);
  EXPECT_EQ(At<int32_t>(field, 4), -5);
  ASSERT_EQ(VB4_GetField(&cursor, &field), 0);
  EXPECT_EQ(At<uint16_t>(field, 0), VCONV_TYPE_BLANK);
  EXPECT_NE(VB4_GetField(&cursor, &field), 0) << "no eighth field";

  ASSERT_EQ(VB4_FindField(&cursor, 1016, &field), 0);
  EXPECT_EQ(At<uint16_t>(field, 2), 1016);
  EXPECT_NE(VB4_FindField(&cursor, 9999, &field), 0);
  ASSERT_EQ(VB4_GotoField(&cursor, 2), 0);
  ASSERT_EQ(VB4_GetField(&cursor, &field), 0);
  EXPECT_EQ(At<uint16_t>(field, 2), 1006);
  EXPECT_NE(VB4_GotoField(&cursor, 8), 0);

  ASSERT_EQ(VB4_NextRecord(&cursor), 0);
  ASSERT_EQ(VB4_FindField(&cursor, 1003, &field), 0);
  EXPECT_STREQ(static_cast<const char*>(field) + 8, "XYZ");
  EXPECT_NE(VB4_FindField(&cursor, 1006, &field), 0) << "fields belong to their own record";
  EXPECT_NE(VB4_NextRecord(&cursor), 0);
}

TEST(BlockReaderTest, EmptyBlockHasNoFirstRecord) {
  BlockBuilder builder;
  const std::string block(builder.Finish());
  VB4Cursor cursor;
  EXPECT_NE(VB4_Open(block.data(), &cursor, 0), 0);
  EXPECT_NE(VB4_Open(nullptr, &cursor, 0), 0);
}

TEST(BlockReaderTest, BaseCodesGiveDecimalsAndZeroDivisorOutsideThem) {
  for (uint16_t code = 0; code <= 9; ++code) {
    int32_t divisor = 1;
    for (int i = 0; i < code; ++i) divisor *= 10;
    EXPECT_EQ(VGetBaseCodeMultiplier(code), 1);
    EXPECT_EQ(VGetBaseCodeDivisor(code), divisor);
  }
  EXPECT_EQ(VGetBaseCodeDivisor(10), 0);
  EXPECT_EQ(VGetBaseCodeDivisor(0xFFFF), 0);
}

TEST(BlockReaderTest, ValidationRejectsBlocksThatWouldLeadTheReaderAstray) {
  const std::string good = TwoRecords();
  struct Corruption {
    const char* what;
    size_t offset;  // byte to change, or npos to cut the block short
    uint8_t value;
  };
  const Corruption corruptions[] = {
      {"cut short", std::string::npos, 0},
      {"wrong magic", 0, 0x00},
      {"more records than present", 4, 3},
      {"record longer than the block", 16, 0xF0},
      {"entry size not a multiple of 4", 24, 0x0E},
      {"string without its end", 39, 'D'},  // the terminator of "ABC"
  };
  for (const Corruption& c : corruptions) {
    SCOPED_TRACE(c.what);
    std::string bad = good;
    if (c.offset == std::string::npos) {
      bad.resize(bad.size() - 4);
    } else {
      bad[c.offset] = static_cast<char>(c.value);
    }
    EXPECT_FALSE(ValidateBlock(bad.data(), bad.size()));
  }
}

}  // namespace
}  // namespace tarnwell::vendor
