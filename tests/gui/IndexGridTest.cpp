// Index grids and cell renderers on Qt's offscreen platform: the fitting and colour rules of the drawing
// helpers, which index each cell draws, the pop-up menu, rotation, the user's sizes and order, and a grid
// saved to a window file and rebuilt.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>
#include <QTest>
#include <map>
#include <memory>

#include "OffscreenApplication.h"
#include "TempDir.h"
#include "framework/Errors.h"
#include "gui/CellRenderer.h"
#include "gui/IndexGrid.h"

namespace tarnwell {
namespace {

// Draws nothing; remembers which index each cell was asked for and which were clicked.
class TRecordingRenderer : public TIndexCellRenderer {
 public:
  TRecordingRenderer(QString header, QString sample)
      : header_(std::move(header)), sample_(std::move(sample)) {}
  QString HeaderText() override { return header_; }
  QString SampleText() override { return sample_; }
  void DrawCell() override { drawn[Context.Cell.topLeft()] = Index; }
  void SetController(TFormController* controller) override { this->controller = controller; }
  void OnClick(std::int32_t index) override { clicks.push_back(index); }

  std::map<QPoint, int, bool (*)(const QPoint&, const QPoint&)> drawn{
      [](const QPoint& a, const QPoint& b) { return a.y() != b.y() ? a.y() < b.y() : a.x() < b.x(); }};
  std::vector<int> clicks;
  TFormController* controller = nullptr;

 private:
  QString header_, sample_;
};

std::unique_ptr<TSimpleIndexCellRendererFactory> Offer(const std::string& className, int width = 0) {
  auto factory = std::make_unique<TSimpleIndexCellRendererFactory>();
  factory->BaseClassName = className;
  factory->Width = width;
  return factory;
}

class IndexGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qt_ = std::make_unique<testing::TOffscreenApplication>(false);
    RegisterStandardFactoryClasses();
    RegisterGridFactoryClasses();
    for (const auto& [className, header, sample] :
         {std::tuple{"TTestPrice", "Price", "9999.99"}, std::tuple{"TTestSize", "Size", "XXXXXXXXXX"},
          std::tuple{"TTestTime", "Time", "00:00:00"}}) {
      RegisterIndexCellRenderer(className, [header, sample] {
        return std::make_unique<TRecordingRenderer>(QString(header), QString(sample));
      });
    }
    grid_ = std::make_unique<TIndexGrid>();
  }
  void TearDown() override {
    grid_.reset();
    qt_.reset();
  }

  TRecordingRenderer& Recorder(int position) {
    return dynamic_cast<TRecordingRenderer&>(*grid_->Renderer(position));
  }
  std::vector<std::string> Classes(const TIndexGrid* grid = nullptr) const {
    if (grid == nullptr) grid = grid_.get();
    std::vector<std::string> classes;
    for (int i = 0; i < grid->RendererCount(); ++i) classes.push_back(grid->RendererClassName(i));
    return classes;
  }
  std::vector<int> Sizes(const TIndexGrid* grid = nullptr) const {
    if (grid == nullptr) grid = grid_.get();
    std::vector<int> sizes;
    for (int i = 0; i < grid->RendererCount(); ++i) sizes.push_back(grid->RendererSize(i));
    return sizes;
  }
  int AutoWidth(const QString& sample) const {
    return QFontMetrics(grid_->GridFont()).horizontalAdvance(sample) + 4;
  }
  QAction* MenuEntry(QMenu* menu, const QString& prefix) const {
    for (QAction* action : menu->actions()) {
      if (action->text().startsWith(prefix)) return action;
    }
    return nullptr;
  }

  std::unique_ptr<testing::TOffscreenApplication> qt_;
  std::unique_ptr<TIndexGrid> grid_;
};

// Drawing helpers

class TPlainRenderer : public TCellRenderer {};

