#pragma once
// Generic nodes every part of the system uses: constants, and thread-safe copies that give the user
// interface thread a value that changes only on the screen beat.

#include <atomic>

#include "framework/GenericNode.h"
#include "framework/ScreenUpdates.h"

namespace tarnwell {

/// A constant from its one parameter; valid when the parameter is not empty.
class TConstantNodeBase : public TGenericDataNode {
 public:
  explicit TConstantNodeBase(const TParamList& params);
  bool IsValid() override { return !value_.IsEmpty(); }

 protected:
  TParamValue value_;
};

class TConstantStringDataNode : public TConstantNodeBase {
 public:
  static constexpr const char* kClassName = "TConstantStringDataNode";
  using TConstantNodeBase::TConstantNodeBase;
  std::string GetString() override { return value_.AsString(); }
};

class TConstantDoubleDataNode : public TConstantNodeBase {
 public:
  static constexpr const char* kClassName = "TConstantDoubleDataNode";
  using TConstantNodeBase::TConstantNodeBase;
  double GetDouble() override { return value_.AsDouble(); }
};

class TConstantColorDataNode : public TConstantNodeBase {
 public:
  static constexpr const char* kClassName = "TConstantColorDataNode";
  using TConstantNodeBase::TConstantNodeBase;
  std::uint32_t GetColor() override { return static_cast<std::uint32_t>(value_.AsInteger()); }
};

class TConstantIntegerDataNode : public TConstantNodeBase {
 public:
  static constexpr const char* kClassName = "TConstantIntegerDataNode";
  using TConstantNodeBase::TConstantNodeBase;
  std::int32_t GetInteger() override { return value_.AsInteger(); }
};

/// The part of a thread-safe copy that does not depend on the value's type. The copy is made on the user
/// interface thread during the screen beat, while the data node thread waits, and only when the source
/// changed since the last beat.
class TThreadSafeDataNode : public TGenericDataNode, public TThreadSafeMarker {
 public:
  /// Valid as the source was at the last copy; false before the first beat after connecting.
  bool IsValid() override { return sourceValid_; }

 protected:
  /// One parameter, the source's factory ("Assertion failure" otherwise); connects on the data node thread.
  explicit TThreadSafeDataNode(const TParamList& params);
  /// Call at the end of the most derived constructor, once the copy can be made.
  void StartConnecting() { RunOnDataNodeThread(1, TW_METHOD(this, Connect)); }

  /// Reads the source's validity and, when valid, its value into the copy. User interface thread.
  virtual void CopyValue() = 0;
  TGenericDataNode* source_ = nullptr;
  bool sourceValid_ = false;

 private:
  void Connect();
  void MarkStale() { upToDate_.store(false, std::memory_order_relaxed); }
  void OnScreenTick();

  std::atomic<bool> upToDate_{false};  // cleared on the data node thread, set on the interface thread
  TFactoryRef sourceFactory_;          // held until connected
};

/// A thread-safe copy of one getter of the source.
template <class Value, Value (TGenericDataNode::*Getter)()>
class TThreadSafeValueNode : public TThreadSafeDataNode {
 public:
  explicit TThreadSafeValueNode(const TParamList& params) : TThreadSafeDataNode(params) { StartConnecting(); }

 protected:
  void CopyValue() override {
    sourceValid_ = source_->IsValid();
    if (sourceValid_) value_ = (source_->*Getter)();
  }
  Value value_{};
};

class TThreadSafeIntegerDataNode : public TThreadSafeValueNode<std::int32_t, &TGenericDataNode::GetInteger> {
 public:
  static constexpr const char* kClassName = "TThreadSafeIntegerDataNode";
  using TThreadSafeValueNode::TThreadSafeValueNode;
  std::int32_t GetInteger() override { return value_; }
};

class TThreadSafeDoubleDataNode : public TThreadSafeValueNode<double, &TGenericDataNode::GetDouble> {
 public:
  static constexpr const char* kClassName = "TThreadSafeDoubleDataNode";
  using TThreadSafeValueNode::TThreadSafeValueNode;
  double GetDouble() override { return value_; }
};

class TThreadSafeBooleanDataNode : public TThreadSafeValueNode<bool, &TGenericDataNode::GetBoolean> {
 public:
  static constexpr const char* kClassName = "TThreadSafeBooleanDataNode";
  using TThreadSafeValueNode::TThreadSafeValueNode;
  bool GetBoolean() override { return value_; }
};

class TThreadSafeStringDataNode : public TThreadSafeValueNode<std::string, &TGenericDataNode::GetString> {
 public:
  static constexpr const char* kClassName = "TThreadSafeStringDataNode";
  using TThreadSafeValueNode::TThreadSafeValueNode;
  std::string GetString() override { return value_; }
};

class TThreadSafeColorDataNode : public TThreadSafeValueNode<std::uint32_t, &TGenericDataNode::GetColor> {
 public:
  static constexpr const char* kClassName = "TThreadSafeColorDataNode";
  using TThreadSafeValueNode::TThreadSafeValueNode;
  std::uint32_t GetColor() override { return value_; }
};

}  // namespace tarnwell
