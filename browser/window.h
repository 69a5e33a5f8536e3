// The browser window: an address bar, the page shown in a web view, and the registered
// extensions (toolbar buttons, Tools-menu items, page context-menu items), which run their
// script page against the page model of the page being shown.
#pragma once

#include <memory>
#include <string>

class wxFrame;

namespace trovex::browser {

// Opens a browser window on `address` (an absolute URL). The window is the toolkit's to
// delete; the program ends when it closes.
wxFrame* OpenBrowserWindow(const std::string& address);

// What the window does by itself once the page, its frames and their load handlers are done.
enum class LiveTask {
  kNone,        // nothing: the user browses
  kSaveDialog,  // what the toolbar button does, then close (exit code: GetSWFFile's result)
  kList,        // print the movies of the snapshot as --list does, then close
};

// Runs a toolkit application showing `address`; returns the exit code. Needs a display.
int RunBrowserWindow(int argc, char** argv, const std::string& address, LiveTask task = LiveTask::kNone);

}  // namespace trovex::browser
