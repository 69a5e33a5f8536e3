#include "resizable/resizable_grip.h"

#include <wx/dcclient.h>
#include <wx/settings.h>

#include <algorithm>

#include "framework/window_manager.h"

namespace trovex {

namespace {
// Overlay scroll bars report a width too thin to grab; keep the grip usable.
constexpr int kMinGripSide = 16;
}  // namespace

wxBEGIN_EVENT_TABLE(CResizableGrip::CSizeGrip, wxWindow)
  EVT_PAINT(CResizableGrip::CSizeGrip::OnPaint)
  EVT_LEFT_DOWN(CResizableGrip::CSizeGrip::OnLeftDown)
  EVT_MOTION(CResizableGrip::CSizeGrip::OnMotion)
  EVT_SYS_COLOUR_CHANGED(CResizableGrip::CSizeGrip::OnSysColourChanged)
  EVT_WINDOW_CREATE(CResizableGrip::CSizeGrip::OnWindowCreate)
wxEND_EVENT_TABLE()

CResizableGrip::CSizeGrip::CSizeGrip(wxWindow* parent, bool bTriangular)
    : wxWindow(parent, wxID_ANY, wxDefaultPosition, MetricSize(parent),
               wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE),
      bTriangular_(bTriangular) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
}

wxSize CResizableGrip::CSizeGrip::MetricSize(const wxWindow* wnd) {
  const int cx = wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, wnd);
  const int cy = wxSystemSettings::GetMetric(wxSYS_HSCROLL_Y, wnd);
  return wxSize(std::max(cx, kMinGripSide), std::max(cy, kMinGripSide));
}

bool CResizableGrip::CSizeGrip::IsOnShape(const wxPoint& pt) const {
  const wxSize size = GetClientSize();
  if (pt.x < 0 || pt.y < 0 || pt.x >= size.x || pt.y >= size.y) return false;
  if (!bTriangular_) return true;
  // The triangle of the lower-left, lower-right and upper-right corners.
  return static_cast<long>(pt.x + 1) * size.y + static_cast<long>(pt.y + 1) * size.x >=
         static_cast<long>(size.x) * size.y;
}

void CResizableGrip::CSizeGrip::UpdateFromSettings() {
  const wxRect old = GetRect();
  const wxSize size = MetricSize(GetParent());
  SetSize(old.GetRight() + 1 - size.x, old.GetBottom() + 1 - size.y, size.x, size.y);
  ApplyShape();
  Refresh();
}

void CResizableGrip::CSizeGrip::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  const wxSize size = GetClientSize();
  // Outside the triangle the grip shows the dialog's own background.
  dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
  dc.Clear();
  // The theme's shadow colour is too faint on its own background to be found; a mix of text
  // and background is visible on light and dark themes alike.
  const wxColour fg = GetParent()->GetForegroundColour();
  const wxColour bg = GetParent()->GetBackgroundColour();
  const wxPen shadow(wxColour((fg.Red() + bg.Red()) / 2, (fg.Green() + bg.Green()) / 2,
                              (fg.Blue() + bg.Blue()) / 2));
  const wxPen light(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNHIGHLIGHT));
  const int w = size.x, h = size.y;
  // Diagonal ridges, as grips are drawn: a dark line with a light one beside it.
  for (int k = 3; k < std::min(w, h); k += 4) {
    dc.SetPen(shadow);
    dc.DrawLine(w - k, h, w, h - k);
    dc.DrawLine(w - k + 1, h, w, h - k + 1);
    dc.SetPen(light);
    dc.DrawLine(w - k + 2, h, w, h - k + 2);
  }
}

void CResizableGrip::CSizeGrip::OnLeftDown(wxMouseEvent& event) {
  if (!IsOnShape(event.GetPosition())) {
    event.Skip();
    return;
  }
  // The window manager (or GDK without one) runs the resize from here on.
  BeginResizeFromBottomRight(this, ClientToScreen(event.GetPosition()), 1);
}

void CResizableGrip::CSizeGrip::OnMotion(wxMouseEvent& event) {
  SetCursor(IsOnShape(event.GetPosition()) ? wxCursor(wxCURSOR_SIZENWSE) : wxNullCursor);
  event.Skip();
}

void CResizableGrip::CSizeGrip::ApplyShape() {
  if (bTriangular_) ShapeToLowerRightTriangle(this);
}

void CResizableGrip::CSizeGrip::OnWindowCreate(wxWindowCreateEvent& event) {
  if (event.GetWindow() == this) ApplyShape();
  event.Skip();
}

void CResizableGrip::CSizeGrip::OnSysColourChanged(wxSysColourChangedEvent& event) {
  UpdateFromSettings();
  event.Skip();
}

bool CResizableGrip::CreateGrip(wxWindow* parent, BOOL bVisible, BOOL bTriangular) {
  if (!parent) return false;
  grip_ = new CSizeGrip(parent, bTriangular != FALSE);
  if (!grip_) return false;
  SetGripVisible(bVisible);
  PositionGrip();
  return true;
}

BOOL CResizableGrip::ShowGrip(DWORD& state, DWORD bit) {
  if (state & bit) return FALSE;
  state |= bit;
  ++nShowCount_;
  return TRUE;
}

BOOL CResizableGrip::HideGrip(DWORD& state, DWORD bit) {
  if (!(state & bit)) return FALSE;
  state &= ~bit;
  --nShowCount_;
  return TRUE;
}

void CResizableGrip::PositionGrip() {
  CSizeGrip* grip = grip_.get();
  if (!grip) return;
  const wxSize client = grip->GetParent()->GetClientSize();
  const wxSize size = grip->GetSize();
  grip->Move(client.x - size.x, client.y - size.y);
  grip->Show(IsGripVisible());
  if (IsGripVisible()) {
    grip->Raise();
    grip->ApplyShape();
  }
}

}  // namespace trovex
