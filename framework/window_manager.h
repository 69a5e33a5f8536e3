// What the window manager must know about the system's windows, at the GTK level where wx
// offers no call of its own.
#pragma once

#include <wx/gdicmn.h>

class wxWindow;

namespace trovex {

// Keeps wnd (a top-level window) above its owner's top-level window and makes it modal, so
// clicking the disabled owner never raises the owner over it. owner may be null: modal only.
void MakeModalFor(wxWindow* wnd, wxWindow* owner);
// Whether wnd is marked modal and transient for owner's top-level window (for tests).
bool IsModalFor(const wxWindow* wnd, const wxWindow* owner);

// Tells the window manager that the top-level window wnd offers only moving and closing (and
// resizing and maximizing when `resizable`): a dialog has no minimize button. Call before the
// window is shown.
void LimitFrameFunctions(wxWindow* wnd, bool resizable);

// Asks the window manager to put the top-level window's frame at pos (screen coordinates),
// whatever the toolkit believes its position to be.
void MoveFrameTo(wxWindow* wnd, const wxPoint& pos);

// Escape pressed in `view`, a native view that keeps every key for itself (a web view hands
// them all to its page), goes first to the key hook of the view's top-level window, as it does
// from any other control: Escape closes a dialog wherever the focus is. Other keys, and Escape
// the window leaves alone, stay the view's.
void RouteEscapeToTopLevel(wxWindow* view);

// Gives a push button the theme's look of the button Enter presses.
void MarkDefaultButton(wxWindow* button);
bool IsMarkedDefaultButton(const wxWindow* button);

// Hands a resize from the lower right corner of wnd's top-level window to the window manager,
// as if that corner had been grabbed at screenPos with the mouse button. Call it from the
// mouse-down handler. false when the window is not shown.
bool BeginResizeFromBottomRight(wxWindow* wnd, const wxPoint& screenPos, int button);

// Limits a child window, for drawing and for the mouse, to the triangle of its lower-left,
// lower-right and upper-right corners: what lies under the rest shows and takes clicks. Call
// again after a resize. false while the window has no drawable of its own yet.
bool ShapeToLowerRightTriangle(wxWindow* wnd);

// The horizontal scroll state of a scrolling control (the highest unit, inclusive; the units
// shown at once; the position). false when the control has no horizontal scrolling.
bool ReadHorizontalScroll(const wxWindow* ctrl, int& nMax, int& nPage, int& nPos);

}  // namespace trovex
