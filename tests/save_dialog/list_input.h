// Real user input for list tests: XTest clicks, keys and wheel turns at a row of a list.
#pragma once

#include <wx/listctrl.h>

namespace trovex::test {

// Where on the screen a row is: its check box or the middle of its text.
wxPoint RowScreenPoint(wxListCtrl* list, wxWindow* body, long row, bool checkBox);

void SimClick(const wxPoint& screen, bool doubleClick = false, int modifiers = 0);
void SimKey(int keyCode);
// Turns the wheel `notches` times downwards over `screen`.
void SimWheelDown(const wxPoint& screen, int notches);
// Lets the simulated input reach the windows.
void SettleInput();

}  // namespace trovex::test

namespace trovex::test {

// Presses and releases one key through XTest on a display connection of its own, so a server
// thread can type while the dialog's thread waits for a download. `keysym` is an X key symbol
// (XK_Escape, XK_s...); `alt` holds Alt down around it.
void SimKeyAnyThread(unsigned long keysym, bool alt = false);

}  // namespace trovex::test
