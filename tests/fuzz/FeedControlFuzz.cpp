// What anyone who reaches the feed's control port can send: command lines, of which "until TIME" carries a
// time to parse. A time that parses must print back to the same instant.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "server/FeedServer.h"
#include "server/Fields.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarnwell::vendor;
  std::string in(reinterpret_cast<const char*>(data), size);
  for (const std::string& line : TakeControlLines(in)) {
    tarnwell::fuzz::Require(!line.empty() && line.front() != ' ' && line.back() != ' ' && line.back() != '\r',
                            "a control line comes trimmed");
    if (!line.starts_with("until ")) continue;
    const auto time = ParseTime(line.substr(6));
    if (!time) continue;
    const auto again = ParseTime(FormatTime(*time));
    tarnwell::fuzz::Require(again && *again == *time, "a parsed time prints back to the same instant");
  }
  tarnwell::fuzz::Require(in.find('\n') == std::string::npos, "only the unfinished line is left");
  return 0;
}
