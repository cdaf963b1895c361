// Config.ini: read as the program reads it at start-up, then looked up the way the program looks values up.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "framework/Config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const tarnwell::fuzz::MemoryFile file(data, size);
  tarnwell::TConfigFile config;
  config.Load(file.Path());
  (void)config.Get("Vendor", "Address", "default");
  (void)config.Get("Database", "Host");
  (void)config.Read("Common", "Symbols", "");
  return 0;
}
