#include "gui/Pages.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <map>
#include <set>

#include "framework/SymbolGroups.h"
#include "gui/DockableForm.h"
#include "persistence/ObjectStream.h"

namespace tarnwell {
namespace {

std::map<std::string, TWindowCreator>& Creators() {
  static std::map<std::string, TWindowCreator> creators;
  return creators;
}

QPointer<QWidget>& MainWindow() {
  static QPointer<QWidget> main;
  return main;
}

// Where a copy goes when the original's place is not kept: beside it, so that both can be seen.
constexpr int kCopyOffset = 30;

EObjectStream CannotOpen(const TWindowFactory& factory) {
  return EObjectStream("'" + factory.Name + "' is a " + factory.ClassName() + ", which this program cannot open");
}

// Every window a page or window file would make, checked before any window closes: the file's root, the
// windows of a page and the windows docked in a stock window.
void CheckCreatable(TWindowFactory& factory) {
  if (Creators().count(factory.ClassName()) == 0) throw CannotOpen(factory);
  TComponent* windows = nullptr;
  if (auto* page = dynamic_cast<TLayout*>(&factory)) windows = page->WindowList;
  if (auto* stock = dynamic_cast<TStockWindowFactory*>(&factory)) windows = stock->DockedWindows;
  for (TComponent* element : TComponentList::Elements(windows)) {
    if (element == nullptr) continue;  // an empty cell makes nothing
    auto* window = dynamic_cast<TWindowFactory*>(element);
    if (window == nullptr) throw EObjectStream("'" + element->Name + "' in a window list is not a window factory");
    CheckCreatable(*window);
  }
}

// The top-level windows that a page holds by themselves, in the order the screen lists them.
std::vector<QWidget*> PageWindows() {
  std::vector<QWidget*> windows;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    auto* savable = dynamic_cast<ISavableWindow*>(window);
    if (savable == nullptr || !window->isVisible() || !savable->IncludeInPage()) continue;
    windows.push_back(window);
  }
  return windows;
}

// Closes every window a page holds; a window that refuses stays, and the loop ends when nothing changes.
void ClosePageWindows() {
  std::set<QWidget*> refused;
  for (;;) {
    std::vector<QPointer<QWidget>> open;
    for (QWidget* window : PageWindows()) {
      if (refused.count(window) == 0) open.emplace_back(window);
    }
    if (open.empty()) return;
    for (const QPointer<QWidget>& window : open) {
      if (window.isNull()) continue;
      // Closing clears the attribute and deletes later; the window goes at once instead, so that the
      // windows of the page do not meet it in their groups.
      const bool freed = window->testAttribute(Qt::WA_DeleteOnClose);
      if (!window->close()) {
        refused.insert(window.data());
        continue;
      }
      if (freed) delete window.data();
    }
  }
}

QWidget* RestorePage(TLayout& page) {
  ClosePageWindows();
  for (TComponent* element : TComponentList::Elements(page.WindowList)) {
    if (auto* factory = dynamic_cast<TWindowFactory*>(element)) Restore(*factory, true);
  }
  TGroupList& groups = TGroupList::Instance();
  for (std::size_t i = 0; i < page.GroupNames.size() && i < page.StockNames.size(); ++i) {
    groups.SetSymbol(page.GroupNames[i], page.StockNames[i]);
  }
  return nullptr;
}

std::unique_ptr<TWindowFactory> ReadCreatable(const std::string& path) {
  std::unique_ptr<TWindowFactory> root = LoadFactoryFile(path);
  try {
    CheckCreatable(*root);
  } catch (const EObjectStream& error) {
    throw EObjectStream(path + ": " + error.what());
  }
  return root;
}

}  // namespace

void RegisterWindowCreator(const std::string& className, TWindowCreator create) {
  Creators()[className] = std::move(create);
}

QWidget* CreateWindow(TWindowFactory& factory) {
  auto found = Creators().find(factory.ClassName());
  if (found == Creators().end()) throw CannotOpen(factory);
  return found->second(factory);
}

void ApplyTo(const TFormFactory& factory, QWidget& form) {
  form.move(factory.Left, factory.Top);
  form.resize(factory.Width, factory.Height);
  form.setObjectName(QString::fromStdString(factory.WindowName));
  Qt::WindowStates state = form.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
  if (factory.WindowState == TFormFactory::wsMinimized) state |= Qt::WindowMinimized;
  if (factory.WindowState == TFormFactory::wsMaximized) state |= Qt::WindowMaximized;
  form.setWindowState(state);
}

