// trovex-browser-window: the windows of trovex-browser (the browser window, --save-dialog,
// --list --live), started by it with the same arguments. Only this program loads the toolkit
// and the web engine.
#include "browser/command_line.h"
#include "browser/window.h"

int main(int argc, char** argv) {
  trovex::browser::CommandLine line;
  if (int code = trovex::browser::ParseCommandLine(argc, argv, &line); code >= 0) return code;
  // The static --list is trovex-browser's own.
  if (!line.NeedsWindow()) return trovex::browser::Usage({});
  using trovex::browser::LiveTask;
  const LiveTask task = line.saveDialog ? LiveTask::kSaveDialog : line.live ? LiveTask::kList : LiveTask::kNone;
  return trovex::browser::RunBrowserWindow(1, argv, line.address, task);
}
