// The block reader half of the C API. Blocks were validated when their message arrived, so the cursor walks
// them without further bounds checks.
#include <cstring>

#include "common/Block.h"
#include "vconv.h"

namespace {

using tarnwell::vendor::kBlockHeaderSize;
using tarnwell::vendor::kEntryHeaderSize;
using tarnwell::vendor::kRecordHeaderSize;

struct Cursor {
  const uint8_t* block;
  uint32_t record_offset;  // start of the current record
  uint32_t field_offset;   // entry the next GetField returns
  uint32_t record_index;
  uint32_t field_index;  // index of that entry
};
static_assert(sizeof(Cursor) == sizeof(VB4Cursor));

uint32_t Get32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, sizeof(value));
  return value;
}

uint16_t Get16(const uint8_t* p) {
  uint16_t value;
  std::memcpy(&value, p, sizeof(value));
  return value;
}

Cursor* AsCursor(VB4Cursor* cursor) {
  return reinterpret_cast<Cursor*>(cursor->Opaque);
}

uint32_t RecordCount(const Cursor& c) {
  return Get32(c.block + 4);
}
uint32_t FieldCount(const Cursor& c) {
  return Get32(c.block + c.record_offset + 4);
}

}  // namespace

extern "C" int32_t VGetBaseCodeMultiplier(uint16_t) {
  return 1;
}

extern "C" int32_t VGetBaseCodeDivisor(uint16_t baseCode) {
  if (baseCode > 9) return 0;
  int32_t divisor = 1;
  for (uint16_t i = 0; i < baseCode; ++i) divisor *= 10;
  return divisor;
}

extern "C" int VB4_Open(const void* block, VB4Cursor* cursor, int) {
  if (block == nullptr || cursor == nullptr) return 1;
  Cursor* c = AsCursor(cursor);
  c->block = static_cast<const uint8_t*>(block);
  c->record_index = 0;
  c->record_offset = kBlockHeaderSize;
  c->field_offset = kBlockHeaderSize + kRecordHeaderSize;
  c->field_index = 0;
  return RecordCount(*c) > 0 ? 0 : 1;
}

extern "C" int VB4_FindField(VB4Cursor* cursor, uint16_t number, const void** field) {
  const Cursor* c = AsCursor(cursor);
  if (c->block == nullptr || c->record_index >= RecordCount(*c)) return 1;
  uint32_t at = c->record_offset + kRecordHeaderSize;
  const uint32_t fields = FieldCount(*c);
  for (uint32_t i = 0; i < fields; ++i) {
    const uint8_t* value = c->block + at + kEntryHeaderSize;
    if (Get16(value + 2) == number) {
      *field = value;
      return 0;
    }
    at += Get16(c->block + at);
  }
  return 1;
}

extern "C" int VB4_GotoField(VB4Cursor* cursor, int index) {
  Cursor* c = AsCursor(cursor);
  if (c->block == nullptr || c->record_index >= RecordCount(*c) || index < 0) return 1;
  const uint32_t fields = FieldCount(*c);
  if (static_cast<uint32_t>(index) > fields) return 1;
  uint32_t at = c->record_offset + kRecordHeaderSize;
  for (int i = 0; i < index; ++i) at += Get16(c->block + at);
  c->field_offset = at;
  c->field_index = static_cast<uint32_t>(index);
  return 0;
}

extern "C" int VB4_GetField(VB4Cursor* cursor, const void** field) {
  Cursor* c = AsCursor(cursor);
  if (c->block == nullptr || c->record_index >= RecordCount(*c) || c->field_index >= FieldCount(*c)) return 1;
  *field = c->block + c->field_offset + kEntryHeaderSize;
  c->field_offset += Get16(c->block + c->field_offset);
  ++c->field_index;
  return 0;
}

extern "C" int VB4_NextRecord(VB4Cursor* cursor) {
  Cursor* c = AsCursor(cursor);
  if (c->block == nullptr || c->record_index + 1 >= RecordCount(*c)) return 1;
  c->record_offset += Get32(c->block + c->record_offset);
  ++c->record_index;
  c->field_offset = c->record_offset + kRecordHeaderSize;
  c->field_index = 0;
  return 0;
}
