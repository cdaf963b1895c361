// The tests' main. A test program ends the way the program does: the worker threads (data node thread, timer
// thread, conversations) are never stopped, so the process ends with _Exit rather than running static
// destructors under their feet, which now and then crashed a test program after its last test had passed.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

// LeakSanitizer's check, present in sanitizer builds; _Exit skips the one it would make at exit.
extern "C" int __lsan_do_recoverable_leak_check() __attribute__((weak));

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  std::fflush(nullptr);
  if (__lsan_do_recoverable_leak_check != nullptr && __lsan_do_recoverable_leak_check() != 0) result = 1;
  std::_Exit(result);
}
