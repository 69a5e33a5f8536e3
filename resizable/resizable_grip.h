// The size grip: a small triangle in the lower right corner of a resizable window that starts
// a resize of the window when dragged.
#pragma once

#include <type_traits>  // wx/weakref.h uses it without including it

#include <wx/weakref.h>
#include <wx/window.h>

#include "platform/base/types.h"

namespace trovex {

class CResizableGrip {
 public:
  class CSizeGrip : public wxWindow {
   public:
    CSizeGrip(wxWindow* parent, bool bTriangular);
    bool AcceptsFocus() const override { return false; }
    bool AcceptsFocusFromKeyboard() const override { return false; }
    // Whether a point (client coordinates) lies on the grip's shape.
    bool IsOnShape(const wxPoint& pt) const;
    // Size from the current system metrics.
    static wxSize MetricSize(const wxWindow* wnd);
    // Follows a change of the system settings, keeping the lower right corner in place.
    void UpdateFromSettings();
    // Restricts the window to its triangle (when triangular).
    void ApplyShape();

   private:
    void OnPaint(wxPaintEvent& event);
    void OnLeftDown(wxMouseEvent& event);
    void OnMotion(wxMouseEvent& event);
    void OnSysColourChanged(wxSysColourChangedEvent& event);
    void OnWindowCreate(wxWindowCreateEvent& event);

    bool bTriangular_;
    wxDECLARE_EVENT_TABLE();
  };

  // Creates the grip window in parent; false when it could not be created.
  bool CreateGrip(wxWindow* parent, BOOL bVisible = TRUE, BOOL bTriangular = TRUE);
  // The show counter becomes 1 or 0; the window follows at the next PositionGrip.
  void SetGripVisible(BOOL bVisible) { nShowCount_ = bVisible ? 1 : 0; }
  // Set or clear `bit` of `state`, counting the grip up or down once per change.
  BOOL ShowGrip(DWORD& state, DWORD bit);
  BOOL HideGrip(DWORD& state, DWORD bit);
  bool IsGripVisible() const { return nShowCount_ > 0; }
  // Moves the grip to the lower right corner of its parent's client area, above its siblings,
  // shown or hidden as the counter says.
  void PositionGrip();
  CSizeGrip* GetGripWindow() const { return grip_.get(); }

 private:
  wxWeakRef<CSizeGrip> grip_;
  int nShowCount_ = 0;
};

}  // namespace trovex
