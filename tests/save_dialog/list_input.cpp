#include "tests/save_dialog/list_input.h"

#include <algorithm>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <wx/renderer.h>
#include <wx/uiaction.h>

#include <stdexcept>

#include "tests/support/dialog_script.h"

namespace trovex::test {

wxPoint RowScreenPoint(wxListCtrl* list, wxWindow* body, long row, bool checkBox) {
  wxRect rect;
  if (!list->GetItemRect(row, rect)) throw std::runtime_error("row has no rectangle");
  // Item rectangles are in the list's client area, header included.
  const int y = rect.y + rect.height / 2;
  // A row wider than the list (many columns) is clicked in the part in view.
  if (!checkBox) return list->ClientToScreen(wxPoint(std::min(rect.x + rect.width / 2, list->GetClientSize().x / 2), y));
  // The check box sits at the start of the row, after a small margin.
  const wxSize box = wxRendererNative::Get().GetCheckBoxSize(body);
  return list->ClientToScreen(wxPoint(rect.x + 4 + box.x / 2, y));
}

void SimClick(const wxPoint& screen, bool doubleClick, int modifiers) {
  wxUIActionSimulator sim;
  sim.MouseMove(screen);
  SettleInput();
  const int key = modifiers == 2 ? WXK_SHIFT : WXK_CONTROL;
  if (modifiers) sim.KeyDown(key);
  if (doubleClick)
    sim.MouseDblClick();
  else
    sim.MouseClick();
  if (modifiers) sim.KeyUp(key);
  SettleInput();
}

void SimKey(int keyCode) {
  wxUIActionSimulator sim;
  sim.Char(keyCode);
  SettleInput();
}

void SimWheelDown(const wxPoint& screen, int notches) {
  wxUIActionSimulator sim;
  sim.MouseMove(screen);
  SettleInput();
  Display* display = XOpenDisplay(nullptr);
  if (!display) throw std::runtime_error("no X display for the wheel");
  for (int i = 0; i < notches; ++i) {
    XTestFakeButtonEvent(display, 5, True, CurrentTime);
    XTestFakeButtonEvent(display, 5, False, CurrentTime);
  }
  XFlush(display);
  XCloseDisplay(display);
  SettleInput();
}

void SettleInput() { PumpEvents(120); }

}  // namespace trovex::test

namespace trovex::test {

void SimKeyAnyThread(unsigned long keysym, bool alt) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) throw std::runtime_error("no X display for the key");
  const KeyCode altCode = XKeysymToKeycode(display, XK_Alt_L);
  const KeyCode code = XKeysymToKeycode(display, keysym);
  if (alt) XTestFakeKeyEvent(display, altCode, True, CurrentTime);
  XTestFakeKeyEvent(display, code, True, CurrentTime);
  XTestFakeKeyEvent(display, code, False, CurrentTime);
  if (alt) XTestFakeKeyEvent(display, altCode, False, CurrentTime);
  XFlush(display);
  XCloseDisplay(display);
}

}  // namespace trovex::test
