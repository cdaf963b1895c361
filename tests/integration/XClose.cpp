#include "XClose.h"

#include <X11/Xlib.h>

namespace tarnwell::testing {
namespace {

// Xlib's default handler ends the process on any error; a window gone meanwhile (its program ended) is
// the test's failure to report, not a reason to end the test program before it cleans up.
bool xError = false;
int RecordError(Display*, XErrorEvent*) {
  xError = true;
  return 0;
}

}  // namespace

bool RequestWindowClose(const std::string& displayName, unsigned long window) {
  Display* display = XOpenDisplay(displayName.c_str());
  if (!display) return false;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  xError = false;
  auto previous = XSetErrorHandler(RecordError);
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  XSetErrorHandler(previous);
  XCloseDisplay(display);
  return !xError;
}

}  // namespace tarnwell::testing
