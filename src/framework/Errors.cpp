#include "framework/Errors.h"

#include <cxxabi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace tarnwell {

std::string ClassNameOf(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                   std::free);
  std::string name = status == 0 && demangled ? demangled.get() : type.name();
  for (const std::string noise : {"tarnwell::", "(anonymous namespace)::"}) {
    for (auto at = name.find(noise); at != std::string::npos; at = name.find(noise)) name.erase(at, noise.size());
  }
  return name;
}

TExceptionInfo DescribeException(std::exception_ptr error) {
  TExceptionInfo info;
  try {
    std::rethrow_exception(error);
  } catch (const EFaultWithAddress& e) {
    info = {ClassNameOf(typeid(e)), e.what(), e.Address()};
  } catch (const std::exception& e) {
    info = {ClassNameOf(typeid(e)), e.what(), nullptr};
  } catch (...) {
    info = {"Unknown", "", nullptr};
  }
  return info;
}

std::string HexAddress(const void* address) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.8llX",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(address)));
  return buf;
}

}  // namespace tarnwell
