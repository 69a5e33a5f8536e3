// Answering the system's own dialogs in GUI tests.
//
// Template dialogs (CDialog): a DialogScript lists, in order, the dialogs a test expects and
// what to do in each (read controls, click buttons; the action must end the dialog). Any
// template dialog that becomes modal while no script expects it fails the test by throwing
// from DoModal, instead of waiting for a user who never comes.
//
// Toolkit dialogs (message boxes, file and directory dialogs): wxTEST_DIALOG from
// <wx/testing.h>; ExpectMessageBox below also records what the box showed.
#pragma once

#include <wx/image.h>
#include <wx/msgdlg.h>
#include <wx/testing.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "framework/dialog.h"
#include "framework/message_dialog.h"

namespace trovex::test {

// Installs the hook that routes template dialogs to the active DialogScript (gui_main does it).
void InstallTemplateDialogGuard();

class DialogScript {
 public:
  using Action = std::function<void(CDialog&)>;
  DialogScript();
  // Fails the test when expected dialogs never came (unless the test already failed).
  ~DialogScript();
  DialogScript(const DialogScript&) = delete;
  DialogScript& operator=(const DialogScript&) = delete;

  DialogScript& Expect(int templateId, Action action);
  size_t Remaining() const { return expected_.size(); }
  // Called by the hook: runs the next expected action, or throws for an unexpected dialog.
  void Handle(CDialog& dlg);

 private:
  struct Step {
    int templateId;
    Action action;
  };
  std::deque<Step> expected_;
  DialogScript* previous_;
};

// What a message box showed.
struct MessageBoxRecord {
  bool shown = false;
  std::string text;     // UTF-8
  std::string caption;  // UTF-8
  long style = 0;       // wxICON_* and button flags
};

// Answers one of the system's message boxes with `answer` (wxID_OK, wxID_YES, ...) and
// records it.
class ExpectMessageBox : public wxExpectModalBase<CAppMessageDialog, ExpectMessageBox> {
 public:
  ExpectMessageBox(int answer, MessageBoxRecord* record) : answer_(answer), record_(record) {}

 protected:
  int OnInvoked(CAppMessageDialog* dlg) const override {
    if (record_) {
      record_->shown = true;
      record_->text = dlg->GetMessage().utf8_string();
      record_->caption = dlg->GetTitle().utf8_string();
      record_->style = dlg->GetMessageDialogStyle();
    }
    return answer_;
  }

 private:
  int answer_;
  MessageBoxRecord* record_;
};

// Whether `ctrl` has the keyboard focus. GUI tests may share one display, and another test's
// window can take the display's focus at any moment; then nothing in this process has focus
// and the question cannot be answered: the result is then nullopt.
std::optional<bool> HasFocus(wxWindow* ctrl);

// Lets pending events run for a while (painting, deferred calls) without a real main loop.
void PumpEvents(int milliseconds = 50);

// Saves a screenshot of the whole screen (the dialog is centred on it) with ImageMagick's
// `import`, while the dialog is shown. Returns false when the tool fails.
bool CaptureScreen(const std::string& pngPath);

// What the display shows inside `screenRect` (screen coordinates), read back from the X
// server: what the user sees. An empty image when nothing can be read.
wxImage GrabScreen(const wxRect& screenRect);

// The share (0..1) of pixels that agree between two pictures of one size, each channel within
// `tolerance`; 0 for pictures of different sizes.
double SamePixelShare(const wxImage& a, const wxImage& b, int tolerance = 8);

// What a shown window must look like to a user, checked: the display draws it (text and
// frames: at least `minInk` of its pixels differ from its background) and every shown control
// lies wholly inside its parent's client area. With TROVEX_SCREENSHOT_DIR set, the screen is
// also saved there as `shotName` for a person to look at.
void ExpectDrawnAndUnclipped(wxWindow* window, const std::string& shotName, double minInk = 0.01);

}  // namespace trovex::test
