#include "save_dialog/file_list_ctrl.h"

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
    : wxListCtrl(parent, id, pos, size, style | wxLC_VIRTUAL) {
  auto imageList = new wxImageList(16, 16, true, 0);
  wxBitmap bitmap = LoadResBitmap(IDB_ROW_IMAGES);
  // The 32-pixel-wide strip gives images 0 and 1.
  if (bitmap.IsOk()) imageList->Add(bitmap, wxColour(kMaskRed, kMaskGreen, kMaskBlue));
  AssignImageList(imageList, wxIMAGE_LIST_SMALL);
  // The list is drawn by the body and the header, child windows of the control; the control
  // itself gets the wheel the body does not take.
  HookInputOf(this);
  // A click on a check box tells the rows through this event; it goes on to the dialog.
  Bind(wxEVT_LIST_ITEM_CHECKED, &CFileListCtrl::OnCheckToggled, this);
  Bind(wxEVT_LIST_ITEM_UNCHECKED, &CFileListCtrl::OnCheckToggled, this);
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
  // Tab still leaves the list, as the dialog's own navigation would take it before the list;
  // Alt+key goes on to the dialog's mnemonics (暫停(S) during a run). The list itself does
  // nothing with Alt+key.
  if (bInputEnabled || event.GetKeyCode() == WXK_TAB || event.AltDown()) event.Skip();
}

long CFileListCtrl::InsertItem(long index, const wxString& label, int imageIndex) {
  if (index < 0 || index > static_cast<long>(rows_.size())) index = static_cast<long>(rows_.size());
  Row row;
  row.texts.push_back(label);
  row.image = imageIndex;
  // Selection is kept by position: rows below the new one carry theirs down with them.
  std::vector<long> moved;
  if (index < static_cast<long>(rows_.size()))
    for (long i = GetNextItem(index - 1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); i != -1;
         i = GetNextItem(i, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
      moved.push_back(i);
  for (long i : moved) SetItemState(i, 0, wxLIST_STATE_SELECTED);
  rows_.insert(rows_.begin() + index, std::move(row));
  if (!moved.empty()) SetItemCount(static_cast<long>(rows_.size()));
  for (long i : moved) SetItemState(i + 1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  if (!batch_) {
    SetItemCount(static_cast<long>(rows_.size()));
    Refresh();
  }
  return index;
}

void CFileListCtrl::EndBatch() {
  if (batch_ > 0 && --batch_ == 0) {
    SetItemCount(static_cast<long>(rows_.size()));
    Refresh();
  }
}

bool CFileListCtrl::SetItem(long index, int column, const wxString& label, int imageIndex) {
  if (!ValidRow(index) || column < 0) return false;
  Row& row = rows_[index];
  if (static_cast<size_t>(column) >= row.texts.size()) row.texts.resize(column + 1);
  row.texts[column] = label;
  if (column == 0 && imageIndex != -1) row.image = imageIndex;
  if (!batch_) RefreshItem(index);
  return true;
}

bool CFileListCtrl::SetItemImage(long index, int image) {
  if (!ValidRow(index)) return false;
  rows_[index].image = image;
  if (!batch_) RefreshItem(index);
  return true;
}

bool CFileListCtrl::SetItemData(long index, long data) {
  if (!ValidRow(index)) return false;
  rows_[index].data = data;
  return true;
}

wxUIntPtr CFileListCtrl::GetItemData(long index) const {
  return ValidRow(index) ? static_cast<wxUIntPtr>(rows_[index].data) : 0;
}

bool CFileListCtrl::DeleteAllItems() {
  rows_.clear();
  SetItemCount(0);
  Refresh();
  return true;
}

bool CFileListCtrl::IsItemChecked(long item) const { return ValidRow(item) && rows_[item].checked; }

void CFileListCtrl::CheckItem(long item, bool check) {
  if (!ValidRow(item)) return;
  rows_[item].checked = check;
  if (!batch_) wxListCtrl::CheckItem(item, check);  // repaints and tells the listeners
}

void CFileListCtrl::OnCheckToggled(wxListEvent& event) {
  if (ValidRow(event.GetIndex())) rows_[event.GetIndex()].checked = event.GetEventType() == wxEVT_LIST_ITEM_CHECKED;
  event.Skip();
}

wxString CFileListCtrl::OnGetItemText(long item, long column) const {
  if (!ValidRow(item) || column < 0 || static_cast<size_t>(column) >= rows_[item].texts.size()) return wxString();
  return rows_[item].texts[column];
}

int CFileListCtrl::OnGetItemImage(long item) const { return ValidRow(item) ? rows_[item].image : -1; }

int CFileListCtrl::OnGetItemColumnImage(long item, long column) const {
  return column == 0 ? OnGetItemImage(item) : -1;
}

bool CFileListCtrl::OnGetItemIsChecked(long item) const { return IsItemChecked(item); }

}  // namespace trovex