TEST_F(IndexGridTest, NumbersAndTextsNarrowToWhatFitsTheTextArea) {
  TPlainRenderer renderer;
  renderer.Context.Font = QFont(QStringLiteral("Sans"));
  renderer.Context.Font.setPixelSize(13);
  const QFontMetrics metrics(renderer.Context.Font);
  auto width = [&](const char* text) { return metrics.horizontalAdvance(QString::fromLatin1(text)); };
  const struct {
    std::int64_t n;
    int area;
    const char* fitted;
  } integers[] = {
      {1234567, width("1234567"), "1234567"},
      {1234567, width("1.23M"), "1.23M"},
      {1234567, width("1.2M"), "1.2M"},
      {1234567, width("1M"), "1M"},
      {1234567, width("1M") - 1, "..."},
      {543210, width("543K"), "543K"},
      {999, width("999"), "999"},
      {999, width("999") - 1, "..."},
  };
  for (const auto& c : integers) {
    SCOPED_TRACE(std::to_string(c.n) + " in " + std::to_string(c.area) + " pixels");
    renderer.Context.TextWidth = c.area;
    EXPECT_EQ(renderer.FitInteger(c.n).toStdString(), c.fitted);
  }
  renderer.Context.TextWidth = width("3.14");
  EXPECT_EQ(renderer.FitFloat(3.14159).toStdString(), "3.14");
  renderer.Context.TextWidth = width("3.14") - 1;
  EXPECT_EQ(renderer.FitFloat(3.14159).toStdString(), "...");
  renderer.Context.TextWidth = width("ABC") + width("...");
  EXPECT_EQ(renderer.Ellipsize(QStringLiteral("ABCDEFGH")).toStdString(), "ABC...");
  EXPECT_EQ(renderer.Ellipsize(QStringLiteral("AB")).toStdString(), "AB");
}

TEST_F(IndexGridTest, LighterAndDarkerRoundTiesToEvenAndKeepTheTopByte) {
  const struct {
    TColor (*shade)(TColor);
    TColor color, shaded;
  } cases[] = {
      {&TCellRenderer::Lighter, 0x000000, 0x4C4C4C},      // 76.5 -> 76
      {&TCellRenderer::Darker, 0xFFFFFF, 0xB2B2B2},       // 178.5 -> 178
      {&TCellRenderer::Lighter, 0x000064, 0x4C4C92},      // 146.5 -> 146
      {&TCellRenderer::Darker, 0x0A0F05, 0x070A04},       // 7, 10.5 -> 10, 3.5 -> 4
      {&TCellRenderer::Lighter, 0x0F0000FF, 0x0F4C4CFF},  // the top byte stays
      {&TCellRenderer::Darker, 0xAA0000FF, 0xAA0000B2},
  };
  for (const auto& c : cases) EXPECT_EQ(c.shade(c.color), c.shaded) << std::hex << c.color;
}

