#include "persistence/Factories.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>

namespace tarnwell {

namespace {

std::atomic<int> anonymousCount{0};
// Set while a stream is turned into components: the file supplies the names.
thread_local bool reading = false;

std::string NextAnonymousName() {
  return "Anonymous_" + std::to_string(anonymousCount.fetch_add(1));
}

std::mutex& RegistryLock() {
  static std::mutex lock;
  return lock;
}
std::map<std::string, TComponentCreator>& Registry() {
  static std::map<std::string, TComponentCreator> registry;
  return registry;
}

const char* KindName(TStreamValue::TKind kind) {
  switch (kind) {
    case TStreamValue::kList: return "a list";
    case TStreamValue::kInteger: return "an integer";
    case TStreamValue::kString: return "a string";
    case TStreamValue::kIdentifier: return "an identifier";
    case TStreamValue::kBoolean: return "a boolean";
    case TStreamValue::kNil: return "nil";
    default: return "another kind of value";
  }
}

void Expect(const TStreamValue& value, TStreamValue::TKind kind) {
  if (value.Kind != kind) {
    throw EObjectStream(std::string("expected ") + KindName(kind) + ", found " + KindName(value.Kind));
  }
}

}  // namespace

// --- Properties ----------------------------------------------------------------------------------------------

TPublishedProperty IntegerProperty(std::string name, std::int32_t& field, std::optional<std::int32_t> defaultValue) {
  return {std::move(name),
          [&field, defaultValue]() -> std::optional<TStreamValue> {
            if (defaultValue && field == *defaultValue) return std::nullopt;
            return TStreamValue::MakeInteger(field);
          },
          [&field](const TStreamValue& value, TReadContext&) {
            Expect(value, TStreamValue::kInteger);
            if (value.Integer < INT32_MIN || value.Integer > INT32_MAX) {
              throw EObjectStream("the value " + std::to_string(value.Integer) + " does not fit 32 bits");
            }
            field = static_cast<std::int32_t>(value.Integer);
          }};
}

TPublishedProperty BooleanProperty(std::string name, bool& field, bool defaultValue) {
  return {std::move(name),
          [&field, defaultValue]() -> std::optional<TStreamValue> {
            if (field == defaultValue) return std::nullopt;
            return TStreamValue::MakeBoolean(field);
          },
          [&field](const TStreamValue& value, TReadContext&) {
            Expect(value, TStreamValue::kBoolean);
            field = value.Boolean;
          }};
}

TPublishedProperty StringProperty(std::string name, std::string& field) {
  return {std::move(name),
          [&field]() -> std::optional<TStreamValue> {
            if (field.empty()) return std::nullopt;
            return TStreamValue::MakeString(field);
          },
          [&field](const TStreamValue& value, TReadContext&) {
            Expect(value, TStreamValue::kString);
            field = value.Text;
          }};
}

TPublishedProperty EnumProperty(std::string name, int& field, std::vector<std::string> names, int defaultValue) {
  return {std::move(name),
          [&field, names, defaultValue]() -> std::optional<TStreamValue> {
            if (field == defaultValue || field < 0 || field >= static_cast<int>(names.size())) return std::nullopt;
            return TStreamValue::MakeIdentifier(names[static_cast<std::size_t>(field)]);
          },
          [&field, names](const TStreamValue& value, TReadContext&) {
            Expect(value, TStreamValue::kIdentifier);
            for (std::size_t i = 0; i < names.size(); ++i) {
              if (names[i] == value.Text) {
                field = static_cast<int>(i);
                return;
              }
            }
            throw EObjectStream("'" + value.Text + "' is not one of its values");
          }};
}

TPublishedProperty StringListProperty(std::string name, std::vector<std::string>& field) {
  return {std::move(name) + ".Strings",
          [&field]() -> std::optional<TStreamValue> {
            if (field.empty()) return std::nullopt;
            std::vector<TStreamValue> items;
            for (const std::string& text : field) items.push_back(TStreamValue::MakeString(text));
            return TStreamValue::MakeList(std::move(items));
          },
          [&field](const TStreamValue& value, TReadContext&) {
            Expect(value, TStreamValue::kList);
            std::vector<std::string> texts;
            for (const TStreamValue& item : value.Items) {
              Expect(item, TStreamValue::kString);
              texts.push_back(item.Text);
            }
            field = std::move(texts);
          }};
}

TPublishedProperty ReferenceProperty(std::string name, TComponent*& field) {
  return {std::move(name),
          [&field]() -> std::optional<TStreamValue> {
            if (field == nullptr) return std::nullopt;
            return TStreamValue::MakeIdentifier(field->Name);
          },
          [&field](const TStreamValue& value, TReadContext& context) {
            if (value.Kind == TStreamValue::kNil) {
              field = nullptr;
              return;
            }
            Expect(value, TStreamValue::kIdentifier);
            context.ResolveLater(field, value.Text);
          }};
}

void TReadContext::ResolveLater(TComponent*& target, std::string name) {
  pending_.emplace_back(&target, std::move(name));
}

void TReadContext::ResolveAll(TComponent& root) {
  for (auto& [target, name] : pending_) {
    TComponent* found = root.FindComponent(name);
    if (found == nullptr) throw EObjectStream("a reference to '" + name + "', which the file does not hold");
    *target = found;
  }
  pending_.clear();
}

// --- Components ----------------------------------------------------------------------------------------------

// Gives an owner its component; the only way into components_.
class TComponentAccess {
 public:
  static void Adopt(TComponent& owner, TComponent* component) { owner.components_.emplace_back(component); }
};

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_ != nullptr) TComponentAccess::Adopt(*owner_, this);
}

