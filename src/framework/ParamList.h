#pragma once
// Parameter values of generic node factories: a tagged value whose type code appears in node keys, with the
// usual conversions between numbers, text and booleans.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace tarnwell {

class IGenericDataNodeFactory;
class IPlaceHolder;
using TFactoryRef = std::shared_ptr<IGenericDataNodeFactory>;
using TPlaceHolderRef = std::shared_ptr<const IPlaceHolder>;

/// Type codes of parameter values; they appear in node keys.
enum TParamType : int {
  ptEmpty = 0,
  ptSmallInt = 2,  ///< 16-bit signed
  ptInteger = 3,   ///< 32-bit signed
  ptDouble = 5,
  ptDate = 7,
  ptBoolean = 11,
  ptInterface = 13,  ///< a factory or a place holder
  ptShortInt = 16,   ///< 8-bit signed
  ptByte = 17,       ///< 8-bit unsigned
  ptWord = 18,       ///< 16-bit unsigned
  ptLongWord = 19,   ///< 32-bit unsigned
  ptInt64 = 20,
  ptString = 256,
};

class TParamValue {
 public:
  TParamValue() = default;
  TParamValue(int value) : type_(ptInteger), value_(std::int64_t{value}) {}
  TParamValue(std::int64_t value) : type_(ptInt64), value_(value) {}
  TParamValue(double value) : type_(ptDouble), value_(value) {}
  TParamValue(bool value) : type_(ptBoolean), value_(value) {}
  TParamValue(std::string value) : type_(ptString), value_(std::move(value)) {}
  TParamValue(const char* value) : TParamValue(std::string(value)) {}
  TParamValue(TFactoryRef factory) : type_(ptInterface), value_(std::move(factory)) {}
  TParamValue(TPlaceHolderRef placeHolder) : type_(ptInterface), value_(std::move(placeHolder)) {}
  /// An integer of one of the other integer codes (16-bit, 8-bit, unsigned ...).
  static TParamValue OfIntegerType(TParamType type, std::int64_t value);
  static TParamValue Date(double dateTime);

  TParamType Type() const { return type_; }
  bool IsEmpty() const { return type_ == ptEmpty; }
  bool IsInteger() const;

  /// The factory or place holder held, or null.
  const TFactoryRef* Factory() const { return std::get_if<TFactoryRef>(&value_); }
  const TPlaceHolderRef* PlaceHolder() const { return std::get_if<TPlaceHolderRef>(&value_); }

  // Conversions. A string holding a number converts to it; booleans convert to -1 and 0 and from any
  // non-zero number; empty converts to 0, "" and false. A value that cannot be converted throws
  // EConversionError naming both types.
  std::int32_t AsInteger() const;
  std::int64_t AsInt64() const;
  double AsDouble() const;
  bool AsBoolean() const;
  /// The value as text: strings as they are, doubles in general form with 15 significant digits, booleans
  /// "True" or "False", empty as nothing. Interfaces cannot be turned into text.
  std::string AsString() const;

  /// Same type and same value (interfaces: the same object).
  bool operator==(const TParamValue& other) const;

 private:
  TParamType type_ = ptEmpty;
  std::variant<std::monostate, std::int64_t, double, bool, std::string, TFactoryRef, TPlaceHolderRef> value_;
};

using TParamList = std::vector<TParamValue>;

class EConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// A named hole in a factory's parameters, filled by SetParam; it stands for its default value until then.
class IPlaceHolder {
 public:
  virtual ~IPlaceHolder() = default;
  virtual const TParamValue& GetValue() const = 0;
  virtual const std::string& GetName() const = 0;
};

class TPlaceHolder final : public IPlaceHolder {
 public:
  explicit TPlaceHolder(std::string name, TParamValue defaultValue = {})
      : default_(std::move(defaultValue)), name_(std::move(name)) {}
  const TParamValue& GetValue() const override { return default_; }
  const std::string& GetName() const override { return name_; }

 private:
  const TParamValue default_;
  const std::string name_;
};

/// The process-wide "Symbol Name" place holder, without default.
const TPlaceHolderRef& SymbolNamePlaceHolder();
inline constexpr const char* kSymbolName = "Symbol Name";

/// A place holder parameter stands for its default value; anything else for itself.
const TParamValue& Resolve(const TParamValue& value);

}  // namespace tarnwell