void Capture(TFormFactory& factory, const QWidget& form) {
  // A maximised or minimised window keeps the place it returns to; a docked part, its place on the screen, so
  // that a copy of it floats where it was seen.
  const bool away = form.isWindow() && (form.isMaximized() || form.isMinimized());
  const QPoint at = form.isWindow() ? form.pos() : form.mapToGlobal(QPoint(0, 0));
  const QRect place = away ? form.normalGeometry() : QRect(at, form.size());
  factory.Left = place.x();
  factory.Top = place.y();
  factory.Width = place.width();
  factory.Height = place.height();
  factory.WindowName = form.objectName().toStdString();
  factory.WindowState = form.isMinimized() ? TFormFactory::wsMinimized
                        : form.isMaximized() ? TFormFactory::wsMaximized
                                             : TFormFactory::wsNormal;
}

void SetPageMainWindow(QWidget* main) { MainWindow() = main; }

void RegisterPageWindowCreators() {
  RegisterWindowCreator(TLayout::kClassName,
                        [](TWindowFactory& factory) { return RestorePage(static_cast<TLayout&>(factory)); });
  RegisterWindowCreator(TMainWindowLayout::kClassName, [](TWindowFactory& factory) -> QWidget* {
    QWidget* main = MainWindow().data();
    if (main != nullptr) ApplyTo(static_cast<TMainWindowLayout&>(factory), *main);
    return main;
  });
  RegisterWindowCreator(TDockableListenerFormFactory::kClassName, [](TWindowFactory& factory) -> QWidget* {
    auto& described = static_cast<TDockableListenerFormFactory&>(factory);
    auto* form = new TDockableListenerForm;
    ApplyTo(described, *form);
    form->SetGroup(described.Group);
    return form;
  });
  RegisterWindowCreator(TStockWindowFactory::kClassName, [](TWindowFactory& factory) -> QWidget* {
    return TStockWindow::FromFactory(static_cast<TStockWindowFactory&>(factory));
  });
}

std::unique_ptr<TLayout> CapturePage() {
  auto page = std::make_unique<TLayout>();
  TGroupList& groups = TGroupList::Instance();
  page->GroupNames = groups.GroupNames();
  for (const std::string& name : page->GroupNames) page->StockNames.push_back(groups.GetSymbol(name));
  // Adding puts a window first, so the list holds the main window's layout, then the windows from the
  // last on the screen to the first.
  std::vector<TComponent*> windows;
  if (QWidget* main = MainWindow().data()) {
    auto* layout = new TMainWindowLayout(page.get());
    Capture(*layout, *main);
    windows.push_back(layout);
  }
  std::vector<QWidget*> open = PageWindows();
  for (auto window = open.rbegin(); window != open.rend(); ++window) {
    windows.push_back(dynamic_cast<ISavableWindow*>(*window)->CreateFactory(page.get()));
  }
  page->WindowList = TComponentList::Make(windows, page.get());
  return page;
}

QWidget* Restore(TWindowFactory& factory, bool keepPosition) {
  QWidget* window = CreateWindow(factory);
  if (window == nullptr) return nullptr;
  if (!keepPosition && window != MainWindow().data()) window->move(window->pos() + QPoint(kCopyOffset, kCopyOffset));
  window->show();
  return window;
}

void LoadPage(const std::string& path) {
  std::unique_ptr<TWindowFactory> root = ReadCreatable(path);
  CreateWindow(*root);
}

void SavePage(const std::string& path) {
  std::unique_ptr<TLayout> page = CapturePage();
  SaveFactoryFile(path, *page);
}

void OpenWindowFile(const std::string& path) {
  std::unique_ptr<TWindowFactory> root = ReadCreatable(path);
  Restore(*root, false);
}

QWidget* DuplicateTarget(QWidget* control, bool panel) {
  return panel ? Innermost<ISavableWindow>(control) : Outermost<ISavableWindow>(control);
}

QWidget* DuplicateWindow(QWidget* control, bool panel) {
  QWidget* target = DuplicateTarget(control, panel);
  if (target == nullptr) return nullptr;
  std::unique_ptr<TWindowFactory> factory(dynamic_cast<ISavableWindow*>(target)->CreateFactory(nullptr));
  return Restore(*factory, false);
}

void SaveWindowWithDialog(QWidget* control) {
  QWidget* window = Outermost<ISavableWindow>(control);
  if (window == nullptr) return;
  QFileDialog dialog(window, "Save", QString(), "Windows (*.PWn);;All Files (*)");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix("PWn");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const std::string path = dialog.selectedFiles().front().toStdString();
  std::unique_ptr<TWindowFactory> factory(dynamic_cast<ISavableWindow*>(window)->CreateFactory(nullptr));
  try {
    SaveFactoryFile(path, *factory);
  } catch (const std::exception& error) {
    QMessageBox::critical(window, "Error", QString::fromStdString(error.what()));
  }
}

}  // namespace tarnwell
