#include "gui/IndexGrid.h"

#include <QAbstractTableModel>
#include <QFontDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "framework/Errors.h"

namespace tarnwell {

// The grid's dimensions, nothing more: the cells hold no data, the renderers draw them. Cells are only
// ever added or taken at the end, so the view keeps its scroll position; sizes come from the grid.
class TIndexGridModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;
  int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : rows_; }
  int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : columns_; }
  QVariant data(const QModelIndex&, int) const override { return {}; }
  QVariant headerData(int, Qt::Orientation, int) const override { return {}; }

  void SetDimensions(int rows, int columns) {
    if (rows > rows_) {
      beginInsertRows({}, rows_, rows - 1);
      rows_ = rows;
      endInsertRows();
    } else if (rows < rows_) {
      beginRemoveRows({}, rows, rows_ - 1);
      rows_ = rows;
      endRemoveRows();
    }
    if (columns > columns_) {
      beginInsertColumns({}, columns_, columns - 1);
      columns_ = columns;
      endInsertColumns();
    } else if (columns < columns_) {
      beginRemoveColumns({}, columns, columns_ - 1);
      columns_ = columns;
      endRemoveColumns();
    }
  }
  /// For a change that swaps the dimensions: the view starts over.
  void Reset(int rows, int columns) {
    beginResetModel();
    rows_ = rows;
    columns_ = columns;
    endResetModel();
  }

 private:
  int rows_ = 0;
  int columns_ = 0;
};

namespace {

class TIndexGridDelegate : public QStyledItemDelegate {
 public:
  explicit TIndexGridDelegate(TIndexGrid& grid) : QStyledItemDelegate(&grid), grid_(grid) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const int row = index.row() + (grid_.Orientation() == 0 ? 1 : 0);
    const int column = index.column() + (grid_.Orientation() == 0 ? 0 : 1);
    grid_.PaintCell(*painter, option.rect, row, column, option.state);
  }

 private:
  TIndexGrid& grid_;
};

// The header row (column when rotated) is part of the grid: the shared header renderer draws it.
class TIndexGridHeader : public QHeaderView {
 public:
  TIndexGridHeader(Qt::Orientation orientation, TIndexGrid& grid)
      : QHeaderView(orientation, &grid), grid_(grid) {}

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
    if (!rect.isValid()) return;
    const bool across = orientation() == Qt::Horizontal;
    grid_.PaintCell(*painter, rect, across ? 0 : logicalIndex, across ? logicalIndex : 0, QStyle::State_None);
  }

 private:
  TIndexGrid& grid_;
};

constexpr int kPlaceholderSize = 64;

}  // namespace

