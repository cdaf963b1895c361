#include "XClose.h"

#include <X11/Xlib.h>

namespace tarnwell::testing {

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
  XSendEvent(display, window, False, NoEventMask, &event);
  XFlush(display);
  XCloseDisplay(display);
  return true;
}

}  // namespace tarnwell::testing