// A boolean draws a green arrow up for true and a red one down for false, as large as the cell allows.
TEST_F(IndexGridTest, BooleansDrawAGreenUpArrowOrARedDownArrow) {
  TSpecificBooleanCellRenderer& renderer = SharedSpecificBooleanRenderer();
  const struct {
    bool value;
    int arrowY, emptyY;  // rows at the cell's left edge inside and outside the arrow
    int (*channel)(const QColor&);
  } cases[] = {
      {true, 36, 4, [](const QColor& c) { return c.green() - std::max(c.red(), c.blue()); }},
      {false, 4, 36, [](const QColor& c) { return c.red() - std::max(c.green(), c.blue()); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer.HasValue = true;
    renderer.Value = c.value;
    renderer.Paint(*grid_, QStyle::State_None, image.rect(), 1, 0, painter);
    painter.end();
    EXPECT_GT(c.channel(image.pixelColor(3, c.arrowY)), 40);
    EXPECT_GT(c.channel(image.pixelColor(20, 20)), 40);
    EXPECT_EQ(FromQColor(image.pixelColor(3, c.emptyY)), grid_->GridColor());
  }
}

// The grid

// Each data cell draws the index it stands for, as the grid is really painted, and a click reaches the
// renderer only for an index the grid holds.
TEST_F(IndexGridTest, CellsDrawTheirIndexInDirectionAndClicksReachTheRenderer) {
  const struct {
    int orientation;
    bool reversed;
    int count;
    std::vector<int> indices;  // in order down (across when rotated)
  } cases[] = {
      {0, false, 4, {0, 1, 2, 3}},
      {0, true, 10, {9, 8, 7, 6, 5, 4, 3, 2, 1, 0}},
      {1, true, 3, {2, 1, 0}},
      {0, true, 0, {0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("orientation " + std::to_string(c.orientation) + (c.reversed ? " reversed" : "") + ", " +
                 std::to_string(c.count) + " indices");
    grid_ = std::make_unique<TIndexGrid>();
    grid_->resize(800, 800);
    grid_->AddRenderer(*Offer("TTestPrice"));
    grid_->SetOrientation(c.orientation);
    grid_->SetReversed(c.reversed);
    grid_->SetIndexCount(c.count);
    grid_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(grid_.get()));
    TRecordingRenderer& recorder = Recorder(0);
    recorder.drawn.clear();
    grid_->grab();
    std::vector<int> drawn;
    for (const auto& [corner, index] : recorder.drawn) drawn.push_back(index);
    EXPECT_EQ(drawn, c.indices);

    QTableView* view = grid_->View();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(view->model()->index(0, 0)).center());
    grid_->ClickCell(0, 0);  // the header
    grid_->ClickCell(c.orientation == 0 ? 1 : 0, c.orientation == 0 ? 0 : 1);
    const std::vector<int> clicks = c.count == 0 ? std::vector<int>{} : std::vector<int>(2, c.indices[0]);
    EXPECT_EQ(recorder.clicks, clicks);
  }
}

TEST_F(IndexGridTest, TheMenuOffersWhatTheGridHoldsAndTogglesTheScrollBars) {
  // Without renderers every cell is the grid's background and there is nothing to remove or add.
  grid_->resize(300, 200);
  grid_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(grid_.get()));
  const QImage empty = grid_->View()->viewport()->grab().toImage();
  EXPECT_EQ(FromQColor(empty.pixelColor(empty.width() / 2, empty.height() / 2)), grid_->GridColor());
  QHeaderView* header = grid_->View()->horizontalHeader();
  const QImage caption = header->grab().toImage();
  ASSERT_NE(grid_->FixedColor(), grid_->GridColor());
  EXPECT_EQ(FromQColor(caption.pixelColor(header->sectionSize(0) / 2, caption.height() / 2)),
            grid_->GridColor());
  QMenu* menu = grid_->PopupMenu();
  grid_->PreparePopupMenu(1, 0);
  ASSERT_NE(MenuEntry(menu, "Remove"), nullptr);
  EXPECT_EQ(MenuEntry(menu, "Remove")->text(), "Remove");
  EXPECT_FALSE(MenuEntry(menu, "Remove")->isEnabled());
  QMenu* add = MenuEntry(menu, "Add")->menu();
  ASSERT_EQ(add->actions().size(), 1);
  EXPECT_EQ(add->actions()[0]->text(), "None");
  EXPECT_FALSE(add->actions()[0]->isEnabled());

  // A viewer's own entries go in front; the grid's keep working.
  menu->insertAction(menu->actions().first(), new QAction(QStringLiteral("Set Symbol..."), menu));
  grid_->AddAvailableRenderer(QStringLiteral("Price"), "TTestPrice");
  grid_->AddAvailableRenderer(QStringLiteral("Size"), "TTestSize");
  ASSERT_EQ(add->actions().size(), 2);
  EXPECT_EQ(add->actions()[1]->text(), "Size");
  add->actions()[1]->trigger();
  add->actions()[0]->trigger();
  EXPECT_EQ(Classes(), (std::vector<std::string>{"TTestSize", "TTestPrice"}));

  grid_->PreparePopupMenu(0, 1);  // the header cell of the second renderer
  QAction* remove = MenuEntry(menu, "Remove");
  EXPECT_EQ(remove->text(), "Remove \"Price\"");
  EXPECT_TRUE(remove->isEnabled());
  remove->trigger();
  EXPECT_EQ(Classes(), (std::vector<std::string>{"TTestSize"}));
  grid_->PreparePopupMenu(1, 3);  // past the last renderer
  EXPECT_FALSE(MenuEntry(menu, "Remove")->isEnabled());

  const struct {
    const char* entry;
    int before, after;
  } toggles[] = {{"Vertical Scroll Bar", 3, 1},
                 {"Vertical Scroll Bar", 0, 2},
                 {"Horizontal Scroll Bar", 3, 2},
                 {"Horizontal Scroll Bar", 0, 1}};
  for (const auto& t : toggles) {
    SCOPED_TRACE(t.entry + std::string(" from ") + std::to_string(t.before));
    grid_->SetScrollBars(t.before);
    grid_->PreparePopupMenu(-1, -1);
    QAction* entry = MenuEntry(menu, t.entry);
    EXPECT_EQ(entry->isChecked(), t.entry[0] == 'V' ? (t.before & 2) != 0 : (t.before & 1) != 0);
    entry->trigger();
    EXPECT_EQ(grid_->ScrollBars(), t.after);
    EXPECT_EQ(grid_->View()->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff, (t.after & 2) == 0);
    EXPECT_EQ(grid_->View()->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff, (t.after & 1) == 0);
  }
}

TEST_F(IndexGridTest, RotatingFourTimesComesBackWithReversedToggledTwice) {
  grid_->AddRenderer(*Offer("TTestPrice"));
  grid_->AddRenderer(*Offer("TTestSize"));
  grid_->SetIndexCount(5);
  const std::pair<int, bool> expected[] = {{1, true}, {0, true}, {1, false}, {0, false}};
  QAction* rotate = MenuEntry(grid_->PopupMenu(), "Rotate CW");
  for (const auto& [orientation, reversed] : expected) {
    rotate->trigger();
    EXPECT_EQ(grid_->Orientation(), orientation);
    EXPECT_EQ(grid_->Reversed(), reversed);
    // The header cells and the renderers' order move with the orientation.
    EXPECT_EQ(grid_->CellRenderer(orientation == 0 ? 0 : 1, orientation == 0 ? 1 : 0), grid_->Renderer(1));
    EXPECT_EQ(grid_->View()->model()->rowCount(), orientation == 0 ? 5 : 2);
    EXPECT_EQ(grid_->View()->model()->columnCount(), orientation == 0 ? 2 : 5);
  }
}

TEST_F(IndexGridTest, ANegativeIndexCountIsAnAssertionFailure) {
  grid_->SetIndexCount(7);
  try {
    grid_->SetIndexCount(-1);
    ADD_FAILURE() << "accepted -1";
  } catch (const EAssertionFailed& error) {
    EXPECT_STREQ(error.what(), "Assertion failure");
  }
  EXPECT_EQ(grid_->IndexCount(), 7);
  grid_->SetIndexCount(0);
  EXPECT_EQ(grid_->View()->model()->rowCount(), 1) << "an empty grid keeps one data row";
}

// The user's sizes stay with their renderers through adding, removing and moving, by menu or by dragging.
TEST_F(IndexGridTest, RenderersKeepTheirSizesWhenAddedRemovedAndMoved) {
  grid_->AddRenderer(*Offer("TTestPrice", 50));
  grid_->AddRenderer(*Offer("TTestSize"));
  grid_->AddRenderer(*Offer("TTestTime", 70));
  const int size = AutoWidth("XXXXXXXXXX");
  EXPECT_EQ(Sizes(), (std::vector<int>{50, size, 70}));
  grid_->resize(600, 300);
  grid_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(grid_.get()));
  QHeaderView* header = grid_->View()->horizontalHeader();
  auto drag = [header](int from, int to) {
    const int y = header->height() / 2;
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(from, y));
    for (int step = 1; step <= 4; ++step)
      QTest::mouseMove(header->viewport(), QPoint(from + (to - from) * step / 4, y));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(to, y));
  };
  const int timeEdge = header->sectionViewportPosition(2) + header->sectionSize(2);
  drag(timeEdge - 1, timeEdge + 19);
  grid_->AddRenderer(*Offer("TTestPrice"));
  EXPECT_EQ(Sizes(), (std::vector<int>{50, size, 90, AutoWidth("9999.99")}));

  grid_->RemoveRenderer(0);
  EXPECT_EQ(Classes(), (std::vector<std::string>{"TTestSize", "TTestTime", "TTestPrice"}));
  EXPECT_EQ(Sizes(), (std::vector<int>{size, 90, AutoWidth("9999.99")}));
  drag(header->sectionViewportPosition(1) + 10, 5);
  EXPECT_EQ(Classes(), (std::vector<std::string>{"TTestTime", "TTestSize", "TTestPrice"}));
  grid_->MoveRenderer(2, 1);
  EXPECT_EQ(Classes(), (std::vector<std::string>{"TTestTime", "TTestPrice", "TTestSize"}));
  EXPECT_EQ(Sizes(), (std::vector<int>{90, AutoWidth("9999.99"), size}));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(header->visualIndex(i), i);
    EXPECT_EQ(header->sectionSize(i), Sizes()[i]);
    EXPECT_EQ(grid_->CellRenderer(0, i), grid_->Renderer(i));
  }
}

