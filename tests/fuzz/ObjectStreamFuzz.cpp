// Page and window files: the byte stream is read into a tree, the tree is rendered as text, written back
// (which must read back to the same bytes) and built into factory objects as a page is opened, which must
// save, open and save again to the same stream.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
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
  std::unique_ptr<TComponent> loaded;
  try {
    loaded = FromStream(root);
  } catch (const EObjectStream&) {
    return 0;
  }
  // A page that opened saves to a stream that opens again and saves the same.
  const TStreamObject saved = ToStream(*loaded);
  const std::unique_ptr<TComponent> reopened = FromStream(saved);
  fuzz::Require(WriteObjectStream(ToStream(*reopened)) == WriteObjectStream(saved),
                "what a page saves opens and saves the same");
  return 0;
}
