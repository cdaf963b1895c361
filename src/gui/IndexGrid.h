#pragma once
// An index grid: a naturally indexed list (the Nth print, the Nth level of a book) shown with one column
// per cell renderer, or one row per renderer when rotated. The table view is only the painting surface:
// every cell, header cells included, is drawn by a renderer. The user adds, removes, resizes and reorders
// renderers, rotates the grid and changes its font and scroll bars from the pop-up menu; all of it is
// captured in a TIndexGridFactory and rebuilt from one.

#include <QFont>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "gui/CellRenderer.h"
#include "persistence/GridFactories.h"

class QAction;
class QHeaderView;
class QMenu;
class QTableView;

namespace tarnwell {

class TIndexGridModel;

class TIndexGrid : public QWidget, public ICellGrid {
  Q_OBJECT

 public:
  explicit TIndexGrid(QWidget* parent = nullptr);
  ~TIndexGrid() override;

  /// A new grid as the factory describes it, owned by `parent` (or by the caller without one). Renderers
  /// of classes that are not registered are left out.
  static TIndexGrid* FromFactory(TIndexGridFactory& factory, QWidget* parent = nullptr);
  /// Replaces the renderers and settings with those of the factory; unknown renderer classes are left out.
  void ApplyFactory(TIndexGridFactory& factory);
  /// A factory capturing the grid, owned by `owner` (or by the caller without one).
  TIndexGridFactory* CreateFactory(TComponent* owner) const;

  /// Offers a renderer class in the "Add" sub-menu, after those offered before.
  void AddAvailableRenderer(const QString& name, const std::string& className);
  /// Appends a renderer of the factory's class with its width (0: sized automatically); false when the
  /// class is not registered.
  bool AddRenderer(const TSimpleIndexCellRendererFactory& factory);
  /// Frees the renderer at `position`; the later ones move down with their sizes.
  void RemoveRenderer(int position);
  /// Moves a renderer with its size, as dragging its header does.
  void MoveRenderer(int from, int to);
  int RendererCount() const { return static_cast<int>(renderers_.size()); }
  TIndexCellRenderer* Renderer(int position) const;
  const std::string& RendererClassName(int position) const;
  /// The column width (row height when rotated) the renderer has now.
  int RendererSize(int position) const;

  int IndexCount() const { return indexCount_; }
  /// n < 0 fails with "Assertion failure".
  void SetIndexCount(int n);
  /// 0: renderers are columns and indices rows; 1: renderers are rows and indices columns.
  int Orientation() const { return orientation_; }
  void SetOrientation(int orientation);
  /// Index 0 at the far end.
  bool Reversed() const { return reversed_; }
  void SetReversed(bool reversed);
  /// Orientation 1 becomes 0; orientation 0 toggles Reversed and becomes 1.
  void Rotate();
  /// Passes the controller to every renderer and to those added later.
  void SetController(TFormController* controller);
  /// 0 none, 1 horizontal, 2 vertical, 3 both.
  int ScrollBars() const { return scrollBars_; }
  void SetScrollBars(int scrollBars);
  /// Takes the font and sizes every renderer automatically.
  void SetGridFont(const QFont& font);
  void SetFontColor(TColor color);
  /// The header row height and data row height (header and data column widths when rotated).
  int HeaderSize() const { return headerSize_; }
  int BodySize() const { return bodySize_; }
  void SetHeaderSize(int size);
  void SetBodySize(int size);
  /// Sizes the renderers sized automatically (all of them with `all`, which forgets the user's sizes), the
  /// header and the data cells from the renderers' texts.
  void SizeAutomatically(bool all);

  /// The grid's pop-up menu; a viewer puts its own entries in front of the grid's.
  QMenu* PopupMenu() const { return popupMenu_; }
  /// Sets the menu up for opening on a cell (row and column of the grid, header included; -1 for none).
  void PreparePopupMenu(int row, int column);

  /// Draws a cell of the grid (row and column counting the header).
  void PaintCell(QPainter& painter, const QRect& rect, int row, int column, QStyle::State state);
  /// The index a data cell shows, or -1 for a header cell or a grid without renderers.
  int IndexAt(int row, int column) const;
  /// Gives the renderer a click on its cell when the index is one the grid holds.
  void ClickCell(int row, int column);
  QTableView* View() const { return view_; }

  // ICellGrid
  QFont GridFont() const override { return font_; }
  TColor FontColor() const override { return fontColor_; }
  TColor GridColor() const override;
  TColor FixedColor() const override;
  QString CellText(int /*row*/, int /*column*/) const override { return {}; }
  TCellRenderer* CellRenderer(int row, int column) const override;

 private:
  struct TEntry {
    std::unique_ptr<TIndexCellRenderer> Renderer;
    std::string ClassName;
    int Size = 0;
    bool Automatic = true;
  };

  QHeaderView* RendererHeader() const;
  QHeaderView* IndexHeader() const;
  /// Grid coordinates of a model cell, and of a section of the renderer header.
  std::pair<int, int> GridCell(int modelRow, int modelColumn) const;
  std::pair<int, int> HeaderCell(int section) const;
  /// The renderer position of a grid cell, or -1.
  int PositionAt(int row, int column) const;
  void SyncDimensions();
  void ApplySizes();
  void ApplyHeaderModes();
  void RebuildAddMenu();
  void OnSectionMoved(QHeaderView* header, int logical, int oldVisual, int newVisual);
  void OnSectionResized(QHeaderView* header, int logical, int newSize);
  void ShowPopupMenu(const QPoint& global, int row, int column);
  void ChooseFont();

  int indexCount_ = 0;
  QTableView* view_;
  TIndexGridModel* model_;
  int orientation_ = 0;
  bool reversed_ = false;
  int scrollBars_ = TIndexGridFactory::kScrollBarsBoth;
  QFont font_;
  TColor fontColor_ = 0;
  int headerSize_ = 0;
  int bodySize_ = 0;
  std::vector<TEntry> renderers_;
  std::vector<std::pair<QString, std::unique_ptr<TSimpleIndexCellRendererFactory>>> available_;
  QMenu* popupMenu_;
  QMenu* addMenu_;
  QAction* removeAction_;
  QAction* verticalAction_;
  QAction* horizontalAction_;
  int removeTarget_ = -1;
  TFormController* controller_ = nullptr;
  // Set while the grid itself moves or sizes sections, so that only the user's changes are taken.
  bool applying_ = false;
};

}  // namespace tarnwell
