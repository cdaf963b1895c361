#pragma once
// Failures are exceptions. Programming errors raise EAssertionFailed with a fixed text.

#include <exception>
#include <stdexcept>
#include <string>
#include <typeinfo>

namespace tarnwell {

class EAssertionFailed : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

/// A processor fault that knows where it happened; texts show the address as 8+ upper-case hex digits.
class EFaultWithAddress : public std::runtime_error {
 public:
  EFaultWithAddress(const std::string& message, const void* address)
      : std::runtime_error(message), address_(address) {}
  const void* Address() const { return address_; }

 private:
  const void* address_;
};

/// Throws EAssertionFailed with the text when the condition is false.
inline void Assert(bool condition, const char* text = "Assertion failure") {
  if (!condition) throw EAssertionFailed(text);
}
[[noreturn]] inline void AssertionFailure(const std::string& text = "Assertion failure") {
  throw EAssertionFailed(text);
}

/// Readable class name of a type: demangled, without this project's namespace.
std::string ClassNameOf(const std::type_info& type);

/// The class name and message of an exception in flight, for failure texts. Non-standard exceptions are
/// named "Unknown" with an empty message.
struct TExceptionInfo {
  std::string className;
  std::string message;
  const void* faultAddress = nullptr;
};
TExceptionInfo DescribeException(std::exception_ptr error);

/// "%.8X" of an address: upper-case, at least 8 digits.
std::string HexAddress(const void* address);

}  // namespace tarnwell