TIndexGrid::TIndexGrid(QWidget* parent) : QWidget(parent), view_(new QTableView(this)) {
  model_ = new TIndexGridModel(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  view_->setFrameShape(QFrame::NoFrame);
  view_->setShowGrid(false);
  view_->setSelectionMode(QAbstractItemView::NoSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setFocusPolicy(Qt::NoFocus);
  view_->setHorizontalHeader(new TIndexGridHeader(Qt::Horizontal, *this));
  view_->setVerticalHeader(new TIndexGridHeader(Qt::Vertical, *this));
  view_->setModel(model_);
  view_->setItemDelegate(new TIndexGridDelegate(*this));
  view_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  for (QHeaderView* header : {view_->horizontalHeader(), view_->verticalHeader()}) {
    header->setMinimumSectionSize(1);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QHeaderView::sectionMoved, this,
            [this, header](int logical, int from, int to) { OnSectionMoved(header, logical, from, to); });
    connect(header, &QHeaderView::sectionResized, this,
            [this, header](int logical, int, int size) { OnSectionResized(header, logical, size); });
    connect(header, &QWidget::customContextMenuRequested, this, [this, header](const QPoint& pos) {
      const int section = header->logicalIndexAt(pos);
      if (header != RendererHeader() || section < 0) return ShowPopupMenu(header->mapToGlobal(pos), -1, -1);
      const auto [row, column] = HeaderCell(section);
      ShowPopupMenu(header->mapToGlobal(pos), row, column);
    });
  }
  view_->viewport()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(view_->viewport(), &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    const QModelIndex index = view_->indexAt(pos);
    if (!index.isValid()) return ShowPopupMenu(view_->viewport()->mapToGlobal(pos), -1, -1);
    const auto [row, column] = GridCell(index.row(), index.column());
    ShowPopupMenu(view_->viewport()->mapToGlobal(pos), row, column);
  });
  connect(view_, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
    const auto [row, column] = GridCell(index.row(), index.column());
    ClickCell(row, column);
  });

  popupMenu_ = new QMenu(this);
  addMenu_ = popupMenu_->addMenu(QStringLiteral("Add"));
  removeAction_ = popupMenu_->addAction(QStringLiteral("Remove"));
  connect(removeAction_, &QAction::triggered, this, [this] {
    if (removeTarget_ >= 0 && removeTarget_ < RendererCount()) RemoveRenderer(removeTarget_);
  });
  connect(popupMenu_->addAction(QStringLiteral("Font...")), &QAction::triggered, this,
          &TIndexGrid::ChooseFont);
  connect(popupMenu_->addAction(QStringLiteral("Rotate CW")), &QAction::triggered, this, &TIndexGrid::Rotate);
  verticalAction_ = popupMenu_->addAction(QStringLiteral("Vertical Scroll Bar"));
  verticalAction_->setCheckable(true);
  connect(verticalAction_, &QAction::triggered, this, [this] { SetScrollBars(scrollBars_ ^ 2); });
  horizontalAction_ = popupMenu_->addAction(QStringLiteral("Horizontal Scroll Bar"));
  horizontalAction_->setCheckable(true);
  connect(horizontalAction_, &QAction::triggered, this, [this] { SetScrollBars(scrollBars_ ^ 1); });
  RebuildAddMenu();
  PreparePopupMenu(-1, -1);

  font_ = font();
  SetScrollBars(scrollBars_);
  ApplyHeaderModes();
  SyncDimensions();
  SizeAutomatically(true);
}

TIndexGrid::~TIndexGrid() {
  // The view paints through the renderers and reports to the grid: it goes before they do.
  delete view_;
}

TIndexGrid* TIndexGrid::FromFactory(TIndexGridFactory& factory, QWidget* parent) {
  auto* grid = new TIndexGrid(parent);
  grid->ApplyFactory(factory);
  return grid;
}

void TIndexGrid::ApplyFactory(TIndexGridFactory& factory) {
  while (RendererCount() > 0) RemoveRenderer(RendererCount() - 1);
  SetReversed(factory.Direction);
  SetOrientation(factory.Alignment == 1 ? 1 : 0);
  SetScrollBars(factory.ScrollBars & 3);
  QFont font = font_;
  if (!factory.FontName.empty()) font.setFamily(QString::fromStdString(factory.FontName));
  if (factory.FontHeight > 0) font.setPixelSize(factory.FontHeight);
  font.setBold(factory.FontStyle & TIndexGridFactory::fsBold);
  font.setItalic(factory.FontStyle & TIndexGridFactory::fsItalic);
  font.setUnderline(factory.FontStyle & TIndexGridFactory::fsUnderline);
  font.setStrikeOut(factory.FontStyle & TIndexGridFactory::fsStrikeOut);
  SetFontColor(static_cast<TColor>(factory.FontColor));
  SetGridFont(font);
  for (TComponent* element : TComponentList::Elements(factory.Renderers)) {
    if (auto* renderer = dynamic_cast<TSimpleIndexCellRendererFactory*>(element)) AddRenderer(*renderer);
  }
  if (factory.HeaderHeight > 0) SetHeaderSize(factory.HeaderHeight);
  if (factory.BodyHeight > 0) SetBodySize(factory.BodyHeight);
}

TIndexGridFactory* TIndexGrid::CreateFactory(TComponent* owner) const {
  auto* factory = new TIndexGridFactory(owner);
  factory->Direction = reversed_;
  factory->Alignment = orientation_;
  factory->FontName = font_.family().toStdString();
  factory->FontHeight = font_.pixelSize() > 0 ? font_.pixelSize() : QFontInfo(font_).pixelSize();
  factory->FontColor = static_cast<std::int32_t>(fontColor_);
  factory->FontStyle = (font_.bold() ? TIndexGridFactory::fsBold : 0) |
                       (font_.italic() ? TIndexGridFactory::fsItalic : 0) |
                       (font_.underline() ? TIndexGridFactory::fsUnderline : 0) |
                       (font_.strikeOut() ? TIndexGridFactory::fsStrikeOut : 0);
  factory->ScrollBars = scrollBars_;
  std::vector<TComponent*> renderers;
  for (const TEntry& entry : renderers_) {
    // Owned by the grid's factory, so that it is written and freed with it wherever it goes.
    auto* renderer = new TSimpleIndexCellRendererFactory(factory);
    renderer->BaseClassName = entry.ClassName;
    renderer->Width = entry.Automatic ? 0 : entry.Size;
    renderers.push_back(renderer);
  }
  factory->Renderers = TComponentList::Make(renderers, factory);
  factory->HeaderHeight = headerSize_;
  factory->BodyHeight = bodySize_;
  return factory;
}

