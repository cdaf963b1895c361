#include "Block.h"

#include <cmath>
#include <cstring>

namespace tarnwell::vendor {
namespace {

void Store16(char* at, uint16_t value) {
  at[0] = static_cast<char>(value & 0xff);
  at[1] = static_cast<char>(value >> 8);
}

void Store32(char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

size_t ValueSize(const FieldValue& field) {
  switch (field.type) {
    case FieldType::Blank:
      return 4;
    case FieldType::Price:
      return 12;
    case FieldType::String:
      return 8 + field.text.size() + 1;
    default:
      return 8;
  }
}

}  // namespace

double FieldValue::AsDouble() const {
  if (type != FieldType::Price) return static_cast<double>(integer);
  return static_cast<double>(integer) / std::pow(10.0, base);
}

void BlockBuilder::Clear() {
  bytes_.assign(kBlockHeaderSize, '\0');
  records_ = 0;
}

void BlockBuilder::BeginRecord() {
  record_start_ = bytes_.size();
  record_fields_ = 0;
  bytes_.append(kRecordHeaderSize, '\0');
}

void BlockBuilder::Add(const FieldValue& field) {
  const size_t value_size = ValueSize(field);
  const size_t entry_size = (kEntryHeaderSize + value_size + 3) & ~size_t{3};
  const size_t start = bytes_.size();
  // Every update of the feed goes through here: the entry is made at its full size, zeroed (the reserved
  // halves and the padding), and its parts are stored in place.
  bytes_.resize(start + entry_size);
  char* entry = bytes_.data() + start;
  Store16(entry, static_cast<uint16_t>(entry_size));
  char* value = entry + kEntryHeaderSize;
  Store16(value, static_cast<uint16_t>(field.type));
  Store16(value + 2, field.number);
  switch (field.type) {
    case FieldType::Blank:
      break;
    case FieldType::Long:
      Store32(value + 4, static_cast<uint32_t>(field.integer));
      break;
    case FieldType::Short:
      Store16(value + 4, static_cast<uint16_t>(field.integer));
      break;
    case FieldType::Price:
      Store16(value + 4, field.base);
      Store32(value + 8, static_cast<uint32_t>(field.integer));
      break;
    case FieldType::String:
      std::memcpy(value + 8, field.text.data(), field.text.size());  // the terminating zero is there
      break;
    case FieldType::Date:
      value[4] = static_cast<char>(field.integer % 100);
      value[5] = static_cast<char>(field.integer / 100 % 100);
      Store16(value + 6, static_cast<uint16_t>(field.integer / 10000));
      break;
    case FieldType::Time:
      Store16(value + 4, static_cast<uint16_t>(field.integer / 60));
      Store16(value + 6, static_cast<uint16_t>(field.integer % 60));
      break;
  }
  ++record_fields_;
}

void BlockBuilder::EndRecord() {
  Store32(bytes_.data() + record_start_, static_cast<uint32_t>(bytes_.size() - record_start_));
  Store32(bytes_.data() + record_start_ + 4, record_fields_);
  ++records_;
}

std::string_view BlockBuilder::Finish() {
  Store32(bytes_.data(), kBlockMagic);
  Store32(bytes_.data() + 4, records_);
  Store32(bytes_.data() + 8, static_cast<uint32_t>(bytes_.size()));
  return bytes_;
}

bool ValidateBlock(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  if (size < kBlockHeaderSize || Get32(p) != kBlockMagic || Get32(p + 8) != size) return false;
  const uint32_t records = Get32(p + 4);
  size_t at = kBlockHeaderSize;
  for (uint32_t r = 0; r < records; ++r) {
    if (size - at < kRecordHeaderSize) return false;
    const uint32_t record_size = Get32(p + at);
    const uint32_t fields = Get32(p + at + 4);
    if (record_size < kRecordHeaderSize || record_size > size - at || record_size % 4 != 0) return false;
    const size_t record_end = at + record_size;
    size_t entry = at + kRecordHeaderSize;
    for (uint32_t f = 0; f < fields; ++f) {
      if (record_end - entry < kEntryHeaderSize + 4) return false;
      const uint16_t entry_size = Get16(p + entry);
      if (entry_size < kEntryHeaderSize + 4 || entry_size % 4 != 0 || entry_size > record_end - entry)
        return false;
      const uint8_t* value = p + entry + kEntryHeaderSize;
      const size_t value_room = entry_size - kEntryHeaderSize;
      const uint16_t type = Get16(value);
      size_t needed = 8;
      if (type == static_cast<uint16_t>(FieldType::Blank) || type == 101) needed = 4;
      if (type == static_cast<uint16_t>(FieldType::Price)) needed = 12;
      if (value_room < needed) return false;
      if (type == static_cast<uint16_t>(FieldType::String) &&
          std::memchr(value + 8, '\0', value_room - 8) == nullptr) {
        return false;
      }
      entry += entry_size;
    }
    if (entry != record_end) return false;
    at = record_end;
  }
  return at == size;
}

}  // namespace tarnwell::vendor
