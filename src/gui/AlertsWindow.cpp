#include "gui/AlertsWindow.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTableView>
#include <QVBoxLayout>

#include "distribution/AlertsPush.h"
#include "framework/Clock.h"
#include "gui/AlertSelectionWindow.h"
#include "gui/DockableForm.h"
#include "gui/IndexGrid.h"
#include "gui/SymbolListEditor.h"
#include "gui/ViewerMenu.h"

namespace tarnwell {

namespace {
TAlertsQueue* processPush = nullptr;
}

void SetAlertsPush(TAlertsQueue* push) { processPush = push; }
TAlertsQueue* AlertsPush() { return processPush; }

// What the alert columns read: the window's ring.
class TAlertRendererController : public TFormController {
 public:
  explicit TAlertRendererController(const TAlertWindowModel& model) : Model(model) {}
  void SetSymbol(const std::string&) override {}
  TWindowFactory* CreateFactory(TComponent*) override { return nullptr; }
  const TAlertWindowModel& Model;
};

namespace {

// The columns in their order: class name, header, sample text, alignment and the text of a cell.
struct TAlertColumn {
  const char* ClassName;
  const char* Header;
  const char* Sample;
  int Alignment;
  QString (*Text)(TCellRenderer& renderer, const TAlertEvent& event);
};

class TColumnRenderer : public TAlertCellRenderer {
 public:
  explicit TColumnRenderer(const TAlertColumn& column) : column_(column) { Alignment = column.Alignment; }
  QString HeaderText() override { return column_.Header; }
  QString SampleText() override { return column_.Sample; }
  QString CellText(const TAlertEvent& event) override { return column_.Text(*this, event); }

