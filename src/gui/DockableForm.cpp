#include "gui/DockableForm.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

#include "framework/DataNode.h"
#include "framework/ScreenUpdates.h"
#include "framework/SymbolGroups.h"
#include "gui/ViewerMenu.h"

namespace tarnwell {
namespace {

// The class part of a member's key in its group.
constexpr const char* kFormClass = "TDockableListenerForm";
constexpr const char* kStockClass = "TStockWindow";

// Docked clients carry these names while the panel's arrangement is saved and read.
std::string DockChildName(std::size_t index) { return "Dock_Child_" + std::to_string(index); }

}  // namespace

// --- Viewer windows ----------------------------------------------------------------------------------------

TDockableListenerForm::TDockableListenerForm(QWidget* parent) : QDockWidget(parent), menu_(new QMenu(this)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  if (parent == nullptr) setWindowFlag(Qt::Window);
  AddViewerMenu(menu_, this);
  ScreenLink = TScreenUpdater::CreateScreenLink(TW_METHOD(this, Refresh));
  ScreenLink->SetReceiveInput(true);
  SetGroup(TGroupList::Instance().NewGroupName());
  UpdateCaption();
}

TDockableListenerForm::~TDockableListenerForm() {
  TGroupList::Instance().RemoveFromGroup(Group, kFormClass, this);
  controller_.reset();
  TDataNodeLink::Release(ScreenLink);
}

void TDockableListenerForm::SetGroup(const std::string& name) {
  TGroupList& groups = TGroupList::Instance();
  groups.RemoveFromGroup(Group, kFormClass, this);
  Group = name;
  groups.AddToGroup(Group, kFormClass, this, Symbol, [this](const std::string& symbol) { SetSymbol(symbol); });
}

void TDockableListenerForm::SetSymbol(const std::string& symbol) {
  if (symbol == Symbol) return;
  Symbol = symbol;
  UpdateCaption();
  if (controller_) controller_->SetSymbol(Symbol);
}

void TDockableListenerForm::SetController(std::unique_ptr<TFormController> controller) {
  controller_ = std::move(controller);
  if (controller_) controller_->SetSymbol(Symbol);
}

void TDockableListenerForm::Refresh() {
  if (!Dirty.load()) return;
  // A viewer in a collapsed or hidden panel waits until it can be seen again.
  if (!isVisible()) return;
  Dirty = false;
  if (OnRefresh) OnRefresh();
}

TWindowFactory* TDockableListenerForm::CreateFactory(TComponent* owner) {
  if (controller_) {
    if (TWindowFactory* factory = controller_->CreateFactory(owner)) return factory;
  }
  auto* factory = new TDockableListenerFormFactory(owner);
  Capture(*factory, *this);
  factory->Group = Group;
  return factory;
}

void TDockableListenerForm::UpdateCaption() {
  setWindowTitle(Symbol.empty() ? QString("Viewer") : QString::fromStdString(Symbol));
}

void TDockableListenerForm::contextMenuEvent(QContextMenuEvent* event) { menu_->popup(event->globalPos()); }

// --- Stock windows -----------------------------------------------------------------------------------------

TStockWindow::TStockWindow(QWidget* parent) : QWidget(parent, Qt::Window), panel_(new QMainWindow(this)), menu_(new QMenu(this)) {
  setAttribute(Qt::WA_DeleteOnClose);
  panel_->setObjectName("MainPanel");
  panel_->setWindowFlags(Qt::Widget);
  panel_->setDockNestingEnabled(true);
  panel_->setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks | QMainWindow::AllowTabbedDocks);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(panel_);
  AddViewerMenu(menu_, this);
  resize(600, 400);
  UpdateCaption();
}

TStockWindow::~TStockWindow() { TGroupList::Instance().RemoveFromGroup(Group, kStockClass, this); }

void TStockWindow::InitializeNew() { SetGroup(TGroupList::Instance().NewGroupName()); }

void TStockWindow::SetGroup(const std::string& name) {
  if (name == Group) return;
  TGroupList& groups = TGroupList::Instance();
  groups.RemoveFromGroup(Group, kStockClass, this);
  Group = name;
  if (Group.empty()) {
    Symbol.clear();
  } else {
    groups.AddToGroup(Group, kStockClass, this, Symbol, [this](const std::string& symbol) { SetSymbol(symbol); });
    for (QDockWidget* client : DockedClients()) TakeIntoGroup(client);
  }
  UpdateCaption();
}

void TStockWindow::SetSymbol(const std::string& symbol) {
  Symbol = symbol;
  UpdateCaption();
}

void TStockWindow::UpdateCaption() {
  setWindowTitle(Group.empty() ? QString("Pairs Window") : QString::fromStdString(Symbol));
}

void TStockWindow::AddClient(QDockWidget* client, Qt::DockWidgetArea area) {
  client->setParent(panel_);
  panel_->addDockWidget(area, client);
  // A viewer dropped back onto the panel follows the window's symbol again.
  connect(client, &QDockWidget::topLevelChanged, this, [this, client](bool floating) {
    if (!floating) TakeIntoGroup(client);
  });
  TakeIntoGroup(client);
}

void TStockWindow::TakeIntoGroup(QDockWidget* client) {
  if (Group.empty()) return;
  if (auto* member = dynamic_cast<IGroupMember*>(client)) member->SetGroup(Group);
}

std::vector<QDockWidget*> TStockWindow::DockedClients() const {
  std::vector<QDockWidget*> clients;
  for (QDockWidget* client : panel_->findChildren<QDockWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!client->isFloating()) clients.push_back(client);
  }
  return clients;
}

TWindowFactory* TStockWindow::CreateFactory(TComponent* owner) {
  auto* factory = new TStockWindowFactory(owner);
  Capture(*factory, *this);
  factory->Group = Group;
  // The arrangement refers to the clients by name, so they get names before it is saved.
  const std::vector<QDockWidget*> clients = DockedClients();
  for (std::size_t i = 0; i < clients.size(); ++i) clients[i]->setObjectName(QString::fromStdString(DockChildName(i)));
  factory->DockedLayout = panel_->saveState().toBase64().toStdString();
  TComponent* root = factory;
  while (root->Owner() != nullptr) root = root->Owner();
  std::vector<TComponent*> docked;
  for (QDockWidget* client : clients) {
    if (auto* savable = dynamic_cast<ISavableWindow*>(client)) docked.push_back(savable->CreateFactory(root));
  }
  factory->DockedWindows = TComponentList::Make(docked, root);
  return factory;
}

TStockWindow* TStockWindow::FromFactory(TStockWindowFactory& factory) {
  auto* window = new TStockWindow;
  ApplyTo(factory, *window);
  window->SetGroup(factory.Group);
  for (TComponent* element : TComponentList::Elements(factory.DockedWindows)) {
    auto* docked = dynamic_cast<TWindowFactory*>(element);
    if (docked == nullptr) continue;
    auto* client = qobject_cast<QDockWidget*>(CreateWindow(*docked));
    if (client == nullptr) continue;
    window->AddClient(client);
    // A hidden client is shown out of sight first, so that the arrangement can place it.
    if (!client->isVisible()) {
      client->move(-(client->width() + 100), -(client->height() + 100));
      client->show();
    }
  }
  window->panel_->restoreState(QByteArray::fromBase64(QByteArray::fromStdString(factory.DockedLayout)));
  return window;
}

void TStockWindow::contextMenuEvent(QContextMenuEvent* event) { menu_->popup(event->globalPos()); }

}  // namespace tarnwell
