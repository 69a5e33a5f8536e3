#include "resizable/resizable_dialog.h"

#include <wx/dialog.h>
#include <wx/display.h>
#include <wx/utils.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "framework/window_manager.h"

namespace trovex {
namespace {

constexpr DWORD kGripNotMaximized = 1;

// Reads "%d,%d,%d,%d,%d,%d" as the C library would (blanks before each number, the commas
// exactly), except that a number beyond int ends the match instead of being undefined.
// Returns how many numbers were read.
int ScanSixNumbers(const std::string& text, std::array<int, 6>& out) {
  const char* p = text.c_str();
  const char* end = p + text.size();
  for (int i = 0; i < 6; ++i) {
    if (i > 0) {
      if (p == end || *p != ',') return i;
      ++p;
    }
    while (p != end && std::isspace(static_cast<unsigned char>(*p))) ++p;
    const char* start = p;
    if (p != end && *p == '+') ++p;  // from_chars takes '-' but not '+'
    if (p != end && *p == '-' && start != p) return i;
    auto [next, ec] = std::from_chars(p, end, out[i]);
    if (ec != std::errc()) return i;
    p = next;
  }
  return 6;
}

// A placement saved on a display that is gone, or with larger fonts than today's, would open
// the dialog with its buttons where nobody reaches them: it goes into the work area of the
// display it is on (else the first), shrunk where it is larger.
wxRect KeepInWorkArea(wxRect rc) {
  wxRect area = wxDisplay(0u).GetClientArea();
  for (unsigned i = 0; i < wxDisplay::GetCount(); ++i) {
    if (wxDisplay(i).GetGeometry().Intersects(rc)) {
      area = wxDisplay(i).GetClientArea();
      break;
    }
  }
  rc.width = std::min(rc.width, area.width);
  rc.height = std::min(rc.height, area.height);
  rc.x = std::clamp(rc.x, area.x, area.x + area.width - rc.width);
  rc.y = std::clamp(rc.y, area.y, area.y + area.height - rc.height);
  return rc;
}

}  // namespace

wxBEGIN_EVENT_TABLE(CResizableDialog, CDialog)
  EVT_SIZE(CResizableDialog::OnSize)
  EVT_MOVE(CResizableDialog::OnMove)
  EVT_MAXIMIZE(CResizableDialog::OnMaximize)
  EVT_SHOW(CResizableDialog::OnShow)
wxEND_EVENT_TABLE()

CResizableDialog::CResizableDialog(int nTemplateId, wxWindow* pParentWnd,
                                   std::unique_ptr<PlacementStore> placementStore)
    : CDialog(nTemplateId, pParentWnd), placementStore_(std::move(placementStore)) {}

CResizableDialog::~CResizableDialog() { ForgetAnchors(); }

long CResizableDialog::DialogWindowStyle() const {
  return CDialog::DialogWindowStyle() | wxRESIZE_BORDER;
}

bool CResizableDialog::OnCreate(const std::vector<CreatedControl>& controls) {
  if (!CDialog::OnCreate(controls)) return false;
  wxDialog* wnd = GetWindow();
  // The base sized the client area to the template; the frame grew around it.
  const wxSize created = wnd->GetSize();
  SetMinimumSize(created.x, created.y);
  dwGripState_ = kGripNotMaximized;
  if (!grip_.CreateGrip(wnd, TRUE, TRUE)) return false;
  rcNormal_ = rcNormalBefore_ = wnd->GetRect();
  return true;
}

void CResizableDialog::AnchorControl(wxWindow* ctrl, Anchor topLeft, Anchor bottomRight) {
  wxDialog* wnd = GetWindow();
  if (!ctrl || !wnd) return;
  const bool known = layout_.IsAnchored(ctrl);
  layout_.AddAnchor(ctrl, wxRect(wxPoint(0, 0), wnd->GetClientSize()), topLeft, bottomRight);
  // A control destroyed while anchored takes its record with it.
  if (!known)
    ctrl->Bind(wxEVT_DESTROY, &CResizableDialog::OnAnchoredControlDestroyed, this);
}

void CResizableDialog::AnchorControl(int nCtrlId, Anchor topLeft, Anchor bottomRight) {
  wxWindow* ctrl = GetDlgItem(nCtrlId);
  if (!ctrl)
    throw std::logic_error("dialog " + std::to_string(GetTemplateId()) + " has no control " +
                           std::to_string(nCtrlId) + " to anchor");
  AnchorControl(ctrl, topLeft, bottomRight);
}

BOOL CResizableDialog::RemoveAnchor(wxWindow* ctrl) {
  if (!layout_.RemoveAnchor(ctrl)) return FALSE;
  ctrl->Unbind(wxEVT_DESTROY, &CResizableDialog::OnAnchoredControlDestroyed, this);
  return TRUE;
}

void CResizableDialog::ForgetAnchors() {
  for (const LayoutInfo& li : layout_.Records())
    li.hWnd->Unbind(wxEVT_DESTROY, &CResizableDialog::OnAnchoredControlDestroyed, this);
  layout_.RemoveAllAnchors();
}

void CResizableDialog::OnAnchoredControlDestroyed(wxWindowDestroyEvent& event) {
  if (wxWindow* ctrl = event.GetWindow()) layout_.RemoveAnchor(ctrl);
  event.Skip();
}

void CResizableDialog::ArrangeControls() {
  if (wxDialog* wnd = GetWindow())
    layout_.ArrangeLayout(wnd, wxRect(wxPoint(0, 0), wnd->GetClientSize()));
}

void CResizableDialog::SetGripVisible(BOOL bVisible) {
  grip_.SetGripVisible(bVisible);
  grip_.PositionGrip();
}

void CResizableDialog::SetMinimumSize(int cx, int cy) {
  minSize_ = wxSize(cx, cy);
  if (wxDialog* wnd = GetWindow()) wnd->SetMinSize(minSize_);
}

void CResizableDialog::OnSize(wxSizeEvent& event) {
  wxDialog* wnd = GetWindow();
  if (!wnd) {
    event.Skip();
    return;
  }
  HandleSize(wnd->IsMaximized());
}

void CResizableDialog::HandleSize(bool bMaximized) {
  if (bMaximized)
    grip_.HideGrip(dwGripState_, kGripNotMaximized);
  else
    grip_.ShowGrip(dwGripState_, kGripNotMaximized);
  grip_.PositionGrip();
  ArrangeControls();
  if (!bMaximized) RememberNormalRect();
}

void CResizableDialog::OnMove(wxMoveEvent& event) {
  wxDialog* wnd = GetWindow();
  if (wnd && !wnd->IsMaximized()) RememberNormalRect();
  event.Skip();
}

void CResizableDialog::OnMaximize(wxMaximizeEvent& event) {
  wxDialog* wnd = GetWindow();
  if (wnd && rcNormal_ == wnd->GetRect()) rcNormal_ = rcNormalBefore_;
  event.Skip();
}

void CResizableDialog::OnShow(wxShowEvent& event) {
  event.Skip();
  wxDialog* wnd = GetWindow();
  if (!wnd || !event.IsShown() || rcRestorePending_.IsEmpty()) return;
  // Once the window manager has framed and placed it, with the frame's real size known.
  wnd->CallAfter([this, wnd, rc = rcRestorePending_] {
    if (GetWindow() != wnd || wnd->IsMaximized()) return;
    // The toolkit may still hold the position it asked for and skip the move.
    MoveFrameTo(wnd, rc.GetPosition());
    wnd->SetSize(rc);
    rcNormal_ = rcNormalBefore_ = rc;
  });
  rcRestorePending_ = wxRect();
}

void CResizableDialog::RememberNormalRect() {
  wxDialog* wnd = GetWindow();
  if (!wnd || wnd->IsIconized()) return;
  const wxRect rc = wnd->GetRect();
  if (rc == rcNormal_) return;
  rcNormalBefore_ = rcNormal_;
  rcNormal_ = rc;
}

void CResizableDialog::OnDestroy() {
  if (bSavePlacement_) SavePlacement(strPlacementSection_, bRectOnly_);
  ForgetAnchors();
  CDialog::OnDestroy();
}

void CResizableDialog::EnableSavedPlacement(const std::string& strSection, BOOL bRectOnly) {
  strPlacementSection_ = strSection;
  bRectOnly_ = bRectOnly;
  bSavePlacement_ = TRUE;
  RestorePlacement(strSection, bRectOnly);
}

bool CResizableDialog::WindowPositionKnown() const {
  return wxGetDisplayInfo().type != wxDisplayWayland;
}

BOOL CResizableDialog::SavePlacement(const std::string& strSection, BOOL bRectOnly) {
  wxDialog* wnd = GetWindow();
  if (!wnd || !placementStore_) return FALSE;
  wxRect rc = wnd->GetRect();
  int showCmd = placement::kShowNormal;
  int flags = 0;
  if (!bRectOnly) {
    const bool maximized = wnd->IsMaximized();
    const bool iconized = wnd->IsIconized();
    if (maximized || iconized) rc = rcNormal_;
    if (iconized) {
      showCmd = placement::kShowMinimized;
      if (maximized) flags = placement::kRestoreToMaximized;
    } else if (maximized) {
      showCmd = placement::kShowMaximized;
    }
  }
  if (!WindowPositionKnown()) {
    // The stored position stays; without one, the work area's centre, not its corner.
    std::array<int, 6> v{};
    const wxRect area = wxDisplay(0u).GetClientArea();
    if (ScanSixNumbers(placementStore_->ReadPlacement(strSection), v) == 6)
      rc.SetPosition(wxPoint(v[0], v[1]));
    else
      rc.SetPosition(wxPoint(area.x + (area.width - rc.width) / 2, area.y + (area.height - rc.height) / 2));
  }
  char text[80];
  std::snprintf(text, sizeof text, "%d,%d,%d,%d,%d,%d", rc.GetLeft(), rc.GetTop(),
                rc.GetLeft() + rc.GetWidth(), rc.GetTop() + rc.GetHeight(), showCmd, flags);
  return placementStore_->WritePlacement(strSection, text) ? TRUE : FALSE;
}

BOOL CResizableDialog::RestorePlacement(const std::string& strSection, BOOL bRectOnly) {
  if (!placementStore_) return FALSE;
  const std::string text = placementStore_->ReadPlacement(strSection);
  if (text.empty()) return FALSE;
  wxDialog* wnd = GetWindow();
  if (!wnd) return FALSE;
  std::array<int, 6> v{};
  if (ScanSixNumbers(text, v) < 6) return FALSE;
  // An empty or inverted rectangle is as malformed as a missing number.
  const long long width = static_cast<long long>(v[2]) - v[0];
  const long long height = static_cast<long long>(v[3]) - v[1];
  if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) return FALSE;
  wxRect rc(v[0], v[1], static_cast<int>(width), static_cast<int>(height));
  // Never smaller than the minimum, never past the work area.
  rc.SetSize(wxSize(std::max(rc.width, minSize_.x), std::max(rc.height, minSize_.y)));
  rc = KeepInWorkArea(rc);
  if (!wnd->IsShown()) rcRestorePending_ = rc;
  if (bRectOnly) {
    wnd->SetSize(rc);
    return TRUE;
  }
  if (wnd->IsMaximized()) wnd->Maximize(false);
  wnd->SetSize(rc);
  rcNormal_ = rcNormalBefore_ = rc;
  const int showCmd = v[4];
  const bool minimized = showCmd == placement::kShowMinimized || showCmd == 6 || showCmd == 7;
  // A modal dialog opens where the user sees it: a minimized placement comes back as the
  // window it was before it was minimized.
  if (showCmd == placement::kShowMaximized ||
      (minimized && (v[5] & placement::kRestoreToMaximized)))
    wnd->Maximize(true);
  return TRUE;
}

}  // namespace trovex
