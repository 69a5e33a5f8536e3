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
