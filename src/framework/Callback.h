#pragma once
// Bound methods: the callbacks of links and jobs (no arguments) and the handlers of broadcasts. Each knows
// the object it calls (for identity and for failure texts) and, for published methods, the method's name,
// so a failure can say "TCandles($0123ABCD), Update" instead of an anonymous address.
//
// Publish a method by binding it with TW_METHOD(object, Method); anything else callable may be wrapped with
// Function(), which names it "Unknown($<code address>)".

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "framework/Errors.h"

namespace tarnwell {

template <class... Args>
class TBoundMethod {
 public:
  using Thunk = void (*)(void* target, Args...);

  TBoundMethod() = default;

  /// A published method of an object: failure texts show the object's class and address and `name`.
  template <auto Method, class T>
  static TBoundMethod Bind(T* object, const char* name) {
    TBoundMethod m;
    m.target_ = const_cast<std::remove_const_t<T>*>(object);
    m.thunk_ = [](void* target, Args... args) {
      (static_cast<T*>(target)->*Method)(std::forward<Args>(args)...);
    };
    m.name_ = name;
    m.type_ = &DynamicType<T>;
    return m;
  }

  /// Any callable. `object`, when given, is the identity shown in failure texts; the method is unnamed.
  template <class Fn>
  static TBoundMethod Function(Fn&& fn, const void* object = nullptr,
                               const std::type_info* objectType = nullptr) {
    TBoundMethod m;
    auto holder =
        std::make_shared<TFunctionHolder>(TFunctionHolder{std::forward<Fn>(fn), object, objectType});
    m.target_ = &holder->function;
    m.holder_ = std::move(holder);
    m.thunk_ = [](void* target, Args... args) {
      (*static_cast<std::function<void(Args...)>*>(target))(std::forward<Args>(args)...);
    };
    return m;
  }

  /// Assigned when there is code to call.
  bool IsAssigned() const { return thunk_ != nullptr; }
  explicit operator bool() const { return IsAssigned(); }

  void operator()(Args... args) const { thunk_(target_, std::forward<Args>(args)...); }
  /// The two parts of a call, for callers that keep them next to each other: thunk(target, args...).
  Thunk GetThunk() const { return thunk_; }
  void* Target() const { return target_; }

  /// The object called, or null.
  const void* Object() const { return holder_ ? Holder().object : target_; }
  /// The published name, or null.
  const char* Name() const { return name_; }

  /// "<Class>($<address>), <method>": the callback's part of failure texts.
  std::string Describe() const {
    const void* object = Object();
    std::string objectPart = "Nil";
    if (object) objectPart = ObjectClassName(object) + "($" + HexAddress(object) + ")";
    std::string methodPart = "Nil";
    if (name_ && object) {
      methodPart = name_;
    } else if (thunk_) {
      methodPart = "Unknown($" + HexAddress(reinterpret_cast<const void*>(thunk_)) + ")";
    }
    return objectPart + ", " + methodPart;
  }

 private:
  template <class T>
  static const std::type_info& DynamicType(const void* object) {
    if constexpr (std::is_polymorphic_v<T>) {
      return typeid(*static_cast<const T*>(object));
    } else {
      return typeid(T);
    }
  }

  // What a Function keeps besides its code: the identity shown in failure texts.
  struct TFunctionHolder {
    std::function<void(Args...)> function;
    const void* object;
    const std::type_info* staticType;
  };
  const TFunctionHolder& Holder() const { return *static_cast<const TFunctionHolder*>(holder_.get()); }

  std::string ObjectClassName(const void* object) const {
    if (type_) return ClassNameOf(type_(object));
    if (holder_ && Holder().staticType) return ClassNameOf(*Holder().staticType);
    return "TObject";
  }

  // Kept small: every link and every queued job holds one. A published method's object is its target; a
  // Function's identity lives in its holder.
  void* target_ = nullptr;
  Thunk thunk_ = nullptr;
  const char* name_ = nullptr;
  const std::type_info& (*type_)(const void*) = nullptr;
  std::shared_ptr<void> holder_;
};

using TCallback = TBoundMethod<>;

/// "(<exception class>, <message>) raised in (<callback>)", with " at $<address>" for a fault: how the
/// failure of a callback is reported.
inline std::string DescribeCallbackFailure(const TCallback& callback, std::exception_ptr error) {
  TExceptionInfo info = DescribeException(error);
  std::string description;
  try {
    description = callback.Describe();
  } catch (const std::exception& e) {
    description = e.what();
  }
  std::string text = "(" + info.className + ", " + info.message + ") raised in (" + description + ")";
  if (info.faultAddress) text += " at $" + HexAddress(info.faultAddress);
  return text;
}

/// Binds a published method: TW_METHOD(this, Update) calls this->Update() and names it "Update".
#define TW_METHOD(object, Method) \
  ::tarnwell::TCallback::Bind<&std::remove_cvref_t<decltype(*(object))>::Method>((object), #Method)

}  // namespace tarnwell
