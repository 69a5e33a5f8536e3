#include "resizable/resizable_layout.h"

#include <wx/listbox.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/window.h>
#include <wx/wupdlock.h>

#include <algorithm>

#include <cstdint>
#include <iterator>

#include "framework/window_manager.h"

namespace trovex {
namespace {

// Sums in 32-bit two's-complement arithmetic, as the scroll rule is defined, without overflow
// being undefined.
int Add32(int a, int b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

long StaticTextStyle(long wxStyle) {
  long type = SS_LEFT;
  if (wxStyle & wxALIGN_CENTRE_HORIZONTAL)
    type = SS_CENTER;
  else if (wxStyle & wxALIGN_RIGHT)
    type = SS_RIGHT;
  long ellipsis = 0;
  if (wxStyle & wxST_ELLIPSIZE_END)
    ellipsis = SS_ENDELLIPSIS;
  else if (wxStyle & (wxST_ELLIPSIZE_MIDDLE | wxST_ELLIPSIZE_START))
    ellipsis = SS_PATHELLIPSIS;
  // An ellipsized text never wraps.
  if (ellipsis && type == SS_LEFT) type = SS_LEFTNOWORDWRAP;
  return type | ellipsis;
}

}  // namespace

ControlClass ClassifyControl(const wxWindow* ctrl) {
  if (!ctrl) return {};
  const long style = ctrl->GetWindowStyleFlag();
  if (dynamic_cast<const wxStaticText*>(ctrl)) return {"Static", StaticTextStyle(style)};
  if (dynamic_cast<const wxStaticBitmap*>(ctrl)) return {"Static", SS_ICON};
  if (auto* line = dynamic_cast<const wxStaticLine*>(ctrl))
    return {"Static", line->IsVertical() ? SS_ETCHEDVERT : SS_ETCHEDHORZ};
  // A group box is a kind of button.
  if (dynamic_cast<const wxStaticBox*>(ctrl)) return {"Button", 0x7};
  if (dynamic_cast<const wxListBox*>(ctrl)) return {"ListBox", style};
  return {ctrl->GetClassInfo() ? wxString(ctrl->GetClassInfo()->GetClassName()).utf8_string() : std::string(),
          style};
}

void ComputeMargins(const wxRect& rcClient, const wxRect& rcCtrl, LayoutInfo& info) {
  if (info.anchorBR == NOANCHOR) info.anchorBR = info.anchorTL;
  const int w = rcClient.width, h = rcClient.height;
  // Relative to the client rectangle's origin.
  const int left = rcCtrl.x - rcClient.x, top = rcCtrl.y - rcClient.y;
  const int right = left + rcCtrl.width, bottom = top + rcCtrl.height;
  info.marginTL = wxSize(left - info.anchorTL.x * w / 100, top - info.anchorTL.y * h / 100);
  info.marginBR = wxSize(right - info.anchorBR.x * w / 100, bottom - info.anchorBR.y * h / 100);
}

wxRect ComputeControlRect(const LayoutInfo& info, const wxRect& rcClient) {
  const int w = rcClient.width, h = rcClient.height;
  const int left = w * info.anchorTL.x / 100 + info.marginTL.x;
  const int top = h * info.anchorTL.y / 100 + info.marginTL.y;
  const int right = w * info.anchorBR.x / 100 + info.marginBR.x;
  const int bottom = h * info.anchorBR.y / 100 + info.marginBR.y;
  return wxRect(left + rcClient.x, top + rcClient.y, right - left, bottom - top);
}

BOOL NeedsRepaintByClass(const ControlClass& cls, const wxRect& rcOld, const wxRect& rcNew,
                         const std::optional<HorzScrollInfo>& scroll) {
  const int dW = rcNew.width - rcOld.width;
  const int dH = rcNew.height - rcOld.height;
  if (dW == 0 && dH == 0) return FALSE;
  if (cls.strClass == "Static") {
    const long style = cls.nStyle;
    const bool centerImage = (style & SS_CENTERIMAGE) != 0;
    switch (style & SS_TYPEMASK) {
      case SS_LEFT:
      case SS_CENTER:
      case SS_RIGHT:
        return dW != 0 || (centerImage && dH != 0);
      case SS_ICON:
      case SS_BLACKFRAME:
      case SS_GRAYFRAME:
      case SS_WHITEFRAME:
      case SS_BITMAP:
      case SS_ENHMETAFILE:
      case SS_ETCHEDFRAME:
        return TRUE;
      case SS_LEFTNOWORDWRAP:
        if (style & SS_ELLIPSISMASK) return dW != 0 || (centerImage && dH != 0);
        return FALSE;
      default:
        return FALSE;
    }
  }
  if (cls.strClass == "ListBox") {
    if (dW <= 0 || !scroll) return FALSE;
    const int maxPos = Add32(Add32(scroll->nMax, -scroll->nPage), 1);
    return maxPos > 0 && maxPos < Add32(scroll->nPos, dW);
  }
  return FALSE;
}

void CResizableLayout::AddAnchor(wxWindow* ctrl, const wxRect& rcClient, Anchor topLeft,
                                 Anchor bottomRight) {
  if (!ctrl) return;
  // Anchoring a control again replaces its record.
  RemoveAnchor(ctrl);
  LayoutInfo li;
  li.hWnd = ctrl;
  const ControlClass cls = ClassifyControl(ctrl);
  li.sWndClass = cls.strClass;
  li.nStyle = cls.nStyle;
  li.anchorTL = topLeft;
  li.anchorBR = bottomRight;
  ComputeMargins(rcClient, ctrl->GetRect(), li);
  if (auto* support = dynamic_cast<IResizeSupport*>(ctrl)) {
    ResizeProperties props;
    if (support->QueryResizeProperties(props)) {
      li.bMsgSupport = TRUE;
      li.properties = props;
    }
  }
  if (!li.bMsgSupport) {
    li.properties.bAskClipping = FALSE;
    li.properties.bAskRefresh = TRUE;
  }
  layoutList_.push_back(li);
  layoutMap_[ctrl] = std::prev(layoutList_.end());
}

BOOL CResizableLayout::RemoveAnchor(wxWindow* ctrl) {
  auto it = layoutMap_.find(ctrl);
  if (it == layoutMap_.end()) return FALSE;
  layoutList_.erase(it->second);
  layoutMap_.erase(it);
  return TRUE;
}

void CResizableLayout::RemoveAllAnchors() {
  layoutMap_.clear();
  layoutList_.clear();
}

BOOL CResizableLayout::ControlNeedsRepaint(const LayoutInfo& li, const wxRect& rcOld,
                                           const wxRect& rcNew) const {
  if (li.bMsgSupport) {
    if (auto* support = dynamic_cast<IResizeSupport*>(li.hWnd)) {
      RefreshProperty prop;
      prop.rcOld = rcOld;
      prop.rcNew = rcNew;
      if (support->QueryNeedsRefresh(prop)) return prop.bNeedsRefresh;
    }
  }
  std::optional<HorzScrollInfo> scroll;
  if (li.sWndClass == "ListBox") {
    HorzScrollInfo info{};
    if (ReadHorizontalScroll(li.hWnd, info.nMax, info.nPage, info.nPos)) scroll = info;
  }
  const ControlClass cls{li.sWndClass, ClassifyControl(li.hWnd).nStyle};
  return NeedsRepaintByClass(cls, rcOld, rcNew, scroll);
}

void CResizableLayout::CalcNewChildPosition(const LayoutInfo& li, const wxRect& rcClient,
                                            wxRect& rcNew, UINT& uFlags) const {
  const wxRect rcOld = li.hWnd->GetRect();
  rcNew = ComputeControlRect(li, rcClient);
  uFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
  const BOOL repaint = li.properties.bAskRefresh ? ControlNeedsRepaint(li, rcOld, rcNew)
                                                 : li.properties.bCachedNeedsRefresh;
  if (repaint) uFlags |= SWP_NOCOPYBITS;
  if (rcNew.GetTopLeft() == rcOld.GetTopLeft()) uFlags |= SWP_NOMOVE;
  if (rcNew.GetSize() == rcOld.GetSize()) uFlags |= SWP_NOSIZE;
}

void CResizableLayout::ArrangeLayout(wxWindow* parent, const wxRect& rcClient) const {
  if (layoutList_.empty() || !parent) return;
  // All controls move at once: nothing is drawn until the last one is in place.
  wxWindowUpdateLocker freeze(parent);
  for (const LayoutInfo& li : layoutList_) {
    wxRect rcNew;
    UINT uFlags = 0;
    CalcNewChildPosition(li, rcClient, rcNew, uFlags);
    if ((uFlags & SWP_NOMOVE) && (uFlags & SWP_NOSIZE)) continue;
    // A window narrower than nothing makes no sense to the toolkit.
    li.hWnd->SetSize(rcNew.x, rcNew.y, std::max(rcNew.width, 0), std::max(rcNew.height, 0),
                     wxSIZE_ALLOW_MINUS_ONE);
    if (uFlags & SWP_NOCOPYBITS) li.hWnd->Refresh();
  }
}

}  // namespace trovex
