#pragma once
// Windows that describe themselves by factories: pages (every window the user arranged, the main window's
// place and the groups' symbols), window files, and the "Save..." and "Duplicate" commands. A page is read
// whole and checked before any window closes, so a bad file changes nothing on the screen.

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "persistence/Factories.h"

namespace tarnwell {

/// A window that a page, a window file or a duplicate can bring back.
class ISavableWindow {
 public:
  virtual ~ISavableWindow() = default;
  /// Whether a page holds this window by itself (a docked viewer is saved with its stock window instead).
  virtual bool IncludeInPage() const = 0;
  /// A new factory describing the window, owned by `owner`, or by the caller when `owner` is null.
  virtual TWindowFactory* CreateFactory(TComponent* owner) = 0;
};

/// A window that shows the symbol of a symbol group.
class IGroupMember {
 public:
  virtual ~IGroupMember() = default;
  virtual std::string GetGroup() const = 0;
  /// Leaves the old group and joins `name` (an empty name: no group).
  virtual void SetGroup(const std::string& name) = 0;
};

/// Builds the window a factory of one class describes. May return null (a page makes no window of its own).
using TWindowCreator = std::function<QWidget*(TWindowFactory& factory)>;
/// User interface thread, at start-up.
void RegisterWindowCreator(const std::string& className, TWindowCreator create);
/// The window a factory describes, made by its class's creator; throws EObjectStream when none is registered.
QWidget* CreateWindow(TWindowFactory& factory);

/// The form's place, size, name and state from the factory.
void ApplyTo(const TFormFactory& factory, QWidget& form);
/// The factory's place, size, name and state from the form; a part inside a window (a docked viewer) gives its
/// place on the screen.
void Capture(TFormFactory& factory, const QWidget& form);

/// The main window, which a page places and captures first. Set once at start-up.
void SetPageMainWindow(QWidget* main);
/// Registers the creators of pages, the main window's layout and the windows of this module. Idempotent.
void RegisterPageWindowCreators();

/// A page of the windows on the screen now, owned by the caller.
std::unique_ptr<TLayout> CapturePage();
/// Makes the window a factory describes and shows it. `keepPosition` false: the copy is placed beside the
/// original instead of over it. Returns the window (null for a page).
QWidget* Restore(TWindowFactory& factory, bool keepPosition);

/// Replaces every window of the page with those of the file. Throws (naming the file) before closing any
/// window when the file cannot be read or describes windows this program cannot make.
void LoadPage(const std::string& path);
/// Writes the page of the windows on the screen now (and its readable copy). Throws naming the file.
void SavePage(const std::string& path);
/// Opens a window file (or a page file, as a page). Throws naming the file.
void OpenWindowFile(const std::string& path);

/// The nearest widget that implements I, walking outward from `control` (itself included), or null.
template <class I>
QWidget* Innermost(QWidget* control) {
  for (QWidget* widget = control; widget != nullptr; widget = widget->parentWidget()) {
    if (dynamic_cast<I*>(widget) != nullptr) return widget;
  }
  return nullptr;
}
/// The outermost widget around `control` (itself included) that implements I, or null.
template <class I>
QWidget* Outermost(QWidget* control) {
  QWidget* found = nullptr;
  for (QWidget* widget = control; widget != nullptr; widget = widget->parentWidget()) {
    if (dynamic_cast<I*>(widget) != nullptr) found = widget;
  }
  return found;
}
/// What "Duplicate Panel" (`panel`) or "Duplicate Window" copies for `control`, or null: the innermost
/// savable window around it, or the outermost.
QWidget* DuplicateTarget(QWidget* control, bool panel);
/// "Duplicate Window" / "Duplicate Panel": a copy of the target beside it. Returns the copy or null.
QWidget* DuplicateWindow(QWidget* control, bool panel);
/// "Save...": asks for a window file and writes the outermost savable window around `control` to it.
void SaveWindowWithDialog(QWidget* control);

}  // namespace tarnwell