TComponent::~TComponent() = default;

TComponent* TComponent::FindComponent(const std::string& name) {
  if (Name == name) return this;
  for (const auto& component : components_) {
    if (TComponent* found = component->FindComponent(name)) return found;
  }
  return nullptr;
}

void NameAnonymously(TComponent& component) {
  if (!reading) component.Name = NextAnonymousName();
}

void RegisterComponentClass(const std::string& className, TComponentCreator create) {
  std::lock_guard guard(RegistryLock());
  Registry()[className] = std::move(create);
}

TWindowFactory::TWindowFactory(TComponent* owner) : TComponent(owner) { NameAnonymously(*this); }

TPublishedProperties TWindowFactory::Properties() {
  // The name is the object's own name in the stream, so Tag is the one property written here.
  return {IntegerProperty("Tag", Tag, 0)};
}

TPublishedProperties TFormFactory::Properties() {
  TPublishedProperties properties = TWindowFactory::Properties();
  properties.push_back(IntegerProperty("Left", Left, std::nullopt));
  properties.push_back(IntegerProperty("Top", Top, std::nullopt));
  properties.push_back(IntegerProperty("Height", Height, std::nullopt));
  properties.push_back(IntegerProperty("Width", Width, std::nullopt));
  properties.push_back(StringProperty("WindowName", WindowName));
  properties.push_back(EnumProperty("WindowState", WindowState, {"wsNormal", "wsMinimized", "wsMaximized"}, wsNormal));
  return properties;
}

TPublishedProperties TComponentList::Properties() {
  return {ReferenceProperty("First", First), ReferenceProperty("Rest", Rest)};
}

std::vector<TComponent*> TComponentList::Elements(TComponent* list) {
  std::vector<TComponent*> elements;
  // A list read from a hostile file could loop; no list is longer than its file has components.
  for (int guard = 0; auto* cell = dynamic_cast<TComponentList*>(list); list = cell->Rest) {
    if (++guard > 1000000) throw EObjectStream("a component list that does not end");
    elements.push_back(cell->First);
  }
  return elements;
}

TComponentList* TComponentList::Make(const std::vector<TComponent*>& elements, TComponent* owner) {
  if (owner == nullptr && !elements.empty()) throw EObjectStream("a component list needs an owner for its cells");
  TComponentList* head = nullptr;
  TComponentList* last = nullptr;
  for (TComponent* element : elements) {
    auto* cell = new TComponentList(owner);
    NameAnonymously(*cell);
    cell->First = element;
    if (last != nullptr) {
      last->Rest = cell;
    } else {
      head = cell;
    }
    last = cell;
  }
  return head;
}

