// Anchoring arithmetic, the repaint rules and the grip's show counter, without a display.
#include <gtest/gtest.h>

#include <climits>
#include <optional>

#include "resizable/resizable_grip.h"
#include "resizable/resizable_layout.h"

namespace trovex {
namespace {

TEST(Anchoring, MarginsAndNewRectangles) {
  struct Case {
    const char* what;
    wxRect client;   // at anchoring time
    wxRect ctrl;
    Anchor tl, br;
    wxSize marginTL, marginBR;
    wxRect resized;  // client after the resize
    wxRect expected;
  } cases[] = {
      {"fills the client: keeps its distance to all four edges", {0, 0, 400, 300},
       {10, 20, 380, 250}, TOP_LEFT, BOTTOM_RIGHT, {10, 20}, {-10, -30}, {0, 0, 600, 450},
       {10, 20, 580, 400}},
      {"bottom-right only: moves with the corner, keeps its size", {0, 0, 400, 300},
       {300, 260, 80, 24}, BOTTOM_RIGHT, NOANCHOR, {-100, -40}, {-20, -16}, {0, 0, 500, 330},
       {400, 290, 80, 24}},
      {"top-left only: stays put", {0, 0, 400, 300}, {7, 9, 50, 14}, TOP_LEFT, NOANCHOR, {7, 9},
       {57, 23}, {0, 0, 900, 700}, {7, 9, 50, 14}},
      {"left half grows with the width", {0, 0, 400, 300}, {10, 40, 185, 200}, TOP_LEFT,
       {50, 100}, {10, 40}, {-5, -60}, {0, 0, 600, 300}, {10, 40, 285, 200}},
      {"right half follows the centre", {0, 0, 400, 300}, {205, 40, 185, 200}, TOP_CENTER,
       BOTTOM_RIGHT, {5, 40}, {-10, -60}, {0, 0, 600, 300}, {305, 40, 285, 200}},
      // 33 % of 401 is 132.33: the division truncates, in anchoring and in arranging alike.
      {"odd sizes truncate", {0, 0, 401, 301}, {140, 100, 20, 10}, {33, 33}, NOANCHOR,
       {8, 1}, {28, 11}, {0, 0, 503, 397}, {173, 132, 20, 10}},
      {"negative offsets truncate toward zero", {0, 0, 401, 301}, {0, 0, 10, 10}, {-33, 0},
       NOANCHOR, {132, 0}, {142, 10}, {0, 0, 401, 301}, {0, 0, 10, 10}},
      {"client origin is honoured", {5, 7, 400, 300}, {15, 27, 100, 50}, MIDDLE_CENTER,
       BOTTOM_RIGHT, {-190, -130}, {-290, -230}, {5, 7, 600, 400}, {115, 77, 200, 100}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    LayoutInfo li;
    li.anchorTL = c.tl;
    li.anchorBR = c.br;
    ComputeMargins(c.client, c.ctrl, li);
    EXPECT_EQ(li.marginTL, c.marginTL);
    EXPECT_EQ(li.marginBR, c.marginBR);
    // Without a resize the control stays exactly where it was.
    EXPECT_EQ(ComputeControlRect(li, c.client), c.ctrl);
    EXPECT_EQ(ComputeControlRect(li, c.resized), c.expected);
  }
}

TEST(RepaintRules, ByClassStyleAndChange) {
  const wxRect old(0, 0, 100, 20);
  const wxRect wider(0, 0, 120, 20), taller(0, 0, 100, 30), moved(50, 50, 100, 20);
  const std::optional<HorzScrollInfo> none;
  struct Case {
    const char* what;
    ControlClass cls;
    wxRect rcNew;
    std::optional<HorzScrollInfo> scroll;
    BOOL expected;
  } cases[] = {
      {"only moved: nothing to repaint", {"Static", SS_ICON}, moved, none, FALSE},
      {"left text wider", {"Static", SS_LEFT}, wider, none, TRUE},
      {"left text only taller", {"Static", SS_LEFT}, taller, none, FALSE},
      {"centred text wider", {"Static", SS_CENTER}, wider, none, TRUE},
      {"right text taller", {"Static", SS_RIGHT}, taller, none, FALSE},
      {"right text taller, image centred", {"Static", SS_RIGHT | SS_CENTERIMAGE}, taller, none, TRUE},
      {"icon taller", {"Static", SS_ICON}, taller, none, TRUE},
      {"grey frame", {"Static", SS_GRAYFRAME}, taller, none, TRUE},
      {"bitmap", {"Static", SS_BITMAP}, wider, none, TRUE},
      {"metafile", {"Static", SS_ENHMETAFILE}, wider, none, TRUE},
      {"etched frame", {"Static", SS_ETCHEDFRAME}, taller, none, TRUE},
      {"etched line", {"Static", SS_ETCHEDHORZ}, wider, none, FALSE},
      {"no-wrap text without ellipsis", {"Static", SS_LEFTNOWORDWRAP}, wider, none, FALSE},
      {"no-wrap text with ellipsis, wider", {"Static", SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS}, wider, none, TRUE},
      {"no-wrap text with ellipsis, taller", {"Static", SS_LEFTNOWORDWRAP | SS_PATHELLIPSIS}, taller, none, FALSE},
      {"no-wrap ellipsis, taller, image centred",
       {"Static", SS_LEFTNOWORDWRAP | SS_WORDELLIPSIS | SS_CENTERIMAGE}, taller, none, TRUE},
      {"button", {"Button", 0}, wider, none, FALSE},
      {"list box narrower", {"ListBox", 0}, {0, 0, 80, 20}, HorzScrollInfo{299, 100, 250}, FALSE},
      {"list box wider, scroll unknown", {"ListBox", 0}, wider, none, FALSE},
      // max' = 299 - 100 + 1 = 200; 200 < 190 + 20
      {"list box wider past its scroll end", {"ListBox", 0}, wider, HorzScrollInfo{299, 100, 190}, TRUE},
      {"list box wider, still room", {"ListBox", 0}, wider, HorzScrollInfo{299, 100, 150}, FALSE},
      {"list box with nothing to scroll", {"ListBox", 0}, wider, HorzScrollInfo{99, 100, 0}, FALSE},
      {"list box sums wrap in 32 bits", {"ListBox", 0}, wider, HorzScrollInfo{INT_MAX, 0, 0}, FALSE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(NeedsRepaintByClass(c.cls, old, c.rcNew, c.scroll), c.expected);
  }
}

TEST(GripCounter, MaximizeAndRestoreSequences) {
  enum Op { kShow, kHide, kVisible, kInvisible };
  struct Case {
    const char* what;
    std::vector<Op> ops;
    bool visible;
  } cases[] = {
      {"created visible", {kVisible}, true},
      {"maximized", {kVisible, kHide}, false},
      {"maximized twice, restored once", {kVisible, kHide, kHide, kShow}, true},
      {"restored while never maximized: no double count", {kVisible, kShow, kShow, kHide}, false},
      {"switched off stays off through restores", {kInvisible, kShow}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CResizableGrip grip;
    DWORD state = 1;
    for (Op op : c.ops) {
      switch (op) {
        case kShow: grip.ShowGrip(state, 1); break;
        case kHide: grip.HideGrip(state, 1); break;
        case kVisible: grip.SetGripVisible(TRUE); break;
        case kInvisible: grip.SetGripVisible(FALSE); break;
      }
    }
    EXPECT_EQ(grip.IsGripVisible(), c.visible);
  }
}

}  // namespace
}  // namespace trovex
