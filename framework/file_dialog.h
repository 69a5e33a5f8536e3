// The toolkit's file dialog, with one addition: a path set from outside while the dialog is
// shown (accessibility tools, tests) counts as chosen even when the native chooser does not
// report it back.
#pragma once

#include <wx/filedlg.h>

namespace trovex {

class ChosenPathDialog : public wxFileDialog {
 public:
  using wxFileDialog::wxFileDialog;
  void SetPath(const wxString& path) override {
    wxFileDialog::SetPath(path);
    set_path_ = path;
  }
  wxString ChosenPath() const {
    wxString path = GetPath();
    return path.empty() ? set_path_ : path;
  }

 private:
  wxString set_path_;
};

}  // namespace trovex
