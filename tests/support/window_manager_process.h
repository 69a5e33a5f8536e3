// Test helper: a window manager (openbox) on the test's display for the tests where placement,
// decorations or modality depend on one. Stopped and waited for when the object goes.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace trovex::test {

class WindowManagerProcess {
 public:
  WindowManagerProcess() {
    char arg0[] = "openbox";
    char* argv[] = {arg0, nullptr};
    if (posix_spawnp(&pid_, "openbox", nullptr, nullptr, argv, environ) != 0) {
      pid_ = -1;
      return;
    }
    // Running once the root window names it as the supporting window manager.
    Display* display = XOpenDisplay(nullptr);
    if (!display) return;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    for (int i = 0; i < 100 && !running_; ++i) {
      Atom type = None;
      int format = 0;
      unsigned long count = 0, after = 0;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                             &format, &count, &after, &data) == Success && data) {
        running_ = count == 1;
        XFree(data);
      }
      if (!running_) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    XCloseDisplay(display);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ~WindowManagerProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  WindowManagerProcess(const WindowManagerProcess&) = delete;
  WindowManagerProcess& operator=(const WindowManagerProcess&) = delete;

  bool running() const { return running_; }

 private:
  pid_t pid_ = -1;
  bool running_ = false;
};

}  // namespace trovex::test

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <wx/window.h>

#include <string>
#include <vector>

namespace trovex::test {

// The frame a shown top-level window asks the window manager for (its Motif hints): which
// buttons and functions beyond moving. Unset hints read as everything allowed.
struct FrameHints {
  bool read = false;
  bool minimize = true, maximize = true, close = true;
};

inline FrameHints ReadFrameHints(wxWindow* wnd) {
  FrameHints hints;
  auto* widget = static_cast<GtkWidget*>(wnd->GetHandle());
  GdkWindow* gdk = widget ? gtk_widget_get_window(widget) : nullptr;
  if (!gdk || !GDK_IS_X11_WINDOW(gdk)) return hints;
  Display* display = GDK_DISPLAY_XDISPLAY(gdk_window_get_display(gdk));
  const Atom property = XInternAtom(display, "_MOTIF_WM_HINTS", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, gdk_x11_window_get_xid(gdk), property, 0, 5, False, AnyPropertyType,
                         &type, &format, &count, &after, &data) != Success || !data)
    return hints;
  hints.read = true;
  const long* v = reinterpret_cast<const long*>(data);  // flags, functions, decorations
  if (count >= 3) {
    if (v[0] & 1) {  // functions given; bit 0 means "all but these"
      const bool invert = v[1] & 1;
      hints.minimize = ((v[1] & 8) != 0) != invert;
      hints.maximize = ((v[1] & 16) != 0) != invert;
      hints.close = ((v[1] & 32) != 0) != invert;
    }
    if (v[0] & 2) {  // decorations: a button not drawn is not there either
      const bool invert = v[2] & 1;
      hints.minimize = hints.minimize && (((v[2] & 32) != 0) != invert);
      hints.maximize = hints.maximize && (((v[2] & 64) != 0) != invert);
    }
  }
  XFree(data);
  return hints;
}

}  // namespace trovex::test
