// Tape files: every line is parsed as the feed parses it, a parsed line must print back to a line that
// parses to the same update, and the whole input is opened and played as a tape file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "server/Tape.h"

namespace {

using namespace tarnwell::vendor;

bool Same(const Update& a, const Update& b) {
  return a.time_ms == b.time_ms && a.table == b.table && a.symbol == b.symbol && a.fields == b.fields;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tarnwell::fuzz::ForEachLine(text, [](std::string_view line) {
    if (line.empty() || line.front() == '#') return;
    Update update;
    std::string error;
    if (!ParseTapeLine(line, update, error)) {
      tarnwell::fuzz::Require(!error.empty(), "a refused tape line says why");
      return;
    }
    const std::string printed = FormatTapeLine(update);
    Update again;
    tarnwell::fuzz::Require(ParseTapeLine(printed, again, error), "a printed tape line parses");
    tarnwell::fuzz::Require(Same(update, again), "a printed tape line parses to the same update");
  });

  const tarnwell::fuzz::MemoryFile file(data, size);
  try {
    TapeReader reader(file.Path());
    while (reader.Peek() != nullptr) reader.Pop();
  } catch (const TapeError&) {
  }
  return 0;
}
