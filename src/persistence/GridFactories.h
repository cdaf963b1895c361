#pragma once
// What an index grid saves: its direction, orientation, font, scroll bars, the renderers in grid order
// with their widths, and the header and body sizes. The grid itself is the user interface's; this layer
// only keeps what describes it.

#include <cstdint>
#include <string>

#include "persistence/Factories.h"

namespace tarnwell {

/// One renderer of a grid: its registered class name and its size across the grid.
class TSimpleIndexCellRendererFactory : public TWindowFactory {
 public:
  static constexpr const char* kClassName = "TSimpleIndexCellRendererFactory";
  using TWindowFactory::TWindowFactory;
  const char* ClassName() const override { return kClassName; }
  TPublishedProperties Properties() override;

  /// The renderer class name; empty for none.
  std::string BaseClassName;
  /// Column width (row height when rotated); 0 sizes the renderer automatically.
  std::int32_t Width = 0;
};

/// An index grid.
class TIndexGridFactory : public TWindowFactory {
 public:
  static constexpr const char* kClassName = "TIndexGridFactory";
  /// Bits of FontStyle, in the order of their identifiers fsBold, fsItalic, fsUnderline, fsStrikeOut.
  enum TFontStyle : std::int32_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
  /// Scroll bars: 0 none, 1 horizontal, 2 vertical, 3 both.
  static constexpr std::int32_t kScrollBarsBoth = 3;

  using TWindowFactory::TWindowFactory;
  const char* ClassName() const override { return kClassName; }
  TPublishedProperties Properties() override;

  /// Index 0 at the far end.
  bool Direction = false;
  /// 0: renderers are columns; 1: renderers are rows.
  std::int32_t Alignment = 0;
  std::string FontName;
  /// Pixel height; 0 keeps the grid's own.
  std::int32_t FontHeight = 0;
  /// 0x00BBGGRR.
  std::int32_t FontColor = 0;
  std::int32_t FontStyle = 0;
  std::int32_t ScrollBars = kScrollBarsBoth;
  /// A TComponentList of TSimpleIndexCellRendererFactory, in grid order.
  TComponent* Renderers = nullptr;
  /// The header row height and data row height; for orientation 1 the header and data column widths.
  std::int32_t HeaderHeight = 0;
  std::int32_t BodyHeight = 0;
};

/// Registers the classes above for reading by name. Idempotent.
void RegisterGridFactoryClasses();

}  // namespace tarnwell
