#pragma once
// Generic data nodes: nodes with uniform typed getters, built by factories from parameter lists and shared
// by a key made of the class name and the resolved parameters. A factory can be registered under a name,
// cloned, filled in (SetParam replaces a place holder such as "Symbol Name") and asked for its node.
//
// A node class T derives from TGenericDataNode and provides
//   static constexpr const char* kClassName;   its name in keys
//   explicit T(const TParamList& params);      checks the count first ("Expected params: (...)")
// and overrides the getters it publishes. Which getters a class publishes is read off its type: a getter
// counts when the class (or a base between it and TGenericDataNode) overrides it.

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "framework/DataNode.h"
#include "framework/ParamList.h"

namespace tarnwell {

class TGenericDataNode;

/// The published getters, in the order that decides a node's data type.
enum TGetter : unsigned { gtInteger = 1, gtDouble = 2, gtBoolean = 4, gtString = 8, gtColor = 16 };

/// What a factory knows of a node class: its name, how to build one, which getters it publishes.
struct TGenericNodeClass {
  const char* name;
  TGenericDataNode* (*create)(const TParamList& params);
  unsigned publishedGetters;
  bool threadSafe;  ///< a thread-safe copy node: GetThreadSafe of its factory is the factory itself
};

class TGenericDataNode : public TDataNode {
 public:
  explicit TGenericDataNode(bool permanent = false) : TDataNode(permanent) {}
  ~TGenericDataNode() override;

  virtual std::int32_t GetInteger();
  virtual double GetDouble();
  virtual bool GetBoolean();
  virtual std::string GetString();
  /// 0x00BBGGRR.
  virtual std::uint32_t GetColor();
  /// The node currently has a value.
  virtual bool IsValid() = 0;

  /// The factory key under which the node is registered; empty for a node made outside a factory.
  /// The key it is registered under; empty when it is not registered.
  const std::string& Key() const;

  /// Fails with `expected` (such as "Expected params: (Symbol)") unless there are `count` parameters.
  static void CheckParamCount(const TParamList& params, std::size_t count, const char* expected);

  /// The class descriptor of T, made once.
  template <class T>
  static const TGenericNodeClass& ClassOf();

 private:
  friend class TGenericDataNodeFactory;
  void LeaveRegistry() override;

  TRegisteredKey key_;
};

/// Marks the thread-safe copy classes, whose factories are their own thread-safe form.
struct TThreadSafeMarker {};

template <class T>
const TGenericNodeClass& TGenericDataNode::ClassOf() {
  static_assert(std::is_base_of_v<TGenericDataNode, T>, "generic node classes derive from TGenericDataNode");
  // A getter is published when the class has an implementation of its own, not TGenericDataNode's.
  constexpr unsigned published =
      (std::is_same_v<decltype(&T::GetInteger), std::int32_t (TGenericDataNode::*)()> ? 0u : gtInteger) |
      (std::is_same_v<decltype(&T::GetDouble), double (TGenericDataNode::*)()> ? 0u : gtDouble) |
      (std::is_same_v<decltype(&T::GetBoolean), bool (TGenericDataNode::*)()> ? 0u : gtBoolean) |
      (std::is_same_v<decltype(&T::GetString), std::string (TGenericDataNode::*)()> ? 0u : gtString) |
      (std::is_same_v<decltype(&T::GetColor), std::uint32_t (TGenericDataNode::*)()> ? 0u : gtColor);
  static const TGenericNodeClass descriptor{
      T::kClassName,
      [](const TParamList& params) -> TGenericDataNode* { return TDataNode::Create<T>(params); },
      published,
      std::is_base_of_v<TThreadSafeMarker, T>,
  };
  return descriptor;
}

class IGenericDataNodeFactory {
 public:
  virtual ~IGenericDataNodeFactory() = default;
  /// A copy whose factory parameters are cloned too; place holders and other values are shared.
  virtual TFactoryRef Clone() const = 0;
  /// Replaces every place holder named `name`, at any depth, by `value`. Changes this factory: clone a
  /// registered factory before filling it.
  virtual void SetParam(const std::string& name, const TParamValue& value) = 0;
  /// The shared node (made on first use) and a new inactive link on it that the caller owns.
  virtual std::pair<TGenericDataNode*, TDataNodeLink*> GetNode(TCallback callback = {}) = 0;
  virtual std::string GetKey() const = 0;
  /// A factory for a copy of this factory's node that the user interface thread may read.
  virtual TFactoryRef GetThreadSafe() = 0;
};

class TGenericDataNodeFactory final : public IGenericDataNodeFactory,
                                      public std::enable_shared_from_this<TGenericDataNodeFactory> {
 public:
  TGenericDataNodeFactory(const TGenericNodeClass& nodeClass, TParamList params)
      : params_(std::move(params)), nodeClass_(&nodeClass) {}

  /// A factory of class T with the given parameters.
  template <class T, class... P>
  static TFactoryRef Make(P&&... params) {
    return std::make_shared<TGenericDataNodeFactory>(TGenericDataNode::ClassOf<T>(),
                                                     TParamList{TParamValue(std::forward<P>(params))...});
  }
  template <class T>
  static TFactoryRef MakeWithList(TParamList params) {
    return std::make_shared<TGenericDataNodeFactory>(TGenericDataNode::ClassOf<T>(), std::move(params));
  }
  /// A factory of class T whose one parameter is the "Symbol Name" place holder.
  template <class T>
  static TFactoryRef MakeForSymbol() {
    return Make<T>(SymbolNamePlaceHolder());
  }

  TFactoryRef Clone() const override;
  void SetParam(const std::string& name, const TParamValue& value) override;
  std::pair<TGenericDataNode*, TDataNodeLink*> GetNode(TCallback callback = {}) override;
  std::string GetKey() const override;
  TFactoryRef GetThreadSafe() override;

  const TParamList& Params() const { return params_; }
  const TGenericNodeClass& NodeClass() const { return *nodeClass_; }

 private:
  TParamList params_;
  const TGenericNodeClass* nodeClass_;
};

/// Registers a factory under a name; a name already present keeps its first factory. Module
/// initialisation only: the registry has no lock.
void RegisterFactory(const std::string& name, TFactoryRef factory);
/// Registers class T under a name with the "Symbol Name" place holder as its first parameter, followed by the
/// type's constants.
template <class T, class... P>
void RegisterClass(const std::string& name, P... constants) {
  RegisterFactory(name, TGenericDataNodeFactory::Make<T>(SymbolNamePlaceHolder(), constants...));
}
/// The registered factory, or null; with `mustExist` a missing name fails "Cannot find factory:  "name"".
TFactoryRef FindFactory(const std::string& name, bool mustExist = true);

/// The node that the registered factory `name` makes for a symbol (its "Symbol Name" filled in) and a new
/// inactive link that the caller owns. Fails like FindFactory when the name is not registered.
std::pair<TGenericDataNode*, TDataNodeLink*> FindForSymbol(const std::string& name, const std::string& symbol,
                                                           TCallback callback = {});

/// Every registered name, sorted.
std::vector<std::string> RegisteredFactoryNames();

/// Live generic nodes (diagnostics and tests).
std::int32_t GenericNodeCount();

}  // namespace tarnwell
