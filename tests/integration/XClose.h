#pragma once
// Kept apart from the tests: X11's headers define macros (None, Status, ...) that clash with GoogleTest.

#include <string>

namespace tarnwell::testing {

/// Sends WM_DELETE_WINDOW to a window, as a window manager's close button does. False when the display
/// cannot be opened or the window is gone.
bool RequestWindowClose(const std::string& display, unsigned long window);

}  // namespace tarnwell::testing
