#include "gui/CellRenderer.h"

#include <QFontMetrics>
#include <QPolygonF>
#include <cmath>
#include <map>

namespace tarnwell {

QColor ToQColor(TColor color) {
  return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

TColor FromQColor(const QColor& color) {
  return static_cast<TColor>(color.red()) | static_cast<TColor>(color.green()) << 8 |
         static_cast<TColor>(color.blue()) << 16;
}

namespace {

// round(tenths / 10) with ties to even, in integers: 0.7 has no exact binary form, and 76.5 computed in
// floating point lands a hair above the tie.
int RoundTenths(int tenths) {
  int whole = tenths / 10;
  const int rest = tenths % 10;
  if (rest > 5 || (rest == 5 && whole % 2 == 1)) ++whole;
  return whole;
}

template <class F>
TColor EachChannel(TColor color, F f) {
  TColor result = color & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    result |= static_cast<TColor>(f(static_cast<int>((color >> shift) & 0xFF))) << shift;
  }
  return result;
}

}  // namespace

TColor TCellRenderer::Lighter(TColor color) {
  return EachChannel(color, [](int c) { return RoundTenths(2550 - (255 - c) * 7); });
}

TColor TCellRenderer::Darker(TColor color) {
  return EachChannel(color, [](int c) { return RoundTenths(c * 7); });
}

QString TCellRenderer::SampleText() {
  QString header = HeaderText();
  return header.isEmpty() ? QStringLiteral("XXXXX") : header;
}

void TCellRenderer::Paint(const ICellGrid& grid, QStyle::State state, const QRect& rect, int row, int column,
                          QPainter& canvas) {
  Context.Grid = &grid;
  Context.Column = column;
  Context.Row = row;
  Context.Cell = rect;
  Context.TextLeft = rect.left();
  Context.TextTop = rect.top();
  Context.TextWidth = rect.width();
  Context.TextHeight = rect.height();
  Context.ColumnWidth = rect.width();
  Context.RowHeight = rect.height();
  Context.RightEdge = rect.left() + rect.width() - 1;
  Context.BottomEdge = rect.top() + rect.height() - 1;
  Context.Font = grid.GridFont();
  Context.State = state;
  Context.Canvas = &canvas;
  canvas.save();
  canvas.setFont(Context.Font);
  canvas.setPen(ToQColor(grid.FontColor()));
  canvas.setBackgroundMode(Qt::TransparentMode);
  if (PrepareCell()) DrawCell();
  canvas.restore();
  Context.Canvas = nullptr;
}

int TCellRenderer::TextWidthOf(const QString& text) const {
  if (Context.Canvas != nullptr) return Context.Canvas->fontMetrics().horizontalAdvance(text);
  return QFontMetrics(Context.Font).horizontalAdvance(text);
}

void TCellRenderer::FillCell(TColor color) {
  if (Context.Canvas == nullptr) return;
  Context.Canvas->fillRect(Context.Cell, ToQColor(color));
}

void TCellRenderer::FillRaised(TColor color) {
  FillCell(color);
  if (Context.ColumnWidth < 4 || Context.RowHeight < 4) return;
  if (QPainter* canvas = Context.Canvas) {
    const int left = Context.Cell.left(), top = Context.Cell.top();
    const int right = Context.RightEdge, bottom = Context.BottomEdge;
    for (int i = 0; i < 2; ++i) {
      canvas->setPen(ToQColor(Lighter(color)));
      canvas->drawLine(left + i, top + i, right - i, top + i);
      canvas->drawLine(left + i, top + i, left + i, bottom - i);
      canvas->setPen(ToQColor(Darker(color)));
      canvas->drawLine(right - i, top + i, right - i, bottom - i);
      canvas->drawLine(left + i, bottom - i, right - i, bottom - i);
    }
    canvas->setPen(ToQColor(Context.Grid != nullptr ? Context.Grid->FontColor() : 0));
  }
  ShrinkTextArea();
}

void TCellRenderer::FillPlain(TColor color) {
  FillCell(color);
  if (Context.ColumnWidth < 4 || Context.RowHeight < 4) return;
  ShrinkTextArea();
}

void TCellRenderer::ShrinkTextArea() {
  Context.TextLeft = Context.Cell.left() + 2;
  Context.TextTop = Context.Cell.top() + 2;
  Context.TextWidth = Context.ColumnWidth - 4;
  Context.TextHeight = Context.RowHeight - 4;
}

void TCellRenderer::DrawAt(int left, const QString& text) {
  QPainter* canvas = Context.Canvas;
  if (canvas == nullptr) return;
  const QFontMetrics metrics = canvas->fontMetrics();
  const int top = Context.TextTop + (Context.TextHeight - metrics.height()) / 2;
  canvas->drawText(left, top + metrics.ascent(), text);
}

void TCellRenderer::DrawLeft(const QString& text) {
  DrawAt(Context.TextLeft, text);
}

void TCellRenderer::DrawRight(const QString& text) {
  DrawAt(Context.TextLeft + Context.TextWidth - TextWidthOf(text + QLatin1Char(' ')), text);
}

void TCellRenderer::DrawCentered(const QString& text) {
  DrawAt(Context.TextLeft + (Context.TextWidth - TextWidthOf(text)) / 2, text);
}

void TCellRenderer::DrawAligned(const QString& text) {
  switch (Alignment) {
    case taRight:
      return DrawRight(text);
    case taCenter:
      return DrawCentered(text);
    default:
      return DrawLeft(text);
  }
}

bool TCellRenderer::TooWide(const QString& text) const {
  return TextWidthOf(text) > Context.TextWidth;
}

QString TCellRenderer::FitInteger(std::int64_t n) const {
  const QString digits = QString::number(n);
  if (!TooWide(digits)) return digits;
  double scaled;
  const char* suffix;
  if (n > 999999) {
    scaled = static_cast<double>(n) / 1000000;
    suffix = "M";
  } else if (n >= 1000) {
    scaled = static_cast<double>(n) / 1000;
    suffix = "K";
  } else {
    return QStringLiteral("...");
  }
  for (int decimals : {2, 1, 0}) {
    const QString text = QString::asprintf("%.*f%s", decimals, scaled, suffix);
    if (!TooWide(text)) return text;
  }
  return QStringLiteral("...");
}

QString TCellRenderer::FitFloat(double x) const {
  const QString text = QString::asprintf("%.2f", x);
  return TooWide(text) ? QStringLiteral("...") : text;
}

QString TCellRenderer::Ellipsize(const QString& text) const {
  if (!TooWide(text)) return text;
  const QString dots = QStringLiteral("...");
  const int room = Context.TextWidth - TextWidthOf(dots);
  for (qsizetype length = text.size() - 1; length > 0; --length) {
    if (TextWidthOf(text.left(length)) <= room) return text.left(length) + dots;
  }
  return dots;
}

void TCellRenderer::DrawArrow(TColor color, bool up) {
  QPainter* canvas = Context.Canvas;
  if (canvas == nullptr) return;
  const double ratio = std::sqrt(3.0) / 2;
  double width = Context.ColumnWidth;
  double height = width * ratio;
  if (height > Context.RowHeight) {
    height = Context.RowHeight;
    width = height / ratio;
  }
  const double left = Context.Cell.left() + (Context.ColumnWidth - width) / 2;
  const double top = Context.Cell.top() + (Context.RowHeight - height) / 2;
  const double baseY = up ? top + height : top;
  const QPointF apex(left + width / 2, up ? top : top + height);
  const QPointF baseLeft(left, baseY), baseRight(left + width, baseY);
  const QPointF centre((apex.x() + baseLeft.x() + baseRight.x()) / 3, (apex.y() + 2 * baseY) / 3);
  canvas->save();
  canvas->setRenderHint(QPainter::Antialiasing);
  canvas->setPen(Qt::NoPen);
  const struct {
    QPointF a, b;
    TColor shade;
  } parts[] = {
      {apex, baseLeft, Lighter(color)}, {apex, baseRight, Darker(color)}, {baseLeft, baseRight, color}};
  for (const auto& part : parts) {
    canvas->setBrush(ToQColor(part.shade));
    canvas->drawPolygon(QPolygonF({part.a, part.b, centre}));
  }
  canvas->restore();
}

void THeaderCellRenderer::DrawCell() {
  const ICellGrid& grid = *Context.Grid;
  FillRaised(grid.FixedColor());
  QString text = grid.CellText(Context.Row, Context.Column);
  if (text.isEmpty()) text = OneTimeCaption;
  if (text.isEmpty()) {
    if (TCellRenderer* stored = grid.CellRenderer(Context.Row, Context.Column)) text = stored->HeaderText();
  }
  Context.Canvas->setPen(Qt::black);
  DrawCentered(text);
  OneTimeCaption.clear();
}

void TStringCellRenderer::DrawCell() {
  const ICellGrid& grid = *Context.Grid;
  FillCell(grid.GridColor());
  QString text = grid.CellText(Context.Row, Context.Column);
  if (text.isEmpty()) {
    if (TCellRenderer* stored = grid.CellRenderer(Context.Row, Context.Column)) text = stored->HeaderText();
  }
  DrawCentered(text);
}

void TSpecificStringCellRenderer::DrawCell() {
  FillCell(Context.Grid->GridColor());
  DrawCentered(Text);
}

void TSpecificBooleanCellRenderer::DrawCell() {
  FillCell(Context.Grid->GridColor());
  if (HasValue) DrawArrow(Value ? kTrueColor : kFalseColor, Value);
}

THeaderCellRenderer& SharedHeaderRenderer() {
  static auto* renderer = new THeaderCellRenderer;
  return *renderer;
}
TStringCellRenderer& SharedStringRenderer() {
  static auto* renderer = new TStringCellRenderer;
  return *renderer;
}
TSpecificStringCellRenderer& SharedSpecificStringRenderer() {
  static auto* renderer = new TSpecificStringCellRenderer;
  return *renderer;
}
TSpecificBooleanCellRenderer& SharedSpecificBooleanRenderer() {
  static auto* renderer = new TSpecificBooleanCellRenderer;
  return *renderer;
}

namespace {
std::map<std::string, TIndexCellRendererCreator>& IndexRendererClasses() {
  static std::map<std::string, TIndexCellRendererCreator> classes;
  return classes;
}
}  // namespace

void RegisterIndexCellRenderer(const std::string& className, TIndexCellRendererCreator create) {
  IndexRendererClasses()[className] = std::move(create);
}

std::unique_ptr<TIndexCellRenderer> CreateIndexCellRenderer(const std::string& className) {
  auto found = IndexRendererClasses().find(className);
  if (found == IndexRendererClasses().end() || !found->second) return nullptr;
  return found->second();
}

}  // namespace tarnwell
