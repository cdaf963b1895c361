#pragma once
// The six standard colours of a window (background, foreground, and red and green for text and for
// backgrounds) as generic nodes, so that colour columns can be formulas like any other value. A colour node
// is keyed by its owner's name: by default every window shares the "<GLOBAL>" palette, and a window that
// fills "Configuration Owner" with its own palette's name gets its own colours.

#include <array>
#include <cstdint>
#include <string>

#include "framework/GenericNode.h"

namespace tarnwell {

/// The process-wide "Configuration Owner" place holder, whose default is "<GLOBAL>".
const TPlaceHolderRef& ConfigurationOwnerPlaceHolder();
inline constexpr const char* kConfigurationOwner = "Configuration Owner";
inline constexpr const char* kGlobalOwner = "<GLOBAL>";

/// Registers "StandardBackgroundColor" ... "StandardGreenBgColor" (colours 0 to 5) with the "Configuration
/// Owner" place holder. Module initialisation.
void RegisterStandardColors();

/// (Configuration Owner, Index): one colour of one owner's palette, valid once the palette has set it.
class TStandardColor final : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TStandardColor";
  explicit TStandardColor(const TParamList& params);
  /// 0x00BBGGRR.
  std::uint32_t GetColor() override { return color_; }
  bool IsValid() override { return valid_; }

  /// Sets the colour and tells the listeners. Data node thread.
  void Store(std::uint32_t color);

 private:
  bool valid_ = false;       // data node thread
  std::uint32_t color_ = 0;  // data node thread
};

/// The colour store of one window: holds its six colour nodes and keeps its own copy of the colours for the
/// window's thread. Changes reach the nodes on the data node thread, where their readers are.
class TStandardPalette {
 public:
  static constexpr int kColorCount = 6;
  /// Plain 0x00BBGGRR colours of SetDefaults: silver, black, red, dark green, red, bright green.
  static constexpr std::array<std::uint32_t, kColorCount> kDefaults = {12632256, 0, 255, 2392100, 255, 65280};

  /// The palette of a window: its name is "$" and the owner's address in upper-case hexadecimal, which is
  /// what the window fills "Configuration Owner" with.
  explicit TStandardPalette(const void* owner);
  /// A palette under a name of the caller's choice, such as kGlobalOwner for the one every window shares
  /// until it has its own.
  explicit TStandardPalette(std::string name);
  /// As the named form: without it a literal name would take the owner's form (pointer conversion).
  explicit TStandardPalette(const char* name) : TStandardPalette(std::string(name)) {}
  TStandardPalette(const TStandardPalette&) = delete;
  TStandardPalette& operator=(const TStandardPalette&) = delete;
  /// Releases the colour nodes; with no other user they are freed and their colours forgotten.
  ~TStandardPalette();

  /// "$" and the address in upper-case hexadecimal (at least eight digits).
  static std::string NameOf(const void* owner);
  const std::string& Name() const { return name_; }

  void SetDefaults();
  /// Stores a plain 0x00BBGGRR colour (a code with a top byte, such as a system colour, must be resolved
  /// by the user interface first: "Assertion failure"). The node takes it on the data node thread.
  void SetColor(int index, std::uint32_t color);
  /// The colour last set here; 0 before any.
  std::uint32_t GetColor(int index) const;

 private:
  std::string name_;
  std::array<TStandardColor*, kColorCount> nodes_{};
  std::array<TDataNodeLink*, kColorCount> links_{};  // holders, never activated
  std::array<std::uint32_t, kColorCount> colors_{};  // the owner's thread
};

/// A TTriColor factory over `value` with the standard red, foreground and green text colours.
TFactoryRef ForegroundTriColor(TFactoryRef value);
/// A TTriColor factory over `value` with the standard red, background and green background colours.
TFactoryRef BackgroundTriColor(TFactoryRef value);

}  // namespace tarnwell