// --- Renderers ---------------------------------------------------------------------------------------------

void TIndexGrid::AddAvailableRenderer(const QString& name, const std::string& className) {
  auto factory = std::make_unique<TSimpleIndexCellRendererFactory>();
  factory->BaseClassName = className;
  available_.emplace_back(name, std::move(factory));
  RebuildAddMenu();
}

void TIndexGrid::RebuildAddMenu() {
  addMenu_->clear();
  if (available_.empty()) {
    addMenu_->addAction(QStringLiteral("None"))->setEnabled(false);
    return;
  }
  for (const auto& [name, factory] : available_) {
    const TSimpleIndexCellRendererFactory* offered = factory.get();
    connect(addMenu_->addAction(name), &QAction::triggered, this, [this, offered] { AddRenderer(*offered); });
  }
}

bool TIndexGrid::AddRenderer(const TSimpleIndexCellRendererFactory& factory) {
  std::unique_ptr<TIndexCellRenderer> renderer = CreateIndexCellRenderer(factory.BaseClassName);
  if (!renderer) return false;
  if (controller_ != nullptr) renderer->SetController(controller_);
  TEntry entry{std::move(renderer), factory.BaseClassName, factory.Width, factory.Width <= 0};
  renderers_.push_back(std::move(entry));
  SyncDimensions();
  if (renderers_.back().Automatic) {
    SizeAutomatically(false);
  } else {
    ApplySizes();
  }
  view_->viewport()->update();
  return true;
}

void TIndexGrid::RemoveRenderer(int position) {
  Assert(position >= 0 && position < RendererCount());
  renderers_.erase(renderers_.begin() + position);
  SyncDimensions();
  ApplySizes();
  view_->viewport()->update();
  RendererHeader()->viewport()->update();
}

void TIndexGrid::MoveRenderer(int from, int to) {
  Assert(from >= 0 && from < RendererCount() && to >= 0 && to < RendererCount());
  TEntry moved = std::move(renderers_[from]);
  renderers_.erase(renderers_.begin() + from);
  renderers_.insert(renderers_.begin() + to, std::move(moved));
  ApplySizes();
  view_->viewport()->update();
  RendererHeader()->viewport()->update();
}

TIndexCellRenderer* TIndexGrid::Renderer(int position) const {
  Assert(position >= 0 && position < RendererCount());
  return renderers_[position].Renderer.get();
}

const std::string& TIndexGrid::RendererClassName(int position) const {
  Assert(position >= 0 && position < RendererCount());
  return renderers_[position].ClassName;
}

int TIndexGrid::RendererSize(int position) const {
  Assert(position >= 0 && position < RendererCount());
  return renderers_[position].Size;
}

// --- Settings ----------------------------------------------------------------------------------------------

void TIndexGrid::SetIndexCount(int n) {
  Assert(n >= 0);
  indexCount_ = n;
  SyncDimensions();
  ApplySizes();
  view_->viewport()->update();
}

void TIndexGrid::SetOrientation(int orientation) {
  if (orientation == orientation_) return;
  orientation_ = orientation;
  const int renderers = std::max(RendererCount(), 1);
  const int indices = std::max(indexCount_, 1);
  applying_ = true;
  model_->Reset(orientation_ == 0 ? indices : renderers, orientation_ == 0 ? renderers : indices);
  ApplyHeaderModes();
  applying_ = false;
  SizeAutomatically(true);
}

void TIndexGrid::SetReversed(bool reversed) {
  reversed_ = reversed;
  view_->viewport()->update();
}

void TIndexGrid::Rotate() {
  if (orientation_ == 1) return SetOrientation(0);
  SetReversed(!reversed_);
  SetOrientation(1);
}

