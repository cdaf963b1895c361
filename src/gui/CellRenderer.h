#pragma once
// Cell renderers: each draws one kind of cell (a price, a size, a time) into a rectangle of a grid, and
// they share the system's drawing and number-fitting rules. The grid is only the painting surface; every
// text and colour decision is here.

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QStyle>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tarnwell {

class TFormController;
class TCellRenderer;

/// A colour as the system stores it: 0x00BBGGRR (32768 is green, 255 red); the top byte is carried along.
using TColor = std::uint32_t;
/// The Qt colour of a system colour (the top byte is ignored).
QColor ToQColor(TColor color);
/// The system colour of a Qt colour; the top byte is 0.
TColor FromQColor(const QColor& color);

/// What a renderer needs of the grid it draws into.
class ICellGrid {
 public:
  virtual ~ICellGrid() = default;
  virtual QFont GridFont() const = 0;
  virtual TColor FontColor() const = 0;
  /// The background of data cells.
  virtual TColor GridColor() const = 0;
  /// The background of header cells.
  virtual TColor FixedColor() const = 0;
  /// The text held by a cell, usually empty.
  virtual QString CellText(int row, int column) const = 0;
  /// The renderer stored at a header cell, or null.
  virtual TCellRenderer* CellRenderer(int row, int column) const = 0;
};

/// Where and how the cell being drawn lies; set by Paint before every cell.
struct TCellContext {
  const ICellGrid* Grid = nullptr;
  int Column = 0;
  int Row = 0;
  QRect Cell;
  /// The whole cell unless a frame was drawn.
  int TextLeft = 0, TextTop = 0, TextWidth = 0, TextHeight = 0;
  int ColumnWidth = 0;
  int RowHeight = 0;
  /// Left + width - 1 and top + height - 1.
  int RightEdge = 0, BottomEdge = 0;
  /// Only while Paint runs; the helpers measure with Font when there is none.
  QPainter* Canvas = nullptr;
  QFont Font;
  QStyle::State State;
};

class TCellRenderer {
 public:
  enum TAlignment { taLeft = 0, taRight = 1, taCenter = 2 };

  virtual ~TCellRenderer() = default;

  /// Whether the cell is to be drawn.
  virtual bool PrepareCell() { return true; }
  virtual void DrawCell() {}
  /// A text as wide as the widest value, for sizing: the header text, or "XXXXX" when that is empty.
  virtual QString SampleText();
  /// The column caption.
  virtual QString HeaderText() { return {}; }
  /// Fills the context, sets the canvas font to the grid's, then draws when PrepareCell says so.
  virtual void Paint(const ICellGrid& grid, QStyle::State state, const QRect& rect, int row, int column,
                     QPainter& canvas);

  /// Each of red, green and blue becomes round(255 - (255 - c) * 0.7), ties to even.
  static TColor Lighter(TColor color);
  /// Each of red, green and blue becomes round(c * 0.7), ties to even.
  static TColor Darker(TColor color);

  void FillCell(TColor color);
  /// FillCell, and on a cell of at least 4 by 4 a two-pixel frame (lighter left and top, darker right and
  /// bottom) that the text area gives up.
  void FillRaised(TColor color);
  /// FillCell, and on a cell of at least 4 by 4 a two-pixel margin that the text area gives up.
  void FillPlain(TColor color);
  void DrawLeft(const QString& text);
  /// Right-aligned so that the text followed by one blank ends at the text area's right.
  void DrawRight(const QString& text);
  void DrawCentered(const QString& text);
  /// By Alignment.
  void DrawAligned(const QString& text);
  bool TooWide(const QString& text) const;
  /// "%d", else a shorter form in K or M with two, one or no decimals, else "...".
  QString FitInteger(std::int64_t n) const;
  /// "%.2f", else "...".
  QString FitFloat(double x) const;
  /// The text, or its longest prefix that fits followed by "...".
  QString Ellipsize(const QString& text) const;
  /// The largest equilateral triangle centred in the cell, in three shades of the colour.
  void DrawArrow(TColor color, bool up);

  TCellContext Context;
  int Alignment = taLeft;

 protected:
  int TextWidthOf(const QString& text) const;
  void DrawAt(int left, const QString& text);

 private:
  void ShrinkTextArea();
};

/// Header cells: a raised frame with the grid cell's text, else the one-time caption, else the caption of
/// the renderer stored at the cell.
class THeaderCellRenderer : public TCellRenderer {
 public:
  void DrawCell() override;
  /// Shown by the next cell drawn instead of the stored renderer's caption.
  QString OneTimeCaption;
};

/// The grid cell's text, else the caption of the renderer stored there, centred on the grid colour.
class TStringCellRenderer : public TCellRenderer {
 public:
  void DrawCell() override;
};

class TSpecificStringCellRenderer : public TCellRenderer {
 public:
  void DrawCell() override;
  QString Text;
};

/// A green up arrow for true, a red down arrow for false, nothing without a value.
class TSpecificBooleanCellRenderer : public TCellRenderer {
 public:
  static constexpr TColor kTrueColor = 32768;
  static constexpr TColor kFalseColor = 255;
  void DrawCell() override;
  bool HasValue = false;
  bool Value = false;
};

/// A renderer of one column of an index grid; the grid sets Index before every cell.
class TIndexCellRenderer : public TCellRenderer {
 public:
  /// Binds the renderer to its viewer's data.
  virtual void SetController(TFormController* controller) = 0;
  /// A click on the cell of `index`.
  virtual void OnClick(std::int32_t /*index*/) {}
  std::int32_t Index = 0;
};

/// The renderers every grid shares; they live until the process ends.
THeaderCellRenderer& SharedHeaderRenderer();
TStringCellRenderer& SharedStringRenderer();
TSpecificStringCellRenderer& SharedSpecificStringRenderer();
TSpecificBooleanCellRenderer& SharedSpecificBooleanRenderer();

/// Index renderer classes by class name, as files name them.
using TIndexCellRendererCreator = std::function<std::unique_ptr<TIndexCellRenderer>()>;
/// Registers (or replaces) a class. User interface thread.
void RegisterIndexCellRenderer(const std::string& className, TIndexCellRendererCreator create);
/// A new renderer of the class, or null when the class is not registered.
std::unique_ptr<TIndexCellRenderer> CreateIndexCellRenderer(const std::string& className);

}  // namespace tarnwell
