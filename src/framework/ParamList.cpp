#include "framework/ParamList.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "framework/Clock.h"

namespace tarnwell {
namespace {

const char* TypeName(TParamType type) {
  switch (type) {
    case ptEmpty: return "Empty";
    case ptDouble: return "Double";
    case ptDate: return "Date";
    case ptBoolean: return "Boolean";
    case ptInterface: return "Interface";
    case ptString: return "String";
    default: return "Integer";
  }
}

[[noreturn]] void CannotConvert(TParamType from, const char* to) {
  throw EConversionError(std::string("Could not convert variant of type (") + TypeName(from) + ") into type (" +
                         to + ")");
}

// The whole text, blanks around it allowed, must be a number.
bool ParseNumber(const std::string& text, double& out) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  out = std::strtod(begin, &end);
  if (end == begin || errno == ERANGE) return false;
  while (*end == ' ' || *end == '\t') ++end;
  return *end == '\0';
}

}  // namespace

TParamValue TParamValue::OfIntegerType(TParamType type, std::int64_t value) {
  TParamValue v(value);
  v.type_ = type;
  return v;
}

TParamValue TParamValue::Date(double dateTime) {
  TParamValue v(dateTime);
  v.type_ = ptDate;
  return v;
}

bool TParamValue::IsInteger() const {
  switch (type_) {
    case ptSmallInt:
    case ptInteger:
    case ptShortInt:
    case ptByte:
    case ptWord:
    case ptLongWord:
    case ptInt64:
      return true;
    default:
      return false;
  }
}

std::int64_t TParamValue::AsInt64() const {
  if (IsInteger()) return std::get<std::int64_t>(value_);
  switch (type_) {
    case ptEmpty: return 0;
    case ptBoolean: return std::get<bool>(value_) ? -1 : 0;  // true is -1, as variants have it
    case ptDouble:
    case ptDate: return static_cast<std::int64_t>(std::nearbyint(std::get<double>(value_)));
    case ptString: {
      double number = 0;
      if (!ParseNumber(std::get<std::string>(value_), number)) CannotConvert(type_, "Integer");
      return static_cast<std::int64_t>(std::nearbyint(number));
    }
    default: CannotConvert(type_, "Integer");
  }
}

std::int32_t TParamValue::AsInteger() const { return static_cast<std::int32_t>(AsInt64()); }

double TParamValue::AsDouble() const {
  if (IsInteger()) return static_cast<double>(std::get<std::int64_t>(value_));
  switch (type_) {
    case ptEmpty: return 0;
    case ptBoolean: return std::get<bool>(value_) ? -1 : 0;
    case ptDouble:
    case ptDate: return std::get<double>(value_);
    case ptString: {
      double number = 0;
      if (!ParseNumber(std::get<std::string>(value_), number)) CannotConvert(type_, "Double");
      return number;
    }
    default: CannotConvert(type_, "Double");
  }
}

bool TParamValue::AsBoolean() const {
  switch (type_) {
    case ptEmpty: return false;
    case ptBoolean: return std::get<bool>(value_);
    case ptString: {
      const std::string& text = std::get<std::string>(value_);
      if (text == "True" || text == "true" || text == "TRUE") return true;
      if (text == "False" || text == "false" || text == "FALSE") return false;
      double number = 0;
      if (!ParseNumber(text, number)) CannotConvert(type_, "Boolean");
      return number != 0;
    }
    case ptInterface: CannotConvert(type_, "Boolean");
    default: return AsDouble() != 0;
  }
}

std::string TParamValue::AsString() const {
  if (IsInteger()) return std::to_string(std::get<std::int64_t>(value_));
  switch (type_) {
    case ptEmpty: return {};
    case ptString: return std::get<std::string>(value_);
    case ptBoolean: return std::get<bool>(value_) ? "True" : "False";
    case ptDouble: {
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "%.15g", std::get<double>(value_));
      return buffer;
    }
    case ptDate: {
      double t = std::get<double>(value_);
      std::string text = FormatLogStamp(t);
      if (t == std::floor(t)) text.resize(10);  // a date without time of day shows the date alone
      return text;
    }
    default: CannotConvert(type_, "String");
  }
}

bool TParamValue::operator==(const TParamValue& other) const {
  return type_ == other.type_ && value_ == other.value_;
}

const TPlaceHolderRef& SymbolNamePlaceHolder() {
  static const TPlaceHolderRef* symbol = new TPlaceHolderRef(std::make_shared<TPlaceHolder>(kSymbolName));
  return *symbol;
}

const TParamValue& Resolve(const TParamValue& value) {
  const TPlaceHolderRef* placeHolder = value.PlaceHolder();
  return placeHolder ? (*placeHolder)->GetValue() : value;
}

}  // namespace tarnwell
