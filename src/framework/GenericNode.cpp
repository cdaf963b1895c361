#include "framework/GenericNode.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "framework/DebugLog.h"
#include "framework/StandardGenericNodes.h"

namespace tarnwell {
namespace {

// Keyed by factory key; guarded by the registry lock of the data nodes.
tStringHashTable<TGenericDataNode*>& GenericRegistry() {
  static auto* registry = new tStringHashTable<TGenericDataNode*>;
  return *registry;
}

// Sorted by name for binary search; filled during module initialisation, read afterwards.
std::vector<std::pair<std::string, TFactoryRef>>& FactoryRegistry() {
  static auto* registry = new std::vector<std::pair<std::string, TFactoryRef>>;
  return *registry;
}

std::string ParamKey(const TParamValue& param) {
  const TParamValue& value = Resolve(param);
  if (value.IsInteger()) return "int : " + value.AsString();
  std::string text = std::to_string(static_cast<int>(value.Type())) + " : ";
  if (const TFactoryRef* factory = value.Factory()) return text + (*factory)->GetKey();
  return text + value.AsString();
}

}  // namespace

// --- TGenericDataNode ------------------------------------------------------------------------------------

TGenericDataNode::~TGenericDataNode() {
  // Never registered (its construction failed or it was made outside a factory), or freed and out already.
  if (!key_.InTable()) return;
  std::lock_guard guard(RegistryLock());
  LeaveRegistry();
}

void TGenericDataNode::LeaveRegistry() { key_.Leave(GenericRegistry(), "generic node key"); }

const std::string& TGenericDataNode::Key() const { return key_.Text(); }

std::int32_t TGenericDataNode::GetInteger() {
  AssertionFailure("GetInteger not defined.");
}
double TGenericDataNode::GetDouble() {
  AssertionFailure("GetDouble not defined.");
}
bool TGenericDataNode::GetBoolean() {
  AssertionFailure("GetBoolean not defined.");
}
std::string TGenericDataNode::GetString() {
  AssertionFailure("GetString not defined.");
}
std::uint32_t TGenericDataNode::GetColor() {
  AssertionFailure("GetColor not defined.");
}

void TGenericDataNode::CheckParamCount(const TParamList& params, std::size_t count, const char* expected) {
  if (params.size() != count) AssertionFailure(expected);
}

// --- TGenericDataNodeFactory -----------------------------------------------------------------------------

TFactoryRef TGenericDataNodeFactory::Clone() const {
  TParamList params;
  params.reserve(params_.size());
  for (const TParamValue& p : params_) {
    const TFactoryRef* factory = p.Factory();
    params.push_back(factory ? TParamValue((*factory)->Clone()) : p);
  }
  return std::make_shared<TGenericDataNodeFactory>(*nodeClass_, std::move(params));
}

void TGenericDataNodeFactory::SetParam(const std::string& name, const TParamValue& value) {
  for (TParamValue& p : params_) {
    if (const TFactoryRef* factory = p.Factory()) {
      (*factory)->SetParam(name, value);
      continue;
    }
    const TPlaceHolderRef* placeHolder = p.PlaceHolder();
    if (placeHolder && (*placeHolder)->GetName() == name) p = value;
  }
}

std::string TGenericDataNodeFactory::GetKey() const {
  std::string key = nodeClass_->name;
  key += ";(";
  for (std::size_t i = 0; i < params_.size(); ++i) {
    if (i > 0) key += ", ";
    key += ParamKey(params_[i]);
  }
  key += ")";
  return key;
}

std::pair<TGenericDataNode*, TDataNodeLink*> TGenericDataNodeFactory::GetNode(TCallback callback) {
  std::string key = GetKey();
  std::lock_guard guard(RegistryLock());
  TGenericDataNode* node = GenericRegistry().Get(key);
  if (!node) {
    TParamList resolved;
    resolved.reserve(params_.size());
    for (const TParamValue& p : params_) resolved.push_back(Resolve(p));
    node = nodeClass_->create(resolved);
    GenericRegistry().Put(key, node);
    node->key_.Registered(GenericRegistry().StoredKey(key));
  }
  return {node, node->CreateLink(std::move(callback))};
}

TFactoryRef TGenericDataNodeFactory::GetThreadSafe() {
  if (nodeClass_->threadSafe) return shared_from_this();
  const unsigned published = nodeClass_->publishedGetters;
  TFactoryRef self = shared_from_this();
  if (published & gtInteger) return MakeWithList<TThreadSafeIntegerDataNode>({self});
  if (published & gtDouble) return MakeWithList<TThreadSafeDoubleDataNode>({self});
  if (published & gtBoolean) return MakeWithList<TThreadSafeBooleanDataNode>({self});
  if (published & gtString) return MakeWithList<TThreadSafeStringDataNode>({self});
  if (published & gtColor) return MakeWithList<TThreadSafeColorDataNode>({self});
  AssertionFailure(std::string("Unknown data type:  ") + nodeClass_->name);
}

// --- Registry --------------------------------------------------------------------------------------------

void RegisterFactory(const std::string& name, TFactoryRef factory) {
  auto& registry = FactoryRegistry();
  auto at = std::lower_bound(registry.begin(), registry.end(), name,
                             [](const auto& entry, const std::string& n) { return entry.first < n; });
  if (at != registry.end() && at->first == name) return;  // the first registration stays
  registry.insert(at, {name, std::move(factory)});
}

TFactoryRef FindFactory(const std::string& name, bool mustExist) {
  const auto& registry = FactoryRegistry();
  auto at = std::lower_bound(registry.begin(), registry.end(), name,
                             [](const auto& entry, const std::string& n) { return entry.first < n; });
  if (at != registry.end() && at->first == name) return at->second;
  if (mustExist) AssertionFailure("Cannot find factory:  \"" + name + "\"");
  return nullptr;
}

std::pair<TGenericDataNode*, TDataNodeLink*> FindForSymbol(const std::string& name, const std::string& symbol,
                                                           TCallback callback) {
  TFactoryRef factory = FindFactory(name)->Clone();
  factory->SetParam(kSymbolName, symbol);
  return factory->GetNode(std::move(callback));
}

std::vector<std::string> RegisteredFactoryNames() {
  std::vector<std::string> names;
  for (const auto& [name, factory] : FactoryRegistry()) names.push_back(name);
  return names;
}

std::int32_t GenericNodeCount() {
  std::lock_guard guard(RegistryLock());
  return GenericRegistry().Count();
}

}  // namespace tarnwell
