// The movie list of the Save dialog: a report list with the two row images (a document sheet
// and a globe) and an input lock that freezes the list for the user while the save run walks
// its rows.
#pragma once

#include <wx/listctrl.h>

#include "platform/base/types.h"

namespace trovex {

// Row images.
constexpr int kImageDocument = 0;  // size known
constexpr int kImageGlobe = 1;     // size unknown

class CFileListCtrl : public wxListCtrl {
 public:
  // Creates the list with the small image list from bitmap 1011 (magenta is transparent).
  CFileListCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style);
  ~CFileListCtrl() override;

  // FALSE: mouse and keyboard input on the list body and its header is swallowed. What the
  // program does to the list (rows, texts, check states, selection) still works, and so do the
  // scroll bars.
  void EnableInput(BOOL bEnable) { bInputEnabled = bEnable ? 1 : 0; }
  BOOL IsInputEnabled() const { return bInputEnabled; }
  // The window that draws the rows (positions of its mouse events are what HitTest takes).
  wxWindow* GetBodyWindow() const;

 private:
  void HookInputOf(wxWindow* window);
  void OnUserInput(wxEvent& event);
  void OnUserKey(wxKeyEvent& event);

  int bInputEnabled = 1;
};

}  // namespace trovex
