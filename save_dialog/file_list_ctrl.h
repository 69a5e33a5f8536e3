// The movie list of the Save dialog: a report list with the two row images (a document sheet
// and a globe) and an input lock that freezes the list for the user while the save run walks
// its rows.
//
// The rows live here and the list draws only those in view, so a page with ten thousand
// movies opens at once. Rows are changed through the functions below (they hide the list's own
// ones of the same name); reading texts, states and rectangles works as for any list.
#pragma once

#include <wx/listctrl.h>

#include <vector>

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

  // Rows.
  long InsertItem(long index, const wxString& label, int imageIndex = -1);
  bool SetItem(long index, int column, const wxString& label, int imageIndex = -1);
  void SetItemText(long index, const wxString& label) { SetItem(index, 0, label); }
  bool SetItemImage(long index, int image);
  bool SetItemData(long index, long data);
  wxUIntPtr GetItemData(long index) const;
  bool DeleteAllItems();
  void ReserveItems(size_t count) { rows_.reserve(count); }
  // Inserting many rows: the list learns the new count once, at the end.
  void BeginBatch() { ++batch_; }
  void EndBatch();

  bool IsItemChecked(long item) const override;
  void CheckItem(long item, bool check) override;

 protected:
  wxString OnGetItemText(long item, long column) const override;
  int OnGetItemImage(long item) const override;
  int OnGetItemColumnImage(long item, long column) const override;
  bool OnGetItemIsChecked(long item) const override;

 private:
  struct Row {
    std::vector<wxString> texts;  // by column
    int image = -1;
    bool checked = false;
    long data = 0;
  };
  bool ValidRow(long item) const { return item >= 0 && item < static_cast<long>(rows_.size()); }
  void HookInputOf(wxWindow* window);
  void OnUserInput(wxEvent& event);
  void OnUserKey(wxKeyEvent& event);
  void OnCheckToggled(wxListEvent& event);

  int bInputEnabled = 1;
  std::vector<Row> rows_;
  int batch_ = 0;
};

}  // namespace trovex
