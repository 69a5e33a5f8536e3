// Anchoring of dialog controls to proportional points of the client area. A control keeps, for
// each of its top-left and bottom-right corners, the pixel offset from its anchor; when the
// client area changes, every corner follows its anchor by the same percentage.
#pragma once

#include <wx/gdicmn.h>

#include <list>
#include <map>
#include <optional>
#include <string>

#include "platform/base/types.h"

class wxWindow;

namespace trovex {

struct Anchor { int x; int y; };  // percentages of the client width and height
inline constexpr Anchor TOP_LEFT{0, 0}, TOP_CENTER{50, 0}, TOP_RIGHT{100, 0}, MIDDLE_LEFT{0, 50},
    MIDDLE_CENTER{50, 50}, MIDDLE_RIGHT{100, 50}, BOTTOM_LEFT{0, 100}, BOTTOM_CENTER{50, 100},
    BOTTOM_RIGHT{100, 100}, NOANCHOR{-1, -1};
constexpr bool operator==(Anchor a, Anchor b) { return a.x == b.x && a.y == b.y; }

// What a control says about itself when it is resized.
struct ResizeProperties {
  BOOL bAskClipping = TRUE;
  BOOL bAskRefresh = TRUE;
  BOOL bCachedLikesClipping = FALSE;
  BOOL bCachedNeedsRefresh = FALSE;
};
struct RefreshProperty {
  BOOL bNeedsRefresh = TRUE;
  wxRect rcOld;
  wxRect rcNew;
};

// A control that knows how it behaves when resized implements this; the built-in class rules
// apply to every other control.
class IResizeSupport {
 public:
  virtual ~IResizeSupport() = default;
  // Fills props; FALSE when the control does not take part after all.
  virtual BOOL QueryResizeProperties(ResizeProperties& props) = 0;
  // Sets prop.bNeedsRefresh for the change from prop.rcOld to prop.rcNew; FALSE: no answer.
  virtual BOOL QueryNeedsRefresh(RefreshProperty& prop) = 0;
};

// Static control types and styles the repaint rules read.
constexpr long SS_LEFT = 0x0, SS_CENTER = 0x1, SS_RIGHT = 0x2, SS_ICON = 0x3, SS_BLACKFRAME = 0x7,
               SS_GRAYFRAME = 0x8, SS_WHITEFRAME = 0x9, SS_LEFTNOWORDWRAP = 0xC,
               SS_BITMAP = 0xE, SS_ENHMETAFILE = 0xF, SS_ETCHEDHORZ = 0x10, SS_ETCHEDVERT = 0x11,
               SS_ETCHEDFRAME = 0x12, SS_TYPEMASK = 0x1F, SS_CENTERIMAGE = 0x200,
               SS_ENDELLIPSIS = 0x4000, SS_PATHELLIPSIS = 0x8000, SS_WORDELLIPSIS = 0xC000,
               SS_ELLIPSISMASK = 0xC000;

// Positioning flags of one arranged control.
constexpr UINT SWP_NOSIZE = 0x1, SWP_NOMOVE = 0x2, SWP_NOZORDER = 0x4, SWP_NOACTIVATE = 0x10,
               SWP_NOCOPYBITS = 0x100, SWP_NOOWNERZORDER = 0x200;

// The role a control plays for the repaint rules: "Static" (texts, pictures, frames and lines,
// with the matching type and ellipsis styles), "ListBox", or another class name.
struct ControlClass {
  std::string strClass;
  long nStyle = 0;
};
ControlClass ClassifyControl(const wxWindow* ctrl);

struct HorzScrollInfo {
  int nMax;   // highest scroll unit (inclusive)
  int nPage;  // units visible at once
  int nPos;
};

struct LayoutInfo {
  wxWindow* hWnd = nullptr;
  UINT nCallbackID = 0;
  std::string sWndClass;
  long nStyle = 0;
  Anchor anchorTL{};
  wxSize marginTL;
  Anchor anchorBR{};
  wxSize marginBR;
  BOOL bMsgSupport = FALSE;
  ResizeProperties properties;
};

// Margins of a control at rcCtrl for the given anchors (NOANCHOR as bottom-right stands for
// the top-left anchor); rectangles in the parent's client coordinates.
void ComputeMargins(const wxRect& rcClient, const wxRect& rcCtrl, LayoutInfo& info);
// Where the control belongs in rcClient.
wxRect ComputeControlRect(const LayoutInfo& info, const wxRect& rcClient);
// The class rules of the repaint decision; scroll is the horizontal scroll state of a list
// box (nullopt when it cannot be read).
BOOL NeedsRepaintByClass(const ControlClass& cls, const wxRect& rcOld, const wxRect& rcNew,
                         const std::optional<HorzScrollInfo>& scroll);

class CResizableLayout {
 public:
  // Records ctrl with margins measured from its current position in rcClient.
  void AddAnchor(wxWindow* ctrl, const wxRect& rcClient, Anchor topLeft, Anchor bottomRight);
  BOOL RemoveAnchor(wxWindow* ctrl);
  void RemoveAllAnchors();
  bool IsAnchored(const wxWindow* ctrl) const { return layoutMap_.count(const_cast<wxWindow*>(ctrl)) != 0; }
  const std::list<LayoutInfo>& Records() const { return layoutList_; }

  // New rectangle and positioning flags of one record for rcClient.
  void CalcNewChildPosition(const LayoutInfo& li, const wxRect& rcClient, wxRect& rcNew,
                            UINT& uFlags) const;
  BOOL ControlNeedsRepaint(const LayoutInfo& li, const wxRect& rcOld, const wxRect& rcNew) const;
  // Moves every anchored control for rcClient in one pass, with the parent frozen so that no
  // intermediate layout is ever drawn.
  void ArrangeLayout(wxWindow* parent, const wxRect& rcClient) const;

 private:
  std::list<LayoutInfo> layoutList_;
  std::map<wxWindow*, std::list<LayoutInfo>::iterator> layoutMap_;
};

}  // namespace trovex