void TIndexGrid::SetController(TFormController* controller) {
  controller_ = controller;
  for (TEntry& entry : renderers_) entry.Renderer->SetController(controller);
  view_->viewport()->update();
}

void TIndexGrid::SetScrollBars(int scrollBars) {
  scrollBars_ = scrollBars & 3;
  view_->setHorizontalScrollBarPolicy(scrollBars_ & 1 ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  view_->setVerticalScrollBarPolicy(scrollBars_ & 2 ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

void TIndexGrid::SetGridFont(const QFont& font) {
  font_ = font;
  view_->setFont(font);
  SizeAutomatically(true);
}

void TIndexGrid::SetFontColor(TColor color) {
  fontColor_ = color & 0xFFFFFF;
  view_->viewport()->update();
}

void TIndexGrid::SetHeaderSize(int size) {
  headerSize_ = std::max(size, 1);
  ApplySizes();
}

void TIndexGrid::SetBodySize(int size) {
  bodySize_ = std::max(size, 1);
  ApplySizes();
}

void TIndexGrid::SizeAutomatically(bool all) {
  const QFontMetrics metrics(font_);
  const int height = metrics.height() + 4;
  int widestSample = 0;
  int widestHeader = 0;
  for (TEntry& entry : renderers_) {
    if (all) entry.Automatic = true;
    const int sample = metrics.horizontalAdvance(entry.Renderer->SampleText()) + 4;
    widestSample = std::max(widestSample, sample);
    widestHeader = std::max(widestHeader, metrics.horizontalAdvance(entry.Renderer->HeaderText()) + 4);
    if (entry.Automatic) entry.Size = orientation_ == 0 ? sample : height;
  }
  if (renderers_.empty()) {
    widestSample = metrics.horizontalAdvance(QStringLiteral("XXXXX")) + 4;
    widestHeader = 4;
  }
  headerSize_ = orientation_ == 0 ? height : widestHeader;
  bodySize_ = orientation_ == 0 ? height : widestSample;
  ApplySizes();
}

// --- Layout of the view ------------------------------------------------------------------------------------

QHeaderView* TIndexGrid::RendererHeader() const {
  return orientation_ == 0 ? view_->horizontalHeader() : view_->verticalHeader();
}

QHeaderView* TIndexGrid::IndexHeader() const {
  return orientation_ == 0 ? view_->verticalHeader() : view_->horizontalHeader();
}

void TIndexGrid::ApplyHeaderModes() {
  QHeaderView* renderers = RendererHeader();
  QHeaderView* indices = IndexHeader();
  renderers->setVisible(true);
  renderers->setSectionsMovable(true);
  renderers->setSectionResizeMode(QHeaderView::Interactive);
  indices->setVisible(false);
  indices->setSectionsMovable(false);
  indices->setSectionResizeMode(QHeaderView::Fixed);
  // Only one of the two is shown; its thickness is the header size.
  view_->horizontalHeader()->setMinimumHeight(0);
  view_->verticalHeader()->setMinimumWidth(0);
}

void TIndexGrid::SyncDimensions() {
  const int renderers = std::max(RendererCount(), 1);
  const int indices = std::max(indexCount_, 1);
  // New sections start at the header's default size: that is no size of the user's.
  applying_ = true;
  model_->SetDimensions(orientation_ == 0 ? indices : renderers, orientation_ == 0 ? renderers : indices);
  applying_ = false;
}

void TIndexGrid::ApplySizes() {
  applying_ = true;
  QHeaderView* renderers = RendererHeader();
  QHeaderView* indices = IndexHeader();
  if (renderers_.empty()) {
    if (renderers->count() > 0) renderers->resizeSection(0, kPlaceholderSize);
  }
  for (int i = 0; i < RendererCount() && i < renderers->count(); ++i)
    renderers->resizeSection(i, renderers_[i].Size);
  indices->setDefaultSectionSize(bodySize_);
  for (int i = 0; i < indices->count(); ++i) indices->resizeSection(i, bodySize_);
  if (orientation_ == 0) {
    view_->horizontalHeader()->setFixedHeight(headerSize_);
  } else {
    view_->verticalHeader()->setFixedWidth(headerSize_);
  }
  applying_ = false;
  view_->viewport()->update();
}

void TIndexGrid::OnSectionMoved(QHeaderView* header, int logical, int oldVisual, int newVisual) {
  if (applying_ || header != RendererHeader()) return;
  if (logical >= RendererCount() || newVisual >= RendererCount()) return;
  // The renderers keep grid order themselves, so the header goes back to showing sections in logical
  // order and the moved renderer takes its new place.
  applying_ = true;
  header->moveSection(newVisual, oldVisual);
  applying_ = false;
  MoveRenderer(oldVisual, newVisual);
}

void TIndexGrid::OnSectionResized(QHeaderView* header, int logical, int newSize) {
  if (applying_ || header != RendererHeader() || logical >= RendererCount()) return;
  renderers_[logical].Size = newSize;
  renderers_[logical].Automatic = false;
}

std::pair<int, int> TIndexGrid::GridCell(int modelRow, int modelColumn) const {
  return orientation_ == 0 ? std::pair{modelRow + 1, modelColumn} : std::pair{modelRow, modelColumn + 1};
}

std::pair<int, int> TIndexGrid::HeaderCell(int section) const {
  return orientation_ == 0 ? std::pair{0, section} : std::pair{section, 0};
}

// --- Cells -------------------------------------------------------------------------------------------------

int TIndexGrid::PositionAt(int row, int column) const {
  const int position = orientation_ == 0 ? column : row;
  return position >= 0 && position < RendererCount() ? position : -1;
}

TCellRenderer* TIndexGrid::CellRenderer(int row, int column) const {
  const bool header = orientation_ == 0 ? row == 0 : column == 0;
  const int position = PositionAt(row, column);
  return header && position >= 0 ? renderers_[position].Renderer.get() : nullptr;
}

TColor TIndexGrid::GridColor() const {
  return FromQColor(view_->palette().color(QPalette::Base));
}

TColor TIndexGrid::FixedColor() const {
  return FromQColor(view_->palette().color(QPalette::Button));
}

int TIndexGrid::IndexAt(int row, int column) const {
  if (renderers_.empty() || PositionAt(row, column) < 0) return -1;
  int index = orientation_ == 0 ? row - 1 : column - 1;
  if (index < 0) return -1;
  if (reversed_ && indexCount_ > 0) index = indexCount_ - index - 1;
  return index;
}

void TIndexGrid::PaintCell(QPainter& painter, const QRect& rect, int row, int column, QStyle::State state) {
  if (renderers_.empty()) {
    painter.fillRect(rect, ToQColor(GridColor()));
    return;
  }
  const bool header = orientation_ == 0 ? row < 1 : column < 1;
  if (header) {
    SharedHeaderRenderer().Paint(*this, state, rect, row, column, painter);
    return;
  }
  const int position = PositionAt(row, column);
  if (position < 0) {
    painter.fillRect(rect, ToQColor(GridColor()));
    return;
  }
  TIndexCellRenderer& renderer = *renderers_[position].Renderer;
  renderer.Index = IndexAt(row, column);
  renderer.Paint(*this, state, rect, row, column, painter);
}

void TIndexGrid::ClickCell(int row, int column) {
  const int index = IndexAt(row, column);
  if (index < 0 || index >= indexCount_) return;
  renderers_[PositionAt(row, column)].Renderer->OnClick(index);
}

// --- Pop-up menu -------------------------------------------------------------------------------------------

void TIndexGrid::PreparePopupMenu(int row, int column) {
  removeTarget_ = PositionAt(row, column);
  if (removeTarget_ >= 0) {
    removeAction_->setText(
        QStringLiteral("Remove \"%1\"").arg(renderers_[removeTarget_].Renderer->HeaderText()));
    removeAction_->setEnabled(true);
  } else {
    removeAction_->setText(QStringLiteral("Remove"));
    removeAction_->setEnabled(false);
  }
  verticalAction_->setChecked(scrollBars_ & 2);
  horizontalAction_->setChecked(scrollBars_ & 1);
}

void TIndexGrid::ShowPopupMenu(const QPoint& global, int row, int column) {
  PreparePopupMenu(row, column);
  popupMenu_->popup(global);
}

void TIndexGrid::ChooseFont() {
  bool ok = false;
  const QFont chosen = QFontDialog::getFont(&ok, font_, this);
  if (ok) SetGridFont(chosen);
}

}  // namespace tarnwell
