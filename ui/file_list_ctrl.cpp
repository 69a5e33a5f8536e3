#include "ui/file_list_ctrl.h"

#include <wx/imaglist.h>

#include "res/images.h"
#include "res/templates.h"

namespace trovex {

namespace {

// Every user input event that reaches a window directly: the mouse (moves, buttons, double
// clicks, wheel) and the keyboard.
const wxEventType kMouseEvents[] = {
    wxEVT_LEFT_DOWN,    wxEVT_LEFT_UP,    wxEVT_LEFT_DCLICK,   wxEVT_MIDDLE_DOWN, wxEVT_MIDDLE_UP,
    wxEVT_MIDDLE_DCLICK, wxEVT_RIGHT_DOWN, wxEVT_RIGHT_UP,     wxEVT_RIGHT_DCLICK, wxEVT_AUX1_DOWN,
    wxEVT_AUX1_UP,      wxEVT_AUX1_DCLICK, wxEVT_AUX2_DOWN,    wxEVT_AUX2_UP,     wxEVT_AUX2_DCLICK,
    wxEVT_MOTION,       wxEVT_MOUSEWHEEL,
};

}  // namespace

CFileListCtrl::CFileListCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                             long style)
    : wxListCtrl(parent, id, pos, size, style) {
  auto imageList = new wxImageList(16, 16, true, 0);
  wxBitmap bitmap = LoadResBitmap(IDB_ROW_IMAGES);
  // The 32-pixel-wide strip gives images 0 and 1.
  if (bitmap.IsOk()) imageList->Add(bitmap, wxColour(kMaskRed, kMaskGreen, kMaskBlue));
  AssignImageList(imageList, wxIMAGE_LIST_SMALL);
  // The list is drawn by the body and the header, child windows of the control; the control
  // itself gets the wheel the body does not take.
  HookInputOf(this);
}

CFileListCtrl::~CFileListCtrl() = default;

wxWindow* CFileListCtrl::GetBodyWindow() const {
  // The body is the child that is not the header; the toolkit keeps its class private.
  for (wxWindow* child : GetChildren())
    if (static_cast<const void*>(child) == static_cast<const void*>(m_mainWin)) return child;
  return nullptr;
}

void CFileListCtrl::HookInputOf(wxWindow* window) {
  for (wxEventType type : kMouseEvents) window->Bind(type, &CFileListCtrl::OnUserInput, this);
  window->Bind(wxEVT_KEY_DOWN, &CFileListCtrl::OnUserKey, this);
  window->Bind(wxEVT_KEY_UP, &CFileListCtrl::OnUserKey, this);
  window->Bind(wxEVT_CHAR, &CFileListCtrl::OnUserKey, this);
  for (wxWindow* child : window->GetChildren()) HookInputOf(child);
}

void CFileListCtrl::OnUserInput(wxEvent& event) {
  // Not skipping the event swallows it: neither the list nor the toolkit's own wheel
  // scrolling sees it.
  if (bInputEnabled) event.Skip();
}

void CFileListCtrl::OnUserKey(wxKeyEvent& event) {
  // Tab still leaves the list, as the dialog's own navigation would take it before the list.
  if (bInputEnabled || event.GetKeyCode() == WXK_TAB) event.Skip();
}

}  // namespace trovex
