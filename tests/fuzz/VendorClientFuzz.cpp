// What a hostile server can make the client library and its consumers read: the byte stream is split into
// frames, each frame becomes a queued message or ends the conversation, and every data block that passes is
// walked with the block reader and every field decoded as the feed nodes decode them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "client/Conversation.h"
#include "common/Wire.h"
#include "framework/Errors.h"
#include "marketdata/vendor/VendorField.h"
#include "vconv.h"

namespace {

void DecodeField(const void* pointer) {
  const tarnwell::TVendorField field(pointer);
  (void)field.Number();
  (void)field.HasValue();
  (void)tarnwell::FieldName(field.Number());
  // A decoder meeting the wrong type asserts, which abandons that update in the program.
  auto attempt = [](auto decode) {
    try {
      decode();
    } catch (const tarnwell::EAssertionFailed&) {
    }
  };
  attempt([&] { (void)field.AsString(); });
  attempt([&] { (void)field.AsPrice(); });
  attempt([&] { (void)field.AsDate(); });
  attempt([&] { (void)field.AsTime(); });
  attempt([&] { (void)field.AsInteger(); });
  attempt([&] { (void)field.AsExchange(); });
}

void WalkBlock(const void* block) {
  std::uint32_t records = 0;
  std::memcpy(&records, static_cast<const char*>(block) + 4, sizeof(records));
  std::uint32_t walked = 0;
  VB4Cursor cursor;
  if (VB4_Open(block, &cursor, 0) != 0) {
    tarnwell::fuzz::Require(records == 0, "a block with records opens");
    return;
  }
  do {
    ++walked;
    const void* field = nullptr;
    while (VB4_GetField(&cursor, &field) == 0) {
      DecodeField(field);
      const void* found = nullptr;
      if (VB4_FindField(&cursor, tarnwell::TVendorField(field).Number(), &found) == 0) DecodeField(found);
    }
    VB4_GotoField(&cursor, 1);
    if (VB4_GetField(&cursor, &field) == 0) DecodeField(field);
    VB4_GotoField(&cursor, 1 << 20);
  } while (VB4_NextRecord(&cursor) == 0);
  tarnwell::fuzz::Require(walked == records, "the reader visits every record of a block");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarnwell::vendor;
  wire::FrameSplitter splitter;
  // Two pieces, so that a frame split across reads is exercised as well.
  const std::size_t half = size / 2;
  for (const auto& [from, count] : {std::pair{std::size_t{0}, half}, std::pair{half, size - half}}) {
    splitter.Append(reinterpret_cast<const char*>(data) + from, count);
    while (auto frame = splitter.Next()) {
      VConvMessage* message = DecodeMessageFrame(*frame);
      if (message == nullptr) return 0;  // the conversation ends here
      if (const void* block = VConvDataGetData(message)) WalkBlock(block);
      VConvFreeData(message);
    }
    if (splitter.Error()) return 0;
    splitter.Consume();
  }
  return 0;
}
