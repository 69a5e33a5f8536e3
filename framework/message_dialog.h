// The window behind AppMessageBox: laid out by the system itself so that it looks the same
// everywhere: the dialog font with the Taiwan CJK face, the icon theme's error, question,
// warning or information icon, long texts broken to fit (between characters where a text has
// no spaces), and button labels in Traditional Chinese whatever the locale. Tests answer it
// like any message dialog (wxTEST_DIALOG), once its window is built and before it shows.
#pragma once

#include <wx/msgdlg.h>
#include <wx/generic/msgdlgg.h>

namespace trovex {

class CAppMessageDialog : public wxGenericMessageDialog {
 public:
  // style: wxOK, wxYES_NO, wxCANCEL, wxNO_DEFAULT, one wxICON_*.
  CAppMessageDialog(wxWindow* owner, const wxString& text, const wxString& caption, long style);

  // Creates the window and its contents (ShowModal does it; tests call it to look at them).
  void Build();
  int ShowModal() override;

  // text broken into lines no wider than maxWidth in font: at the last space that fits, else
  // between characters, never putting closing punctuation at the start of a line.
  static wxString WrapForDisplay(const wxString& text, const wxFont& font, int maxWidth);

 private:
  void OnCharHook(wxKeyEvent& event);
  bool built_ = false;
};

}  // namespace trovex
