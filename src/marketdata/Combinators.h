#pragma once
// Combinator nodes: generic nodes whose parameters are other generic nodes' factories. Windows build derived
// columns from them (a difference, a ratio, the value before the last change, a flashing cell, a colour
// chosen by sign), and some named values are formulas over them. Every field below is touched only on the
// data node thread, or by the user interface thread while the data node thread waits for a screen beat.

#include <cstdint>

#include "framework/GenericNode.h"
#include "framework/Timers.h"

namespace tarnwell {

/// The node of a factory parameter and a new link on it to `callback`, adopted as an auto link of `owner`.
/// A parameter that is not a factory fails "Assertion failure".
TGenericDataNode* LinkInput(TDataNode& owner, const TParamValue& param, TCallback callback);

/// Two inputs and a result computed lazily: a notification of either input only marks the result stale and
/// passes the notification on; the next read recomputes.
class TTwoDoubleInputs : public TGenericDataNode {
 public:
  /// (First, Second): two factories. Public so that the descendants can inherit it.
  explicit TTwoDoubleInputs(const TParamList& params);
  bool IsValid() override;

 protected:
  /// Computes the result from both inputs' values; false when there is none.
  virtual bool Compute(double first, double second) = 0;
  /// Recomputes when stale; returns whether there is a value.
  bool Evaluate();

 private:
  void InputChanged();

  TGenericDataNode* first_;
  TGenericDataNode* second_;
  bool clean_ = false;
  bool hasValue_ = false;
};

class TTwoDoubleInputsDouble : public TTwoDoubleInputs {
 public:
  /// 0 while not valid.
  double GetDouble() override { return Evaluate() ? result_ : 0; }
  using TTwoDoubleInputs::TTwoDoubleInputs;

 protected:
  double result_ = 0;
};

class TTwoDoubleInputsBoolean : public TTwoDoubleInputs {
 public:
  /// False while not valid.
  bool GetBoolean() override { return Evaluate() && result_; }
  using TTwoDoubleInputs::TTwoDoubleInputs;

 protected:
  bool result_ = false;
};

/// (First, Second): first + second.
class TAdd final : public TTwoDoubleInputsDouble {
 public:
  static constexpr const char* kClassName = "TAdd";
  using TTwoDoubleInputsDouble::TTwoDoubleInputsDouble;

 protected:
  bool Compute(double first, double second) override;
};

/// (First, Second): first − second.
class TSubtract final : public TTwoDoubleInputsDouble {
 public:
  static constexpr const char* kClassName = "TSubtract";
  using TTwoDoubleInputsDouble::TTwoDoubleInputsDouble;

 protected:
  bool Compute(double first, double second) override;
};

/// (First, Second): first ÷ second; no value when second is 0.
class TDivide final : public TTwoDoubleInputsDouble {
 public:
  static constexpr const char* kClassName = "TDivide";
  using TTwoDoubleInputsDouble::TTwoDoubleInputsDouble;

 protected:
  bool Compute(double first, double second) override;
};

/// (First, Second): first < second.
class TLessThan final : public TTwoDoubleInputsBoolean {
 public:
  static constexpr const char* kClassName = "TLessThan";
  using TTwoDoubleInputsBoolean::TTwoDoubleInputsBoolean;

 protected:
  bool Compute(double first, double second) override;
};

/// (Low, Value, High): where the value stands between low and high, 0 at low and 1 at high; valid when all
/// three are valid and high is above low.
class TPositionInRange final : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TPositionInRange";
  explicit TPositionInRange(const TParamList& params);
  /// 0.5 when the range is empty or the result is not a number.
  double GetDouble() override;
  bool IsValid() override;

 private:
  TGenericDataNode* low_;
  TGenericDataNode* value_;
  TGenericDataNode* high_;
};

/// (Source): the source's integer as a double.
class TIntegerToDouble final : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TIntegerToDouble";
  explicit TIntegerToDouble(const TParamList& params);
  double GetDouble() override { return source_->IsValid() ? source_->GetInteger() : 0; }
  bool IsValid() override { return source_->IsValid(); }

 private:
  TGenericDataNode* source_;
};

/// (Source): the source's value before its latest notification; valid when that earlier value was.
/// The source is connected on the data node thread, so its first value is read where it is written.
class TPreviousValue final : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TPreviousValue";
  explicit TPreviousValue(const TParamList& params);
  double GetDouble() override { return previousValid_ ? previous_ : 0; }
  bool IsValid() override { return previousValid_; }

 private:
  void Connect();
  void SourceChanged();

  TFactoryRef sourceFactory_;  // handed to the data node thread by the Connect job, dropped there
  TGenericDataNode* source_ = nullptr;
  double previous_ = 0;
  bool previousValid_ = false;
  double current_ = 0;
  bool currentValid_ = false;
};

/// (Source): the source's value, passing on only notifications that change it (or its validity), so that a
/// quote restated with the same bid does not count as a change.
class TIgnoreNullChanges final : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TIgnoreNullChanges";
  explicit TIgnoreNullChanges(const TParamList& params);
  double GetDouble() override { return value_; }
  bool IsValid() override { return valid_; }

 private:
  void Connect();
  void SourceChanged();

  TFactoryRef sourceFactory_;  // handed to the data node thread by the Connect job, dropped there
  TGenericDataNode* source_ = nullptr;
  double value_ = 0;
  bool valid_ = false;
};

/// (Source): a signal that is on for 300 ms and off for 200 ms once per notification of the source, so a
/// cell flashes once per change. A burst counts at most ten flashes. Always valid.
class TVisiblePulses final : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TVisiblePulses";
  static constexpr int kMaxPending = 10;
  static constexpr int kOnMs = 300;
  static constexpr int kOffMs = 200;

  explicit TVisiblePulses(const TParamList& params);
  ~TVisiblePulses() override;
  bool GetBoolean() override { return on_; }
  bool IsValid() override { return true; }

 private:
  void SourceChanged();
  void Step();
  /// Runs Step on the data node thread once the wall clock reaches nextTime_.
  void ScheduleStep();

  TDateTime nextTime_ = 0;  // 0 while idle
  TTimerEventRef timer_;    // the pending step; cancelled with the node
  int pending_ = 0;
  bool on_ = false;
};

/// (Value, Negative, Zero, Positive): the colour node chosen by the sign of the value (an invalid value
/// counts as zero). Validity and colour are the chosen node's.
class TTriColor final : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TTriColor";
  explicit TTriColor(const TParamList& params);
  std::uint32_t GetColor() override { return Chosen()->GetColor(); }
  bool IsValid() override { return Chosen()->IsValid(); }

 private:
  TGenericDataNode* Chosen();

  TGenericDataNode* value_;
  TGenericDataNode* negative_;
  TGenericDataNode* zero_;
  TGenericDataNode* positive_;
};

}  // namespace tarnwell
