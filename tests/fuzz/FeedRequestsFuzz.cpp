// What a hostile client can send the feed on a conversation: frames split from the byte stream and decoded
// by the server's own frame decoder (greeting, request, advise and unadvise items, execute commands), then
// the items and watch-list commands parsed. The whole input is also read as one item and one command, so
// that the text parsers are reached without framing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "FuzzSupport.h"
#include "common/Wire.h"
#include "server/FeedServer.h"
#include "server/Items.h"

namespace {

using namespace tarnwell::vendor;

void CheckItem(std::string_view text) {
  auto parsed = ParseItem(text);
  if (auto* item = std::get_if<Item>(&parsed)) {
    // The feed answers a request with field 1003 first and then fields[1..]; an item without it is refused.
    tarnwell::fuzz::Require(!item->fields.empty() && item->fields[0] == fid::kDispName,
                            "a parsed item asks for the symbol field first");
    tarnwell::fuzz::Require(item->symbol.empty() != item->list.empty(),
                            "a parsed item names either a symbol or a list");
  }
}

void CheckCommand(std::string_view text) {
  auto parsed = ParseCommand(text);
  if (auto* command = std::get_if<WatchCommand>(&parsed)) {
    tarnwell::fuzz::Require(ValidSymbol(command->symbol) && ValidSymbol(command->list),
                            "a parsed watch command holds a valid list and symbol");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckItem(text);
  CheckCommand(text);

  wire::FrameSplitter splitter;
  splitter.Append(text.data(), text.size());
  while (auto frame = splitter.Next()) {
    const ClientFrame decoded = DecodeClientFrame(*frame);
    if (!decoded.well_formed) continue;
    const std::string_view payload(frame->payload, frame->size);
    for (std::string_view part :
         {decoded.service, decoded.topic, decoded.item, decoded.format, decoded.command}) {
      tarnwell::fuzz::Require(part.empty() || (part.data() >= payload.data() &&
                                               part.data() + part.size() <= payload.data() + payload.size()),
                              "a decoded frame points into its own payload");
    }
    switch (frame->kind) {
      case wire::Kind::kRequest:
      case wire::Kind::kAdvise:
      case wire::Kind::kUnadvise:
        CheckItem(decoded.item);
        break;
      case wire::Kind::kExecute:
        CheckCommand(decoded.command);
        break;
      default:
        break;
    }
  }
  splitter.Consume();
  return 0;
}