TPublishedProperties TLayout::Properties() {
  TPublishedProperties properties = TWindowFactory::Properties();
  properties.push_back(ReferenceProperty("WindowList", WindowList));
  properties.push_back(StringListProperty("GroupNames", GroupNames));
  properties.push_back(StringListProperty("StockNames", StockNames));
  return properties;
}

TPublishedProperties TDockableListenerFormFactory::Properties() {
  TPublishedProperties properties = TFormFactory::Properties();
  properties.push_back(StringProperty("Group", Group));
  return properties;
}

TPublishedProperties TStockWindowFactory::Properties() {
  TPublishedProperties properties = TFormFactory::Properties();
  properties.push_back(StringProperty("Group", Group));
  properties.push_back(StringProperty("DockedLayout", DockedLayout));
  properties.push_back(ReferenceProperty("DockedWindows", DockedWindows));
  return properties;
}

void RegisterStandardFactoryClasses() {
  RegisterComponentClass<TWindowFactory>();
  RegisterComponentClass<TFormFactory>();
  RegisterComponentClass<TMainWindowLayout>();
  RegisterComponentClass<TComponentList>();
  RegisterComponentClass<TLayout>();
  RegisterComponentClass<TDockableListenerFormFactory>();
  RegisterComponentClass<TStockWindowFactory>();
}

// --- Streams and files ------------------------------------------------------------------------------------

TStreamObject ToStream(TComponent& root) {
  TStreamObject object{root.ClassName(), root.Name, {}, {}};
  for (TPublishedProperty& property : root.Properties()) {
    if (std::optional<TStreamValue> value = property.Get()) object.Properties.push_back({property.Name, std::move(*value)});
  }
  for (const auto& component : root.Components()) object.Children.push_back(ToStream(*component));
  return object;
}

namespace {

TComponent* Create(const TStreamObject& object, TComponent* owner) {
  TComponentCreator create;
  {
    std::lock_guard guard(RegistryLock());
    auto found = Registry().find(object.ClassName);
    if (found == Registry().end()) {
      throw EObjectStream("'" + object.Name + "' is of class " + object.ClassName + ", which is not registered");
    }
    create = found->second;
  }
  TComponent* component = create(owner);
  component->Name = object.Name;
  return component;
}

void Fill(TComponent& component, const TStreamObject& object, TReadContext& context) {
  TPublishedProperties properties = component.Properties();
  for (const TStreamProperty& read : object.Properties) {
    auto property = std::find_if(properties.begin(), properties.end(),
                                 [&](const TPublishedProperty& p) { return p.Name == read.Name; });
    const std::string where = "'" + object.Name + "' (" + object.ClassName + ") property " + read.Name;
    if (property == properties.end()) throw EObjectStream(where + ": the class publishes no such property");
    try {
      property->Set(read.Value, context);
    } catch (const EObjectStream& error) {
      throw EObjectStream(where + ": " + error.what());
    }
  }
  for (const TStreamObject& child : object.Children) Fill(*Create(child, &component), child, context);
}

// Reading names no factory anonymously, whatever happens on the way.
struct TReading {
  TReading() { reading = true; }
  ~TReading() { reading = false; }
};

}  // namespace

std::unique_ptr<TComponent> FromStream(const TStreamObject& root) {
  TReading scope;
  TReadContext context;
  std::unique_ptr<TComponent> component(Create(root, nullptr));
  Fill(*component, root, context);
  context.ResolveAll(*component);
  return component;
}

void SaveFactoryFile(const std::string& path, TWindowFactory& root) {
  SaveObjectFile(path, ToStream(root));
}

std::unique_ptr<TWindowFactory> LoadFactoryFile(const std::string& path) {
  const TStreamObject stream = LoadObjectFile(path);
  std::unique_ptr<TComponent> root;
  try {
    root = FromStream(stream);
  } catch (const EObjectStream& error) {
    throw EObjectStream(path + ": " + error.what());
  }
  auto* factory = dynamic_cast<TWindowFactory*>(root.get());
  if (factory == nullptr) throw EObjectStream(path + ": the root is a " + stream.ClassName + ", not a window factory");
  root.release();
  return std::unique_ptr<TWindowFactory>(factory);
}

}  // namespace tarnwell
