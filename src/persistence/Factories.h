#pragma once
// Window factories as they are saved: named components that own components, each class publishing the
// properties a page or window file holds. A factory tree goes to an object stream and comes back from one
// by registered class name, with references between factories resolved once the whole file is read. The
// windows a factory creates are the user interface's business; this layer only keeps what describes them.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "persistence/ObjectStream.h"

namespace tarnwell {

class TComponent;

/// What reading needs while it sets properties: the references to resolve once every component exists.
class TReadContext {
 public:
  /// Sets `target` to the component named `name` once the whole file is read.
  void ResolveLater(TComponent*& target, std::string name);
  /// Resolves every reference against the components below `root`; throws EObjectStream naming a missing one.
  void ResolveAll(TComponent& root);

 private:
  std::vector<std::pair<TComponent**, std::string>> pending_;
};

/// One published property: its value as written (none when it is at its default, empty or nil, so it is
/// not written) and how a value read sets it.
struct TPublishedProperty {
  std::string Name;
  std::function<std::optional<TStreamValue>()> Get;
  std::function<void(const TStreamValue&, TReadContext&)> Set;
};
using TPublishedProperties = std::vector<TPublishedProperty>;

/// Builders of the usual kinds of property.
TPublishedProperty IntegerProperty(std::string name, std::int32_t& field, std::optional<std::int32_t> defaultValue);
TPublishedProperty BooleanProperty(std::string name, bool& field, bool defaultValue);
/// Empty strings are not written.
TPublishedProperty StringProperty(std::string name, std::string& field);
/// Written as the identifier of its value; `names` lists the identifiers in value order.
TPublishedProperty EnumProperty(std::string name, int& field, std::vector<std::string> names, int defaultValue);
/// Written as "Name.Strings" with a list of strings; an empty list is not written.
TPublishedProperty StringListProperty(std::string name, std::vector<std::string>& field);
/// Written as the identifier of the referenced component's name; nil is not written.
TPublishedProperty ReferenceProperty(std::string name, TComponent*& field);

/// A named component that owns components; what it owns is written as its children.
class TComponent {
 public:
  /// Owned by `owner` when one is given (it deletes the component with itself), else by the caller.
  explicit TComponent(TComponent* owner = nullptr);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  virtual const char* ClassName() const = 0;
  /// The published properties in their order, a class's own after its base's.
  virtual TPublishedProperties Properties() { return {}; }

  std::string Name;
  TComponent* Owner() const { return owner_; }
  const std::vector<std::unique_ptr<TComponent>>& Components() const { return components_; }
  /// The component named `name` here or below, or null.
  TComponent* FindComponent(const std::string& name);

 private:
  friend class TComponentAccess;
  TComponent* owner_;
  std::vector<std::unique_ptr<TComponent>> components_;
};

/// Names a component made outside file reading "Anonymous_N" (a process-wide counter from 0); while a file
/// is read, the file supplies the names and this does nothing.
void NameAnonymously(TComponent& component);

/// Makes a component of a registered class, owned by `owner` (or by nobody).
using TComponentCreator = std::function<TComponent*(TComponent* owner)>;
/// Registers a class for reading by name. Any thread, before files are read.
void RegisterComponentClass(const std::string& className, TComponentCreator create);
template <class T>
void RegisterComponentClass() {
  RegisterComponentClass(T::kClassName, [](TComponent* owner) -> TComponent* { return new T(owner); });
}

/// The base of every factory a page or window file holds. Made outside file reading without a name, it is
/// named "Anonymous_N" (a process-wide counter from 0).
class TWindowFactory : public TComponent {
 public:
  static constexpr const char* kClassName = "TWindowFactory";
  explicit TWindowFactory(TComponent* owner = nullptr);
  const char* ClassName() const override { return kClassName; }
  TPublishedProperties Properties() override;

  std::int32_t Tag = 0;
};

/// A window's place and size.
class TFormFactory : public TWindowFactory {
 public:
  static constexpr const char* kClassName = "TFormFactory";
  enum TWindowState { wsNormal, wsMinimized, wsMaximized };
  using TWindowFactory::TWindowFactory;
  const char* ClassName() const override { return kClassName; }
  TPublishedProperties Properties() override;

  std::int32_t Left = 0, Top = 0, Height = 0, Width = 0;
  std::string WindowName;
  int WindowState = wsNormal;
};

class TMainWindowLayout : public TFormFactory {
 public:
  static constexpr const char* kClassName = "TMainWindowLayout";
  using TFormFactory::TFormFactory;
  const char* ClassName() const override { return kClassName; }
};

/// A list made of components, so that it can be saved: First is the element, Rest the next cell.
class TComponentList : public TComponent {
 public:
  static constexpr const char* kClassName = "TComponentList";
  using TComponent::TComponent;
  const char* ClassName() const override { return kClassName; }
  TPublishedProperties Properties() override;

  TComponent* First = nullptr;
  TComponent* Rest = nullptr;

  /// The elements from `list` on, in order.
  static std::vector<TComponent*> Elements(TComponent* list);
  /// A list of `elements`, its cells owned by `owner`; null for none.
  static TComponentList* Make(const std::vector<TComponent*>& elements, TComponent* owner);
};

/// A page: the windows (the main window's layout first) and the symbol groups.
class TLayout : public TWindowFactory {
 public:
  static constexpr const char* kClassName = "TLayout";
  using TWindowFactory::TWindowFactory;
  const char* ClassName() const override { return kClassName; }
  TPublishedProperties Properties() override;

  TComponent* WindowList = nullptr;
  std::vector<std::string> GroupNames;
  std::vector<std::string> StockNames;
};

/// A viewer window that floats by itself or docks into a stock window: its place and its symbol group.
class TDockableListenerFormFactory : public TFormFactory {
 public:
  static constexpr const char* kClassName = "TDockableListenerFormFactory";
  using TFormFactory::TFormFactory;
  const char* ClassName() const override { return kClassName; }
  TPublishedProperties Properties() override;

  std::string Group;
};

/// A stock window: its place, its group, the arrangement of its dock panel and the windows docked in it.
class TStockWindowFactory : public TFormFactory {
 public:
  static constexpr const char* kClassName = "TStockWindowFactory";
  using TFormFactory::TFormFactory;
  const char* ClassName() const override { return kClassName; }
  TPublishedProperties Properties() override;

  std::string Group;
  /// The dock panel's arrangement as the user interface toolkit saves it; opaque here.
  std::string DockedLayout;
  TComponent* DockedWindows = nullptr;
};

/// Registers the classes above. Idempotent.
void RegisterStandardFactoryClasses();

/// The stream of a component and everything it owns.
TStreamObject ToStream(TComponent& root);
/// Builds the components of a stream, owned by nobody, with every reference resolved; throws EObjectStream
/// for a class that is not registered, a property the class does not publish, a value of the wrong kind or
/// a reference to a name the stream does not hold.
std::unique_ptr<TComponent> FromStream(const TStreamObject& root);

/// Writes a window factory to a page or window file and its readable copy.
void SaveFactoryFile(const std::string& path, TWindowFactory& root);
/// Reads a page or window file; its root must be a window factory. Errors name the file.
std::unique_ptr<TWindowFactory> LoadFactoryFile(const std::string& path);

}  // namespace tarnwell
