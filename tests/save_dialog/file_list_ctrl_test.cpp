// The movie list under real (simulated) user input: locked, nothing the user does changes it,
// while the program can still change rows and the scroll bar still scrolls; unlocked, the
// same input does change it (so the input demonstrably reaches the list).
#include "save_dialog/file_list_ctrl.h"

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/imaglist.h>
#include <wx/uiaction.h>

#include <functional>
#include <memory>
#include <string>

#include "tests/support/dialog_script.h"
#include "tests/save_dialog/list_input.h"

namespace trovex {
namespace {

using test::RowScreenPoint;

struct ListState {
  std::string selected;  // selected rows as "0,3,"
  std::string checked;
  long top = 0;
  int width0 = 0;
  bool operator==(const ListState&) const = default;
};

std::ostream& operator<<(std::ostream& os, const ListState& s) {
  return os << "{selected " << s.selected << " checked " << s.checked << " top " << s.top
            << " width0 " << s.width0 << "}";
}

class ListWindow {
 public:
  ListWindow() {
    frame_ = new wxFrame(nullptr, wxID_ANY, "list", wxPoint(0, 0), wxSize(420, 300));
    list = new CFileListCtrl(frame_, 1000, wxPoint(0, 0), frame_->GetClientSize(),
                             wxLC_REPORT | wxBORDER_THEME | wxLC_NO_SORT_HEADER);
    list->EnableCheckBoxes(true);
    list->InsertColumn(0, "name", wxLIST_FORMAT_LEFT, 150);
    list->InsertColumn(1, "size", wxLIST_FORMAT_RIGHT, 60);
    for (int i = 0; i < 200; ++i) {
      list->InsertItem(i, wxString::Format("movie%d.swf", i), i % 2);
      list->SetItem(i, 1, "1 KB");
    }
    frame_->Show();
    frame_->Raise();
    list->SetFocus();
    test::PumpEvents(200);
  }
  ~ListWindow() {
    frame_->Destroy();
    test::PumpEvents(20);
  }
  ListState State() const {
    ListState s;
    for (long i = 0; i < list->GetItemCount(); ++i) {
      if (list->GetItemState(i, wxLIST_STATE_SELECTED)) s.selected += std::to_string(i) + ",";
      if (list->IsItemChecked(i)) s.checked += std::to_string(i) + ",";
    }
    s.top = list->GetTopItem();
    s.width0 = list->GetColumnWidth(0);
    return s;
  }
  wxWindow* Body() const { return list->GetBodyWindow(); }
  wxPoint Row(long row, bool checkBox = false) const { return RowScreenPoint(list, Body(), row, checkBox); }

  CFileListCtrl* list;

 private:
  wxFrame* frame_;
};

TEST(FileListCtrl, LockSwallowsUserInputOnly) {
  struct Case {
    const char* name;
    std::function<void(ListWindow&)> act;
  } cases[] = {
      {"click on a row", [](ListWindow& w) { test::SimClick(w.Row(2)); }},
      {"double click on a row", [](ListWindow& w) { test::SimClick(w.Row(3), true); }},
      {"click on a check box", [](ListWindow& w) { test::SimClick(w.Row(1, true)); }},
      {"double click on a check box", [](ListWindow& w) {
         test::SimClick(w.Row(1, true));
         test::PumpEvents(600);  // not a double click: two toggles would cancel out
         test::SimClick(w.Row(2, true));
       }},
      {"wheel over the rows", [](ListWindow& w) { test::SimWheelDown(w.Row(2), 3); }},
      {"keys", [](ListWindow& w) {
         w.list->SetFocus();
         test::SimKey(WXK_END);
         test::SimKey(WXK_SPACE);
       }},
      {"dragging the header's column border", [](ListWindow& w) {
         wxWindow* header = nullptr;
         for (wxWindow* child : w.list->GetChildren())
           if (child != w.Body()) header = child;
         ASSERT_NE(header, nullptr);
         const wxPoint border = header->ClientToScreen(wxPoint(w.list->GetColumnWidth(0), header->GetSize().y / 2));
         wxUIActionSimulator sim;
         sim.MouseMove(border);
         test::SettleInput();
         sim.MouseDown();
         sim.MouseMove(border + wxPoint(60, 0));
         test::SettleInput();
         sim.MouseUp();
         test::SettleInput();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ListWindow w;
    const ListState before = w.State();
    w.list->EnableInput(FALSE);
    c.act(w);
    EXPECT_EQ(w.State(), before) << "locked";
    w.list->EnableInput(TRUE);
    c.act(w);
    EXPECT_NE(w.State(), before) << "unlocked: the input never reached the list";
  }
}

TEST(FileListCtrl, ProgramAndScrollBarStillWorkWhileLocked) {
  ListWindow w;
  w.list->EnableInput(FALSE);
  w.list->SetItem(5, 1, "9 KB");
  w.list->CheckItem(5, true);
  w.list->SetItemState(6, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  w.list->InsertItem(0, "new.swf", kImageGlobe);
  w.list->SetItemText(1, "renamed.swf");
  w.list->SetItemImage(1, kImageDocument);
  EXPECT_EQ(w.list->GetItemText(6, 1), "9 KB");
  EXPECT_EQ(w.list->GetItemText(1), "renamed.swf");
  wxListItem item;
  item.SetId(1);
  item.SetMask(wxLIST_MASK_IMAGE);
  ASSERT_TRUE(w.list->GetItem(item));
  EXPECT_EQ(item.GetImage(), kImageDocument);
  EXPECT_TRUE(w.list->IsItemChecked(6));
  EXPECT_EQ(w.State().selected, "7,");
  EXPECT_EQ(w.list->GetItemText(0), "new.swf");

  // The vertical scroll bar's lower end, at the list's right edge above the bottom.
  const wxRect screen = w.list->GetScreenRect();
  const long top = w.list->GetTopItem();
  test::SimClick(wxPoint(screen.GetRight() - 4, screen.GetBottom() - 30));
  test::SimClick(wxPoint(screen.GetRight() - 4, screen.GetBottom() - 30));
  EXPECT_GT(w.list->GetTopItem(), top);
  EXPECT_EQ(w.State().selected, "7,") << "the click on the scroll bar selected a row";
}

TEST(FileListCtrl, RowImagesAreTheDocumentAndTheGlobeWithTransparentCorners) {
  ListWindow w;
  wxImageList* images = w.list->GetImageList(wxIMAGE_LIST_SMALL);
  ASSERT_NE(images, nullptr);
  ASSERT_EQ(images->GetImageCount(), 2);
  wxImage document = images->GetBitmap(kImageDocument).ConvertToImage();
  wxImage globe = images->GetBitmap(kImageGlobe).ConvertToImage();
  for (wxImage* img : {&document, &globe}) {
    ASSERT_EQ(img->GetSize(), wxSize(16, 16));
    // The corner is background: transparent, never drawn magenta.
    const bool transparent = img->HasAlpha() ? img->GetAlpha(0, 0) == 0 : img->IsTransparent(0, 0);
    EXPECT_TRUE(transparent);
  }
  int differing = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      if (document.GetRed(x, y) != globe.GetRed(x, y) || document.GetBlue(x, y) != globe.GetBlue(x, y)) ++differing;
  EXPECT_GT(differing, 20) << "images 0 and 1 are the same picture";
}

}  // namespace
}  // namespace trovex
