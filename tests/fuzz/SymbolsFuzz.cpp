// Symbol files: read as the monitor reads them, and line by line as an alert window cleans a symbol list.
// Both must keep the same symbols from the same lines.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "distribution/AlertWindowModel.h"
#include "distribution/AutoAlertMonitor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarnwell;
  const fuzz::MemoryFile file(data, size);
  std::vector<std::string> read;
  try {
    read = TAutoAlertMonitorLogic::ReadSymbols(file.Path());
  } catch (const std::runtime_error&) {
    return 0;
  }
  std::vector<std::string> cleaned;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  fuzz::ForEachLine(text, [&](std::string_view line) {
    std::string symbol = SymbolOfLine(std::string(line));
    if (symbol.empty()) return;
    fuzz::Require(SymbolOfLine(symbol) == symbol, "a cleaned symbol stays as it is");
    cleaned.push_back(std::move(symbol));
  });
  fuzz::Require(read == cleaned, "the symbol file and a window's list keep the same symbols");
  return 0;
}