 private:
  const TAlertColumn& column_;
};

// A statistic's text when the alert carries it: two decimals or a shortened count, "..." when even that
// does not fit.
QString FloatText(TCellRenderer& r, const TAlertEvent& e, TAlertEventField f, double v) {
  return e.Data.Has(f) ? r.FitFloat(v) : QString();
}
QString IntegerText(TCellRenderer& r, const TAlertEvent& e, TAlertEventField f, std::int64_t v) {
  return e.Data.Has(f) ? r.FitInteger(v) : QString();
}

const TAlertColumn kColumns[] = {
    {"TAlertTimeCellRenderer", "Time", "00:00:00", TCellRenderer::taLeft,
     [](TCellRenderer& r, const TAlertEvent& e) { return r.Ellipsize(QString::fromStdString(FormatAlertTime(e.Data.Time))); }},
    {"TAlertSymbolCellRenderer", "Symbol", "WWWWW", TCellRenderer::taLeft,
     [](TCellRenderer& r, const TAlertEvent& e) { return r.Ellipsize(QString::fromStdString(e.Inputs->Symbol())); }},
    {"TAlertPriceCellRenderer", "Price", "000.00", TCellRenderer::taRight,
     [](TCellRenderer& r, const TAlertEvent& e) { return FloatText(r, e, aefPrice, e.Data.Price); }},
    {"TAlertBidSizeCellRenderer", "Bid #", "00000", TCellRenderer::taRight,
     [](TCellRenderer& r, const TAlertEvent& e) { return IntegerText(r, e, aefBidSize, e.Data.BidSize); }},
    {"TAlertSpreadCellRenderer", "Spread", "0.00", TCellRenderer::taRight,
     [](TCellRenderer& r, const TAlertEvent& e) { return FloatText(r, e, aefSpread, e.Data.Spread); }},
    {"TAlertAskSizeCellRenderer", "Ask #", "00000", TCellRenderer::taRight,
     [](TCellRenderer& r, const TAlertEvent& e) { return IntegerText(r, e, aefAskSize, e.Data.AskSize); }},
    {"TAlertRelVolCellRenderer", "Rel Vol", "00.00", TCellRenderer::taRight,
     [](TCellRenderer& r, const TAlertEvent& e) { return FloatText(r, e, aefRelVol, e.Data.RelVol); }},
    {"TAlertQualityCellRenderer", "Quality", "0.0000", TCellRenderer::taRight,
     [](TCellRenderer& r, const TAlertEvent& e) { return FloatText(r, e, aefQuality, e.Data.Quality); }},
    {"TAlertMsgCellRenderer", "Message", "XXXXXXX XXXXXXX XXXXXXX", TCellRenderer::taLeft,
     [](TCellRenderer& r, const TAlertEvent& e) { return r.Ellipsize(QString::fromStdString(e.Data.Description)); }},
};

}  // namespace

void TAlertCellRenderer::SetController(TFormController* controller) {
  controller_ = dynamic_cast<TAlertRendererController*>(controller);
}

void TAlertCellRenderer::DrawCell() {
  if (controller_ == nullptr || Index < 0 || Index >= controller_->Model.Count()) {
    FillCell(Context.Grid->GridColor());
    return;
  }
  const TAlertEvent& event = controller_->Model.EventAtRow(Index);
  const TVisualAlertCategory& category = TAlertWindowModel::CategoryOf(event);
  FillCell(category.Background);
  QFont font = Context.Font;
  font.setBold(category.Bold);
  font.setItalic(category.Italic);
  font.setUnderline(category.Underline);
  Context.Font = font;
  Context.Canvas->setFont(font);
  Context.Canvas->setPen(ToQColor(category.Foreground));
  const QString text = CellText(event);
  if (!text.isEmpty()) DrawAligned(text);
}

void RegisterAlertWindowClasses() {
  RegisterAlertWindowFactoryClasses();
  for (const TAlertColumn& column : kColumns) {
    RegisterIndexCellRenderer(column.ClassName, [&column] { return std::make_unique<TColumnRenderer>(column); });
  }
  RegisterWindowCreator(TAlertWindowFactory::kClassName, [](TWindowFactory& factory) -> QWidget* {
    return TAlertWindow::FromFactory(static_cast<TAlertWindowFactory&>(factory));
  });
}

TAlertWindow::TAlertWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Alerts");
  resize(611, 436);
  grid_ = new TIndexGrid(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(grid_);
  model_ = std::make_unique<TAlertWindowModel>(AlertsPush(), [this](int arrived) { OnNewAlerts(arrived); });
  controller_ = std::make_unique<TAlertRendererController>(*model_);
  for (const TAlertColumn& column : kColumns) {
    TSimpleIndexCellRendererFactory renderer;
    renderer.BaseClassName = column.ClassName;
    grid_->AddRenderer(renderer);
  }
  grid_->SetController(controller_.get());
  grid_->SetIndexCount(0);

  // The viewer entries without the group ones, under the window's own.
  QMenu* menu = grid_->PopupMenu();
  AddViewerMenu(menu, grid_);
  for (QAction* action : menu->actions()) {
    if (action->text() == "Set Group..." || action->text() == "Set Symbol...") menu->removeAction(action);
  }
  QAction* top = menu->actions().isEmpty() ? nullptr : menu->actions().front();
  auto add = [&](const char* caption, auto run) {
    auto* action = new QAction(caption, menu);
    connect(action, &QAction::triggered, this, run);
    menu->insertAction(top, action);
    return action;
  };
  add("Edit Symbols...", [this] { EditSymbols(); });
  add("Configure Alerts...", [this] { ConfigureAlerts(); });
  add("Clear Alerts", [this] { ClearAlerts(); });
  raiseOnAlert_ = add("Raise On Alert", [this] { model_->RaiseOnAlert = raiseOnAlert_->isChecked(); });
  raiseOnAlert_->setCheckable(true);
  menu->insertSeparator(top);
}

TAlertWindow::~TAlertWindow() = default;

void TAlertWindow::OnNewAlerts(int arrived) {
  if (model_->RaiseOnAlert && arrived > 0) {
    if (isMinimized()) showNormal();
    if (!isVisible()) show();
    raise();
    activateWindow();
  }
  // Setting the count repaints the grid, whether or not the count changed.
  grid_->SetIndexCount(model_->Count());
}

void TAlertWindow::SetSymbols(const std::vector<std::string>& lines) { model_->SetSymbols(lines); }

void TAlertWindow::SelectGroup(TAlertGroup group) { model_->SelectGroup(group); }

void TAlertWindow::EditSymbols() {
  TSymbolListEditor* editor = TSymbolListEditor::Instance();
  if (editor == nullptr) return;
  editor->SetSymbols(model_->Symbols());
  if (editor->exec() == QDialog::Accepted) SetSymbols(editor->Lines());
}

void TAlertWindow::ConfigureAlerts() {
  TAlertSelectionWindow* dialog = TAlertSelectionWindow::Instance();
  if (dialog == nullptr) return;
  dialog->SetConfig(model_->GetConfig());
  if (dialog->exec() != QDialog::Accepted) return;
  model_->SetConfig(dialog->GetConfig());
  grid_->View()->viewport()->update();
}

void TAlertWindow::ClearAlerts() {
  model_->Clear();
  grid_->SetIndexCount(0);
}

TWindowFactory* TAlertWindow::CreateFactory(TComponent* owner) {
  auto* factory = new TAlertWindowFactory(owner);
  Capture(*factory, *this);
  factory->Symbols = model_->Symbols();
  factory->RaiseOnAlert = model_->RaiseOnAlert;
  // Each row's settings go in front of the list, so that it runs from the last row to the first.
  TComponent* root = factory;
  while (root->Owner() != nullptr) root = root->Owner();
  const TAlertConfigList config = model_->GetConfig();
  std::vector<TComponent*> rows;
  for (auto row = config.rbegin(); row != config.rend(); ++row) {
    auto* category = new TCategoryFactory(root);
    category->Foreground = static_cast<std::int32_t>(row->Foreground);
    category->Background = static_cast<std::int32_t>(row->Background);
    category->AlertEnabled = row->Enabled;
    category->Bold = row->Bold;
    category->Italic = row->Italic;
    category->Underline = row->Underline;
    rows.push_back(category);
  }
  factory->Categories = TComponentList::Make(rows, root);
  return factory;
}

TAlertWindow* TAlertWindow::FromFactory(TAlertWindowFactory& factory) {
  auto* window = new TAlertWindow;
  ApplyTo(factory, *window);
  for (const std::string& symbol : factory.Symbols) window->model_->AddSymbol(symbol);
  // The list runs from the last row back; a list shorter or longer than the catalogue fills what it can.
  TAlertConfigList config(window->model_->RowCount());
  std::size_t row = config.size();
  for (TComponent* element : TComponentList::Elements(factory.Categories)) {
    if (row == 0) break;
    --row;
    auto* category = dynamic_cast<TCategoryFactory*>(element);
    if (category == nullptr) continue;
    config[row] = {category->AlertEnabled, static_cast<TColor>(category->Foreground),
                   static_cast<TColor>(category->Background), category->Bold, category->Italic, category->Underline};
  }
  window->model_->SetConfig(config);
  window->model_->RaiseOnAlert = factory.RaiseOnAlert;
  window->raiseOnAlert_->setChecked(factory.RaiseOnAlert);
  return window;
}

}  // namespace tarnwell
