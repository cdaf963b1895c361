// Data blocks as the server builds them and the client's block reader walks them. A block holds several
// records of numbered fields; the field bytes are exactly the value layout the vendor's consumers decode
// (type at 0, number at 2, value from 4, little-endian), so a field pointer handed out by the reader points
// straight into the block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnwell::vendor {

enum class FieldType : uint16_t {
  Long = 2,
  Short = 3,
  Price = 5,
  String = 6,
  Date = 7,
  Time = 8,
  Blank = 99
};

/// One field value in the server's terms. Dates are packed as yyyymmdd and times as seconds of the day, so
/// that records compare and copy cheaply.
struct FieldValue {
  uint16_t number = 0;
  FieldType type = FieldType::Blank;
  int32_t integer = 0;  // Long and Short values, the raw price, yyyymmdd, or seconds of the day
  uint16_t base = 0;    // price base code: the number of decimals
  std::string text;

  static FieldValue Blank(uint16_t number) { return {number, FieldType::Blank, 0, 0, {}}; }
  static FieldValue Long(uint16_t number, int32_t value) { return {number, FieldType::Long, value, 0, {}}; }
  static FieldValue Price(uint16_t number, int32_t raw, uint16_t decimals) {
    return {number, FieldType::Price, raw, decimals, {}};
  }
  static FieldValue String(uint16_t number, std::string value) {
    return {number, FieldType::String, 0, 0, std::move(value)};
  }
  static FieldValue Date(uint16_t number, int year, int month, int day) {
    return {number, FieldType::Date, year * 10000 + month * 100 + day, 0, {}};
  }
  static FieldValue Time(uint16_t number, int seconds_of_day) {
    return {number, FieldType::Time, seconds_of_day, 0, {}};
  }

  double AsDouble() const;
  bool operator==(const FieldValue& other) const = default;
};

// Layout of a block: a 16-byte header (magic, record count, total size, reserved), then records. A record is
// an 8-byte header (record size, field count) followed by entries; an entry is a 4-byte header (entry size, a
// multiple of 4, then padding) followed by the field value. Everything is 4-byte aligned from an 8-aligned
// start.
inline constexpr uint32_t kBlockMagic = 0x34425654;  // "TVB4"
inline constexpr size_t kBlockHeaderSize = 16;
inline constexpr size_t kRecordHeaderSize = 8;
inline constexpr size_t kEntryHeaderSize = 4;

/// Appends records to a growing block; `Finish` writes the header and returns the bytes.
class BlockBuilder {
 public:
  BlockBuilder() { Clear(); }
  void Clear();
  void BeginRecord();
  void Add(const FieldValue& field);
  void EndRecord();
  size_t Size() const { return bytes_.size(); }
  bool Empty() const { return records_ == 0; }
  /// The finished block; valid until the next change of the builder.
  std::string_view Finish();

 private:
  std::string bytes_;
  uint32_t records_ = 0;
  size_t record_start_ = 0;
  uint32_t record_fields_ = 0;
};

/// True when the bytes form a well-made block: every size inside its parent, strings terminated, counts
/// right. The client checks every block it receives, so the reader never walks outside a message.
bool ValidateBlock(const void* data, size_t size);

}  // namespace tarnwell::vendor
