// Page and window files: the byte stream is read into a tree, the tree is rendered as text, written back
// (which must read back to the same bytes) and built into factory objects as a page is opened.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "MemoryFile.h"
#include "persistence/AlertWindowFactory.h"
#include "persistence/Factories.h"
#include "persistence/GridFactories.h"
#include "persistence/ObjectStream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarnwell;
  static const bool registered = [] {
    RegisterStandardFactoryClasses();
    RegisterGridFactoryClasses();
    RegisterAlertWindowFactoryClasses();
    return true;
  }();
  (void)registered;

  TStreamObject root;
  try {
    root = ReadObjectStream(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const EObjectStream&) {
    return 0;
  }
  (void)RenderObjectText(root);
  const std::string written = WriteObjectStream(root);
  fuzz::Require(WriteObjectStream(ReadObjectStream(written)) == written,
                "a written stream reads back the same");
  try {
    (void)FromStream(root);
  } catch (const EObjectStream&) {
  }
  return 0;
}