TEST_F(IndexGridTest, AGridSavedToAWindowFileComesBackTheSame) {
  grid_->AddRenderer(*Offer("TTestPrice"));
  grid_->AddRenderer(*Offer("TTestSize", 60));
  grid_->AddRenderer(*Offer("TTestTime"));
  grid_->AddRenderer(*Offer("TTestTime"));
  grid_->Rotate();
  QFont font = grid_->GridFont();
  font.setPixelSize(15);
  font.setBold(true);
  font.setItalic(true);
  grid_->SetGridFont(font);
  grid_->View()->verticalHeader()->resizeSection(1, 27);
  grid_->View()->verticalHeader()->resizeSection(3, 31);
  grid_->SetFontColor(255);
  grid_->SetScrollBars(2);
  grid_->SetBodySize(80);
  const std::unique_ptr<TIndexGridFactory> captured(grid_->CreateFactory(nullptr));
  // A renderer class this program does not have is left out.
  static_cast<TSimpleIndexCellRendererFactory*>(TComponentList::Elements(captured->Renderers)[2])
      ->BaseClassName = "TGoneRenderer";
  testing::TTempDir dir("tarnwell-index-grid");
  const std::string file = (dir / "Prints.PWn").string();
  SaveFactoryFile(file, *captured);

  std::unique_ptr<TWindowFactory> loaded = LoadFactoryFile(file);
  auto* factory = dynamic_cast<TIndexGridFactory*>(loaded.get());
  ASSERT_NE(factory, nullptr);
  const std::unique_ptr<TIndexGrid> rebuilt(TIndexGrid::FromFactory(*factory));
  const int height = QFontMetrics(font).height() + 4;
  EXPECT_EQ(Classes(rebuilt.get()), (std::vector<std::string>{"TTestPrice", "TTestSize", "TTestTime"}));
  EXPECT_EQ(Sizes(rebuilt.get()), (std::vector<int>{height, 27, 31}));
  EXPECT_EQ(rebuilt->Orientation(), 1);
  EXPECT_TRUE(rebuilt->Reversed());
  EXPECT_EQ(rebuilt->GridFont().family(), font.family());
  EXPECT_EQ(rebuilt->GridFont().pixelSize(), 15);
  EXPECT_TRUE(rebuilt->GridFont().bold());
  EXPECT_TRUE(rebuilt->GridFont().italic());
  EXPECT_FALSE(rebuilt->GridFont().underline());
  EXPECT_EQ(rebuilt->FontColor(), 255u);
  EXPECT_EQ(rebuilt->ScrollBars(), 2);
  EXPECT_EQ(rebuilt->BodySize(), 80);
  EXPECT_EQ(rebuilt->HeaderSize(), grid_->HeaderSize());
  EXPECT_EQ(rebuilt->View()->horizontalHeader()->sectionSize(0), 80);
}

}  // namespace
}  // namespace tarnwell
